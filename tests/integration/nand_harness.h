#pragma once
// Whole serial jobs against the simulated phone, with a home folder whose
// FlashChip.ini lists small test chips, and firmware made on the fly.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "flash/target_protocol.h"
#include "job/download_job.h"
#include "job/job_control.h"
#include "job/recording_display.h"
#include "job/serial_sequence.h"
#include "sim/phone.h"
#include "support/temp_dir.h"

namespace velmora::testing {

// Chips of the test catalogue: 128 blocks, 1024 blocks, 2048 blocks of 128 KiB
// with 2048 + 64 byte pages, and 1024 small-page blocks of 16 KiB.
inline constexpr const char* kChip128 = "EC,10";
inline constexpr const char* kChip1024 = "EC,11";
inline constexpr const char* kChip2048 = "EC,12";
inline constexpr const char* kSmallPage = "20,13";

inline std::string TestCatalogue() {
    auto entry = [](const char* key, int blocks, int kib, int page, int spare) {
        return std::string("[") + key + "]\nBLOCK_NUM=" + std::to_string(blocks) +
               "\nBLOCK_SIZE=" + std::to_string(kib) + "\nPAGE_SIZE=" + std::to_string(page) +
               "\nSPARE_SIZE=" + std::to_string(spare) + "\nERASE_TIME=2000\nWRITE_TIME=200\n\n";
    };
    return "[VERSION]\nDATE=2026-12-06\nVER=1.0\n\n" + entry(kChip128, 128, 128, 2048, 64) +
           entry(kChip1024, 1024, 128, 2048, 64) + entry(kChip2048, 2048, 128, 2048, 64) +
           entry(kSmallPage, 1024, 16, 512, 16);
}

// A block of the 128 KiB-block test chips, and with its pages' spare bytes.
inline constexpr size_t kBlock = 0x20000;
inline constexpr size_t kSpareBlock = 64 * 2112;

// Deterministic bytes.
inline std::vector<uint8_t> Bytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : v) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return v;
}

struct Partition {
    std::string name;
    uint32_t offset = 0;
    uint32_t size = 0;
    std::vector<uint8_t> content;
    uint32_t id = 1;
};

// A boot image of `size` bytes with the marker and the version byte.
inline std::vector<uint8_t> BootImage(uint8_t version, size_t size = 0x4000) {
    auto image = Bytes(size, 77 + version);
    StoreLe32(image.data() + 0x20, 0x01234567);
    image[0xFE] = version;
    return image;
}

// Writes `bytes` to `path`, making its folders.
inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// The content files and the boot image under <home>fw/, and the job's table of them.
inline JobPartitionTable WriteFirmware(const std::string& home, const std::vector<Partition>& parts,
                                       const std::vector<uint8_t>& boot) {
    JobPartitionTable table;
    table.folder = home + "fw/";
    table.boot_file_name = "boot.bin";
    table.boot_file_size = static_cast<uint32_t>(boot.size());
    WriteBytes(home + "fw/boot.bin", boot);
    table.partition_count = static_cast<uint32_t>(parts.size());
    for (size_t i = 0; i < parts.size(); ++i) {
        const Partition& p = parts[i];
        JobPartition& e = table.entries[i];
        e.index = static_cast<uint32_t>(i + 1);
        e.id = p.id;
        e.offset = p.offset;
        e.size = p.size;
        e.content_size = static_cast<uint32_t>(p.content.size());
        std::copy_n(p.name.begin(), std::min<size_t>(8, p.name.size()), e.name.begin());
        table.content_paths[i] = "sub\\p" + std::to_string(i + 1) + ".bin";
        WriteBytes(home + "fw/sub/p" + std::to_string(i + 1) + ".bin", p.content);
    }
    return table;
}

// A management record in an erased block: every block used as itself except
// `replaced` (bad, spare); the record has no entries beyond block 1023.
inline std::vector<uint8_t> RecordBlock(std::initializer_list<std::pair<int, int>> replaced,
                                        size_t block_bytes = kBlock) {
    std::vector<uint32_t> words(1027, 0);
    words[0] = words[1026] = 0x01020304;
    words[1] = 1 + static_cast<uint32_t>(replaced.size());
    for (auto [bad, spare] : replaced) {
        words[2 + bad] = static_cast<uint32_t>(spare);
        if (spare < 1024)
            words[2 + spare] = 0xFFFFFFFA;
    }
    std::vector<uint8_t> out(block_bytes, 0xFF);
    for (size_t i = 0; i < words.size(); ++i)
        StoreLe32(out.data() + 4 * i, words[i]);
    return out;
}

// A one-partition firmware package in `dir` (ending in '/'), as an operator
// gets one: fw.ptt, boot.bin and code.bin, a partition "code" at block 1 of a
// 128 KiB-block chip whose `blocks` blocks hold `content_bytes` of content.
inline std::string WriteSmallFirmware(const std::string& dir, const std::vector<uint8_t>& boot,
                                      size_t content_bytes = 0x8000, int blocks = 1) {
    WriteBytes(dir + "boot.bin", boot);
    WriteBytes(dir + "code.bin", Bytes(content_bytes, 7));
    std::ofstream(dir + "fw.ptt") << "[partition_table_config_start]\nnumber_of_partition=1\n"
                                     "BootNand=boot.bin\n\n[partition#01]\npartition_id=1\n"
                                     "partition_name=code\npartition_path=code.bin\n"
                                     "partition_size=0x"
                                  << std::hex << blocks * 0x20000
                                  << "\npartition_offset=0x20000\npartition_protected=0\n";
    return dir + "fw.ptt";
}

// A job's files as the job controller finds them, for a table already loaded:
// a read's upload folder (made) and file, else the table's folder or the home.
inline JobFiles Files(const JobRequest& request, const JobPartitionTable& table) {
    JobFiles files;
    files.table = table;
    if (request.work_mode == WorkMode::kReadCode) {
        files.folder = ReadFolder(request);
        std::filesystem::create_directories(files.folder);
        files.job_file = ReadFilePath(request);
    } else {
        files.folder = table.folder.empty() ? request.home : table.folder;
    }
    return files;
}

class SimHarness {
  public:
    explicit SimHarness(const std::string& chip, std::vector<uint32_t> bad = {},
                        std::function<void(sim::PhoneOptions&)> adjust = {}) {
        home.Write("FlashChip.ini", TestCatalogue());
        sim::PhoneOptions options;
        options.chip = chip;
        options.catalogue = home.path();
        options.bad_blocks = std::move(bad);
        options.start_delay_ms = 1;
        options.announce_interval_ms = 2;
        options.faults.push_back({sim::FaultKind::kNoise});  // the host must not read open bytes
        if (adjust)
            adjust(options);
        phone = std::make_unique<sim::Phone>(options);
        std::string error;
        started = phone->Start(&error);
        start_error = error;
    }

    sim::NandChip& nand() { return phone->nand(); }

    void SetFirmware(const std::vector<Partition>& parts, const std::vector<uint8_t>& boot) {
        table = WriteFirmware(home.path(), parts, boot);
    }

    // Runs one job to its end on this thread; `setup` may adjust the job first.
    int Run(WorkMode mode, WorkRange range, std::function<void(DownloadJob&)> setup = {},
            EventSink* shown_on = nullptr) {
        JobRequest request;
        request.work_mode = mode;
        request.range = range;
        request.home = home.path();
        request.port = phone->SlavePath();
        request.timings.retry_pause_ms = 1;
        request.timings.baud_pause_ms = 20;  // an unpaced phone switches at once
        request.timings.settle_ms = 20;
        job = MakeJob(request, Files(request, table), shown_on ? shown_on : &display);
        if (setup)
            setup(*job);
        return RunSerialJob(*job);
    }

    std::string ReadFile(const std::string& name) const { return home.Read(name); }

    TempDir home;
    RecordingDisplay display;
    std::unique_ptr<sim::Phone> phone;
    bool started = false;
    std::string start_error;
    JobPartitionTable table;
    std::unique_ptr<DownloadJob> job;
};

// What a block must hold after a piece of a content file was written to it:
// the piece, then erased bytes up to the block's end.
inline std::vector<uint8_t> Padded(const std::vector<uint8_t>& data, size_t from, size_t n,
                                   size_t block_bytes) {
    std::vector<uint8_t> out(block_bytes, 0xFF);
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(from), n, out.begin());
    return out;
}

}  // namespace velmora::testing
