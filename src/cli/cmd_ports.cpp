#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "base/text_format.h"
#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/help_text.h"
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
        *error = Show(why.name) + " (" + why.detail + ")";
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
        const std::string ids = port.usb_vendor_id + ":" + port.usb_product_id;
        line += (name.empty() ? "" : " " + name) + " " +
                (port.usb_serial.empty() ? Say("cli.ports.usb_ids", {ids})
                                         : Say("cli.ports.usb_ids_serial", {ids, port.usb_serial}));
        line += ",";
    }
    line += " " +
            Say("cli.ports.driver", {port.driver.empty() ? Say("cli.word.unknown") : port.driver});
    std::printf("%s\n", line.c_str());
    for (const std::string& link : port.by_id) {
        std::printf("  %s\n", link.c_str());
    }
    if (!port.may_open) {
        std::printf(
            "  %s\n",
            Say("cli.ports.no_access", {port.group, Show(PortAccessHint(port.group))}).c_str());
    }
}

std::string ModeWords(usb::UsbMode mode) {
    switch (mode) {
        case usb::UsbMode::kRunTime:
            return Say("cli.ports.mode.run_time");
        case usb::UsbMode::kDfu:
            return Say("cli.ports.mode.dfu");
        case usb::UsbMode::kLoader:
            return Say("cli.ports.mode.bulk");
        case usb::UsbMode::kNone:
            break;
    }
    return Say("cli.ports.mode.other");
}

// "1-4.2 1209:0001 DFU mode, serial 0123", as the job's lists show a device.
std::string UsbDeviceLine(const usb::UsbDeviceInfo& d) {
    std::string line =
        d.path + Format(" %04x:%04x ", d.vendor, d.product) + ModeWords(usb::ModeOf(d));
    return line + (d.serial.empty() ? Say("cli.ports.no_serial_number")
                                    : Say("cli.ports.serial_number", {d.serial}));
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
        std::fprintf(stderr, "%s\n", Say("cli.ports.serial_error", {Show(ports_error)}).c_str());
    } else if (ports.empty()) {
        std::fprintf(stderr, "%s\n", Say("cli.ports.none").c_str());
    }
    for (const auto& d : usb_devices) {
        std::printf("usb %s\n", UsbDeviceLine(d).c_str());
    }
    if (!usb_error.empty()) {
        std::fprintf(stderr, "%s\n", Say("cli.ports.usb_error", {usb_error}).c_str());
    }
    return kExitOk;
}

Command AddPortsCommand(CLI::App& app) {
    auto* ports = app.add_subcommand("ports", Say("cli.help.ports"));
    ports->footer(Examples("cli.help.examples.ports"));
    return {ports, RunPorts, true};
}

}  // namespace velmora::cli
