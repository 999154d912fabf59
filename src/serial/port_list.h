#pragma once
// The serial ports of this machine as udev sees them: the device node, the
// stable /dev/serial/by-id names, the USB adapter behind it, its driver, and
// whether this user may open it. Only real ports are listed: a tty with
// hardware behind it, not a virtual terminal, a pty or one of the legacy
// 8250 placeholders that exist whether or not a UART is fitted.
#include <string>
#include <vector>

namespace velmora {

struct SerialPortInfo {
    std::string path;                // the device node, e.g. /dev/ttyUSB0
    std::vector<std::string> by_id;  // its links in /dev/serial/by-id, sorted
    std::string driver;              // the nearest driver, e.g. ftdi_sio, cdc_acm, serial
    // The USB device of an adapter; all empty for a port on another bus.
    std::string usb_vendor_id;   // four hex digits, as the device gives them
    std::string usb_product_id;  // four hex digits
    std::string usb_vendor;      // the device's manufacturer string
    std::string usb_product;     // its product string
    std::string usb_serial;      // its serial number string
    bool may_open = false;       // this user may open it for reading and writing
    std::string group;           // the group that owns the node, e.g. dialout
};

// The ports present, sorted by path. `error` (when given) is set when udev
// cannot be asked at all, and the list is then empty.
std::vector<SerialPortInfo> ListSerialPortDetails(std::string* error = nullptr);

// The device paths of ListSerialPortDetails: what the window's port list shows.
std::vector<std::string> ListSerialPorts();

// The next step for a user who may not open a port owned by `group`.
std::string PortAccessHint(const std::string& group);

}  // namespace velmora
