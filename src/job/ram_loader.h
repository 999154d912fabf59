#pragma once
// The RAM loader images the tool sends into the phone, one per link. Embedded
// at build time; a file of the same name in the home folder replaces the
// embedded image.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velmora {

struct RamLoaderImage {
    const char* file_name;              // "ramloader_serial.bin", "ramloader_usb.bin"
    std::span<const uint8_t> embedded;  // the image built into the program
};
const RamLoaderImage& SerialRamLoader();
const RamLoaderImage& UsbRamLoader();

// The image for a job: <home>/<file name> when that file exists, else the
// embedded one. 0; 1001 none found; 1002 empty (or not whole words);
// 1003 the replacement cannot be read.
int LoadRamLoader(const RamLoaderImage& loader, const std::string& home,
                  std::vector<uint8_t>& image);

}  // namespace velmora
