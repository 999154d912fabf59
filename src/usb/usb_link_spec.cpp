#include "usb/usb_link_spec.h"

#include "usb/libusb_bus.h"
#include "usb/socket_bus.h"
#include "usb/usb_choice.h"

namespace velmora::usb {

bool ParseUsbLinkSpec(const std::string& text, UsbLinkSpec* spec, std::string* error) {
    UsbLinkSpec out;
    size_t at = 0;
    while (at < text.size()) {
        size_t comma = text.find(',', at);
        if (comma == std::string::npos) {
            comma = text.size();
        }
        const std::string item = text.substr(at, comma - at);
        at = comma + 1;
        if (item.empty()) {
            continue;
        }
        bool ok = true;
        if (item.rfind("unix:", 0) == 0 && item.size() > 5) {
            out.socket = item.substr(5);
        } else if (item.rfind("dfu=", 0) == 0) {
            ok = ParseUsbIds(item.substr(4), &out.match.dfu);
        } else if (item.rfind("dlv=", 0) == 0) {
            ok = ParseUsbIds(item.substr(4), &out.match.dlv);
        } else if (item.rfind("path=", 0) == 0) {
            out.match.path = item.substr(5);
            ok = IsUsbBusPath(out.match.path);
        } else {
            ok = false;
        }
        if (!ok) {
            if (error) {
                *error = "unknown USB link item \"" + item +
                         "\" (expected path=BUS-PORT[.PORT...], dfu=VID[:PID], dlv=VID[:PID] or "
                         "unix:PATH)";
            }
            return false;
        }
    }
    *spec = out;
    return true;
}

std::string FormatUsbLinkSpec(const UsbLinkSpec& spec) {
    std::string text;
    auto add = [&text](const std::string& item) {
        if (!text.empty()) {
            text += ',';
        }
        text += item;
    };
    if (!spec.socket.empty()) {
        add("unix:" + spec.socket);
    }
    if (!spec.match.path.empty()) {
        add("path=" + spec.match.path);
    }
    if (!spec.match.dfu.Any()) {
        add("dfu=" + FormatUsbIds(spec.match.dfu));
    }
    if (!spec.match.dlv.Any()) {
        add("dlv=" + FormatUsbIds(spec.match.dlv));
    }
    return text;
}

std::unique_ptr<UsbBus> MakeUsbBus(const UsbLinkSpec& spec, std::string* error) {
    if (!spec.socket.empty()) {
        return std::make_unique<SocketBus>(spec.socket);
    }
    UsbError why;
    std::unique_ptr<UsbBus> bus = LibusbBus::Create(&why);
    if (!bus && error) {
        *error = "Cannot use USB: " + why.name + " (" + why.detail + "). " + NextStep(why.kind);
    }
    return bus;
}

}  // namespace velmora::usb
