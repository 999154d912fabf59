#pragma once
// Whole jobs against the simulated phone over a real pseudo-terminal, run the
// way a front end runs them: a JobRequest through a JobController.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/checksum.h"
#include "flash/management_record.h"
#include "job/job_control.h"
#include "job/recording_display.h"
#include "nand_harness.h"
#include "sim/phone.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

namespace velmora::testing {

namespace fs = std::filesystem;

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class JobFixture : public ::testing::Test {
  protected:
    void SetUp() override { home_dir_.Copy(VELMORA_BIN_DIR "/FlashChip.ini"); }
    void TearDown() override { phone_.reset(); }

    // Starts the simulated phone with options in its compact form. Its chip comes
    // from the build's catalogue, whatever the job's home holds.
    void StartPhone(const std::string& options = "") {
        sim::PhoneOptions o;
        o.catalogue = VELMORA_BIN_DIR;
        o.start_delay_ms = 1;
        o.data_timeout_ms = 1000;
        o.faults.push_back({sim::FaultKind::kNoise});  // the host must not read open bytes
        std::string error;
        ASSERT_TRUE(options.empty() || sim::ParsePhoneOptions(options, o, error)) << error;
        phone_ = std::make_unique<sim::Phone>(o);
        ASSERT_TRUE(phone_->Start(&error)) << error;
    }

    // An erase of block 0 at the chosen rate, with short time-outs.
    JobRequest Request(int baud_selection = 2) const {
        JobRequest r;
        r.work_mode = WorkMode::kErase;
        r.range = EraseRange::kArea;
        r.range_start = 0;
        r.range_end = 0x1FFFF;
        r.home = home_;
        r.port = phone_ ? phone_->SlavePath() : std::string();
        r.baud_selection = baud_selection;
        // Short enough for quick failures, long enough for a loaded machine
        // running sanitizer builds.
        r.timings.ack_ms = 600;
        r.timings.boot_answer_ms = 1000;
        r.timings.loader_start_ms = 800;
        r.timings.baud_pause_ms = 20;
        r.timings.settle_ms = 20;
        r.timings.response_ms = 800;
        r.timings.usb_response_ms = 800;
        r.timings.retry_pause_ms = 10;
        r.area_confirmed = true;  // block 0 is in the area
        return r;
    }

    // The request's job, run to its end the way a front end runs it.
    JobOutcome Run(const JobRequest& request) {
        const RunOutcome run = JobController(&display_).Run(request);
        EXPECT_TRUE(run.start.started) << run.start.message;
        return run.end;
    }

    // As Run, with a Stop once `when` holds (or its wait gave up).
    JobOutcome RunAndStop(const JobRequest& request, const std::function<bool()>& when) {
        JobController jobs(&display_);
        auto run = std::async(std::launch::async, [&] { return jobs.Run(request); });
        EXPECT_TRUE(WaitUntil(when)) << "the point to stop at never came";
        jobs.Stop();
        const RunOutcome ran = run.get();
        EXPECT_TRUE(ran.start.started) << ran.start.message;
        return ran.end;
    }

    // Writes a valid management record (every block good) into the two top
    // blocks of the chip, where the RAM loader keeps it.
    std::array<uint8_t, ManagementRecord::kBytes> StoreRecord() {
        auto& nand = phone_->nand();
        const auto block = RecordBlock({}, nand.pages_per_block() * nand.page_size());
        nand.WriteBlock(nand.blocks() - 1, block, false);
        nand.WriteBlock(nand.blocks() - 2, block, false);
        std::array<uint8_t, ManagementRecord::kBytes> bytes;
        std::copy_n(block.begin(), bytes.size(), bytes.begin());
        return bytes;
    }

    TempDir home_dir_;
    const std::string home_ = home_dir_.path();
    std::unique_ptr<sim::Phone> phone_;
    RecordingDisplay display_;
};

}  // namespace velmora::testing
