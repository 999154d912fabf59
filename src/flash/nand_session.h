#pragma once
// What the NAND operations work with, and nothing more: the link to the
// running RAM loader with its dialect, the chip (geometry, IBT, bad-block
// record), the partition records, the stop flags, the reporter and the
// time-outs. The job layer owns a session for each job (a DownloadJob is one)
// and the work-mode sequence around it.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/job_base.h"
#include "config/chip_catalogue.h"
#include "config/sha1.h"
#include "flash/management_record.h"
#include "flash/partition_records.h"
#include "link/target_link.h"

namespace velmora {

class NandDialect;

inline constexpr int kIbtBytes = 2048;

// A block as a write left it: what the verify reads back and compares.
struct WrittenBlock {
    int block = 0;  // the physical block
    bool with_spare = false;
    uint32_t length = 0;  // bytes from the block's start, spare bytes inline when with_spare
    Sha1Digest digest{};
};

// The chip as identification, the IBT and the management record leave it,
// with the partition records read from or built for it.
struct NandChip {
    NandGeometry geometry;
    std::array<uint8_t, 4> nand_id{};
    std::array<uint8_t, kIbtBytes> ibt{};  // bit n of block n: 1 good, 0 bad
    ManagementRecord record;
    int reservoir_start = 0;  // R = B − ⌊B ÷ 50⌋ − 2, set when the record is read
    TargetPartitionRecords records;
    bool boot_block_touched = false;  // block 0's erase has begun

    bool IbtGood(int block) const {
        return block >= 0 && block < kIbtBytes * 8 && ((ibt[block / 8] >> (block % 8)) & 1) != 0;
    }
};

class NandSession : public JobBase {
  public:
    // `sink` may be null; it must outlive the session.
    NandSession(EventSink* sink, bool debug);
    ~NandSession();

    // The folder of FlashChip.ini, ending in '/'.
    const std::string& home() const { return home_; }
    // The job's folder: read-back output, a debug job's record dump.
    const std::string& folder() const { return folder_; }

    // The link to the RAM loader and how it speaks its commands.
    TargetLink& link() { return *link_; }
    NandDialect& dialect() { return *dialect_; }

    // The chip, filled by identification and the target commands.
    NandChip& chip() { return chip_; }
    const NandChip& chip() const { return chip_; }

    // Every block the read-back reads is read twice and compared, a third read
    // settling a difference (flash/read_twice.h).
    bool read_twice() const { return read_twice_; }

    // Once the job tracks writes, every block written is noted (a block written
    // twice keeps its last content), for the verify after the write.
    void NoteWritten(int block, std::span<const uint8_t> data, bool with_spare);
    const std::vector<WrittenBlock>& written() const { return written_; }

  protected:
    // Only the job that owns the session sets these.
    void SetHome(std::string home) { home_ = std::move(home); }
    void SetFolder(std::string folder) { folder_ = std::move(folder); }
    // Attached by the job sequence once the loader runs. Destroying the session
    // closes the link.
    void AttachLoader(std::unique_ptr<TargetLink> link, std::unique_ptr<NandDialect> dialect);
    void SetReadTwice(bool on) { read_twice_ = on; }
    void TrackWrites(bool on) { track_writes_ = on; }

  private:
    std::string home_;
    std::string folder_;
    std::unique_ptr<TargetLink> link_;
    std::unique_ptr<NandDialect> dialect_;
    NandChip chip_;
    bool read_twice_ = false;
    bool track_writes_ = false;
    std::vector<WrittenBlock> written_;
};

}  // namespace velmora
