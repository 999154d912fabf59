#pragma once
// A scripted host for the simulated phone's tests: the host's side of the
// serial line written from scratch here (not the product's host code), so the
// tests check the phone against the wire protocol itself.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/checksum.h"
#include "sim/phone.h"

namespace velmora::sim::testing {

// A small unpaced chip (64 blocks of 16 pages of 2048 + 64 bytes) with short
// time-outs, and `extra` options in the compact form.
inline PhoneOptions SmallPhone(const std::string& extra = {}) {
    PhoneOptions o;
    std::string error;
    const bool ok = ParsePhoneOptions(
        "blocks=64,block-size=32K,page-size=2048,spare=64,start-delay=1,data-timeout=500" +
            (extra.empty() ? "" : "," + extra),
        o, error);
    EXPECT_TRUE(ok) << error;
    return o;
}

// A frame's arguments, the rest zero.
inline std::array<uint32_t, 7> Args(std::initializer_list<uint32_t> values) {
    std::array<uint32_t, 7> a{};
    std::copy(values.begin(), values.end(), a.begin());
    return a;
}

class ScriptHost {
  public:
    explicit ScriptHost(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ >= 0) {
            SetLine(115200, true);
            tcflush(fd_, TCIFLUSH);
        }
    }
    // Adopts a descriptor that is not a terminal (a socket).
    explicit ScriptHost(int fd) : fd_(fd) {}
    ~ScriptHost() { Close(); }
    ScriptHost(const ScriptHost&) = delete;
    ScriptHost& operator=(const ScriptHost&) = delete;

    bool ok() const { return fd_ >= 0; }
    void Close() {
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
    }

    void SetLine(int baud, bool even_parity) {
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        if (even_parity) {
            t.c_cflag |= PARENB;
        }
        cfsetspeed(&t, baud == 921600 ? B921600 : baud == 460800 ? B460800 : B115200);
        tcsetattr(fd_, TCSANOW, &t);
    }

    void Write(const std::vector<uint8_t>& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t w = write(fd_, bytes.data() + done, bytes.size() - done);
            if (w > 0) {
                done += static_cast<size_t>(w);
            } else {
                pollfd p{fd_, POLLOUT, 0};
                if (poll(&p, 1, 2000) <= 0 || (p.revents & (POLLHUP | POLLERR)) != 0) {
                    return;
                }
            }
        }
    }

    // Exactly n bytes within the time-out, else what arrived.
    std::vector<uint8_t> Read(size_t n, int timeout_ms = 2000) {
        std::vector<uint8_t> out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (out.size() < n) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  end - std::chrono::steady_clock::now())
                                  .count();
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
                break;
            }
            uint8_t buf[8192];
            const ssize_t r = read(fd_, buf, std::min(sizeof buf, n - out.size()));
            if (r <= 0) {
                hung_up_ = true;
                break;
            }
            out.insert(out.end(), buf, buf + r);
        }
        return out;
    }
    bool hung_up() const { return hung_up_; }

    bool WaitFor(uint8_t value, int timeout_ms = 1000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (std::chrono::steady_clock::now() < end) {
            const auto b =
                Read(1, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                             end - std::chrono::steady_clock::now())
                                             .count()));
            if (b.size() == 1 && b[0] == value) {
                return true;
            }
        }
        return false;
    }

    // The phone announces with 0x81; the host answers 'D' and wants it echoed.
    bool Connect() {
        if (!WaitFor(0x81, 2000)) {
            return false;
        }
        tcflush(fd_, TCIFLUSH);
        Write({'D'});
        return WaitFor('D', 1000);
    }

    // The boot ROM's letters before the loader: each step's bytes, then the
    // answer's length (0: an 'O').
    bool Handshake() {
        const std::pair<std::vector<uint8_t>, size_t> steps[] = {
            {{'T', 0xFF}, 0},
            {{'P'}, 5},
            {{'Q'}, 16},
            {{'D', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
            {{'S', 0x48, 0x00, 0x10, 0xC2}, 0},
            {{'G', 0x00}, 4},
            {{'S', 0x00, 0x00, 0x00, 0xBC}, 0},
            {{'L', 0x00, 0x01, 0x00, 0x00, 0x00}, 0}};
        for (const auto& [bytes, answer] : steps) {
            Write(bytes);
            if (answer == 0 ? !WaitFor('O') : Read(answer).size() != answer)
                return false;
        }
        return true;
    }

    // Loads the image at address 0 in chunks of 256 bytes and jumps to it.
    bool LoadAndJump(const std::vector<uint8_t>& image) {
        Write({'S', 0, 0, 0, 0});
        if (!WaitFor('O'))
            return false;
        for (size_t off = 0; off < image.size(); off += 256) {
            const size_t n = std::min<size_t>(256, image.size() - off);
            std::vector<uint8_t> chunk{'L', static_cast<uint8_t>(n / 4 - 1)};
            chunk.insert(chunk.end(), image.begin() + static_cast<long>(off),
                         image.begin() + static_cast<long>(off + n));
            Write(chunk);
            if (!WaitFor('O'))
                return false;
        }
        Write({'S', 0, 0, 0, 0});
        if (!WaitFor('O'))
            return false;
        Write({'J'});
        SetLine(115200, false);
        return WaitFor(0xBE, 1500);
    }

    // Everything up to a running RAM loader.
    bool BringUp(size_t image_bytes = 1024) {
        std::vector<uint8_t> image(image_bytes);
        for (size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<uint8_t>(i * 7);
        return Connect() && Handshake() && LoadAndJump(image);
    }

    static std::vector<uint8_t> Frame(uint16_t command, std::array<uint32_t, 7> args = {}) {
        std::vector<uint8_t> f(64, 0);
        f[0] = 0x55;
        f[1] = 0xAA;
        f[2] = static_cast<uint8_t>(command);
        f[3] = static_cast<uint8_t>(command >> 8);
        for (int i = 0; i < 7; ++i) {
            for (int k = 0; k < 4; ++k) {
                f[4 + 4 * i + k] = static_cast<uint8_t>(args[i] >> (8 * k));
            }
        }
        return f;
    }
    void Send(uint16_t command, std::array<uint32_t, 7> args = {}) {
        tcflush(fd_, TCIFLUSH);
        Write(Frame(command, args));
    }
    // A little-endian word of a response; 0xDEADDEAD when the response is missing.
    static uint32_t U32(const std::vector<uint8_t>& b, size_t offset) {
        if (b.size() < offset + 4) {
            return 0xDEADDEADu;
        }
        return b[offset] | b[offset + 1] << 8 | b[offset + 2] << 16 |
               static_cast<uint32_t>(b[offset + 3]) << 24;
    }
    // A 64-byte response: empty when it did not come or the header is wrong.
    std::vector<uint8_t> Response(int timeout_ms = 3000) {
        auto r = Read(64, timeout_ms);
        if (r.size() != 64 || r[0] != 0x55 || r[1] != 0xAA) {
            return {};
        }
        return r;
    }
    int fd() const { return fd_; }

  private:
    int fd_ = -1;
    bool hung_up_ = false;
};

// A started phone and hosts on its port.
struct Rig {
    explicit Rig(PhoneOptions options = SmallPhone()) : phone(std::move(options)) {
        std::string error;
        EXPECT_TRUE(phone.Start(&error)) << error;
    }
    std::unique_ptr<ScriptHost> Host() {
        auto host = std::make_unique<ScriptHost>(phone.SlavePath());
        EXPECT_TRUE(host->ok());
        return host;
    }
    // A host that brought up the RAM loader.
    std::unique_ptr<ScriptHost> LoaderHost() {
        auto host = Host();
        EXPECT_TRUE(host->BringUp());
        return host;
    }
    Phone phone;
};

}  // namespace velmora::sim::testing
