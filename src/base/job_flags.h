#pragma once
// The stop state of one job: the result word (which doubles as the abort flag),
// the user-stop flag and an event that wakes every wait of the job at once.
#include <atomic>
#include <cstdint>

namespace velmora {

class JobFlags {
  public:
    JobFlags();
    ~JobFlags();
    JobFlags(const JobFlags&) = delete;
    JobFlags& operator=(const JobFlags&) = delete;

    // 0 while all is well; any non-zero value ends every wait of the job.
    std::atomic<int32_t> result{0};
    // Non-zero once the operator pressed Stop.
    std::atomic<int32_t> user_stop{0};

    // Stop: user-stop flag and result to 1, then wake every wait. Safe from any
    // thread (and from a signal handler: only atomics and write(2)). Inside an
    // uncut step the stop is kept and takes effect when the step ends.
    void Stop();

    // A step that a Stop must not cut (block 0 from its erase to the end of its
    // write: cut there, the phone would hold no boot code). False, and no step,
    // when the job is already stopped or failed. Every BeginUncut that returned
    // true is paired with EndUncut, which applies a Stop that came meanwhile.
    bool BeginUncut();
    void EndUncut();
    // True once a Stop was asked for, whether or not it has taken effect yet.
    bool StopRequested() const {
        return (stop_state_.load(std::memory_order_acquire) & kStopRequested) != 0;
    }

    // True once the result or the user-stop flag is non-zero.
    bool Aborted() const {
        return result.load(std::memory_order_acquire) != 0 ||
               user_stop.load(std::memory_order_acquire) != 0;
    }

    // A descriptor that becomes readable on Stop; waits poll() it beside the link.
    int event_fd() const { return event_fd_; }

    // Sleeps `milliseconds` unless the job is or becomes aborted.
    // Returns false when it ended because of an abort.
    bool Sleep(int milliseconds) const;

  private:
    static constexpr uint32_t kStopRequested = 1;
    static constexpr uint32_t kUncut = 2;
    static constexpr uint32_t kStopApplied = 4;
    void ApplyStop();

    // One word, changed only by compare-and-swap, so a Stop racing the start or
    // the end of an uncut step is either kept or applied, never lost.
    std::atomic<uint32_t> stop_state_{0};
    int event_fd_ = -1;
};

}  // namespace velmora
