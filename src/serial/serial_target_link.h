#pragma once
// TargetLink over the serial port.
#include <memory>

#include "link/target_link.h"
#include "serial/serial_port.h"

namespace velmora {

class SerialTargetLink : public TargetLink {
  public:
    // quiet_ms: the drain before a command after a failed wait.
    SerialTargetLink(std::unique_ptr<SerialPort> port, int write_timeout_ms, int quiet_ms);
    ~SerialTargetLink() override;

    int SendFrame(std::span<const uint8_t, 64> frame) override;
    int SendData(std::span<const uint8_t> data) override;
    int Receive(std::span<uint8_t> buffer, int timeout_ms) override;
    bool WaitForByte(uint8_t value, int timeout_ms) override;
    void PurgeInput() override;
    int WireMs(size_t bytes) const override;

    SerialPort& port() { return *port_; }

  protected:
    long DropUntilQuiet(int quiet_ms) override;

  private:
    std::unique_ptr<SerialPort> port_;
};

}  // namespace velmora
