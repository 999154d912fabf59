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

namespace velmora::testing {

namespace fs = std::filesystem;

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Polls `done` every few milliseconds for up to `seconds`; tests use it to wait
// for the phone or the job to reach a point before acting.
inline bool WaitUntil(const std::function<bool()>& done, int seconds = 10) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class JobFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        home_ = ::testing::TempDir() + "/" + std::to_string(getpid()) + "_velmora_it_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
        fs::remove_all(home_);
        fs::create_directories(home_);
        fs::copy_file(std::string(VELMORA_BIN_DIR) + "/FlashChip.ini", home_ + "FlashChip.ini");
    }
    void TearDown() override {
        phone_.reset();
        fs::remove_all(home_);
    }

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
        r.erase_range = erase_range::kArea;
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

    JobOutcome Run(const JobRequest& request) {
        JobController jobs(&display_);
        JobOutcome outcome;
        std::mutex m;
        jobs.on_finished = [&](const JobOutcome& o) {
            std::lock_guard lock(m);
            outcome = o;
        };
        const StartOutcome s = jobs.Start(request);
        EXPECT_TRUE(s.started) << s.message;
        jobs.Wait();
        std::lock_guard lock(m);
        return outcome;
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

    std::string home_;
    std::unique_ptr<sim::Phone> phone_;
    RecordingDisplay display_;
};

}  // namespace velmora::testing
