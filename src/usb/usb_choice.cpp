#include "usb/usb_choice.h"

#include <algorithm>
#include <cstdio>

#include "base/text_format.h"
#include "usb/dfu_requests.h"

namespace velmora::usb {

namespace {

constexpr uint8_t kRunTimeProtocol = 1;

std::string Ids(const UsbDeviceInfo& info) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", info.vendor, info.product);
    return text;
}

}  // namespace

const char* UsbStatusName(UsbStatus status) {
    switch (status) {
        case UsbStatus::kOk:
            return "LIBUSB_TRANSFER_COMPLETED";
        case UsbStatus::kTimeout:
            return "LIBUSB_TRANSFER_TIMED_OUT";
        case UsbStatus::kStall:
            return "LIBUSB_TRANSFER_STALL";
        case UsbStatus::kNoDevice:
            return "LIBUSB_TRANSFER_NO_DEVICE";
        case UsbStatus::kCancelled:
            return "LIBUSB_TRANSFER_CANCELLED";
        case UsbStatus::kError:
            break;
    }
    return "LIBUSB_TRANSFER_ERROR";
}

const UsbInterfaceInfo* DfuInterface(const UsbDeviceInfo& info) {
    for (const UsbInterfaceInfo& i : info.interfaces) {
        if (i.interface_class == kDfuInterfaceClass && i.subclass == kDfuInterfaceSubclass) {
            return &i;
        }
    }
    return nullptr;
}

const UsbInterfaceInfo* BulkInterface(const UsbDeviceInfo& info, bool vendor_class_only) {
    for (const UsbInterfaceInfo& i : info.interfaces) {
        if (i.bulk_in && i.bulk_out && (!vendor_class_only || i.interface_class == 0xFF)) {
            return &i;
        }
    }
    return nullptr;
}

UsbMode ModeOf(const UsbDeviceInfo& info) {
    if (const UsbInterfaceInfo* dfu = DfuInterface(info)) {
        return dfu->protocol == kRunTimeProtocol ? UsbMode::kRunTime : UsbMode::kDfu;
    }
    return BulkInterface(info, true) ? UsbMode::kLoader : UsbMode::kNone;
}

const char* UsbModeText(UsbMode mode) {
    switch (mode) {
        case UsbMode::kRunTime:
            return "run-time DFU";
        case UsbMode::kDfu:
            return "DFU mode";
        case UsbMode::kLoader:
            return "bulk device";
        case UsbMode::kNone:
            break;
    }
    return "other";
}

std::string DescribeUsbDevice(const UsbDeviceInfo& info) {
    std::string text = info.path + " " + Ids(info) + " " + UsbModeText(ModeOf(info));
    text += info.serial.empty() ? ", no serial number" : ", serial " + info.serial;
    return text;
}

bool IsUsbBusPath(const std::string& text) {
    // bus, '-', then one to seven port numbers separated by '.'
    size_t at = 0;
    int numbers = 0;
    while (at < text.size()) {
        const size_t start = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            ++at;
        }
        if (at == start || at - start > 3) {
            return false;
        }
        ++numbers;
        if (at == text.size()) {
            break;
        }
        const char separator = numbers == 1 ? '-' : '.';
        if (text[at] != separator || ++at == text.size()) {
            return false;
        }
    }
    return numbers >= 2 && numbers <= 8;
}

bool DfuChooser::Named(const UsbDeviceInfo& info) const {
    if (!match_.path.empty()) {
        return info.path == match_.path;
    }
    return match_.dfu.vendor && match_.dfu.product;  // and Look() checked that they match
}

DfuLook DfuChooser::Look(const std::vector<UsbDeviceInfo>& devices) {
    DfuLook look;
    for (const UsbDeviceInfo& info : devices) {
        const UsbMode mode = ModeOf(info);
        const bool was_there = !first_ && before_.count({info.path, info.address}) > 0;
        if (first_) {
            before_.insert({info.path, info.address});
        }
        if (mode != UsbMode::kRunTime && mode != UsbMode::kDfu) {
            continue;
        }
        if ((!match_.path.empty() && info.path != match_.path) ||
            !match_.dfu.Matches(info.vendor, info.product)) {
            continue;
        }
        if (mode == UsbMode::kRunTime && (first_ || was_there) && !Named(info)) {
            look.passed_over.push_back(info);
            continue;
        }
        look.several.push_back(info);
    }
    first_ = false;
    std::sort(look.several.begin(), look.several.end(),
              [](const UsbDeviceInfo& a, const UsbDeviceInfo& b) { return a.path < b.path; });
    if (look.several.size() == 1) {
        look.chosen = look.several.front();
        look.several.clear();
    }
    return look;
}

std::string NextStep(UsbOpenFailure kind) {
    switch (kind) {
        case UsbOpenFailure::kAccess:
            return "Next step: install the udev rule (\"velmora-cli udev-rule\" prints it with "
                   "the command that installs it), then replug the phone and start again.";
        case UsbOpenFailure::kBusy:
            return "Next step: another program holds the device; close it (another velmora, a "
                   "flashing or modem tool), then start again.";
        case UsbOpenFailure::kNotFound:
            return "Next step: the device left the bus; check the cable, replug the phone and "
                   "start again.";
        case UsbOpenFailure::kNone:
        case UsbOpenFailure::kOther:
            break;
    }
    return "Next step: replug the phone and start again.";
}

namespace {

std::string OpenFailureHead(const char* what, const UsbDeviceInfo& device, const UsbError& error) {
    std::string text = std::string("Cannot open the phone's ") + what + " " + device.path;
    if (device.vendor || device.product) {
        text += " (" + Ids(device) + ")";
    }
    text += ": " + error.name;
    if (!error.detail.empty()) {
        text += " (" + error.detail + ")";
    }
    return text + ". ";
}

}  // namespace

std::string OpenFailureText(const char* what, const UsbDeviceInfo& device, const UsbError& error) {
    return OpenFailureHead(what, device, error) + NextStep(error.kind);
}

std::string LoaderRuleNextStep(const UsbDeviceInfo& device) {
    return Format(
        "Next step: install the udev rule with a line for this loader device "
        "(\"velmora-cli udev-rule --loader %04x:%04x\" prints it with the command that "
        "installs it), then replug the phone and start again.",
        device.vendor, device.product);
}

std::string LoaderOpenFailureText(const UsbDeviceInfo& device, const UsbError& error) {
    // The loader's IDs are not known in advance, so the rule has no line for them
    // until the operator adds one with the IDs this device shows.
    const bool rule_needed =
        error.kind == UsbOpenFailure::kAccess && (device.vendor != 0 || device.product != 0);
    return OpenFailureHead("bulk device", device, error) +
           (rule_needed ? LoaderRuleNextStep(device) : NextStep(error.kind));
}

std::string TransferFailureText(const char* what, const std::string& path, UsbStatus status) {
    std::string text = std::string("USB: ") + UsbStatusName(status) + " on the " + what;
    if (!path.empty()) {
        text += " " + path;
    }
    text += ". ";
    switch (status) {
        case UsbStatus::kTimeout:
            return text +
                   "Next step: the phone stopped answering; switch it off and on, "
                   "replug it and start again.";
        case UsbStatus::kNoDevice:
            return text + NextStep(UsbOpenFailure::kNotFound);
        default:
            return text + NextStep(UsbOpenFailure::kOther);
    }
}

std::string SeveralDevicesText(const std::vector<UsbDeviceInfo>& devices) {
    std::string text = "Several USB devices could be the phone:";
    for (const UsbDeviceInfo& d : devices) {
        text += " [" + DescribeUsbDevice(d) + "]";
    }
    return text + ". Next step: name the phone by its bus path (path=" + devices.front().path +
           " in the USB port text) and start again.";
}

std::string PassedOverText(const UsbDeviceInfo& device) {
    return "Passing over " + DescribeUsbDevice(device) +
           ": it was on the bus before Start. Replug the phone, or name it (path=" + device.path +
           ").";
}

}  // namespace velmora::usb
