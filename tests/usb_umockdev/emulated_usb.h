#pragma once
// The simulated phone's USB devices on emulated usbfs device nodes (umockdev), so
// that the libusb backend runs its real path: sysfs enumeration, hotplug events,
// open, claim, URBs submitted, reaped and discarded, resets.
//
// Each device a followed SimUsbBus puts on the bus becomes a sysfs device under
// root hub usb1 with a /dev/bus/usb/001/NNN node (a new address each time) whose
// ioctls an in-process handler answers from the device's SimUsbFunction. Taken off
// the bus, its node answers ENODEV and its pending transfers end as on a disconnect.
//
// The handler does not learn when the host closes a node, so a used RAM loader does
// not end its session by itself here: a test that runs a second job reboots the
// phone first.
//
// Needs the preload (LD_PRELOAD=libumockdev-preload.so.0) and a process of its own.
#include <umockdev.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/usb_bus.h"

namespace velmora::testing {

// What the host did to one device node, for tests.
struct NodeStats {
    int opens = 0;
    int claims = 0;
    int resets = 0;
    int clear_halts = 0;
    int discards = 0;  // transfers cancelled (a time-out, Stop)
    int reaped_cancelled = 0;
    int control = 0;
};

class EmulatedUsb {
  public:
    EmulatedUsb();
    ~EmulatedUsb();
    EmulatedUsb(const EmulatedUsb&) = delete;
    EmulatedUsb& operator=(const EmulatedUsb&) = delete;

    // Mirrors the devices of `bus` from now on, its path P shown as rename[P] (or P).
    // Call before the bus gets its first device.
    void Follow(sim::SimUsbBus& bus, std::map<std::string, std::string> rename = {});

    // Claims of path's interfaces fail with EBUSY (a kernel driver or another program).
    void SetBusy(const std::string& path, bool busy);
    // The next bulk OUT transfers on path stall (the endpoint halts until cleared).
    void StallNextOut(const std::string& path, int count);

    // Everything the host did at this path, over all its enumerations.
    NodeStats Stats(const std::string& path);
    std::string root() const { return root_; }

  private:
    struct Node;
    void Plug(const std::string& path, std::shared_ptr<sim::SimUsbFunction> function,
              std::mutex* lock);
    void Unplug(const std::string& path);
    std::shared_ptr<Node> NodeOf(const std::string& devnode);
    static gboolean OnIoctl(UMockdevIoctlBase* base, UMockdevIoctlClient* client, gpointer self);
    bool Handle(Node& node, UMockdevIoctlClient* client);

    UMockdevTestbed* testbed_ = nullptr;
    std::string root_;
    std::string hub_;
    int next_address_ = 2;
    std::mutex map_mutex_;  // guards the maps; taken last, held briefly
    std::map<std::string, std::shared_ptr<Node>> by_path_;     // the device now at a path
    std::map<std::string, std::shared_ptr<Node>> by_devnode_;  // every node ever made
    std::map<std::string, NodeStats> stats_;
    std::map<std::string, bool> busy_;
    std::map<std::string, int> stall_out_;
    std::vector<UMockdevIoctlBase*> handlers_;
};

}  // namespace velmora::testing
