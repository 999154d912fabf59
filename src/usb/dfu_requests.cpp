#include "usb/dfu_requests.h"

namespace velmora::usb {

namespace {

constexpr uint8_t kClassInterfaceOut = 0x21;
constexpr uint8_t kClassInterfaceIn = 0xA1;
constexpr uint8_t kStandardDeviceIn = 0x80;
constexpr uint8_t kGetDescriptor = 6;

ControlSetup ClassOut(uint8_t request, uint16_t value, uint8_t interface, uint16_t length) {
    return {kClassInterfaceOut, request, value, interface, length};
}

ControlSetup ClassIn(uint8_t request, uint16_t value, uint8_t interface, uint16_t length) {
    return {kClassInterfaceIn, request, value, interface, length};
}

}  // namespace

const char* UsbStatusText(UsbStatus status) {
    switch (status) {
        case UsbStatus::kOk:
            return "ok";
        case UsbStatus::kTimeout:
            return "timed out";
        case UsbStatus::kStall:
            return "stalled";
        case UsbStatus::kNoDevice:
            return "no device";
        case UsbStatus::kCancelled:
            return "cancelled";
        case UsbStatus::kError:
            break;
    }
    return "error";
}

ControlSetup GetDescriptorRequest(uint8_t type, uint8_t index, uint16_t language, uint16_t length) {
    return {kStandardDeviceIn, kGetDescriptor, static_cast<uint16_t>(type << 8 | index), language,
            length};
}

ControlSetup DetachRequest(uint8_t interface, uint16_t timeout_ms) {
    return ClassOut(kDfuDetach, timeout_ms, interface, 0);
}

ControlSetup DnloadRequest(uint8_t interface, uint16_t block, uint16_t length) {
    return ClassOut(kDfuDnload, block, interface, length);
}

ControlSetup UploadRequest(uint8_t interface, uint16_t block, uint16_t length) {
    return ClassIn(kDfuUpload, block, interface, length);
}

ControlSetup GetStatusRequest(uint8_t interface) {
    return ClassIn(kDfuGetStatus, 0, interface, 6);
}

ControlSetup ClrStatusRequest(uint8_t interface) {
    return ClassOut(kDfuClrStatus, 0, interface, 0);
}

ControlSetup GetStateRequest(uint8_t interface) {
    return ClassIn(kDfuGetState, 0, interface, 1);
}

ControlSetup AbortRequest(uint8_t interface) {
    return ClassOut(kDfuAbort, 0, interface, 0);
}

DfuStatus ParseDfuStatus(const uint8_t* bytes) {
    DfuStatus s;
    s.status = bytes[0];
    s.poll_timeout_ms = bytes[1] | bytes[2] << 8 | bytes[3] << 16;
    s.state = bytes[4];
    s.string_index = bytes[5];
    return s;
}

}  // namespace velmora::usb
