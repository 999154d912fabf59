#pragma once
// The USB link a front end names with its port text (velmora-cli --usb --port TEXT,
// the window's port field with the serial box unchecked):
//   sim[:OPTIONS]   a simulated phone on a USB stand-in started inside the program
//                   (OPTIONS: the phone's options and its USB options, comma-separated)
//   unix:PATH, dfu=VID[:PID], dlv=VID[:PID] (comma-separated)
//                   a stand-in bus served elsewhere (velmora-phone-sim --usb PATH),
//                   and/or the USB IDs that recognise the boot ROM's DFU device and
//                   the RAM loader's bulk device
//   (empty)         the machine's USB through libusb, devices recognised by interface
#include <memory>
#include <string>

namespace velmora::sim {

class UsbSimSession;

struct UsbLink {
    UsbLink();
    ~UsbLink();
    UsbLink(UsbLink&&) noexcept;
    UsbLink& operator=(UsbLink&&) noexcept;

    std::string port;                    // the job's port text for the USB link
    std::unique_ptr<UsbSimSession> sim;  // the in-process phone, when asked for
};

// What to make of a text that is neither "sim" nor a USB link.
enum class OtherPortText {
    kRefuse,         // an error (the command line)
    kDefaultDevice,  // a serial port's name (the window's port field may still show
                     // one) or nothing: the machine's USB with the default choice;
                     // any other text is refused as a malformed USB link
};

bool IsSimulatedPortText(const std::string& text);
// Empty, a device path or COMn: what the serial port list holds.
bool NamesSerialPort(const std::string& text);

// false with error when the text is unusable or the simulated phone cannot start.
// home: where the simulated phone finds the chip catalogue.
bool PrepareUsbLink(const std::string& home, const std::string& port_text, OtherPortText other,
                    UsbLink* link, std::string* error);

}  // namespace velmora::sim
