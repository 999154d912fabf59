#pragma once
// The two boot-stage procedures the USB job runs over the boot ROM's DFU device:
// identification and the RAM loader transfer.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "usb/dfu_port.h"

namespace velmora::usb {

using LogFn = std::function<void(std::string_view text)>;

// Why a boot ROM command failed, as far as the device let it be seen.
enum class BootTrouble {
    kNone,
    kGone,             // the phone left the bus (or did not come back after its reset)
    kSilent,           // the boot ROM did not answer its requests
    kApplicationMode,  // back in application mode after the detach and reset
    kErrorState,       // in dfuERROR after the clear
    kAwaitsReset,      // dfuMANIFEST-WAIT-RESET: only a reset would end it
    kNotDone,          // the boot ROM said the command was not done (errNOTDONE)
    kOther,
};

// The boot ROM command that failed, and why.
struct BootFailure {
    int code = 0;             // the command's code; 0: none failed
    std::string command;      // "the product ID read ('P')", "frame 5 of 38 of the RAM loader..."
    bool last_frame = false;  // the jump: the RAM loader may be starting all the same
    BootTrouble trouble = BootTrouble::kNone;
    std::string cause;  // libusb's name for it and the DFU state, for the operator

    bool failed() const { return code != 0; }
    // Whether no RAM loader can be running after it.
    bool Final() const;
    // "the product ID read ('P') failed: the phone left the bus
    // (LIBUSB_TRANSFER_NO_DEVICE on DFU_DNLOAD)".
    std::string Text() const;
    // What the operator should do about it.
    std::string NextStep() const;
};

// 'T', 'P', 'V', 'Q' and 'D'; logs product ID and versions. 0, or the failing
// command's code (logged; `failure`, if given, says which and why).
int ReadTargetInfo(DfuPort& port, const LogFn& log,
                   std::optional<std::array<uint8_t, 5>>* product_id = nullptr,
                   BootFailure* failure = nullptr);

// The RAM loader image into RAM at address 0 in frames of 512 bytes, then the jump.
// 0, or the failing command's code (logged; `failure`, if given, says which and why).
// A frame the boot ROM reports as not done (errNOTDONE) fails with result::dfu::kNotDoneLoad:
// the image in the phone's RAM would not be the one sent.
int SendRamLoaderUsb(DfuPort& port, std::span<const uint8_t> image, const LogFn& log,
                     BootFailure* failure = nullptr);

}  // namespace velmora::usb
