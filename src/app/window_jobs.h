#pragma once
// The window's side of a job: Start and Stop on the job engine, and the job's
// display calls carried to the window's thread in the order they were made.
#include <QEventLoop>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/failure_details.h"
#include "app/status_text.h"
#include "base/job_timings.h"
#include "frontend/display.h"
#include "job/link_registry.h"

class QDateTime;

namespace velmora {
class JobController;
struct JobRequest;
struct AreaQuestion;
}  // namespace velmora

namespace velmora::app {

class MainWindow;

// A new folder for one backup below `base`, named after `now`
// (<base>/YYYYMMDD-HHMMSS/, with -2, -3, ... when that name is taken), so that
// a second backup never meets the first. Ends in '/'.
QString NewBackupFolder(const QString& base, const QDateTime& now);

class WindowJobs : public JobDisplay {
  public:
    explicit WindowJobs(MainWindow& window);
    ~WindowJobs() override;
    WindowJobs(const WindowJobs&) = delete;
    WindowJobs& operator=(const WindowJobs&) = delete;

    // Reads the window's choices and starts a job; a refused request shows its
    // message and starts nothing. The port text "sim" or "sim:OPTIONS" runs the
    // job against a simulated phone inside the program (on a pseudo-terminal with
    // the serial box checked, else on a USB stand-in), which keeps its chip from one
    // job to the next while the text and the link stay the same. With the serial box
    // unchecked, any other text is a USB link ("dfu=VID[:PID],dlv=VID[:PID]",
    // "unix:PATH"), or, when it is none (a serial port's name), the machine's USB
    // with the default recognition.
    void Start();
    // A NAND health job on the window's link and port; its report is shown in
    // a dialog when it ends.
    void StartHealth();
    // Raises the job's stop flags; the job ends when its sequence notices.
    void Stop();
    // Stops a running job and waits for its end while the window stays alive.
    void StopAndWait();
    // From a started job until the window has restored its controls.
    bool running() const { return running_; }
    // A running job that writes to the phone (a code upgrade or an erase).
    bool writing() const { return running_ && writes_; }
    // The result of the last job that ended (0 before any).
    int lastResult() const { return last_result_; }
    // The last job's failure, from its end until the next job starts; none
    // after a success, a stop or a refusal.
    const std::optional<Failure>& failure() const { return failure_; }

    // Time-outs of the jobs to come (tests shorten them).
    JobTimings timings;

    void OnStatus(const std::string& text) override;
    void OnProgress(int percent) override;
    void OnBarColour(uint32_t colour) override;
    void OnPercentDisplay(bool on) override;
    void OnBarText(const std::string& text) override;
    void OnElapsed(const std::string& text) override;
    void OnChipInfo(const std::string& text) override;
    void OnBlockMapClear() override;
    void OnBlockMapInit(int block_count, uint32_t block_size) override;
    void OnBlockText(int block, int column, const std::string& text) override;
    void OnBlockColour(int block, uint32_t colour, int top_row) override;
    void OnStepMessage(const std::string& text) override;
    void OnLog(const std::string& text) override;

  private:
    // The job's events: passed on to the display adapter, with what the
    // window shows beyond the classic display taken on the way.
    class Events : public EventSink {
      public:
        explicit Events(WindowJobs& jobs) : jobs_(jobs) {}
        void OnStatus(const std::string& text) override;
        void OnPhase(Phase phase) override;
        void OnProgress(uint64_t done, uint64_t total) override;
        void OnElapsed(std::optional<uint32_t> milliseconds) override;
        void OnChip(const std::optional<std::array<uint8_t, 4>>& id) override;
        void OnUsbDevice(const std::string& path, uint16_t vendor, uint16_t product) override;
        void OnBlockMap(int block_count, uint32_t block_size) override;
        void OnBlock(int block, BlockState state) override;
        void OnFile(const std::string& path) override;
        void OnStepMessage(const std::string& text) override;
        void OnLog(const std::string& text) override;
        void OnEnd(const JobEnd& end) override;

      private:
        WindowJobs& jobs_;
        ThroughputMeter meter_;  // worker thread only
    };

    // Runs `f` on the window's thread after every call posted before it.
    template <typename F>
    void Post(F&& f);
    // The link and port of the window's choice into `request`; false (after
    // telling the operator) when the port text cannot be used.
    bool ChooseLink(JobRequest& request);
    // Starts the request; false (after telling the operator) when refused.
    bool Launch(const JobRequest& request);
    void Finished();
    // The question before an area erase over block 0 or the EEROM, asked on the
    // window's thread; a job being stopped gets "否" without a question.
    void AskArea(const AreaQuestion& area, const std::function<void(bool)>& answer);
    MainWindow& window_;
    bool running_ = false;
    bool stopping_ = false;  // a Stop was given to the running job
    bool asking_ = false;    // the area question is open
    bool writes_ = false;
    int last_result_ = 0;
    // A success seen in the job's end, with its notes: the status says so once
    // the job's last calls have been shown.
    std::optional<std::vector<std::string>> succeeded_;
    // A health job's report (JSON), from its end until it is shown.
    std::optional<std::string> report_;
    // A failure seen in the job's end, kept with the job's last lines once the
    // job's last calls have been shown.
    std::optional<JobEnd> failed_;
    std::optional<Failure> failure_;
    RecentLines statuses_;   // the job's statuses, as the library gave them
    RecentLines log_lines_;  // dl_log.txt's, in debug mode
    QEventLoop* waiting_ = nullptr;
    LinkRegistry links_;             // keeps the simulated phone of the port text from job to job
    DisplayAdapter adapter_{*this};  // the job's events in the window's terms
    Events events_{*this};
    std::unique_ptr<JobController> controller_;  // last: its end waits for the worker
};

}  // namespace velmora::app
