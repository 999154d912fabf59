#pragma once
// The NAND operations that the job sequences dispatch to once the RAM loader is
// identified and its record read. Written once over TargetLink (see
// target_link.h); each returns the job result code of its operation and sets
// job.error_text on failure.
#include <cstdint>

namespace velmora {

class DownloadJob;

// Fills job.records from job.table (classic and version-3 layouts). Always 0.
int BuildTargetPartitionRecords(DownloadJob& job);

// Builds a new management record from the IBT and writes both copies.
int BuildManagementRecord(DownloadJob& job);

// Code upgrade: erase, every partition, then the boot block.
int DownloadPartitions(DownloadJob& job);

// Read code by the phone's partition table (report, boot area, partitions).
int ReadPartitions(DownloadJob& job);
// Read the EEROM / file-system area into job.job_file_path.
int ReadEeromArea(DownloadJob& job, bool with_spare);
// Read blocks [first, end) into job.job_file_path.
int ReadBlockRange(DownloadJob& job, int first, int end, bool with_spare);

// Reads the phone's partition table from block 0 into job.records; mode 0xFF
// also writes the report "upload.ptt" into job.folder, mode 0x1F does not.
int ReadBootTable(DownloadJob& job, int mode);

// Erase blocks [first, end), bad blocks skipped.
int EraseBlockRange(DownloadJob& job, int first, int end);

// End block of the code area from job.records (largest offset wins; offsets of
// 0 never win). −1 when no record has an offset above 0.
int CodeAreaEndBlock(const DownloadJob& job);

}  // namespace velmora
