// The result table: composed codes taken apart, every row complete, no code
// with two meanings in one step.
#include "base/results.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace velmora::testing {
namespace {

struct Decoding {
    JobStep step;
    bool usb;
    int result;
    std::optional<int> inner;
    const char* name;
    const char* inner_name;
    const char* meaning_part;
    const char* next_part;
};

TEST(ExplainResult, TakesComposedCodesApart) {
    const Decoding cases[] = {
        {JobStep::kOpenPort, false, -3001, std::nullopt, "kOpenPortFailed", "",
         "could not be opened", "dialout"},
        {JobStep::kUpgrade, false, 100, 20103, "kWriteFailed",
         "kBlockWriteBase + kPagesBase + kNoAnswer", "after three retries", "try 460800"},
        {JobStep::kPartitionWrite, false, 20105, std::nullopt,
         "kBlockWriteBase + kPagesBase + kCrcMismatch", "", "CRC mismatch", "lower baud rate"},
        {JobStep::kPartitionWrite, true, 20104, std::nullopt,
         "kBlockWriteBase + kPagesBase + kUsbBadStatusOrEcc", "", "bad status or ECC mismatch",
         "gone bad"},
        // 100 in three steps.
        {JobStep::kIbt, false, 100, 4001, "kIbtFailed", "kIbtNoData", "2048 bytes",
         "lower baud rate"},
        {JobStep::kDfu, true, 100, std::nullopt, "kNotOpen", "", "not open", "Replug"},
        {JobStep::kDlvSearch, true, 100, std::nullopt, "kNoLoaderDevice", "", "did not come up",
         "udev rule"},
        {JobStep::kIdentify, true, 20003, std::nullopt, "kCatalogueBase + kMissingKeysBase + 3", "",
         "lacks 3 of its six keys", "BLOCK_NUM"},
        {JobStep::kIdentify, false, 19999, std::nullopt, "kCatalogueBase + kNotReadable", "",
         "cannot be read", "back into"},
        {JobStep::kRead, false, 4, 21100, "kPartitionBase + 1",
         "kBlockReadBase + kBlockCrcMismatch", "partition 2 could not be read", "Check the cable"},
        {JobStep::kBootArea, true, 30110, std::nullopt, "kPageReadBase + kPageCrcMismatch", "",
         "page of block 0", "Check the cable"},
        {JobStep::kBootBlock, false, 3110, std::nullopt, "kEraseBase + kFailed", "",
         "did not acknowledge", "block 0 holds"},
        {JobStep::kBootBlock, true, 2104, std::nullopt,
         "kV3WriteBase + kPagesBase + kUsbBadStatusOrEcc", "", "ECC mismatch", "block 0 holds"},
        {JobStep::kBlockRead, false, 1005, std::nullopt, "kBlockPageBase + 4", "", "page 4's data",
         "Check the cable"},
        {JobStep::kInitSdi, true, 5, std::nullopt, "kSdiWordBase + 3", "", "word 3", "RAM loader"},
        {JobStep::kUpgrade, false, -1, std::nullopt, "kRecordBuildBase + kReservoirExhausted", "",
         "reservoir", "needs service."},
        {JobStep::kErase, true, 3010, std::nullopt, "kBlockEraseBase + kFailed", "", "bad status",
         "gone bad"},
    };
    for (const Decoding& c : cases) {
        SCOPED_TRACE(std::string(StepName(c.step)) + " " + std::to_string(c.result));
        const ResultExplanation e = ExplainResult(c.step, c.usb, c.result, c.inner);
        EXPECT_TRUE(e.known);
        EXPECT_EQ(e.name, c.name);
        EXPECT_EQ(e.inner_name, c.inner_name);
        EXPECT_NE(e.meaning.find(c.meaning_part), std::string::npos) << e.meaning;
        EXPECT_NE(e.next_step.find(c.next_part), std::string::npos) << e.next_step;
    }
    // A record that could not be built stopped the upgrade before the first erase.
    EXPECT_EQ(ExplainResult(JobStep::kUpgrade, false, -1).next_step.find("may not start"),
              std::string::npos);
}

TEST(ExplainResult, UnknownCodesExplainThemselves) {
    // A serial step's code means nothing on USB.
    for (const auto& [step, usb, result] :
         {std::tuple{JobStep::kOpenPort, false, 4711}, std::tuple{JobStep::kWaitPhone, true, -1},
          std::tuple{JobStep::kPartitionWrite, false, 20999}}) {
        const ResultExplanation e = ExplainResult(step, usb, result, 7);
        EXPECT_FALSE(e.known);
        EXPECT_EQ(e.name, "unknown");
        EXPECT_NE(e.meaning.find(std::to_string(result)), std::string::npos);
        EXPECT_NE(e.meaning.find(StepName(step)), std::string::npos);
        EXPECT_FALSE(e.next_step.empty());
    }
    const ResultExplanation e = ExplainResult(JobStep::kUpgrade, false, 100, 777);
    EXPECT_TRUE(e.known);
    EXPECT_NE(e.meaning.find("inner code 777"), std::string::npos);
}

// The step a failure is told in: the wrapped step whose code the result's name
// carries, so that the window, the station and the CLI name the same one.
TEST(ExplainResult, AWrappedFailureIsToldInTheStepThatFailed) {
    const ResultExplanation upgrade = ExplainResult(JobStep::kUpgrade, false, 100, 20105);
    const std::string name = upgrade.name + ", " + upgrade.inner_name;
    EXPECT_EQ(FailedStep(JobStep::kUpgrade, 100, name), JobStep::kPartitionWrite);
    EXPECT_EQ(FailedStep(JobStep::kUpgrade, 100, upgrade.name), JobStep::kUpgrade);
    EXPECT_EQ(FailedStep(JobStep::kIdentify, -7, "kIdentifyFailed"), JobStep::kIdentify);
}

// Every value a step can produce on a link, composed codes expanded.
std::multiset<int64_t> Values(JobStep step, bool usb);

std::multiset<int64_t> ValuesOf(const ResultEntry& e, bool usb) {
    std::multiset<int64_t> out;
    switch (e.form) {
        case ResultForm::kPlain:
            out.insert(e.code);
            break;
        case ResultForm::kAddIndex:
            for (int i = e.first; i <= e.last; ++i) {
                out.insert(int64_t{e.code} + i);
            }
            break;
        case ResultForm::kAddCode:
            for (const int64_t v : Values(e.part_step, usb)) {
                out.insert(e.code + v);
            }
            break;
    }
    return out;
}

std::multiset<int64_t> Values(JobStep step, bool usb) {
    std::multiset<int64_t> out;
    for (const ResultEntry& e : ResultTable()) {
        const bool fits = e.link == ResultLink::kBoth || (e.link == ResultLink::kUsb) == usb;
        if (e.step == step && fits) {
            out.merge(ValuesOf(e, usb));
        }
    }
    return out;
}

TEST(ResultTable, EveryRowIsCompleteAndEveryKeyUnique) {
    std::set<JobStep> steps;
    for (const ResultEntry& e : ResultTable()) {
        SCOPED_TRACE(std::string(StepName(e.step)) + " " + CodeText(e));
        EXPECT_FALSE(e.name.empty());
        EXPECT_FALSE(e.meaning.empty());
        EXPECT_FALSE(e.next_step.empty());
        steps.insert(e.step);
        if (e.form == ResultForm::kAddCode) {
            EXPECT_NE(e.part_step, e.step);
        }
        if (e.wraps[0] && e.wraps[1]) {
            // The inner code must tell the two wrapped steps apart.
            for (const bool usb : {false, true}) {
                const auto a = Values(*e.wraps[0], usb);
                for (const int64_t v : Values(*e.wraps[1], usb)) {
                    EXPECT_EQ(a.count(v), 0u) << v;
                }
            }
        }
    }
    // Every step has rows, in the order of the enum.
    EXPECT_EQ(steps.size(), static_cast<size_t>(kLastJobStep) + 1);
    for (size_t i = 1; i < ResultTable().size(); ++i) {
        EXPECT_LE(ResultTable()[i - 1].step, ResultTable()[i].step);
    }
    for (const JobStep step : steps) {
        for (const bool usb : {false, true}) {
            std::map<int64_t, int> seen;
            for (const int64_t v : Values(step, usb)) {
                EXPECT_EQ(++seen[v], 1) << StepName(step) << (usb ? " USB " : " serial ") << v;
            }
        }
    }
}

TEST(ResultTable, ExplainsEveryProducedCode) {
    for (const ProducedCode& p : ProducedCodes()) {
        for (const bool usb : {false, true}) {
            if (p.link != ResultLink::kBoth && (p.link == ResultLink::kUsb) != usb) {
                continue;
            }
            const ResultExplanation e = ExplainResult(p.step, usb, p.code);
            EXPECT_TRUE(e.known) << StepName(p.step) << (usb ? " USB " : " serial ") << p.code;
        }
    }
}

// Scripts and station logs key on the numbers the helpers compose, and the
// decoders must undo exactly what the builders did.
TEST(ResultCompositions, KeepTheirNumbersAndComeApartAgain) {
    namespace r = result;
    EXPECT_EQ(r::PartitionWriteFailure(r::BlockWriteFailure(r::page_program::kNoAnswer)), 20103);
    EXPECT_EQ(r::BootV3WriteFailure(r::BlockWriteFailure(r::page_program::kUsbBadStatusOrEcc)),
              2104);
    EXPECT_EQ(r::BootEraseFailure(r::erase::kFailed), 3110);
    EXPECT_EQ(r::CatalogueFailure(r::catalogue::kNotReadable), 19999);
    EXPECT_EQ(r::PartitionReadFailure(1), 4);
    EXPECT_EQ(r::BlockPageMissing(4), 1005);
    EXPECT_EQ(r::PageReadFailure(r::read_back::kPageCrcMismatch), 30110);
    EXPECT_EQ(r::SdiWordWrong(11), 13);

    EXPECT_EQ(r::BlockWriteOf(r::PartitionWriteFailure(r::page_program::kSmallBlockTooLong)),
              r::page_program::kSmallBlockTooLong);
    EXPECT_EQ(r::BlockReadOf(r::BlockReadFailure(r::read_back::kReadsDisagree)),
              r::read_back::kReadsDisagree);
    EXPECT_EQ(r::BlockReadOf(r::read_back::kFileNotCreated), std::nullopt);
    EXPECT_EQ(r::BootTableReadOf(r::BootTableReadFailure(r::read_back::kBlockNoAnswer)),
              r::read_back::kBlockNoAnswer);
    EXPECT_EQ(r::BootTableReadOf(r::boot_table::kNoMarker), std::nullopt);
}

}  // namespace
}  // namespace velmora::testing
