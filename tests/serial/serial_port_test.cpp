#include "serial/serial_port.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "base/job_flags.h"
#include "pty_pair.h"

namespace velmora {
namespace {

using testing::PtyPair;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// More than a pseudo-terminal buffers while nobody reads, and more than a slow
// reader takes within the write's deadline.
constexpr size_t kLongWrite = 96 * 1024;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

TEST(SerialDevicePath, ComNamesMapToTtySAndAreRangeChecked) {
    int number = -1;
    EXPECT_EQ(SerialDevicePath("COM1", &number), "/dev/ttyS0");
    EXPECT_EQ(number, 1);
    EXPECT_EQ(SerialDevicePath("COM1024"), "/dev/ttyS1023");  // COM0 and COM1025: integration
    EXPECT_EQ(SerialDevicePath("/dev/ttyUSB0", &number), "/dev/ttyUSB0");
    EXPECT_EQ(number, 0);
    EXPECT_EQ(SerialDevicePath(""), "");
}

TEST(SerialPort, OpensRawExclusiveAndRefusesMissingDevices) {
    JobFlags flags;
    PtyPair pty;
    SerialPort port(flags);
    EXPECT_EQ(port.SetLineFormat(115200, 8, Parity::kEven, 1), -2) << "not open";
    EXPECT_FALSE(port.Open("/dev/velmora-no-such-port"));
    ASSERT_TRUE(port.Open(pty.slave_path()));
    const termios tio = pty.HostSettings();
    EXPECT_EQ(cfgetospeed(&tio), B115200);
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON), 0u);
    EXPECT_EQ(tio.c_cflag & (CRTSCTS | PARENB), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | ICRNL), 0u);

    SerialPort second(flags);
    EXPECT_FALSE(second.Open(pty.slave_path())) << "a port in use must not open twice";
    // Opening again closes the first handle: the port stays usable.
    ASSERT_TRUE(port.Open(pty.slave_path()));
    port.Close();
    EXPECT_TRUE(second.Open(pty.slave_path()));
}

TEST(SerialPort, WaitForByteSkipsStrayBytesAndLeavesTheRestForReadExact) {
    JobFlags flags;
    PtyPair pty;
    SerialPort port(flags);
    ASSERT_TRUE(port.Open(pty.slave_path()));
    pty.Write({0x01, 0x02, 'O', 0x33, 0x44});
    EXPECT_TRUE(port.WaitForByte('O', 1000));
    uint8_t rest[2] = {};
    ASSERT_TRUE(port.ReadExact(rest, 1000));
    EXPECT_EQ(rest[0], 0x33);
    EXPECT_EQ(rest[1], 0x44);

    pty.Write({0x10, 0x11, 0x12});
    EXPECT_FALSE(port.WaitForByte('O', 50));
    EXPECT_EQ(port.QueuedInput(), 0) << "stray bytes are consumed";
    EXPECT_FALSE(port.ReadExact(rest, 50)) << "nothing left: the time-out ends the read";
}

TEST(SerialPort, WireMsCountsEveryBitOfACharacterAndRoundsUp) {
    JobFlags flags;
    PtyPair pty;
    SerialPort port(flags);
    EXPECT_EQ(port.WireMs(1000), 0) << "closed";
    ASSERT_TRUE(port.Open(pty.slave_path()));
    struct Case {
        int baud;
        Parity parity;
        int stop_bits;
        size_t bytes;
        int ms;
    } const cases[] = {
        {115200, Parity::kEven, 1, 65536, 6258},  // 11 bits: 6257.8 ms
        {115200, Parity::kNone, 1, 65536, 5689},  // 10 bits: 5688.9 ms
        {115200, Parity::kNone, 2, 1152, 110},    // 11 bits, exact
        {921600, Parity::kNone, 1, 1, 1},         // 0.01 ms rounds up
        {460800, Parity::kNone, 1, 0, 0},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(port.SetLineFormat(c.baud, 8, c.parity, c.stop_bits), 1);
        EXPECT_EQ(port.WireMs(c.bytes), c.ms) << c.baud << " baud, " << c.bytes << " bytes";
    }
}

// A long write may take its wire time plus the time-out, then gives up: a
// reader that keeps taking a little does not stretch it.
TEST(SerialPort, WriteEndsAtItsDeadlineWhenThePeerReadsSlowly) {
    JobFlags flags;
    PtyPair pty;
    SerialPort port(flags);
    ASSERT_TRUE(port.Open(pty.slave_path()));
    ASSERT_EQ(port.SetLineFormat(921600, 8, Parity::kNone, 1), 1);
    port.set_write_timeout(200);
    const int deadline = port.WireMs(kLongWrite) + 200;  // 1267 ms

    std::atomic<bool> done{false};
    std::thread slow_reader([&] {
        while (!done) {
            pty.Read(1024, 50);
            std::this_thread::sleep_for(milliseconds(50));
        }
    });
    const auto start = Clock::now();
    EXPECT_EQ(port.Write(std::vector<uint8_t>(kLongWrite, 0x5A)), -1);
    const long long took = MsSince(start);
    done = true;
    slow_reader.join();
    EXPECT_GE(took, deadline);
    EXPECT_LT(took, deadline + 400);
}

TEST(SerialPort, WriteEndsPromptlyWithItsOwnCodeWhenThePeerHangsUp) {
    JobFlags flags;
    PtyPair pty;
    SerialPort port(flags);
    ASSERT_TRUE(port.Open(pty.slave_path()));
    port.set_write_timeout(10000);
    std::thread unplug([&] {
        std::this_thread::sleep_for(milliseconds(50));
        pty.CloseMaster();
    });
    const auto start = Clock::now();
    EXPECT_EQ(port.Write(std::vector<uint8_t>(kLongWrite, 0x5A)), -3);
    unplug.join();
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_EQ(port.Write(std::vector<uint8_t>(16, 0x5A)), -3) << "and at once afterwards";
}

// Stop must end a wait at once, whichever wait it is, with a not-found result.
TEST(SerialPort, StopEndsEveryWaitAtOnce) {
    PtyPair pty;
    for (int which = 0; which < 4; ++which) {
        JobFlags flags;
        SerialPort port(flags);
        ASSERT_TRUE(port.Open(pty.slave_path()));
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            flags.Stop();
        });
        const auto start = Clock::now();
        uint8_t buffer[8];
        switch (which) {
            case 0:
                EXPECT_FALSE(port.WaitForByte('O', 10000));
                break;
            case 1:
                EXPECT_FALSE(port.ReadExact(buffer, 10000));
                break;
            case 2:
                EXPECT_EQ(port.ReadSome(buffer, -1), -1);
                break;
            case 3:  // a write that the line cannot take yet; last, as it fills the pty
                port.set_write_timeout(10000);
                EXPECT_EQ(port.Write(std::vector<uint8_t>(kLongWrite, 0x5A)), -1);
                break;
        }
        stopper.join();
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(5)) << "wait " << which;
        EXPECT_FALSE(flags.Sleep(10000)) << "a stopped job does not sleep";
        port.Close();
    }
}

}  // namespace
}  // namespace velmora
