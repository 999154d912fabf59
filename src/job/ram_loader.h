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

// No RAM loader is this large (the phone runs it from its internal memory): a
// larger file in the home folder was put there by mistake.
inline constexpr uint64_t kRamLoaderFileMax = 4 * 1024 * 1024;

// The image for a job: <home>/<file name> when that file exists, else the
// embedded one. 0; 1001 none found; 1002 empty (or not whole words);
// 1003 the replacement cannot be read (not a regular file, or over
// kRamLoaderFileMax). `problem` (if given) then says which, naming the file.
int LoadRamLoader(const RamLoaderImage& loader, const std::string& home,
                  std::vector<uint8_t>& image, std::string* problem = nullptr);

}  // namespace velmora
