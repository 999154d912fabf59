#pragma once
// Links for the cases the simulated phone cannot stage cheaply: one that
// answers from a byte queue, and an in-memory RAM loader on it that erases and
// programs (commands 10 and 8) at once, records the blocks each command named,
// and can refuse an erase.
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <vector>

#include "base/checksum.h"
#include "flash/nand_dialect.h"
#include "flash/target_protocol.h"
#include "job/download_job.h"
#include "job/recording_display.h"
#include "link/target_link.h"

namespace velmora::testing {

// A link whose answers come from a byte queue.
class QueueLink : public TargetLink {
  public:
    int Receive(std::span<uint8_t> buffer, int) override {
        if (input.size() < buffer.size())
            return 1;
        std::copy_n(input.begin(), buffer.size(), buffer.begin());
        input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(buffer.size()));
        return 0;
    }
    bool WaitForByte(uint8_t value, int) override {
        while (!input.empty()) {
            const uint8_t b = input.front();
            input.pop_front();
            if (b == value)
                return true;
        }
        return false;
    }
    void PurgeInput() override {}

    std::deque<uint8_t> input;
};

class FakeLoader : public QueueLink {
  public:
    std::map<uint16_t, std::vector<int>> blocks_named;  // by command
    std::map<int, std::vector<uint8_t>> written;        // data of command 8, by block
    std::set<int> failing_erases;

    int SendFrame(std::span<const uint8_t, 64> frame) override {
        command_ = static_cast<uint16_t>(frame[2] | frame[3] << 8);
        block_ = static_cast<int>(LoadLe32(frame.data() + 4));
        blocks_named[command_].push_back(block_);
        if (command_ == kCmdErase && !failing_erases.count(block_))
            input.push_back(kAck);
        return 0;
    }
    int SendData(std::span<const uint8_t> data) override {
        written[block_].assign(data.begin(), data.end());
        uint8_t r[64] = {0x55, 0xAA};
        StoreLe32(r + 56, Crc32(data));
        input.insert(input.end(), r, r + 64);
        return 0;
    }
    void PurgeInput() override { input.clear(); }

  private:
    uint16_t command_ = 0;
    int block_ = 0;
};

// A serial job of `blocks` blocks of 16 KiB on a FakeLoader, with the given
// bad blocks in its IBT.
struct LoaderJob {
    explicit LoaderJob(int blocks, const std::set<int>& bad = {})
        : job(LinkKind::kSerial, &display, false) {
        auto fake = std::make_unique<FakeLoader>();
        loader = fake.get();
        job.AttachLoader(std::move(fake), MakeSerialDialect());
        job.chip().geometry = {blocks, 0x4000, 2048, 64, 2000, 200};
        for (int b = 0; b < blocks; ++b) {
            if (!bad.count(b))
                job.chip().ibt[b / 8] |= static_cast<uint8_t>(1 << (b % 8));
        }
        job.reporter.InitBlockMap(blocks, 0x4000);
    }
    std::string Status(int block) const { return display.map().Text(block + 1, 2); }
    RecordingDisplay display;
    DownloadJob job;
    FakeLoader* loader = nullptr;
};

}  // namespace velmora::testing
