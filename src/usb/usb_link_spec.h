#pragma once
// The USB port text: how the operator names the phone on the machine's USB, or
// a simulated phone's stand-in socket, and the bus it leads to.
#include <memory>
#include <string>

#include "usb/usb_device.h"

namespace velmora::usb {

// The USB link as the operator names it (the job's port text): comma-separated
//   path=BUS-PORT[.PORT...]  the phone is the device at this bus path ("1-4.2")
//   dfu=VID[:PID]            recognise the boot ROM's DFU device by these IDs only
//   dlv=VID[:PID]            recognise the RAM loader's bulk device by these IDs
//   unix:PATH                the USB stand-in of a simulated phone at socket PATH
// Empty: the machine's USB through libusb, devices recognised by their interfaces
// and chosen by the rules of usb_choice.h.
struct UsbLinkSpec {
    std::string socket;  // empty = libusb
    UsbMatch match;
};
// false (with error) on an unknown item or malformed IDs.
bool ParseUsbLinkSpec(const std::string& text, UsbLinkSpec* spec, std::string* error);
std::string FormatUsbLinkSpec(const UsbLinkSpec& spec);

// The bus the job talks over: libusb, or the stand-in the link text names.
// nullptr (with error) when it cannot be had.
std::unique_ptr<UsbBus> MakeUsbBus(const UsbLinkSpec& spec, std::string* error);

}  // namespace velmora::usb
