// USB jobs on the real libusb path: the simulated phone's devices on emulated usbfs
// nodes. What this models and what it cannot: see the README, section USB.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <numeric>
#include <string>
#include <vector>

#include "usb/libusb_bus.h"
#include "usb/run_cli.h"
#include "usb/usb_choice.h"
#include "usb/usb_fixture.h"
#include "usb_umockdev/emulated_usb.h"

namespace velmora::testing {
namespace {

constexpr auto kBadEraseRange =
    static_cast<EraseRange>(5);  // the job stops right after the target steps

class LibusbBackend : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* preload = std::getenv("LD_PRELOAD");
        if (!preload || !std::strstr(preload, "umockdev-preload")) {
            GTEST_SKIP() << "run under LD_PRELOAD=libumockdev-preload.so.0";
        }
        home_dir_.Copy(VELMORA_BIN_DIR "/FlashChip.ini");
        usb_ = std::make_unique<EmulatedUsb>();
    }
    void TearDown() override {
        phones_.clear();  // before the nodes that mirror their devices
        usb_.reset();
    }

    // A simulated phone at bus path 1-1, shown at `path`.
    sim::UsbPhone& Phone(const std::string& options, const std::string& path = "1-1") {
        phones_.push_back(NewPhone(options, home_));
        sim::UsbPhone& phone = *phones_.back();
        usb_->Follow(phone.bus(), {{sim::UsbPhone::kPort, path}});
        std::string error;
        EXPECT_TRUE(phone.Start(home_ + "usb" + std::to_string(phones_.size()) + ".sock", &error))
            << error;
        return phone;
    }

    std::unique_ptr<DownloadJob> Job(WorkMode mode = WorkMode::kErase,
                                     WorkRange range = kBadEraseRange) {
        const JobRequest request = Request(home_, mode, range);
        auto job = MakeJob(request, Files(request, {}), &display_);
        job->reporter.OpenLog(home_ + "dl_log.txt");  // the log, without debug mode's messages
        return job;
    }

    int Run(DownloadJob& job, const std::string& link = "") {
        usb::UsbLinkSpec spec;
        std::string error;
        EXPECT_TRUE(usb::ParseUsbLinkSpec(link, &spec, &error)) << error;
        usb::UsbError why;
        auto bus = usb::LibusbBus::Create(&why);
        EXPECT_NE(bus, nullptr) << why.name;
        usb::UsbJobTimings t = Fast();
        t.dlv_attempts = 400;
        return usb::RunUsbJob(job, std::move(bus), spec.match, t);
    }

    bool Logged(const std::string& text) const {
        const auto log = display_.log();
        return std::accumulate(log.begin(), log.end(), std::string()).find(text) !=
               std::string::npos;
    }

    // velmora-cli in this testbed (the preload and its folder are inherited).
    int Cli(const std::string& args, std::string* out) { return RunCli(home_, args, out); }

    TempDir home_dir_;
    const std::string home_ = home_dir_.path();
    RecordingDisplay display_;
    std::unique_ptr<EmulatedUsb> usb_;
    std::vector<std::unique_ptr<sim::UsbPhone>> phones_;
};

TEST_F(LibusbBackend, EnumerationShowsPathsIdsModesSerialsAndPacketSizes) {
    Phone("");
    Phone("app", "1-2");
    usb::UsbError why;
    auto bus = usb::LibusbBus::Create(&why);
    ASSERT_NE(bus, nullptr) << why.name;
    std::vector<std::string> seen;
    for (const usb::UsbDeviceInfo& d : bus->List()) {
        if (usb::ModeOf(d) != usb::UsbMode::kNone) {
            seen.push_back(usb::DescribeUsbDevice(d));
        }
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"1-1 1209:0001 DFU mode, serial VLM0001",
                                              "1-2 1209:0001 run-time DFU, serial VLM0001"}));

    std::string out;
    ASSERT_EQ(Cli("--json ports", &out), 0) << out;
    const auto ports = nlohmann::json::parse(out.substr(0, out.find('\n')));
    ASSERT_EQ(ports["usb"].size(), 2u) << out;
    EXPECT_EQ(ports["usb"][0]["path"], "1-1");
    EXPECT_EQ(ports["usb"][0]["id"], "1209:0001");
    EXPECT_EQ(ports["usb"][0]["mode"], "DFU mode");
    EXPECT_EQ(ports["usb"][0]["serial"], "VLM0001");
    EXPECT_EQ(ports["usb"][1]["mode"], "run-time DFU");

    // The loader's bulk device at full speed shows 64-byte packets.
    Phone("packet=64", "1-3");
    auto job = Job();
    EXPECT_EQ(Run(*job, "path=1-3"), 1);
    EXPECT_TRUE(Logged("\nInit SDI successfully!\n")) << job->outcome().text;
}

TEST_F(LibusbBackend, BusyInterfaceEndsTheJobWithLibusbsReason) {
    Phone("");
    usb_->SetBusy("1-1", true);
    auto job = Job();
    EXPECT_EQ(Run(*job), -2);
    EXPECT_NE(job->outcome().text.find("1-1 (1209:0001): LIBUSB_ERROR_BUSY"), std::string::npos)
        << job->outcome().text;
    EXPECT_NE(job->outcome().text.find("another program holds the device"), std::string::npos);

    // The command line says the same, and the next step.
    std::string out;
    EXPECT_EQ(Cli("read --range eerom --usb --port path=1-1", &out), 1) << out;
    EXPECT_NE(out.find("error: Cannot open the phone's DFU device 1-1 (1209:0001): "
                       "LIBUSB_ERROR_BUSY"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Next step: another program holds the device"), std::string::npos) << out;
    EXPECT_NE(out.find("result: -2"), std::string::npos) << out;
}

TEST_F(LibusbBackend, VanishedBulkDeviceEndsWithNoDevice) {
    sim::UsbPhone& phone = Phone("");
    sim::Fault vanish;
    vanish.kind = sim::FaultKind::kVanish;
    vanish.command = 7;  // the IBT
    phone.AddFault(vanish);
    auto job = Job();
    EXPECT_EQ(Run(*job), -8);
    EXPECT_NE(job->outcome().text.find("LIBUSB_TRANSFER_NO_DEVICE on the bulk device 1-1"),
              std::string::npos)
        << job->outcome().text;
    EXPECT_NE(job->outcome().text.find("the device left the bus"), std::string::npos);
}

// A cable pulled during the RAM loader's download ends the job at once with libusb's
// error and the frame, before any bulk device search.
TEST_F(LibusbBackend, CablePulledDuringTheLoaderDownloadIsToldAtOnce) {
    Phone("pull=10");
    auto job = Job();
    EXPECT_EQ(Run(*job), 100);
    EXPECT_NE(job->outcome().text.find("frame 5 of 38 of the RAM loader ('L', bytes 2048 to 2559) "
                                       "failed: the phone left the bus (LIBUSB_TRANSFER_NO_DEVICE"),
              std::string::npos)
        << job->outcome().text;
    EXPECT_FALSE(Logged("Get Dlv full name"));
}

TEST_F(LibusbBackend, SilentDeviceTimesOutAndItsTransferIsCancelledAndReaped) {
    sim::UsbPhone& phone = Phone("");
    sim::Fault drop;
    drop.kind = sim::FaultKind::kDrop;
    drop.command = 5;  // identification
    phone.AddFault(drop);
    auto job = Job();
    job->mutable_timings().response_ms = 200;
    job->mutable_timings().usb_response_ms = 200;
    EXPECT_EQ(Run(*job), -7);
    EXPECT_NE(job->outcome().text.find("LIBUSB_TRANSFER_TIMED_OUT"), std::string::npos)
        << job->outcome().text;
    const NodeStats s = usb_->Stats("1-1");
    EXPECT_GE(s.discards, 1);
    EXPECT_EQ(s.reaped_cancelled, s.discards);
}

TEST_F(LibusbBackend, ReenumerationWithNewInterfaceNumberAndDescriptorsIsFollowed) {
    sim::UsbPhone& phone = Phone("app,renum");
    auto job = Job();
    EXPECT_EQ(Run(*job, "path=1-1"), 1) << job->outcome().text;  // a run-time device: named
    EXPECT_FALSE(Logged("Error during"));
    EXPECT_TRUE(Logged("\nProduct ID - 0501005220.\n"));
    EXPECT_TRUE(Logged("\nInit SDI successfully!\n"));
    EXPECT_EQ(usb_->Stats("1-1").resets, 1);
    EXPECT_EQ(phone.boot_rom_stats().loaded_bytes, 19360u);
}

TEST_F(LibusbBackend, UnrelatedRunTimeDeviceIsPassedOverAndLeftUntouched) {
    sim::UsbPhone& dock = Phone("app", "1-3");
    sim::UsbPhone& phone = Phone("");
    auto job = Job();
    EXPECT_EQ(Run(*job), 1) << job->outcome().text;
    EXPECT_TRUE(Logged("Passing over 1-3 1209:0001 run-time DFU"));
    EXPECT_TRUE(phone.boot_rom_stats().jumped);
    const NodeStats s = usb_->Stats("1-3");
    EXPECT_EQ(s.opens + s.claims + s.resets + s.control, 0);
    EXPECT_EQ(dock.boot_rom_stats().detaches, 0);
}

TEST_F(LibusbBackend, TwoPhonesAreRefusedWithTheirListAndOneIsChosenByPath) {
    sim::UsbPhone& first = Phone("");
    sim::UsbPhone& second = Phone("", "1-2");
    auto job = Job();
    EXPECT_EQ(Run(*job), -1);
    EXPECT_NE(job->outcome().text.find("[1-1 1209:0001 DFU mode, serial VLM0001] "
                                       "[1-2 1209:0001 DFU mode, serial VLM0001]"),
              std::string::npos)
        << job->outcome().text;
    EXPECT_NE(job->outcome().text.find("path=1-1"), std::string::npos);
    EXPECT_EQ(usb_->Stats("1-1").opens + usb_->Stats("1-2").opens, 0);

    auto chosen = Job();
    EXPECT_EQ(Run(*chosen, "path=1-2"), 1) << chosen->outcome().text;
    EXPECT_TRUE(second.boot_rom_stats().jumped);
    EXPECT_FALSE(first.boot_rom_stats().jumped);
    EXPECT_EQ(usb_->Stats("1-1").opens, 0);
}

TEST_F(LibusbBackend, HaltedEndpointIsClearedOnceBeforeTheTransferFails) {
    sim::UsbPhone& phone = Phone("");
    usb_->StallNextOut("1-1", 1);
    auto job = Job();
    EXPECT_EQ(Run(*job), 1) << job->outcome().text;
    EXPECT_TRUE(Logged("\nInit SDI successfully!\n"));
    EXPECT_EQ(usb_->Stats("1-1").clear_halts, 1);

    phone.Reboot();
    // Stalls again after the clear, in both tries of the identification: the step fails.
    usb_->StallNextOut("1-1", 4);
    auto again = Job();
    EXPECT_EQ(Run(*again), -7);
    EXPECT_NE(again->outcome().text.find("LIBUSB_TRANSFER_STALL"), std::string::npos)
        << again->outcome().text;
    EXPECT_EQ(usb_->Stats("1-1").clear_halts, 3);
}

}  // namespace
}  // namespace velmora::testing
