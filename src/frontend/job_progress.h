#pragma once
// One bar over a whole job. A job reports each phase with a count of its own
// (bytes, or blocks for an erase) that starts again at zero; shown as it comes
// the bar falls back between phases and stops short where a count does. Here
// the job's stages (backup, erase, write, boot block, verify, read) are weighted
// by the time each should take: the wire time of its bytes at the link's rate
// plus the chip's erase and program times. The bar then moves at an even pace
// from the first stage to the last, never back, and reaches 100 % only when the
// job has succeeded. The front ends feed it the job's events with the time
// each came.
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/events.h"
#include "base/link_kind.h"
#include "config/chip_catalogue.h"
#include "job/job_control.h"

namespace velmora {

// A partition of the table an upgrade writes.
struct PlannedPartition {
    uint32_t offset = 0;   // NAND byte address
    uint32_t size = 0;     // bytes it spans
    uint32_t content = 0;  // bytes of its file
};

// What the bar needs to know of a job before it starts.
struct ProgressRequest {
    WorkMode work_mode = WorkMode::kCodeUpgrade;
    WorkRange range;
    uint32_t range_start = 0;  // an area's first and last byte address
    uint32_t range_end = 0;
    bool backup = false;      // upgrade, erase: a backup comes first
    bool verify = false;      // upgrade, restore: a read-back follows
    bool read_twice = false;  // read, backup: every block is read twice
    bool read_once = false;   // the backup before an erase reads the EEROM once, not twice
    LinkKind link = LinkKind::kSerial;
    double line_rate = 0;                      // the link's bytes per second
    uint64_t boot_bytes = 0;                   // upgrade: the boot image
    std::vector<PlannedPartition> partitions;  // upgrade: the table's partitions
};

// The link's rate in bytes per second: serial, the baud rate at 10 bits a byte
// (start, 8 data bits, stop); USB, a high-speed bulk pipe's.
double LineRate(LinkKind link, int baud_selection);
// The request's figures. An upgrade's table is read from its file; one that
// does not load leaves the partitions out (the job then refuses to start).
ProgressRequest ProgressRequestOf(const JobRequest& request);

class JobProgress {
  public:
    using Clock = std::chrono::steady_clock;

    explicit JobProgress(ProgressRequest request);

    void OnPhase(Phase phase, Clock::time_point now);
    void OnProgress(uint64_t done, uint64_t total, Clock::time_point now);
    // The chip as identified: its block count and size, and (once the
    // catalogue's entry is known) its page size, erase and program times.
    void OnBlockMap(int block_count, uint32_t block_size);
    void OnChip(const NandGeometry& geometry);
    void OnEnd(bool succeeded, Clock::time_point now);

    // 0..1 over the whole job: never less than before, 1 only after success.
    double fraction() const { return shown_; }
    int percent() const;
    Phase phase() const { return phase_; }
    // The phase's own count as the job gave it.
    uint64_t phase_done() const { return phase_done_; }
    uint64_t phase_total() const { return phase_total_; }
    // Units of the phase per second since its first count, once a second of
    // it has passed.
    std::optional<double> PhaseRate(Clock::time_point now) const;
    bool started() const { return work_started_.has_value(); }
    // Seconds from the start of the work (the phone connected and its chip
    // known) to the end, or to `now` while it runs; none before it started.
    std::optional<double> WorkSeconds(Clock::time_point now) const;
    // The seconds left as the bar's pace so far tells them, once it can tell.
    std::optional<double> SecondsLeft(Clock::time_point now) const;
    const ProgressRequest& request() const { return request_; }
    const NandGeometry& geometry() const { return geometry_; }

    // What the job moved over the link, as far as its counts tell.
    struct Moved {
        uint64_t written = 0;    // partitions and boot image, or a restore's blocks
        uint64_t read = 0;       // a read's files
        uint64_t backed_up = 0;  // the backup's files
        uint64_t verified = 0;   // read back and compared
    };
    Moved moved() const;

  private:
    enum class Kind { kBackup, kErase, kWrite, kBootBlock, kVerify, kRead };
    struct Stage {
        Kind kind;
        Phase phase;  // the phase whose counts it takes
        double seconds = 0;
        uint64_t done = 0;
        uint64_t total = 0;  // 0 until its first count
    };

    void Plan();
    double Seconds(const Stage& stage) const;
    double ReadTwiceFirst(const Stage& stage) const;  // units at the start that are read twice
    double Behind(const Stage& stage) const;          // the share of its time it has behind it
    double EstimatedUnits(Kind kind) const;
    double Raw() const;
    // Keeps the bar where it is when the weights change: what is left of it
    // is then shared out by the new weights.
    void Anchor();
    void Show();
    void Enter(size_t stage, Clock::time_point now);
    int CodeTop() const;
    uint64_t BlockBytes() const;

    ProgressRequest request_;
    NandGeometry geometry_;
    std::vector<Stage> stages_;
    std::optional<size_t> current_;  // the stage the job is in
    bool succeeded_ = false;
    Phase phase_ = Phase::kConnect;
    uint64_t phase_done_ = 0;
    uint64_t phase_total_ = 0;
    std::optional<Clock::time_point> phase_first_;  // the phase's first count
    uint64_t phase_done0_ = 0;
    Clock::time_point phase_last_{};
    std::optional<Clock::time_point> work_started_;
    std::optional<Clock::time_point> ended_;
    double shown_ = 0;
    double anchor_shown_ = 0;
    double anchor_raw_ = 0;
};

}  // namespace velmora
