#pragma once
// The repair bench's net around a write: a backup of the EEROM and of what the
// write will erase, taken before the first erase; a verify that reads back
// every block written; a restore of a backup; and a report of the chip's bad
// blocks, reservoir, record and partitions. (backup.cpp, restore.cpp,
// health.cpp; the manifest in backup_manifest.h.)
#include <array>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

class DownloadJob;
struct BlockRange;

// Backs up the EEROM and the blocks that the job's write will erase into
// job.backup_folder: for an upgrade block 0 and the partitions (code area) or
// the whole code and file-system area, for an erase its blocks. The files and
// their manifest are on the disk when it returns 0; anything else ends the job
// (result kBackupFailed) before anything is erased. `erase` is the erase's
// range (ignored for an upgrade).
int BackUpBeforeWrite(DownloadJob& job, const BlockRange& erase);

// The work modes: backup (the EEROM, or everything), restore, health report.
int RunBackup(DownloadJob& job);
int RunRestore(DownloadJob& job);
int RunHealth(DownloadJob& job);

// Reads back every block the job wrote and compares; 0 or the job's result.
int VerifyAfterWrite(DownloadJob& job);

// What a backup folder says of itself, for the question before a restore and
// for the check at Start. `error` is set when the manifest cannot be read, or
// (with `check_sums`) when a file is missing or does not match its SHA-256.
struct BackupSummary {
    std::string date;
    std::string product_id;  // as the boot ROM sends it, "52,20,05,01,00"; empty when unknown
    std::string chip_id;     // "EC F1 00 95"
    std::string range;       // "eerom", "all", "upgrade" or "erase"
    std::string error;
};
BackupSummary ReadBackupSummary(const std::string& folder, bool check_sums);

// A health report (JSON text) as lines for the operator.
std::string HealthText(const std::string& report_json);

}  // namespace velmora
