#include "config/ini_store.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "support/temp_dir.h"

namespace velmora {
namespace {

// What GetString and GetInt find, or "absent".
std::string Str(IniStore& ini, std::string_view section, std::string_view key) {
    std::string value;
    return ini.GetString(section, key, value) ? value : "absent";
}
std::string Int(IniStore& ini, std::string_view section, std::string_view key) {
    int n = 0;
    return ini.GetInt(section, key, n) ? std::to_string(n) : "absent";
}

TEST(IniStore, SectionIsAnyLineContainingItsName) {
    IniStore ini;
    // MYPATH=x is taken as the section line, so the string search ends at [PATH].
    ASSERT_TRUE(ini.OpenText("MYPATH=x\n[PATH]\nPTT=a.ptt\n"));
    EXPECT_EQ(Str(ini, "PATH", "PTT"), "absent");
    ASSERT_TRUE(ini.OpenText("[PATH]\nPTT=a.ptt\n"));
    EXPECT_EQ(Str(ini, "PATH", "PTT"), "a.ptt");
    ASSERT_TRUE(ini.OpenText("MYPATH=x\nPTT=first\n[PATH]\nPTT=second\n"));
    EXPECT_EQ(Str(ini, "PATH", "PTT"), "first");
    EXPECT_FALSE(ini.FindSection("path"));  // letter case counts
    EXPECT_EQ(Str(ini, "NOPE", "PTT"), "absent");
}

TEST(IniStore, KeyMatchesAsSubstringAndFirstWins) {
    IniStore ini;
    ASSERT_TRUE(ini.OpenText("[VERSION]\nVERSION=3\nVER=4\n"));
    EXPECT_EQ(Str(ini, "VERSION", "VER"), "3");
    // Lines without "=" and lines with an empty name are never key lines.
    ASSERT_TRUE(ini.OpenText("[S]\nKEY\n=KEY\n; KEY comment\nKEY=1\nKEY=2\n"));
    EXPECT_EQ(Int(ini, "S", "KEY"), "1");
}

TEST(IniStore, GetStringStopsAtNextSectionButGetIntRunsOn) {
    IniStore ini;
    ASSERT_TRUE(ini.OpenText("[A]\nX=1\n[B]\nKEY=42\n"));
    std::string text = "unchanged";
    EXPECT_FALSE(ini.GetString("A", "KEY", text));
    EXPECT_EQ(text, "unchanged");
    EXPECT_EQ(Int(ini, "A", "KEY"), "42");
    // Any "[" ends the string search, even inside a value.
    ASSERT_TRUE(ini.OpenText("[A]\nP=x[1]\nKEY=7\n"));
    EXPECT_EQ(Str(ini, "A", "KEY"), "absent");
    ASSERT_TRUE(ini.OpenText("[A]\nKEY=x[1]\nKEY=7\n"));
    int n = -5;
    ASSERT_TRUE(ini.GetInt("A", "KEY", n));
    EXPECT_EQ(n, 7);
    EXPECT_FALSE(ini.GetInt("A", "MISSING", n));
    EXPECT_EQ(n, 7);
}

TEST(IniStore, ValuesTrimSpacesKeepTabsAndNeverCarryCr) {
    IniStore ini;
    ASSERT_TRUE(ini.OpenText("[S]\r\nA=  12  \r\nB=\t12 \r\nC=-7x\r\nD=\r\nE=abc\r"));
    EXPECT_EQ(Str(ini, "S", "A"), "12");
    EXPECT_EQ(Int(ini, "S", "A"), "12");
    EXPECT_EQ(Str(ini, "S", "B"), "\t12");
    EXPECT_EQ(Int(ini, "S", "C"), "-7");
    EXPECT_EQ(Str(ini, "S", "D"), "");
    EXPECT_EQ(Str(ini, "S", "E"), "abc");
    // A lone CR (old line ends) also ends a line instead of entering a value.
    ASSERT_TRUE(ini.OpenText("[S]\rA=1\rB=2"));
    EXPECT_EQ(Str(ini, "S", "A"), "1");
    EXPECT_EQ(Int(ini, "S", "B"), "2");
}

TEST(IniStore, NumberConversions) {
    EXPECT_EQ(ParseDecimalInt("  +15abc"), 15);
    EXPECT_EQ(ParseDecimalInt("abc"), 0);
    EXPECT_EQ(ParseDecimalInt("-99999999999"), -2147483647 - 1);  // clamped, no overflow
    EXPECT_EQ(ParseUnsigned32("400000", 16), 0x400000u);          // hex with or without 0x
    EXPECT_EQ(ParseUnsigned32(" 0XaBg", 16), 0xABu);
    EXPECT_EQ(ParseUnsigned32("-1", 16), 0xFFFFFFFFu);
    EXPECT_EQ(ParseUnsigned32("100000000", 16), 0xFFFFFFFFu);
    EXPECT_EQ(ParseUnsigned32("0x10", 10), 0u);
}

TEST(ProfileReader, NumberReadStoresZeroWhenMissing) {
    testing::TempDir dir;
    IniStore ini;
    EXPECT_FALSE(ini.BindProfile(dir.path() + "none.ptt"));
    uint32_t n = 7;
    EXPECT_EQ(ini.GetProfileNumber("s", "k", n, 16), 0);
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(ini.BindProfile(dir.Write("t.ptt", "[s]\nk=0x1F\n")));
    EXPECT_EQ(ini.GetProfileNumber("S", "K", n, 16), 4);
    EXPECT_EQ(n, 0x1Fu);
}

}  // namespace
}  // namespace velmora
