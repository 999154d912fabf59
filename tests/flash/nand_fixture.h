#pragma once
// A job wired to a FakeLoader, with its IBT read from the fake chip, for the
// NAND operation tests.
#include <memory>
#include <set>

#include "config/temp_dir.h"
#include "flash/fake_loader.h"
#include "job/download_job.h"
#include "job/recording_display.h"

namespace velmora::testing {

inline NandGeometry Geometry(int blocks, int block_bytes = 0x20000, int page = 2048,
                             int spare = 64) {
    NandGeometry g;
    g.block_count = blocks;
    g.block_size = block_bytes;
    g.page_size = page;
    g.spare_size = spare;
    return g;
}

struct NandFixture {
    explicit NandFixture(NandGeometry g, std::set<int> bad = {}, bool debug = false,
                         LinkKind kind = LinkKind::kSerial)
        : job(std::make_unique<DownloadJob>(kind, &display, debug)) {
        auto fake = std::make_unique<FakeLoader>(g, bad, kind);
        loader = fake.get();
        job->link = std::move(fake);
        job->geometry = g;
        job->reservoir_start = g.block_count - g.block_count / 50 - 2;
        job->timings.retry_pause_ms = 1;
        for (int b = 0; b < g.block_count && b < 2048 * 8; ++b) {
            if (!bad.count(b))
                job->ibt[b / 8] |= static_cast<uint8_t>(1 << (b % 8));
        }
        job->reporter.InitBlockMap(g.block_count, static_cast<uint32_t>(g.block_size));
        job->folder = dir.path();
        job->table.folder = dir.path();
        if (debug)
            job->reporter.OpenLog(dir.path() + "dl_log.txt");
    }

    std::string Log() const {
        std::string all;
        for (const auto& piece : display.log())
            all += piece;
        return all;
    }

    RecordingDisplay display;
    TempDir dir;
    std::unique_ptr<DownloadJob> job;
    FakeLoader* loader = nullptr;
};

}  // namespace velmora::testing
