#pragma once
// Why a serial port did not open, in the operator's terms: the path, the
// system's reason and what to do next.
#include <string>

namespace velmora {

enum class PortOpenFailure {
    kNone,
    kNoPath,   // empty text, or COMn out of range
    kMissing,  // no such device (or no hardware behind it)
    kNotTty,   // the path is not a serial device
    kBusy,     // another program holds it
    kAccess,   // the user may not open it
    kFormat,   // opened, but the line format could not be set
    kOther,
};

struct PortOpenError {
    PortOpenFailure kind = PortOpenFailure::kNone;
    int error_number = 0;  // errno of the call that failed (0: none)
    std::string group;     // kAccess: the device's group, when it can be read
    std::string holder;    // kBusy: "pid 1234 (minicom)", when it can be found
    bool failed() const { return kind != PortOpenFailure::kNone; }
};

// Sorts an errno from open(2) of `device` and gathers what the advice needs
// (the device's group, the process that holds it).
PortOpenError ClassifyOpenError(const std::string& device, int error_number);

// The process that has `device` open, as "pid 1234 (minicom)", found through
// /proc/*/fd; empty when none can be seen (another user's processes are hidden
// from an unprivileged one).
std::string FindPortHolder(const std::string& device);

// "/dev/ttyUSB0: Permission denied", "/dev/ttyUSB0: Device or resource busy
// (held by pid 1234, minicom)".
std::string PortOpenReason(const std::string& device, const PortOpenError& error);
// What to do about it, whole sentences.
std::string PortOpenNextStep(const PortOpenError& error);

}  // namespace velmora
