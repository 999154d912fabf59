#include "job/job_flags.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace velmora {

JobFlags::JobFlags() : event_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

JobFlags::~JobFlags() {
    if (event_fd_ >= 0) {
        close(event_fd_);
    }
}

void JobFlags::Stop() {
    user_stop.store(1, std::memory_order_release);
    result.store(1, std::memory_order_release);
    if (event_fd_ >= 0) {
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
