#pragma once
// A pseudo-terminal pair for port tests: the code under test opens the slave
// path as its serial port, the test plays the phone on the master side.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace velmora::testing {

class PtyPair {
  public:
    PtyPair() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            slave_ = ptsname(master_);
            termios tio{};
            tcgetattr(master_, &tio);
            cfmakeraw(&tio);
            tcsetattr(master_, TCSANOW, &tio);
        }
    }
    ~PtyPair() {
        if (master_ >= 0)
            close(master_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& slave_path() const { return slave_; }
    // The phone's end goes away: the port hangs up.
    void CloseMaster() {
        if (master_ >= 0)
            close(master_);
        master_ = -1;
    }
    int master() const { return master_; }

    void Write(const std::vector<uint8_t>& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                return;
            done += static_cast<size_t>(n);
        }
    }
    void Write(std::initializer_list<uint8_t> bytes) const { Write(std::vector<uint8_t>(bytes)); }

    // Up to `count` bytes, as many as arrive within `timeout_ms`.
    std::vector<uint8_t> Read(size_t count, int timeout_ms) const {
        std::vector<uint8_t> out;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (out.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0)
                break;
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0)
                break;
            if ((p.revents & POLLIN) == 0)
                break;
            uint8_t buffer[4096];
            const size_t want = std::min(sizeof buffer, count - out.size());
            const ssize_t n = ::read(master_, buffer, want);
            if (n <= 0)
                break;
            out.insert(out.end(), buffer, buffer + n);
        }
        return out;
    }

    // The line settings the host applied to its end (the pty shares them).
    termios HostSettings() const {
        termios tio{};
        tcgetattr(master_, &tio);
        return tio;
    }

  private:
    int master_ = -1;
    std::string slave_;
};

}  // namespace velmora::testing
