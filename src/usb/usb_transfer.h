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
    // A USB port reset. The device may come back as a different device (a DFU
    // detach does that); the handle then follows it to the same port, looking
    // again after each wait(ms). A wait that returns false (Stop) ends the search.
    virtual bool Reset(const std::function<bool(unsigned ms)>& wait) = 0;
};

// What discovery sees of an interface and of a device.
struct UsbInterfaceInfo {
    uint8_t number = 0;
    uint8_t alt_setting = 0;
    uint8_t interface_class = 0;
    uint8_t subclass = 0;
    uint8_t protocol = 0;
    uint8_t bulk_in = 0;   // first bulk IN endpoint address, 0 if none
    uint8_t bulk_out = 0;  // first bulk OUT endpoint address, 0 if none
};

struct UsbDeviceInfo {
    std::string path;  // stable text that Open() accepts: "bus-port.port" or a stand-in name
    uint16_t vendor = 0;
    uint16_t product = 0;
    std::vector<UsbInterfaceInfo> interfaces;
};

// The bus: lists the devices present and opens one of them.
class UsbBus {
  public:
    virtual ~UsbBus() = default;
    virtual std::vector<UsbDeviceInfo> List() = 0;
    // Opens the device at path and claims interface; nullptr with error set on failure.
    // A device that is present but held by another program fails here too.
    virtual std::unique_ptr<UsbHandle> Open(const std::string& path, uint8_t interface,
                                            std::string* error) = 0;
};

}  // namespace velmora::usb
