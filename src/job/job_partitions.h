#pragma once
// What a job keeps of the loaded partition table, and the partition records in
// the two layouts the phone's boot block carries.
#include <array>
#include <cstdint>
#include <string>

namespace velmora {

inline constexpr int kMaxPartitions = 16;

// One partition as the partition table file gives it (sizes and offsets in bytes).
struct JobPartition {
    uint32_t index = 0;
    uint32_t id = 0;
    uint32_t size = 0;
    uint32_t content_size = 0;
    uint32_t offset = 0;
    uint32_t free_size = 0;
    uint32_t protected_size = 0;  // partition_protected (content size when it said 1)
    std::array<uint8_t, 8> name{};
    uint32_t shadow = 0;
    uint32_t shadow_address = 0;
    uint32_t exec_address = 0;
    std::array<uint8_t, 20> digest{};
    uint32_t load = 0;
    uint32_t exec = 0;
    uint32_t header = 0;
    uint32_t flags = 0;
};

// The job's copy of the partition table (code upgrade and erase).
struct JobPartitionTable {
    uint32_t partition_count = 0;
    std::string boot_file_name;
    uint32_t boot_file_size = 0;
    std::array<JobPartition, kMaxPartitions> entries{};
    std::array<std::string, kMaxPartitions> content_paths{};
    std::string folder;     // the table's folder, ending in '/'
    std::string file_path;  // the .ptt loaded
};

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
