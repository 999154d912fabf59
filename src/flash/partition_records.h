#pragma once
// What a job keeps of the loaded partition table, and the partition records in
// the two layouts the phone's boot block carries.
#include <array>
#include <cstdint>
#include <string>

#include "config/partition_table.h"

namespace velmora {

// The job's copy of the partition table (code upgrade and erase): the whole
// loaded table, copied before the worker starts. Use its BootFilePath() and
// ContentFilePath(i) to open the files.
using JobPartition = PartitionEntry;
using JobPartitionTable = PartitionTable;

// Target-format partition records, as raw little-endian bytes: 16 classic
// records of 64 bytes and 32 version-3 records of 24 bytes. Filled from the
// job's table before the work mode runs, or from the phone's boot block.
struct TargetPartitionRecords {
    static constexpr int kClassicCount = 16;
    static constexpr int kClassicSize = 64;
    static constexpr int kV3Count = 32;
    static constexpr int kV3Size = 24;
    std::array<uint8_t, kClassicCount * kClassicSize> classic{};
    std::array<uint8_t, kV3Count * kV3Size> v3{};
    // Partitions counted in the records (from the table, or read from the phone).
    uint32_t partition_count = 0;
    // Boot image format version (byte 0xFE of the boot image / boot block).
    uint16_t boot_version = 0;
};

}  // namespace velmora
