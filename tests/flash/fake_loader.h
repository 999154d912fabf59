#pragma once
// An in-memory RAM loader behind a TargetLink, for the cases the simulated
// phone cannot stage cheaply: it erases and programs (commands 10 and 8) at
// once, records the blocks each command named, and can refuse an erase.
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <span>
#include <vector>

#include "base/checksum.h"
#include "flash/target_protocol.h"
#include "link/target_link.h"

namespace velmora::testing {

class FakeLoader : public TargetLink {
  public:
    std::map<uint16_t, std::vector<int>> blocks_named;  // by command
    std::map<int, std::vector<uint8_t>> written;        // data of command 8, by block
    std::set<int> failing_erases;

    int SendFrame(std::span<const uint8_t, 64> frame) override {
        command_ = static_cast<uint16_t>(frame[2] | frame[3] << 8);
        block_ = static_cast<int>(LoadLe32(frame.data() + 4));
        blocks_named[command_].push_back(block_);
        if (command_ == kCmdErase && !failing_erases.count(block_))
            out_.push_back(kAck);
        return 0;
    }
    int SendData(std::span<const uint8_t> data) override {
        written[block_].assign(data.begin(), data.end());
        uint8_t r[64] = {0x55, 0xAA};
        StoreLe32(r + 56, Crc32(data));
        out_.insert(out_.end(), r, r + 64);
        return 0;
    }
    int Receive(std::span<uint8_t> buffer, int) override {
        if (out_.size() < buffer.size())
            return 1;
        std::copy_n(out_.begin(), buffer.size(), buffer.begin());
        out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(buffer.size()));
        return 0;
    }
    bool WaitForByte(uint8_t value, int) override {
        while (!out_.empty()) {
            const uint8_t b = out_.front();
            out_.pop_front();
            if (b == value)
                return true;
        }
        return false;
    }
    void PurgeInput() override { out_.clear(); }

  private:
    uint16_t command_ = 0;
    int block_ = 0;
    std::deque<uint8_t> out_;
};

}  // namespace velmora::testing
