#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "serial/serial_port.h"
#include "usb/libusb_bus.h"
#include "usb/usb_choice.h"

namespace velmora::cli {

namespace {

// The USB devices that could be the phone: DFU devices in either mode and bulk
// devices like the RAM loader's, sorted by bus path. error says why there are none
// when libusb cannot start.
std::vector<usb::UsbDeviceInfo> UsbCandidates(std::string* error) {
    usb::UsbError why;
    std::unique_ptr<usb::LibusbBus> bus = usb::LibusbBus::Create(&why);
    if (!bus) {
        *error = why.name + " (" + why.detail + ")";
        return {};
    }
    std::vector<usb::UsbDeviceInfo> found;
    for (usb::UsbDeviceInfo& d : bus->List()) {
        if (usb::ModeOf(d) != usb::UsbMode::kNone) {
            found.push_back(std::move(d));
        }
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.path < b.path; });
    return found;
}

}  // namespace

int RunPorts(const GlobalOptions& global) {
    const auto ports = ListSerialPorts();
    std::string usb_error;
    const auto usb_devices = UsbCandidates(&usb_error);
    if (global.json) {
        nlohmann::json usb = nlohmann::json::array();
        for (const auto& d : usb_devices) {
            char id[16];
            std::snprintf(id, sizeof id, "%04x:%04x", d.vendor, d.product);
            usb.push_back({{"path", d.path},
                           {"id", id},
                           {"mode", usb::UsbModeText(usb::ModeOf(d))},
                           {"serial", d.serial}});
        }
        nlohmann::json event = {{"event", "ports"}, {"ports", ports}, {"usb", usb}};
        if (!usb_error.empty()) {
            event["usb_error"] = usb_error;
        }
        std::printf("%s\n",
                    event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return kExitOk;
    }
    for (const auto& port : ports) {
        std::printf("%s\n", port.c_str());
    }
    if (ports.empty()) {
        std::fprintf(stderr, "no serial ports found\n");
    }
    for (const auto& d : usb_devices) {
        std::printf("usb %s\n", usb::DescribeUsbDevice(d).c_str());
    }
    if (!usb_error.empty()) {
        std::fprintf(stderr, "USB: %s\n", usb_error.c_str());
    }
    return kExitOk;
}

}  // namespace velmora::cli
