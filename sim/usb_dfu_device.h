#pragma once
// The phone's boot ROM as a USB DFU 1.0 device. Every DFU download carries one boot
// ROM command (a letter and its arguments); it is carried out at manifestation, and
// its answer waits for the host's DFU uploads. Jumping into a loaded RAM loader
// makes the device leave the bus; the phone then brings up the loader's bulk device.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sim/usb_bus.h"

namespace velmora::sim {

struct DfuBootRomOptions {
    uint16_t vendor = 0x1209;
    uint16_t product = 0x0001;
    bool start_in_app_mode = false;  // appIDLE until detached and reset
    bool stay_in_app_mode = false;   // a reset after detach brings back appIDLE
    bool start_in_error = false;     // dfuERROR (errUNKNOWN) until cleared
    bool error_sticks = false;       // CLRSTATUS is taken but leaves dfuERROR as it was
    bool manifestation_tolerant = true;
    uint16_t transfer_size = 4096;
    uint16_t detach_timeout_ms = 1000;
    int busy_polls = 0;                      // GETSTATUS answers of dfuDNBUSY per block
    uint32_t busy_poll_ms = 0;               // poll time-out announced while busy
    uint32_t manifest_poll_ms = 0;           // poll time-out announced at manifestation
    std::string not_done_letters;            // commands with these letters fail with errNOTDONE
    int pull_at_command = 0;                 // the cable is pulled as this command (1 on) arrives
    bool mute = false;                       // DFU class requests go unanswered (time out)
    uint8_t interface_number = 0;            // of the DFU interface
    bool reenumerate = false;                // the reset after detach brings up another device
    SimStatus open_status = SimStatus::kOk;  // kError (held elsewhere) or kAccess refuse opens
    std::string serial = "VLM0001";
    uint8_t product_id[5] = {0x20, 0x52, 0x00, 0x01, 0x05};
    uint8_t version[8] = {0x01, 0x52, 0x00, 0x00, 0x02, 0x01, 0x20, 0x52};
};

// What the boot ROM saw, for tests.
struct DfuBootRomStats {
    std::vector<std::string> commands;  // letter and size of each command, e.g. "L514"
    int early_polls = 0;                // GETSTATUS before the announced poll time-out
    int detaches = 0;
    int resets = 0;
    int bad_blocks = 0;       // DNLOAD block numbers out of sequence
    size_t loaded_bytes = 0;  // bytes stored by 'L' at address 0 and up
    bool jumped = false;
};

class DfuBootRom : public SimUsbFunction {
  public:
    // on_jump runs (bus lock held) when the host has seen the jump command through;
    // on_reenumerate when a reset after detach brings up the DFU-mode device as a new
    // device (options.reenumerate): it puts that one on the bus; on_pull when the
    // cable is pulled (options.pull_at_command): it takes the device off the bus.
    DfuBootRom(DfuBootRomOptions options, std::function<void(uint32_t address)> on_jump,
               std::function<void()> on_reenumerate = {}, std::function<void()> on_pull = {});

    uint16_t Vendor() const override { return options_.vendor; }
    uint16_t Product() const override { return options_.product; }
    std::vector<SimInterface> Interfaces() const override;
    SimStatus Control(const SimSetup& setup, const std::vector<uint8_t>& out,
                      std::vector<uint8_t>* in) override;
    SimStatus BulkOut(uint8_t, const uint8_t*, size_t, SimClock::time_point,
                      SimClock::duration*) override {
        return SimStatus::kStall;
    }
    bool BulkIn(uint8_t, size_t, std::vector<uint8_t>*, SimClock::time_point, SimClock::duration*,
                SimClock::time_point*, bool) override {
        return false;
    }
    SimStatus Reset() override;
    SimStatus OpenStatus() const override { return options_.open_status; }
    std::string Serial() const override { return options_.serial; }

    const DfuBootRomStats& stats() const { return stats_; }
    // Bytes of RAM from address 0 as loaded so far.
    const std::vector<uint8_t>& ram() const { return ram_; }

  private:
    std::vector<uint8_t> Descriptor(uint8_t type, uint8_t index) const;
    SimStatus ClassRequest(const SimSetup& setup, const std::vector<uint8_t>& out,
                           std::vector<uint8_t>* in);
    void Announce(uint32_t poll_ms);
    bool Execute();  // the command in command_; false = errNOTDONE
    void Fail(uint8_t status);

    DfuBootRomOptions options_;
    std::function<void(uint32_t)> on_jump_;
    std::function<void()> on_reenumerate_;
    std::function<void()> on_pull_;
    DfuBootRomStats stats_;
    int commands_begun_ = 0;

    int state_;
    uint8_t status_ = 0;
    std::vector<uint8_t> command_;
    int next_block_ = 0;
    int busy_left_ = 0;
    SimClock::time_point poll_not_before_{};
    bool jump_pending_ = false;
    uint32_t jump_address_ = 0;

    // The boot ROM's memory: RAM from address 0, other addresses as words.
    std::vector<uint8_t> ram_;
    std::map<uint32_t, uint32_t> words_;
    uint32_t address_ = 0;
    std::vector<uint8_t> reply_;
};

}  // namespace velmora::sim
