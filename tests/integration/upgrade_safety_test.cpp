// What keeps an upgrade from damaging a phone: the checks before the first
// erase, chips whose bad blocks the record cannot map, blocks that went bad
// after the record was written, an uncut boot block and retried glitches.
#include <gtest/gtest.h>

#include <filesystem>

#include "flash/upgrade_check.h"
#include "nand_harness.h"

namespace velmora::testing {
namespace {

// A record as the phone keeps it: every block used as itself except `replaced`.
void StoreRecord(sim::NandChip& nand, std::initializer_list<std::pair<int, int>> replaced = {}) {
    nand.WriteBlock(nand.blocks() - 1, RecordBlock(replaced), false);
    nand.WriteBlock(nand.blocks() - 2, RecordBlock(replaced), false);
}

// The read-back's files are the partitions' contents, byte for byte.
void ExpectReadBackEquals(SimHarness& sim, const std::vector<Partition>& parts) {
    ASSERT_EQ(sim.Run(WorkMode::kReadCode, ReadRange::kPartitionTable), 0)
        << sim.job->outcome().text;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string name = "upload_nand/parti_" + std::string(i < 9 ? "0" : "") +
                                 std::to_string(i + 1) + "_" + parts[i].name;
        const std::string got = sim.ReadFile(name);
        EXPECT_TRUE(got == std::string(parts[i].content.begin(), parts[i].content.end()))
            << name << ": " << got.size() << " bytes";
    }
}

TEST(UpgradeChecks, ALayoutThatWouldFailIsRefusedBeforeAnythingIsErased) {
    // 128 blocks: the EEROM and reservoir start at block 54.
    const auto content = [](size_t blocks) { return Bytes(blocks * kBlock, 3); };
    const struct {
        const char* what;
        std::vector<Partition> parts;
        std::vector<uint8_t> boot;
        const char* says;
    } cases[] = {
        {"empty boot image", {{"code", 4 * kBlock, 4 * kBlock, content(1)}}, {}, "is empty"},
        {"boot image over a block",
         {{"code", 4 * kBlock, 4 * kBlock, content(1)}},
         BootImage(2, kBlock + 1),
         "more than block 0 holds"},
        {"partition on block 0", {{"code", 0, 4 * kBlock, content(1)}}, BootImage(2), "block 0"},
        {"partition into the reservoir",
         {{"code", 50 * kBlock, 8 * kBlock, content(1)}},
         BootImage(2),
         "into the EEROM and reservoir (blocks 54 to 127)"},
        {"partition beyond the chip",
         {{"code", 120 * kBlock, 16 * kBlock, content(1)}},
         BootImage(2),
         "beyond the chip's last block 127"},
        {"two partitions share a block",
         {{"code", 4 * kBlock, 4 * kBlock, content(1)}, {"lang", 7 * kBlock, 2 * kBlock, {1}}},
         BootImage(2),
         "share block 7"},
        {"content larger than its blocks",
         {{"code", 4 * kBlock, 2 * kBlock, content(3)}},
         BootImage(2),
         "needs 3 blocks, but the partition has 2"},
    };
    for (const auto& c : cases) {
        SimHarness sim(kChip128);
        ASSERT_TRUE(sim.started) << sim.start_error;
        sim.SetFirmware(c.parts, c.boot);
        EXPECT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll),
                  result::download::kUpgradeRefused)
            << c.what;
        EXPECT_NE(sim.job->outcome().text.find(c.says), std::string::npos)
            << c.what << ": " << sim.job->outcome().text;
        EXPECT_NE(sim.job->outcome().text.find("Nothing was erased."), std::string::npos);
        EXPECT_TRUE(sim.phone->trace().ErasedBlocks().empty()) << c.what;
        EXPECT_TRUE(sim.phone->trace().ProgrammedBlocks().empty()) << c.what;
    }
}

TEST(UpgradeChecks, AContentFileThatChangedAfterLoadingIsRefused) {
    SimHarness sim(kChip128);
    ASSERT_TRUE(sim.started) << sim.start_error;
    sim.SetFirmware({{"code", 4 * kBlock, 4 * kBlock, Bytes(kBlock, 1)}}, BootImage(2));
    sim.home.Write("fw/sub/p1.bin", "shorter now");
    EXPECT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll),
              result::download::kUpgradeRefused);
    EXPECT_NE(sim.job->outcome().text.find("p1.bin has 11 bytes"), std::string::npos)
        << sim.job->outcome().text;
    EXPECT_TRUE(sim.phone->trace().ErasedBlocks().empty());
}

// Chips whose bad blocks no record maps: bad blocks are skipped on write as the
// read-back skips them, no record is written, and the read-back gives the files
// back. A chip over 1024 blocks whose phone holds a record uses it below 1024.
TEST(UnmappedChips, BadBlocksAreSkippedAndTheReadBackGivesTheFilesBack) {
    const size_t small = 0x4000, small_spare = 32 * 528;
    const struct {
        const char* what;
        const char* chip;
        std::vector<uint32_t> bad;
        std::vector<Partition> parts;
        bool record_on_phone;
        std::vector<int> holds;  // blocks that must hold the start of a piece
    } cases[] = {
        {"small pages, bad blocks in and beside a partition",
         kSmallPage,
         {3, 30},
         {{"code", 2 * small, 16 * small, Bytes(3 * small + 300, 21), 1},
          {"yaffs", 20 * small, 4 * small, Bytes(small_spare + 1000, 22), 3}},
         false,
         {2, 4, 5, 6}},
        {"2048 blocks, no record",
         kChip2048,
         {5, 13},
         {{"code", 4 * kBlock, 8 * kBlock, Bytes(5 * kBlock + 70000, 1), 1},
          {"yaffs", 16 * kBlock, 4 * kBlock, Bytes(2 * kSpareBlock + 5000, 2), 3}},
         false,
         {4, 6, 7, 8, 9, 10}},
        {"2048 blocks, record on the phone",
         kChip2048,
         {5},
         {{"code", 4 * kBlock, 8 * kBlock, Bytes(5 * kBlock + 70000, 1), 1}},
         true,
         {4, 2006, 6, 7, 8, 9}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimHarness sim(c.chip, c.bad);
        ASSERT_TRUE(sim.started) << sim.start_error;
        if (c.record_on_phone)
            StoreRecord(sim.nand(), {{5, 2006}});
        sim.SetFirmware(c.parts, BootImage(2));
        ASSERT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll), 0)
            << sim.job->outcome().text;
        const auto written = sim.phone->trace().ProgrammedBlocks();
        for (const uint32_t b : c.bad)
            EXPECT_EQ(std::count(written.begin(), written.end(), b), 0) << "bad block " << b;
        const uint32_t top = sim.nand().blocks() - 1;
        EXPECT_EQ(std::count(written.begin(), written.end(), top), 0) << "no record is written";
        for (const int b : c.holds)
            EXPECT_FALSE(sim.nand().IsErased(static_cast<uint32_t>(b))) << "block " << b;
        ExpectReadBackEquals(sim, c.parts);
    }
}

TEST(UnmappedChips, APartitionWhoseGoodBlocksCannotHoldItIsRefused) {
    SimHarness sim(kChip2048, {4, 5, 6});
    ASSERT_TRUE(sim.started) << sim.start_error;
    sim.SetFirmware({{"code", 4 * kBlock, 8 * kBlock, Bytes(5 * kBlock + 70000, 1), 1}},
                    BootImage(2));
    EXPECT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll),
              result::download::kUpgradeRefused);
    EXPECT_NE(sim.job->outcome().text.find("Partition 1 (code): its content (725360 bytes) needs 6 "
                                           "blocks, but only 5 of its 8 blocks are good."),
              std::string::npos)
        << sim.job->outcome().text;
    EXPECT_TRUE(sim.phone->trace().ErasedBlocks().empty());
}

// Block 6 went bad after the record was written: the IBT says bad, its entry is 0.
TEST(GrownBadBlocks, UpgradeRefusesEraseSkipsAndReadBackReadsItAsItIs) {
    SimHarness sim(kChip1024, {6});
    ASSERT_TRUE(sim.started) << sim.start_error;
    StoreRecord(sim.nand());
    const std::vector<Partition> parts = {
        {"code", 4 * kBlock, 8 * kBlock, Bytes(5 * kBlock + 70000, 1), 1}};
    sim.SetFirmware(parts, BootImage(2));
    EXPECT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll),
              result::download::kUpgradeRefused);
    EXPECT_NE(sim.job->outcome().text.find("Block 6 of Partition 1 (code) is bad and has no "
                                           "replacement"),
              std::string::npos)
        << sim.job->outcome().text;
    EXPECT_TRUE(sim.phone->trace().ErasedBlocks().empty());

    // The erase passes over it and shows it NG; nothing is sent to block 0 for it.
    ASSERT_EQ(sim.Run(WorkMode::kErase, EraseRange::kAll), 0) << sim.job->outcome().text;
    const auto erased = sim.phone->trace().ErasedBlocks();
    EXPECT_EQ(std::count(erased.begin(), erased.end(), 6u), 0);
    EXPECT_EQ(sim.display.map().Text(7, 2), "NG");

    // A partition over it reads the block itself and says so at the end.
    sim.SetFirmware({{"code", 4 * kBlock, 4 * kBlock, Bytes(kBlock, 4), 1}}, BootImage(2));
    ASSERT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll), 0) << sim.job->outcome().text;
    const auto old = sim.nand().ReadBlock(6, false);
    const auto boot_table = sim.nand().ReadBlock(0, false);
    auto mapped = boot_table;
    StoreLe32(mapped.data() + 0x7C0 + 4, 4 * kBlock);  // the partition now spans blocks 4 to 7
    StoreLe32(mapped.data() + 0x7C0 + 8, 3 * kBlock);
    sim.nand().Erase(0);
    sim.nand().WriteBlock(0, mapped, false);
    ASSERT_EQ(sim.Run(WorkMode::kReadCode, ReadRange::kPartitionTable), 0)
        << sim.job->outcome().text;
    const std::string file = sim.ReadFile("upload_nand/parti_01_code");
    ASSERT_EQ(file.size(), 3 * kBlock);
    EXPECT_TRUE(std::equal(old.begin(), old.end(),
                           reinterpret_cast<const uint8_t*>(file.data()) + 2 * kBlock));
    ASSERT_EQ(sim.job->notes().size(), 1u);
    EXPECT_EQ(sim.job->notes()[0], "Block 6 is bad and has no replacement; it was read as it is.");
    EXPECT_EQ(sim.display.last_status(), sim.job->notes()[0]);
}

// Stops when block 0's erase is done: the boot-block step goes on to its end.
class StopWhenBlockZeroIsErased : public RecordingDisplay {
  public:
    std::function<void()> stop;
    void OnBlock(int block, BlockState state) override {
        RecordingDisplay::OnBlock(block, state);
        if (block == 0 && state == BlockState::kErased && stop)
            stop();
    }
};

TEST(BootBlock, AStopDuringItsStepWaitsForTheWholeNewBlock) {
    SimHarness sim(kChip128);
    ASSERT_TRUE(sim.started) << sim.start_error;
    sim.SetFirmware({{"code", 4 * kBlock, 4 * kBlock, Bytes(kBlock, 1), 1}}, BootImage(2));
    sim.nand().WriteBlock(0, Bytes(kBlock, 11), false);
    StopWhenBlockZeroIsErased display;
    display.stop = [&] { sim.job->Stop(); };
    EXPECT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll, {}, &display), 0);
    EXPECT_TRUE(sim.job->Stopped());
    const auto block0 = sim.nand().ReadBlock(0, false);
    const auto boot = BootImage(2);
    EXPECT_TRUE(std::equal(boot.begin(), boot.begin() + 0x400, block0.begin()));
    EXPECT_TRUE(std::equal(boot.begin() + 0x1000, boot.end(), block0.begin() + 0x1000));
    EXPECT_EQ(block0[boot.size()], 0xFF);
    ASSERT_EQ(sim.job->notes().size(), 1u);
    EXPECT_NE(sim.job->notes()[0].find("every partition and the boot block were written"),
              std::string::npos);
}

TEST(BootBlock, AFailedStepIsErasedAndWrittenOnceMore) {
    SimHarness sim(kChip128);
    ASSERT_TRUE(sim.started) << sim.start_error;
    sim.SetFirmware({{"code", 4 * kBlock, 4 * kBlock, Bytes(kBlock, 1), 1}}, BootImage(3, 20000));
    auto previous = Bytes(kBlock, 5);
    StoreLe32(previous.data() + 0x3FBC, 41);
    sim.nand().WriteBlock(0, previous, false);
    sim.phone->AddFault({sim::FaultKind::kBadCrc, kCmdWritePages, 0, 1, 0});
    ASSERT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll), 0) << sim.job->outcome().text;
    const auto erased = sim.phone->trace().ErasedBlocks();
    EXPECT_EQ(std::count(erased.begin(), erased.end(), 0u), 2) << "block 0 erased twice";
    EXPECT_EQ(LoadLe32(sim.nand().ReadBlock(0, false).data() + 0x3FBC), 42u)
        << "the counter is computed once";

    // Both attempts failing ends the job, with the code of the last.
    sim.phone->AddFault({sim::FaultKind::kBadCrc, kCmdWritePages, 0, 0, 0});
    EXPECT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll), 100);
    EXPECT_EQ(sim.job->outcome().text, "Write boot nand fail, #2105");
}

TEST(Retries, OneLostAnswerOfARepeatableStepCostsARetryNotThePhone) {
    // Lost: the IBT answer, the parameters' acknowledgement, the record answer,
    // an erase acknowledgement, block 0's read: each once.
    SimHarness sim(kChip128);
    ASSERT_TRUE(sim.started) << sim.start_error;
    StoreRecord(sim.nand());
    sim.SetFirmware({{"code", 4 * kBlock, 4 * kBlock, Bytes(kBlock, 1), 1}}, BootImage(3, 20000));
    for (const auto& [command, block] : std::vector<std::pair<int, int>>{{kCmdReadNandId, -1},
                                                                         {kCmdGetIbt, -1},
                                                                         {kCmdSetNandParams, -1},
                                                                         {kCmdReadMgmtRecord, -1},
                                                                         {kCmdErase, 5},
                                                                         {kCmdReadBlock, 0}}) {
        sim.phone->AddFault({sim::FaultKind::kDrop, command, block, 1, 0});
    }
    const std::string log = sim.home.path() + "dl_log.txt";
    ASSERT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll,
                      [&](DownloadJob& job) {
                          job.mutable_timings().response_ms = 300;
                          job.mutable_timings().ack_ms = 300;
                          job.reporter.OpenLog(log);
                      }),
              0)
        << sim.job->outcome().text;
    sim.job->reporter.CloseLog();
    const std::string text = sim.ReadFile("dl_log.txt");
    for (const char* step :
         {"Read NAND ID failed", "Get IBT failed", "Set NAND parameters failed",
          "Read the management record failed", "Erase block #5 failed", "Read block #0 failed"}) {
        EXPECT_NE(text.find(step), std::string::npos) << step;
    }
}

}  // namespace
}  // namespace velmora::testing
