#include "flash/block_erase.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "flash/nand_fixture.h"
#include "flash/nand_operations.h"

namespace velmora::testing {
namespace {

using ::testing::ElementsAre;

constexpr int kStatus = 2;

NandGeometry Chip1024() {
    return Geometry(1024, 0x4000);  // small blocks keep the fake chip small
}

std::vector<uint8_t> RecordBytesIn(const FakeLoader& loader, int block) {
    const auto b = loader.Block(block, false);
    return {b.begin(), b.begin() + ManagementRecord::kBytes};
}

TEST(BuildManagementRecord, MapsBadBlocksAndStoresTwoCopiesBelowABadTop) {
    NandFixture f(Chip1024(), {5, 9, 1023});
    ASSERT_EQ(BuildManagementRecord(*f.job), 0);
    const ManagementRecord& r = f.job->record;
    EXPECT_TRUE(r.Present());
    EXPECT_EQ(r.count(), 3u);
    EXPECT_EQ(r.Entry(5), 1002u);
    EXPECT_EQ(r.Entry(9), 1003u);
    EXPECT_EQ(r.Entry(1002), ManagementRecord::kUsedReservoir);
    EXPECT_EQ(r.Entry(1023), ManagementRecord::kBadReservoir);
    EXPECT_EQ(r.Entry(1004), 0u);
    EXPECT_EQ(f.loader->Commands(kCmdErase), (std::vector<int>{1022, 1021}));
    const auto bytes = r.ToBytes();
    for (int copy : {1022, 1021}) {
        EXPECT_EQ(RecordBytesIn(*f.loader, copy), std::vector<uint8_t>(bytes.begin(), bytes.end()));
        EXPECT_EQ(f.job->reporter.block_map().Colour(copy), kBlockProgrammed);
    }
}

TEST(BuildManagementRecord, RefusesWhatTheRecordCannotHoldAndWritesNothing) {
    std::set<int> bad;
    for (int b = 1; b <= 23; ++b)
        bad.insert(b);  // 23 bad blocks, 22 reservoir blocks
    NandFixture exhausted(Chip1024(), bad);
    EXPECT_EQ(BuildManagementRecord(*exhausted.job), -1);
    EXPECT_TRUE(exhausted.loader->frames.empty());
    EXPECT_FALSE(exhausted.job->record.Present());

    NandFixture large(Geometry(2048, 0x4000));
    EXPECT_EQ(BuildManagementRecord(*large.job), -6);
    EXPECT_TRUE(large.loader->frames.empty());
    EXPECT_NE(large.job->error_text.find("2048 blocks"), std::string::npos);
}

TEST(EraseBlockRange, NeverTouchesABadBlockNorItsReplacementAndStopsAtTheChipEnd) {
    NandFixture f(Chip1024(), {7});
    f.job->record.words[0] = f.job->record.words[1026] = ManagementRecord::kMagic;
    f.job->record.SetEntry(7, 1002);
    EXPECT_EQ(EraseBlockRange(*f.job, 10, 5), -1);
    EXPECT_TRUE(f.loader->frames.empty());
    ASSERT_EQ(EraseBlockRange(*f.job, 5, 9), 0);
    EXPECT_THAT(f.loader->Commands(kCmdErase), ElementsAre(5, 6, 8));
    EXPECT_EQ(f.job->reporter.block_map().Text(7 + 1, kStatus), "NG");
    f.loader->frames.clear();
    ASSERT_EQ(EraseBlockRange(*f.job, 1020, 2000), 0);
    EXPECT_THAT(f.loader->Commands(kCmdErase), ElementsAre(1020, 1021, 1022, 1023));

    f.loader->failing_erases = {30};
    EXPECT_EQ(EraseBlockRange(*f.job, 29, 40), 3010);
    EXPECT_EQ(f.job->error_text, "Erase block30 fail, #3010");
    EXPECT_EQ(f.job->reporter.block_map().Colour(30), kBlockFailed);
}

TEST(ErasePartition, ErasesItsBlocksThroughReplacementsAndSkipsAnUnmappedBadBlock) {
    NandFixture f(Geometry(64), {5, 6}, true);
    f.job->table.partition_count = 1;
    f.job->table.entries[0].offset = 0x40000;
    f.job->table.entries[0].size = 0x400000;
    BuildTargetPartitionRecords(*f.job);
    f.job->record.SetEntry(5, 60);  // 6 went bad after the record was written
    ASSERT_EQ(ErasePartition(*f.job, 0), 0);
    std::vector<int> expected = {2, 3, 4, 60};
    for (int b = 7; b < 34; ++b)
        expected.push_back(b);
    EXPECT_EQ(f.loader->Commands(kCmdErase), expected);
    const BlockMap map = f.job->reporter.block_map();
    EXPECT_EQ(map.Text(6 + 1, kStatus), "NG");
    EXPECT_FALSE(map.Colour(6).has_value());
    EXPECT_EQ(map.Colour(60), kBlockErased);
    const std::string log = f.Log();
    EXPECT_NE(log.find("Erase NAND FLASH blocks from 2 to 34!"), std::string::npos);
    EXPECT_NE(log.find("Find a bad block #5, use reservoir block #60"), std::string::npos);
    EXPECT_NE(log.find("Bad block #6 has no replacement block"), std::string::npos);
}

}  // namespace
}  // namespace velmora::testing
