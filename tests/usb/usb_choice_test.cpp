// Which device the job takes as the phone, and how it follows the phone across the
// detach and reset, on the USB stand-in.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "support/wait_until.h"
#include "usb/usb_choice.h"
#include "usb/usb_fixture.h"

namespace velmora::testing {
namespace {

usb::UsbDeviceInfo Dfu(const std::string& path, uint32_t address, uint8_t protocol,
                       uint16_t vendor = 0x1209, uint16_t product = 0x0001) {
    usb::UsbDeviceInfo d;
    d.path = path;
    d.address = address;
    d.vendor = vendor;
    d.product = product;
    d.interfaces.push_back({0, 0, 0xFE, 0x01, protocol, 0, 0, 0, 0});
    return d;
}

std::string Paths(const std::vector<usb::UsbDeviceInfo>& devices) {
    std::string text;
    for (const auto& d : devices) {
        text += (text.empty() ? "" : " ") + d.path;
    }
    return text;
}

// Each case: the match, the bus at the first look, the bus at the second; what the
// second look takes, refuses (several) and passes over.
TEST(DfuChooser, TakesOnlyWhatTheRulesAllow) {
    constexpr uint8_t kRunTime = 1, kDfuMode = 2;
    const auto dock = Dfu("1-2", 5, kRunTime, 0x0bda, 0x8153);
    const auto phone_rt = Dfu("1-4.2", 9, kRunTime);
    const auto phone_dfu = Dfu("1-4.2", 10, kDfuMode);
    struct Case {
        const char* name;
        std::string match;
        std::vector<usb::UsbDeviceInfo> before, now;
        const char* chosen;
        const char* several;
        const char* passed;
    };
    const Case cases[] = {
        {"DFU mode already there", "", {phone_dfu}, {phone_dfu}, "1-4.2", "", ""},
        {"run-time already there, unnamed", "", {phone_rt}, {phone_rt}, "", "", "1-4.2"},
        {"run-time plugged after Start", "", {dock}, {dock, phone_rt}, "1-4.2", "", "1-2"},
        {"replugged: a new address", "", {phone_rt}, {Dfu("1-4.2", 11, 1)}, "1-4.2", "", ""},
        {"run-time named by path", "path=1-4.2", {phone_rt}, {phone_rt}, "1-4.2", "", ""},
        {"run-time named by IDs", "dfu=1209:0001", {phone_rt}, {phone_rt}, "1-4.2", "", ""},
        {"a vendor alone names nothing", "dfu=1209", {phone_rt}, {phone_rt}, "", "", "1-4.2"},
        {"two phones", "", {}, {phone_dfu, Dfu("1-3", 12, kDfuMode)}, "", "1-3 1-4.2", ""},
        {"two phones, one named", "path=1-3", {}, {phone_dfu, Dfu("1-3", 12, 2)}, "1-3", "", ""},
        {"a DFU-mode device left there, and the phone",
         "",
         {Dfu("1-3", 12, kDfuMode)},
         {Dfu("1-3", 12, kDfuMode), phone_rt},
         "",
         "1-3 1-4.2",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        usb::UsbLinkSpec spec;
        std::string error;
        ASSERT_TRUE(usb::ParseUsbLinkSpec(c.match, &spec, &error)) << error;
        usb::DfuChooser chooser(spec.match);
        chooser.Look(c.before);
        const usb::DfuLook look = chooser.Look(c.now);
        EXPECT_EQ(look.chosen ? look.chosen->path : "", c.chosen);
        EXPECT_EQ(Paths(look.several), c.several);
        EXPECT_EQ(Paths(look.passed_over), c.passed);
    }
}

TEST(DfuChooser, BusPathsAndTheirRefusals) {
    for (const char* good : {"1-4", "1-4.2", "3-1.2.3.4.5.6.7", "10-11"}) {
        EXPECT_TRUE(usb::IsUsbBusPath(good)) << good;
    }
    for (const char* bad :
         {"", "1", "1-", "-4", "1-4.", "1.4", "1-4-2", "a-1", "1-4.2x", "1-1234"}) {
        EXPECT_FALSE(usb::IsUsbBusPath(bad)) << bad;
    }
    usb::UsbLinkSpec spec;
    std::string error;
    ASSERT_TRUE(usb::ParseUsbLinkSpec("path=1-4.2,dfu=1209:0001,dlv=1209", &spec, &error));
    EXPECT_EQ(usb::FormatUsbLinkSpec(spec), "path=1-4.2,dfu=1209:0001,dlv=1209");
    EXPECT_FALSE(usb::ParseUsbLinkSpec("path=1-4-2", &spec, &error));
    EXPECT_NE(error.find("path=BUS-PORT"), std::string::npos) << error;
}

// A run-time DFU device there before Start is named in the status and left alone;
// replugged, it is the phone.
TEST_F(UsbPhoneTest, RunTimeDeviceThereBeforeStartIsTakenOnlyOnceReplugged) {
    StartPhone("app");
    auto job = MakeJob(WorkMode::kErase, RangeAt(WorkMode::kErase, 5));
    std::thread replug([&] {
        const bool passed_over = WaitUntil([&] {
            const auto s = display_.statuses();
            return !s.empty() && s.back().rfind("Passing over 1-1 1209:0001 run-time DFU", 0) == 0;
        });
        if (!passed_over) {
            job->Stop();
            return;
        }
        EXPECT_EQ(phone_->boot_rom_stats().detaches, 0);
        phone_->Reboot();
    });
    EXPECT_EQ(Run(*job), 1);
    replug.join();
    EXPECT_TRUE(Logged("it was on the bus before Start. Replug the phone, or name it (path=1-1)"));
    EXPECT_TRUE(Logged("\nInit SDI successfully!\n"));
    EXPECT_EQ(phone_->boot_rom_stats().detaches, 1);
}

// Detach and reset bring up DFU mode as a new device: another interface number,
// transfer size and manifestation attribute. The job follows it by its bus path.
TEST_F(UsbPhoneTest, ReenumerationIsFollowedWithFreshDescriptors) {
    StartPhone("app,renum");
    auto job = MakeJob(WorkMode::kErase, RangeAt(WorkMode::kErase, 5));
    EXPECT_EQ(RunNamed(*job), 1);
    EXPECT_FALSE(Logged("Error during")) << Log();
    EXPECT_TRUE(Logged("\nProduct ID - 0501005220.\n"));
    EXPECT_TRUE(Logged("\nInit SDI successfully!\n"));
    const auto events = phone_->trace().Events();
    EXPECT_TRUE(std::any_of(events.begin(), events.end(),
                            [](const sim::TraceEvent& e) { return e.kind == "reenumerate"; }));
    EXPECT_EQ(phone_->boot_rom_stats().loaded_bytes, 19360u);
}

// On a full-speed link (64-byte packets) every read asks for whole packets of the
// endpoint's own size: an answer that fills its last packet ends the transfer.
TEST_F(UsbPhoneTest, PacketSizeComesFromTheEndpoint) {
    StartPhone("packet=64");
    auto job = MakeJob(WorkMode::kReadCode, ReadRange::kEerom);
    EXPECT_EQ(Run(*job), 0) << job->outcome().text;
    // TearDown checks that no read asked for more than the phone sent.
}

}  // namespace
}  // namespace velmora::testing
