#include "config/chip_catalogue.h"

#include <gtest/gtest.h>

#include <array>

#include "temp_dir.h"

namespace velmora {
namespace {

TEST(ChipCatalogue, CompleteEntryVersionAndMissingOnes) {
    EXPECT_EQ(ChipIdText(0x0A, 0x01), "0A,01");
    testing::TempDir dir;
    NandGeometry g;
    std::string text = "kept";
    EXPECT_EQ(LookupChip(dir.path(), "EC,A1", g), -1);
    EXPECT_EQ(CatalogueVersionText(dir.path(), text), -1);
    EXPECT_EQ(text, "kept");
    dir.Write("FlashChip.ini",
              "[VERSION]\r\nDATE=2026-01-02\r\nVER=1.5\r\n\r\n"
              "[EC,A1]\r\nBLOCK_NUM=1024\r\nBLOCK_SIZE=128\r\nPAGE_SIZE=2048\r\n"
              "SPARE_SIZE=64\r\nERASE_TIME=2000\r\nWRITE_TIME=200\r\n");
    const std::string no_slash = dir.path().substr(0, dir.path().size() - 1);
    EXPECT_EQ(LookupChip(no_slash, "EC,A1", g), 0);
    EXPECT_EQ((std::array{g.block_count, g.block_size, g.page_size, g.spare_size, g.erase_time,
                          g.write_time}),
              (std::array{1024, 131072, 2048, 64, 2000, 200}));
    EXPECT_EQ(CatalogueVersionText(dir.path(), text), 0);
    EXPECT_EQ(text, "配置文件：2026-01-02(V1.5)");
    // A lower-case section does not match the upper-case ID text.
    EXPECT_EQ(LookupChip(dir.path(), "EC,a1", g), 6);
    // The version needs both keys.
    for (const char* version : {"[VERSION]\nDATE=2026\n[EC,A1]\nVER=1\n", "[VERSION]\nVER=2\n"}) {
        dir.Write("FlashChip.ini", version);
        EXPECT_EQ(CatalogueVersionText(dir.path(), text), 1) << version;
    }
}

TEST(ChipCatalogue, IntegerKeysComeFromLaterSectionsStringKeysDoNot) {
    testing::TempDir dir;
    dir.Write("FlashChip.ini",
              "[EC,A1]\nBLOCK_SIZE=16\nSPARE_SIZE=16\nERASE_TIME=1\nWRITE_TIME=2\n"
              "[20,35]\nBLOCK_NUM=2048\nBLOCK_SIZE=16\nPAGE_SIZE=512\n");
    NandGeometry g;
    // BLOCK_NUM is found under 20,35 (integer search); PAGE_SIZE is not (string
    // search ends at the next section), and the found values are still stored.
    EXPECT_EQ(LookupChip(dir.path(), "EC,A1", g), 1);
    EXPECT_EQ(g.block_count, 2048);
    EXPECT_EQ(g.block_size, 16384);
    EXPECT_EQ(g.page_size, 0);
    EXPECT_EQ(g.write_time, 2);
}

TEST(ChipCatalogue, ShippedCatalogueIsComplete) {
    const std::string folder = VELMORA_SOURCE_DIR "/res/";
    std::string text;
    EXPECT_EQ(CatalogueVersionText(folder, text), 0);
    for (const char* id : {"EC,A1", "20,A1", "EC,AA", "20,AA", "EC,F1", "20,F1", "EC,DA", "20,DA",
                           "20,35", "20,75", "20,36", "20,76"}) {
        NandGeometry g;
        EXPECT_EQ(LookupChip(folder, id, g), 0) << id;
        EXPECT_GT(g.page_size, 0) << id;
        EXPECT_EQ(g.block_size % 16384, 0) << id;
        EXPECT_EQ(g.block_size % g.page_size, 0) << id;
        EXPECT_GE(g.block_count, 1024) << id;
    }
}

}  // namespace
}  // namespace velmora
