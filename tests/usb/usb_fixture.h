#pragma once
// A simulated phone on the USB stand-in and a USB job against it, for tests.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <numeric>
#include <string>

#include "integration/nand_harness.h"
#include "job/download_job.h"
#include "job/job_control.h"
#include "job/recording_display.h"
#include "job/usb_sequence.h"
#include "sim/options.h"
#include "sim/usb_phone.h"
#include "support/temp_dir.h"
#include "usb/socket_bus.h"

namespace velmora::testing {

// A simulated USB phone (not started) with options in its compact form, USB ones
// included, and the chip catalogue in `catalogue`.
inline std::unique_ptr<sim::UsbPhone> NewPhone(const std::string& options,
                                               const std::string& catalogue) {
    sim::PhoneOptions po;
    sim::UsbPhoneOptions uo;
    std::string rest, error;
    EXPECT_TRUE(sim::SplitUsbPhoneOptions(options, uo, rest, error)) << error;
    EXPECT_TRUE(sim::ParsePhoneOptions(rest, po, error)) << error;
    po.catalogue = catalogue;
    po.faults.push_back({sim::FaultKind::kNoise});  // the host must not read open bytes
    return std::make_unique<sim::UsbPhone>(po, uo);
}

// Short waits for the devices to come and go.
inline usb::UsbJobTimings Fast() {
    usb::UsbJobTimings t;
    t.dfu_search_ms = 5;
    t.dlv_settle_ms = 5;
    t.dlv_retry_ms = 5;
    return t;
}

// A USB job's request in `home`, with waits for answers a loaded machine meets.
inline JobRequest Request(const std::string& home, WorkMode mode, WorkRange range) {
    JobRequest request;
    request.link = LinkKind::kUsb;
    request.work_mode = mode;
    request.range = range;
    request.home = home;
    request.timings.response_ms = 2000;
    request.timings.usb_response_ms = 2000;
    return request;
}

class UsbPhoneTest : public ::testing::Test {
  protected:
    void SetUp() override {
        home_dir_.Copy(VELMORA_BIN_DIR "/FlashChip.ini");
        display_.set_link(LinkKind::kUsb);
    }
    void TearDown() override {
        if (phone_) {
            // No job may ask the bulk pipe for more than the phone says.
            EXPECT_EQ(phone_->overlong_reads(), 0);
        }
        phone_.reset();
    }

    // Options in the simulated phone's compact form, USB ones included.
    void StartPhone(const std::string& options = "") {
        phone_ = NewPhone(options, home_);
        std::string error;
        ASSERT_TRUE(phone_->Start(socket_, &error)) << error;
    }

    // The small chips of the NAND tests instead of the shipped catalogue.
    void UseTestCatalogue() {
        std::ofstream(home_ + "FlashChip.ini", std::ios::trunc) << TestCatalogue();
    }

    void SetFirmware(const std::vector<Partition>& parts, const std::vector<uint8_t>& boot) {
        table_ = WriteFirmware(home_, parts, boot);
    }

    std::vector<uint8_t> ReadFile(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    // A debug job of the work mode, with its files as the job controller finds
    // them: a read's upload folder and file, else the table's folder or the home.
    std::unique_ptr<DownloadJob> MakeJob(WorkMode mode, WorkRange range = {}) {
        JobRequest request = Request(home_, mode, range);
        request.port = "unix:" + socket_;
        request.debug = true;
        return velmora::MakeJob(request, Files(request, table_), &display_);
    }

    int Run(DownloadJob& job, usb::UsbJobTimings timings = Fast(), usb::UsbMatch match = {}) {
        return usb::RunUsbJob(job, std::make_unique<usb::SocketBus>(socket_), match, timings);
    }
    // The phone named by its bus path, as a run-time DFU device already present must be.
    int RunNamed(DownloadJob& job) {
        usb::UsbMatch match;
        match.path = sim::UsbPhone::kPort;
        return Run(job, Fast(), match);
    }

    std::string Log() const {
        const auto log = display_.log();
        return std::accumulate(log.begin(), log.end(), std::string());
    }
    bool Logged(const std::string& text) const { return Log().find(text) != std::string::npos; }

    TempDir home_dir_;
    const std::string home_ = home_dir_.path();
    const std::string socket_ = home_ + "usb.sock";
    RecordingDisplay display_;
    std::unique_ptr<sim::UsbPhone> phone_;
    JobPartitionTable table_;
};

}  // namespace velmora::testing
