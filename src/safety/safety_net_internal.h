#pragma once
// What the backup, the restore and the health report share: the chip as they
// name it, and where the data of each logical block lies.
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "flash/nand_internal.h"
#include "job/work_mode.h"
#include "safety/backup_manifest.h"

namespace velmora {

class DownloadJob;

namespace safety_net {

inline constexpr int kBootTableToJob = 0x1F;  // read the phone's table into the job only

// "EC F1 00 95"
std::string ChipIdText(const NandSession& nand);
// "52,20,05,01,00"; empty when the boot ROM gave none.
std::string ProductIdOf(const JobBase& job);
// UTC, "2026-12-06T22:23:28Z".
std::string Now();
ManifestGeometry GeometryOf(const NandGeometry& g);

std::vector<int> BadBlocks(const NandSession& nand);
// Bad blocks and the reservoir blocks the record puts in their place.
std::vector<std::pair<int, int>> Replacements(const NandSession& nand);

// The block that holds logical block `b`, as the read-back reads it; −1 on a
// chip without a record, where a bad block holds nothing.
int ReadTarget(const NandSession& nand, int b);
// (logical, physical) for each logical block of [first, end) that holds data.
std::vector<std::pair<int, int>> Logical(const NandSession& nand, int first, int end);

PartitionRecord RecordOf(const NandSession& nand, int i);
// Blocks [first, end) of partition i of nand.chip().records.
BlockRange PartitionBlocks(const NandSession& nand, int i);
// The record's name, for people: bytes that are not printable ASCII shown as '?'.
std::string PartitionName(const std::array<uint8_t, 8>& name);

}  // namespace safety_net
}  // namespace velmora
