// The message catalogue: texts found by their shape, both languages present,
// ids unique, the environment's language.
#include "base/texts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace velmora::testing {
namespace {

using text::Lang;

TEST(Texts, PatternsTakeTheirPartsAndRefuseOtherShapes) {
    EXPECT_EQ(text::Match("Backing up to {1}...", "Backing up to /a b/c...")->at(0), "/a b/c");
    EXPECT_EQ(*text::Match("{2} of {1}", "3 of 7"), (std::vector<std::string>{"7", "3"}));
    // A part at the very end takes the rest of the text.
    EXPECT_EQ(text::Match("配置文件：{1}", "配置文件：2026-12-06(V1.0)")->at(0),
              "2026-12-06(V1.0)");
    EXPECT_FALSE(text::Match("Backing up to {1}...", "Backing up to ..."));
    EXPECT_FALSE(text::Match("Read {1} blocks", "Read 3 blocks more"));
    // A part that holds the literal that follows it still matches whole.
    EXPECT_EQ(text::Match("{1} s left", "5 s left s left")->at(0), "5 s left");
    EXPECT_EQ(text::Fill("{2}/{1}/{3}", std::vector<std::string>{"a", "b"}), "b/a/{3}");
}

TEST(Texts, LocalizeFindsFixedAndShapedTextsAndKeepsTheUnknown) {
    const text::Shown open = text::Localize("  请打开手机！\r\n", Lang::kEnglish);
    EXPECT_EQ(open.id, "status.switch_on_phone");
    EXPECT_EQ(open.text, "Switch on the phone!");
    EXPECT_EQ(text::Localize("请打开手机！", Lang::kChinese).text, "请打开手机！");
    const text::Shown wait = text::Localize("The phone asks to wait: 12 s...", Lang::kChinese);
    EXPECT_EQ(wait.id, "status.phone_asks_wait");
    EXPECT_EQ(wait.text, "手机要求等待：12 秒...");
    const text::Shown unknown = text::Localize("no such text", Lang::kChinese);
    EXPECT_TRUE(unknown.id.empty());
    EXPECT_EQ(unknown.text, "no such text");
}

// A text the library composes from texts is shown part by part; a join takes
// only parts it knows, so that it cannot give an id to any text with a colon.
TEST(Texts, PartsAreShownInTheLanguageAndJoinsTakeOnlyKnownParts) {
    const std::string port_failure =
        "打开串口失败！ /dev/ttyUSB0: Permission denied. Join the port's group: `sudo usermod "
        "-aG dialout $USER`, then log out and in again (the group takes effect at a new login).";
    const text::Shown en = text::Localize(port_failure, Lang::kEnglish);
    EXPECT_EQ(en.id, "error.open_port_reason");
    EXPECT_EQ(
        en.text.rfind("Cannot open the serial port! /dev/ttyUSB0: Permission denied. Join", 0), 0u)
        << en.text;
    const text::Shown zh = text::Localize(port_failure, Lang::kChinese);
    EXPECT_NE(zh.text.find("/dev/ttyUSB0：权限不够"), std::string::npos) << zh.text;
    EXPECT_NE(zh.text.find("sudo usermod -aG dialout $USER"), std::string::npos) << zh.text;

    // A result's meaning and its inner code's, and a next step with its aftermath.
    const text::Shown chain = text::Localize(
        "a partition or the boot block was not written (the error text names "
        "which): a block could not be written, also after three retries (each "
        "erased it first): writing its pages failed: the data arrived damaged "
        "(CRC mismatch)",
        Lang::kChinese);
    EXPECT_EQ(chain.id, "join.cause");
    EXPECT_EQ(chain.text.find("the"), std::string::npos) << chain.text;
    EXPECT_EQ(text::Localize("Check the file and the disk it lies on, then run the upgrade "
                             "again. Until an upgrade completes the phone may not start: run it "
                             "again before the phone is put away.",
                             Lang::kChinese)
                  .id,
              "join.sentences");

    for (const char* unknown : {"Mode: fast", "Done Done and more", "12: 13", "x\ny"}) {
        EXPECT_TRUE(text::Localize(unknown, Lang::kChinese).id.empty()) << unknown;
    }
    // The shortest shapes come last: a specified text ending in 秒 or S keeps its own entry.
    EXPECT_EQ(text::Localize("改变波特率到115200！", Lang::kEnglish).id, "status.baud_115200");
    EXPECT_EQ(text::Localize("12秒", Lang::kEnglish).text, "12 s");
    EXPECT_EQ(text::Localize("Get Flash IBT!", Lang::kEnglish).text, "Get Flash IBT!");
}

// Every entry of the library has both languages, a unique id, the same
// placeholders in both, and English without a CJK character.
TEST(Texts, EveryLibraryEntryIsCompleteInBothLanguages) {
    std::set<std::string_view> ids;
    for (const auto& section : text::LibrarySections()) {
        for (const text::Entry& e : section) {
            SCOPED_TRACE(std::string(e.id));
            EXPECT_TRUE(ids.insert(e.id).second) << "id used twice";
            EXPECT_FALSE(e.zh.empty());
            EXPECT_FALSE(e.en.empty());
            EXPECT_FALSE(text::HasCjk(e.en)) << e.en;
            for (int n = 1; n <= 9; ++n) {
                const std::string mark = "{" + std::to_string(n) + "}";
                const bool in_source = e.source.find(mark) != std::string_view::npos;
                if (!e.source.empty()) {
                    EXPECT_EQ(in_source, e.zh.find(mark) != std::string_view::npos) << mark;
                    EXPECT_EQ(in_source, e.en.find(mark) != std::string_view::npos) << mark;
                }
            }
        }
    }
}

TEST(Texts, TheEnvironmentChoosesByTheMessagesLocale) {
    EXPECT_EQ(text::LangOfLocale("zh_CN.UTF-8"), Lang::kChinese);
    EXPECT_EQ(text::LangOfLocale("C.UTF-8"), Lang::kEnglish);
    EXPECT_EQ(text::LangOfLocale(""), Lang::kEnglish);
    EXPECT_EQ(text::ParseLang("ZH"), Lang::kChinese);
    EXPECT_EQ(text::ParseLang("en_GB"), Lang::kEnglish);
    EXPECT_FALSE(text::ParseLang("de"));
    EXPECT_FALSE(text::ParseLang("zhx"));
    ::setenv("LC_ALL", "", 1);
    ::setenv("LC_MESSAGES", "zh_TW.UTF-8", 1);
    ::setenv("LANG", "en_US.UTF-8", 1);
    EXPECT_EQ(text::LangFromEnvironment(), Lang::kChinese);
    ::setenv("LC_ALL", "C", 1);
    EXPECT_EQ(text::LangFromEnvironment(), Lang::kEnglish);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
}

TEST(Texts, CjkIsFoundAndLatinIsNot) {
    EXPECT_TRUE(text::HasCjk("a 秒"));
    EXPECT_TRUE(text::HasCjk("（"));
    EXPECT_FALSE(text::HasCjk("Wrote 1.2 MiB — 85.9 KiB/s, µs, é"));
}

}  // namespace
}  // namespace velmora::testing
