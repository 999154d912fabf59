// Over the serial link an answer that comes after the host has asked again is
// never taken for the answer to a later command.
#include <gtest/gtest.h>

#include <filesystem>

#include "late_answers.h"

namespace velmora::testing {
namespace {

class SerialLateAnswers : public ::testing::Test, public LateRig {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim.started) << sim.start_error;
        sim.SetFirmware(parts, BootImage(2));
    }
    int Run(bool upgrade, const std::string& faults) override {
        SetFaults(*sim.phone, faults);
        std::filesystem::remove_all(sim.home.path() + "upload_nand");
        return sim.Run(
            upgrade ? WorkMode::kCodeUpgrade : WorkMode::kReadCode,
            upgrade ? WorkRange{UpgradeRange::kAll} : WorkRange{ReadRange::kPartitionTable},
            ShortWaits);
    }
    const DownloadJob& job() const override { return *sim.job; }
    std::vector<uint8_t> File(const std::string& name) const override {
        const std::string bytes = sim.ReadFile("upload_nand/" + name);
        return {bytes.begin(), bytes.end()};
    }
    std::vector<uint8_t> Block0() override { return sim.nand().ReadBlock(0, false); }

    SimHarness sim{kChip128};
};

TEST_F(SerialLateAnswers, EachRepeatedStepEndsWholeOrFails) {
    CheckEachStep();
}

// Page 1 of block 0 is answered after the host asked again, and the retry 50 ms
// later: which answer is the retry's cannot be told. The first answer is held
// 850 ms, so that it comes after the retry (sent about 650 ms in: the time-out
// and the quiet interval) even on a loaded machine, and within the quiet
// interval after the retry's answer.
TEST_F(SerialLateAnswers, ASecondAnswerToARetriedReadFailsIt) {
    ASSERT_EQ(Run(true, "noise"), 0) << sim.job->outcome().text;
    EXPECT_EQ(Run(false, "noise,late=13@0.1#1:850+13@0.1#2:50"), 2);
    EXPECT_EQ(sim.job->outcome().text, "Read BOOT_NAND error #30100");
    ASSERT_FALSE(sim.job->notes().empty());
    EXPECT_NE(sim.job->notes()[0].find("two answers came to one command"), std::string::npos);
}

}  // namespace
}  // namespace velmora::testing
