// Restore: a backup folder back onto the phone it was taken of. The manifest
// is a file anyone may have edited, and its sums live in it: every file's
// place is checked against what the backup itself says of the chip before
// anything is erased.
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>

#include "base/output_file.h"
#include "base/results.h"
#include "base/text_format.h"
#include "config/boot_block.h"
#include "flash/block_erase.h"
#include "flash/nand_operations.h"
#include "flash/partition_download.h"
#include "flash/read_back.h"
#include "job/download_job.h"
#include "safety/safety_net.h"
#include "safety/safety_net_internal.h"

namespace velmora {
namespace {

using namespace safety_net;
namespace code = result::safety_net;

int RestoreRefused(DownloadJob& job, const std::string& text) {
    const std::string told = text + " Nothing was erased.";
    job.reporter.WriteLog("\n" + told + "\n");
    return job.Fail(Outcome::Of(code::kRestoreRefused, told));
}

// Bytes of one block in a file of the backup.
uint64_t FileBlockBytes(const NandGeometry& g, bool with_spare) {
    const uint64_t pages = static_cast<uint64_t>(g.block_size / g.page_size);
    return with_spare ? pages * static_cast<uint64_t>(g.page_size + g.spare_size)
                      : static_cast<uint64_t>(g.block_size);
}

// One block to write back: block `index` of `file` onto `target`.
struct RestoreBlock {
    const ManifestFile* file = nullptr;
    size_t index = 0;
    int logical = 0;
    int physical_then = 0;
    int target = 0;
};

// A partition table as the check needs it: each partition's file and blocks.
struct TablePart {
    std::string file;
    int first = 0;
    int end = 0;
};
struct Table {
    std::vector<TablePart> parts;
    int code_end = -1;  // as the erase of the file system takes it
};

Table TableOf(const BootTable& t, const NandGeometry& g) {
    Table table;
    int32_t best_offset = 0;
    const int count = std::min(t.partition_count, kBootRecords);
    for (int i = 0; i < count; ++i) {
        const BootRecord& r = t.records[static_cast<size_t>(i)];
        const uint64_t end = (uint64_t{r.offset} + r.size) / static_cast<uint32_t>(g.block_size);
        table.parts.push_back(
            {PartitionFileName(i + 1, r.name) + ".bin",
             static_cast<int>(r.offset / static_cast<uint32_t>(g.block_size)),
             static_cast<int>(std::min<uint64_t>(end, static_cast<uint64_t>(g.block_count)))});
        if (static_cast<int32_t>(r.offset) > best_offset) {
            best_offset = static_cast<int32_t>(r.offset);
            table.code_end = static_cast<int32_t>(r.offset + r.size) / g.block_size;
        }
    }
    return table;
}

// The table in the backup's own block 0 (its sum checked with the others).
std::optional<Table> BackupTable(const NandSession& nand, const std::string& folder,
                                 const ManifestFile& f) {
    const NandGeometry& g = nand.chip().geometry;
    std::vector<uint8_t> raw(FileBlockBytes(g, f.with_spare));
    File in(std::fopen((folder + f.name).c_str(), "rb"));
    if (!in || std::fread(raw.data(), 1, raw.size(), in.get()) != raw.size()) {
        return std::nullopt;
    }
    std::vector<uint8_t> block;
    const auto page = static_cast<size_t>(g.page_size);
    const size_t step = f.with_spare ? page + static_cast<size_t>(g.spare_size) : page;
    for (size_t at = 0; at + page <= raw.size(); at += step) {
        block.insert(block.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                     raw.begin() + static_cast<std::ptrdiff_t>(at + page));
    }
    BootTable t;
    if (ParseBootBlock(block, t) != 0) {
        return std::nullopt;
    }
    return TableOf(t, g);
}

// The phone's own table, for a restore that writes partitions but no block 0.
std::optional<Table> PhoneTable(DownloadJob& job) {
    if (ReadBootTable(job, kBootTableToJob) != 0) {
        return std::nullopt;
    }
    Table table;
    const int count = static_cast<int>(std::min<uint32_t>(job.chip().records.partition_count, 16));
    for (int i = 0; i < count; ++i) {
        const BlockRange r = PartitionBlocks(job, i);
        table.parts.push_back(
            {PartitionFileName(i + 1, RecordOf(job, i).name) + ".bin", r.first, r.end});
    }
    table.code_end = CodeAreaEndBlock(job);
    return table;
}

// Where each kind of file may lie, from the backup's own geometry and table:
// empty when `f` holds, else what is wrong, naming the file and the block.
std::string CheckPlace(const ManifestFile& f, const NandGeometry& g, const Table* table) {
    const int blocks = g.block_count;
    const int top = blocks - kEeromBlocks;
    auto refuse = [&](int block, const char* why) {
        return Format("%s lists block %d, ", f.name.c_str(), block) + why + ".";
    };
    const TablePart* part = nullptr;
    if (f.kind == "partition") {
        if (table == nullptr) {
            return f.name +
                   " is a partition's file, but no partition table is there to check it "
                   "against.";
        }
        for (const TablePart& p : table->parts) {
            part = p.file == f.name ? &p : part;
        }
        if (part == nullptr) {
            return f.name + " names no partition of the partition table.";
        }
    }
    for (const auto& [logical, physical] : f.blocks) {
        if (f.kind == "eerom" && (logical != physical || logical < top)) {
            return refuse(logical, "which is not a block of the EEROM (the top 74 blocks)");
        }
        if (f.kind == "block0" && (logical != 0 || physical != 0 || f.blocks.size() != 1)) {
            return refuse(logical, "but block 0's file holds block 0 alone");
        }
        const bool area = f.kind == "partition" || f.kind == "filesystem" || f.kind == "blocks";
        if (area && (logical < 1 || logical >= top)) {
            return refuse(logical, "which lies outside the code and file-system area");
        }
        if (part != nullptr && (logical < part->first || logical >= part->end)) {
            return refuse(logical, Format("which lies outside its partition (blocks %d to %d)",
                                          part->first, part->end - 1)
                                       .c_str());
        }
        if (f.kind == "filesystem" && table != nullptr && logical < table->code_end) {
            return refuse(logical, "which lies in the code area, not the file system");
        }
    }
    return {};
}

// The shape of every file: a kind known, its size that of its blocks, each
// block where its kind lies, no block twice in a file.
std::string CheckFiles(const BackupManifest& m, const NandGeometry& g, const Table* table,
                       bool all) {
    for (const ManifestFile& f : m.files) {
        const bool record = f.kind == "record";
        if (!record && f.kind != "eerom" && f.kind != "block0" && f.kind != "partition" &&
            f.kind != "filesystem" && f.kind != "blocks") {
            return f.name + " is of a kind this tool does not know (\"" + f.kind + "\").";
        }
        if (record ? !f.blocks.empty() || f.size != ManagementRecord::kBytes
                   : f.size != f.blocks.size() * FileBlockBytes(g, f.with_spare)) {
            return Format(
                "%s holds %llu bytes, where its manifest entry wants %s.", f.name.c_str(),
                static_cast<unsigned long long>(f.size),
                record ? "the record's 4108 bytes and no block"
                       : Format("%zu blocks of %llu bytes", f.blocks.size(),
                                static_cast<unsigned long long>(FileBlockBytes(g, f.with_spare)))
                             .c_str());
        }
        std::set<int> logical, physical;
        for (const auto& [l, p] : f.blocks) {
            const bool again = !logical.insert(l).second;
            if (again || !physical.insert(p).second) {
                return Format("%s lists block %d twice.", f.name.c_str(), again ? l : p);
            }
        }
        // Partitions and the file system are checked only when they are written.
        if (const std::string wrong = CheckPlace(f, g, all ? table : nullptr);
            !wrong.empty() && (all || f.kind == "eerom")) {
            return wrong;
        }
    }
    return {};
}

// Erase, then write the block's bytes (an erased block needs no write).
int WriteBack(DownloadJob& job, const std::string& folder, const RestoreBlock& rb,
              std::vector<uint8_t>& buffer) {
    const ManifestFile& f = *rb.file;
    const auto bytes = static_cast<size_t>(FileBlockBytes(job.chip().geometry, f.with_spare));
    const std::span<uint8_t> data(buffer.data(), bytes);
    File in(std::fopen((folder + f.name).c_str(), "rb"));
    if (!in || std::fseek(in.get(), static_cast<long>(rb.index * bytes), SEEK_SET) != 0 ||
        std::fread(data.data(), 1, bytes, in.get()) != bytes) {
        job.attempt.text = "Cannot read " + folder + f.name + ".";
        return code::kRestoreWriteFailed;
    }
    if (const int c = EraseBlock(job, rb.target); c != 0) {
        job.attempt.inner = c;
        job.attempt.text = Format("Restore: erase of block %d fail, #%d", rb.target, c);
        job.reporter.MarkBlock(rb.target, BlockState::kEraseFailed);
        return code::kRestoreWriteFailed;
    }
    if (!std::all_of(data.begin(), data.end(), [](uint8_t c) { return c == 0xFF; })) {
        if (const int c =
                WritePiece(job, data, rb.target, f.with_spare, static_cast<uint32_t>(bytes));
            c != 0) {
            job.attempt.inner = result::BlockWriteOf(c);
            job.attempt.text = Format("Restore: write of block %d fail, #%d", rb.target, c);
            job.reporter.MarkBlock(rb.target, BlockState::kFailed);
            return code::kRestoreWriteFailed;
        }
        job.NoteWritten(rb.target, data, f.with_spare);
    }
    job.reporter.MarkBlock(rb.target, BlockState::kProgrammed);
    return 0;
}

// The blocks a restore writes, checked against the backup's own shape and the
// phone before anything is erased. Empty text when the plan holds.
std::string PlanRestore(DownloadJob& job, const std::string& folder, const BackupManifest& m,
                        bool all, std::vector<RestoreBlock>& plan,
                        std::optional<RestoreBlock>& block0) {
    const int blocks = job.chip().geometry.block_count;
    if (m.chip_id != ChipIdText(job) || m.geometry != GeometryOf(job.chip().geometry)) {
        const auto shown = [](const ManifestGeometry& g) {
            return Format("%d blocks of %d bytes, pages of %d + %d", g.block_count, g.block_size,
                          g.page_size, g.spare_size);
        };
        return "The backup was made of chip " + m.chip_id + " (" + shown(m.geometry) +
               "); this phone has chip " + ChipIdText(job) + " (" +
               shown(GeometryOf(job.chip().geometry)) + ").";
    }
    // Partition files are checked against the table the backup's block 0
    // holds; only a restore without block 0 asks the phone for its own.
    std::optional<Table> table;
    const auto has = [&](const char* kind) {
        return std::any_of(m.files.begin(), m.files.end(),
                           [&](const ManifestFile& f) { return f.kind == kind; });
    };
    if (all) {
        for (const ManifestFile& f : m.files) {
            if (f.kind == "block0") {
                table = BackupTable(job, folder, f);
            }
        }
        if (!has("block0") && (has("partition") || has("filesystem"))) {
            table = PhoneTable(job);
        }
    }
    if (std::string wrong = CheckFiles(m, job.chip().geometry, table ? &*table : nullptr, all);
        !wrong.empty()) {
        return wrong;
    }
    const std::set<int> bad_then(m.bad_blocks.begin(), m.bad_blocks.end());
    const int reservoir = ReservoirStart(blocks);
    bool reservoir_ok = false;
    if (all) {
        // The reservoir holds the replacements the record names: only the same
        // record makes it the same reservoir.
        std::vector<uint8_t> then;
        for (const ManifestFile& f : m.files) {
            if (File in{f.kind == "record" ? std::fopen((folder + f.name).c_str(), "rb")
                                           : nullptr}) {
                then.resize(ManagementRecord::kBytes);
                then.resize(std::fread(then.data(), 1, then.size(), in.get()));
            }
        }
        const auto now = job.chip().record.ToBytes();
        reservoir_ok = job.chip().record.Present()
                           ? std::equal(then.begin(), then.end(), now.begin(), now.end())
                           : then.empty();
        if (!reservoir_ok) {
            job.AddNote(
                "The reservoir was not restored: the phone's bad-block record differs "
                "from the backup's.");
        }
    }
    // A block read through the record for a bad one: the first tool's backups
    // hold it twice, in its partition's file and as itself in the EEROM's.
    std::set<int> read_for_bad;
    for (const ManifestFile& f : m.files) {
        for (const auto& [logical, physical] : f.blocks) {
            if (logical != physical && all) {
                read_for_bad.insert(physical);
            }
        }
    }
    std::map<int, const ManifestFile*> writes;  // target → the file that writes it
    for (const ManifestFile& f : m.files) {
        if (f.kind == "record" || (!all && f.kind != "eerom")) {
            continue;
        }
        for (size_t at = 0; at < f.blocks.size(); ++at) {
            const auto [logical, physical_then] = f.blocks[at];
            int target = logical;
            if (f.kind == "eerom") {
                // The EEROM goes back to the blocks it came from; the reservoir
                // only with everything and the same record. A block that the
                // record put in a bad block's place is written once, from the
                // file of the block it stands in for, through the phone's record
                // as it is now: that is where the loader will look for it.
                if ((logical >= reservoir && !reservoir_ok) || bad_then.count(logical) != 0 ||
                    read_for_bad.count(physical_then) != 0) {
                    continue;
                }
            } else if (f.kind == "block0") {
                if (block0) {
                    return "Block 0 would be written twice, from " + block0->file->name +
                           " and from " + f.name + ".";
                }
                block0 = RestoreBlock{&f, at, 0, 0, 0};
                continue;
            } else if ((target = ReadTarget(job, logical)) < 0) {
                return Format(
                    "Logical block %d (block %d in the backup) has no good block on "
                    "this phone now.",
                    logical, physical_then);
            }
            if (!job.chip().IbtGood(target)) {
                if (target == logical && bad_then.count(logical) != 0 && f.kind != "eerom") {
                    // Bad then and now: no erase touched it, it holds what it held.
                    job.AddNote(
                        Format("Block %d was bad at the backup and still is; it was left "
                               "as it is.",
                               target));
                    continue;
                }
                return f.kind == "eerom"
                           ? Format(
                                 "Block %d of the EEROM has gone bad since the backup: it "
                                 "cannot be written back to the same block.",
                                 target)
                           : Format(
                                 "Block %d has gone bad since the backup and has no "
                                 "replacement.",
                                 target);
            }
            if (const auto [it, fresh] = writes.emplace(target, &f); !fresh) {
                return Format("Block %d would be written twice, from %s and from %s.", target,
                              it->second->name.c_str(), f.name.c_str());
            }
            plan.push_back({&f, at, logical, physical_then, target});
        }
    }
    return {};
}

std::string FolderWithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

}  // namespace

int RunRestore(DownloadJob& job) {
    job.EnterStep(JobStep::kRestore);
    const std::string folder = FolderWithSlash(job.backup_folder);
    BackupManifest m;
    std::string error;
    if (!LoadManifest(folder, m, error) || !CheckBackupFiles(folder, m, error)) {
        return RestoreRefused(job, error);
    }
    const bool all = job.backup_range() == BackupRange::kAll;
    if (all && m.range != "all") {
        return RestoreRefused(
            job, "--range all needs a backup of everything; this one holds \"" + m.range + "\".");
    }
    std::vector<RestoreBlock> plan;
    std::optional<RestoreBlock> block0;
    if (const std::string refused = PlanRestore(job, folder, m, all, plan, block0);
        !refused.empty()) {
        return job.Aborted() ? job.result() : RestoreRefused(job, refused);
    }
    Reporter& reporter = job.reporter;
    reporter.SetPhase(Phase::kWrite);
    reporter.SetStatus("Restoring from " + folder + "...");
    std::vector<uint8_t> buffer(BlockBytes(job, true));
    reporter.units_total = uint64_t{buffer.size()} * (plan.size() + (block0 ? 1 : 0));
    reporter.units_done = 0;
    job.TrackWrites(true);
    auto fail = [&](int r) {
        if (job.Aborted()) {
            return job.result();
        }
        job.reporter.WriteLog("\n" + job.attempt.text + "\n");
        return job.FailWith(r);
    };
    for (const RestoreBlock& rb : plan) {
        if (job.Aborted()) {
            return job.result();
        }
        if (const int r = WriteBack(job, folder, rb, buffer); r != 0) {
            return fail(r);
        }
        reporter.units_done += buffer.size();
        reporter.UpdateProgress();
    }
    if (block0) {
        // Block 0 last and whole: a Stop waits for the end of its step.
        if (!job.BeginUncut()) {
            return job.result();
        }
        job.chip().boot_block_touched = true;
        const int r = WriteBack(job, folder, *block0, buffer);
        job.EndUncut();
        if (r != 0) {
            return fail(r);
        }
    }
    if (job.Stopped() && job.result() != 0) {
        return job.result();
    }
    job.verify = true;
    return VerifyAfterWrite(job);
}

}  // namespace velmora
