// The station: slots that do not disturb each other, the log's rows, and the
// locks that keep the window and the station apart.
#include <gtest/gtest.h>

#include "frontend/instance_lock.h"
#include "integration/job_fixture.h"
#include "integration/nand_harness.h"
#include "job/station.h"
#include "job/station_log.h"

namespace velmora::testing {
namespace {

class StationTest : public JobFixture {};

// Three phones, the second fails to program its partition's block: the others
// pass and their chips hold the firmware, and the log has one closed row each.
TEST_F(StationTest, AFailingSlotLeavesTheOthersTheirFirmware) {
    const auto boot = BootImage(2);
    const std::string ptt = WriteSmallFirmware(home_, boot);
    std::vector<std::unique_ptr<sim::Phone>> phones;
    StationRequest request;
    for (int i = 0; i < 3; ++i) {
        sim::PhoneOptions o;
        o.catalogue = VELMORA_BIN_DIR;
        o.faults.push_back({sim::FaultKind::kNoise});
        o.start_delay_ms = 1;
        if (i == 1)
            o.program_fail_blocks = {1};
        phones.push_back(std::make_unique<sim::Phone>(o));
        std::string error;
        ASSERT_TRUE(phones.back()->Start(&error)) << error;
        request.ports.push_back(phones.back()->SlavePath());
    }
    request.job.home = home_;
    request.job.ptt_path = ptt;
    request.job.timings.baud_pause_ms = 20;
    request.job.timings.settle_ms = 20;
    request.log_path = home_ + "station.sqlite";
    std::vector<RecordingDisplay> displays(3);
    std::vector<EventSink*> sinks;
    for (auto& d : displays)
        sinks.push_back(&d);

    Station station;
    const StationStart started = station.Start(request, sinks);
    ASSERT_TRUE(started.started) << started.message;
    station.Wait();

    EXPECT_EQ(station.passed(), 2);
    EXPECT_EQ(station.failed(), 1);
    EXPECT_EQ(station.Slot(1).state, SlotState::kFailed);
    const std::vector<uint8_t> code = Bytes(0x8000, 7);
    for (int i : {0, 2}) {
        EXPECT_EQ(station.Slot(i).state, SlotState::kPassed) << station.Slot(i).last_text;
        const sim::NandChip& nand = phones[static_cast<size_t>(i)]->nand();
        EXPECT_EQ(nand.ReadBlock(1, false), Padded(code, 0, code.size(), kBlock)) << i;
        const auto block0 = nand.ReadBlock(0, false);
        EXPECT_TRUE(std::equal(boot.begin(), boot.begin() + 0x400, block0.begin())) << i;
    }

    StationLog log;
    ASSERT_TRUE(log.OpenForReading(request.log_path, nullptr));
    const auto rows = log.Rows();
    ASSERT_EQ(rows.size(), 3u);
    int failed = 0;
    for (const StationRow& row : rows) {
        ASSERT_FALSE(row.interrupted());
        EXPECT_EQ(row.chip_id, "EC,A1,00,15");
        EXPECT_EQ(row.ptt_sha256, FileSha256(ptt));
        EXPECT_EQ(row.port, request.ports[static_cast<size_t>(row.slot - 1)]);
        if (*row.result != 0) {
            ++failed;
            EXPECT_EQ(row.slot, 2);
            EXPECT_FALSE(row.result_text.empty());
            EXPECT_GE(row.bad_blocks, 1);
        }
    }
    EXPECT_EQ(failed, 1);
}

TEST_F(StationTest, RefusesWhatWouldCollide) {
    const std::string ptt = WriteSmallFirmware(home_, BootImage(2));
    StationRequest request;
    request.job.home = home_;
    request.job.ptt_path = ptt;
    RecordingDisplay display;
    const std::vector<EventSink*> two = {&display, &display};
    struct Case {
        std::vector<std::string> ports;
        bool debug;
        LinkKind link;
        const char* says;
    };
    for (const Case& c : {Case{{"/dev/ttyUSB0", "/dev/ttyUSB0"}, false, LinkKind::kSerial, "twice"},
                          Case{{"sim", "sim"}, true, LinkKind::kSerial, "dl_log.txt"},
                          Case{{"path=1-2", "dfu=1234"}, false, LinkKind::kUsb, "bus path"}}) {
        request.ports = c.ports;
        request.job.debug = c.debug;
        request.job.link = c.link;
        Station station;
        const StationStart s = station.Start(request, two);
        EXPECT_FALSE(s.started);
        EXPECT_NE(s.message.find(c.says), std::string::npos) << s.message;
    }
}

TEST(StationLock, TheWindowAndTheStationNeverRunTogether) {
    const std::string folder = ::testing::TempDir() + "/" + std::to_string(getpid()) + "_locks/";
    std::filesystem::create_directories(folder);
    {
        FileLock window;
        ASSERT_EQ(CheckSingleInstance(folder, window), InstanceCheck::kFirst);
        FileLock station;
        EXPECT_EQ(CheckStationInstance(folder, station), StationCheck::kWindowRunning);
        EXPECT_FALSE(station.held());
    }
    FileLock station;
    ASSERT_EQ(CheckStationInstance(folder, station), StationCheck::kFirst);
    FileLock second;
    EXPECT_EQ(CheckStationInstance(folder, second), StationCheck::kStationRunning);
    FileLock window;
    EXPECT_EQ(CheckSingleInstance(folder, window), InstanceCheck::kMultiPortRunning);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace velmora::testing
