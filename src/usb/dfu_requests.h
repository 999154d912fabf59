#pragma once
// The control requests of the boot ROM's DFU 1.0 device, built as setup stages.
// Every request the link sends goes through one of these functions, so a test of
// them is a test of what reaches the wire.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "usb/usb_transfer.h"

namespace velmora::usb {

// DFU 1.0 class requests (bRequest).
enum DfuRequest : uint8_t {
    kDfuDetach = 0,
    kDfuDnload = 1,
    kDfuUpload = 2,
    kDfuGetStatus = 3,
    kDfuClrStatus = 4,
    kDfuGetState = 5,
    kDfuAbort = 6,
};

// DFU 1.0 device states.
inline constexpr int kAppIdle = 0;
inline constexpr int kAppDetach = 1;
inline constexpr int kDfuIdle = 2;
inline constexpr int kDfuDnloadSync = 3;
inline constexpr int kDfuDnBusy = 4;
inline constexpr int kDfuDnloadIdle = 5;
inline constexpr int kDfuManifestSync = 6;
inline constexpr int kDfuManifest = 7;
inline constexpr int kDfuManifestWaitReset = 8;
inline constexpr int kDfuUploadIdle = 9;
inline constexpr int kDfuError = 10;
inline constexpr int kDfuStateUnknown = 255;  // an unknown state or a failed request

// DFU status codes used by the loops.
inline constexpr uint8_t kStatusOk = 0;
inline constexpr uint8_t kStatusErrNotDone = 9;
inline constexpr uint8_t kStatusErrUnknown = 14;
inline constexpr uint8_t kStatusErrStalledPkt = 15;

// Descriptor types.
inline constexpr uint8_t kDescDevice = 1;
inline constexpr uint8_t kDescConfiguration = 2;
inline constexpr uint8_t kDescString = 3;
inline constexpr uint8_t kDescInterface = 4;
inline constexpr uint8_t kDescEndpoint = 5;
inline constexpr uint8_t kDescDfuFunctional = 0x21;

// The DFU interface: application-specific class, DFU subclass; protocol 1 in
// run-time mode, 2 in DFU mode.
inline constexpr uint8_t kDfuInterfaceClass = 0xFE;
inline constexpr uint8_t kDfuInterfaceSubclass = 0x01;

// The names DFU 1.0 gives them, for the operator's texts: "DFU_GETSTATE",
// "dfuERROR", "errNOTDONE"; a number outside the standard's list as "state 12" etc.
std::string DfuRequestName(uint8_t request);
std::string DfuStateName(int state);
std::string DfuStatusName(uint8_t status);

// Standard GET_DESCRIPTOR (device to host, standard, device recipient).
ControlSetup GetDescriptorRequest(uint8_t type, uint8_t index, uint16_t language, uint16_t length);

// DFU class requests to interface `interface` (class, interface recipient).
ControlSetup DetachRequest(uint8_t interface, uint16_t timeout_ms);
ControlSetup DnloadRequest(uint8_t interface, uint16_t block, uint16_t length);
ControlSetup UploadRequest(uint8_t interface, uint16_t block, uint16_t length);
ControlSetup GetStatusRequest(uint8_t interface);
ControlSetup ClrStatusRequest(uint8_t interface);
ControlSetup GetStateRequest(uint8_t interface);
ControlSetup AbortRequest(uint8_t interface);

// The answer of DFU_GETSTATUS (6 bytes).
struct DfuStatus {
    uint8_t status = 0;
    uint32_t poll_timeout_ms = 0;  // 24-bit bwPollTimeout
    uint8_t state = 0;
    uint8_t string_index = 0;
};
DfuStatus ParseDfuStatus(const uint8_t* bytes);
// The answer as it came: nullopt when it is shorter than 6 bytes.
std::optional<DfuStatus> DecodeDfuStatus(std::span<const uint8_t> answer);

// The DFU functional descriptor as a device reports it (9 bytes on the wire).
struct DfuFunctional {
    uint8_t attributes = 0;  // bit 2: manifestation tolerant
    uint16_t detach_timeout_ms = 0;
    uint16_t transfer_size = 0;
    uint16_t dfu_version = 0;

    bool ManifestationTolerant() const { return (attributes & 0x04) != 0; }
};

// The descriptors as the device sends them, decoded without I/O. Every decoder
// takes the bytes received and reads nothing past them.

// A string descriptor's text: UTF-16LE within the descriptor's own length and the
// bytes received, anything outside printable ASCII as '?'.
std::string DecodeStringDescriptor(std::span<const uint8_t> descriptor);
// String descriptor 0: the first language it lists, 0 when it lists none.
uint16_t DecodeFirstLanguage(std::span<const uint8_t> descriptor);
// The head (first 9 bytes) of a configuration descriptor: the length of the whole
// set, nullopt when the head is short or names less than itself.
std::optional<uint16_t> DecodeConfigurationLength(std::span<const uint8_t> head);

// What the link needs of a configuration descriptor set.
struct DfuConfiguration {
    // The string index of an interface descriptor that directly follows the
    // configuration's own 9 bytes, 0 when none does.
    uint8_t interface_string = 0;
    // The functional descriptor that follows DFU interface `interface` (application
    // class, DFU subclass) in the set, nullopt when none does. The walk stops at a
    // descriptor whose length is below 2 or runs past the end.
    std::optional<DfuFunctional> functional;
};
DfuConfiguration DecodeDfuConfiguration(std::span<const uint8_t> set, uint8_t interface);

}  // namespace velmora::usb
