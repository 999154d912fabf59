#include "sim/serial_wire.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace velmora::sim {

namespace {

uint32_t SpeedToBaud(speed_t s) {
    switch (s) {
        case B0:
            return 0;
        case B1200:
            return 1200;
        case B2400:
            return 2400;
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        case B230400:
            return 230400;
        case B460800:
            return 460800;
        case B500000:
            return 500000;
        case B576000:
            return 576000;
        case B921600:
            return 921600;
        case B1000000:
            return 1000000;
        case B1500000:
            return 1500000;
        case B2000000:
            return 2000000;
        case B3000000:
            return 3000000;
        case B4000000:
            return 4000000;
        default:
            return 1;  // some other rate: never equal to the phone's
    }
}

timespec ToTimespec(int64_t ns) {
    if (ns < 0) {
        ns = 0;
    }
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

}  // namespace

int64_t SerialWire::Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void SerialWire::Attach(int fd, bool is_pty, int inotify_fd, int wake_fd) {
    fd_ = fd;
    is_pty_ = is_pty;
    inotify_fd_ = inotify_fd;
    wake_fd_ = wake_fd;
    opens_ = 0;
    had_host_ = false;
    hung_up_ = false;
    last_host_baud_ = 0;
    rx_.clear();
    rx_pos_ = 0;
}

void SerialWire::Detach() {
    if (fd_ >= 0) {
        close(fd_);
    }
    if (inotify_fd_ >= 0) {
        close(inotify_fd_);
    }
    fd_ = -1;
    inotify_fd_ = -1;
    hung_up_ = true;
}

int64_t SerialWire::WireTime(size_t bytes) const {
    return static_cast<int64_t>(bytes) * bits_ * 1000000000LL / std::max<uint32_t>(phone_baud_, 1);
}

uint32_t SerialWire::HostBaud() {
    if (!is_pty_ || fd_ < 0) {
        return 0;
    }
    termios t{};
    if (tcgetattr(fd_, &t) != 0) {
        return 0;
    }
    const uint32_t baud = SpeedToBaud(cfgetospeed(&t));
    if (baud != last_host_baud_) {
        last_host_baud_ = baud;
        if (on_host_baud) {
            on_host_baud(baud);
        }
    }
    return baud;
}

void SerialWire::DrainInotify() {
    if (inotify_fd_ < 0) {
        return;
    }
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = read(inotify_fd_, buffer, sizeof buffer);
        if (n <= 0) {
            return;
        }
        for (ssize_t off = 0; off < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + off);
            if ((e->mask & IN_OPEN) != 0) {
                ++opens_;
                had_host_ = true;
            }
            if ((e->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) != 0) {
                opens_ = std::max(0, opens_ - 1);
                // The session ends when the last holder lets go. A second program
                // that opened the port while a job runs (and was refused by the
                // host's lock) closing it again leaves the job's session alone.
                if (had_host_ && opens_ == 0) {
                    hung_up_ = true;
                }
            }
            off += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
}

void SerialWire::BeginSession() {
    DrainInotify();
    hung_up_ = fd_ < 0;
    had_host_ = opens_ > 0;
    tx_free_ = rx_end_ = busy_until_ = 0;
    DiscardInput();
}

void SerialWire::DiscardInput() {
    rx_.clear();
    rx_pos_ = 0;
    if (fd_ < 0 || !HostPresent()) {
        return;
    }
    uint8_t scratch[4096];
    while (read(fd_, scratch, sizeof scratch) > 0) {
    }
}

SerialWire::Status SerialWire::Wait(bool for_write, int64_t deadline_ns) {
    for (;;) {
        if (hung_up_) {
            return Status::kHangup;
        }
        pollfd fds[3];
        nfds_t n = 0;
        fds[n++] = {wake_fd_, POLLIN, 0};
        const nfds_t inotify_index = n;
        if (inotify_fd_ >= 0) {
            fds[n++] = {inotify_fd_, POLLIN, 0};
        }
        const nfds_t port_index = n;
        // Without a host a pty master reports a hang-up all the time: leave it out.
        const bool watch_port = fd_ >= 0 && HostPresent();
        if (watch_port) {
            fds[n++] = {fd_, static_cast<short>(for_write ? POLLOUT : POLLIN), 0};
        }
        timespec ts{};
        const timespec* timeout = nullptr;
        if (deadline_ns >= 0) {
            ts = ToTimespec(deadline_ns - Now());
            timeout = &ts;
        }
        const int r = ppoll(fds, n, timeout, nullptr);
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Status::kHangup;
        }
        if (r == 0) {
            return Status::kTimeout;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            return Status::kWake;
        }
        if (inotify_fd_ >= 0 && fds[inotify_index].revents != 0) {
            DrainInotify();
            continue;
        }
        if (watch_port) {
            const short ev = fds[port_index].revents;
            if ((ev & (for_write ? POLLOUT : POLLIN)) != 0) {
                return Status::kOk;
            }
            if ((ev & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                hung_up_ = true;
                return Status::kHangup;
            }
        }
    }
}

SerialWire::Status SerialWire::Idle(int64_t deadline_ns) {
    pollfd fds[2] = {{wake_fd_, POLLIN, 0}, {inotify_fd_, POLLIN, 0}};
    timespec ts{};
    const timespec* timeout = nullptr;
    if (deadline_ns >= 0) {
        ts = ToTimespec(deadline_ns - Now());
        timeout = &ts;
    }
    const int r = ppoll(fds, inotify_fd_ >= 0 ? 2 : 1, timeout, nullptr);
    if (r <= 0) {
        return Status::kTimeout;
    }
    if ((fds[0].revents & POLLIN) != 0) {
        return Status::kWake;
    }
    DrainInotify();
    return Status::kOk;
}

SerialWire::Status SerialWire::SleepUntil(int64_t deadline_ns) {
    for (;;) {
        const int64_t left = deadline_ns - Now();
        if (deadline_ns >= 0 && left <= 0) {
            return Status::kOk;
        }
        pollfd fd{wake_fd_, POLLIN, 0};
        timespec ts = ToTimespec(left);
        const int r = ppoll(&fd, 1, deadline_ns >= 0 ? &ts : nullptr, nullptr);
        if (r > 0) {
            return Status::kWake;
        }
    }
}

// Paced, the host's bytes cross the line one after another: the phone takes
// from the port only what the line has brought so far, a few milliseconds' worth
// at a time, and no more before those have arrived. So the host's queue stays
// full and its write blocks for the wire time, as on a real line. Bytes already
// waiting when the line became free follow the previous ones without a gap (a
// late wake-up of this thread does not stretch a transfer); bytes that came
// while the phone was busy elsewhere may have crossed meanwhile, at most one
// piece's worth. A read returns when its last byte would have arrived.
SerialWire::Status SerialWire::Read(uint8_t* out, size_t n, int64_t deadline_ns) {
    size_t got = 0;
    int64_t due = 0;
    while (got < n) {
        if (rx_pos_ == rx_.size()) {
            if (pace_ && rx_end_ > Now()) {
                const Status s = SleepUntil(rx_end_);
                if (s != Status::kOk) {
                    return s;
                }
            }
            Status s = Wait(false, Now());
            const bool waiting = s == Status::kOk;
            if (s == Status::kTimeout) {
                s = Wait(false, deadline_ns);
            }
            if (s != Status::kOk) {
                return s;
            }
            rx_.resize(pace_ ? PieceBytes() : 65536);
            const ssize_t r = read(fd_, rx_.data(), rx_.size());
            if (r <= 0) {
                rx_.clear();
                rx_pos_ = 0;
                if (r < 0 && (errno == EAGAIN || errno == EINTR)) {
                    continue;
                }
                hung_up_ = true;
                return Status::kHangup;
            }
            rx_.resize(static_cast<size_t>(r));
            rx_pos_ = 0;
            const uint32_t host = HostBaud();
            if (host != 0 && host != phone_baud_) {
                if (on_mismatch) {
                    on_mismatch(host, phone_baud_, rx_.size());
                }
                rx_.clear();
                continue;
            }
            const int64_t now = Now();
            rx_t0_ = waiting ? std::max(rx_end_, now - WireTime(rx_.size())) : now;
            rx_end_ = rx_t0_ + WireTime(rx_.size());
        }
        const size_t k = std::min(n - got, rx_.size() - rx_pos_);
        std::memcpy(out + got, rx_.data() + rx_pos_, k);
        rx_pos_ += k;
        got += k;
        due = rx_t0_ + WireTime(rx_pos_);
    }
    return pace_ ? SleepUntil(due) : Status::kOk;
}

size_t SerialWire::PieceBytes() const {
    // Five milliseconds of the line: longer than a wake-up takes, short beside
    // any time-out.
    return std::max<size_t>(16, phone_baud_ / static_cast<uint32_t>(bits_) / 200);
}

SerialWire::Status SerialWire::WriteAll(const uint8_t* data, size_t n) {
    size_t done = 0;
    while (done < n) {
        // A socket whose peer has gone must not raise SIGPIPE in the caller's process.
        ssize_t w = is_pty_ ? -1 : send(fd_, data + done, n - done, MSG_NOSIGNAL);
        if (is_pty_ || (w < 0 && errno == ENOTSOCK)) {
            w = write(fd_, data + done, n - done);
        }
        if (w > 0) {
            done += static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && (errno == EAGAIN || errno == EINTR)) {
            const Status s = Wait(true, -1);
            if (s != Status::kOk) {
                return s;
            }
            continue;
        }
        hung_up_ = true;
        return Status::kHangup;
    }
    return Status::kOk;
}

SerialWire::Status SerialWire::Write(const uint8_t* data, size_t n) {
    if (hung_up_ || fd_ < 0) {
        return Status::kHangup;
    }
    const uint32_t host = HostBaud();
    const bool lost = (host != 0 && host != phone_baud_) || !HostPresent();
    if (!pace_) {
        return lost ? Status::kOk : WriteAll(data, n);
    }
    const int64_t start = std::max({Now(), tx_free_, busy_until_});
    tx_free_ = start + WireTime(n);
    // Each piece goes out when its last byte would have crossed the wire.
    const size_t piece = std::max<size_t>(1, phone_baud_ / static_cast<uint32_t>(bits_) / 1000);
    for (size_t off = 0; off < n;) {
        const size_t k = std::min(piece, n - off);
        const Status s = SleepUntil(start + WireTime(off + k));
        if (s != Status::kOk) {
            return s;
        }
        if (!lost) {
            const Status w = WriteAll(data + off, k);
            if (w != Status::kOk) {
                return w;
            }
        }
        off += k;
    }
    return Status::kOk;
}

void SerialWire::ChipBusy(int64_t microseconds) {
    if (pace_ && microseconds > 0) {
        busy_until_ = std::max({Now(), busy_until_, rx_end_}) + microseconds * 1000;
    }
}

}  // namespace velmora::sim
