// The bar over a whole job and the account of what a job did to the phone, on
// jobs recorded against the simulated phone at the line's pace (921600 baud, a
// chip of 256 blocks of 16 KiB with 512 + 16 byte pages, 2 ms to erase a block,
// 200 us to program a page): the sample firmware's upgrade with a backup and a
// verify, a read of it, an erase of its code area with a backup, and an upgrade
// stopped by Ctrl-C while it wrote the second partition.
#include <gtest/gtest.h>

#include <cmath>

#include "frontend/job_ledger.h"
#include "frontend/job_progress.h"
#include "support/recorded_events.h"

namespace velmora::testing {
namespace {

using Clock = JobProgress::Clock;

std::vector<RecordedEvent> Recorded(const std::string& name) {
    return ReadRecordedEvents(std::string(VELMORA_SOURCE_DIR) + "/tests/frontend/fixtures/" + name +
                              ".events");
}

NandGeometry RecordedChip() {
    NandGeometry g;
    g.block_count = 256;
    g.block_size = 16 * 1024;
    g.page_size = 512;
    g.spare_size = 16;
    g.erase_time = 2000;
    g.write_time = 200;
    return g;
}

// The sample firmware's table, as the upgrade's request gives it.
ProgressRequest Request(WorkMode mode, WorkRange range) {
    ProgressRequest r;
    r.work_mode = mode;
    r.range = range;
    r.line_rate = LineRate(LinkKind::kSerial, 2);
    r.backup = mode != WorkMode::kReadCode;
    r.verify = mode == WorkMode::kCodeUpgrade;
    r.boot_bytes = 16384;
    r.partitions = {
        {0x20000, 0x100000, 655360}, {0x120000, 0x80000, 196608}, {0x1A0000, 0x100000, 405504}};
    return r;
}

// Feeds a job's events to a JobProgress, the chip's times given when the job
// identifies it, or (`chip_late`) only once the job writes.
class Feed : public EventSink {
  public:
    Feed(ProgressRequest request, bool chip_late = false)
        : progress(std::move(request)), chip_late_(chip_late) {}

    void OnPhase(Phase phase) override {
        if (phase != Phase::kConnect && !started)
            started = now;  // the work begins once the phone is connected
        progress.OnPhase(phase, now);
        if (chip_late_ && phase == Phase::kWrite)
            progress.OnChip(RecordedChip());
    }
    void OnProgress(uint64_t done, uint64_t total) override {
        progress.OnProgress(done, total, now);
        percents.push_back(progress.percent());
        times.push_back(now);
        fractions.push_back(progress.fraction());
    }
    void OnChip(const std::optional<std::array<uint8_t, 4>>& id) override {
        if (id && !chip_late_)
            progress.OnChip(RecordedChip());
    }
    void OnBlockMap(int blocks, uint32_t size) override {
        if (!chip_late_)
            progress.OnBlockMap(blocks, size);
    }
    void OnEnd(const JobEnd& end) override { progress.OnEnd(end.result == 0, now); }

    JobProgress progress;
    Clock::time_point now{};
    std::optional<Clock::time_point> started;
    std::vector<int> percents;
    std::vector<Clock::time_point> times;
    std::vector<double> fractions;

  private:
    bool chip_late_;
};

void Play(Feed& feed, const std::vector<RecordedEvent>& events) {
    Replay(events, feed, [&](std::chrono::milliseconds at) { feed.now = Clock::time_point(at); });
}

struct Job {
    const char* name;
    WorkMode mode;
    WorkRange range;
};
const Job kJobs[] = {{"upgrade", WorkMode::kCodeUpgrade, UpgradeRange::kAll},
                     {"read", WorkMode::kReadCode, ReadRange::kPartitionTable},
                     {"erase", WorkMode::kErase, EraseRange::kCode}};

TEST(JobProgress, RecordedJobsMoveOnlyForwardAndEndAtHundred) {
    for (const Job& job : kJobs) {
        for (const bool chip_late : {false, true}) {
            SCOPED_TRACE(std::string(job.name) + (chip_late ? ", chip told late" : ""));
            Feed feed(Request(job.mode, job.range), chip_late);
            const auto events = Recorded(job.name);
            ASSERT_GT(events.size(), 20u);
            Play(feed, events);
            ASSERT_FALSE(feed.percents.empty());
            for (size_t i = 1; i < feed.percents.size(); ++i) {
                ASSERT_GE(feed.fractions[i], feed.fractions[i - 1]) << "event " << i;
            }
            EXPECT_LT(feed.percents.back(), 100) << "100 % only once the job has succeeded";
            EXPECT_GE(feed.percents.back(), 90);
            EXPECT_EQ(feed.progress.percent(), 100);
        }
    }
}

// Weighted by their expected time, the stages share the bar as they share the
// job's time: a stage that takes half the time takes half the bar, whether it
// counts bytes or blocks.
TEST(JobProgress, TheBarKeepsPaceWithTheWork) {
    for (const Job& job : kJobs) {
        SCOPED_TRACE(job.name);
        Feed feed(Request(job.mode, job.range));
        Play(feed, Recorded(job.name));
        const Clock::time_point end = feed.now;
        const Clock::time_point started = feed.started.value();
        double worst = 0;
        for (size_t i = 0; i < feed.times.size(); ++i) {
            if (feed.times[i] < started)
                continue;  // the connect phase's steps
            const double elapsed = std::chrono::duration<double>(feed.times[i] - started) /
                                   std::chrono::duration<double>(end - started);
            worst = std::max(worst, std::abs(feed.fractions[i] - elapsed));
            printf("%s %zu t=%.3f f=%.3f\n", job.name, i, elapsed, feed.fractions[i]);
        }
        EXPECT_LT(worst, 0.05);
    }
}

TEST(JobProgress, TheCountsTellWhatTheJobMoved) {
    Feed upgrade(Request(WorkMode::kCodeUpgrade, UpgradeRange::kAll));
    Play(upgrade, Recorded("upgrade"));
    const JobProgress::Moved m = upgrade.progress.moved();
    EXPECT_EQ(m.written, 16384u + 655360 + 196608 + 405504);  // the boot image and partitions
    EXPECT_EQ(m.backed_up, 256u * (16384 + 32 * 16));         // every block, spare bytes and all
    EXPECT_GE(m.verified, m.written);
    EXPECT_EQ(m.read, 0u);
    EXPECT_GT(*upgrade.progress.WorkSeconds(upgrade.now), 60.0);
}

TEST(JobLedger, AStoppedUpgradeTellsWhatThePhoneHolds) {
    struct Feed : EventSink {
        explicit Feed(ProgressRequest r) : ledger(std::move(r)) {}
        void OnPhase(Phase p) override { ledger.OnPhase(p); }
        void OnStatus(const std::string& t) override { ledger.OnStatus(t); }
        void OnBlockMap(int n, uint32_t size) override { ledger.OnBlockMap(n, size); }
        void OnBlock(int b, BlockState s) override { ledger.OnBlock(b, s); }
        JobLedger ledger;
    };
    ProgressRequest request = Request(WorkMode::kCodeUpgrade, UpgradeRange::kAll);
    request.backup = false;
    Feed stopped(request);
    Replay(Recorded("stopped-upgrade"), stopped);
    const PhoneState s = stopped.ledger.State(true);
    EXPECT_TRUE(s.changed);
    EXPECT_EQ(s.boot, PhoneState::Boot::kKept);
    EXPECT_EQ(s.written, std::vector<int>{1});
    EXPECT_EQ(s.partly_written, std::vector<int>{2});
    EXPECT_EQ(s.erased, std::vector<int>{3});
    // Between block 0 and the first partition, and the file system's blocks.
    EXPECT_EQ(NumberRanges(s.erased_blocks), "1..7, 168..181");
    EXPECT_EQ(s.interrupted, 77);  // a block of partition 2 (blocks 72 to 103)
    EXPECT_FALSE(s.all_written);
    EXPECT_FALSE(stopped.ledger.State(false).interrupted) << "only a stop interrupts";

    // A whole upgrade: every partition and block 0 written; its backup came first.
    Feed whole(Request(WorkMode::kCodeUpgrade, UpgradeRange::kAll));
    Replay(Recorded("upgrade"), whole);
    const PhoneState w = whole.ledger.State(false);
    EXPECT_TRUE(w.all_written);
    EXPECT_TRUE(w.backup_complete);
    EXPECT_EQ(w.boot, PhoneState::Boot::kWritten);

    // A read changes nothing.
    Feed read(Request(WorkMode::kReadCode, ReadRange::kPartitionTable));
    Replay(Recorded("read"), read);
    EXPECT_FALSE(read.ledger.State(true).changed);
}

}  // namespace
}  // namespace velmora::testing
