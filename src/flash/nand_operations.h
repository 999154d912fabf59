#pragma once
// The NAND operations that the job sequences dispatch to once the RAM loader is
// identified and its record read. Written once over TargetLink (see
// target_link.h); each returns the job result code of its operation and sets
// nand.attempt.text on failure.
#include <cstdint>
#include <string>

namespace velmora {

class NandSession;
class PartitionTable;

// Fills nand.chip().records from `table` (classic and version-3 layouts). Always 0.
int BuildTargetPartitionRecords(NandSession& nand, const PartitionTable& table);

// Builds a new management record from the IBT and writes both copies.
int BuildManagementRecord(NandSession& nand);

// Code upgrade: erase, every partition, then the boot block.
// With `code_area_only` only the partitions' blocks are erased, else the whole
// code area.
int DownloadPartitions(NandSession& nand, const PartitionTable& table, bool code_area_only);

// Read code by the phone's partition table (report, boot area, partitions).
int ReadPartitions(NandSession& nand);
// Read the EEROM / file-system area into the file at `path`.
int ReadEeromArea(NandSession& nand, const std::string& path, bool with_spare);
// Read blocks [first, end) into the file at `path`.
int ReadBlockRange(NandSession& nand, const std::string& path, int first, int end, bool with_spare);

// Reads the phone's partition table from block 0 into nand.chip().records; mode 0xFF
// also writes the report "upload.ptt" into nand.folder(), mode 0x1F does not.
int ReadBootTable(NandSession& nand, int mode);

// Erase blocks [first, end), bad blocks skipped.
int EraseBlockRange(NandSession& nand, int first, int end);

// End block of the code area from nand.chip().records (largest offset wins; offsets of
// 0 never win). −1 when no record has an offset above 0.
int CodeAreaEndBlock(const NandSession& nand);

}  // namespace velmora
