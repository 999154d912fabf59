#include "config/home.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "support/temp_dir.h"

namespace velmora {
namespace {

std::string CatalogueText(const std::string& ver, const std::string& extra = "") {
    return "[VERSION]\nDATE=2026-12-06\nVER=" + ver +
           "\n\n[EC,A1]\nBLOCK_NUM=1024\nBLOCK_SIZE=128\nPAGE_SIZE=2048\nSPARE_SIZE=64\n"
           "ERASE_TIME=2000\nWRITE_TIME=200\n" +
           extra;
}

TEST(Home, VersionsCompareAsDottedNumbers) {
    struct Case {
        const char* a;
        const char* b;
        int order;
    };
    for (const Case& c :
         {Case{"1.10", "1.9", 1}, Case{"1.0", "1", 0}, Case{"2", "10", -1},
          Case{" 1.2.0 ", "1.2", 0}, Case{"1.0.1", "1.0", 1}, Case{"007.1", "7.01", 0}}) {
        int order = 99;
        ASSERT_TRUE(CompareVersions(c.a, c.b, order)) << c.a << " " << c.b;
        EXPECT_EQ(order > 0 ? 1 : (order < 0 ? -1 : 0), c.order) << c.a << " " << c.b;
    }
    for (const char* bad : {"", "1..2", "1.", ".1", "1.0a", "v1", "1,2", "1234567890"}) {
        int order = 99;
        EXPECT_FALSE(CompareVersions(bad, "1.0", order)) << bad;
        EXPECT_FALSE(CompareVersions("1.0", bad, order)) << bad;
    }
}

TEST(Home, DataFolderIsFoundBesideTheInstalledExecutable) {
    testing::TempDir prefix;
    std::filesystem::create_directories(prefix.path() + "bin");
    // Without a catalogue there the folder the program was built for is used.
    EXPECT_NE(DataFolderFor(prefix.path() + "bin/"), prefix.path() + "share/velmora/");
    prefix.Write("share/velmora/FlashChip.ini", CatalogueText("1.0"));
    EXPECT_EQ(DataFolderFor(prefix.path() + "bin/"), prefix.path() + "share/velmora/");
    EXPECT_EQ(DataFolderFor(prefix.path() + "bin"), prefix.path() + "share/velmora/");
}

// The refresh rules, each from a home folder that took its copy of V1.0.
TEST(Home, CopyIsRefreshedOnlyWhenNewerAndUntouched) {
    struct Case {
        const char* name;
        std::string installed;  // installed after the first copy
        bool edit;              // the user edited the copy
        bool drop_record;       // a copy from before digests were recorded
        bool refreshed;
    };
    const Case cases[] = {
        {"newer, untouched", CatalogueText("1.1"), false, false, true},
        {"newer by number, not text", CatalogueText("1.10"), false, false, true},
        {"newer, edited", CatalogueText("1.1"), true, false, false},
        {"newer, no record", CatalogueText("1.1"), false, true, false},
        {"same version, other content", CatalogueText("1.0", "; other\n"), false, false, false},
        {"older", CatalogueText("0.9"), false, false, false},
        {"not a number", CatalogueText("1.1-beta"), false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir data;
        testing::TempDir home;
        data.Write("FlashChip.ini", CatalogueText("1.0"));
        const CatalogueNote first = UpdateHomeCatalogue(home.path(), data.path());
        EXPECT_FALSE(first.refreshed);
        ASSERT_EQ(home.Read("FlashChip.ini"), CatalogueText("1.0"));
        // The record is one sha256sum can check.
        EXPECT_EQ(home.Read(kCatalogueDigestName).substr(64), std::string("  FlashChip.ini\n"));

        const std::string edited = CatalogueText("1.0", "[20,A1]\nBLOCK_NUM=1024\n");
        if (c.edit) {
            home.Write("FlashChip.ini", edited);
        }
        if (c.drop_record) {
            std::filesystem::remove(home.path() + kCatalogueDigestName);
        }
        data.Write("FlashChip.ini", c.installed);
        const CatalogueNote note = UpdateHomeCatalogue(home.path(), data.path());
        EXPECT_EQ(note.refreshed, c.refreshed);
        const std::string expected =
            c.refreshed ? c.installed : (c.edit ? edited : CatalogueText("1.0"));
        EXPECT_EQ(home.Read("FlashChip.ini"), expected);
        if (c.refreshed) {
            EXPECT_NE(note.text.find("V1.0 to V1."), std::string::npos) << note.text;
            // The next newer one is taken as well: the record follows the copy.
            data.Write("FlashChip.ini", CatalogueText("2.0"));
            EXPECT_TRUE(UpdateHomeCatalogue(home.path(), data.path()).refreshed);
        }
        // A newer catalogue that an edit keeps out is said so.
        EXPECT_EQ(note.newer_kept_out, c.edit || c.drop_record);
    }
}

TEST(Home, MissingCopyIsTakenAgainAndNothingElseIsLeftBehind) {
    testing::TempDir data;
    testing::TempDir home;
    // No installed catalogue: nothing is written.
    UpdateHomeCatalogue(home.path(), data.path());
    EXPECT_TRUE(std::filesystem::is_empty(home.path()));
    data.Write("FlashChip.ini", CatalogueText("1.0"));
    UpdateHomeCatalogue(home.path(), data.path());
    std::filesystem::remove(home.path() + "FlashChip.ini");
    UpdateHomeCatalogue(home.path(), data.path());
    EXPECT_EQ(home.Read("FlashChip.ini"), CatalogueText("1.0"));
    // No temporary file is left beside the two.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.path()), {}), 2);
}

}  // namespace
}  // namespace velmora
