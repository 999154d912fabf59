// The second opinion on a read: two reads that agree stand, a third settles a
// difference byte by byte, and three that disagree fail naming the block.
#include <gtest/gtest.h>

#include <vector>

#include "base/results.h"
#include "flash/nand_session.h"
#include "flash/read_twice.h"

namespace velmora {
namespace {

TEST(SecondOpinion, KeepsWhatTwoReadsAgreeOnAndFailsWhereNoTwoDo) {
    NandSession nand(nullptr, false);
    SecondOpinion opinion;
    std::vector<std::vector<uint8_t>> reads;  // what the chip gives out, read after read
    size_t next = 0;
    const SecondOpinion::Read read = [&](std::span<uint8_t> into) {
        if (next == reads.size())
            return 1100;
        std::copy(reads[next].begin(), reads[next].end(), into.begin());
        ++next;
        return 0;
    };
    auto confirm = [&](std::vector<uint8_t> first, std::vector<std::vector<uint8_t>> then) {
        reads = std::move(then);
        next = 0;
        const int r = opinion.Confirm(nand, first, 7, read);
        return std::pair{r, first};
    };

    EXPECT_EQ(confirm({1, 2, 3, 4}, {{1, 2, 3, 4}}),
              std::pair(0, std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(next, 1u);
    EXPECT_TRUE(nand.notes().empty());
    // The first read flipped byte 0, the second byte 3: each is outvoted.
    EXPECT_EQ(confirm({0, 2, 3, 4}, {{1, 2, 3, 5}, {1, 2, 3, 4}}),
              std::pair(0, std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(nand.notes(),
              std::vector<std::string>{
                  "Block 7 read differently twice; a third read settled it byte by byte."});
    EXPECT_EQ(confirm({1, 2, 3, 4}, {{1, 9, 3, 4}, {1, 8, 3, 4}}).first,
              result::read_back::kReadsDisagree);
    EXPECT_NE(nand.attempt.text.find("Block 7 "), std::string::npos) << nand.attempt.text;
    EXPECT_EQ(nand.notes().back(), nand.attempt.text + ".");
    // A read that fails is the failure.
    EXPECT_EQ(confirm({1, 2, 3, 4}, {{1, 2, 3, 5}}).first, 1100);
}

}  // namespace
}  // namespace velmora
