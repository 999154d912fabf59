#pragma once
// SIGINT and SIGTERM stop the work as the window's Stop button does. They are
// blocked from the program's first moment (threads inherit the mask, so none of
// them is killed by the default action) and taken from a signalfd by one watcher.
#include <signal.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace velmora::cli {

class SignalStop {
  public:
    // A signal that comes before Watch is kept for the work, which then ends
    // stopped before it touches the phone; one that comes after Unwatch lets the
    // program print its result. Should the program not reach Watch, or its end,
    // within this time (a step that waits: a file that blocks), it ends at once
    // with status 130: the phone is not being touched then.
    static constexpr int kGraceMs = 1000;

    SignalStop();
    // The mask stays: a signal that comes after the work's end must not kill
    // the program while it prints the result; the program ends right after.
    ~SignalStop();
    SignalStop(const SignalStop&) = delete;
    SignalStop& operator=(const SignalStop&) = delete;

    // For commands that run no job: the watcher ends and the signals act as by
    // default again.
    void Release();
    // From now on a signal calls `stop` (on the watcher's thread); one that came
    // before is passed on at once (on the caller's).
    void Watch(std::function<void()> stop);
    // The work is over: `stop` is no longer called. Call it before what `stop`
    // touches goes away.
    void Unwatch();
    bool signalled() const { return signalled_.load(); }

    // Watch for a scope: Unwatch when it ends.
    class Watching {
      public:
        Watching(SignalStop& signals, std::function<void()> stop) : signals_(signals) {
            signals_.Watch(std::move(stop));
        }
        ~Watching() { signals_.Unwatch(); }
        Watching(const Watching&) = delete;
        Watching& operator=(const Watching&) = delete;

      private:
        SignalStop& signals_;
    };

  private:
    enum class Phase { kStarting, kWatching, kDone };
    using Clock = std::chrono::steady_clock;

    void Run();
    void EndWatcher();

    sigset_t set_{};
    int signal_fd_ = -1;
    int done_fd_ = -1;
    std::atomic<bool> signalled_{false};
    std::mutex mutex_;  // held while `stop_` runs, so that Unwatch waits for it
    Phase phase_ = Phase::kStarting;
    std::function<void()> stop_;
    std::optional<Clock::time_point> give_up_;  // a signal came outside the work
    std::thread watcher_;
};

}  // namespace velmora::cli
