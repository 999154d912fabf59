#include "usb/usb_target_link.h"

namespace velmora::usb {

UsbTargetLink::UsbTargetLink(std::unique_ptr<UsbDevice> device, int write_timeout_ms)
    : device_(std::move(device)), write_timeout_ms_(write_timeout_ms) {}

int UsbTargetLink::SendFrame(std::span<const uint8_t, 64> frame) {
    return device_->dlv().BulkWrite(frame.data(), frame.size(),
                                    static_cast<unsigned>(write_timeout_ms_));
}

int UsbTargetLink::SendCommand(std::span<const uint8_t, 64> frame, size_t answer_bytes,
                               int timeout_ms, const std::function<void()>& meanwhile) {
    return device_->dlv().CommandAndRead(frame.data(), frame.size(),
                                         static_cast<unsigned>(write_timeout_ms_), answer_bytes,
                                         static_cast<unsigned>(timeout_ms), meanwhile);
}

int UsbTargetLink::SendData(std::span<const uint8_t> data) {
    return device_->dlv().BulkWrite(data.data(), data.size(),
                                    static_cast<unsigned>(write_timeout_ms_));
}

int UsbTargetLink::Receive(std::span<uint8_t> buffer, int timeout_ms) {
    return device_->dlv().BulkRead(buffer.data(), buffer.size(), static_cast<unsigned>(timeout_ms));
}

}  // namespace velmora::usb
