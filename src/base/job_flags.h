#pragma once
// The stop state of one job: the operator's Stop, kept apart from the job's
// result, and an event that wakes every wait of the job at once on a Stop or
// on a failure.
#include <atomic>
#include <cstdint>

namespace velmora {

class JobFlags {
  public:
    JobFlags();
    ~JobFlags();
    JobFlags(const JobFlags&) = delete;
    JobFlags& operator=(const JobFlags&) = delete;

    // Stop: marks the job stopped, then wakes every wait. Safe from any thread
    // (and from a signal handler: only atomics and write(2)). Inside an uncut
    // step the stop is kept and takes effect when the step ends.
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
    // True once a Stop has taken effect.
    bool Stopped() const {
        return (stop_state_.load(std::memory_order_acquire) & kStopApplied) != 0;
    }

    // True once the job is stopped or has failed: every wait ends.
    bool Aborted() const { return aborted_.load(std::memory_order_acquire); }

    // A descriptor that becomes readable on Stop or failure; waits poll() it
    // beside the link.
    int event_fd() const { return event_fd_; }

    // Sleeps `milliseconds` unless the job is or becomes aborted.
    // Returns false when it ended because of an abort.
    bool Sleep(int milliseconds) const;

  protected:
    // Ends every wait of the job at once (a failure does it as a Stop does).
    void Abort();

  private:
    static constexpr uint32_t kStopRequested = 1;
    static constexpr uint32_t kUncut = 2;
    static constexpr uint32_t kStopApplied = 4;
    void ApplyStop();

    // One word, changed only by compare-and-swap, so a Stop racing the start or
    // the end of an uncut step is either kept or applied, never lost.
    std::atomic<uint32_t> stop_state_{0};
    std::atomic<bool> aborted_{false};
    int event_fd_ = -1;
};

}  // namespace velmora
