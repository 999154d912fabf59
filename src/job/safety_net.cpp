#include "job/safety_net.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <vector>

#include "base/output_file.h"
#include "base/results.h"
#include "base/text_format.h"
#include "config/sha1.h"
#include "flash/block_erase.h"
#include "flash/nand_internal.h"
#include "flash/nand_operations.h"
#include "flash/partition_download.h"
#include "flash/read_back.h"
#include "flash/verify.h"
#include "job/download_job.h"
#include "job/work_mode.h"
#include "velmora_version.h"

namespace velmora {
namespace {

using Json = nlohmann::json;
namespace code = result::safety_net;

constexpr int kBootTableToJob = 0x1F;
constexpr const char* kManifest = "manifest.json";

// A file of a backup: its blocks as (logical, physical) pairs, read whole with
// their spare bytes; or the record's bytes.
struct BackupFile {
    std::string name;
    std::string kind;  // "eerom", "block0", "record", "partition", "filesystem", "blocks"
    std::vector<std::pair<int, int>> blocks;
};

std::string Hex(std::span<const uint8_t> bytes, const char* separator = "") {
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        text += (i > 0 ? separator : "") + Format("%02X", bytes[i]);
    }
    return text;
}

std::string ChipIdText(const NandSession& nand) {
    return Hex(nand.nand_id, " ");
}

// As the log shows it: the fifth byte first.
std::string ProductIdText(const JobBase& job) {
    if (!job.product_id) {
        return {};
    }
    std::array<uint8_t, 5> shown{};
    std::reverse_copy(job.product_id->begin(), job.product_id->end(), shown.begin());
    return Hex(shown);
}

std::string Now() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

Json GeometryJson(const NandGeometry& g) {
    return {{"block_count", g.block_count},
            {"block_size", g.block_size},
            {"page_size", g.page_size},
            {"spare_size", g.spare_size}};
}

std::vector<int> BadBlocks(const NandSession& nand) {
    std::vector<int> bad;
    for (int b = 0; b < nand.geometry.block_count; ++b) {
        if (!nand.IbtGood(b)) {
            bad.push_back(b);
        }
    }
    return bad;
}

// Bad blocks and the reservoir blocks the record puts in their place.
Json Replacements(const NandSession& nand) {
    Json pairs = Json::array();
    if (!nand.record.Present()) {
        return pairs;
    }
    for (int b = 0; b < std::min(nand.reservoir_start, nand.geometry.block_count); ++b) {
        if (!nand.IbtGood(b) && MappedBlock(nand, b) != b) {
            pairs.push_back({b, MappedBlock(nand, b)});
        }
    }
    return pairs;
}

// The block that holds logical block `b`, as the read-back reads it; −1 on a
// chip without a record, where a bad block holds nothing.
int ReadTarget(const NandSession& nand, int b) {
    if (nand.IbtGood(b) || nand.record.Present()) {
        return MappedBlock(nand, b);
    }
    return RecordMapsBadBlocks(nand) ? b : -1;
}

std::vector<std::pair<int, int>> Logical(const NandSession& nand, int first, int end) {
    std::vector<std::pair<int, int>> blocks;
    for (int b = std::max(first, 0); b < std::min(end, nand.geometry.block_count); ++b) {
        if (const int p = ReadTarget(nand, b); p >= 0) {
            blocks.emplace_back(b, p);
        }
    }
    return blocks;
}

std::vector<std::pair<int, int>> Physical(int first, int end) {
    std::vector<std::pair<int, int>> blocks;
    for (int b = std::max(first, 0); b < end; ++b) {
        blocks.emplace_back(b, b);
    }
    return blocks;
}

PartitionRecord RecordOf(const NandSession& nand, int i) {
    return nand.records.boot_version == 3 ? V3Record(nand.records, i)
                                          : ClassicRecord(nand.records, i);
}

std::string PartitionName(const std::array<uint8_t, 8>& name) {
    std::string text;
    for (const uint8_t c : name) {
        if (c == 0) {
            break;
        }
        text += c < 0x20 || c > 0x7E ? '?' : static_cast<char>(c);
    }
    return text;
}

// Blocks [first, end) of partition i of nand.records.
BlockRange PartitionBlocks(const NandSession& nand, int i) {
    const PartitionRecord rec = RecordOf(nand, i);
    const uint32_t size = BlockSize(nand);
    const int first = static_cast<int>(rec.offset / size);
    const auto end =
        static_cast<int>(std::min<uint64_t>((uint64_t{rec.offset} + rec.size) / size,
                                            static_cast<uint64_t>(nand.geometry.block_count)));
    return {first, end};
}

// Everything of the phone: block 0, the record, each partition of its own
// table and the file system; without a table the code and file-system area as
// one file.
void PlanEverything(DownloadJob& job, std::vector<BackupFile>& files) {
    const int top = job.geometry.block_count - kEeromBlocks;
    files.push_back({"block0.bin", "block0", {{0, 0}}});
    if (job.record.Present()) {
        files.push_back({"record.bin", "record", {}});
    }
    if (ReadBootTable(job, kBootTableToJob) != 0 || CodeAreaEndBlock(job) < 0) {
        job.AddNote(
            "Block 0 holds no partition table: the code and file-system area was backed "
            "up as one file.");
        files.push_back({"area.bin", "blocks", Logical(job, 1, top)});
        return;
    }
    const int count = static_cast<int>(std::min<uint32_t>(job.records.partition_count, 16));
    for (int i = 0; i < count; ++i) {
        const BlockRange r = PartitionBlocks(job, i);
        files.push_back({PartitionFileName(i + 1, RecordOf(job, i).name) + ".bin", "partition",
                         Logical(job, r.first, r.end)});
    }
    files.push_back({"filesystem.bin", "filesystem", Logical(job, CodeAreaEndBlock(job), top)});
}

// What the write job will erase, beside the EEROM.
void PlanWriteJob(DownloadJob& job, const BlockRange& erase, std::vector<BackupFile>& files) {
    const int top = job.geometry.block_count - kEeromBlocks;
    if (job.work_mode == WorkMode::kCodeUpgrade) {
        files.push_back({"block0.bin", "block0", {{0, 0}}});
        if (job.erase_range != upgrade_range::kCode) {
            files.push_back({"area.bin", "blocks", Logical(job, 1, top)});
            return;
        }
        // nand.records holds the new table here: its partitions are what is erased.
        for (int i = 0; i < static_cast<int>(job.records.partition_count); ++i) {
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
        if (job.IbtGood(b)) {
            blocks.emplace_back(b, b);
        }
    }
    if (!blocks.empty()) {
        files.push_back({Format("blocks_%d-%d.bin", first, end - 1), "blocks", std::move(blocks)});
    }
}

// Indented for a reader, each file's block list on one line.
std::string ManifestText(Json manifest) {
    std::vector<std::string> lists;
    for (Json& f : manifest["files"]) {
        lists.push_back(f["blocks"].dump());
        f["blocks"] = "@blocks" + std::to_string(lists.size() - 1);
    }
    std::string text = manifest.dump(1) + "\n";
    for (size_t i = 0; i < lists.size(); ++i) {
        const std::string mark = "\"@blocks" + std::to_string(i) + "\"";
        text.replace(text.find(mark), mark.size(), lists[i]);
    }
    return text;
}

int BackupFailed(DownloadJob& job, const std::string& text, std::optional<int> inner = {}) {
    job.step = JobStep::kBackup;
    job.inner = inner;
    job.error_text = text + " Nothing was erased.";
    job.reporter.WriteLog("\n" + job.error_text + "\n");
    job.result.store(code::kBackupFailed);
    return code::kBackupFailed;
}

// Reads the files, then writes the manifest; every file and the manifest are
// flushed to the disk before it returns 0.
int WriteBackup(DownloadJob& job, std::vector<BackupFile> files, const std::string& range) {
    job.step = JobStep::kBackup;
    std::string folder = job.backup_folder;
    if (folder.back() != '/') {
        folder += '/';
    }
    if (std::string reason; !MakeOutputFolder(folder, &reason)) {
        return BackupFailed(job, "Cannot use the backup folder " + folder + ": " + reason + ".");
    }
    std::vector<BackupFile> all;
    const int blocks = job.geometry.block_count;
    all.push_back({"eerom.bin", "eerom", Physical(std::max(blocks - kEeromBlocks, 0), blocks)});
    all.insert(all.end(), files.begin(), files.end());

    Reporter& reporter = job.reporter;
    reporter.SetPhase(Phase::kBackup);
    reporter.SetStatus("Backing up to " + folder + "...");
    const uint32_t block_bytes = BlockBytes(job, true);
    reporter.units_total = 0;
    reporter.units_done = 0;
    for (const BackupFile& f : all) {
        reporter.units_total += uint64_t{block_bytes} * f.blocks.size();
    }
    Json manifest = {{"format", 1},
                     {"tool", std::string("velmora ") + kVersion},
                     {"date", Now()},
                     {"range", range},
                     {"chip_id", ChipIdText(job)},
                     {"product_id", ProductIdText(job)},
                     {"geometry", GeometryJson(job.geometry)},
                     {"bad_blocks", BadBlocks(job)},
                     {"replacements", Replacements(job)},
                     {"record_present", job.record.Present()},
                     {"files", Json::array()}};
    for (const BackupFile& f : all) {
        const std::string path = folder + f.name;
        if (job.Aborted()) {
            return job.result.load();
        }
        if (f.kind == "record") {
            const auto bytes = job.record.ToBytes();
            File out = OpenOutputFile(path);
            if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out.get()) != bytes.size() ||
                !CloseOutputFile(out)) {
                return BackupFailed(job, "Cannot write " + path + ".");
            }
        } else {
            std::vector<int> physical;
            for (const auto& [logical, p] : f.blocks) {
                physical.push_back(p);
            }
            int failed = -1;
            if (const int r = ReadBlockListToFile(job, path, physical, true, &failed); r != 0) {
                if (job.Aborted()) {
                    return job.result.load();
                }
                if (r == 10000) {
                    return BackupFailed(job, job.error_text + ".");
                }
                return BackupFailed(job,
                                    Format("Backup: block %d could not be read (#%d).", failed, r),
                                    r >= 20000 ? std::optional<int>(r - 20000) : std::nullopt);
            }
        }
        std::string reason;
        const std::string sum = Sha256FileHex(path);
        if (sum.empty() || !SyncToDisk(path, &reason)) {
            return BackupFailed(
                job, "Cannot write " + path + (reason.empty() ? "" : ": " + reason) + ".");
        }
        Json entry = {{"name", f.name},
                      {"kind", f.kind},
                      {"size", std::filesystem::file_size(path)},
                      {"sha256", sum},
                      {"with_spare", f.kind != "record"},
                      {"blocks", Json::array()}};
        for (const auto& [logical, p] : f.blocks) {
            entry["blocks"].push_back({logical, p});
        }
        manifest["files"].push_back(std::move(entry));
    }
    const std::string path = folder + kManifest;
    const std::string text = ManifestText(manifest);
    StagedFile out(path, nullptr);
    std::string reason;
    if (!out || std::fwrite(text.data(), 1, text.size(), out.get()) != text.size() ||
        !out.Finish(&reason) || !SyncToDisk(path, &reason)) {
        return BackupFailed(job,
                            "Cannot write " + path + (reason.empty() ? "" : ": " + reason) + ".");
    }
    reporter.FileWritten(path);
    reporter.WriteLog("\nBackup complete in " + folder + "\n");
    return 0;
}

// ---- restore --------------------------------------------------------------------------

struct Manifest {
    Json json;
    std::string folder;  // ends in '/'
};

std::string FolderWithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

bool LoadManifest(const std::string& folder, Manifest& m, std::string& error) {
    m.folder = FolderWithSlash(folder);
    std::ifstream in(m.folder + kManifest);
    if (!in) {
        error = m.folder + kManifest + " cannot be read: the folder holds no backup.";
        return false;
    }
    m.json = Json::parse(in, nullptr, false);
    if (m.json.is_discarded() || !m.json.is_object() || !m.json.contains("files") ||
        !m.json["files"].is_array() || !m.json.contains("geometry")) {
        error = m.folder + kManifest + " is not a backup manifest.";
        return false;
    }
    return true;
}

// Every file present with its size and SHA-256.
bool CheckSums(const Manifest& m, std::string& error) {
    for (const Json& f : m.json["files"]) {
        const std::string name = f.value("name", "");
        if (name.empty() || name.find('/') != std::string::npos) {
            error = "The manifest names a file outside its folder: \"" + name + "\".";
            return false;
        }
        const std::string path = m.folder + name;
        const std::string sum = Sha256FileHex(path);
        if (sum.empty()) {
            error = path + " is missing or cannot be read.";
            return false;
        }
        if (sum != f.value("sha256", "")) {
            error = path + " does not match its SHA-256 in the manifest: the backup is damaged.";
            return false;
        }
    }
    return true;
}

int RestoreRefused(DownloadJob& job, const std::string& text) {
    job.error_text = text + " Nothing was erased.";
    job.reporter.WriteLog("\n" + job.error_text + "\n");
    job.result.store(code::kRestoreRefused);
    return code::kRestoreRefused;
}

// One block to write back: from `file` at block index `index` onto `physical`.
struct RestoreBlock {
    std::string file;
    size_t index = 0;
    int physical = 0;
};

bool Erased(std::span<const uint8_t> data) {
    return std::all_of(data.begin(), data.end(), [](uint8_t c) { return c == 0xFF; });
}

// Erase, then write the block's bytes (an erased block needs no write).
int WriteBack(DownloadJob& job, const Manifest& m, const RestoreBlock& rb,
              std::vector<uint8_t>& buffer) {
    File in(std::fopen((m.folder + rb.file).c_str(), "rb"));
    if (!in || std::fseek(in.get(), static_cast<long>(rb.index * buffer.size()), SEEK_SET) != 0 ||
        std::fread(buffer.data(), 1, buffer.size(), in.get()) != buffer.size()) {
        job.error_text = "Cannot read " + m.folder + rb.file + ".";
        return code::kRestoreWriteFailed;
    }
    if (const int c = EraseBlock(job, rb.physical); c != 0) {
        job.inner = c;
        job.error_text = Format("Restore: erase of block %d fail, #%d", rb.physical, c);
        job.reporter.MarkBlock(rb.physical, BlockState::kEraseFailed);
        return code::kRestoreWriteFailed;
    }
    if (!Erased(buffer)) {
        if (const int c =
                WritePiece(job, buffer, rb.physical, true, static_cast<uint32_t>(buffer.size()));
            c != 0) {
            job.inner = c - 20000;
            job.error_text = Format("Restore: write of block %d fail, #%d", rb.physical, c);
            job.reporter.MarkBlock(rb.physical, BlockState::kFailed);
            return code::kRestoreWriteFailed;
        }
        job.NoteWritten(rb.physical, buffer, true);
    }
    job.reporter.MarkBlock(rb.physical, BlockState::kProgrammed);
    return 0;
}

// The blocks a restore writes, checked against the phone before anything is
// erased. Empty text when the plan holds.
std::string PlanRestore(DownloadJob& job, const Manifest& m, bool all,
                        std::vector<RestoreBlock>& plan, std::optional<RestoreBlock>& block0) {
    const Json& j = m.json;
    const int blocks = job.geometry.block_count;
    if (j.value("chip_id", "") != ChipIdText(job) || j["geometry"] != GeometryJson(job.geometry)) {
        return "The backup was made of chip " + j.value("chip_id", "?") + " (" +
               j["geometry"].dump() + "); this phone has chip " + ChipIdText(job) + " (" +
               GeometryJson(job.geometry).dump() + ").";
    }
    std::set<int> bad_then;
    for (const Json& b : j.value("bad_blocks", Json::array())) {
        bad_then.insert(b.get<int>());
    }
    const int reservoir = ReservoirStart(blocks);
    bool reservoir_ok = false;
    if (all) {
        // The reservoir holds the replacements the record names: only the same
        // record makes it the same reservoir.
        std::vector<uint8_t> then;
        if (File f{std::fopen((m.folder + "record.bin").c_str(), "rb")}) {
            then.resize(ManagementRecord::kBytes);
            then.resize(std::fread(then.data(), 1, then.size(), f.get()));
        }
        const auto now = job.record.ToBytes();
        reservoir_ok = job.record.Present() ? then.size() == now.size() &&
                                                  std::equal(then.begin(), then.end(), now.begin())
                                            : then.empty();
        if (!reservoir_ok) {
            job.AddNote(
                "The reservoir was not restored: the phone's bad-block record differs "
                "from the backup's.");
        }
    }
    for (const Json& f : j["files"]) {
        const std::string kind = f.value("kind", "");
        const std::string name = f.value("name", "");
        if (kind == "record" || (!all && kind != "eerom")) {
            continue;
        }
        size_t index = 0;
        for (const Json& pair : f["blocks"]) {
            const int logical = pair.at(0).get<int>();
            const int physical_then = pair.at(1).get<int>();
            const size_t at = index++;
            int target = logical;
            if (kind == "eerom") {
                // The EEROM goes back to the blocks it came from; the reservoir
                // only with everything and the same record.
                if (logical >= reservoir && !reservoir_ok) {
                    continue;
                }
                if (bad_then.count(logical) != 0) {
                    continue;  // it held nothing then
                }
            } else if (kind == "block0") {
                block0 = RestoreBlock{name, at, 0};
                continue;
            } else {
                target = ReadTarget(job, logical);
                if (target < 0) {
                    return Format(
                        "Logical block %d (block %d in the backup) has no good block on "
                        "this phone now.",
                        logical, physical_then);
                }
            }
            if (!job.IbtGood(target)) {
                return kind == "eerom"
                           ? Format(
                                 "Block %d of the EEROM has gone bad since the backup: it "
                                 "cannot be written back to the same block.",
                                 target)
                           : Format(
                                 "Block %d has gone bad since the backup and has no "
                                 "replacement.",
                                 target);
            }
            plan.push_back({name, at, target});
        }
    }
    return {};
}

// ---- health ---------------------------------------------------------------------------

// The two record copies: the highest free reservoir blocks, as they were chosen.
std::vector<int> RecordCopies(const NandSession& nand) {
    std::vector<int> copies;
    const int blocks = nand.geometry.block_count;
    for (int n = blocks - 1; n >= nand.reservoir_start && copies.size() < 2; --n) {
        const uint32_t e = nand.record.Entry(n);
        if (e == 0) {
            copies.push_back(n);
        } else if (e != ManagementRecord::kBadReservoir) {
            break;
        }
    }
    return copies;
}

int ReadRecordCopy(NandSession& nand, int block, std::vector<uint8_t>& out) {
    const auto page = static_cast<uint32_t>(nand.geometry.page_size);
    out.assign(ManagementRecord::kBytes, 0);
    std::vector<uint8_t> buffer(BytesPerPage(nand, true));
    for (uint32_t done = 0, k = 0; done < out.size(); ++k) {
        const uint32_t n = std::min<uint32_t>(page, static_cast<uint32_t>(out.size()) - done);
        if (const int r = RetryOnce(nand, Format("Read record copy in block %d", block),
                                    [&] { return ReadPage(nand, buffer, block, int(k), n); });
            r != 0) {
            return r;
        }
        std::copy_n(buffer.begin(), n, out.begin() + done);
        done += n;
    }
    return 0;
}

// The bad blocks and replacements an earlier backup or report records.
struct BadBlockView {
    std::string date;
    std::string chip_id;
    std::set<int> bad;
    std::map<int, int> replaced;  // block → replacement
    int reservoir_used = -1;
};

bool ViewOf(const std::string& path, BadBlockView& v, std::string& error) {
    std::error_code ec;
    Json j;
    if (std::filesystem::is_directory(path, ec)) {
        Manifest m;
        if (!LoadManifest(path, m, error)) {
            return false;
        }
        j = m.json;
        v.date = j.value("date", "");
        v.chip_id = j.value("chip_id", "");
        for (const Json& b : j.value("bad_blocks", Json::array())) {
            v.bad.insert(b.get<int>());
        }
        for (const Json& pair : j.value("replacements", Json::array())) {
            v.replaced[pair.at(0).get<int>()] = pair.at(1).get<int>();
        }
        return true;
    }
    std::ifstream in(path);
    j = in ? Json::parse(in, nullptr, false) : Json();
    if (!in || j.is_discarded() || !j.is_object() || !j.contains("bad_blocks")) {
        error = path + " is neither a backup folder nor a health report.";
        return false;
    }
    v.date = j.value("date", "");
    v.chip_id = j.value("chip_id", "");
    for (const Json& r : j["bad_blocks"].value("replaced", Json::array())) {
        v.bad.insert(r.value("block", -1));
        v.replaced[r.value("block", -1)] = r.value("by", -1);
    }
    for (const Json& b : j["bad_blocks"].value("unreplaced", Json::array())) {
        v.bad.insert(b.get<int>());
    }
    for (const Json& b : j["bad_blocks"].value("reservoir", Json::array())) {
        v.bad.insert(b.get<int>());
    }
    v.reservoir_used = j.contains("reservoir") ? j["reservoir"].value("used", -1) : -1;
    return true;
}

Json Changes(const Json& now, const BadBlockView& then) {
    Json changes = Json::array();
    if (!then.chip_id.empty() && then.chip_id != now.value("chip_id", "")) {
        changes.push_back("The earlier report is of another chip (" + then.chip_id + ").");
        return changes;
    }
    std::set<int> bad;
    std::map<int, int> replaced;
    for (const Json& r : now["bad_blocks"]["replaced"]) {
        bad.insert(r["block"].get<int>());
        replaced[r["block"].get<int>()] = r["by"].get<int>();
    }
    for (const char* key : {"unreplaced", "reservoir"}) {
        for (const Json& b : now["bad_blocks"][key]) {
            bad.insert(b.get<int>());
        }
    }
    for (const int b : bad) {
        if (then.bad.count(b) == 0) {
            changes.push_back(Format("Block %d turned bad.", b));
        }
    }
    for (const int b : then.bad) {
        if (bad.count(b) == 0) {
            changes.push_back(Format("Block %d is no longer marked bad.", b));
        }
    }
    for (const auto& [b, by] : replaced) {
        const auto it = then.replaced.find(b);
        if (then.bad.count(b) != 0 && it != then.replaced.end() && it->second != by) {
            changes.push_back(
                Format("Block %d is now replaced by block %d (it was %d).", b, by, it->second));
        }
    }
    const int used = now["reservoir"].value("used", -1);
    if (then.reservoir_used >= 0 && used != then.reservoir_used) {
        changes.push_back(
            Format("Reservoir blocks in use: %d, were %d.", used, then.reservoir_used));
    }
    return changes;
}

}  // namespace

int BackUpBeforeWrite(DownloadJob& job, const BlockRange& erase) {
    if (job.backup_folder.empty()) {
        return 0;
    }
    std::vector<BackupFile> files;
    PlanWriteJob(job, erase, files);
    const JobStep step = job.step;
    const int r = WriteBackup(job, std::move(files),
                              job.work_mode == WorkMode::kCodeUpgrade ? "upgrade" : "erase");
    if (r == 0) {
        job.step = step;
        job.reporter.SetStatus(job.work_mode == WorkMode::kCodeUpgrade ? "代码升级！"
                                                                       : "ERASE FLASH!");
    }
    return r;
}

int RunBackup(DownloadJob& job) {
    std::vector<BackupFile> files;
    if (job.erase_range == backup_range::kAll) {
        PlanEverything(job, files);
    }
    return WriteBackup(job, std::move(files),
                       job.erase_range == backup_range::kAll ? "all" : "eerom");
}

int VerifyAfterWrite(DownloadJob& job) {
    if (!job.verify) {
        return 0;
    }
    job.step = JobStep::kVerify;
    job.reporter.SetPhase(Phase::kVerify);
    job.reporter.SetStatus(Format("Verifying %zu written blocks...", job.written.size()));
    std::vector<int> differing;
    const int r = VerifyWrittenBlocks(job, differing);
    if (r == 0 || job.Aborted()) {
        return r == 0 ? 0 : job.result.load();
    }
    const int result = r == 1 ? code::kVerifyMismatch : code::kVerifyReadFailed;
    if (r != 1) {
        job.inner = r;
    }
    job.result.store(result);
    return result;
}

int RunRestore(DownloadJob& job) {
    job.step = JobStep::kRestore;
    Manifest m;
    std::string error;
    if (!LoadManifest(job.backup_folder, m, error) || !CheckSums(m, error)) {
        return RestoreRefused(job, error);
    }
    const bool all = job.erase_range == backup_range::kAll;
    if (all && m.json.value("range", "") != "all") {
        return RestoreRefused(job, "--range all needs a backup of everything; this one holds \"" +
                                       m.json.value("range", "") + "\".");
    }
    std::vector<RestoreBlock> plan;
    std::optional<RestoreBlock> block0;
    if (const std::string refused = PlanRestore(job, m, all, plan, block0); !refused.empty()) {
        return RestoreRefused(job, refused);
    }
    Reporter& reporter = job.reporter;
    reporter.SetPhase(Phase::kWrite);
    reporter.SetStatus("Restoring from " + m.folder + "...");
    std::vector<uint8_t> buffer(BlockBytes(job, true));
    reporter.units_total = uint64_t{buffer.size()} * (plan.size() + (block0 ? 1 : 0));
    reporter.units_done = 0;
    job.track_writes = true;
    auto fail = [&](int r) {
        if (job.Aborted()) {
            return job.result.load();
        }
        job.reporter.WriteLog("\n" + job.error_text + "\n");
        job.result.store(r);
        return r;
    };
    for (const RestoreBlock& rb : plan) {
        if (job.Aborted()) {
            return job.result.load();
        }
        if (const int r = WriteBack(job, m, rb, buffer); r != 0) {
            return fail(r);
        }
        reporter.units_done += buffer.size();
        reporter.UpdateProgress();
    }
    if (block0) {
        // Block 0 last and whole: a Stop waits for the end of its step.
        if (!job.BeginUncut()) {
            return job.result.load();
        }
        job.boot_block_touched = true;
        const int r = WriteBack(job, m, *block0, buffer);
        job.EndUncut();
        if (r != 0) {
            return fail(r);
        }
    }
    if (job.user_stop.load() != 0 && job.result.load() != 0) {
        return job.result.load();
    }
    job.verify = true;
    return VerifyAfterWrite(job);
}

int RunHealth(DownloadJob& job) {
    job.step = JobStep::kHealth;
    job.reporter.SetStatus("NAND health...");
    const int blocks = job.geometry.block_count;
    const int reservoir = ReservoirStart(blocks);
    Json report = {{"date", Now()},
                   {"chip_id", ChipIdText(job)},
                   {"product_id", ProductIdText(job)},
                   {"geometry", GeometryJson(job.geometry)}};
    Json replaced = Json::array();
    Json unreplaced = Json::array();
    Json reservoir_bad = Json::array();
    const bool record = job.record.Present();
    int used = 0;
    int free_blocks = 0;
    for (int b = 0; b < blocks; ++b) {
        const bool in_reservoir = record && b >= reservoir;
        if (in_reservoir) {
            const uint32_t e = job.record.Entry(b);
            used += e == ManagementRecord::kUsedReservoir ? 1 : 0;
            free_blocks += e == 0 && job.IbtGood(b) ? 1 : 0;
        }
        if (job.IbtGood(b)) {
            continue;
        }
        if (in_reservoir) {
            reservoir_bad.push_back(b);
        } else if (record && MappedBlock(job, b) != b) {
            replaced.push_back({{"block", b}, {"by", MappedBlock(job, b)}});
        } else {
            unreplaced.push_back(b);
        }
    }
    report["bad_blocks"] = {
        {"replaced", replaced}, {"unreplaced", unreplaced}, {"reservoir", reservoir_bad}};
    const std::vector<int> copies = record ? RecordCopies(job) : std::vector<int>{};
    if (record) {
        // The copies hold the record; two copies count, the loader's one aside.
        free_blocks -= static_cast<int>(copies.size());
    }
    report["reservoir"] = {{"first", reservoir},
                           {"blocks", blocks - reservoir},
                           {"used", record ? used : 0},
                           {"free", record ? free_blocks : 0},
                           {"bad", static_cast<int>(reservoir_bad.size())}};
    Json rec = {{"present", record}, {"maps_bad_blocks", RecordMapsBadBlocks(job)}};
    if (record) {
        std::vector<std::vector<uint8_t>> bytes(copies.size());
        for (size_t i = 0; i < copies.size(); ++i) {
            if (const int r = ReadRecordCopy(job, copies[i], bytes[i]); r != 0) {
                if (job.Aborted()) {
                    return job.result.load();
                }
                job.inner = r;
                job.error_text = Format(
                    "Health: the record copy in block %d could not be read, "
                    "#%d",
                    copies[i], r);
                job.result.store(code::kHealthReadFailed);
                return code::kHealthReadFailed;
            }
        }
        const auto loader = job.record.ToBytes();
        rec["copies"] = copies;
        rec["copies_equal"] = copies.size() == 2 && bytes[0] == bytes[1];
        rec["copy_matches_record"] =
            !bytes.empty() && std::equal(loader.begin(), loader.end(), bytes[0].begin());
    }
    report["record"] = rec;
    Json partitions = Json::array();
    if (ReadBootTable(job, kBootTableToJob) == 0 && CodeAreaEndBlock(job) >= 0) {
        const int count = static_cast<int>(std::min<uint32_t>(job.records.partition_count, 16));
        for (int i = 0; i < count; ++i) {
            const BlockRange r = PartitionBlocks(job, i);
            Json physical = Json::array();
            for (const auto& [logical, p] : Logical(job, r.first, r.end)) {
                physical.push_back({logical, p});
            }
            partitions.push_back({{"number", i + 1},
                                  {"name", PartitionName(RecordOf(job, i).name)},
                                  {"first", r.first},
                                  {"end", r.end},
                                  {"blocks", physical}});
        }
    } else {
        if (job.Aborted()) {
            return job.result.load();
        }
        report["partition_table"] = "Block 0 holds no partition table.";
    }
    report["partitions"] = partitions;
    if (!job.since_path.empty()) {
        BadBlockView then;
        std::string error;
        if (ViewOf(job.since_path, then, error)) {
            report["since"] = {
                {"path", job.since_path}, {"date", then.date}, {"changes", Changes(report, then)}};
        } else {
            report["since"] = {{"path", job.since_path}, {"error", error}};
        }
    }
    // A --since path need not be UTF-8: its bytes must not end the program.
    job.report = report.dump(-1, ' ', false, Json::error_handler_t::replace);
    return 0;
}

BackupSummary ReadBackupSummary(const std::string& folder, bool check_sums) {
    BackupSummary s;
    Manifest m;
    if (!LoadManifest(folder, m, s.error) || (check_sums && !CheckSums(m, s.error))) {
        return s;
    }
    s.date = m.json.value("date", "");
    s.product_id = m.json.value("product_id", "");
    s.chip_id = m.json.value("chip_id", "");
    s.range = m.json.value("range", "");
    return s;
}

std::string HealthText(const std::string& report_json) {
    const Json j = Json::parse(report_json, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        return "The health report cannot be read.\n";
    }
    std::ostringstream out;
    const Json& g = j["geometry"];
    out << "Chip " << j.value("chip_id", "?") << ": " << g.value("block_count", 0) << " blocks of "
        << g.value("block_size", 0) / 1024 << " KiB, pages of " << g.value("page_size", 0) << " + "
        << g.value("spare_size", 0) << " bytes\n";
    if (const std::string p = j.value("product_id", ""); !p.empty()) {
        out << "Product ID " << p << "\n";
    }
    const Json& bad = j["bad_blocks"];
    const size_t replaced = bad["replaced"].size();
    const size_t unreplaced = bad["unreplaced"].size();
    const size_t reserve = bad["reservoir"].size();
    out << "Bad blocks: " << replaced + unreplaced + reserve << " (" << replaced << " replaced, "
        << unreplaced << " without a replacement, " << reserve << " in the reservoir)\n";
    for (const Json& r : bad["replaced"]) {
        out << "  block " << r["block"].get<int>() << " replaced by block " << r["by"].get<int>()
            << "\n";
    }
    const bool record = j["record"].value("present", false);
    for (const Json& b : bad["unreplaced"]) {
        out << "  block " << b.get<int>() << ": no replacement"
            << (record ? " (it went bad after the record was written)" : "") << "\n";
    }
    const Json& r = j["reservoir"];
    out << "Reservoir: blocks " << r.value("first", 0) << " to "
        << r.value("first", 0) + r.value("blocks", 0) - 1 << " (" << r.value("blocks", 0)
        << "): " << r.value("used", 0) << " used, " << r.value("free", 0) << " free, "
        << r.value("bad", 0) << " bad\n";
    const Json& rec = j["record"];
    if (!record) {
        out << "Record: none"
            << (rec.value("maps_bad_blocks", false) ? "" : " (this chip keeps none)") << "\n";
    } else {
        out << "Record: present; copies in blocks";
        for (const Json& c : rec["copies"]) {
            out << " " << c.get<int>();
        }
        out << (rec.value("copies_equal", false) ? ", equal" : ", NOT equal")
            << (rec.value("copy_matches_record", false) ? "" : ", unlike the loader's record")
            << "\n";
    }
    if (j.contains("partition_table")) {
        out << "Partitions: " << j["partition_table"].get<std::string>() << "\n";
    } else {
        out << "Partitions:\n";
    }
    for (const Json& p : j["partitions"]) {
        out << Format("  %2d %-8s blocks %d to %d", p["number"].get<int>(),
                      p["name"].get<std::string>().c_str(), p["first"].get<int>(),
                      p["end"].get<int>() - 1);
        std::string moved;
        for (const Json& b : p["blocks"]) {
            if (b.at(0).get<int>() != b.at(1).get<int>()) {
                moved += Format("%s%d in %d", moved.empty() ? "" : ", ", b.at(0).get<int>(),
                                b.at(1).get<int>());
            }
        }
        out << (moved.empty() ? "" : " (" + moved + ")") << "\n";
    }
    if (j.contains("since")) {
        const Json& s = j["since"];
        if (s.contains("error")) {
            out << "No comparison: " << s["error"].get<std::string>() << "\n";
        } else {
            out << "Since " << s.value("path", "") << " (" << s.value("date", "") << "): ";
            if (s["changes"].empty()) {
                out << "no change\n";
            } else {
                out << "\n";
                for (const Json& c : s["changes"]) {
                    out << "  " << c.get<std::string>() << "\n";
                }
            }
        }
    }
    return out.str();
}

}  // namespace velmora
