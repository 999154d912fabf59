#include "usb/dfu_requests.h"

#include <algorithm>
#include <iterator>
#include <string>

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

std::string DfuRequestName(uint8_t request) {
    static constexpr const char* kNames[] = {"DFU_DETACH",    "DFU_DNLOAD",    "DFU_UPLOAD",
                                             "DFU_GETSTATUS", "DFU_CLRSTATUS", "DFU_GETSTATE",
                                             "DFU_ABORT"};
    return request < std::size(kNames) ? kNames[request] : "request " + std::to_string(request);
}

std::string DfuStateName(int state) {
    static constexpr const char* kNames[] = {
        "appIDLE",          "appDETACH",   "dfuIDLE",
        "dfuDNLOAD-SYNC",   "dfuDNBUSY",   "dfuDNLOAD-IDLE",
        "dfuMANIFEST-SYNC", "dfuMANIFEST", "dfuMANIFEST-WAIT-RESET",
        "dfuUPLOAD-IDLE",   "dfuERROR"};
    if (state >= 0 && static_cast<size_t>(state) < std::size(kNames)) {
        return kNames[state];
    }
    return state == kDfuStateUnknown ? "unknown" : "state " + std::to_string(state);
}

std::string DfuStatusName(uint8_t status) {
    static constexpr const char* kNames[] = {
        "OK",      "errTARGET", "errFILE",    "errWRITE",     "errERASE",    "errCHECK_ERASED",
        "errPROG", "errVERIFY", "errADDRESS", "errNOTDONE",   "errFIRMWARE", "errVENDOR",
        "errUSBR", "errPOR",    "errUNKNOWN", "errSTALLEDPKT"};
    return status < std::size(kNames) ? kNames[status] : "status " + std::to_string(status);
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

std::optional<DfuStatus> DecodeDfuStatus(std::span<const uint8_t> answer) {
    if (answer.size() < 6) {
        return std::nullopt;
    }
    return ParseDfuStatus(answer.data());
}

std::string DecodeStringDescriptor(std::span<const uint8_t> descriptor) {
    std::string text;
    if (descriptor.empty()) {
        return text;
    }
    const size_t end = std::min<size_t>(descriptor.size(), descriptor[0]);
    for (size_t i = 2; i + 1 < end; i += 2) {
        const unsigned c = descriptor[i] | descriptor[i + 1] << 8;
        text.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
    }
    return text;
}

uint16_t DecodeFirstLanguage(std::span<const uint8_t> descriptor) {
    return descriptor.size() >= 4 ? static_cast<uint16_t>(descriptor[2] | descriptor[3] << 8) : 0;
}

std::optional<uint16_t> DecodeConfigurationLength(std::span<const uint8_t> head) {
    if (head.size() < 9) {
        return std::nullopt;
    }
    const uint16_t total = static_cast<uint16_t>(head[2] | head[3] << 8);
    if (total < 9) {
        return std::nullopt;
    }
    return total;
}

DfuConfiguration DecodeDfuConfiguration(std::span<const uint8_t> set, uint8_t interface) {
    DfuConfiguration c;
    if (set.size() >= 18 && set[10] == kDescInterface) {
        c.interface_string = set[17];
    }
    bool in_dfu = false;
    for (size_t at = 0; at + 2 <= set.size();) {
        const uint8_t length = set[at];
        const uint8_t type = set[at + 1];
        if (length < 2 || length > set.size() - at) {
            break;
        }
        const std::span<const uint8_t> d = set.subspan(at, length);
        if (type == kDescInterface && length >= 9) {
            in_dfu =
                d[2] == interface && d[5] == kDfuInterfaceClass && d[6] == kDfuInterfaceSubclass;
        } else if (type == kDescDfuFunctional && in_dfu && length >= 7) {
            DfuFunctional f;
            f.attributes = d[2];
            f.detach_timeout_ms = static_cast<uint16_t>(d[3] | d[4] << 8);
            f.transfer_size = static_cast<uint16_t>(d[5] | d[6] << 8);
            f.dfu_version = length >= 9 ? static_cast<uint16_t>(d[7] | d[8] << 8) : 0;
            c.functional = f;
            break;
        }
        at += length;
    }
    return c;
}

}  // namespace velmora::usb
