#include "job/ram_loader.h"

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace velmora {
namespace embedded {
extern const uint8_t ramloader_serial[];
extern const size_t ramloader_serial_size;
extern const uint8_t ramloader_usb[];
extern const size_t ramloader_usb_size;
}  // namespace embedded

const char* RamLoaderFileName(LinkKind link) {
    return link == LinkKind::kUsb ? "ramloader_usb.bin" : "ramloader_serial.bin";
}

std::span<const uint8_t> EmbeddedRamLoader(LinkKind link) {
    if (link == LinkKind::kUsb) {
        return {embedded::ramloader_usb, embedded::ramloader_usb_size};
    }
    return {embedded::ramloader_serial, embedded::ramloader_serial_size};
}

int LoadRamLoader(LinkKind link, const std::string& home, std::vector<uint8_t>& image) {
    image.clear();
    std::error_code ec;
    const std::filesystem::path replacement = home + RamLoaderFileName(link);
    if (!home.empty() && std::filesystem::exists(replacement, ec)) {
        std::ifstream in(replacement, std::ios::binary);
        if (!in) {
            return 1003;
        }
        image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) {
            image.clear();
            return 1003;
        }
    } else {
        const auto embedded = EmbeddedRamLoader(link);
        if (embedded.data() == nullptr) {
            return 1001;
        }
        image.assign(embedded.begin(), embedded.end());
    }
    // The loader is sent as whole 32-bit words; anything else cannot be sent as is.
    if (image.empty() || image.size() % 4 != 0) {
        image.clear();
        return 1002;
    }
    return 0;
}

}  // namespace velmora
