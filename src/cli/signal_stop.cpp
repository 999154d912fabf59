#include "cli/signal_stop.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "cli/commands.h"

namespace velmora::cli {

SignalStop::SignalStop() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    signal_fd_ = signalfd(-1, &set_, SFD_CLOEXEC);
    done_fd_ = eventfd(0, EFD_CLOEXEC);
    watcher_ = std::thread([this] { Run(); });
}

SignalStop::~SignalStop() {
    EndWatcher();
    close(signal_fd_);
    close(done_fd_);
}

void SignalStop::EndWatcher() {
    if (watcher_.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(done_fd_, &one, sizeof one);
        watcher_.join();
    }
}

void SignalStop::Release() {
    EndWatcher();
    pthread_sigmask(SIG_UNBLOCK, &set_, nullptr);
}

void SignalStop::Watch(std::function<void()> stop) {
    std::lock_guard lock(mutex_);
    stop_ = std::move(stop);
    phase_ = Phase::kWatching;
    give_up_.reset();
    if (signalled_.load() && stop_) {
        stop_();
    }
}

void SignalStop::Unwatch() {
    std::lock_guard lock(mutex_);
    phase_ = Phase::kDone;
    stop_ = nullptr;
}

void SignalStop::Run() {
    pollfd fds[2] = {{signal_fd_, POLLIN, 0}, {done_fd_, POLLIN, 0}};
    for (;;) {
        int timeout_ms = -1;
        {
            std::lock_guard lock(mutex_);
            if (give_up_) {
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(*give_up_ - Clock::now()).count();
                timeout_ms = static_cast<int>(std::max<long long>(left, 0));
            }
        }
        const int ready = poll(fds, 2, timeout_ms);
        if (ready < 0) {
            continue;
        }
        if (fds[1].revents) {
            return;
        }
        std::lock_guard lock(mutex_);
        if (ready == 0) {
            if (give_up_ && Clock::now() >= *give_up_) {
                // Stuck before the job or after it: nothing to stop gently, and
                // the phone is not being touched.
                std::fprintf(stderr, phase_ == Phase::kStarting
                                         ? "velmora-cli: stopped before the job started\n"
                                         : "velmora-cli: stopped after the job ended\n");
                _exit(kExitStopped);
            }
            continue;
        }
        signalfd_siginfo info{};
        if (read(signal_fd_, &info, sizeof info) != sizeof info) {
            continue;
        }
        if (phase_ != Phase::kDone) {
            signalled_.store(true);
        }
        if (phase_ == Phase::kWatching) {
            if (stop_) {
                stop_();
            }
        } else if (!give_up_) {
            give_up_ = Clock::now() + std::chrono::milliseconds(kGraceMs);
        }
    }
}

}  // namespace velmora::cli
