#include "usb/usb_boot.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "usb/dfu_requests.h"

namespace velmora::usb {

namespace {

constexpr size_t kLoaderFrame = 512;

template <typename... Args>
std::string Text(const char* format, Args... args) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

BootTrouble Classify(const DfuTrouble& t) {
    if (t.lost_after_reset || t.status == UsbStatus::kNoDevice) {
        return BootTrouble::kGone;
    }
    if (t.application_mode) {
        return BootTrouble::kApplicationMode;
    }
    if (t.status == UsbStatus::kTimeout) {
        return BootTrouble::kSilent;
    }
    if (t.state == kDfuError) {
        return BootTrouble::kErrorState;
    }
    if (t.state == kDfuManifestWaitReset) {
        return BootTrouble::kAwaitsReset;
    }
    return t.not_done ? BootTrouble::kNotDone : BootTrouble::kOther;
}

// libusb's name for the request that failed, and which request it was.
std::string BusName(const DfuTrouble& t) {
    return std::string(UsbStatusName(t.status)) + " on " + DfuRequestName(t.request);
}

std::string Cause(const DfuPort& port, BootTrouble trouble) {
    const DfuTrouble& t = port.trouble();
    switch (trouble) {
        case BootTrouble::kGone:
            if (t.lost_after_reset) {
                return "the phone " + port.open_error().detail + " (" + port.open_error().name +
                       ")";
            }
            return "the phone left the bus (" + BusName(t) + ")";
        case BootTrouble::kSilent:
            return "the boot ROM did not answer (" + BusName(t) + ")";
        case BootTrouble::kApplicationMode:
            return "the phone came back in application mode (appIDLE) after the DFU detach and "
                   "reset";
        case BootTrouble::kErrorState:
            return "the boot ROM stayed in dfuERROR (" + DfuStatusName(t.dfu_status) +
                   ") after its clear";
        case BootTrouble::kAwaitsReset:
            return "the boot ROM waits for a USB reset (dfuMANIFEST-WAIT-RESET): it is not "
                   "manifestation tolerant";
        case BootTrouble::kNotDone:
            return "the boot ROM reported it as not done (errNOTDONE)";
        case BootTrouble::kNone:
        case BootTrouble::kOther:
            break;
    }
    std::string text = "the DFU transfer did not end in dfuIDLE (state " + DfuStateName(t.state);
    if (t.status != UsbStatus::kOk) {
        text += ", " + BusName(t);
    }
    return text + ")";
}

// Records the failed command and what the device met.
int Failed(DfuPort& port, BootFailure* failure, int code, std::string command,
           bool last_frame = false) {
    if (failure != nullptr) {
        failure->code = code;
        failure->command = std::move(command);
        failure->last_frame = last_frame;
        failure->trouble = Classify(port.trouble());
        failure->cause = Cause(port, failure->trouble);
    }
    return code;
}

// A command the boot ROM went through but reported as not done is one it did not
// carry out: over the loader, the phone's RAM would not hold the image sent.
int Loaded(const DfuPort& port, int code) {
    return code == result::dfu::kOk && port.trouble().not_done ? result::dfu::kNotDoneLoad : code;
}

int SetAddressZero(DfuPort& port, const LogFn& log, BootFailure* failure) {
    const uint8_t zero[4] = {0, 0, 0, 0};
    const int r = Loaded(port, port.BootRomCommand(4, 4, zero));
    if (r != result::dfu::kOk) {
        log(Text("\nError during set address, error code = #%d.\n", r));
        return Failed(port, failure, r, "the load address ('S')");
    }
    return 0;
}

}  // namespace

bool BootFailure::Final() const {
    if (!failed()) {
        return false;
    }
    // At the jump the phone may be starting the loader already: only a boot ROM
    // that is plainly still there and stuck cannot have jumped.
    return !last_frame || trouble == BootTrouble::kApplicationMode ||
           trouble == BootTrouble::kErrorState;
}

std::string BootFailure::Text() const {
    return command + " failed: " + cause;
}

std::string BootFailure::NextStep() const {
    switch (trouble) {
        case BootTrouble::kGone:
            return "Check the cable and connect the phone directly, not through a hub; switch "
                   "it off, start the job and connect it when asked.";
        case BootTrouble::kSilent:
            return "Switch the phone off, start the job and connect it (or switch it on) when "
                   "asked, directly rather than through a hub; a phone whose boot ROM never "
                   "answers needs service.";
        case BootTrouble::kApplicationMode:
            return "The phone runs its own software instead of its boot ROM: switch it off, "
                   "start the job, then switch it on (or connect it) when asked.";
        case BootTrouble::kErrorState:
        case BootTrouble::kAwaitsReset:
            return "Unplug the phone and switch it off for a moment to reset its boot ROM, then "
                   "start the job and connect it when asked.";
        case BootTrouble::kNotDone:
            return "Check that the RAM loader (ramloader_usb.bin in the home folder, else the "
                   "one the program carries) is the one for this phone; switch the phone off "
                   "and on and start again.";
        case BootTrouble::kNone:
        case BootTrouble::kOther:
            break;
    }
    return "Replug the phone, directly rather than through a hub, switch it off and on and start "
           "again.";
}

int ReadTargetInfo(DfuPort& port, const LogFn& log,
                   std::optional<std::array<uint8_t, 5>>* product_id, BootFailure* failure) {
    const uint8_t timeout[1] = {0xFF};
    int r = port.BootRomCommand(3, 1, timeout);
    if (r != result::dfu::kOk) {
        log(Text("\nError during set timeout, error code = #%d.\n", r));
        return Failed(port, failure, r, "the time-out command ('T')");
    }
    uint8_t id[5] = {};
    size_t received = 0;
    r = port.BootRomCommand(14, 0, {}, id, &received);
    if (r != result::dfu::kOk) {
        log(Text("\nError during read product ID, error code = #%d.\n", r));
        return Failed(port, failure, r, "the product ID read ('P')");
    }
    log(Text("\nProduct ID - %02X%02X%02X%02X%02X.\n", id[4], id[3], id[2], id[1], id[0]));
    // An ID the boot ROM did not send is not recorded as the phone's (zeros).
    if (product_id != nullptr && received >= sizeof id) {
        product_id->emplace();
        std::copy_n(id, 5, (*product_id)->begin());
    }
    uint8_t v[8] = {};
    r = port.BootRomCommand(38, 0, {}, v);
    if (r != result::dfu::kOk) {
        log(Text("\nError during read SCROM Version, error code = #%d.\n", r));
        return Failed(port, failure, r, "the version read ('V')");
    }
    log(Text("\nSCROM Version - PNX%02X%02X v.%02X.%02X.\n", v[7], v[6], v[5], v[4]));
    log(Text("\nChipset Version - %02X%02X.\n", v[1], v[0]));
    uint8_t block[16] = {};
    r = port.BootRomCommand(11, 0, {}, block);
    if (r != result::dfu::kOk) {
        log(Text("\nError during read SCROM Version, error code = #%d.\n", r));
        return Failed(port, failure, r, "the 'Q' read");
    }
    const uint8_t dongle[20] = {};
    r = port.BootRomCommand(12, 20, dongle);
    if (r != result::dfu::kOk) {
        log(Text("\nError during host dongle response, error code = #%d.\n", r));
        return Failed(port, failure, r, "the host dongle response ('D')");
    }
    return 0;
}

int SendRamLoaderUsb(DfuPort& port, std::span<const uint8_t> image, const LogFn& log,
                     BootFailure* failure) {
    if (const int r = SetAddressZero(port, log, failure); r != 0) {
        return r;
    }
    if (image.size() >= kLoaderFrame) {
        const size_t frames = (image.size() + kLoaderFrame - 1) / kLoaderFrame;
        for (size_t at = 0; at < image.size(); at += kLoaderFrame) {
            const size_t size = std::min(kLoaderFrame, image.size() - at);
            const int r = Loaded(
                port, port.BootRomCommand(6, static_cast<uint32_t>(size), image.subspan(at, size)));
            if (r != result::dfu::kOk) {
                log(
                    Text("\nError during load command, error code = #%d, Index: %d / Frame size: "
                         "%d.\n",
                         r, static_cast<int>(at), static_cast<int>(size)));
                return Failed(port, failure, r,
                              Text("frame %zu of %zu of the RAM loader ('L', bytes %zu to %zu)",
                                   at / kLoaderFrame + 1, frames, at, at + size - 1));
            }
        }
    } else {
        const int r =
            Loaded(port, port.BootRomCommand(6, static_cast<uint32_t>(image.size()), image));
        if (r != result::dfu::kOk) {
            log(Text("\nError during load command, error code = #%d\n", r));
            return Failed(port, failure, r, "the RAM loader's one frame ('L')");
        }
    }
    if (const int r = SetAddressZero(port, log, failure); r != 0) {
        return r;
    }
    if (const int r = Loaded(port, port.BootRomCommand(9, 0, {})); r != result::dfu::kOk) {
        log(Text("\nError during execute command, error code = #%d.\n", r));
        return Failed(port, failure, r, "the jump into the RAM loader ('J')", true);
    }
    return 0;
}

}  // namespace velmora::usb
