#pragma once
// Which USB device is the phone, and how a USB failure is told to the operator.
//
// The phone's boot ROM may show either kind of DFU interface: run-time (protocol 1,
// in appIDLE) or DFU mode (protocol 2), and the operator plugs the phone in (or
// switches it on) after Start, when asked. A dock, a keyboard or a radio carries a
// run-time DFU interface in normal use, and detaching, resetting or downloading into
// one of those would do it harm. So the search takes:
//  - a DFU device that appears after the search began, of either kind;
//  - a DFU-mode device that was there already;
//  - a run-time DFU device that was there already only when the operator names it
//    (path=BUS-PORT, or dfu=VID:PID with both IDs); otherwise it is passed over and
//    named in the status.
// More than one device that qualifies: the job refuses and lists them.
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "usb/usb_device.h"
#include "usb/usb_transfer.h"

namespace velmora::usb {

enum class UsbMode { kNone, kRunTime, kDfu, kLoader };

// The DFU interface of a device (its first alternate setting with one), or nullptr.
const UsbInterfaceInfo* DfuInterface(const UsbDeviceInfo& info);
// The interface holding one bulk IN and one bulk OUT endpoint; only a vendor-specific
// one (class FF) unless any will do.
const UsbInterfaceInfo* BulkInterface(const UsbDeviceInfo& info, bool vendor_class_only);
// Run-time or DFU mode for a DFU device, the loader's bulk device, or none.
UsbMode ModeOf(const UsbDeviceInfo& info);
const char* UsbModeText(UsbMode mode);  // "run-time DFU", "DFU mode", "bulk device"

// "1-4.2 1209:0001 DFU mode, serial 0123" as the lists show a device.
std::string DescribeUsbDevice(const UsbDeviceInfo& info);

// A bus path as the port text writes it: BUS-PORT[.PORT...], numbers only.
bool IsUsbBusPath(const std::string& text);

struct DfuLook {
    std::optional<UsbDeviceInfo> chosen;     // the one device that qualifies
    std::vector<UsbDeviceInfo> several;      // all of them, when more than one does
    std::vector<UsbDeviceInfo> passed_over;  // run-time devices there before the search
};

class DfuChooser {
  public:
    explicit DfuChooser(UsbMatch match) : match_(std::move(match)) {}
    // One look at the bus; the first look records what was there before.
    DfuLook Look(const std::vector<UsbDeviceInfo>& devices);

  private:
    bool Named(const UsbDeviceInfo& info) const;

    UsbMatch match_;
    bool first_ = true;
    std::set<std::pair<std::string, uint32_t>> before_;  // path and address
};

// The failure texts that end a job: libusb's name for it, then the next step.
std::string OpenFailureText(const char* what, const UsbDeviceInfo& device, const UsbError& error);
std::string TransferFailureText(const char* what, const std::string& path, UsbStatus status);
std::string NextStep(UsbOpenFailure kind);
// The RAM loader's bulk device that would not open: as OpenFailureText, but a
// refused access names the udev rule line for this device's IDs.
std::string LoaderOpenFailureText(const UsbDeviceInfo& device, const UsbError& error);
std::string LoaderRuleNextStep(const UsbDeviceInfo& device);
// "Several USB devices could be the phone: ... Name one ..." (the job refuses).
std::string SeveralDevicesText(const std::vector<UsbDeviceInfo>& devices);
// The status that names a run-time DFU device the search passes over.
std::string PassedOverText(const UsbDeviceInfo& device);

}  // namespace velmora::usb
