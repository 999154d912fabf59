#include "frontend/job_progress.h"

#include <algorithm>
#include <cmath>

#include "config/partition_table.h"
#include "flash/nand_internal.h"

namespace velmora {
namespace {

// A high-speed bulk pipe: 13 packets of 512 bytes in each of 8000 microframes
// a second.
constexpr double kUsbBulkRate = 13.0 * 512 * 8000;
// An erase's command and answer with the loader's turnaround, as bytes of line
// time: what one block's erase costs beyond the chip's own time.
constexpr double kEraseCommandBytes = 160;
// The bar stops short of its end until the job has succeeded.
constexpr double kUnfinishedCap = 0.99;

// A chip the catalogue has not told of yet: the common large-page part.
NandGeometry DefaultGeometry() {
    NandGeometry g;
    g.block_count = 1024;
    g.block_size = 128 * 1024;
    g.page_size = 2048;
    g.spare_size = 64;
    g.erase_time = 2000;
    g.write_time = 200;
    return g;
}

double SecondsOf(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

double LineRate(LinkKind link, int baud_selection) {
    if (link == LinkKind::kUsb) {
        return kUsbBulkRate;
    }
    return kBaudRates[std::clamp(baud_selection, 0, 2)] / 10.0;
}

ProgressRequest ProgressRequestOf(const JobRequest& request) {
    ProgressRequest r;
    r.work_mode = request.work_mode;
    r.range = request.range;
    r.range_start = request.range_start;
    r.range_end = request.range_end;
    const bool writes =
        request.work_mode == WorkMode::kCodeUpgrade || request.work_mode == WorkMode::kErase;
    r.backup = writes && !request.backup_folder.empty();
    r.verify = request.verify;
    r.read_twice = request.read_twice;
    r.read_once = request.read_once;
    r.link = request.link;
    r.line_rate = LineRate(request.link, request.baud_selection);
    if (request.work_mode == WorkMode::kCodeUpgrade) {
        PartitionTable table;
        if (table.Load(request.ptt_path) == 0) {
            r.boot_bytes = table.boot_file_size;
            const auto count = std::min<uint32_t>(table.partition_count, kMaxPartitions);
            for (uint32_t i = 0; i < count; ++i) {
                const PartitionEntry& e = table.entries[i];
                r.partitions.push_back({e.offset, e.size, e.content_size});
            }
        }
    }
    return r;
}

JobProgress::JobProgress(ProgressRequest request)
    : request_(std::move(request)), geometry_(DefaultGeometry()) {
    auto add = [this](Kind kind, Phase phase) { stages_.push_back({kind, phase}); };
    switch (request_.work_mode) {
        case WorkMode::kCodeUpgrade:
            if (request_.backup)
                add(Kind::kBackup, Phase::kBackup);
            add(Kind::kErase, Phase::kErase);
            add(Kind::kWrite, Phase::kWrite);
            add(Kind::kBootBlock, Phase::kBootBlock);
            if (request_.verify)
                add(Kind::kVerify, Phase::kVerify);
            break;
        case WorkMode::kErase:
            if (request_.backup)
                add(Kind::kBackup, Phase::kBackup);
            add(Kind::kErase, Phase::kEraseRange);
            break;
        case WorkMode::kBackup:
            add(Kind::kBackup, Phase::kBackup);
            break;
        case WorkMode::kRestore:
            add(Kind::kWrite, Phase::kWrite);
            if (request_.verify)
                add(Kind::kVerify, Phase::kVerify);
            break;
        case WorkMode::kReadCode:
        case WorkMode::kHealth:
            add(Kind::kRead, Phase::kRead);
            break;
    }
    Plan();
}

int JobProgress::CodeTop() const {
    return std::max(geometry_.block_count - kEeromBlocks, 1);
}

uint64_t JobProgress::BlockBytes() const {
    const auto pages = static_cast<uint64_t>(geometry_.block_size / geometry_.page_size);
    return static_cast<uint64_t>(geometry_.block_size) +
           pages * static_cast<uint64_t>(geometry_.spare_size);
}

// What a stage is expected to count before its first count tells.
double JobProgress::EstimatedUnits(Kind kind) const {
    const double block = geometry_.block_size;
    const double bytes = static_cast<double>(BlockBytes());
    const int top = CodeTop();
    double partition_blocks = 0;
    double content = static_cast<double>(request_.boot_bytes);
    double written_blocks = 2;  // the boot block and the record
    for (const PlannedPartition& p : request_.partitions) {
        partition_blocks += std::ceil(p.size / block);
        content += p.content;
        written_blocks += std::ceil(p.content / block);
    }
    double erase_blocks = 0;
    if (request_.work_mode == WorkMode::kCodeUpgrade) {
        const bool code = RangeAs<UpgradeRange>(request_.range) == UpgradeRange::kCode;
        erase_blocks = code ? partition_blocks : top - 1;
    } else {
        switch (RangeAs<EraseRange>(request_.range)) {
            case EraseRange::kAll:
                erase_blocks = top;
                break;
            case EraseRange::kEerom:
                erase_blocks = kEeromBlocks - geometry_.block_count / 50 - 2;
                break;
            case EraseRange::kArea:
                erase_blocks = std::floor(request_.range_end / block) -
                               std::floor(request_.range_start / block) + 1;
                break;
            default:  // the code or file-system area: where it ends, the phone's table says
                erase_blocks = top / 2.0;
                break;
        }
    }
    const bool all = RangeAs<BackupRange>(request_.range) == BackupRange::kAll;
    switch (kind) {
        case Kind::kBackup:
            if (request_.work_mode == WorkMode::kBackup) {
                return (all ? geometry_.block_count : kEeromBlocks) * bytes;
            }
            return (std::min<double>(erase_blocks + 1, top) + kEeromBlocks) * bytes;
        case Kind::kErase:
            return std::max(erase_blocks, 1.0);
        case Kind::kWrite:
            if (request_.work_mode == WorkMode::kRestore) {
                return (all ? geometry_.block_count : kEeromBlocks) * bytes;
            }
            return content;
        case Kind::kVerify:
            if (request_.work_mode == WorkMode::kRestore) {
                return EstimatedUnits(Kind::kWrite);
            }
            return written_blocks * bytes;
        case Kind::kBootBlock:
            return bytes;
        case Kind::kRead:
            if (request_.work_mode == WorkMode::kReadCode) {
                switch (RangeAs<ReadRange>(request_.range)) {
                    case ReadRange::kEerom:
                        return kEeromBlocks * bytes;
                    case ReadRange::kArea:
                        return std::max(1.0, std::floor(request_.range_end / block) -
                                                 std::floor(request_.range_start / block) + 1) *
                               bytes;
                    default:
                        break;
                }
            }
            return bytes;
    }
    return 1;
}

double JobProgress::Seconds(const Stage& stage) const {
    const double rate = request_.line_rate > 0 ? request_.line_rate : kUsbBulkRate;
    const double units =
        stage.total > 0 ? static_cast<double>(stage.total) : EstimatedUnits(stage.kind);
    const double bytes = static_cast<double>(BlockBytes());
    const double erase = geometry_.erase_time * 1e-6;
    const double program = geometry_.write_time * 1e-6;
    switch (stage.kind) {
        case Kind::kBackup: {
            // A backup of its own reads everything twice when told to.
            const bool twice = request_.work_mode == WorkMode::kBackup && request_.read_twice;
            return (units * (twice ? 2 : 1) + ReadTwiceFirst(stage)) / rate;
        }
        case Kind::kErase:
            return units * (erase + kEraseCommandBytes / rate);
        case Kind::kWrite:
            return units / rate + std::ceil(units / geometry_.page_size) * program;
        case Kind::kBootBlock:
            // Block 0 goes whole, spare bytes and all, erased and programmed.
            return bytes / rate + erase +
                   static_cast<double>(geometry_.block_size / geometry_.page_size) * program;
        case Kind::kVerify:
            // Whole blocks come back, while the count is of the bytes compared.
            return EstimatedUnits(Kind::kVerify) / rate;
        case Kind::kRead:
            return units / rate * (request_.read_twice ? 2 : 1);
    }
    return 0;
}

// The backup before an erase reads the EEROM, its first file, twice unless
// told not to.
double JobProgress::ReadTwiceFirst(const Stage& stage) const {
    if (stage.kind != Kind::kBackup || request_.work_mode == WorkMode::kBackup ||
        request_.read_once) {
        return 0;
    }
    return kEeromBlocks * static_cast<double>(BlockBytes());
}

double JobProgress::Behind(const Stage& stage) const {
    if (stage.total == 0) {
        return 0;
    }
    const double total = static_cast<double>(stage.total);
    const double done = std::min(static_cast<double>(stage.done), total);
    const double twice = std::min(ReadTwiceFirst(stage), total);
    return (std::min(done, twice) + done) / (total + twice);
}

void JobProgress::Plan() {
    for (Stage& s : stages_) {
        s.seconds = Seconds(s);
    }
}

double JobProgress::Raw() const {
    if (!current_) {
        return 0;
    }
    double all = 0;
    double done = 0;
    for (size_t i = 0; i < stages_.size(); ++i) {
        all += stages_[i].seconds;
        if (i < *current_) {
            done += stages_[i].seconds;
        } else if (i == *current_) {
            done += stages_[i].seconds * Behind(stages_[i]);
        }
    }
    return all > 0 ? done / all : 0;
}

void JobProgress::Anchor() {
    anchor_shown_ = shown_;
    anchor_raw_ = Raw();
}

void JobProgress::Show() {
    const double raw = Raw();
    double mapped = anchor_shown_;
    if (raw > anchor_raw_ && anchor_raw_ < 1) {
        mapped += (raw - anchor_raw_) * (1 - anchor_shown_) / (1 - anchor_raw_);
    }
    shown_ = std::max(shown_, std::min(mapped, succeeded_ ? 1.0 : kUnfinishedCap));
}

void JobProgress::Enter(size_t stage, Clock::time_point now) {
    if (!work_started_) {
        work_started_ = now;
    }
    current_ = stage;
}

void JobProgress::OnPhase(Phase phase, Clock::time_point now) {
    phase_ = phase;
    phase_done_ = 0;
    phase_total_ = 0;
    phase_first_.reset();
    if (phase == Phase::kConnect) {
        return;
    }
    if (!work_started_) {
        work_started_ = now;
    }
    // Only the next stage is entered by its phase alone: an upgrade names the
    // write phase once before its backup and erase, while it writes the record.
    const size_t next = current_ ? *current_ + 1 : 0;
    if (next < stages_.size() && stages_[next].phase == phase) {
        Enter(next, now);
        Show();
    }
}

void JobProgress::OnProgress(uint64_t done, uint64_t total, Clock::time_point now) {
    phase_done_ = done;
    phase_total_ = total;
    if (!phase_first_ || done < phase_done0_) {
        phase_first_ = now;
        phase_done0_ = done;
    }
    phase_last_ = now;

    std::optional<size_t> at;
    if (current_ && stages_[*current_].phase == phase_) {
        at = current_;
    } else if (done > 0) {
        // A count in a later stage's phase: the stages before it are over.
        for (size_t i = current_ ? *current_ + 1 : 0; i < stages_.size() && !at; ++i) {
            if (stages_[i].phase == phase_) {
                at = i;
                Enter(i, now);
            }
        }
    }
    if (!at) {
        return;
    }
    Stage& stage = stages_[*at];
    if (total != stage.total) {
        stage.total = total;
        stage.seconds = Seconds(stage);
        Anchor();
    }
    stage.done = done;
    Show();
}

void JobProgress::OnBlockMap(int block_count, uint32_t block_size) {
    if (block_count <= 0 || block_size == 0 || block_size % geometry_.page_size != 0) {
        return;
    }
    geometry_.block_count = block_count;
    geometry_.block_size = static_cast<int32_t>(block_size);
    Plan();
    Anchor();
}

void JobProgress::OnChip(const NandGeometry& g) {
    if (g.block_count <= 0 || g.page_size <= 0 || g.block_size < g.page_size ||
        g.block_size % g.page_size != 0) {
        return;  // not a chip the job could work on: the defaults stay
    }
    geometry_ = g;
    Plan();
    Anchor();
}

void JobProgress::OnEnd(bool succeeded, Clock::time_point now) {
    ended_ = now;
    if (succeeded) {
        succeeded_ = true;
        shown_ = 1;
    }
}

int JobProgress::percent() const {
    return std::clamp(static_cast<int>(std::floor(shown_ * 100 + 1e-9)), 0, 100);
}

std::optional<double> JobProgress::PhaseRate(Clock::time_point now) const {
    if (!phase_first_ || phase_ == Phase::kConnect || phase_done_ <= phase_done0_) {
        return std::nullopt;
    }
    const double seconds = SecondsOf(now - *phase_first_);
    if (seconds < 1.0) {
        return std::nullopt;
    }
    return static_cast<double>(phase_done_ - phase_done0_) / seconds;
}

std::optional<double> JobProgress::WorkSeconds(Clock::time_point now) const {
    if (!work_started_) {
        return std::nullopt;
    }
    return SecondsOf((ended_ ? *ended_ : now) - *work_started_);
}

std::optional<double> JobProgress::SecondsLeft(Clock::time_point now) const {
    const std::optional<double> spent = WorkSeconds(now);
    if (!spent || ended_ || *spent < 2.0 || shown_ < 0.01) {
        return std::nullopt;
    }
    return *spent * (1 - shown_) / shown_;
}

JobProgress::Moved JobProgress::moved() const {
    Moved m;
    for (size_t i = 0; i < stages_.size(); ++i) {
        const Stage& s = stages_[i];
        const bool over = succeeded_ || (current_ && i < *current_);
        const uint64_t units = over && s.total > 0 ? s.total : s.done;
        switch (s.kind) {
            case Kind::kWrite:
                m.written += units;
                break;
            case Kind::kRead:
                m.read += units;
                break;
            case Kind::kBackup:
                m.backed_up += units;
                break;
            case Kind::kVerify:
                m.verified += units;
                break;
            case Kind::kErase:
            case Kind::kBootBlock:
                break;
        }
    }
    return m;
}

}  // namespace velmora
