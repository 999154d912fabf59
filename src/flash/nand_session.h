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

class NandSession : public JobBase {
  public:
    // `sink` may be null; it must outlive the session.
    NandSession(EventSink* sink, bool debug);
    ~NandSession();

    std::string home;    // the folder of FlashChip.ini, ending in '/'
    std::string folder;  // the job's folder: read-back output, a debug job's record dump

    // The link to the RAM loader and how it speaks its commands; set by the job
    // sequence once the loader runs. Destroying the session closes the link.
    std::unique_ptr<TargetLink> link;
    std::unique_ptr<NandDialect> dialect;
    TargetLink& target() { return *link; }
    NandDialect& speech() { return *dialect; }

    // The chip, filled by identification and the target commands.
    NandGeometry geometry;
    std::array<uint8_t, 4> nand_id{};
    std::array<uint8_t, kIbtBytes> ibt{};  // bit n of block n: 1 good, 0 bad
    ManagementRecord record;
    int reservoir_start = 0;  // R = B − ⌊B ÷ 50⌋ − 2, set when the record is read
    TargetPartitionRecords records;
    bool boot_block_touched = false;  // block 0's erase has begun

    // Every block the read-back reads is read twice and compared, a third read
    // settling a difference (flash/read_twice.h).
    bool read_twice = false;

    // With `track_writes`, every block written lands in `written` (a block
    // written twice keeps its last content), for the verify after the write.
    bool track_writes = false;
    std::vector<WrittenBlock> written;
    void NoteWritten(int block, std::span<const uint8_t> data, bool with_spare);

    bool IbtGood(int block) const {
        return block >= 0 && block < kIbtBytes * 8 && ((ibt[block / 8] >> (block % 8)) & 1) != 0;
    }
};

}  // namespace velmora
