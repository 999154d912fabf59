#pragma once
// Runs the window's jobs on the job engine's worker and carries the job's
// display calls to the window's thread.
namespace velmora::app {

class MainWindow;

class JobRunner {
  public:
    explicit JobRunner(MainWindow& window);
    ~JobRunner();
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    void Start();
    void Stop();
    // Stops a running job and waits for it to end, keeping the window alive.
    void StopAndWait();
    bool running() const;

  private:
    MainWindow& window_;
};

}  // namespace velmora::app
