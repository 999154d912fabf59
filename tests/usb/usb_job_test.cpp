// Whole USB jobs against the simulated phone on the USB stand-in: the boot stage,
// the bulk device, and every way the sequence can fail before the work mode.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "sim/trace.h"
#include "usb/run_cli.h"
#include "usb/usb_fixture.h"

namespace velmora::testing {
namespace {

using sim::Fault;
using sim::FaultKind;

constexpr auto kBadEraseRange = static_cast<EraseRange>(5);

TEST_F(UsbPhoneTest, BootStageBringsUpTheLoaderAndTheTargetSteps) {
    StartPhone();
    auto job = MakeJob(WorkMode::kErase, kBadEraseRange);
    EXPECT_EQ(Run(*job), 1);

    EXPECT_TRUE(Logged("\ndfu full path name = 1-1.\n"));
    EXPECT_TRUE(Logged("\nProduct ID - 0501005220.\n"));
    EXPECT_TRUE(Logged("\nSCROM Version - PNX5220 v.01.02.\n"));
    EXPECT_TRUE(Logged("\nChipset Version - 5201.\n"));
    EXPECT_TRUE(Logged("\nGet Dlv full name: .\n"));
    EXPECT_TRUE(Logged("\nfind usb dlv device = 1-1.\n"));
    EXPECT_TRUE(Logged("\nFind NAND FLASH, ID: EC, A1, 00, 15\n"));
    EXPECT_TRUE(Logged("\nInit SDI successfully!\n"));
    EXPECT_TRUE(Logged("\nErase Rang error #5"));
    EXPECT_FALSE(Logged("Error during"));

    // The boot ROM got the identification, the loader in 512-byte frames and the jump.
    const sim::DfuBootRomStats rom = phone_->boot_rom_stats();
    ASSERT_GE(rom.commands.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(rom.commands.begin(), rom.commands.begin() + 5),
              (std::vector<std::string>{"P1", "V1", "Q1", "D21", "S5"}));
    EXPECT_EQ(rom.commands[5], "L514");
    EXPECT_EQ(rom.commands[rom.commands.size() - 3], "L418");  // 19,360 = 37 × 512 + 416
    EXPECT_EQ(rom.commands.back(), "J1");
    EXPECT_EQ(rom.loaded_bytes, 19360u);
    EXPECT_EQ(rom.bad_blocks, 0);
    EXPECT_EQ(rom.early_polls, 0);

    EXPECT_EQ(phone_->trace().Commands(), (std::vector<int>{5, 7, 6, 20, 14}));
    EXPECT_TRUE(phone_->trace().Violations().empty());
    const auto statuses = display_.statuses();
    for (const char* s :
         {"Searching DFU device...", "get target information...", "send ram loader...",
          "search usb dlv device...", "Get Flash information!", "Get MangrBlk!", "ERASE FLASH!"}) {
        EXPECT_NE(std::find(statuses.begin(), statuses.end(), s), statuses.end()) << s;
    }
    EXPECT_EQ(display_.bar_colours().front(), kBarBlue);
    EXPECT_EQ(display_.bar_colours().back(), kBarRedUsb);
    EXPECT_FALSE(job->reporter.log_open());  // the sequence closed its log
}

TEST_F(UsbPhoneTest, ApplicationModeIsDetachedAndBusyPollsAreWaitedFor) {
    StartPhone("app,busy=2,busy-ms=3,manifest-ms=2");
    auto job = MakeJob(WorkMode::kErase, kBadEraseRange);
    EXPECT_EQ(RunNamed(*job), 1);
    EXPECT_TRUE(Logged("\nInit SDI successfully!\n"));
    const sim::DfuBootRomStats rom = phone_->boot_rom_stats();
    EXPECT_EQ(rom.detaches, 1);
    EXPECT_EQ(rom.resets, 1);
    EXPECT_EQ(rom.early_polls, 0);
    EXPECT_TRUE(rom.jumped);
}

TEST_F(UsbPhoneTest, ErrorStateIsRecoveredBeforeTheFirstCommand) {
    StartPhone("dfu-error");
    auto job = MakeJob(WorkMode::kErase, kBadEraseRange);
    EXPECT_EQ(Run(*job), 1);
    EXPECT_TRUE(Logged("\nInit SDI successfully!\n"));
    EXPECT_TRUE(job->product_id().has_value());

    // A product ID the boot ROM never sent is not recorded as the phone's.
    phone_.reset();
    StartPhone("notdone=P");
    job = MakeJob(WorkMode::kErase, kBadEraseRange);
    EXPECT_EQ(Run(*job), 1);
    EXPECT_FALSE(job->product_id().has_value());
}

// A boot ROM failure after which no RAM loader can be running ends the job at once,
// with result 100 and the cause in its step; one at the jump, where the phone may be
// starting the loader, keeps the bulk device search and is named first at its end.
TEST_F(UsbPhoneTest, BootRomFailuresAreToldAtOnceByTheirCause) {
    struct Case {
        const char* options;
        const char* step;
        const char* text;
    };
    const Case cases[] = {
        {"pull=1", "boot ROM handshake",
         "the product ID read ('P') failed: the phone left the bus (LIBUSB_TRANSFER_NO_DEVICE "
         "on DFU_DNLOAD)"},
        {"pull=10", "RAM loader transfer",
         "frame 5 of 38 of the RAM loader ('L', bytes 2048 to 2559) failed: the phone left the "
         "bus"},
        {"mute", "boot ROM handshake",
         "failed: the boot ROM did not answer (LIBUSB_TRANSFER_TIMED_OUT on DFU_GETSTATE)"},
        {"stay-app", "boot ROM handshake", "came back in application mode (appIDLE)"},
        {"app,renum,enum-ms=11000", "boot ROM handshake",
         "the phone did not come back at 1-1 within 10 s after its reset"},
        {"not-tolerant", "boot ROM handshake", "(dfuMANIFEST-WAIT-RESET)"},
        {"dfu-error=stuck", "boot ROM handshake",
         "stayed in dfuERROR (errUNKNOWN) after its clear"},
        {"notdone=L", "RAM loader transfer",
         "frame 1 of 38 of the RAM loader ('L', bytes 0 to 511) failed: the boot ROM reported it "
         "as not done (errNOTDONE)"},
        {"notdone=J", "RAM loader's USB device",
         "The jump into the RAM loader ('J') failed: the boot ROM reported it as not done "
         "(errNOTDONE). The phone's RAM loader did not come up on USB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        StartPhone(c.options);
        auto job = MakeJob(WorkMode::kErase, kBadEraseRange);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(RunNamed(*job), 100);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(12));
        const JobEnd end = *job->end();
        EXPECT_EQ(end.step, c.step);
        EXPECT_NE(job->outcome().text.find(c.text), std::string::npos) << job->outcome().text;
        EXPECT_NE(end.meaning.find(job->outcome().reason), std::string::npos);
        EXPECT_FALSE(end.next_step.empty());
        EXPECT_TRUE(Logged(job->outcome().text));
        const auto statuses = display_.statuses();
        const bool searched = std::find(statuses.begin(), statuses.end(),
                                        "search usb dlv device...") != statuses.end();
        EXPECT_EQ(searched, std::string(c.options) == "notdone=J");
        phone_.reset();
    }
}

// A phone that takes 8 s to come back in DFU mode after its reset is still followed;
// meanwhile, long waits the device asks for are told and counted.
TEST_F(UsbPhoneTest, ASlowResetIsFollowedAndLongPollWaitsAreCounted) {
    StartPhone("app,renum,enum-ms=8000");
    auto job = MakeJob(WorkMode::kErase, kBadEraseRange);
    EXPECT_EQ(RunNamed(*job), 1);
    EXPECT_TRUE(Logged("\nInit SDI successfully!\n"));
    phone_.reset();

    StartPhone("busy=1,busy-ms=1100,pull=3");
    job = MakeJob(WorkMode::kErase, kBadEraseRange);
    EXPECT_EQ(RunNamed(*job), 100);
    const auto statuses = display_.statuses();
    for (const char* s : {"The phone asks to wait: 1 s...", "The phone asks to wait: 2 s..."}) {
        EXPECT_NE(std::find(statuses.begin(), statuses.end(), s), statuses.end()) << s;
    }
    EXPECT_EQ(phone_->boot_rom_stats().early_polls, 0);
}

TEST_F(UsbPhoneTest, NoBulkDeviceAfterAllAttemptsGives100) {
    StartPhone("no-loader");
    auto job = MakeJob(WorkMode::kReadCode);
    EXPECT_EQ(Run(*job), 100);
    EXPECT_FALSE(Logged("find usb dlv device"));
    EXPECT_EQ(job->outcome().text, usb::kNoDlvDeviceText);
}

TEST_F(UsbPhoneTest, StopWhileSearchingEndsSilently) {
    for (const char* options : {"", "no-loader"}) {
        SCOPED_TRACE(options);
        StartPhone(options);
        if (*options == '\0') {
            phone_->Unplug();  // no phone at all: the DFU search runs until Stop
        }
        auto job = MakeJob(WorkMode::kReadCode);
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            job->Stop();
        });
        const int r = Run(*job);
        stopper.join();
        if (*options == '\0') {
            EXPECT_EQ(r, -1);
            EXPECT_TRUE(Logged("\nno dfu device attached!\n"));
        } else {
            EXPECT_EQ(r, 1);
        }
        const std::vector<uint32_t> colours = display_.bar_colours();
        EXPECT_EQ(std::count(colours.begin(), colours.end(), kBarRedUsb), 0);
        phone_.reset();
    }
}

// Every open that fails ends the job with libusb's name for the cause and the next
// step, in the error text (the status line, the JSON end) and the log.
TEST_F(UsbPhoneTest, UnopenableDevicesEndTheJobWithTheReasonAndTheNextStep) {
    struct Case {
        const char* options;
        int result;
        const char* name;
        const char* next;
    };
    const Case cases[] = {
        {"deny=access", -2, "LIBUSB_ERROR_ACCESS", "install the udev rule"},
        {"deny=busy", -2, "LIBUSB_ERROR_BUSY", "another program holds the device"},
        {"deny-dlv=access", 100, "LIBUSB_ERROR_ACCESS", "velmora-cli udev-rule --loader 1209:0002"},
        {"deny-dlv=busy", 100, "LIBUSB_ERROR_BUSY", "close it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        StartPhone(c.options);
        auto job = MakeJob(WorkMode::kReadCode);
        EXPECT_EQ(Run(*job), c.result);
        EXPECT_NE(job->outcome().text.find(c.name), std::string::npos) << job->outcome().text;
        EXPECT_NE(job->outcome().text.find(c.next), std::string::npos) << job->outcome().text;
        EXPECT_NE(job->outcome().text.find("1-1"), std::string::npos) << job->outcome().text;
        EXPECT_TRUE(Logged(job->outcome().text));
        EXPECT_EQ(display_.statuses().back(), job->outcome().text);
        EXPECT_EQ(display_.bar_colours().back(), kBarRedUsb);
        if (c.result == -2) {
            EXPECT_TRUE(Logged("\nOpen dfu device error, #108"));
        }
        phone_.reset();
    }
}

TEST_F(UsbPhoneTest, EachTargetStepFailsWithItsOwnResult) {
    struct Case {
        int command;
        FaultKind kind;
        int result;
        std::string text;
    };
    const Case cases[] = {
        {5, FaultKind::kDrop, -7, "\nread usb dlv error, #1"},
        {7, FaultKind::kDrop, -8, "Wait for ibt command response fail!"},
        {6, FaultKind::kDrop, -9, "Set Nand Flash Parameter fail!"},
        {20, FaultKind::kStatus, -80, "Get MangrBlk Fail, #1011!"},
        {14, FaultKind::kDrop, -81, "Wait for SDI init command response fail!\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        StartPhone();
        Fault fault;
        fault.kind = c.kind;
        fault.command = c.command;
        fault.value = 1;
        phone_->AddFault(fault);
        auto job = MakeJob(WorkMode::kReadCode);
        job->mutable_timings().response_ms = 300;
        job->mutable_timings().usb_response_ms = 300;
        EXPECT_EQ(Run(*job), c.result);
        // A lost answer is a transfer that timed out: the ending says so, and what next.
        const std::string reason =
            c.kind == FaultKind::kDrop
                ? std::string(c.text) + (c.text.back() == '\n' ? "" : " ") +
                      "USB: LIBUSB_TRANSFER_TIMED_OUT on the bulk device 1-1. Next step: the "
                      "phone stopped answering; switch it off and on, replug it and start again."
                : std::string(c.text);
        EXPECT_EQ(job->outcome().text, reason);
        const auto messages = display_.messages();
        if (c.result == -81) {
            EXPECT_TRUE(Logged("Init SDI fail!\n"));
        } else {
            // debug mode: the step message, then the ending's
            ASSERT_GE(messages.size(), 2u);
            EXPECT_EQ(messages[messages.size() - 2], c.text);
        }
        EXPECT_EQ(messages.back(), reason);
        phone_.reset();
    }
}

TEST_F(UsbPhoneTest, NoBusMeansNoDevicesAndNoEnding) {
    auto job = MakeJob(WorkMode::kReadCode);
    EXPECT_EQ(usb::RunUsbJob(*job, nullptr, {}, Fast()), -1);
    EXPECT_EQ(Log(), "\nUSB dfu or dlv handle error!\n");
    EXPECT_TRUE(display_.bar_colours().empty());
}

// velmora-cli --usb with a simulated phone inside, a USB link text it refuses, and
// the udev rule it prints.
TEST_F(UsbPhoneTest, CommandLineRunsAJobOverUsb) {
    std::string out;
    EXPECT_EQ(RunCli(home_, "read --range eerom --usb --port sim:chip=EC,A1,app", &out), 0) << out;
    EXPECT_NE(out.find("result: 0"), std::string::npos) << out;
    EXPECT_EQ(std::filesystem::file_size(home_ + "upload_nand/upload_eerom.bin"), 74u * 131072);
    out.clear();
    EXPECT_EQ(RunCli(home_, "erase --range all --usb --port dfu=xyz", &out), 2) << out;

    // The rule that lets an operator open the phone, and how to install it.
    out.clear();
    EXPECT_EQ(RunCli(home_, "udev-rule", &out), 0) << out;
    for (const char* text : {"ENV{ID_USB_INTERFACES}==\":fe0101:|:fe0102:\", TAG+=\"uaccess\", "
                             "GROUP=\"plugdev\", MODE=\"0660\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"",
                             "sudo tee /etc/udev/rules.d/70-velmora.rules"}) {
        EXPECT_NE(out.find(text), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace velmora::testing
