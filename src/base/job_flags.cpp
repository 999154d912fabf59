#include "base/job_flags.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "base/results.h"

namespace velmora {

JobFlags::JobFlags() : event_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

JobFlags::~JobFlags() {
    if (event_fd_ >= 0) {
        close(event_fd_);
    }
}

void JobFlags::Stop() {
    uint32_t state =
        stop_state_.fetch_or(kStopRequested, std::memory_order_acq_rel) | kStopRequested;
    while ((state & (kUncut | kStopApplied)) == 0) {
        if (stop_state_.compare_exchange_weak(state, state | kStopApplied,
                                              std::memory_order_acq_rel)) {
            ApplyStop();
            return;
        }
    }
}

bool JobFlags::BeginUncut() {
    uint32_t state = stop_state_.load(std::memory_order_acquire);
    do {
        if ((state & kStopRequested) != 0) {
            return false;
        }
    } while (!stop_state_.compare_exchange_weak(state, state | kUncut, std::memory_order_acq_rel));
    if (Aborted()) {
        EndUncut();
        return false;
    }
    return true;
}

void JobFlags::EndUncut() {
    uint32_t state = stop_state_.load(std::memory_order_acquire);
    for (;;) {
        const bool apply = (state & kStopRequested) != 0 && (state & kStopApplied) == 0;
        const uint32_t next = (state & ~kUncut) | (apply ? kStopApplied : 0);
        if (stop_state_.compare_exchange_weak(state, next, std::memory_order_acq_rel)) {
            if (apply) {
                ApplyStop();
            }
            return;
        }
    }
}

void JobFlags::ApplyStop() {
    Abort();
}

void JobFlags::Abort() {
    if (!aborted_.exchange(true, std::memory_order_acq_rel) && event_fd_ >= 0) {
        const uint64_t one = 1;
        // The counter only needs to be non-zero; a full counter is still readable.
        [[maybe_unused]] const ssize_t n = write(event_fd_, &one, sizeof one);
    }
}

bool JobFlags::Sleep(int milliseconds) const {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!Aborted()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return true;
        }
        pollfd p{event_fd_, POLLIN, 0};
        const int r = poll(&p, event_fd_ >= 0 ? 1 : 0, static_cast<int>(left));
        if (r < 0 && errno != EINTR) {
            return !Aborted();
        }
    }
    return false;
}

}  // namespace velmora
