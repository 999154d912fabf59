#pragma once
// An in-memory RAM loader behind a TargetLink, for tests of the NAND
// operations without a serial line: it answers the command frames at once
// from a small NAND array, records the frames it got and can misbehave.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <set>
#include <span>
#include <vector>

#include "config/chip_catalogue.h"
#include "flash/checksum.h"
#include "flash/target_link.h"
#include "flash/target_protocol.h"

namespace velmora::testing {

class FakeLoader : public TargetLink {
  public:
    struct Frame {
        uint16_t command;
        uint32_t args[7];
        size_t data_bytes = 0;
    };

    FakeLoader(NandGeometry g, std::set<int> bad = {}, LinkKind kind = LinkKind::kSerial)
        : geometry(g),
          bad(std::move(bad)),
          kind_(kind),
          pages_(static_cast<uint32_t>(g.block_size / g.page_size)),
          raw_page_(static_cast<uint32_t>(g.page_size + g.spare_size)),
          erased_(raw_page_, 0xFF),
          chip_(static_cast<size_t>(g.block_count)) {}

    NandGeometry geometry;
    std::set<int> bad;
    std::vector<Frame> frames;
    std::set<int> wrong_crc_blocks;  // command 8 answers for these carry a wrong CRC
    std::set<int> failing_erases;    // command 10 gets no 'O'
    bool stop_answering = false;

    LinkKind kind() const override { return kind_; }

    int SendFrame(std::span<const uint8_t, 64> bytes) override {
        Frame f{static_cast<uint16_t>(bytes[2] | bytes[3] << 8), {}};
        for (int i = 0; i < 7; ++i) {
            f.args[i] = LoadLe32(bytes.data() + 4 + 4 * i);
        }
        frames.push_back(f);
        const bool has_data = f.command == kCmdWritePages || f.command == kCmdWriteBlock;
        if (!has_data || f.args[4] == 0) {
            Execute({});
        }
        return 0;
    }
    int SendData(std::span<const uint8_t> data) override {
        frames.back().data_bytes = data.size();
        Execute(data);
        return 0;
    }
    int Receive(std::span<uint8_t> buffer, int) override {
        if (out_.size() < buffer.size()) {
            out_.clear();
            return 1;
        }
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

    // The chip, as tests inspect it.
    std::vector<uint8_t> Block(int block, bool with_spare) const {
        std::vector<uint8_t> out;
        for (uint32_t p = 0; p < pages_; ++p) {
            const uint8_t* page = Page(block, p);
            out.insert(out.end(), page, page + (with_spare ? raw_page_ : geometry.page_size));
        }
        return out;
    }
    void SetBlock(int block, std::span<const uint8_t> bytes) {  // without spare
        for (uint32_t p = 0; p < pages_; ++p) {
            std::copy_n(bytes.begin() + p * geometry.page_size, geometry.page_size, Page(block, p));
        }
    }
    bool Erased(int block) const {
        const auto b = Block(block, true);
        return std::all_of(b.begin(), b.end(), [](uint8_t v) { return v == 0xFF; });
    }
    std::vector<int> Commands(uint16_t command) const {  // the blocks named, in order
        std::vector<int> out;
        for (const Frame& f : frames)
            if (f.command == command)
                out.push_back(static_cast<int>(f.args[0]));
        return out;
    }

  private:
    // Blocks are stored once written; an untouched block reads erased.
    uint8_t* Page(int block, uint32_t page) {
        auto& b = chip_.at(static_cast<size_t>(block));
        if (b.empty())
            b.assign(size_t{pages_} * raw_page_, 0xFF);
        return b.data() + size_t{page} * raw_page_;
    }
    const uint8_t* Page(int block, uint32_t page) const {
        const auto& b = chip_.at(static_cast<size_t>(block));
        return b.empty() ? erased_.data() : b.data() + size_t{page} * raw_page_;
    }
    void Respond(uint32_t status, uint32_t crc, uint32_t record_crc = kNoChecksum) {
        uint8_t r[64] = {0x55, 0xAA};
        StoreLe32(r + 52, record_crc);
        StoreLe32(r + 56, crc);
        StoreLe32(r + 60, status);
        out_.insert(out_.end(), r, r + 64);
    }
    void Program(int block, uint32_t first, uint32_t bytes_per_page, std::span<const uint8_t> d) {
        for (uint32_t p = 0; p * bytes_per_page < d.size(); ++p) {
            uint8_t* page = Page(block, first + p);
            for (uint32_t i = 0; i < bytes_per_page && p * bytes_per_page + i < d.size(); ++i)
                page[i] &= d[p * bytes_per_page + i];
        }
    }
    void Execute(std::span<const uint8_t> data) {
        if (stop_answering)
            return;
        const Frame& f = frames.back();
        const int block = static_cast<int>(f.args[0]);
        switch (f.command) {
            case kCmdWritePages: {
                Program(block, f.args[1], f.args[3], data);
                const uint32_t crc = Crc32(data);
                Respond(bad.count(block) ? 1 : 0, wrong_crc_blocks.count(block) ? crc ^ 1 : crc);
                break;
            }
            case kCmdWriteBlock:
                Program(block, 0, f.args[3], data);
                if (!bad.count(block))
                    out_.push_back(kAck);
                break;
            case kCmdErase:
                if (!failing_erases.count(block)) {
                    chip_.at(static_cast<size_t>(block)).clear();
                    out_.push_back(kAck);
                }
                break;
            case kCmdReadBlock: {
                std::vector<uint8_t> all;
                for (uint32_t p = 0; p < f.args[1]; ++p)
                    all.insert(all.end(), Page(block, p), Page(block, p) + f.args[2]);
                out_.insert(out_.end(), all.begin(), all.end());
                Respond(0, Crc32(all));
                break;
            }
            case kCmdReadPage: {
                const uint8_t* page = Page(block, f.args[1]);
                Respond(0, Crc32(page, f.args[2]));
                out_.insert(out_.end(), page, page + f.args[2]);
                break;
            }
            default:
                Respond(0, kNoChecksum);
        }
    }

    LinkKind kind_;
    uint32_t pages_;
    uint32_t raw_page_;
    std::vector<uint8_t> erased_;
    std::vector<std::vector<uint8_t>> chip_;
    std::deque<uint8_t> out_;
};

}  // namespace velmora::testing
