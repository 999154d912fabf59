// Code upgrades and read-backs over the USB link against the simulated phone on
// the USB stand-in.
//
// UsbPaced/Upgrade, UsbPaced/ReadBack: the stand-in paces every bulk transfer at
//   the USB 2.0 high-speed bulk rate (13 packets of 512 bytes per 125 µs
//   microframe, 53.248 MB/s) and the phone takes the chip's erase and program
//   times; a 16 MiB image. `ratio` is the limit (every byte of the work mode's
//   bulk transfers at that rate, plus the chip's busy times) divided by the time
//   the work mode took. Target: at least 0.95.
// UsbUnpaced/Upgrade, UsbUnpaced/ReadBack: no pacing, a 100 MiB image on a
//   128 MiB chip; reports MB/s of image data.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "flash/target_protocol.h"
#include "integration/nand_harness.h"
#include "job/job_control.h"
#include "job/usb_sequence.h"
#include "paced_limit.h"
#include "sim/usb_phone.h"
#include "support/temp_dir.h"
#include "usb/socket_bus.h"

namespace velmora::testing {
namespace {

constexpr size_t kBlock = 0x20000;

// A frame over USB: its bulk transfers, with its data and its answer.
double UsbFrameBytes(const sim::TraceEvent& e) {
    switch (e.command) {
        case kCmdWritePages:
            return kFrameSize + e.args[4] + kFrameSize + 32.0 * e.args[2];
        case kCmdWriteBlock:
            return kFrameSize + e.args[4] + 1;
        case kCmdReadBlock:
            return kFrameSize + static_cast<double>(e.args[1]) * e.args[2] + kFrameSize;
        case kCmdReadPage:
            return kFrameSize + e.args[2] + kFrameSize;
        default:
            return 2 * kFrameSize;
    }
}

// The least the work mode can cost: its bulk bytes at the bus rate, and the chip.
double LimitSeconds(const sim::Trace& trace, const NandGeometry& g, double rate) {
    const WorkModeCost cost = CostOfWorkMode(trace, g, kCmdInitSdi, UsbFrameBytes);
    return cost.bytes / rate + cost.chip_us * 1e-6;
}

class UsbBench {
  public:
    UsbBench(const char* chip, bool pace, size_t image_bytes) {
        home_.Write("FlashChip.ini", TestCatalogue());
        sim::PhoneOptions options;
        options.chip = chip;
        options.catalogue = home_.path();
        options.pace = pace;
        phone_ = std::make_unique<sim::UsbPhone>(options, sim::UsbPhoneOptions{});
        std::string error;
        started_ = phone_->Start(home_.path() + "usb.sock", &error);
        const uint32_t size = static_cast<uint32_t>((image_bytes / kBlock + 1) * kBlock);
        table_ = WriteFirmware(home_.path(), {{"code", kBlock, size, Bytes(image_bytes, 1), 1}},
                               BootImage(2));
    }
    ~UsbBench() { phone_.reset(); }

    bool started() const { return started_; }
    sim::UsbPhone& phone() { return *phone_; }

    int Run(WorkMode mode, EventSink* display, std::string* error) {
        JobRequest request;
        request.link = LinkKind::kUsb;
        request.work_mode = mode;
        request.home = home_.path();
        const auto job = MakeJob(request, Files(request, table_), display);
        usb::UsbJobTimings t;
        t.dlv_settle_ms = 5;
        t.dlv_retry_ms = 5;
        const int r = usb::RunUsbJob(
            *job, std::make_unique<usb::SocketBus>(home_.path() + "usb.sock"), {}, t);
        *error = job->outcome().text;
        return r;
    }

  private:
    TempDir home_;
    std::unique_ptr<sim::UsbPhone> phone_;
    bool started_ = false;
    JobPartitionTable table_;
};

void Paced(benchmark::State& state, bool read_back) {
    UsbBench bench(kChip1024, true, 16 << 20);
    if (!bench.started()) {
        state.SkipWithError("the simulated phone did not start");
        return;
    }
    std::string error;
    for (auto _ : state) {
        if (read_back && bench.Run(WorkMode::kCodeUpgrade, nullptr, &error) != 0) {
            state.SkipWithError(error.c_str());
            return;
        }
        bench.phone().trace().Clear();
        PhaseClock clock;
        if (bench.Run(read_back ? WorkMode::kReadCode : WorkMode::kCodeUpgrade, &clock, &error) !=
            0) {
            state.SkipWithError(error.c_str());
            return;
        }
        state.SetIterationTime(clock.seconds());
        const double limit = LimitSeconds(bench.phone().trace(), bench.phone().nand().geometry(),
                                          sim::kHighSpeedBulkBytesPerSecond);
        state.counters["seconds"] = clock.seconds();
        state.counters["limit_s"] = limit;
        state.counters["ratio"] = limit / clock.seconds();
    }
}

void Unpaced(benchmark::State& state, bool read_back) {
    const size_t image = 100 << 20;
    UsbBench bench(kChip1024, false, image);
    if (!bench.started()) {
        state.SkipWithError("the simulated phone did not start");
        return;
    }
    std::string error;
    for (auto _ : state) {
        if (read_back && bench.Run(WorkMode::kCodeUpgrade, nullptr, &error) != 0) {
            state.SkipWithError(error.c_str());
            return;
        }
        PhaseClock clock;
        if (bench.Run(read_back ? WorkMode::kReadCode : WorkMode::kCodeUpgrade, &clock, &error) !=
            0) {
            state.SkipWithError(error.c_str());
            return;
        }
        state.SetIterationTime(clock.seconds());
        state.counters["MB/s"] = static_cast<double>(image) / 1e6 / clock.seconds();
    }
}

BENCHMARK_CAPTURE(Paced, Upgrade, false)
    ->Name("UsbPaced/Upgrade")
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Paced, ReadBack, true)
    ->Name("UsbPaced/ReadBack")
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Unpaced, Upgrade, false)
    ->Name("UsbUnpaced/Upgrade")
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Unpaced, ReadBack, true)
    ->Name("UsbUnpaced/ReadBack")
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora::testing

BENCHMARK_MAIN();
