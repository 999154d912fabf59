#include "serial/port_list.h"
#include "base/text_format.h"

#include <grp.h>
#include <libudev.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

namespace velmora {

namespace {

struct UdevFree {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevFree>;

std::string Text(const char* value) {
    return value ? std::string(value) : std::string();
}

bool Is(const char* value, std::string_view expected) {
    return value != nullptr && expected == value;
}

std::string GroupName(gid_t gid) {
    std::string buffer(4096, '\0');
    group entry{};
    group* found = nullptr;
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
        return found->gr_name;
    }
    return std::to_string(gid);
}

// The driver of the nearest device above the tty that has one: the USB serial
// converter for ttyUSB, the USB interface for ttyACM, the UART's for ttyS. The
// serial core's own port devices (bus serial-base, drivers "port" and "ctrl")
// say nothing about the hardware and are passed over.
std::string NearestDriver(udev_device* tty) {
    for (udev_device* d = udev_device_get_parent(tty); d != nullptr;
         d = udev_device_get_parent(d)) {
        const char* driver = udev_device_get_driver(d);
        if (driver != nullptr && !Is(udev_device_get_subsystem(d), "serial-base")) {
            return driver;
        }
    }
    return {};
}

void ReadUsbDevice(udev_device* tty, SerialPortInfo& port) {
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
    if (usb == nullptr) {
        return;
    }
    port.usb_vendor_id = Text(udev_device_get_sysattr_value(usb, "idVendor"));
    port.usb_product_id = Text(udev_device_get_sysattr_value(usb, "idProduct"));
    port.usb_vendor = Text(udev_device_get_sysattr_value(usb, "manufacturer"));
    port.usb_product = Text(udev_device_get_sysattr_value(usb, "product"));
    port.usb_serial = Text(udev_device_get_sysattr_value(usb, "serial"));
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPortDetails(std::string* error) {
    std::vector<SerialPortInfo> ports;
    UdevPtr<udev> context(udev_new());
    UdevPtr<udev_enumerate> scan(context ? udev_enumerate_new(context.get()) : nullptr);
    if (!scan || udev_enumerate_add_match_subsystem(scan.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(scan.get()) < 0) {
        if (error) {
            *error = std::string("udev cannot list the tty devices (") + ErrnoText(errno) + ")";
        }
        return ports;
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(scan.get())) {
        UdevPtr<udev_device> tty(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!tty) {
            continue;
        }
        // Virtual terminals and ptys have no device above them. The legacy
        // 8250 ports exist whether or not a UART is fitted; the serial core
        // gives those without one the port type 0 (unknown). USB adapters have
        // no port type.
        if (udev_device_get_parent(tty.get()) == nullptr ||
            Is(udev_device_get_sysattr_value(tty.get(), "type"), "0")) {
            continue;
        }
        const char* node = udev_device_get_devnode(tty.get());
        struct stat st {};
        if (node == nullptr || ::stat(node, &st) != 0) {
            continue;
        }
        SerialPortInfo port;
        port.path = node;
        port.may_open = ::access(node, R_OK | W_OK) == 0;
        port.group = GroupName(st.st_gid);
        port.driver = NearestDriver(tty.get());
        ReadUsbDevice(tty.get(), port);
        // The links udev made, as its DEVLINKS property lists them.
        const std::string links = Text(udev_device_get_property_value(tty.get(), "DEVLINKS"));
        for (size_t at = 0; at < links.size();) {
            const size_t end = std::min(links.find(' ', at), links.size());
            const std::string link = links.substr(at, end - at);
            if (link.starts_with("/dev/serial/by-id/")) {
                port.by_id.push_back(link);
            }
            at = end + 1;
        }
        std::sort(port.by_id.begin(), port.by_id.end());
        ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortInfo& a, const SerialPortInfo& b) { return a.path < b.path; });
    return ports;
}

std::vector<std::string> ListSerialPorts() {
    std::vector<std::string> paths;
    for (const SerialPortInfo& port : ListSerialPortDetails()) {
        paths.push_back(port.path);
    }
    return paths;
}

std::string PortAccessHint(const std::string& group) {
    if (group.empty() || group == "root") {
        return "only root may open it; a udev rule can give it a group such as dialout";
    }
    return "sudo usermod -aG " + group + " $USER, then log out and in again";
}

}  // namespace velmora
