// The loader device's IDs of `udev-rule --loader VID:PID`, and the rule printed
// with them: the IDs that parse are written back as four lower-case hex digits
// each, and the line goes before the rule's end label.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "cli/udev_rule.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto ids = velmora::cli::ParseUsbIds(text);
    if (!ids) {
        return 0;
    }
    char written[16];
    std::snprintf(written, sizeof written, "%04x:%04x", ids->vendor, ids->product);
    const auto again = velmora::cli::ParseUsbIds(written);
    if (!again || again->vendor != ids->vendor || again->product != ids->product) {
        __builtin_trap();
    }
    const std::string rule = velmora::cli::RuleWithLoader(
        "ACTION==\"remove\", GOTO=\"velmora_end\"\n# LABEL=\"velmora_end\"\n"
        "LABEL=\"velmora_end\"\n",
        *ids);
    const size_t line = rule.find(std::string("ATTR{idVendor}==\"") + std::string(written, 4));
    if (line == std::string::npos || line > rule.find("\nLABEL=\"velmora_end\"")) {
        __builtin_trap();
    }
    return 0;
}
