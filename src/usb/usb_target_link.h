#pragma once
// TargetLink over the RAM loader's bulk pipes. The link owns the job's USB device
// pair (the boot ROM's DFU device and the bulk device), so that destroying the job
// closes both.
#include <memory>

#include "link/target_link.h"
#include "usb/usb_device.h"

namespace velmora::usb {

class UsbTargetLink : public TargetLink {
  public:
    // write_timeout_ms: every pipe write (frames and data pieces); quiet_ms: the
    // drain before a command after a failed wait.
    UsbTargetLink(std::unique_ptr<UsbDevice> device, int write_timeout_ms, int quiet_ms);

    int SendFrame(std::span<const uint8_t, 64> frame) override;
    int SendData(std::span<const uint8_t> data) override;
    int Receive(std::span<uint8_t> buffer, int timeout_ms) override;
    bool WaitForByte(uint8_t, int) override { return false; }
    void PurgeInput() override {}
    int SendCommand(std::span<const uint8_t, 64> frame, size_t answer_bytes, int timeout_ms,
                    const std::function<void()>& meanwhile) override;

    UsbDevice& device() { return *device_; }

  protected:
    long DropUntilQuiet(int quiet_ms) override;

  private:
    int Noted(int result);

    std::unique_ptr<UsbDevice> device_;
    int write_timeout_ms_;
};

}  // namespace velmora::usb
