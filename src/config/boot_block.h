#pragma once
// The partition records that NAND block 0 (the boot block) carries, and the
// upload.ptt report that a read-back writes about them.
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "base/results.h"

namespace velmora {

inline constexpr int kBootRecords = 16;
inline constexpr uint32_t kBootMarker = 0x01234567;
inline constexpr uint32_t kBootMarkerAlt = 0x01234576;
inline constexpr size_t kBootMarkerOffset = 0x20;
inline constexpr size_t kBootVersionOffset = 0xFE;
// Version 3 records: 24 bytes each, record k at 0x5E8 - 24k.
inline constexpr size_t kV3RecordBase = 0x5E8;
inline constexpr size_t kV3RecordSize = 24;
// Classic records: 64 bytes each, record k at 0x7C0 - 64k, where the boot
// block writer puts them.
inline constexpr size_t kClassicRecordBase = 0x7C0;
inline constexpr size_t kClassicRecordSize = 64;

// One record of either layout; fields the layout lacks stay 0.
struct BootRecord {
    uint32_t offset = 0;
    uint32_t size = 0;
    uint32_t flags = 0;           // version 3
    uint32_t id = 0;              // version 3: its u32; classic: the byte at 28
    uint32_t content_size = 0;    // classic
    uint32_t shadow_address = 0;  // classic
    uint32_t exec_address = 0;    // classic
    std::array<uint8_t, 8> name{};

    // The name up to its first zero byte (at most 8 characters).
    std::string NameText() const;
};

struct BootTable {
    uint8_t version = 0;  // byte 0xFE of the block; 3 selects the 24-byte records
    std::array<BootRecord, kBootRecords> records{};
    int partition_count = 0;  // leading records whose offset is neither 0 nor all ones
};

// Reads the partition records out of the bytes of block 0. Pure: no file, no
// link. 0, or result::boot_table::kNoMarker, on which `out` is unchanged.
int ParseBootBlock(std::span<const uint8_t> block0, BootTable& out);

// The text of upload.ptt for a parsed boot block, lines ending in "\n".
// `block_size` is the chip's block size in bytes (the version 3 boot file size).
std::string UploadReportText(const BootTable& table, uint32_t block_size);

// Parses `block0` and, when it carries a table, writes upload.ptt to
// `report_path`. 0, result::boot_table::kNoMarker, or kReportNotWritten.
int WriteUploadReport(std::span<const uint8_t> block0, uint32_t block_size,
                      const std::string& report_path, BootTable& table);

}  // namespace velmora
