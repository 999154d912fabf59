// The host's decoders of the USB stand-in's replies. The first byte picks the
// reply kind; for a control or bulk reply the next bytes give the request it
// answers. The devices of a list go on through what the device search does with them.
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "usb/socket_bus.h"
#include "usb/usb_choice.h"

using namespace velmora::usb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) {
        return 0;
    }
    const uint8_t pick = data[0];
    std::span<const uint8_t> reply(data + 1, size - 1);
    switch (pick % 4) {
        case 0: {
            const std::vector<UsbDeviceInfo> devices = DecodeListReply(reply);
            size_t used = 3;
            for (const UsbDeviceInfo& d : devices) {
                // path length, path, IDs and address, serial length, serial, count, interfaces
                used += 1 + d.path.size() + 8 + 1 + d.serial.size() + 1 + 11 * d.interfaces.size();
                DescribeUsbDevice(d);
                BulkInterface(d, false);
            }
            if (!devices.empty() && used > reply.size()) {
                __builtin_trap();  // more was decoded than the reply holds
            }
            DfuChooser(UsbMatch{}).Look(devices);
            break;
        }
        case 1: {
            ControlSetup setup{data[1], data[2], static_cast<uint16_t>(data[3] | data[4] << 8), 0,
                               static_cast<uint16_t>(data[5] % 64)};
            reply = reply.subspan(5);
            std::vector<uint8_t> buffer(setup.length);
            const UsbResult r =
                DecodeControlReply(reply, setup, UsbStatus::kTimeout, buffer.data());
            if (r.transferred > setup.length) {
                __builtin_trap();
            }
            break;
        }
        case 2: {
            const BulkSetup setup{data[1], static_cast<uint32_t>(data[2] | data[3] << 8), 0};
            const size_t taken = data[4];
            reply = reply.subspan(4);
            const UsbResult r = DecodeBulkReply(reply, setup, UsbStatus::kTimeout, taken);
            if (setup.IsIn() && (r.transferred > taken || r.transferred > setup.length)) {
                __builtin_trap();
            }
            break;
        }
        default: {
            const auto status = DecodeStatusReply(reply, data[1]);
            if (status) {
                SocketStatus(*status);
            }
            break;
        }
    }
    return 0;
}
