#pragma once
// The two boot-stage procedures the USB job runs over the boot ROM's DFU device:
// identification and the RAM loader transfer.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "usb/dfu_port.h"

namespace velmora::usb {

using LogFn = std::function<void(std::string_view text)>;

// 'T', 'P', 'V', 'Q' and 'D'; logs product ID and versions. 0, or the failing
// command's code (logged).
int ReadTargetInfo(DfuPort& port, const LogFn& log,
                   std::optional<std::array<uint8_t, 5>>* product_id = nullptr);

// The RAM loader image into RAM at address 0 in frames of 512 bytes, then the jump.
// 0, or the failing command's code (logged).
int SendRamLoaderUsb(DfuPort& port, std::span<const uint8_t> image, const LogFn& log);

}  // namespace velmora::usb
