// SIGINT at a random moment of a code upgrade, many times over.
//
// Each run starts `velmora-cli upgrade` against a simulated phone that paces
// its line at 921600 baud and keeps its chip in a file, sends SIGINT after a
// random delay (a quarter of the runs within the first 50 ms, while the program
// is still starting; the rest anywhere in the job), and then reads block 0 from
// the chip file. Every run must end stopped (130, or killed by the signal before
// main() could take it) or done (0), and block 0 must hold either the previous
// boot block or the whole new one. The counters give
// the outcomes; any other outcome fails the benchmark.
//
//   bench_sigint_upgrade --benchmark_filter=SigintAtRandom   (RUNS=48 by default)
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "config/chip_catalogue.h"
#include "integration/cli_process.h"
#include "integration/nand_harness.h"
#include "sim/nand.h"

namespace {

namespace fs = std::filesystem;
using velmora::testing::BootImage;
using velmora::testing::Bytes;

constexpr size_t kBlock = 0x20000;
constexpr int kKilledAtStart = 1000;

struct Bench {
    Bench() {
        dir.Copy(VELMORA_BIN_DIR "/FlashChip.ini");
        boot = BootImage(2);
        velmora::testing::WriteSmallFirmware(home, boot, 0x30000, 2);
        velmora::LookupChip(home, "EC,A1", chip.geometry);
    }

    // The chip before a run: a recognisable old boot block.
    bool ResetChip() {
        fs::remove(home + "phone.nand");
        velmora::sim::NandChip nand;
        if (!nand.Open(chip, home + "phone.nand").empty())
            return false;
        nand.WriteBlock(0, old_boot, false);
        nand.Sync();
        return true;
    }

    enum class Block0 { kOld, kNew, kDamaged };
    Block0 ReadBlock0() const {
        velmora::sim::NandChip nand;
        if (!nand.Open(chip, home + "phone.nand").empty())
            return Block0::kDamaged;
        const auto b = nand.ReadBlock(0, false);
        if (b == old_boot)
            return Block0::kOld;
        // The new image: the boot file with the tables stamped at 0x400 to 0xFFF.
        const bool same = std::equal(boot.begin(), boot.begin() + 0x400, b.begin()) &&
                          std::equal(boot.begin() + 0x1000, boot.end(), b.begin() + 0x1000) &&
                          std::all_of(b.begin() + static_cast<std::ptrdiff_t>(boot.size()), b.end(),
                                      [](uint8_t x) { return x == 0xFF; });
        return same ? Block0::kNew : Block0::kDamaged;
    }

    // One run; the exit status, or -1 when the program did not exit normally.
    int Run(std::chrono::milliseconds delay) {
        pid_t pid = -1;
        if (velmora::testing::SpawnCli(home,
                                       {"upgrade", "--ptt", home + "fw.ptt", "--range", "code",
                                        "--port", "sim:pace,nand=" + home + "phone.nand"},
                                       "/dev/null", "/dev/null", &pid) != 0)
            return -1;
        std::this_thread::sleep_for(delay);
        kill(pid, SIGINT);
        int status = 0;
        waitpid(pid, &status, 0);
        // A signal before main() runs ends the program as the default action
        // does; nothing was touched, and a shell reports it as 130 too.
        if (WIFSIGNALED(status) && WTERMSIG(status) == SIGINT)
            return kKilledAtStart;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    velmora::testing::TempDir dir;
    const std::string home = dir.path();
    std::vector<uint8_t> boot;
    std::vector<uint8_t> old_boot = Bytes(kBlock, 99);
    velmora::sim::ChipDescription chip;
};

void SigintAtRandom(benchmark::State& state) {
    Bench bench;
    const char* runs_text = std::getenv("RUNS");
    const int runs = runs_text ? std::atoi(runs_text) : 48;
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> early(0, 50), anywhere(0, 6500);
    int stopped = 0, killed = 0, done = 0, other_exit = 0, old_block = 0, new_block = 0,
        damaged = 0;
    for (auto _ : state) {
        for (int i = 0; i < runs; ++i) {
            if (!bench.ResetChip()) {
                state.SkipWithError("cannot prepare the chip file");
                return;
            }
            const int ms = i % 4 == 0 ? early(random) : anywhere(random);
            const int exit = bench.Run(std::chrono::milliseconds(ms));
            stopped += exit == 130;
            killed += exit == kKilledAtStart;
            done += exit == 0;
            other_exit += exit != 0 && exit != 130 && exit != kKilledAtStart;
            const Bench::Block0 block0 = bench.ReadBlock0();
            std::fprintf(stderr, "run %2d: SIGINT after %4d ms: exit %d, block 0 %s\n", i + 1, ms,
                         exit,
                         block0 == Bench::Block0::kOld   ? "old"
                         : block0 == Bench::Block0::kNew ? "new"
                                                         : "DAMAGED");
            switch (block0) {
                case Bench::Block0::kOld:
                    ++old_block;
                    break;
                case Bench::Block0::kNew:
                    ++new_block;
                    break;
                case Bench::Block0::kDamaged:
                    ++damaged;
                    break;
            }
        }
    }
    state.counters["runs"] = runs;
    state.counters["stopped"] = stopped;
    state.counters["killed_before_main"] = killed;
    state.counters["done"] = done;
    state.counters["other_exit"] = other_exit;
    state.counters["old_boot_block"] = old_block;
    state.counters["new_boot_block"] = new_block;
    state.counters["damaged_boot_block"] = damaged;
    if (other_exit != 0 || damaged != 0)
        state.SkipWithError("a run ended other than stopped or done, or left block 0 damaged");
}
BENCHMARK(SigintAtRandom)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
