// The result table in both languages: every meaning, next step and step name a
// job's end can carry is a text of the catalogue, whole or joined from its rows.
#include <gtest/gtest.h>

#include "base/results.h"
#include "base/texts.h"

namespace velmora::testing {
namespace {

using text::Lang;

void ExpectShown(const std::string& emitted, const std::string& where) {
    for (const Lang lang : {Lang::kChinese, Lang::kEnglish}) {
        const text::Shown shown = text::Localize(emitted, lang);
        EXPECT_FALSE(shown.id.empty()) << where << ": " << emitted;
        if (lang == Lang::kEnglish) {
            EXPECT_FALSE(text::HasCjk(shown.text)) << where << ": " << shown.text;
        } else {
            EXPECT_TRUE(text::HasCjk(shown.text)) << where << ": " << shown.text;
        }
    }
}

void ExpectExplained(JobStep step, bool usb, int code, std::optional<int> inner = {}) {
    const ResultExplanation e = ExplainResult(step, usb, code, inner);
    const std::string where = std::string(StepName(step)) + (usb ? " USB " : " serial ") +
                              std::to_string(code) + (inner ? "/" + std::to_string(*inner) : "");
    ExpectShown(e.meaning, where);
    ExpectShown(e.next_step, where);
}

TEST(ResultTexts, EveryStepNameHasItsKeyAsId) {
    for (int i = 0; i <= static_cast<int>(kLastJobStep); ++i) {
        const auto step = static_cast<JobStep>(i);
        EXPECT_EQ(text::Localize(StepName(step), Lang::kChinese).id, "step." + StepKey(step));
    }
    EXPECT_EQ(StepKey(JobStep::kDlvSearch), "ram-loaders-usb-device");
    EXPECT_EQ(StepKey(JobStep::kPartitionWrite), "partition-write");
}

// Every code a step produces, alone and with each inner code its row wraps, and
// codes no row knows.
TEST(ResultTexts, EveryExplanationIsShownInBothLanguages) {
    for (const ProducedCode& p : ProducedCodes()) {
        for (const bool usb : {false, true}) {
            if (p.link != ResultLink::kBoth && (p.link == ResultLink::kUsb) != usb) {
                continue;
            }
            ExpectExplained(p.step, usb, p.code);
            ExpectExplained(p.step, usb, p.code, 424242);
            // A row that wraps another step's codes says so of an unknown one.
            if (ExplainResult(p.step, usb, p.code, 424242).meaning.find("not a known code") ==
                std::string::npos) {
                continue;
            }
            for (const ProducedCode& inner : ProducedCodes()) {
                ExpectExplained(p.step, usb, p.code, inner.code);
            }
        }
    }
    ExpectExplained(JobStep::kOpenPort, false, 4711, 7);
    ExpectExplained(JobStep::kUpgrade, false, 100, 20999);
}

}  // namespace
}  // namespace velmora::testing
