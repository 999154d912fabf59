#include "usb_umockdev/emulated_usb.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>

namespace velmora::testing {

namespace {

using sim::SimStatus;

uint8_t Lo(uint16_t v) {
    return static_cast<uint8_t>(v);
}
uint8_t Hi(uint16_t v) {
    return static_cast<uint8_t>(v >> 8);
}

// The descriptors file of sysfs: the device descriptor, then the configuration with
// its interfaces (every alternate setting) and their endpoints.
std::vector<uint8_t> Descriptors(const sim::SimUsbFunction& f) {
    const std::vector<sim::SimInterface> ifs = f.Interfaces();
    const uint16_t v = f.Vendor(), p = f.Product();
    const uint8_t serial = f.Serial().empty() ? 0 : 4;
    std::vector<uint8_t> d = {18,    1,     0x00,  0x02, 0,    0, 0, 64,     Lo(v),
                              Hi(v), Lo(p), Hi(p), 0x00, 0x01, 1, 2, serial, 1};
    uint8_t count = 0;
    for (const sim::SimInterface& i : ifs) {
        count = std::max<uint8_t>(count, static_cast<uint8_t>(i.number + 1));
    }
    std::vector<uint8_t> c = {9, 2, 0, 0, count, 1, 0, 0x80, 50};
    for (const sim::SimInterface& i : ifs) {
        const uint8_t endpoints = (i.bulk_in ? 1 : 0) + (i.bulk_out ? 1 : 0);
        c.insert(c.end(), {9, 4, i.number, i.alt, endpoints, i.cls, i.subclass, i.protocol, 0});
        if (i.cls == 0xFE && i.subclass == 0x01) {
            c.insert(c.end(), {9, 0x21, 0x0F, 0xE8, 0x03, 0x00, 0x10, 0x10, 0x01});
        }
        if (i.bulk_in) {
            c.insert(c.end(), {7, 5, i.bulk_in, 2, Lo(i.in_packet), Hi(i.in_packet), 0});
        }
        if (i.bulk_out) {
            c.insert(c.end(), {7, 5, i.bulk_out, 2, Lo(i.out_packet), Hi(i.out_packet), 0});
        }
    }
    c[2] = Lo(static_cast<uint16_t>(c.size()));
    c[3] = Hi(static_cast<uint16_t>(c.size()));
    d.insert(d.end(), c.begin(), c.end());
    return d;
}

struct Ref {
    UMockdevIoctlData* urb = nullptr;
    UMockdevIoctlData* buffer = nullptr;

    usbdevfs_urb& get() const { return *reinterpret_cast<usbdevfs_urb*>(urb->data); }
};

}  // namespace

struct EmulatedUsb::Node {
    ~Node() {
        for (auto* list : {&pending_in, &done}) {
            for (const Ref& r : *list) {
                g_object_unref(r.urb);
                if (r.buffer) {
                    g_object_unref(r.buffer);
                }
            }
        }
    }
    std::string path;     // the bus path
    std::string devnode;  // /dev/bus/usb/001/NNN
    std::string sysfs;
    std::shared_ptr<sim::SimUsbFunction> function;
    std::mutex* lock = nullptr;  // the followed bus's: guards the function and all below
    bool gone = false;
    std::deque<Ref> pending_in;                       // bulk IN transfers waiting for data
    std::deque<Ref> done;                             // ended, to be reaped
    std::deque<sim::SimClock::time_point> requested;  // of pending_in
};

EmulatedUsb::EmulatedUsb() {
    testbed_ = umockdev_testbed_new();
    gchar* root = umockdev_testbed_get_root_dir(testbed_);
    root_ = root;
    g_free(root);
    const std::vector<uint8_t> hub_desc = {
        18, 1, 0x00, 0x02, 9, 0, 0, 64, 0x6b, 0x1d, 0x02, 0x00, 0, 0x06, 3, 2, 1,    1, 9, 2, 25, 0,
        1,  1, 0,    0xE0, 0, 9, 4, 0,  0,    1,    9,    0,    0, 0,    7, 5, 0x81, 3, 4, 0, 12};
    gchar* hub = umockdev_testbed_add_device(
        testbed_, "usb", "usb1", nullptr, "busnum", "1\n", "devnum", "1\n", "speed", "480\n",
        "bConfigurationValue", "1\n", "dev", "189:0\n", nullptr, "DEVTYPE", "usb_device", "DEVNAME",
        "/dev/bus/usb/001/001", nullptr);
    hub_ = hub;
    g_free(hub);
    umockdev_testbed_set_attribute_binary(testbed_, hub_.c_str(), "descriptors",
                                          const_cast<uint8_t*>(hub_desc.data()),
                                          static_cast<gint>(hub_desc.size()));
    g_mkdir_with_parents((root_ + "/dev/bus/usb/001").c_str(), 0755);
    std::ofstream(root_ + "/dev/bus/usb/001/001");
}

EmulatedUsb::~EmulatedUsb() {
    g_object_unref(testbed_);
    for (UMockdevIoctlBase* h : handlers_) {
        g_object_unref(h);
    }
}

void EmulatedUsb::Follow(sim::SimUsbBus& bus, std::map<std::string, std::string> rename) {
    std::mutex* lock = &bus.mutex();
    bus.SetObserver([this, lock, rename](const std::string& path,
                                         const std::shared_ptr<sim::SimUsbFunction>& function) {
        const auto it = rename.find(path);
        const std::string shown = it == rename.end() ? path : it->second;
        Unplug(shown);
        if (function) {
            Plug(shown, function, lock);
        }
    });
}

void EmulatedUsb::SetBusy(const std::string& path, bool busy) {
    std::lock_guard lock(map_mutex_);
    busy_[path] = busy;
}

void EmulatedUsb::StallNextOut(const std::string& path, int count) {
    std::lock_guard lock(map_mutex_);
    stall_out_[path] = count;
}

NodeStats EmulatedUsb::Stats(const std::string& path) {
    std::lock_guard lock(map_mutex_);
    return stats_[path];
}

std::shared_ptr<EmulatedUsb::Node> EmulatedUsb::NodeOf(const std::string& devnode) {
    std::lock_guard lock(map_mutex_);
    const auto it = by_devnode_.find(devnode);
    return it == by_devnode_.end() ? nullptr : it->second;
}

void EmulatedUsb::Plug(const std::string& path, std::shared_ptr<sim::SimUsbFunction> function,
                       std::mutex* lock) {
    auto node = std::make_shared<Node>();
    const int address = next_address_++;
    char devnode[64], devnum[24], dev[24];
    std::snprintf(devnode, sizeof devnode, "/dev/bus/usb/001/%03d", address);
    std::snprintf(devnum, sizeof devnum, "%d\n", address);
    std::snprintf(dev, sizeof dev, "189:%d\n", address - 1);
    const std::string serial = function->Serial() + "\n";
    const std::vector<uint8_t> descriptors = Descriptors(*function);
    const gchar* attributes[] = {
        "busnum", "1\n", "devnum", devnum,   "speed",        "480\n", "bConfigurationValue",
        "1\n",    "dev", dev,      "serial", serial.c_str(), nullptr};
    const gchar* properties[] = {"DEVTYPE", "usb_device", "DEVNAME", devnode, nullptr};
    gchar* sysfs = umockdev_testbed_add_devicev(testbed_, "usb", path.c_str(), hub_.c_str(),
                                                const_cast<gchar**>(attributes),
                                                const_cast<gchar**>(properties));
    node->sysfs = sysfs;
    g_free(sysfs);
    umockdev_testbed_set_attribute_binary(testbed_, node->sysfs.c_str(), "descriptors",
                                          const_cast<uint8_t*>(descriptors.data()),
                                          static_cast<gint>(descriptors.size()));
    std::ofstream(root_ + devnode);
    node->path = path;
    node->devnode = devnode;
    node->function = std::move(function);
    node->lock = lock;

    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(OnIoctl), this);
    handlers_.push_back(handler);
    {
        std::lock_guard guard(map_mutex_);
        by_path_[path] = node;
        by_devnode_[devnode] = node;
    }
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed_, devnode, handler, &error)) {
        std::fprintf(stderr, "attach_ioctl %s: %s\n", devnode, error->message);
        g_error_free(error);
    }
    umockdev_testbed_uevent(testbed_, node->sysfs.c_str(), "add");
}

void EmulatedUsb::Unplug(const std::string& path) {
    std::shared_ptr<Node> node;
    {
        std::lock_guard guard(map_mutex_);
        const auto it = by_path_.find(path);
        if (it == by_path_.end()) {
            return;
        }
        node = it->second;
        by_path_.erase(it);
    }
    // As on a disconnect: what was pending ends, the node answers no more.
    node->gone = true;
    for (Ref& r : node->pending_in) {
        r.get().status = -ESHUTDOWN;
        node->done.push_back(r);
    }
    node->pending_in.clear();
    umockdev_testbed_uevent(testbed_, node->sysfs.c_str(), "remove");
    umockdev_testbed_remove_device(testbed_, node->sysfs.c_str());
    ::unlink((root_ + node->devnode).c_str());
}

gboolean EmulatedUsb::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    auto* usb = static_cast<EmulatedUsb*>(self);
    const std::shared_ptr<Node> node = usb->NodeOf(umockdev_ioctl_client_get_devnode(client));
    if (!node) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return TRUE;
    }
    std::lock_guard lock(*node->lock);
    return usb->Handle(*node, client);
}

bool EmulatedUsb::Handle(Node& node, UMockdevIoctlClient* client) {
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    auto complete = [client](long result, int error) {
        umockdev_ioctl_client_complete(client, result, error);
        return true;
    };
    auto stats = [this, &node](auto change) {
        std::lock_guard guard(map_mutex_);
        change(stats_[node.path]);
    };
    GError* error = nullptr;
    const std::shared_ptr<sim::SimUsbFunction> f = node.function;  // it may leave meanwhile

    // Completes the waiting bulk IN transfers whose data has come.
    auto take_in = [&] {
        while (!node.pending_in.empty()) {
            Ref r = node.pending_in.front();
            std::vector<uint8_t> data;
            sim::SimClock::duration pace{};
            sim::SimClock::time_point ready;
            usbdevfs_urb& u = r.get();
            if (!f->BulkIn(u.endpoint, static_cast<size_t>(u.buffer_length), &data,
                           node.requested.front(), &pace, &ready, false)) {
                return;
            }
            if (!data.empty()) {
                std::memcpy(r.buffer->data, data.data(), data.size());
            }
            u.actual_length = static_cast<int>(data.size());
            u.status = 0;
            node.done.push_back(r);
            node.pending_in.pop_front();
            node.requested.pop_front();
        }
    };

    switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(uint32_t), &error);
            const uint32_t value =
                USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
            std::memcpy(caps->data, &value, sizeof value);
            stats([](NodeStats& s) { ++s.opens; });
            return complete(0, 0);
        }
        case USBDEVFS_DISCONNECT_CLAIM:
        case USBDEVFS_CLAIMINTERFACE: {
            if (node.gone) {
                return complete(-1, ENODEV);
            }
            unsigned interface = 0;
            if (request == USBDEVFS_CLAIMINTERFACE) {
                UMockdevIoctlData* d =
                    umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned), &error);
                std::memcpy(&interface, d->data, sizeof interface);
            } else {
                UMockdevIoctlData* d =
                    umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_disconnect_claim), &error);
                interface = reinterpret_cast<usbdevfs_disconnect_claim*>(d->data)->interface;
            }
            bool busy = f->OpenStatus() == SimStatus::kError;
            {
                std::lock_guard guard(map_mutex_);
                busy = busy || busy_[node.path];
            }
            if (busy) {
                return complete(-1, EBUSY);
            }
            bool exists = false;
            for (const sim::SimInterface& i : f->Interfaces()) {
                exists = exists || i.number == interface;
            }
            if (!exists) {
                return complete(-1, ENOENT);
            }
            stats([](NodeStats& s) { ++s.claims; });
            return complete(0, 0);
        }
        case USBDEVFS_RELEASEINTERFACE:
        case USBDEVFS_SETINTERFACE:
        case USBDEVFS_SETCONFIGURATION:
            return node.gone ? complete(-1, ENODEV) : complete(0, 0);
        case USBDEVFS_IOCTL:
        case USBDEVFS_GETDRIVER:
            return complete(-1, ENODATA);  // no kernel driver to detach or attach
        case USBDEVFS_RESET: {
            if (node.gone) {
                return complete(-1, ENODEV);
            }
            stats([](NodeStats& s) { ++s.resets; });
            // A device that re-enumerates leaves this node for a new one.
            const SimStatus st = f->Reset();
            return st == SimStatus::kNoDevice || node.gone ? complete(-1, ENODEV) : complete(0, 0);
        }
        case USBDEVFS_CLEAR_HALT: {
            UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned), &error);
            unsigned endpoint = 0;
            std::memcpy(&endpoint, d->data, sizeof endpoint);
            stats([](NodeStats& s) { ++s.clear_halts; });
            f->ClearHalt(static_cast<uint8_t>(endpoint));
            return complete(0, 0);
        }
        case USBDEVFS_SUBMITURB: {
            if (node.gone) {
                return complete(-1, ENODEV);
            }
            UMockdevIoctlData* urb =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
            usbdevfs_urb& u = *reinterpret_cast<usbdevfs_urb*>(urb->data);
            UMockdevIoctlData* buffer =
                u.buffer_length > 0
                    ? umockdev_ioctl_data_resolve(urb, offsetof(usbdevfs_urb, buffer),
                                                  static_cast<gsize>(u.buffer_length), &error)
                    : nullptr;
            Ref r{static_cast<UMockdevIoctlData*>(g_object_ref(urb)),
                  buffer ? static_cast<UMockdevIoctlData*>(g_object_ref(buffer)) : nullptr};
            u.status = 0;
            u.actual_length = 0;
            if (u.type == USBDEVFS_URB_TYPE_CONTROL && buffer && u.buffer_length >= 8) {
                stats([](NodeStats& s) { ++s.control; });
                const uint8_t* b = buffer->data;
                const sim::SimSetup setup{b[0], b[1], static_cast<uint16_t>(b[2] | b[3] << 8),
                                          static_cast<uint16_t>(b[4] | b[5] << 8),
                                          static_cast<uint16_t>(b[6] | b[7] << 8)};
                std::vector<uint8_t> out, in;
                if (!setup.In()) {
                    out.assign(b + 8, b + 8 + setup.length);
                }
                if (f->Control(setup, out, &in) == SimStatus::kOk) {
                    const size_t n =
                        setup.In() ? std::min<size_t>(in.size(), setup.length) : setup.length;
                    if (setup.In()) {
                        std::memcpy(buffer->data + 8, in.data(), n);
                    }
                    u.actual_length = static_cast<int>(n);
                } else {
                    u.status = -EPIPE;
                }
                node.done.push_back(r);
            } else if (u.type == USBDEVFS_URB_TYPE_BULK && (u.endpoint & 0x80)) {
                node.pending_in.push_back(r);
                node.requested.push_back(sim::SimClock::now());
                take_in();
            } else if (u.type == USBDEVFS_URB_TYPE_BULK) {
                bool stall = false;
                {
                    std::lock_guard guard(map_mutex_);
                    int& left = stall_out_[node.path];
                    stall = left > 0 && left-- > 0;
                }
                sim::SimClock::duration pace{};
                if (!stall && f->BulkOut(u.endpoint, buffer ? buffer->data : nullptr,
                                         static_cast<size_t>(u.buffer_length), sim::SimClock::now(),
                                         &pace) == SimStatus::kOk) {
                    u.actual_length = u.buffer_length;
                } else {
                    u.status = -EPIPE;
                }
                node.done.push_back(r);
                take_in();  // the answer may be there already
            } else {
                g_object_unref(r.urb);
                if (r.buffer) {
                    g_object_unref(r.buffer);
                }
                return complete(-1, EINVAL);
            }
            return complete(0, 0);
        }
        case USBDEVFS_REAPURBNDELAY: {
            if (!node.gone) {
                take_in();
            }
            if (node.done.empty()) {
                return complete(-1, node.gone ? ENODEV : EAGAIN);
            }
            const Ref r = node.done.front();
            node.done.pop_front();
            if (r.get().status == -ENOENT) {
                stats([](NodeStats& s) { ++s.reaped_cancelled; });
            }
            UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), &error);
            umockdev_ioctl_data_set_ptr(slot, 0, r.urb);
            g_object_unref(r.urb);
            if (r.buffer) {
                g_object_unref(r.buffer);
            }
            return complete(0, 0);
        }
        case USBDEVFS_DISCARDURB: {
            uint64_t address = 0;
            std::memcpy(&address, arg->data, std::min<size_t>(sizeof address, arg->data_len));
            for (size_t k = 0; k < node.pending_in.size(); ++k) {
                Ref r = node.pending_in[k];
                if (r.urb->client_addr != address) {
                    continue;
                }
                // What came before the cancel stays with the host.
                usbdevfs_urb& u = r.get();
                std::vector<uint8_t> data;
                sim::SimClock::duration pace{};
                sim::SimClock::time_point ready;
                if (!node.gone) {
                    f->BulkIn(u.endpoint, static_cast<size_t>(u.buffer_length), &data,
                              node.requested[k], &pace, &ready, true);
                }
                if (!data.empty()) {
                    std::memcpy(r.buffer->data, data.data(), data.size());
                }
                u.actual_length = static_cast<int>(data.size());
                u.status = -ENOENT;
                node.pending_in.erase(node.pending_in.begin() + static_cast<std::ptrdiff_t>(k));
                node.requested.erase(node.requested.begin() + static_cast<std::ptrdiff_t>(k));
                node.done.push_back(r);
                stats([](NodeStats& s) { ++s.discards; });
                return complete(0, 0);
            }
            return complete(-1, EINVAL);
        }
        default:
            return complete(-1, ENOTTY);
    }
}

}  // namespace velmora::testing
