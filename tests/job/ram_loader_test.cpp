#include "job/ram_loader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace velmora {
namespace {

TEST(RamLoader, EmbeddedImagesUnlessTheHomeFolderHoldsAReplacement) {
    EXPECT_EQ(SerialRamLoader().embedded.size(), 12904u);
    EXPECT_EQ(UsbRamLoader().embedded.size(), 19360u);

    const std::string home =
        ::testing::TempDir() + "/" + std::to_string(getpid()) + "_velmora_ram_loader/";
    std::filesystem::create_directories(home);
    std::vector<uint8_t> image;
    ASSERT_EQ(LoadRamLoader(SerialRamLoader(), home, image), 0);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), SerialRamLoader().embedded.begin()));

    std::ofstream(home + "ramloader_serial.bin", std::ios::binary) << "REAL LOADER.";
    ASSERT_EQ(LoadRamLoader(SerialRamLoader(), home, image), 0);
    EXPECT_EQ(std::string(image.begin(), image.end()), "REAL LOADER.");
    ASSERT_EQ(LoadRamLoader(UsbRamLoader(), home, image), 0)
        << "only the named link's image is replaced";
    EXPECT_EQ(image.size(), 19360u);

    // The loader goes out in whole words: a file that is not cannot be sent.
    std::ofstream(home + "ramloader_serial.bin", std::ios::binary) << "ODD";
    EXPECT_EQ(LoadRamLoader(SerialRamLoader(), home, image), 1002);
    std::filesystem::remove_all(home);
}

}  // namespace
}  // namespace velmora
