// Peak resident memory of velmora-cli for a code upgrade and a read-back of
// 8 MiB and 128 MiB images, against velmora-phone-sim (unpaced, a 256 MiB
// chip of 1024 blocks of 256 KiB) on a pseudo-terminal. Target: under 32 MiB
// for both sizes: the files are streamed block by block, never held whole.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kBlock = 256 * 1024;

pid_t Spawn(const std::vector<std::string>& args, const std::string& log) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Runs a program to its end: exit status and peak resident set in MiB.
std::pair<int, double> RunMeasured(const std::vector<std::string>& args, const std::string& log) {
    const pid_t pid = Spawn(args, log);
    if (pid < 0)
        return {-1, 0};
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss / 1024.0};
}

void WriteFirmware(const std::string& dir, size_t image_bytes) {
    std::vector<uint8_t> boot(0x4000, 0x5A);
    const uint32_t marker = 0x01234567;
    std::memcpy(boot.data() + 0x20, &marker, 4);
    boot[0xFE] = 2;
    std::ofstream(dir + "boot.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(boot.data()),
               static_cast<std::streamsize>(boot.size()));
    std::ofstream code(dir + "code.bin", std::ios::binary);
    std::vector<char> piece(1 << 20);
    uint32_t x = 12345;
    for (size_t done = 0; done < image_bytes; done += piece.size()) {
        for (auto& c : piece) {
            x = x * 1103515245u + 12345u;
            c = static_cast<char>(x >> 24);
        }
        code.write(piece.data(),
                   static_cast<std::streamsize>(std::min(piece.size(), image_bytes - done)));
    }
    char size[16];
    std::snprintf(size, sizeof size, "0x%08zX", (image_bytes / kBlock + 1) * kBlock);
    std::ofstream(dir + "image.ptt")
        << "[partition_table_config_start]\nnumber_of_partition=1\n"
           "BootNand=boot.bin\n\n[partition#01]\npartition_id=0x01\n"
           "partition_name=code\npartition_path=code.bin\n"
           "partition_size="
        << size << "\npartition_offset=0x00040000\npartition_protected=0\n";
}

void CliPeakMemory(benchmark::State& state, size_t mib) {
    velmora::testing::TempDir home;
    std::ofstream(home.path() + "FlashChip.ini")
        << "[VERSION]\nDATE=2026-12-06\nVER=1.0\n\n[EC,20]\nBLOCK_NUM=1024\nBLOCK_SIZE=256\n"
           "PAGE_SIZE=2048\nSPARE_SIZE=64\nERASE_TIME=2000\nWRITE_TIME=200\n";
    WriteFirmware(home.path(), mib << 20);
    const std::string bin = VELMORA_BIN_DIR "/";
    const std::string port = home.path() + "phone";
    const pid_t phone = Spawn(
        {bin + "velmora-phone-sim", "--chip", "EC,20", "--catalogue", home.path(), "--link", port},
        home.path() + "phone.log");
    for (int i = 0; i < 200 && !fs::exists(port); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::vector<std::string> cli = {bin + "velmora-cli", "--home", home.path()};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        auto upgrade = cli;
        upgrade.insert(upgrade.end(),
                       {"upgrade", "--ptt", home.path() + "image.ptt", "--port", port});
        const auto [upgrade_status, upgrade_mib] =
            RunMeasured(upgrade, home.path() + "upgrade.log");
        auto read = cli;
        read.insert(read.end(), {"read", "--range", "ptt", "--port", port});
        const auto [read_status, read_mib] = RunMeasured(read, home.path() + "read.log");
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        const auto read_size = fs::file_size(home.path() + "upload_nand/parti_01_code");
        if (upgrade_status != 0 || read_status != 0 || read_size != (mib << 20)) {
            state.SkipWithError("a job failed: see upgrade.log and read.log");
        }
        state.counters["upgrade_peak_MiB"] = upgrade_mib;
        state.counters["read_peak_MiB"] = read_mib;
    }
    kill(phone, SIGTERM);
    waitpid(phone, nullptr, 0);
}

BENCHMARK_CAPTURE(CliPeakMemory, Image8MiB, 8)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(CliPeakMemory, Image128MiB, 128)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
