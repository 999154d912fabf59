#include "usb/libusb_bus.h"

#include <poll.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <span>
#include <vector>

namespace velmora::usb {

namespace {

UsbOpenFailure FailureOf(int code) {
    switch (code) {
        case LIBUSB_ERROR_ACCESS:
            return UsbOpenFailure::kAccess;
        case LIBUSB_ERROR_BUSY:
            return UsbOpenFailure::kBusy;
        case LIBUSB_ERROR_NOT_FOUND:
        case LIBUSB_ERROR_NO_DEVICE:
            return UsbOpenFailure::kNotFound;
        default:
            return UsbOpenFailure::kOther;
    }
}

bool Fail(int code, UsbError* error) {
    if (error) {
        *error = {FailureOf(code), libusb_error_name(code), libusb_strerror(code)};
    }
    return false;
}

// Brings an opened device to the interface's alternate setting: configured (an
// unconfigured device has no interfaces to claim), the interface claimed (a kernel
// driver on it is detached for the while), the setting selected.
bool Prepare(libusb_device_handle* handle, uint8_t interface, uint8_t alt, UsbError* error) {
    int active = 0;
    if (const int r = libusb_get_configuration(handle, &active); r != 0) {
        return Fail(r, error);
    }
    if (active == 0) {
        libusb_config_descriptor* config = nullptr;
        int r = libusb_get_config_descriptor(libusb_get_device(handle), 0, &config);
        if (r == 0) {
            r = libusb_set_configuration(handle, config->bConfigurationValue);
            libusb_free_config_descriptor(config);
        }
        if (r != 0) {
            return Fail(r, error);
        }
    }
    libusb_set_auto_detach_kernel_driver(handle, 1);
    if (const int r = libusb_claim_interface(handle, interface); r != 0) {
        return Fail(r, error);
    }
    if (alt != 0) {
        if (const int r = libusb_set_interface_alt_setting(handle, interface, alt); r != 0) {
            libusb_release_interface(handle, interface);
            return Fail(r, error);
        }
    }
    return true;
}

libusb_device_handle* OpenAt(libusb_context* context, const std::string& path, uint8_t interface,
                             uint8_t alt, UsbError* error) {
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    libusb_device_handle* handle = nullptr;
    bool found = false;
    for (ssize_t i = 0; i < count && !found; ++i) {
        if (LibusbPath(list[i]) != path) {
            continue;
        }
        found = true;
        if (const int r = libusb_open(list[i], &handle); r != 0) {
            Fail(r, error);
            handle = nullptr;
        }
    }
    if (count >= 0) {
        libusb_free_device_list(list, 1);
    } else {
        Fail(static_cast<int>(count), error);
        return nullptr;
    }
    if (!found) {
        Fail(LIBUSB_ERROR_NO_DEVICE, error);
        return nullptr;
    }
    if (handle && !Prepare(handle, interface, alt, error)) {
        libusb_close(handle);
        return nullptr;
    }
    return handle;
}

// The serial number as the kernel read it at enumeration: no need to open the device.
std::string SysfsSerial(const std::string& path) {
    std::string serial;
    if (FILE* f = std::fopen(("/sys/bus/usb/devices/" + path + "/serial").c_str(), "r")) {
        char line[256] = {};
        if (std::fgets(line, sizeof line, f)) {
            serial = line;
        }
        std::fclose(f);
    }
    while (!serial.empty() && (serial.back() == '\n' || serial.back() == ' ')) {
        serial.pop_back();
    }
    return serial;
}

class LibusbHandle : public UsbHandle {
  public:
    LibusbHandle(libusb_device_handle* handle, uint8_t interface, libusb_context* context)
        : context_(context), handle_(handle), interface_(interface) {}
    ~LibusbHandle() override { Release(); }

    UsbResult Control(const ControlSetup& setup, uint8_t* data, unsigned timeout_ms) override {
        if (!handle_) {
            return {UsbStatus::kNoDevice, 0};
        }
        std::vector<uint8_t> buffer(LIBUSB_CONTROL_SETUP_SIZE + setup.length);
        if (!setup.IsIn() && setup.length > 0 && data) {
            std::memcpy(buffer.data() + LIBUSB_CONTROL_SETUP_SIZE, data, setup.length);
        }
        Transfer t;
        FillControlTransfer(t.get(), handle_, setup, buffer.data(), timeout_ms);
        UsbResult r = Run(t.get(), -1);
        if (setup.IsIn() && data && r.transferred > 0) {
            std::memcpy(data, buffer.data() + LIBUSB_CONTROL_SETUP_SIZE, r.transferred);
        }
        return r;
    }

    UsbResult Bulk(const BulkSetup& setup, uint8_t* data, int abort_fd) override {
        if (!handle_) {
            return {UsbStatus::kNoDevice, 0};
        }
        Transfer t;
        FillBulkTransfer(t.get(), handle_, setup, data);
        return Run(t.get(), abort_fd);
    }

    CommandResult CommandAndRead(const BulkSetup& out, const uint8_t* out_data, const BulkSetup& in,
                                 uint8_t* in_data, int abort_fd,
                                 const std::function<void()>& meanwhile) override {
        CommandResult r{{UsbStatus::kNoDevice, 0}, {}};
        if (!handle_) {
            return r;
        }
        Transfer o, i;
        FillBulkTransfer(o.get(), handle_, out, const_cast<uint8_t*>(out_data));
        FillBulkTransfer(i.get(), handle_, in, in_data);
        libusb_transfer* both[2] = {o.get(), i.get()};
        UsbResult results[2];
        RunAll(both, results, abort_fd, meanwhile);
        r.out = results[0];
        if (r.out.ok()) {
            r.in = results[1];
        }
        return r;
    }

    UsbStatus Reset() override {
        if (!handle_) {
            return UsbStatus::kNoDevice;
        }
        const int r = libusb_reset_device(handle_);
        if (r == 0) {
            return UsbStatus::kOk;
        }
        if (r == LIBUSB_ERROR_NOT_FOUND || r == LIBUSB_ERROR_NO_DEVICE) {
            // It came back as another device (or not at all): this handle is dead.
            Release();
            return UsbStatus::kNoDevice;
        }
        return UsbStatus::kError;
    }

    UsbStatus ClearHalt(uint8_t endpoint) override {
        if (!handle_) {
            return UsbStatus::kNoDevice;
        }
        const int r = libusb_clear_halt(handle_, endpoint);
        return r == 0                        ? UsbStatus::kOk
               : r == LIBUSB_ERROR_NO_DEVICE ? UsbStatus::kNoDevice
                                             : UsbStatus::kError;
    }

  private:
    struct TransferFree {
        void operator()(libusb_transfer* t) const { libusb_free_transfer(t); }
    };
    struct Transfer : std::unique_ptr<libusb_transfer, TransferFree> {
        Transfer() : unique_ptr(libusb_alloc_transfer(0)) {}
    };

    void Release() {
        if (handle_) {
            libusb_release_interface(handle_, interface_);
            libusb_close(handle_);
            handle_ = nullptr;
        }
    }

    UsbResult Run(libusb_transfer* t, int abort_fd) {
        UsbResult r;
        RunAll(std::span(&t, 1), std::span(&r, 1), abort_fd, {});
        return r;
    }

    // Submits the transfers together and waits for all of them with poll() on
    // libusb's descriptors (its time-outs are among them) and on the abort event,
    // which cancels them. When the first one fails, the others are cancelled: they
    // belong to it (the read of a command's answer).
    void RunAll(std::span<libusb_transfer*> ts, std::span<UsbResult> results, int abort_fd,
                const std::function<void()>& meanwhile) {
        int pending = 0;
        struct Done {
            int* pending;
            bool done = false;
        };
        std::vector<Done> done(ts.size(), Done{&pending});
        size_t submitted = 0;
        for (; submitted < ts.size(); ++submitted) {
            libusb_transfer* t = ts[submitted];
            t->user_data = &done[submitted];
            t->callback = [](libusb_transfer* x) {
                auto* d = static_cast<Done*>(x->user_data);
                d->done = true;
                --*d->pending;
            };
            if (const int r = libusb_submit_transfer(t); r != 0) {
                results[submitted] = {
                    r == LIBUSB_ERROR_NO_DEVICE ? UsbStatus::kNoDevice : UsbStatus::kError, 0};
                break;
            }
            ++pending;
        }
        for (size_t k = submitted + 1; k < ts.size(); ++k) {
            results[k] = {UsbStatus::kError, 0};
        }
        if (submitted < ts.size()) {
            for (size_t k = 0; k < submitted; ++k) {
                libusb_cancel_transfer(ts[k]);
            }
        }
        if (meanwhile) {
            meanwhile();
        }
        bool aborted = false;
        bool first_failed = false;
        int completed = 0;  // libusb's flag for "stop handling events"
        while (pending > 0) {
            std::vector<pollfd> fds;
            if (const libusb_pollfd** list = libusb_get_pollfds(context_)) {
                for (const libusb_pollfd** p = list; *p; ++p) {
                    fds.push_back({(*p)->fd, static_cast<short>((*p)->events), 0});
                }
                libusb_free_pollfds(list);
            }
            const size_t own = fds.size();
            if (abort_fd >= 0 && !aborted) {
                fds.push_back({abort_fd, POLLIN, 0});
            }
            int wait_ms = -1;
            timeval next{};
            if (!libusb_pollfds_handle_timeouts(context_) &&
                libusb_get_next_timeout(context_, &next) == 1) {
                wait_ms = static_cast<int>(next.tv_sec * 1000 + next.tv_usec / 1000) + 1;
            }
            ::poll(fds.data(), fds.size(), wait_ms);
            if (fds.size() > own && (fds[own].revents & POLLIN)) {
                aborted = true;
                for (size_t k = 0; k < submitted; ++k) {
                    if (!done[k].done) {
                        libusb_cancel_transfer(ts[k]);
                    }
                }
            }
            timeval zero{};
            libusb_handle_events_timeout_completed(context_, &zero, &completed);
            if (!first_failed && done[0].done && ts[0]->status != LIBUSB_TRANSFER_COMPLETED) {
                first_failed = true;
                for (size_t k = 1; k < submitted; ++k) {
                    if (!done[k].done) {
                        libusb_cancel_transfer(ts[k]);
                    }
                }
            }
        }
        for (size_t k = 0; k < submitted; ++k) {
            UsbStatus status = StatusOfTransfer(ts[k]->status);
            if (status == UsbStatus::kError && ts[k]->status == LIBUSB_TRANSFER_CANCELLED &&
                aborted) {
                status = UsbStatus::kCancelled;
            }
            results[k] = {status, static_cast<size_t>(ts[k]->actual_length)};
        }
    }

    libusb_context* context_;
    libusb_device_handle* handle_;
    uint8_t interface_;
};

}  // namespace

void FillControlTransfer(libusb_transfer* transfer, libusb_device_handle* handle,
                         const ControlSetup& setup, uint8_t* buffer, unsigned timeout_ms) {
    libusb_fill_control_setup(buffer, setup.request_type, setup.request, setup.value, setup.index,
                              setup.length);
    libusb_fill_control_transfer(transfer, handle, buffer, nullptr, nullptr, timeout_ms);
}

void FillBulkTransfer(libusb_transfer* transfer, libusb_device_handle* handle,
                      const BulkSetup& setup, uint8_t* data) {
    libusb_fill_bulk_transfer(transfer, handle, setup.endpoint, data,
                              static_cast<int>(setup.length), nullptr, nullptr, setup.timeout_ms);
}

UsbStatus StatusOfTransfer(libusb_transfer_status status) {
    switch (status) {
        case LIBUSB_TRANSFER_COMPLETED:
            return UsbStatus::kOk;
        case LIBUSB_TRANSFER_TIMED_OUT:
            return UsbStatus::kTimeout;
        case LIBUSB_TRANSFER_STALL:
            return UsbStatus::kStall;
        case LIBUSB_TRANSFER_NO_DEVICE:
            return UsbStatus::kNoDevice;
        default:
            return UsbStatus::kError;
    }
}

std::string LibusbPath(libusb_device* device) {
    uint8_t ports[8];
    const int n = libusb_get_port_numbers(device, ports, sizeof ports);
    std::string path = std::to_string(libusb_get_bus_number(device));
    for (int i = 0; i < n; ++i) {
        path += (i == 0 ? '-' : '.');
        path += std::to_string(ports[i]);
    }
    return path;
}

std::unique_ptr<LibusbBus> LibusbBus::Create(UsbError* error) {
    libusb_context* context = nullptr;
    if (const int r = libusb_init(&context); r != 0) {
        Fail(r, error);
        return nullptr;
    }
    return std::unique_ptr<LibusbBus>(new LibusbBus(context));
}

LibusbBus::~LibusbBus() {
    libusb_exit(context_);
}

std::vector<UsbDeviceInfo> LibusbBus::List() {
    std::vector<UsbDeviceInfo> out;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_, &list);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor dd{};
        if (libusb_get_device_descriptor(list[i], &dd) != 0) {
            continue;
        }
        UsbDeviceInfo info;
        info.path = LibusbPath(list[i]);
        info.vendor = dd.idVendor;
        info.product = dd.idProduct;
        info.address = static_cast<uint32_t>(libusb_get_bus_number(list[i]) << 8 |
                                             libusb_get_device_address(list[i]));
        info.serial = dd.iSerialNumber != 0 ? SysfsSerial(info.path) : "";
        // The active configuration's interfaces; an unconfigured device shows its first.
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_active_config_descriptor(list[i], &config) != 0 &&
            libusb_get_config_descriptor(list[i], 0, &config) != 0) {
            config = nullptr;
        }
        for (int k = 0; config && k < config->bNumInterfaces; ++k) {
            for (int a = 0; a < config->interface[k].num_altsetting; ++a) {
                const libusb_interface_descriptor& d = config->interface[k].altsetting[a];
                UsbInterfaceInfo ii;
                ii.number = d.bInterfaceNumber;
                ii.alt_setting = d.bAlternateSetting;
                ii.interface_class = d.bInterfaceClass;
                ii.subclass = d.bInterfaceSubClass;
                ii.protocol = d.bInterfaceProtocol;
                for (int e = 0; e < d.bNumEndpoints; ++e) {
                    const libusb_endpoint_descriptor& ep = d.endpoint[e];
                    if ((ep.bmAttributes & 0x03) != LIBUSB_TRANSFER_TYPE_BULK) {
                        continue;
                    }
                    const bool in = (ep.bEndpointAddress & 0x80) != 0;
                    uint8_t& slot = in ? ii.bulk_in : ii.bulk_out;
                    if (slot == 0) {
                        slot = ep.bEndpointAddress;
                        (in ? ii.in_packet : ii.out_packet) = ep.wMaxPacketSize & 0x7FF;
                    }
                }
                info.interfaces.push_back(ii);
            }
        }
        if (config) {
            libusb_free_config_descriptor(config);
        }
        out.push_back(std::move(info));
    }
    if (count >= 0) {
        libusb_free_device_list(list, 1);
    }
    return out;
}

std::unique_ptr<UsbHandle> LibusbBus::Open(const std::string& path, uint8_t interface,
                                           uint8_t alt_setting, UsbError* error) {
    libusb_device_handle* handle = OpenAt(context_, path, interface, alt_setting, error);
    if (!handle) {
        return nullptr;
    }
    return std::make_unique<LibusbHandle>(handle, interface, context_);
}

}  // namespace velmora::usb
