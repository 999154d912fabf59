// Every work mode over USB against the simulated phone, checked on the chip and
// in the files written.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "sim/trace.h"
#include "support/wait_until.h"
#include "usb/usb_fixture.h"

namespace velmora::testing {
namespace {

constexpr int kReservoir = 124;  // R of the 128-block chip

// The arguments of every erase command the phone got, as [first, end).
std::vector<std::pair<uint32_t, uint32_t>> EraseCommands(sim::Trace& trace) {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (const sim::TraceEvent& e : trace.Of("frame")) {
        if (e.command == 10) {
            out.emplace_back(e.args[0], e.args[3]);
        }
    }
    return out;
}

class UsbWorkModes : public UsbPhoneTest {
  protected:
    void SetUp() override {
        UsbPhoneTest::SetUp();
        UseTestCatalogue();
    }

    // code: blocks 2 to 5, three and a half blocks of content (block 5 is bad);
    // yaffs: blocks 8 to 10 with spare bytes, one block and 5000 bytes.
    std::vector<Partition> Firmware() {
        return {{"code", 2 * kBlock, 4 * kBlock, Bytes(3 * kBlock + kBlock / 2, 1), 1},
                {"yaffs", 8 * kBlock, 3 * kBlock, Bytes(kSpareBlock + 5000, 2), 3}};
    }

    int RunMode(WorkMode mode, WorkRange range, uint32_t start = 0, uint32_t end = 0) {
        job_ = MakeJob(mode, range);
        job_->range_start = start;
        job_->range_end = end;
        return Run(*job_);
    }

    std::unique_ptr<DownloadJob> job_;
};

TEST_F(UsbWorkModes, UpgradeThenEveryReadGivesBackWhatWasWritten) {
    StartPhone("chip=EC,10,bad=5");
    const auto parts = Firmware();
    const auto boot = BootImage(2);
    SetFirmware(parts, boot);

    ASSERT_EQ(RunMode(WorkMode::kCodeUpgrade, UpgradeRange::kAll), 0) << job_->outcome().text;
    EXPECT_TRUE(phone_->trace().Violations().empty());
    // The code area goes in one erase command; the bad block's replacement in its own.
    const auto erases = EraseCommands(phone_->trace());
    EXPECT_NE(std::find(erases.begin(), erases.end(), std::make_pair(1u, 54u)), erases.end());
    EXPECT_NE(std::find(erases.begin(), erases.end(), std::make_pair(124u, 125u)), erases.end());
    EXPECT_TRUE(Logged("\nWrite block#2, prog multi blocks loops #1!\n"));
    EXPECT_TRUE(Logged("Write block#2 successfully!\n\n"));
    const auto code = parts[0].content;
    EXPECT_EQ(phone_->nand().ReadBlock(2, false), Padded(code, 0, kBlock, kBlock));
    EXPECT_EQ(phone_->nand().ReadBlock(kReservoir, false),
              Padded(code, 3 * kBlock, kBlock / 2, kBlock));  // logical block 5
    EXPECT_EQ(phone_->nand().ReadBlock(9, true),
              Padded(parts[1].content, kSpareBlock, 5000, kSpareBlock));

    ASSERT_EQ(RunMode(WorkMode::kReadCode, ReadRange::kPartitionTable), 0) << job_->outcome().text;
    const std::string out = home_ + "upload_nand/";
    EXPECT_EQ(ReadFile(out + "parti_01_code"), code);
    EXPECT_EQ(ReadFile(out + "parti_02_yaffs"), parts[1].content);
    const auto block0 = phone_->nand().ReadBlock(0, false);
    EXPECT_EQ(ReadFile(out + "boot_nand.bin"),
              std::vector<uint8_t>(block0.begin(), block0.begin() + 65536));
    EXPECT_FALSE(ReadFile(out + "upload.ptt").empty());

    // The EEROM area: its 74 blocks whole, the reservoir included.
    ASSERT_EQ(RunMode(WorkMode::kReadCode, ReadRange::kEerom), 0) << job_->outcome().text;
    std::vector<uint8_t> eerom;
    for (int b = 128 - 74; b < 128; ++b) {
        const auto bytes = phone_->nand().ReadBlock(b, false);
        eerom.insert(eerom.end(), bytes.begin(), bytes.end());
    }
    EXPECT_EQ(ReadFile(out + "upload_eerom.bin"), eerom);

    // A specified area through the record: logical blocks 4 and 5 (5 lives in R).
    ASSERT_EQ(RunMode(WorkMode::kReadCode, ReadRange::kArea, 4 * kBlock, 6 * kBlock - 1), 0)
        << job_->outcome().text;
    std::vector<uint8_t> area = phone_->nand().ReadBlock(4, false);
    const auto moved = phone_->nand().ReadBlock(kReservoir, false);
    area.insert(area.end(), moved.begin(), moved.end());
    EXPECT_EQ(ReadFile(out + "upload_range.bin"), area);
    EXPECT_TRUE(phone_->trace().Violations().empty());
}

TEST_F(UsbWorkModes, EachEraseRangeGoesAsOneCommandForItsBlocks) {
    StartPhone("chip=EC,10");
    SetFirmware(Firmware(), BootImage(2));
    ASSERT_EQ(RunMode(WorkMode::kCodeUpgrade, UpgradeRange::kAll), 0) << job_->outcome().text;

    struct Case {
        EraseRange range;
        uint32_t first, end;
    };
    // K, the code area's end, is the yaffs partition's end: block 11.
    const Case cases[] = {{EraseRange::kFileSystem, 11, 54},
                          {EraseRange::kArea, 3, 5},
                          {EraseRange::kCode, 0, 11},
                          {EraseRange::kAll, 0, 54},
                          {EraseRange::kEerom, 54, 124}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.range));
        phone_->nand().WriteBlock(c.end - 1, Bytes(kBlock, 5), false);
        phone_->trace().Clear();
        ASSERT_EQ(RunMode(WorkMode::kErase, c.range, 3 * kBlock + 17, 4 * kBlock + 1), 0)
            << job_->outcome().text;
        EXPECT_EQ(EraseCommands(phone_->trace()),
                  (std::vector<std::pair<uint32_t, uint32_t>>{{c.first, c.end}}));
        EXPECT_TRUE(phone_->nand().IsErased(c.end - 1));
        EXPECT_EQ(display_.state(static_cast<int>(c.end) - 1), BlockState::kErased);
    }
}

// A block's checksum is checked while the next block crosses the wire. A bad one
// is read again; four in a row fail a partition read with the blocks before it
// kept, and the area read after it tries the block again and carries on.
TEST_F(UsbWorkModes, ABadBlockChecksumIsReadAgainAndFailsOnlyWhenEveryTryIsBad) {
    StartPhone("chip=EC,10,bad-crc=11@3#1+11@3#2+11@3#3+11@3#4+11@3#5");
    const auto parts = Firmware();
    SetFirmware(parts, BootImage(2));
    ASSERT_EQ(RunMode(WorkMode::kCodeUpgrade, UpgradeRange::kAll), 0) << job_->outcome().text;

    EXPECT_EQ(RunMode(WorkMode::kReadCode, ReadRange::kPartitionTable), 3);
    EXPECT_EQ(job_->outcome().text, "Read Partition1 error #21100, block 3");
    EXPECT_EQ(display_.state(3), BlockState::kFailed);
    const std::vector<uint8_t> first(parts[0].content.begin(), parts[0].content.begin() + kBlock);
    EXPECT_EQ(ReadFile(home_ + "upload_nand/parti_01_code"), first);

    ASSERT_EQ(RunMode(WorkMode::kReadCode, ReadRange::kArea, 2 * kBlock, 5 * kBlock - 1), 0)
        << job_->outcome().text;
    std::vector<uint8_t> area;
    for (int b = 2; b < 5; ++b) {
        const auto bytes = phone_->nand().ReadBlock(b, false);
        area.insert(area.end(), bytes.begin(), bytes.end());
    }
    EXPECT_EQ(ReadFile(home_ + "upload_nand/upload_range.bin"), area);
}

// A paced phone takes over three seconds for this upgrade (1.9 s for the code area's
// erase alone); Stop ends the pipe's wait and the job quietly.
TEST_F(UsbWorkModes, StopEndsAnUpgradeQuietly) {
    StartPhone("chip=EC,11,pace");
    SetFirmware({{"code", 2 * kBlock, 100 * kBlock, Bytes(99 * kBlock, 7), 1}}, BootImage(2));
    job_ = MakeJob(WorkMode::kCodeUpgrade, UpgradeRange::kAll);
    std::atomic<bool> done{false};
    std::thread stopper([&] {
        WaitUntil([&] { return done || !display_.statuses().empty(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // well into the job
        job_->Stop();
    });
    const int result = Run(*job_);
    done = true;
    stopper.join();
    EXPECT_NE(result, 0);
    // Stopped in the code area's erase: no partition block and no boot block written.
    EXPECT_LT(phone_->trace().ProgrammedBlocks().size(), 99u);
    const std::vector<uint32_t> colours = display_.bar_colours();
    EXPECT_EQ(std::count(colours.begin(), colours.end(), kBarRedUsb), 0);
    EXPECT_TRUE(phone_->nand().IsErased(0));  // the boot block was never written
}

}  // namespace
}  // namespace velmora::testing
