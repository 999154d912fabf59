#include "flash/page_program.h"

#include <gtest/gtest.h>

#include <numeric>

#include "flash/nand_fixture.h"
#include "job/text_format.h"

namespace velmora::testing {
namespace {

std::vector<uint8_t> Counting(size_t n) {
    std::vector<uint8_t> v(n);
    std::iota(v.begin(), v.end(), uint8_t{7});
    return v;
}

TEST(WriteBlockData, PadsTheRestToWholePagesInOneCommand) {
    NandFixture f(Geometry(64));
    const auto data = Counting(4108);
    ASSERT_EQ(WriteBlockData(*f.job, data, 3, false, 4108), 0);
    ASSERT_EQ(f.loader->frames.size(), 1u);
    const auto& frame = f.loader->frames[0];
    EXPECT_EQ(frame.command, kCmdWritePages);
    EXPECT_EQ(frame.args[1], 0u);  // first page
    EXPECT_EQ(frame.args[2], 3u);  // pages
    EXPECT_EQ(frame.args[4], 6144u);
    EXPECT_EQ(frame.data_bytes, 6144u);
    const auto block = f.loader->Block(3, false);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), block.begin()));
    EXPECT_TRUE(
        std::all_of(block.begin() + 4108, block.end(), [](uint8_t b) { return b == 0xFF; }));
}

TEST(WriteBlockData, SplitsABlockWithSpareIntoChunksAtTheRightPages) {
    NandFixture f(Geometry(64));
    const auto data = Counting(64 * 2112);
    ASSERT_EQ(WriteBlockData(*f.job, data, 5, true, static_cast<uint32_t>(data.size())), 0);
    ASSERT_EQ(f.loader->frames.size(), 2u);
    EXPECT_EQ(f.loader->frames[1].args[1], 32u);
    EXPECT_EQ(f.loader->frames[1].args[3], 2112u);
    EXPECT_EQ(f.loader->Block(5, true), data);

    NandFixture exact(Geometry(64));
    ASSERT_EQ(WriteBlockData(*exact.job, Counting(65536), 1, false, 65536), 0);
    EXPECT_EQ(exact.loader->frames.size(), 1u);
    EXPECT_EQ(WriteBlockData(*exact.job, {}, 1, false, 0), 0);
    EXPECT_EQ(exact.loader->frames.size(), 1u);
}

TEST(WriteBlockData, ACrcEchoThatDiffersFailsWith105) {
    NandFixture f(Geometry(64));
    f.loader->wrong_crc_blocks = {2};
    const auto data = Counting(2048);
    EXPECT_EQ(WriteBlockData(*f.job, data, 2, false, 2048), 105);
    const uint32_t crc = Crc32(data);
    EXPECT_EQ(f.job->error_text, Format("CRC32 Check Exp: 0x%x, Act: 0x%x", crc, crc ^ 1));
    f.loader->stop_answering = true;
    EXPECT_EQ(WriteBlockData(*f.job, data, 3, false, 2048), 103);
}

TEST(WriteSmallBlock, FillsTheLastPageAndRefusesMoreThan64KiB) {
    NandFixture f(Geometry(64, 0x4000, 512, 16));
    std::vector<uint8_t> buffer(32 * 528, 0x11);
    EXPECT_EQ(WriteSmallBlock(*f.job, buffer, 4, true, 65537), -1000);
    EXPECT_TRUE(f.loader->frames.empty());
    ASSERT_EQ(WriteSmallBlock(*f.job, buffer, 4, true, 1000), 0);
    EXPECT_EQ(f.loader->frames[0].command, kCmdWriteBlock);
    EXPECT_EQ(f.loader->frames[0].args[1], 2u);
    EXPECT_EQ(f.loader->frames[0].data_bytes, 1056u);
    EXPECT_EQ(buffer[999], 0x11);
    EXPECT_EQ(buffer[1000], 0xFF);
    EXPECT_EQ(buffer[1055], 0xFF);
    EXPECT_EQ(buffer[1056], 0x11);
    f.loader->bad = {6};
    EXPECT_EQ(WriteSmallBlock(*f.job, buffer, 6, false, 512), 3010);
    EXPECT_EQ(f.job->error_text, "program(sp) block6 fail.");
}

}  // namespace
}  // namespace velmora::testing
