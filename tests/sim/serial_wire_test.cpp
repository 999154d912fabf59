// The phone's end of the line, paced: bytes cross it no faster than the rate in
// either direction, so a host's long write blocks as it would on a real line.
#include "sim/serial_wire.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace velmora::sim {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void MakeRaw(int fd) {
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetspeed(&t, B921600);
    tcsetattr(fd, TCSANOW, &t);
}

// A pseudo-terminal: the phone's end (master) and the host's (slave).
struct Line {
    Line() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0) {
            MakeRaw(master);
            host = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
            MakeRaw(host);
        }
    }
    ~Line() {
        if (host >= 0)
            close(host);
        if (master >= 0)
            close(master);
    }
    int master = -1;
    int host = -1;
};

// How many bytes the kernel takes from the host while the phone reads nothing.
size_t KernelSlack() {
    Line line;
    fcntl(line.host, F_SETFL, O_NONBLOCK);
    std::vector<uint8_t> block(1024);
    size_t total = 0;
    for (ssize_t n; (n = write(line.host, block.data(), block.size())) > 0;)
        total += static_cast<size_t>(n);
    return total;
}

TEST(SerialWire, PacedBytesCrossTheLineNoFasterThanItsRateBothWays) {
    constexpr double kBytesPerSecond = 921600 / 10.0;
    const size_t slack = KernelSlack();
    Line line;
    ASSERT_GE(line.host, 0);
    const int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    SerialWire wire;
    wire.Attach(line.master, false, -1, wake);
    line.master = -1;  // the wire owns it now
    wire.SetPace(true);
    wire.SetPhoneBaud(921600, 10);

    // Host to phone: half a second more than the kernel buffers.
    const size_t n = slack + static_cast<size_t>(kBytesPerSecond / 2);
    double host_write_s = 0;
    const auto start = Clock::now();
    std::thread host([&] {
        const std::vector<uint8_t> data(n, 0x3C);
        size_t done = 0;
        while (done < n) {
            const ssize_t w = write(line.host, data.data() + done, n - done);
            if (w <= 0)
                break;
            done += static_cast<size_t>(w);
        }
        host_write_s = SecondsSince(start);
    });
    std::vector<uint8_t> got(n);
    EXPECT_EQ(wire.Read(got.data(), n, -1), SerialWire::Status::kOk);
    const double read_s = SecondsSince(start);
    host.join();
    EXPECT_GE(host_write_s, 0.4) << "the host's write must wait for the line (" << slack
                                 << " bytes buffered by the kernel)";
    EXPECT_GE(read_s, n / kBytesPerSecond * 0.97);
    EXPECT_LT(read_s, n / kBytesPerSecond * 1.3 + 0.1) << "not stretched beyond the wire time";

    // Phone to host.
    const std::vector<uint8_t> answer(16384, 0xC3);
    const auto sent = Clock::now();
    std::thread phone([&] { wire.Write(answer.data(), answer.size()); });
    size_t received = 0;
    std::vector<uint8_t> buffer(4096);
    while (received < answer.size()) {
        const ssize_t r = read(line.host, buffer.data(), buffer.size());
        if (r <= 0)
            break;
        received += static_cast<size_t>(r);
    }
    const double answer_s = SecondsSince(sent);
    phone.join();
    EXPECT_EQ(received, answer.size());
    EXPECT_GE(answer_s, answer.size() / kBytesPerSecond * 0.95);

    wire.Detach();
    close(wake);
}

}  // namespace
}  // namespace velmora::sim
