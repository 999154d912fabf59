// Backups: the EEROM, everything, or what a write is about to erase, into a
// folder with a manifest, every file on the disk before the job goes on.
#include <algorithm>
#include <filesystem>
#include <iterator>
#include <set>

#include "base/output_file.h"
#include "base/results.h"
#include "base/text_format.h"
#include "config/sha1.h"
#include "flash/nand_operations.h"
#include "flash/read_back.h"
#include "job/download_job.h"
#include "safety/safety_net.h"
#include "safety/safety_net_internal.h"
#include "velmora_version.h"

namespace velmora {
namespace {

using namespace safety_net;
namespace code = result::safety_net;

// A file of a backup: its blocks as (logical, physical) pairs, read whole with
// their spare bytes; or the record's bytes.
struct BackupFile {
    std::string name;
    std::string kind;
    std::vector<std::pair<int, int>> blocks;
};

void AddLogical(const NandSession& nand, int b, std::vector<std::pair<int, int>>& blocks) {
    if (const int p = ReadTarget(nand, b); p >= 0) {
        blocks.emplace_back(b, p);
    }
}

// Everything of the phone, each block in one file: block 0, the record, each
// partition of its own table, the blocks between partitions and the file
// system; without a table the code and file-system area as one file. (The
// EEROM is added by WriteBackup.)
void PlanEverything(DownloadJob& job, std::vector<BackupFile>& files) {
    const int top = std::max(job.chip().geometry.block_count - kEeromBlocks, 1);
    files.push_back({"block0.bin", "block0", {{0, 0}}});
    if (job.chip().record.Present()) {
        files.push_back({"record.bin", "record", {}});
    }
    if (ReadBootTable(job, kBootTableToJob) != 0 || CodeAreaEndBlock(job) < 0) {
        job.AddNote(
            "Block 0 holds no partition table: the code and file-system area was backed "
            "up as one file.");
        files.push_back({"area.bin", "blocks", Logical(job, 1, top)});
        return;
    }
    // A block goes to the first partition that holds it; one that no partition
    // holds to the file system from the code area's end on, and below it to a
    // file of its run of blocks between partitions, which an erase of
    // everything erases too.
    const int count = static_cast<int>(std::min<uint32_t>(job.chip().records.partition_count, 16));
    const int code_end = std::clamp(CodeAreaEndBlock(job), 1, top);
    std::vector<int> owner(static_cast<size_t>(top), -1);
    for (int i = count - 1; i >= 0; --i) {
        const BlockRange r = PartitionBlocks(job, i);
        for (int b = std::max(r.first, 1); b < std::min(r.end, top); ++b) {
            owner[static_cast<size_t>(b)] = i;
        }
    }
    auto owned_by = [&](int b) { return owner[static_cast<size_t>(b)]; };
    for (int i = 0; i < count; ++i) {
        BackupFile f{PartitionFileName(i + 1, RecordOf(job, i).name) + ".bin", "partition", {}};
        for (int b = 1; b < top; ++b) {
            if (owned_by(b) == i) {
                AddLogical(job, b, f.blocks);
            }
        }
        files.push_back(std::move(f));
    }
    for (int b = 1, end = 1; b < code_end; b = end) {
        for (end = b + 1; end < code_end && (owned_by(end) < 0) == (owned_by(b) < 0); ++end) {
        }
        if (owned_by(b) < 0) {
            files.push_back(
                {Format("blocks_%d-%d.bin", b, end - 1), "blocks", Logical(job, b, end)});
        }
    }
    BackupFile fs{"filesystem.bin", "filesystem", {}};
    for (int b = code_end; b < top; ++b) {
        if (owned_by(b) < 0) {
            AddLogical(job, b, fs.blocks);
        }
    }
    files.push_back(std::move(fs));
}

// What the write job will erase, beside the EEROM.
void PlanWriteJob(DownloadJob& job, const BlockRange& erase, std::vector<BackupFile>& files) {
    const int top = job.chip().geometry.block_count - kEeromBlocks;
    if (job.work_mode == WorkMode::kCodeUpgrade) {
        files.push_back({"block0.bin", "block0", {{0, 0}}});
        if (job.upgrade_range() != UpgradeRange::kCode) {
            files.push_back({"area.bin", "blocks", Logical(job, 1, top)});
            return;
        }
        // nand.chip().records holds the new table here: its partitions are what is erased.
        for (int i = 0; i < static_cast<int>(job.chip().records.partition_count); ++i) {
            const BlockRange r = PartitionBlocks(job, i);
            files.push_back({Format("blocks_%d-%d.bin", r.first, r.end - 1), "blocks",
                             Logical(job, r.first, r.end)});
        }
        return;
    }
    // An erase passes over bad blocks and never touches their replacements.
    const int first = std::max(erase.first, 0);
    const int end = std::min(erase.end, top);
    std::vector<std::pair<int, int>> blocks;
    for (int b = first; b < end; ++b) {
        if (job.chip().IbtGood(b)) {
            blocks.emplace_back(b, b);
        }
    }
    if (!blocks.empty()) {
        files.push_back({Format("blocks_%d-%d.bin", first, end - 1), "blocks", std::move(blocks)});
    }
}

// Each physical block in one file. A reservoir block that stands in for a bad
// block holds that block's data: it stays with it and leaves the EEROM's file,
// so a restore writes it once.
void KeepEachBlockOnce(std::vector<BackupFile>& files) {
    std::set<int> taken;
    for (const bool replacements : {true, false}) {
        for (BackupFile& f : files) {
            std::erase_if(f.blocks, [&](const std::pair<int, int>& b) {
                return (b.first != b.second) == replacements && !taken.insert(b.second).second;
            });
        }
    }
}

int BackupFailed(DownloadJob& job, const std::string& text, std::optional<int> inner = {}) {
    const std::string told = text + " Nothing was erased.";
    job.reporter.WriteLog("\n" + told + "\n");
    return job.Fail(Outcome::Of(code::kBackupFailed, told).In(JobStep::kBackup).Wrapping(inner));
}

// The session reads every block twice while it lives, when `on`.
class ReadTwiceWhile {
  public:
    ReadTwiceWhile(DownloadJob& job, bool on) : job_(job), was_(job.read_twice()) {
        job.SetReadTwice(was_ || on);
    }
    ~ReadTwiceWhile() { job_.SetReadTwice(was_); }
    ReadTwiceWhile(const ReadTwiceWhile&) = delete;
    ReadTwiceWhile& operator=(const ReadTwiceWhile&) = delete;

  private:
    DownloadJob& job_;
    bool was_;
};

// The EEROM's file first, then `files`, each block in one of them.
std::vector<BackupFile> WithEerom(const DownloadJob& job, std::vector<BackupFile> files) {
    std::vector<BackupFile> all;
    const int blocks = job.chip().geometry.block_count;
    std::vector<std::pair<int, int>> eerom;
    for (int b = std::max(blocks - kEeromBlocks, 0); b < blocks; ++b) {
        eerom.emplace_back(b, b);
    }
    all.push_back({"eerom.bin", "eerom", std::move(eerom)});
    all.insert(all.end(), std::make_move_iterator(files.begin()),
               std::make_move_iterator(files.end()));
    KeepEachBlockOnce(all);
    return all;
}

BackupManifest ManifestHead(const DownloadJob& job, const std::string& range) {
    BackupManifest manifest;
    manifest.tool = std::string("velmora ") + kVersion;
    manifest.date = Now();
    manifest.range = range;
    manifest.chip_id = ChipIdText(job);
    manifest.product_id = ProductIdOf(job);
    manifest.geometry = GeometryOf(job.chip().geometry);
    manifest.bad_blocks = BadBlocks(job);
    manifest.replacements = Replacements(job);
    manifest.record_present = job.chip().record.Present();
    return manifest;
}

// One file of the backup: the record as the loader holds it, or its blocks
// read from the phone.
int BackUpFile(DownloadJob& job, const BackupFile& f, const std::string& path, bool before_erase) {
    if (f.kind == "record") {
        const auto bytes = job.chip().record.ToBytes();
        File out = OpenOutputFile(path);
        if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out.get()) != bytes.size() ||
            !CloseOutputFile(out)) {
            return BackupFailed(job, "Cannot write " + path + ".");
        }
        return 0;
    }
    std::vector<int> physical;
    for (const auto& [logical, p] : f.blocks) {
        physical.push_back(p);
    }
    const ReadTwiceWhile twice(job, f.kind == "eerom" && before_erase && !job.read_once);
    int failed = -1;
    if (const int r = ReadBlockListToFile(job, path, physical, true, &failed); r != 0) {
        if (job.Aborted()) {
            return job.result();
        }
        if (r == result::read_back::kFileNotCreated) {
            return BackupFailed(job, job.attempt.text + ".");
        }
        return BackupFailed(job, Format("Backup: block %d could not be read (#%d).", failed, r),
                            result::BlockReadOf(r));
    }
    return 0;
}

// The file on the disk, and its sum in the manifest.
int KeepFile(DownloadJob& job, const BackupFile& f, const std::string& path,
             BackupManifest& manifest) {
    std::string reason;
    const std::string sum = Sha256FileHex(path);
    if (sum.empty() || !SyncToDisk(path, &reason)) {
        return BackupFailed(job,
                            "Cannot write " + path + (reason.empty() ? "" : ": " + reason) + ".");
    }
    std::error_code ec;
    manifest.files.push_back(
        {f.name, f.kind, std::filesystem::file_size(path, ec), sum, f.kind != "record", f.blocks});
    return 0;
}

int WriteManifest(DownloadJob& job, const std::string& folder, const BackupManifest& manifest) {
    const std::string path = folder + kManifestName;
    const std::string text = ManifestText(manifest);
    StagedFile out(path, nullptr);
    std::string reason;
    if (!out || std::fwrite(text.data(), 1, text.size(), out.get()) != text.size() ||
        !out.Finish(&reason) || !SyncToDisk(path, &reason)) {
        return BackupFailed(job,
                            "Cannot write " + path + (reason.empty() ? "" : ": " + reason) + ".");
    }
    job.reporter.FileWritten(path);
    return 0;
}

// Reads the files, then writes the manifest; every file and the manifest are
// flushed to the disk before it returns 0. Before an erase the EEROM is read
// twice unless the operator asked for one read: calibration and IMEI come
// back from nowhere else.
int WriteBackup(DownloadJob& job, std::vector<BackupFile> files, const std::string& range,
                bool before_erase) {
    job.EnterStep(JobStep::kBackup);
    std::string folder = job.backup_folder;
    if (folder.back() != '/') {
        folder += '/';
    }
    if (std::string reason; !MakeOutputFolder(folder, &reason)) {
        return BackupFailed(job, "Cannot use the backup folder " + folder + ": " + reason + ".");
    }
    const std::vector<BackupFile> all = WithEerom(job, std::move(files));

    Reporter& reporter = job.reporter;
    reporter.SetPhase(Phase::kBackup);
    reporter.SetStatus("Backing up to " + folder + "...");
    const uint32_t block_bytes = BlockBytes(job, true);
    reporter.units_total = 0;
    reporter.units_done = 0;
    for (const BackupFile& f : all) {
        reporter.units_total += uint64_t{block_bytes} * f.blocks.size();
    }
    BackupManifest manifest = ManifestHead(job, range);
    for (const BackupFile& f : all) {
        if (job.Aborted()) {
            return job.result();
        }
        const std::string path = folder + f.name;
        if (const int r = BackUpFile(job, f, path, before_erase); r != 0) {
            return r;
        }
        if (const int r = KeepFile(job, f, path, manifest); r != 0) {
            return r;
        }
    }
    if (const int r = WriteManifest(job, folder, manifest); r != 0) {
        return r;
    }
    reporter.WriteLog("\nBackup complete in " + folder + "\n");
    return 0;
}

}  // namespace

int BackUpBeforeWrite(DownloadJob& job, const BlockRange& erase) {
    if (job.backup_folder.empty()) {
        return 0;
    }
    std::vector<BackupFile> files;
    PlanWriteJob(job, erase, files);
    const JobStep step = job.step();
    const int r = WriteBackup(job, std::move(files),
                              job.work_mode == WorkMode::kCodeUpgrade ? "upgrade" : "erase", true);
    if (r == 0) {
        job.EnterStep(step);
        // The job's own phase again: an erase's counts must not come under the backup's.
        job.reporter.SetPhase(job.work_mode == WorkMode::kCodeUpgrade ? Phase::kWrite
                                                                      : Phase::kEraseRange);
        job.reporter.SetStatus(job.work_mode == WorkMode::kCodeUpgrade ? "代码升级！"
                                                                       : "ERASE FLASH!");
    }
    return r;
}

int RunBackup(DownloadJob& job) {
    std::vector<BackupFile> files;
    if (job.backup_range() == BackupRange::kAll) {
        PlanEverything(job, files);
    }
    return WriteBackup(job, std::move(files),
                       job.backup_range() == BackupRange::kAll ? "all" : "eerom", false);
}

}  // namespace velmora
