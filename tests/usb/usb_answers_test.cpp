// Over USB a late answer is never taken for a later command's, and a lost or
// damaged answer to a block write, erase or read is asked again as on the
// serial link.
#include <gtest/gtest.h>

#include <filesystem>

#include "integration/late_answers.h"
#include "usb/usb_fixture.h"

namespace velmora::testing {
namespace {

class UsbAnswers : public UsbPhoneTest {
  protected:
    void SetUp() override {
        UsbPhoneTest::SetUp();
        UseTestCatalogue();
        SetFirmware(parts_, BootImage(2));
    }

    // An upgrade, or a read by the table into a fresh folder, with `faults`.
    int RunWith(bool upgrade, const std::string& faults = "") {
        phone_->ClearFaults();
        phone_->trace().Clear();
        sim::PhoneOptions o;
        std::string error;
        EXPECT_TRUE(sim::ParsePhoneOptions("noise," + faults, o, error)) << error;
        for (const sim::Fault& f : o.faults)
            phone_->AddFault(f);
        std::filesystem::remove_all(home_ + "upload_nand");
        job_ = ModeJob(upgrade ? WorkMode::kCodeUpgrade : WorkMode::kReadCode,
                       upgrade ? upgrade_range::kAll : read_range::kPartitionTable);
        ShortWaits(*job_);
        return Run(*job_);
    }

    void ExpectFilesWhole() {
        EXPECT_EQ(ReadFile(home_ + "upload_nand/parti_01_code"), parts_[0].content);
        EXPECT_EQ(ReadFile(home_ + "upload_nand/parti_02_yaffs"), parts_[1].content);
        const auto block0 = phone_->nand().ReadBlock(0, false);
        EXPECT_EQ(ReadFile(home_ + "upload_nand/boot_nand.bin"),
                  std::vector<uint8_t>(block0.begin(), block0.begin() + 65536));
    }

    // After an upgrade that ended 0 or a read: what the phone holds is the firmware.
    void ExpectWhole(bool upgrade) {
        if (upgrade) {
            ASSERT_EQ(RunWith(false), 0) << job_->error_text;
        }
        ExpectFilesWhole();
    }

    std::vector<Partition> parts_ = LateFirmware();
    std::unique_ptr<DownloadJob> job_;
};

TEST_F(UsbAnswers, EachRepeatedStepEndsWholeOrFails) {
    StartPhone("chip=EC,10");
    for (const LateCase& c : LateCases()) {
        SCOPED_TRACE(c.step);
        ASSERT_EQ(RunWith(true), 0) << job_->error_text;
        const int r = RunWith(c.upgrade, c.Faults());
        if (r != 0) {
            EXPECT_FALSE(job_->error_text.empty());
            continue;
        }
        ExpectWhole(c.upgrade);
    }
}

TEST_F(UsbAnswers, ALostAnswerToAWriteEraseOrReadIsAskedAgain) {
    StartPhone("chip=EC,10");
    for (const auto& [faults, upgrade] : {std::pair{"drop=8@3#1", true},
                                          {"drop=10#1", true},
                                          {"drop=11@3#1", false},
                                          {"drop=13@0.1#1", false}}) {
        SCOPED_TRACE(faults);
        ASSERT_EQ(RunWith(true), 0) << job_->error_text;
        ASSERT_EQ(RunWith(upgrade, faults), 0) << job_->error_text;
        ExpectWhole(upgrade);
    }
}

// The third data transfer (block 2's) arrives with a bit flipped: the phone
// programs it and its ECC codes differ. The block is erased and written again.
TEST_F(UsbAnswers, ADamagedBulkTransferIsWrittenAgain) {
    StartPhone("chip=EC,10,corrupt=3");
    ASSERT_EQ(RunWith(true), 0) << job_->error_text;
    EXPECT_TRUE(Logged("ECC code unmatch, wrong in program or data transfer!\r\n"));
    EXPECT_TRUE(phone_->trace().Violations().empty());
    ExpectWhole(true);
}

}  // namespace
}  // namespace velmora::testing
