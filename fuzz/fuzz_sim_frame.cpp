// The simulated phone's RAM loader on an arbitrary host byte stream. The first byte
// picks the link: serial (frames found by their header in the stream, as the serial
// phone does) or USB (every 64 bytes a frame, as the bulk pipe delivers them). Data
// phases take the bytes that follow their frame.
#include <cstdint>
#include <cstring>
#include <span>

#include "sim/nand.h"
#include "sim/options.h"
#include "sim/ram_loader.h"
#include "sim/trace.h"

using namespace velmora::sim;

namespace {

constexpr int kMaxFrames = 64;

class StreamIo : public LoaderIo {
  public:
    explicit StreamIo(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool Receive(uint8_t* data, size_t n) override {
        if (n == 0) {
            return true;
        }
        if (n > bytes_.size()) {
            bytes_ = {};
            return false;
        }
        std::memcpy(data, bytes_.data(), n);
        bytes_ = bytes_.subspan(n);
        return true;
    }
    bool Send(const uint8_t*, size_t) override { return true; }
    void Vanish() override { gone = true; }
    bool Next(uint8_t& byte) {
        if (bytes_.empty()) {
            return false;
        }
        byte = bytes_[0];
        bytes_ = bytes_.subspan(1);
        return true;
    }

    bool gone = false;

  private:
    std::span<const uint8_t> bytes_;
};

ChipDescription SmallChip() {
    ChipDescription chip;
    chip.geometry = velmora::NandGeometry{96, 16 * 1024, 512, 16, 2000, 200};
    chip.id = {0xEC, 0x76, 0x00, 0x15};
    chip.bad_blocks = {3, 90};
    chip.grown_blocks = {7};
    return chip;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    static const ChipDescription chip = SmallChip();
    static NandChip nand;
    if (!nand.Open(chip, "").empty()) {
        __builtin_trap();
    }
    const Link link = (data[0] & 1) != 0 ? Link::kUsb : Link::kSerial;
    Trace trace;
    FaultSet faults;
    RamLoader loader(nand, trace, faults, link);
    StreamIo io(std::span(data + 1, size - 1));
    for (int frames = 0; frames < kMaxFrames && !io.gone; ++frames) {
        Frame frame{};
        if (link == Link::kSerial) {
            FrameHeaderScan scan;
            uint8_t byte = 0;
            bool found = false;
            while (!found && io.Next(byte)) {
                found = scan.Feed(byte);
            }
            frame[0] = 0x55;
            frame[1] = 0xAA;
            if (!found || !io.Receive(frame.data() + 2, kFrameBytes - 2)) {
                break;
            }
        } else if (!io.Receive(frame.data(), kFrameBytes)) {
            break;
        }
        if (!loader.Execute(frame, io)) {
            break;
        }
    }
    return 0;
}
