#pragma once
// The USB side of the NAND operations (declared in flash/usb_nand.h): write pages
// with the target's ECC codes, and erases of a block range in one command.
#include "flash/usb_nand.h"

namespace velmora::usb {

// Page data carried by one write-pages command over USB.
inline constexpr int kUsbChunkBytes = 131072;
// The largest piece of one pipe write in a data phase.
inline constexpr int kUsbPieceBytes = 65536;

}  // namespace velmora::usb
