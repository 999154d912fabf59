#include "serial/serial_target_link.h"

#include <array>
#include <chrono>

#include "base/results.h"

namespace velmora {

namespace {

// A drain gives up when the line has not fallen quiet within the wire time of
// this much (more than any one answer: a 4 MiB block with its spare bytes).
constexpr size_t kDrainLimitBytes = 8u << 20;

}  // namespace

SerialTargetLink::SerialTargetLink(std::unique_ptr<SerialPort> port, int write_timeout_ms,
                                   int quiet_ms)
    : port_(std::move(port)) {
    port_->set_write_timeout(write_timeout_ms);
    quiet_ms_ = quiet_ms;
}

SerialTargetLink::~SerialTargetLink() {
    if (port_->IsOpen()) {
        port_->PurgeInput();
        port_->Close();
    }
}

// A write that cannot complete shows up as the missing answer of the next read,
// so the outcome of a serial write is not reported.
int SerialTargetLink::SendFrame(std::span<const uint8_t, 64> frame) {
    if (!SettleForCommand()) {
        return result::serial_link::kNotSent;
    }
    port_->Write(frame);
    return 0;
}

int SerialTargetLink::SendData(std::span<const uint8_t> data) {
    if (unsettled()) {
        return result::serial_link::kNotSent;  // its frame did not go: the loader would look for
                                               // frames in it
    }
    port_->Write(data);
    return 0;
}

int SerialTargetLink::Receive(std::span<uint8_t> buffer, int timeout_ms) {
    if (unsettled() || !port_->ReadExact(buffer, timeout_ms)) {
        NoteFailedWait();
        return result::serial_link::kNotReceived;
    }
    return 0;
}

bool SerialTargetLink::WaitForByte(uint8_t value, int timeout_ms) {
    if (unsettled() || !port_->WaitForByte(value, timeout_ms)) {
        NoteFailedWait();
        return false;
    }
    return true;
}

long SerialTargetLink::DropUntilQuiet(int quiet_ms) {
    using Clock = std::chrono::steady_clock;
    const auto limit =
        Clock::now() + std::chrono::milliseconds(quiet_ms + port_->WireMs(kDrainLimitBytes));
    std::array<uint8_t, 4096> scratch;
    long dropped = 0;
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(limit - Clock::now()).count();
        if (left < quiet_ms) {
            return -1;  // still talking
        }
        const int n = port_->ReadSome(scratch, quiet_ms);
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            return dropped;
        }
        dropped += n;
    }
}

void SerialTargetLink::PurgeInput() {
    port_->PurgeInput();
}

int SerialTargetLink::WireMs(size_t bytes) const {
    return port_->WireMs(bytes);
}

}  // namespace velmora
