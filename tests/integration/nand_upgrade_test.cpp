// Code upgrades against the simulated phone, checked against the chip's
// content byte by byte.
#include <gtest/gtest.h>

#include "nand_harness.h"

namespace velmora::testing {
namespace {

// A classic 64-byte record as the boot block carries it.
std::vector<uint8_t> ClassicRecordBytes(const Partition& p) {
    std::vector<uint8_t> r(64, 0);
    StoreLe32(r.data(), p.offset);
    StoreLe32(r.data() + 4, p.size);
    StoreLe32(r.data() + 8, static_cast<uint32_t>(p.content.size()));
    std::copy(p.name.begin(), p.name.end(), r.begin() + 28);
    return r;
}

class UpgradeTest : public ::testing::Test {
  protected:
    // code: logical blocks 4 to 11, 5.5 blocks of content; yaffs: blocks 16 to
    // 19 with spare bytes, 2 blocks and 5000 bytes.
    std::vector<Partition> Firmware() {
        return {{"code", 4 * kBlock, 8 * kBlock, Bytes(5 * kBlock + 70000, 1), 1},
                {"yaffs", 16 * kBlock, 4 * kBlock, Bytes(2 * kSpareBlock + 5000, 2), 3}};
    }

    // The blocks that must hold data hold exactly it, the `erased` ones are
    // erased, and the job programmed no other block.
    void ExpectChip(SimHarness& sim, const std::map<int, std::vector<uint8_t>>& expected,
                    std::vector<int> erased = {}) {
        for (const uint32_t b : sim.phone->trace().ProgrammedBlocks())
            ASSERT_TRUE(expected.count(static_cast<int>(b))) << "block " << b << " was written";
        for (const auto& [b, want] : expected)
            ASSERT_TRUE(sim.nand().ReadBlock(b, want.size() == kSpareBlock) == want)
                << "block " << b;
        for (const int b : erased)
            EXPECT_TRUE(sim.nand().IsErased(b)) << "block " << b;
    }

    // What the partitions put where, through `map` (logical to physical).
    std::map<int, std::vector<uint8_t>> PartitionBlocks(const std::vector<Partition>& parts,
                                                        std::map<int, int> map = {},
                                                        size_t block = kBlock,
                                                        size_t spare_block = kSpareBlock) {
        std::map<int, std::vector<uint8_t>> out;
        for (const Partition& p : parts) {
            const bool spare = p.name[0] >= 'q';
            const size_t piece = spare ? spare_block : block;
            int b = static_cast<int>(p.offset / block);
            for (size_t at = 0; at < p.content.size(); at += piece, ++b) {
                const int physical = map.count(b) ? map[b] : b;
                out[physical] =
                    Padded(p.content, at, std::min(piece, p.content.size() - at), piece);
            }
        }
        return out;
    }

    std::vector<uint8_t> ClassicBlockZero(const std::vector<uint8_t>& boot,
                                          const std::vector<Partition>& parts,
                                          const std::array<uint8_t, 2048>& ibt) {
        std::vector<uint8_t> b(kBlock, 0xFF);
        std::copy(boot.begin(), boot.end(), b.begin());
        std::fill(b.begin() + 0x400, b.begin() + 0x800, 0xFF);
        for (size_t i = 0; i < parts.size(); ++i) {
            const auto r = ClassicRecordBytes(parts[i]);
            std::copy(r.begin(), r.end(), b.begin() + 0x7C0 - 0x40 * i);
        }
        StoreLe32(b.data() + 0x7C0 - 0x40 * parts.size(), 0);  // end mark
        std::copy(ibt.begin(), ibt.end(), b.begin() + 0x800);
        return b;
    }
};

TEST_F(UpgradeTest, BadBlocksAreReplacedFromTheReservoirAndTheRecordIsReused) {
    SimHarness sim(kChip1024, {5, 9});
    ASSERT_TRUE(sim.started) << sim.start_error;
    const auto parts = Firmware();
    const auto boot = BootImage(2);
    sim.SetFirmware(parts, boot);
    const auto garbage = Bytes(kBlock, 9);
    sim.nand().WriteBlock(40, garbage, false);   // code area: erased by the upgrade
    sim.nand().WriteBlock(960, garbage, false);  // file system: left alone

    ASSERT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll), 0) << sim.job->outcome().text;

    auto expected = PartitionBlocks(parts, {{5, 1002}, {9, 1003}});
    const auto record = RecordBlock({{5, 1002}, {9, 1003}});
    expected[1023] = expected[1022] = record;
    expected[0] = ClassicBlockZero(boot, parts, sim.nand().Ibt());
    expected[960] = garbage;
    ExpectChip(sim, expected, {40, 5, 9, 12, 13, 1004, 1021});
    EXPECT_EQ(sim.display.state(1002), BlockState::kProgrammed);

    // The second upgrade finds the record and keeps it; the code area's erase
    // goes through the same replacements.
    sim.phone->trace().Clear();
    ASSERT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll), 0) << sim.job->outcome().text;
    std::vector<uint32_t> erased;
    for (uint32_t b = 1; b < 950; ++b)
        erased.push_back(b == 5 ? 1002 : b == 9 ? 1003 : b);
    erased.push_back(0);
    EXPECT_EQ(sim.phone->trace().ErasedBlocks(), erased);
    ExpectChip(sim, expected, {40});
}

TEST_F(UpgradeTest, TheCodeRangeErasesOnlyThePartitionsBlocks) {
    SimHarness sim(kChip128);
    ASSERT_TRUE(sim.started) << sim.start_error;
    const auto parts = Firmware();
    sim.SetFirmware(parts, BootImage(2));
    const auto garbage = Bytes(kBlock, 4);
    sim.nand().WriteBlock(13, garbage, false);  // between the partitions
    ASSERT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kCode), 0) << sim.job->outcome().text;
    std::vector<uint32_t> erased = {127, 126};  // the new record's copies
    for (uint32_t b = 4; b < 12; ++b)
        erased.push_back(b);
    for (uint32_t b = 16; b < 20; ++b)
        erased.push_back(b);
    erased.push_back(0);
    EXPECT_EQ(sim.phone->trace().ErasedBlocks(), erased);
    EXPECT_EQ(sim.nand().ReadBlock(13, false), garbage);
}

TEST_F(UpgradeTest, VersionThreeBootBlockCountsItsWritesAndKeepsTheLayout) {
    SimHarness sim(kChip128);
    ASSERT_TRUE(sim.started) << sim.start_error;
    const auto parts = Firmware();
    const auto boot = BootImage(3, 20000);
    sim.SetFirmware(parts, boot);
    for (const uint32_t old : {0xFFFFFFFFu, 41u}) {
        auto previous = Bytes(kBlock, 5);
        StoreLe32(previous.data() + 0x3FBC, old);
        sim.nand().Erase(0);
        if (old != 0xFFFFFFFFu)
            sim.nand().WriteBlock(0, previous, false);
        ASSERT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll), 0)
            << sim.job->outcome().text;

        std::vector<uint8_t> want(kBlock, 0xFF);
        std::copy(boot.begin(), boot.end(), want.begin());
        std::fill(want.begin() + 0x204, want.begin() + 0x2C0, 0xFF);
        std::fill(want.begin() + 0x300, want.begin() + 0x600, 0xFF);
        std::fill(want.begin() + 0x3800, want.begin() + 0x4000, 0xFF);
        for (size_t i = 0; i < parts.size(); ++i) {
            uint8_t* r = want.data() + 0x5E8 - 24 * i;
            StoreLe32(r, parts[i].offset);
            StoreLe32(r + 4, parts[i].size);
            StoreLe32(r + 8, 0);
            StoreLe32(r + 12, parts[i].id);
            std::fill(r + 16, r + 24, 0);
            std::copy(parts[i].name.begin(), parts[i].name.end(), r + 16);
        }
        StoreLe32(want.data() + 0x5E8 - 24 * parts.size(), 0);
        StoreLe32(want.data() + 0x3FBC, old == 41 ? 42 : 1);
        EXPECT_EQ(sim.nand().ReadBlock(0, false), want) << "previous counter " << old;
    }
}

TEST_F(UpgradeTest, ACrcMismatchIsRetriedThreeTimesThenFailsTheJob) {
    SimHarness sim(kChip128);
    ASSERT_TRUE(sim.started) << sim.start_error;
    sim.SetFirmware(Firmware(), BootImage(2));
    sim.phone->AddFault({sim::FaultKind::kBadCrc, kCmdWritePages, 6, 0, 0});
    EXPECT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll), 100);
    EXPECT_EQ(sim.job->outcome().text, "Write partition_#1 fail, #20105");
    int attempts = 0;
    for (const auto& e : sim.phone->trace().Of("frame"))
        attempts += e.command == kCmdWritePages && e.args[0] == 6 && e.args[1] == 0;
    EXPECT_EQ(attempts, 4);
    EXPECT_TRUE(sim.nand().IsErased(0));  // no boot block after a failed partition
}

// Stops the job at the first block it programs.
class StopAtFirstWrite : public RecordingDisplay {
  public:
    std::function<void()> stop;
    void OnBlock(int block, BlockState state) override {
        RecordingDisplay::OnBlock(block, state);
        if (state == BlockState::kProgrammed && block != 127 && block != 126 && stop)
            stop();
    }
};

TEST_F(UpgradeTest, StopDuringTheDownloadLeavesTheBootBlockAlone) {
    SimHarness sim(kChip128);
    ASSERT_TRUE(sim.started) << sim.start_error;
    sim.SetFirmware(Firmware(), BootImage(2));
    const auto old_boot = Bytes(kBlock, 11);
    sim.nand().WriteBlock(0, old_boot, false);
    StopAtFirstWrite display;
    display.stop = [&] { sim.job->Stop(); };
    EXPECT_NE(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll, {}, &display), 0);
    EXPECT_TRUE(sim.job->Stopped());
    EXPECT_EQ(sim.nand().ReadBlock(0, false), old_boot);
    EXPECT_EQ(sim.phone->trace().ProgrammedBlocks().back(), 4u);  // nothing after the stop
}

TEST_F(UpgradeTest, SmallPageChipsWriteWholeBlocksInOneCommand) {
    SimHarness sim(kSmallPage);
    ASSERT_TRUE(sim.started) << sim.start_error;
    const size_t block = 0x4000, spare_block = 32 * 528;
    const std::vector<Partition> parts = {
        {"code", 2 * block, 16 * block, Bytes(3 * block + 300, 21), 1},
        {"yaffs", 20 * block, 4 * block, Bytes(spare_block + 1000, 22), 3}};
    sim.SetFirmware(parts, BootImage(2));
    ASSERT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll), 0) << sim.job->outcome().text;
    int block_writes = 0;
    for (const auto& e : sim.phone->trace().Of("frame"))
        block_writes += e.command == kCmdWriteBlock;
    EXPECT_EQ(block_writes, 4 + 2);
    for (const auto& [b, want] : PartitionBlocks(parts, {}, block, spare_block))
        EXPECT_EQ(sim.nand().ReadBlock(b, want.size() == spare_block), want) << "block " << b;
}

}  // namespace
}  // namespace velmora::testing
