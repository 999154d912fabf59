// Record building and erases at their edges, against an in-memory RAM loader.
#include "flash/block_erase.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "flash/fake_loader.h"
#include "flash/nand_operations.h"

namespace velmora::testing {
namespace {

using ::testing::ElementsAre;

TEST(BuildManagementRecord, PassesOverABadTopAndRefusesAnExhaustedReservoir) {
    LoaderJob f(1024, {5, 1023});
    ASSERT_EQ(BuildManagementRecord(f.job), 0);
    EXPECT_EQ(f.job.chip().record.Entry(5), 1002u);
    EXPECT_EQ(f.job.chip().record.Entry(1023), ManagementRecord::kBadReservoir);
    EXPECT_THAT(f.loader->blocks_named[kCmdErase], ElementsAre(1022, 1021));
    const auto bytes = f.job.chip().record.ToBytes();
    EXPECT_EQ(f.loader->written[1021].size(), 3u * 2048);  // 4108 bytes in whole pages
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), f.loader->written[1021].begin()));

    std::set<int> bad;
    for (int b = 1; b <= 23; ++b)
        bad.insert(b);  // 23 bad blocks for 22 reservoir blocks
    LoaderJob exhausted(1024, bad);
    EXPECT_EQ(BuildManagementRecord(exhausted.job), -1);
    EXPECT_TRUE(exhausted.loader->blocks_named.empty());
    EXPECT_FALSE(exhausted.job.chip().record.Present());
}

TEST(EraseBlockRange, RefusesAReversedRangeClipsAtTheChipEndAndStopsAtAFailure) {
    LoaderJob f(1024, {1021});
    EXPECT_EQ(EraseBlockRange(f.job, 10, 5), -1);
    EXPECT_EQ(EraseBlockRange(f.job, 1019, 2000), 0);
    EXPECT_THAT(f.loader->blocks_named[kCmdErase], ElementsAre(1019, 1020, 1022, 1023));
    EXPECT_EQ(f.Status(1021), "NG");
    f.loader->failing_erases = {30};
    EXPECT_EQ(EraseBlockRange(f.job, 29, 40), 3010);
    EXPECT_EQ(f.job.attempt.text, "Erase block30 fail, #3010");
    EXPECT_EQ(f.display.map().Colour(30), kBlockFailed);
}

}  // namespace
}  // namespace velmora::testing
