#pragma once
// The udev rule's text and the loader device's IDs that `udev-rule --loader` adds
// to it. Pure: no files, no output.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::cli {

struct UsbIds {
    uint16_t vendor = 0;
    uint16_t product = 0;
};

// "VID:PID" as lsusb and the job's failure show them: 1 to 4 hexadecimal digits
// each (an optional 0x before each), e.g. "1209:0002". None for anything else.
std::optional<UsbIds> ParseUsbIds(std::string_view text);

// `rule` with the lines for the RAM loader's device `loader` before its end
// label (at its end when it has none): access as for the boot ROM, and
// ModemManager told to leave the device alone.
std::string RuleWithLoader(std::string_view rule, const UsbIds& loader);

}  // namespace velmora::cli
