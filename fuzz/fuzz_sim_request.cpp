// The USB stand-in's requests as any local process may send them: a stream of
// socket messages (u32 length, then the request), each decoded as the bus does and
// served by the simulated phone's boot ROM, whose DFU device answers the control
// requests. The first byte sets the boot ROM's options.
#include <cstdint>
#include <span>
#include <vector>

#include "sim/usb_bus.h"
#include "sim/usb_dfu_device.h"

using namespace velmora::sim;

namespace {

constexpr int kMaxRequests = 256;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    DfuBootRomOptions options;
    options.start_in_app_mode = (data[0] & 0x01) != 0;
    options.start_in_error = (data[0] & 0x02) != 0;
    options.manifestation_tolerant = (data[0] & 0x04) == 0;
    options.busy_polls = (data[0] >> 3) & 0x03;
    options.reenumerate = (data[0] & 0x20) != 0;
    options.transfer_size = (data[0] & 0x40) != 0 ? 64 : 4096;
    if ((data[0] & 0x80) != 0) {
        options.not_done_letters = "WL";
    }
    DfuBootRom rom(
        options, [](uint32_t) {}, [] {});

    std::span<const uint8_t> stream(data + 1, size - 1);
    for (int n = 0; n < kMaxRequests && stream.size() >= 4; ++n) {
        const uint32_t length =
            stream[0] | stream[1] << 8 | stream[2] << 16 | static_cast<uint32_t>(stream[3]) << 24;
        stream = stream.subspan(4);
        if (length == 0 || length > stream.size()) {
            break;
        }
        const std::optional<SimRequest> request = DecodeSimRequest(stream.first(length));
        stream = stream.subspan(length);
        if (!request) {
            break;
        }
        switch (request->kind) {
            case SimRequest::Kind::kControl: {
                const std::vector<uint8_t> out(request->out.begin(), request->out.end());
                std::vector<uint8_t> in;
                rom.Control(request->setup, out, &in);
                break;
            }
            case SimRequest::Kind::kBulk:
            case SimRequest::Kind::kCommand: {
                SimClock::duration pace{};
                SimClock::time_point ready{};
                std::vector<uint8_t> in;
                if ((request->endpoint & 0x80) != 0) {
                    rom.BulkIn(request->endpoint, request->length, &in, SimClock::now(), &pace,
                               &ready, false);
                } else {
                    rom.BulkOut(request->endpoint, request->out.data(), request->out.size(),
                                SimClock::now(), &pace);
                }
                break;
            }
            case SimRequest::Kind::kReset:
                rom.Reset();
                break;
            case SimRequest::Kind::kClearHalt:
                rom.ClearHalt(request->endpoint);
                break;
            case SimRequest::Kind::kList:
                rom.Interfaces();
                rom.Serial();
                break;
            case SimRequest::Kind::kOpen:
            case SimRequest::Kind::kCancel:
                break;
        }
    }
    if (rom.ram().size() > (16u << 20)) {
        __builtin_trap();
    }
    return 0;
}
