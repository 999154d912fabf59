#include "job/ram_loader.h"

#include <cstddef>
#include <filesystem>
#include <system_error>

#include "base/input_file.h"
#include "base/results.h"

namespace velmora {
namespace embedded {
extern const uint8_t ramloader_serial[];
extern const size_t ramloader_serial_size;
extern const uint8_t ramloader_usb[];
extern const size_t ramloader_usb_size;
}  // namespace embedded

const RamLoaderImage& SerialRamLoader() {
    static const RamLoaderImage image{
        "ramloader_serial.bin", {embedded::ramloader_serial, embedded::ramloader_serial_size}};
    return image;
}

const RamLoaderImage& UsbRamLoader() {
    static const RamLoaderImage image{"ramloader_usb.bin",
                                      {embedded::ramloader_usb, embedded::ramloader_usb_size}};
    return image;
}

int LoadRamLoader(const RamLoaderImage& loader, const std::string& home,
                  std::vector<uint8_t>& image, std::string* problem) {
    image.clear();
    std::error_code ec;
    const std::string replacement = home + loader.file_name;
    const bool replaced = !home.empty() && std::filesystem::exists(replacement, ec);
    if (replaced) {
        std::string bytes;
        std::string why;
        if (ReadInputText(replacement, kRamLoaderFileMax, bytes, why) != kInputOk) {
            if (problem) {
                *problem = why;
            }
            return result::ram_loader::kImageNotLoadable;
        }
        image.assign(bytes.begin(), bytes.end());
    } else {
        if (loader.embedded.data() == nullptr) {
            return result::ram_loader::kImageNotFound;
        }
        image.assign(loader.embedded.begin(), loader.embedded.end());
    }
    // The loader is sent as whole 32-bit words; anything else cannot be sent as is.
    if (image.empty() || image.size() % 4 != 0) {
        if (problem) {
            *problem = "The RAM loader " +
                       (replaced ? replacement : std::string("built into the program")) +
                       " is empty or not a whole number of 32-bit words.";
        }
        image.clear();
        return result::ram_loader::kImageEmpty;
    }
    return 0;
}

}  // namespace velmora
