#include "serial/serial_target_link.h"

namespace velmora {

SerialTargetLink::SerialTargetLink(std::unique_ptr<SerialPort> port, int write_timeout_ms)
    : port_(std::move(port)) {
    port_->set_write_timeout(write_timeout_ms);
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
    port_->Write(frame);
    return 0;
}

int SerialTargetLink::SendData(std::span<const uint8_t> data) {
    port_->Write(data);
    return 0;
}

int SerialTargetLink::Receive(std::span<uint8_t> buffer, int timeout_ms) {
    return port_->ReadExact(buffer, timeout_ms) ? 0 : 1;
}

bool SerialTargetLink::WaitForByte(uint8_t value, int timeout_ms) {
    return port_->WaitForByte(value, timeout_ms);
}

void SerialTargetLink::PurgeInput() {
    port_->PurgeInput();
}

int SerialTargetLink::WireMs(size_t bytes) const {
    return port_->WireMs(bytes);
}

}  // namespace velmora
