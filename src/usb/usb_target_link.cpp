#include "usb/usb_target_link.h"

namespace velmora::usb {

UsbTargetLink::UsbTargetLink(std::unique_ptr<UsbDevice> device, int write_timeout_ms, int quiet_ms)
    : device_(std::move(device)), write_timeout_ms_(write_timeout_ms) {
    quiet_ms_ = quiet_ms;
}

int UsbTargetLink::SendFrame(std::span<const uint8_t, 64> frame) {
    if (!SettleForCommand()) {
        return result::usb_device::kBulkFailed;
    }
    return Noted(device_->dlv().BulkWrite(frame.data(), frame.size(),
                                          static_cast<unsigned>(write_timeout_ms_)));
}

int UsbTargetLink::SendCommand(std::span<const uint8_t, 64> frame, size_t answer_bytes,
                               int timeout_ms, const std::function<void()>& meanwhile) {
    if (!SettleForCommand()) {
        return result::usb_device::kBulkFailed;
    }
    return Noted(device_->dlv().CommandAndRead(
        frame.data(), frame.size(), static_cast<unsigned>(write_timeout_ms_), answer_bytes,
        static_cast<unsigned>(timeout_ms), meanwhile));
}

int UsbTargetLink::SendData(std::span<const uint8_t> data) {
    if (unsettled()) {
        return result::usb_device::kBulkFailed;  // its frame did not go
    }
    return Noted(device_->dlv().BulkWrite(data.data(), data.size(),
                                          static_cast<unsigned>(write_timeout_ms_)));
}

int UsbTargetLink::Receive(std::span<uint8_t> buffer, int timeout_ms) {
    if (unsettled()) {
        return result::usb_device::kBulkFailed;
    }
    return Noted(
        device_->dlv().BulkRead(buffer.data(), buffer.size(), static_cast<unsigned>(timeout_ms)));
}

// A transfer that failed either way may still be answered (a write the phone took
// late): the line is drained before the next command.
int UsbTargetLink::Noted(int result) {
    if (result != 0) {
        NoteFailedWait();
    }
    return result;
}

long UsbTargetLink::DropUntilQuiet(int quiet_ms) {
    return device_->dlv().Drain(static_cast<unsigned>(quiet_ms));
}

}  // namespace velmora::usb
