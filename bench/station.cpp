// A station of paced simulated phones upgraded at once.
//
// Station/8, Station/16: that many phones, each paced at 921600 baud with the
//   chip's erase and program times, each given a 2 MiB image by its own slot.
//   For every slot: the time of its work mode (from the dispatch to the job's
//   end) against its own physical limit (the bytes that crossed its wire × 10 /
//   baud, plus its chip's erase and program times): `ratio_N`, and the lowest
//   of them, `ratio_min` (target: at least 0.97). `host_cpu_ms_per_slot`: the
//   CPU time of the slots' job threads, averaged; `process_cpu_ms_per_slot`:
//   getrusage over the whole run (host and simulated phones alike) per slot.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>

#include "integration/nand_harness.h"
#include "paced_limit.h"
#include "station/station.h"

namespace velmora::testing {
namespace {

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void StationOfPacedPhones(benchmark::State& state) {
    const int slots = static_cast<int>(state.range(0));
    TempDir home;
    home.Write("FlashChip.ini", TestCatalogue());
    const std::string ptt = WriteSmallFirmware(home.path(), BootImage(2), 2 * 1024 * 1024, 17);
    for (auto _ : state) {
        std::vector<std::unique_ptr<sim::Phone>> phones;
        StationRequest request;
        for (int i = 0; i < slots; ++i) {
            sim::PhoneOptions o;
            o.chip = kChip128;
            o.catalogue = home.path();
            o.pace = true;
            phones.push_back(std::make_unique<sim::Phone>(o));
            std::string error;
            if (!phones.back()->Start(&error)) {
                state.SkipWithError(error.c_str());
                return;
            }
            request.ports.push_back(phones.back()->SlavePath());
        }
        request.job.home = home.path();
        request.job.ptt_path = ptt;
        std::vector<PhaseClock> clocks(static_cast<size_t>(slots));
        std::vector<EventSink*> sinks;
        for (auto& c : clocks)
            sinks.push_back(&c);

        Station station;
        const double cpu0 = ProcessCpuSeconds();
        const auto wall0 = Clock::now();
        if (const StationStart s = station.Start(request, sinks); !s.started) {
            state.SkipWithError(s.message.c_str());
            return;
        }
        station.Wait();
        const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
        const double cpu = ProcessCpuSeconds() - cpu0;
        if (station.failed() != 0) {
            state.SkipWithError(station.Slot(0).last_text.c_str());
            return;
        }
        double ratio_min = 1e9, host_cpu = 0, slowest = 0;
        for (int i = 0; i < slots; ++i) {
            const auto& c = clocks[static_cast<size_t>(i)];
            const double limit =
                PhysicalLimitSeconds(phones[static_cast<size_t>(i)]->trace(),
                                     phones[static_cast<size_t>(i)]->nand().geometry(), 921600);
            const double ratio = limit / c.seconds();
            state.counters["ratio_" + std::to_string(i + 1)] = ratio;
            ratio_min = std::min(ratio_min, ratio);
            slowest = std::max(slowest, c.seconds());
            host_cpu += c.cpu();
            if (i == 0)
                state.counters["limit_s"] = limit;
        }
        state.SetIterationTime(wall);
        state.counters["slowest_s"] = slowest;
        state.counters["ratio_min"] = ratio_min;
        state.counters["host_cpu_ms_per_slot"] = host_cpu / slots * 1000;
        state.counters["process_cpu_ms_per_slot"] = cpu / slots * 1000;
    }
}

BENCHMARK(StationOfPacedPhones)
    ->Arg(8)
    ->Arg(16)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace velmora::testing

BENCHMARK_MAIN();
