#include "config/chip_catalogue.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace velmora {
namespace {

// One catalogue with a single chip whose key `key` says `value` instead.
std::string Catalogue(const std::string& key = "", const std::string& value = "") {
    std::string text = "[VERSION]\nDATE=2026-01-02\nVER=1.5\n[EC,A1]\n";
    const std::string keys[] = {"BLOCK_NUM",  "BLOCK_SIZE", "PAGE_SIZE",
                                "SPARE_SIZE", "ERASE_TIME", "WRITE_TIME"};
    const char* values[] = {"1024", "128", "2048", "64", "2000", "200"};
    for (int i = 0; i < 6; ++i) {
        text += keys[i] + "=" + (keys[i] == key ? value : values[i]) + "\n";
    }
    return text;
}

TEST(ChipCatalogue, CompleteEntryVersionAndMissingOnes) {
    EXPECT_EQ(ChipIdText(0x0A, 0x01), "0A,01");
    testing::TempDir dir;
    NandGeometry g;
    std::string text = "kept";
    EXPECT_EQ(LookupChip(dir.path(), "EC,A1", g), -1);
    EXPECT_EQ(CatalogueVersionText(dir.path(), text), -1);
    EXPECT_EQ(text, "kept");
    dir.Write("FlashChip.ini", Catalogue());
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

TEST(ChipCatalogue, UnservableEntriesAreNamedAndLeaveTheCatalogueUsable) {
    testing::TempDir dir;
    std::string problem;
    EXPECT_EQ(CheckCatalogue(dir.path(), problem), -1);
    EXPECT_EQ(problem, "cannot read " + dir.path() + "FlashChip.ini: No such file or directory");
    // Unreadable even for root: a folder where the file should be.
    std::filesystem::create_directory(dir.path() + "FlashChip.ini");
    EXPECT_EQ(CheckCatalogue(dir.path(), problem), -1);
    EXPECT_EQ(problem, "cannot read " + dir.path() + "FlashChip.ini: Is a directory");
    std::filesystem::remove(dir.path() + "FlashChip.ini");

    const struct {
        std::string key, value;
        int lookup;  // LookupChip's result: ranges it refuses, shapes it leaves to identification
        std::string problem;
    } cases[] = {
        {"", "", 0, ""},
        {"BLOCK_NUM", "76", 0, ""},
        {"BLOCK_NUM", "16384", 0, ""},  // 2 GiB exactly
        {"ERASE_TIME", "0", 0, ""},
        {"WRITE_TIME", "5000000", 0, ""},
        {"BLOCK_NUM", "2147483647", 7, "BLOCK_NUM=2147483647 is out of range (76 to 16384)"},
        {"BLOCK_NUM", "16385", 7, "BLOCK_NUM=16385 is out of range"},
        {"BLOCK_NUM", "75", 7, "BLOCK_NUM=75 is out of range"},
        {"BLOCK_NUM", "-1", 7, "BLOCK_NUM=-1 is out of range"},
        {"BLOCK_SIZE", "8192", 7, "BLOCK_SIZE=8192 KiB is out of range (0 to 4096 KiB)"},
        {"BLOCK_SIZE", "-16", 7, "BLOCK_SIZE=-16 KiB is out of range"},
        {"BLOCK_SIZE", "99999999999", 7, "BLOCK_SIZE=2097151 KiB is out of range"},
        {"BLOCK_SIZE", "4096", 7,
         "BLOCK_NUM=1024 blocks of BLOCK_SIZE=4096 KiB make more than 2 GiB"},
        {"PAGE_SIZE", "32768", 7, "PAGE_SIZE=32768 is out of range (0 to 16384)"},
        {"SPARE_SIZE", "-1", 7, "SPARE_SIZE=-1 is out of range"},
        {"SPARE_SIZE", "4096", 7, "SPARE_SIZE=4096 is out of range (0 to 2048)"},
        {"ERASE_TIME", "-1", 7, "ERASE_TIME=-1 is out of range"},
        {"ERASE_TIME", "5000001", 7, "ERASE_TIME=5000001 is out of range (0 to 5000000)"},
        {"WRITE_TIME", "2147483647", 7, "WRITE_TIME=2147483647 is out of range"},
        {"PAGE_SIZE", "0", 0, "PAGE_SIZE=0 is not a non-zero multiple of 512"},
        {"PAGE_SIZE", "528", 0, "PAGE_SIZE=528 is not"},
        {"PAGE_SIZE", "1536", 0,
         "BLOCK_SIZE=128 KiB is not a non-zero multiple of 16 KiB and of "
         "PAGE_SIZE=1536"},
        {"BLOCK_SIZE", "8", 0, "BLOCK_SIZE=8 KiB is not"},
        {"BLOCK_SIZE", "0", 0, "BLOCK_SIZE=0 KiB is not"},
        {"SPARE_SIZE", "", 0, "chip [EC,A1] lacks SPARE_SIZE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key + "=" + c.value);
        std::string text = Catalogue(c.key, c.value);
        if (c.key == "SPARE_SIZE" && c.value.empty()) {
            text.replace(text.find("SPARE_SIZE"), 1, "#");  // the key is gone
        }
        dir.Write("FlashChip.ini", text);
        // One entry the program cannot serve leaves the catalogue usable: it fails
        // its own chip's identification, and the listing says why.
        EXPECT_EQ(CheckCatalogue(dir.path(), problem), 0) << problem;
        std::vector<CatalogueChip> chips;
        ASSERT_EQ(ListCatalogueChips(dir.path(), chips, problem), 0);
        ASSERT_EQ(chips.size(), 1u);
        const std::string expected =
            c.problem.starts_with("chip [EC,A1] ") ? c.problem.substr(13) : c.problem;
        EXPECT_EQ(chips[0].problem.empty(), expected.empty()) << chips[0].problem;
        EXPECT_NE(chips[0].problem.find(expected), std::string::npos) << chips[0].problem;
        NandGeometry g{1, 2, 3, 4, 5, 6};
        const int lookup = LookupChip(dir.path(), "EC,A1", g, &problem);
        if (c.value.empty() && !c.key.empty()) {
            EXPECT_EQ(lookup, 1);
            continue;
        }
        EXPECT_EQ(lookup, c.lookup);
        if (lookup == result::catalogue::kValueOutOfRange) {
            EXPECT_EQ(g.block_count, 1) << "nothing out of range is stored";
            EXPECT_EQ(g.write_time, 6);
            EXPECT_EQ(problem.rfind(expected, 0), 0u) << problem;
        }
    }

    // The catalogue as a whole needs only its version.
    dir.Write("FlashChip.ini", "[VERSION]\nDATE=x\n" + Catalogue().substr(34));
    EXPECT_EQ(CheckCatalogue(dir.path(), problem), 1);
    EXPECT_EQ(problem, dir.path() + "FlashChip.ini: the [VERSION] section lacks DATE or VER");
}

}  // namespace
}  // namespace velmora
