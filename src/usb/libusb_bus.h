#pragma once
// The transfer interface over libusb-1.0: the real phone on the real bus.
#include <libusb-1.0/libusb.h>

#include <memory>
#include <string>

#include "usb/usb_transfer.h"

namespace velmora::usb {

// Fill a libusb transfer for one request; buffer holds the 8-byte setup stage
// followed by setup.length data bytes (LIBUSB_CONTROL_SETUP_SIZE + length).
void FillControlTransfer(libusb_transfer* transfer, libusb_device_handle* handle,
                         const ControlSetup& setup, uint8_t* buffer, unsigned timeout_ms);
void FillBulkTransfer(libusb_transfer* transfer, libusb_device_handle* handle,
                      const BulkSetup& setup, uint8_t* data);
UsbStatus StatusOfTransfer(libusb_transfer_status status);

// "bus-port.port...", the path text of a device on this backend.
std::string LibusbPath(libusb_device* device);

class LibusbBus : public UsbBus {
  public:
    // nullptr when libusb cannot start (error says why).
    static std::unique_ptr<LibusbBus> Create(UsbError* error);
    ~LibusbBus() override;
    LibusbBus(const LibusbBus&) = delete;
    LibusbBus& operator=(const LibusbBus&) = delete;

    std::vector<UsbDeviceInfo> List() override;
    std::unique_ptr<UsbHandle> Open(const std::string& path, uint8_t interface, uint8_t alt_setting,
                                    UsbError* error) override;

  private:
    explicit LibusbBus(libusb_context* context) : context_(context) {}
    libusb_context* context_;
};

}  // namespace velmora::usb
