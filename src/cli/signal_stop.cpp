#include "cli/signal_stop.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdint>

namespace velmora::cli {

SignalStop::SignalStop() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    signal_fd_ = signalfd(-1, &set_, SFD_CLOEXEC);
    done_fd_ = eventfd(0, EFD_CLOEXEC);
}

SignalStop::~SignalStop() {
    Unwatch();
    close(signal_fd_);
    close(done_fd_);
}

void SignalStop::Watch(std::function<void()> stop) {
    watcher_ = std::thread([this, stop = std::move(stop)] { Run(stop); });
}

void SignalStop::Unwatch() {
    if (watcher_.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(done_fd_, &one, sizeof one);
        watcher_.join();
    }
}

void SignalStop::Run(const std::function<void()>& stop) {
    pollfd fds[2] = {{signal_fd_, POLLIN, 0}, {done_fd_, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            return;
        if (fds[0].revents) {
            signalfd_siginfo info{};
            if (read(signal_fd_, &info, sizeof info) == sizeof info) {
                signalled_.store(true);
                stop();
            }
        }
    }
}

}  // namespace velmora::cli
