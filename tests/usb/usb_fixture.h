#pragma once
// A simulated phone on the USB stand-in and a USB job against it, for tests.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "job/download_job.h"
#include "job/recording_display.h"
#include "sim/options.h"
#include "sim/usb_phone.h"
#include "usb/socket_bus.h"
#include "usb/usb_job.h"

namespace velmora::testing {

class UsbPhoneTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velmora-usb-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        home_ = pattern + "/";
        std::filesystem::copy_file(std::string(VELMORA_BIN_DIR) + "/FlashChip.ini",
                                   home_ + "FlashChip.ini");
        socket_ = home_ + "usb.sock";
    }
    void TearDown() override {
        phone_.reset();
        std::error_code ec;
        std::filesystem::remove_all(home_, ec);
    }

    // Options in the simulated phone's compact form, USB ones included.
    void StartPhone(const std::string& options = "") {
        sim::PhoneOptions po;
        sim::UsbPhoneOptions uo;
        std::string rest, error;
        ASSERT_TRUE(sim::SplitUsbPhoneOptions(options, uo, rest, error)) << error;
        ASSERT_TRUE(sim::ParsePhoneOptions(rest, po, error)) << error;
        po.catalogue = home_;
        phone_ = std::make_unique<sim::UsbPhone>(po, uo);
        ASSERT_TRUE(phone_->Start(socket_, &error)) << error;
    }

    std::unique_ptr<DownloadJob> MakeJob(WorkMode mode, int range = 0) {
        auto job = std::make_unique<DownloadJob>(LinkKind::kUsb, &display_, true);
        job->work_mode = mode;
        job->erase_range = range;
        job->home = home_;
        job->folder = home_;
        job->port = "unix:" + socket_;
        job->timings.response_ms = 2000;
        job->timings.usb_response_ms = 2000;
        job->reporter.OpenLog(home_ + "dl_log.txt");
        return job;
    }

    static usb::UsbJobTimings Fast() {
        usb::UsbJobTimings t;
        t.dfu_search_ms = 5;
        t.dlv_settle_ms = 5;
        t.dlv_retry_ms = 5;
        return t;
    }

    int Run(DownloadJob& job, usb::UsbJobTimings timings = Fast()) {
        return usb::RunUsbJob(job, std::make_unique<usb::SocketBus>(socket_), {}, timings);
    }

    std::string Log() const {
        std::string all;
        for (const std::string& s : display_.log()) {
            all += s;
        }
        return all;
    }
    bool Logged(const std::string& text) const { return Log().find(text) != std::string::npos; }

    std::string home_;
    std::string socket_;
    RecordingDisplay display_;
    std::unique_ptr<sim::UsbPhone> phone_;
};

}  // namespace velmora::testing
