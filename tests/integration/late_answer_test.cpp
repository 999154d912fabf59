// Over the serial link an answer that comes after the host has asked again is
// never taken for the answer to a later command.
#include <gtest/gtest.h>

#include <filesystem>

#include "late_answers.h"
#include "sim/options.h"

namespace velmora::testing {
namespace {

std::string Text(const std::vector<uint8_t>& v) {
    return {v.begin(), v.end()};
}

class SerialLateAnswers : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim.started) << sim.start_error;
        sim.SetFirmware(parts, BootImage(2));
    }

    // An upgrade, or a read by the table into a fresh folder, with `faults`.
    int Run(bool upgrade, const std::string& faults = "") {
        sim.phone->ClearFaults();
        sim.phone->trace().Clear();
        sim::PhoneOptions o;
        std::string error;
        EXPECT_TRUE(sim::ParsePhoneOptions("noise," + faults, o, error)) << error;
        for (const sim::Fault& f : o.faults)
            sim.phone->AddFault(f);
        std::filesystem::remove_all(sim.home.path() + "upload_nand");
        return sim.Run(upgrade ? WorkMode::kCodeUpgrade : WorkMode::kReadCode,
                       upgrade ? upgrade_range::kAll : read_range::kPartitionTable, ShortWaits);
    }

    void ExpectFilesWhole() {
        EXPECT_EQ(sim.ReadFile("upload_nand/parti_01_code"), Text(parts[0].content));
        EXPECT_EQ(sim.ReadFile("upload_nand/parti_02_yaffs"), Text(parts[1].content));
        const auto block0 = sim.nand().ReadBlock(0, false);
        EXPECT_EQ(sim.ReadFile("upload_nand/boot_nand.bin"),
                  Text({block0.begin(), block0.begin() + 65536}));
    }

    SimHarness sim{kChip128};
    std::vector<Partition> parts = LateFirmware();
};

TEST_F(SerialLateAnswers, EachRepeatedStepEndsWholeOrFails) {
    for (const LateCase& c : LateCases()) {
        SCOPED_TRACE(c.step);
        ASSERT_EQ(Run(true), 0) << sim.job->error_text;
        const int r = Run(c.upgrade, c.Faults());
        for (const std::string& v : sim.phone->trace().Violations())
            EXPECT_EQ(v.find("not erased"), std::string::npos) << v;
        if (r != 0) {
            EXPECT_FALSE(sim.job->error_text.empty());
            continue;
        }
        if (c.upgrade) {
            ASSERT_EQ(Run(false), 0) << sim.job->error_text;
        }
        ExpectFilesWhole();
    }
}

// The phone answers the read of block 0's page 1 after the host has asked again,
// then the retry 50 ms later: the retry's answer cannot be told from the late one.
TEST_F(SerialLateAnswers, ASecondAnswerToARetriedReadFailsIt) {
    ASSERT_EQ(Run(true), 0) << sim.job->error_text;
    EXPECT_EQ(Run(false, LateCase{"page read", false, "13@0.1"}.Faults()), 2);
    EXPECT_EQ(sim.job->error_text, "Read BOOT_NAND error #30100");
    ASSERT_FALSE(sim.job->notes.empty());
    EXPECT_NE(sim.job->notes[0].find("two answers came to one command"), std::string::npos);
}

}  // namespace
}  // namespace velmora::testing
