#include "job/ram_loader.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace velmora {
namespace {

TEST(RamLoader, EmbeddedImagesUnlessTheHomeFolderHoldsAReplacement) {
    EXPECT_EQ(SerialRamLoader().embedded.size(), 12904u);
    EXPECT_EQ(UsbRamLoader().embedded.size(), 19360u);

    testing::TempDir dir;
    const std::string home = dir.path();
    std::vector<uint8_t> image;
    ASSERT_EQ(LoadRamLoader(SerialRamLoader(), home, image), 0);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), SerialRamLoader().embedded.begin()));

    dir.Write("ramloader_serial.bin", "REAL LOADER.");
    ASSERT_EQ(LoadRamLoader(SerialRamLoader(), home, image), 0);
    EXPECT_EQ(std::string(image.begin(), image.end()), "REAL LOADER.");
    ASSERT_EQ(LoadRamLoader(UsbRamLoader(), home, image), 0)
        << "only the named link's image is replaced";
    EXPECT_EQ(image.size(), 19360u);

    // The loader goes out in whole words: a file that is not cannot be sent.
    dir.Write("ramloader_serial.bin", "ODD");
    EXPECT_EQ(LoadRamLoader(SerialRamLoader(), home, image), 1002);
}

}  // namespace
}  // namespace velmora
