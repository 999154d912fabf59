#pragma once
// The small transfer interface under the USB link: what the DFU loops and the bulk
// pipes need from a USB device. libusb implements it for real phones, the socket
// stand-in for the simulated phone, and the tests script it.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velmora::usb {

// The setup stage of a control transfer, exactly as it goes on the wire.
struct ControlSetup {
    uint8_t request_type = 0;  // bmRequestType; bit 7 set = device to host
    uint8_t request = 0;       // bRequest
    uint16_t value = 0;        // wValue
    uint16_t index = 0;        // wIndex
    uint16_t length = 0;       // wLength
    bool operator==(const ControlSetup&) const = default;

    bool IsIn() const { return (request_type & 0x80) != 0; }
};

// A bulk transfer: the endpoint address carries the direction in bit 7.
struct BulkSetup {
    uint8_t endpoint = 0;
    uint32_t length = 0;
    unsigned timeout_ms = 0;
    bool operator==(const BulkSetup&) const = default;

    bool IsIn() const { return (endpoint & 0x80) != 0; }
};

enum class UsbStatus {
    kOk,
    kTimeout,    // the deadline passed; the transfer was cancelled
    kStall,      // the device refused the request
    kNoDevice,   // the device has left the bus
    kCancelled,  // the job's abort event ended the wait
    kError,      // anything else
};

const char* UsbStatusText(UsbStatus status);
// libusb's name of a transfer that ended so ("LIBUSB_TRANSFER_TIMED_OUT", ...).
const char* UsbStatusName(UsbStatus status);

// Why a device could not be opened and claimed (or the bus not reached).
enum class UsbOpenFailure {
    kNone,
    kAccess,    // no permission on the device node
    kBusy,      // another program (or a kernel driver) holds the interface
    kNotFound,  // the device, or the interface, is not there (any more)
    kOther,
};

struct UsbError {
    UsbOpenFailure kind = UsbOpenFailure::kNone;
    std::string name;    // the backend's name of it, e.g. "LIBUSB_ERROR_ACCESS"
    std::string detail;  // the backend's own words

    bool failed() const { return kind != UsbOpenFailure::kNone; }
};

struct UsbResult {
    UsbStatus status = UsbStatus::kError;
    size_t transferred = 0;

    bool ok() const { return status == UsbStatus::kOk; }
};

// How the two halves of a command-and-answer exchange went.
struct CommandResult {
    UsbResult out;
    UsbResult in;  // not run (kError, 0 bytes) when the command failed
};

// One opened device with its interface claimed.
class UsbHandle {
  public:
    virtual ~UsbHandle() = default;
    // data holds setup.length bytes: sent for OUT requests, filled for IN requests.
    virtual UsbResult Control(const ControlSetup& setup, uint8_t* data, unsigned timeout_ms) = 0;
    // Ends early with kCancelled when abort_fd (if not -1) becomes readable.
    virtual UsbResult Bulk(const BulkSetup& setup, uint8_t* data, int abort_fd) = 0;
    // Sends `out` and reads `in` with the IN transfer submitted beside the OUT one,
    // so that the answer flows the moment the command is in, without the host's
    // turnaround between the two. The IN transfer runs only if the OUT one succeeds.
    // `meanwhile` (if set) runs once both are on their way, so the host's own work
    // overlaps the wire; not at all when the request could not be made. This
    // fallback does one after the other.
    virtual CommandResult CommandAndRead(const BulkSetup& out, const uint8_t* out_data,
                                         const BulkSetup& in, uint8_t* in_data, int abort_fd,
                                         const std::function<void()>& meanwhile) {
        CommandResult r{Bulk(out, const_cast<uint8_t*>(out_data), abort_fd), {}};
        if (meanwhile) {
            meanwhile();
        }
        if (r.out.ok()) {
            r.in = Bulk(in, in_data, abort_fd);
        }
        return r;
    }
    // A USB port reset. kOk: the device came back as itself and this handle still
    // reaches it. kNoDevice: it came back as another device (a DFU detach does that:
    // new address, often new descriptors) or left; the handle is dead and the caller
    // finds the device again by its bus path. Anything else: the reset failed.
    virtual UsbStatus Reset() = 0;
    // Clears a halted (stalled) endpoint.
    virtual UsbStatus ClearHalt(uint8_t endpoint) = 0;
};

// What discovery sees of an interface and of a device.
struct UsbInterfaceInfo {
    uint8_t number = 0;
    uint8_t alt_setting = 0;
    uint8_t interface_class = 0;
    uint8_t subclass = 0;
    uint8_t protocol = 0;
    uint8_t bulk_in = 0;      // first bulk IN endpoint address, 0 if none
    uint8_t bulk_out = 0;     // first bulk OUT endpoint address, 0 if none
    uint16_t in_packet = 0;   // wMaxPacketSize of bulk_in (64 full speed, 512 high speed)
    uint16_t out_packet = 0;  // wMaxPacketSize of bulk_out
};

struct UsbDeviceInfo {
    std::string path;  // the bus path "bus-port.port", which Open() accepts
    uint16_t vendor = 0;
    uint16_t product = 0;
    uint32_t address = 0;                      // changes whenever the device enumerates anew
    std::string serial;                        // the serial number string, "" when it has none
    std::vector<UsbInterfaceInfo> interfaces;  // every alternate setting of each
};

// The bus: lists the devices present and opens one of them.
class UsbBus {
  public:
    virtual ~UsbBus() = default;
    virtual std::vector<UsbDeviceInfo> List() = 0;
    // Opens the device at path (configuring it when it is not), claims interface
    // and selects its alternate setting; nullptr with error (if given) on failure.
    // A device that is present but held by another program fails here too.
    virtual std::unique_ptr<UsbHandle> Open(const std::string& path, uint8_t interface,
                                            uint8_t alt_setting, UsbError* error) = 0;
};

}  // namespace velmora::usb
