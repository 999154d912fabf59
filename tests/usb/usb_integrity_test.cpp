// Over USB no byte that was sent goes unchecked, and a failed range erase says
// what it may have touched.
#include <gtest/gtest.h>

#include "usb/usb_fixture.h"

namespace velmora::testing {
namespace {

class UsbIntegrity : public UsbPhoneTest {
  protected:
    void SetUp() override {
        UsbPhoneTest::SetUp();
        UseTestCatalogue();
    }
};

// A spare-carrying block goes in pieces of 65,536, 65,536 and 4,096 bytes; the
// phone's ECC codes cover its first 131,072 bytes. Data transfers 1 and 2 are the
// record's two copies, 3 to 5 the block: the 5th arrives with a bit flipped in
// its middle, past what the codes cover. The block is erased and written again.
TEST_F(UsbIntegrity, AFlipInTheLastPagesOfASpareBlockIsFoundByReadingThemBack) {
    StartPhone("chip=EC,10,corrupt=5");
    SetFirmware({{"yaffs", 8 * kBlock, 3 * kBlock, Bytes(kSpareBlock, 2), 3}}, BootImage(2));
    auto job = MakeJob(WorkMode::kCodeUpgrade, UpgradeRange::kAll);
    ASSERT_EQ(Run(*job), 0) << job->outcome().text;
    EXPECT_TRUE(Logged("Block 8 page 63 reads back different from what was written"));
    EXPECT_EQ(phone_->nand().ReadBlock(8, true), Bytes(kSpareBlock, 2));
}

TEST_F(UsbIntegrity, AFailedRangeEraseNamesTheWholeRangeAsPossiblyErased) {
    StartPhone("chip=EC,10,erase-fail=30");
    auto job = MakeJob(WorkMode::kErase, EraseRange::kAll);
    EXPECT_EQ(Run(*job), 3010);
    EXPECT_EQ(job->outcome().text,
              "Erase of blocks 0 to 53 fail, #3010: the phone erases them in one step and stopped "
              "on a failure, so any of them may have been erased.");
    const BlockMap map = display_.map();
    for (const int b : {0, 29, 53})
        EXPECT_EQ(map.Colour(b), kBlockFailed) << "block " << b;
    EXPECT_FALSE(map.Colour(54).has_value());
}

}  // namespace
}  // namespace velmora::testing
