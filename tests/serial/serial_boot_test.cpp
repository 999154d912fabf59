#include "serial/serial_boot.h"

#include <gtest/gtest.h>

#include <thread>

#include "job/download_job.h"
#include "pty_pair.h"
#include "serial/serial_port.h"

namespace velmora {
namespace {

using testing::PtyPair;

// Announces (with stray bytes around the 0x81) until the host's 'D' arrives;
// echoes it when `echo` is set.
bool AnnounceUntilD(const PtyPair& pty, bool echo) {
    for (int i = 0; i < 200; ++i) {
        pty.Write({0x00, 0x13, 0x37, 0x81, 0x55, 0x66});
        if (pty.Read(1, 10) == std::vector<uint8_t>{'D'}) {
            if (echo)
                pty.Write({'D'});
            return true;
        }
    }
    return false;
}

TEST(SerialBoot, AnAnnouncementAnywhereInABurstStartsTheEchoExchange) {
    PtyPair pty;
    DownloadJob job(LinkKind::kSerial, nullptr, false);
    job.mutable_timings().ack_ms = 200;
    SerialPort port(job);
    ASSERT_TRUE(port.Open(pty.slave_path()));
    std::thread phone([&] { AnnounceUntilD(pty, true); });
    EXPECT_EQ(WaitForPhone(port, job), 0);
    phone.join();

    // No echo: one attempt only, then failure.
    std::thread silent([&] { AnnounceUntilD(pty, false); });
    EXPECT_EQ(WaitForPhone(port, job), 1);
    silent.join();
}

// A driver that keeps another rate than the one asked for: the read-back after
// the format change says so.
class RefusingPort : public SerialPort {
  public:
    using SerialPort::SerialPort;
    int refused = 0;

  protected:
    int DriverBaud() const override {
        const int baud = SerialPort::DriverBaud();
        return baud == refused ? 38400 : baud;
    }
};

TEST(SerialBoot, ARateThePortDidNotTakeFailsItsStepNamingTheRate) {
    struct Case {
        int selection;
        int refused;
        int result;
        const char* text;
    } const cases[] = {
        {0, 115200, -3, "改变波特率到115200失败！"},
        {1, 460800, -6, "改变波特率到460800失败！"},
        {2, 921600, -5, "改变波特率到921600失败！"},
    };
    for (const Case& c : cases) {
        PtyPair pty;
        DownloadJob job(LinkKind::kSerial, nullptr, false);
        job.mutable_timings().baud_pause_ms = 1;
        job.mutable_timings().settle_ms = 1;
        RefusingPort port(job);
        ASSERT_TRUE(port.Open(pty.slave_path()));
        port.refused = c.refused;
        pty.Write({0xBE});  // the loader's start byte
        EXPECT_EQ(SwitchToLoaderBaud(port, job, c.selection), c.result) << c.refused;
        EXPECT_EQ(job.attempt.text, c.text);
        EXPECT_EQ(port.taken_baud(), 38400);
    }
}

}  // namespace
}  // namespace velmora
