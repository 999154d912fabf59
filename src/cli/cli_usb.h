#pragma once
// --usb: what --port names on the USB link.
//   (none)          the machine's USB through libusb, devices recognised by interface
//   sim[:OPTIONS]   a simulated phone on a USB stand-in started inside the program
//   unix:PATH, dfu=VID[:PID], dlv=VID[:PID] (comma-separated)
//                   a stand-in bus served elsewhere (velmora-phone-sim --usb PATH),
//                   and/or the USB IDs that recognise the boot ROM's DFU device and
//                   the RAM loader's bulk device
#include <memory>
#include <string>

namespace velmora::cli {

class UsbSimSession;

struct UsbLink {
    UsbLink();
    ~UsbLink();
    UsbLink(UsbLink&&) noexcept;
    UsbLink& operator=(UsbLink&&) noexcept;

    std::string port;                    // the job's port text for the USB link
    std::unique_ptr<UsbSimSession> sim;  // the in-process phone, when asked for
};

// false with error when the text is unusable or the simulated phone cannot start.
bool PrepareUsbLink(const std::string& home, const std::string& port_option, UsbLink* link,
                    std::string* error);

}  // namespace velmora::cli
