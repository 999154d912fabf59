#include "serial/serial_boot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "job/download_job.h"
#include "job/serial_sequence.h"
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

// A boot ROM that answers each letter command as the phone's does, and records
// the loader chunks it receives. `ack_chunks` limits how many 'L' commands of
// the loader transfer it acknowledges.
class ScriptedBootRom {
  public:
    explicit ScriptedBootRom(const PtyPair& pty) : pty_(pty) {}
    ~ScriptedBootRom() { Join(); }

    void Run(int ack_chunks) {
        thread_ = std::thread([this, ack_chunks] {
            if (AnnounceUntilD(pty_, true))
                Serve(ack_chunks);
        });
    }
    void Join() {
        if (thread_.joinable())
            thread_.join();
    }

    std::vector<uint8_t> count_bytes;  // count byte of every loader chunk

  private:
    std::vector<uint8_t> Take(size_t n) { return pty_.Read(n, 2000); }

    void Serve(int ack_chunks) {
        bool loading = false;
        int chunks = 0;
        for (;;) {
            const auto command = Take(1);
            if (command.empty())
                return;
            switch (command[0]) {
                case 'S': {
                    const auto address = Take(4);
                    loading = address == std::vector<uint8_t>{0, 0, 0, 0};
                    pty_.Write({'O'});
                    break;
                }
                case 'L': {
                    const auto n = Take(1);
                    if (n.empty())
                        return;
                    Take(4u * (n[0] + 1u));
                    if (loading) {
                        count_bytes.push_back(n[0]);
                        if (++chunks > ack_chunks)
                            return;
                    }
                    pty_.Write({'O'});
                    break;
                }
                case 'T':
                case 'D':
                    Take(command[0] == 'T' ? 1 : 20);
                    pty_.Write({'O'});
                    break;
                case 'P':
                case 'Q':
                    pty_.Write(std::vector<uint8_t>(command[0] == 'P' ? 5 : 16, 0x11));
                    break;
                case 'G': {
                    const auto n = Take(1);
                    if (n.empty())
                        return;
                    pty_.Write(std::vector<uint8_t>(4u * (n[0] + 1u), 0x22));
                    break;
                }
                default:  // 'J' among them
                    return;
            }
        }
    }

    const PtyPair& pty_;
    std::thread thread_;
};

class SerialBootTest : public ::testing::Test {
  protected:
    SerialBootTest() : job_(LinkKind::kSerial, nullptr, false), port_(job_) {
        job_.timings.ack_ms = 200;
        job_.timings.loader_start_ms = 200;
    }
    void SetUp() override { ASSERT_TRUE(port_.Open(pty_.slave_path())); }

    PtyPair pty_;
    DownloadJob job_;
    SerialPort port_;
};

TEST_F(SerialBootTest, AnAnnouncementAnywhereInABurstStartsTheEchoExchange) {
    std::thread phone([&] { AnnounceUntilD(pty_, true); });
    EXPECT_EQ(WaitForPhone(port_, job_), 0);
    phone.join();

    // No echo: one attempt only, then failure.
    std::thread silent([&] { AnnounceUntilD(pty_, false); });
    EXPECT_EQ(WaitForPhone(port_, job_), 1);
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
        job.timings.baud_pause_ms = 1;
        job.timings.settle_ms = 1;
        RefusingPort port(job);
        ASSERT_TRUE(port.Open(pty.slave_path()));
        port.refused = c.refused;
        pty.Write({0xBE});  // the loader's start byte
        EXPECT_EQ(SwitchToLoaderBaud(port, job, c.selection), c.result) << c.refused;
        EXPECT_EQ(job.error_text, c.text);
        EXPECT_EQ(port.taken_baud(), 38400);
    }
}

// The whole sequence fails with -2 when the boot ROM stops acknowledging the
// loader, and the port is closed at the end.
TEST(SerialJob, AMissingLoaderAcknowledgementFailsTheJobWithMinus2) {
    PtyPair pty;
    DownloadJob job(LinkKind::kSerial, nullptr, false);
    job.timings.ack_ms = 200;
    job.port = pty.slave_path();
    ScriptedBootRom rom(pty);
    rom.Run(/*ack_chunks=*/10);
    EXPECT_EQ(RunSerialJob(job), -2);
    rom.Join();
    EXPECT_EQ(rom.count_bytes.size(), 11u);
    EXPECT_EQ(job.result.load(), -2);
    SerialPort again(job);
    EXPECT_TRUE(again.Open(pty.slave_path())) << "the job's end closed the port";
}

}  // namespace
}  // namespace velmora
