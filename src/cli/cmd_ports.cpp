#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "serial/port_list.h"
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

nlohmann::json PortJson(const SerialPortInfo& port) {
    nlohmann::json item = {{"path", port.path},     {"by_id", port.by_id},
                           {"driver", port.driver}, {"may_open", port.may_open},
                           {"group", port.group},   {"usb", nullptr}};
    if (!port.usb_vendor_id.empty()) {
        item["usb"] = {{"id", port.usb_vendor_id + ":" + port.usb_product_id},
                       {"vendor", port.usb_vendor},
                       {"product", port.usb_product},
                       {"serial", port.usb_serial}};
    }
    return item;
}

// "/dev/ttyUSB0: FTDI FT232R USB UART (USB 0403:6001, serial A50285BI), driver ftdi_sio"
// with the by-id names and, when the user may not open it, why and what to do
// on the lines below.
void PrintPort(const SerialPortInfo& port) {
    std::string line = port.path + ":";
    if (!port.usb_vendor_id.empty()) {
        std::string name = port.usb_vendor;
        if (!port.usb_product.empty()) {
            name += (name.empty() ? "" : " ") + port.usb_product;
        }
        line += (name.empty() ? "" : " " + name) + " (USB " + port.usb_vendor_id + ":" +
                port.usb_product_id;
        line += port.usb_serial.empty() ? ")" : ", serial " + port.usb_serial + ")";
        line += ",";
    }
    line += " driver " + (port.driver.empty() ? std::string("unknown") : port.driver);
    std::printf("%s\n", line.c_str());
    for (const std::string& link : port.by_id) {
        std::printf("  %s\n", link.c_str());
    }
    if (!port.may_open) {
        std::printf("  you may not open it (group %s): %s\n", port.group.c_str(),
                    PortAccessHint(port.group).c_str());
    }
}

}  // namespace

int RunPorts(const GlobalOptions& global) {
    std::string ports_error;
    const auto ports = ListSerialPortDetails(&ports_error);
    std::string usb_error;
    const auto usb_devices = UsbCandidates(&usb_error);
    if (global.json) {
        nlohmann::json serial = nlohmann::json::array();
        for (const auto& port : ports) {
            serial.push_back(PortJson(port));
        }
        nlohmann::json usb = nlohmann::json::array();
        for (const auto& d : usb_devices) {
            char id[16];
            std::snprintf(id, sizeof id, "%04x:%04x", d.vendor, d.product);
            usb.push_back({{"path", d.path},
                           {"id", id},
                           {"mode", usb::UsbModeText(usb::ModeOf(d))},
                           {"serial", d.serial}});
        }
        nlohmann::json event = {{"event", "ports"}, {"ports", serial}, {"usb", usb}};
        if (!ports_error.empty()) {
            event["ports_error"] = ports_error;
        }
        if (!usb_error.empty()) {
            event["usb_error"] = usb_error;
        }
        std::printf("%s\n",
                    event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return kExitOk;
    }
    for (const auto& port : ports) {
        PrintPort(port);
    }
    if (!ports_error.empty()) {
        std::fprintf(stderr, "serial ports: %s\n", ports_error.c_str());
    } else if (ports.empty()) {
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

Command AddPortsCommand(CLI::App& app) {
    auto* ports = app.add_subcommand(
        "ports", "list the serial ports and the USB devices that could be the phone");
    return {ports, RunPorts, true};
}

}  // namespace velmora::cli
