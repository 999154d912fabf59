// The USB link text (the port text of a USB job): a text that parses is written
// back by FormatUsbLinkSpec into one that parses to the same link.
#include <cstdint>
#include <string>

#include "usb/usb_link_spec.h"

using namespace velmora::usb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    UsbLinkSpec spec;
    std::string error;
    if (!ParseUsbLinkSpec(text, &spec, &error)) {
        if (error.empty()) {
            __builtin_trap();
        }
        return 0;
    }
    const std::string formatted = FormatUsbLinkSpec(spec);
    UsbLinkSpec again;
    if (!ParseUsbLinkSpec(formatted, &again, &error) || FormatUsbLinkSpec(again) != formatted ||
        again.socket != spec.socket || again.match.path != spec.match.path ||
        again.match.dfu.vendor != spec.match.dfu.vendor ||
        again.match.dfu.product != spec.match.dfu.product ||
        again.match.dlv.vendor != spec.match.dlv.vendor ||
        again.match.dlv.product != spec.match.dlv.product) {
        __builtin_trap();
    }
    return 0;
}
