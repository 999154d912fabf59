#pragma once
// SIGINT and SIGTERM stop the work as the window's Stop button does. They are
// blocked before any thread starts (threads inherit the mask, so none of them
// is killed by the default action) and taken from a signalfd by one watcher.
#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

namespace velmora::cli {

class SignalStop {
  public:
    SignalStop();
    // The mask stays: a signal that comes after the work's end must not kill
    // the program while it prints the result; the program ends right after.
    ~SignalStop();
    SignalStop(const SignalStop&) = delete;
    SignalStop& operator=(const SignalStop&) = delete;

    // From now on a signal calls `stop` (on the watcher's thread).
    void Watch(std::function<void()> stop);
    // Ends the watcher; call it before what `stop` touches goes away.
    void Unwatch();
    bool signalled() const { return signalled_.load(); }

  private:
    void Run(const std::function<void()>& stop);

    sigset_t set_{};
    int signal_fd_ = -1;
    int done_fd_ = -1;
    std::atomic<bool> signalled_{false};
    std::thread watcher_;
};

}  // namespace velmora::cli
