#pragma once
// What the paced benchmarks time (a job's work mode) and the least it can cost
// (its bytes on the link and the chip's busy times), counted from the phone's
// trace.
#include <time.h>

#include <chrono>
#include <cstddef>

#include "integration/nand_harness.h"

namespace velmora::testing {

using Clock = std::chrono::steady_clock;

inline double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Times the work mode: from the dispatch (the percentage display comes on) to
// the job's end (the bar turns green or red), in wall time and in the job
// thread's CPU time.
class PhaseClock : public EventSink {
  public:
    // The work mode begins with its first phase after the connection.
    void OnPhase(Phase phase) override {
        if (phase != Phase::kConnect && !started) {
            started = true;
            start = Clock::now();
            cpu_start = ThreadCpuSeconds();
        }
    }
    void OnEnd(const JobEnd&) override {
        if (started) {
            end = Clock::now();
            cpu_end = ThreadCpuSeconds();
        }
    }
    double seconds() const { return std::chrono::duration<double>(end - start).count(); }
    double cpu() const { return cpu_end - cpu_start; }

    bool started = false;
    Clock::time_point start, end;
    double cpu_start = 0, cpu_end = 0;
};

struct WorkModeCost {
    double bytes = 0;    // on the link, both ways
    double chip_us = 0;  // the chip's erase and program times
};

// The work mode's cost: the frames after the last `first_after` frame (the
// last command before the dispatch), each one's bytes by `frame_bytes` (the
// frame, its data and its answer), and every erase and program the chip did.
inline WorkModeCost CostOfWorkMode(const sim::Trace& trace, const NandGeometry& g, int first_after,
                                   double (*frame_bytes)(const sim::TraceEvent&)) {
    const auto events = trace.Events();
    size_t from = 0;
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].kind == "frame" && events[i].command == first_after)
            from = i + 1;
    }
    WorkModeCost cost;
    for (size_t i = from; i < events.size(); ++i) {
        const sim::TraceEvent& e = events[i];
        if (e.kind == "erase") {
            cost.chip_us += g.erase_time;
        } else if (e.kind == "program") {
            cost.chip_us += static_cast<double>(g.write_time) * static_cast<double>(e.count);
        }
        if (e.kind == "frame")
            cost.bytes += frame_bytes(e);
    }
    return cost;
}

// A frame on the serial line, with its data and its answer.
inline double SerialFrameBytes(const sim::TraceEvent& e) {
    switch (e.command) {
        case kCmdWritePages:
            return kFrameSize + e.args[4] + kFrameSize;
        case kCmdWriteBlock:
            return kFrameSize + e.args[4] + 1;
        case kCmdErase:
            return kFrameSize + 1;
        case kCmdReadBlock:
            return kFrameSize + static_cast<double>(e.args[1]) * e.args[2] + kFrameSize;
        case kCmdReadPage:
            return kFrameSize + e.args[2] + kFrameSize;
        default:
            return 2 * kFrameSize;
    }
}

// What the work mode must cost at least on a serial line of `baud`: every byte
// of its commands and answers on the wire (ten bits each), and the chip's busy
// times.
inline double PhysicalLimitSeconds(const sim::Trace& trace, const NandGeometry& g, double baud) {
    const WorkModeCost cost = CostOfWorkMode(trace, g, kCmdReadMgmtRecord, SerialFrameBytes);
    return cost.bytes * 10 / baud + cost.chip_us * 1e-6;
}

}  // namespace velmora::testing
