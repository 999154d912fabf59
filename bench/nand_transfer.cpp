// Full code upgrades and read-backs against the simulated phone.
//
// Paced/Upgrade, Paced/ReadBack: the phone paces its bytes at 921600 baud and
//   takes the chip's erase and program times; a 2 MiB image. Reports the time
//   of the work mode (from the dispatch to the job's end) and `ratio`: the
//   physical limit (the bytes that crossed the wire × 10 / baud, plus the chip's
//   erase and program times) divided by that time. Target: at least 0.97.
// Paced/UpgradeBackupVerify: the same upgrade with --backup and --verify, beside
//   the plain one: `backup_s`, `write_s` (erase, partitions, block 0),
//   `verify_s`, the whole time against the plain upgrade's (`vs_plain`),
//   `backup_ratio` and `verify_ratio`: each one's own wire time (every block it
//   read, the backup's EEROM twice) divided by the time it took. Target: the verify adds no more
//   than its read-back's wire time (verify_ratio at least 0.97).
// Unpaced/Upgrade, Unpaced/ReadBack: an unpaced phone with a 128 MiB chip and a
//   100 MiB image. Reports MB/s and the job thread's CPU seconds per MiB.
//   Target: above 20 MB/s.
// The peak memory of velmora-cli is measured by bench_nand_cli_memory.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>

#include "integration/nand_harness.h"
#include "paced_limit.h"

namespace velmora::testing {
namespace {

constexpr size_t kBlock = 0x20000;

void SetImage(SimHarness& sim, size_t image_bytes) {
    const uint32_t blocks = static_cast<uint32_t>(image_bytes / kBlock + 1);
    sim.SetFirmware(
        {{"code", uint32_t{kBlock}, blocks * uint32_t{kBlock}, Bytes(image_bytes, 1), 1}},
        BootImage(2));
}

NandGeometry GeometryOf(SimHarness& sim) {
    return sim.nand().geometry();
}

void Paced(benchmark::State& state, bool read_back) {
    SimHarness sim(kChip128, {}, [](sim::PhoneOptions& o) { o.pace = true; });
    SetImage(sim, 2 * 1024 * 1024);
    auto real_timings = [](DownloadJob& job) { job.mutable_timings() = JobTimings{}; };
    for (auto _ : state) {
        if (read_back && sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll, real_timings) != 0) {
            state.SkipWithError("upgrade failed");
            return;
        }
        sim.phone->trace().Clear();
        PhaseClock clock;
        const int result =
            read_back
                ? sim.Run(WorkMode::kReadCode, ReadRange::kPartitionTable, real_timings, &clock)
                : sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll, real_timings, &clock);
        if (result != 0) {
            state.SkipWithError(sim.job->outcome().text.c_str());
            return;
        }
        state.SetIterationTime(clock.seconds());
        const double limit = PhysicalLimitSeconds(sim.phone->trace(), GeometryOf(sim), 921600);
        state.counters["seconds"] = clock.seconds();
        state.counters["limit_s"] = limit;
        state.counters["ratio"] = limit / clock.seconds();
    }
}

// The moment each phase began, and the job's end.
class PhaseTimes : public EventSink {
  public:
    void OnPhase(Phase phase) override { begun.emplace_back(phase, Clock::now()); }
    void OnEnd(const JobEnd&) override { end = Clock::now(); }
    // Seconds from the first phase in `from` to the first phase after it that is
    // not in `from` (or the end).
    double Span(std::initializer_list<Phase> from) const {
        std::optional<Clock::time_point> a;
        for (const auto& [phase, at] : begun) {
            const bool in = std::find(from.begin(), from.end(), phase) != from.end();
            if (in && !a)
                a = at;
            if (!in && a)
                return std::chrono::duration<double>(at - *a).count();
        }
        return a ? std::chrono::duration<double>(end - *a).count() : 0;
    }
    std::vector<std::pair<Phase, Clock::time_point>> begun;
    Clock::time_point end;
};

void PacedBackupVerify(benchmark::State& state) {
    auto real_timings = [](DownloadJob& job) { job.mutable_timings() = JobTimings{}; };
    for (auto _ : state) {
        SimHarness plain(kChip128, {}, [](sim::PhoneOptions& o) { o.pace = true; });
        SetImage(plain, 2 * 1024 * 1024);
        PhaseClock plain_clock;
        if (plain.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll, real_timings, &plain_clock) !=
            0) {
            state.SkipWithError(plain.job->outcome().text.c_str());
            return;
        }
        SimHarness net(kChip128, {}, [](sim::PhoneOptions& o) { o.pace = true; });
        SetImage(net, 2 * 1024 * 1024);
        PhaseTimes times;
        const std::string folder = net.home.path() + "backup/";
        const int result = net.Run(
            WorkMode::kCodeUpgrade, UpgradeRange::kAll,
            [&](DownloadJob& job) {
                job.mutable_timings() = JobTimings{};
                job.backup_folder = folder;
                job.verify = true;
            },
            &times);
        if (result != 0) {
            state.SkipWithError(net.job->outcome().text.c_str());
            return;
        }
        const double whole = times.Span(
            {Phase::kBackup, Phase::kErase, Phase::kWrite, Phase::kBootBlock, Phase::kVerify});
        const double verify = times.Span({Phase::kVerify});
        double verify_bytes = 0;
        const NandGeometry g = GeometryOf(net);
        for (const WrittenBlock& w : net.job->written()) {
            const double page = g.page_size + (w.with_spare ? g.spare_size : 0);
            verify_bytes += page * (g.block_size / g.page_size) + 2 * kFrameSize;
        }
        state.SetIterationTime(whole);
        state.counters["plain_s"] = plain_clock.seconds();
        state.counters["seconds"] = whole;
        state.counters["vs_plain"] = whole / plain_clock.seconds();
        // The backup's wire time: every block it read, with its frames; the EEROM
        // is read twice before an erase.
        double backup_bytes = 0;
        const double raw = (g.page_size + g.spare_size) * (g.block_size / g.page_size);
        for (const auto& f : std::filesystem::directory_iterator(folder)) {
            const std::string name = f.path().filename().string();
            if (name != "manifest.json" && name != "record.bin") {
                const double reads = name == "eerom.bin" ? 2 : 1;
                backup_bytes +=
                    reads * static_cast<double>(f.file_size()) * (raw + 2 * kFrameSize) / raw;
            }
        }
        const double backup = times.Span({Phase::kBackup});
        state.counters["backup_s"] = backup;
        state.counters["backup_ratio"] = backup_bytes * 10 / 921600 / backup;
        state.counters["write_s"] = whole - backup - verify;
        state.counters["verify_s"] = verify;
        state.counters["verify_ratio"] = verify_bytes * 10 / 921600 / verify;
        state.counters["verified_blocks"] = static_cast<double>(net.job->written().size());
    }
}

void Unpaced(benchmark::State& state, bool read_back) {
    SimHarness sim(kChip1024);
    const size_t image = 100 * 1024 * 1024;
    SetImage(sim, image);
    for (auto _ : state) {
        if (read_back && sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll) != 0) {
            state.SkipWithError("upgrade failed");
            return;
        }
        PhaseClock clock;
        const int result =
            read_back ? sim.Run(WorkMode::kReadCode, ReadRange::kPartitionTable, {}, &clock)
                      : sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll, {}, &clock);
        if (result != 0) {
            state.SkipWithError(sim.job->outcome().text.c_str());
            return;
        }
        state.SetIterationTime(clock.seconds());
        const double mib = static_cast<double>(image) / (1024.0 * 1024.0);
        state.counters["MB_per_s"] = static_cast<double>(image) / 1e6 / clock.seconds();
        state.counters["cpu_s_per_MiB"] = clock.cpu() / mib;
    }
}

BENCHMARK_CAPTURE(Paced, Upgrade, false)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(Paced, ReadBack, true)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(PacedBackupVerify)
    ->Name("Paced/UpgradeBackupVerify")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(Unpaced, Upgrade, false)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(Unpaced, ReadBack, true)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace velmora::testing

BENCHMARK_MAIN();
