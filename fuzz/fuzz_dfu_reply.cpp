// The decoders of what a DFU device answers: GETSTATUS, string descriptors, the
// configuration head and the configuration set with its DFU functional descriptor.
// The first byte picks the decoder (and, for a set, the DFU interface number).
#include <cstdint>
#include <span>
#include <string>

#include "usb/dfu_requests.h"

using namespace velmora::usb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t pick = data[0];
    const std::span<const uint8_t> bytes(data + 1, size - 1);
    switch (pick % 4) {
        case 0: {
            const auto status = DecodeDfuStatus(bytes);
            if (status.has_value() != (bytes.size() >= 6) ||
                (status && (status->poll_timeout_ms >> 24) != 0)) {
                __builtin_trap();
            }
            break;
        }
        case 1: {
            const std::string text = DecodeStringDescriptor(bytes);
            DecodeFirstLanguage(bytes);
            if (text.size() > bytes.size() / 2) {
                __builtin_trap();
            }
            for (char c : text) {
                if (c < 0x20 || c >= 0x7F) {
                    __builtin_trap();
                }
            }
            break;
        }
        case 2: {
            const auto total = DecodeConfigurationLength(bytes);
            if (total && (*total < 9 || bytes.size() < 9)) {
                __builtin_trap();
            }
            break;
        }
        default: {
            const DfuConfiguration c =
                DecodeDfuConfiguration(bytes, static_cast<uint8_t>(pick >> 2));
            if (c.interface_string != 0 && bytes.size() < 18) {
                __builtin_trap();
            }
            if (c.functional && bytes.size() < 9 + 7) {
                __builtin_trap();  // a functional descriptor follows an interface descriptor
            }
            break;
        }
    }
    return 0;
}
