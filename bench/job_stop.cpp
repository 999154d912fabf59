// How quickly Stop ends a job, and what a job costs while it waits.
//
// StopWhileWaitingForPhone: a serial job waits for a phone that never
//   announces itself (a pseudo-terminal with nobody on the far side); the time
//   from Stop to the job's end is reported as the iteration time (target: under
//   50 ms).
// StopInTheMiddleOfACommand: the same against the simulated phone, which leaves
//   the IBT command unanswered; Stop comes while the host waits for the answer.
// IdleWaitCpu: the same job left waiting for 10 s; the CPU time the whole
//   process used in that time is reported as cpu_ms (target: under 50 ms).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "job/job_control.h"
#include "sim/phone.h"

namespace {

using Clock = std::chrono::steady_clock;

// The far end of the line, where a phone would be: never says anything.
struct SilentLine {
    SilentLine() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        grantpt(master);
        unlockpt(master);
        path = ptsname(master);
    }
    ~SilentLine() { close(master); }
    int master = -1;
    std::string path;
};

// A job on `line` with the ending signalled through a condition variable.
struct WaitingJob {
    explicit WaitingJob(const std::string& port, const std::string& home = {}) : jobs(nullptr) {
        jobs.on_finished = [this](const velmora::JobOutcome&) {
            std::lock_guard lock(mutex);
            ended_at = Clock::now();
            ended = true;
            cv.notify_all();
        };
        velmora::JobRequest request;
        request.work_mode = velmora::WorkMode::kErase;
        request.range = velmora::EraseRange::kAll;
        request.port = port;
        // The build's folder holds a catalogue, which a job needs to start.
        request.home = home.empty() ? std::string(VELMORA_BIN_DIR) + "/" : home;
        request.timings.response_ms = 600000;  // only Stop ends a wait for an answer
        started = jobs.Start(request).started;
    }
    Clock::time_point StopAndWait() {
        const auto stop_at = Clock::now();
        jobs.Stop();
        std::unique_lock lock(mutex);
        cv.wait(lock, [this] { return ended; });
        const auto end = ended_at;
        lock.unlock();
        jobs.Wait();
        return Clock::time_point(end - stop_at);
    }

    velmora::JobController jobs;
    bool started = false;
    std::mutex mutex;
    std::condition_variable cv;
    bool ended = false;
    Clock::time_point ended_at;
};

double ProcessCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

void StopWhileWaitingForPhone(benchmark::State& state) {
    SilentLine line;
    double worst_ms = 0;
    for (auto _ : state) {
        WaitingJob job(line.path);
        if (!job.started) {
            state.SkipWithError("the job did not start");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // well into the wait
        const auto took = job.StopAndWait().time_since_epoch();
        const double ms = std::chrono::duration<double, std::milli>(took).count();
        worst_ms = std::max(worst_ms, ms);
        state.SetIterationTime(ms / 1e3);
    }
    state.counters["worst_ms"] = worst_ms;
}
BENCHMARK(StopWhileWaitingForPhone)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

void StopInTheMiddleOfACommand(benchmark::State& state) {
    double worst_ms = 0;
    for (auto _ : state) {
        velmora::sim::PhoneOptions options;
        std::string error;
        velmora::sim::ParsePhoneOptions("drop=7", options, error);
        options.catalogue = VELMORA_BIN_DIR;
        options.start_delay_ms = 1;
        velmora::sim::Phone phone(options);
        if (!phone.Start(&error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        WaitingJob job(phone.SlavePath(), std::string(VELMORA_BIN_DIR) + "/");
        const auto seen_ibt = [&] {
            const auto c = phone.trace().Commands();
            return std::find(c.begin(), c.end(), 7) != c.end();
        };
        for (int i = 0; i < 2000 && !seen_ibt(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const auto took = job.StopAndWait().time_since_epoch();
        const double ms = std::chrono::duration<double, std::milli>(took).count();
        worst_ms = std::max(worst_ms, ms);
        state.SetIterationTime(ms / 1e3);
    }
    state.counters["worst_ms"] = worst_ms;
}
BENCHMARK(StopInTheMiddleOfACommand)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

void IdleWaitCpu(benchmark::State& state) {
    SilentLine line;
    for (auto _ : state) {
        const double cpu_before = ProcessCpuMs();
        WaitingJob job(line.path);
        std::this_thread::sleep_for(std::chrono::seconds(10));
        job.StopAndWait();
        state.counters["cpu_ms"] = ProcessCpuMs() - cpu_before;
    }
}
BENCHMARK(IdleWaitCpu)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
