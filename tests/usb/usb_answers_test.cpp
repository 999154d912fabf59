// Over USB a late answer is never taken for a later command's, and a lost or
// damaged answer to a block write, erase or read is asked again as on the
// serial link.
#include <gtest/gtest.h>

#include <filesystem>

#include "integration/late_answers.h"
#include "usb/usb_fixture.h"

namespace velmora::testing {
namespace {

class UsbAnswers : public UsbPhoneTest, public LateRig {
  protected:
    void SetUp() override {
        UsbPhoneTest::SetUp();
        UseTestCatalogue();
        SetFirmware(parts, BootImage(2));
    }
    int Run(bool upgrade, const std::string& faults) override {
        SetFaults(*phone_, faults);
        std::filesystem::remove_all(home_ + "upload_nand");
        job_ = MakeJob(
            upgrade ? WorkMode::kCodeUpgrade : WorkMode::kReadCode,
            upgrade ? WorkRange{UpgradeRange::kAll} : WorkRange{ReadRange::kPartitionTable});
        ShortWaits(*job_);
        return UsbPhoneTest::Run(*job_);
    }
    const DownloadJob& job() const override { return *job_; }
    std::vector<uint8_t> File(const std::string& name) const override {
        return ReadFile(home_ + "upload_nand/" + name);
    }
    std::vector<uint8_t> Block0() override { return phone_->nand().ReadBlock(0, false); }

    std::unique_ptr<DownloadJob> job_;
};

TEST_F(UsbAnswers, EachRepeatedStepEndsWholeOrFails) {
    StartPhone("chip=EC,10");
    CheckEachStep();
}

TEST_F(UsbAnswers, ALostAnswerIsAskedAgain) {
    StartPhone("chip=EC,10");
    CheckEachStep(true);
}

// The third data transfer (block 2's) arrives with a bit flipped: the phone
// programs it and its ECC codes differ. The block is erased and written again.
TEST_F(UsbAnswers, ADamagedBulkTransferIsWrittenAgain) {
    StartPhone("chip=EC,10,corrupt=3");
    ASSERT_EQ(Run(true, "noise"), 0) << job_->outcome().text;
    EXPECT_TRUE(Logged("ECC code unmatch, wrong in program or data transfer!\r\n"));
    EXPECT_TRUE(phone_->trace().Violations().empty());
    ExpectWhole(true);
}

}  // namespace
}  // namespace velmora::testing
