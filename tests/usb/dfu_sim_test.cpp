// The DFU port, the bulk device search and the bulk pipes against the simulated
// phone's devices.
#include <gtest/gtest.h>

#include <thread>

#include "flash/target_protocol.h"
#include "job/ram_loader.h"
#include "support/wait_until.h"
#include "usb/dfu_port.h"
#include "usb/usb_boot.h"
#include "usb/usb_device.h"
#include "usb/usb_fixture.h"

namespace velmora::testing {
namespace {

TEST_F(UsbPhoneTest, NotDoneAnswersGive600And601AndTheOpenReadsTheDescriptors) {
    StartPhone("notdone=WL");
    usb::SocketBus bus(socket_);
    usb::DfuPort port(bus);
    ASSERT_EQ(port.Open(sim::UsbPhone::kPort), result::dfu::kOk);
    EXPECT_EQ(port.Open(sim::UsbPhone::kPort), result::dfu::kAlreadyOpen);
    EXPECT_EQ(port.device().functional.transfer_size, 4096);
    EXPECT_TRUE(port.device().functional.ManifestationTolerant());
    EXPECT_EQ(port.device().language, 0x0409);
    EXPECT_EQ(port.device().strings,
              (std::vector<std::string>{"Velmora simulated phone", "Boot ROM", "VLM0001", "DFU"}));

    const uint8_t nine[9] = {};
    EXPECT_EQ(port.BootRomCommand(8, 9, nine), result::dfu::kNotDoneWrite);
    std::vector<uint8_t> words(4096, 0x5A);
    EXPECT_EQ(port.BootRomCommand(22, static_cast<uint32_t>(words.size()), words),
              result::dfu::kNotDoneLoad);
    // The device is usable again afterwards.
    uint8_t id[5] = {};
    EXPECT_EQ(port.BootRomCommand(14, 0, {}, id), result::dfu::kOk);
    EXPECT_EQ(id[0], 0x20);
    EXPECT_EQ(port.Close(), result::dfu::kOk);
    EXPECT_EQ(port.Close(), result::dfu::kNotOpen);
}

TEST_F(UsbPhoneTest, OnlyTheBulkDeviceOnThePhonesPathIsTaken) {
    StartPhone("busy-twin");  // another bulk device of the same IDs, listed first
    auto job = MakeJob(WorkMode::kErase, RangeAt(WorkMode::kErase, 5));
    EXPECT_EQ(Run(*job), 1);
    EXPECT_TRUE(Logged("\nfind usb dlv device = 1-1.\n"));
    // With the phone gone from its path (the stand-in drops it once the job has
    // closed it, a moment later on a loaded machine), the twin is not taken instead.
    usb::UsbDevice usb(std::make_unique<usb::SocketBus>(socket_), {}, usb::DfuTiming{});
    usb.SetPhonePath(sim::UsbPhone::kPort);
    std::string path;
    EXPECT_TRUE(WaitUntil([&] { return !usb.FindDlvDevice(&path); })) << path;
}

// A bulk IN transfer ends when full or after a short packet, as on a real bus: a
// host that asks beyond an answer filling its last packet waits for the time-out.
// The stand-in must keep it so, or the host's care to ask for no more goes untested.
TEST_F(UsbPhoneTest, BulkTransfersEndOnlyWhenFullOrAfterAShortPacket) {
    StartPhone();
    usb::SocketBus bus(socket_);
    {
        usb::DfuPort port(bus);
        ASSERT_EQ(port.Open(sim::UsbPhone::kPort), result::dfu::kOk);
        std::vector<uint8_t> loader;
        ASSERT_EQ(LoadRamLoader(UsbRamLoader(), home_, loader), 0);
        usb::SendRamLoaderUsb(port, loader, [](std::string_view) {});
    }
    std::unique_ptr<usb::UsbHandle> pipe;
    ASSERT_TRUE(WaitUntil([&] {
        pipe = bus.Open(sim::UsbPhone::kPort, 0, 0, nullptr);
        return pipe != nullptr;
    }));
    const uint32_t page = phone_->nand().geometry().page_size;
    ASSERT_EQ(page % 512, 0u);
    CommandFrame frame(kCmdReadPage, {0, 0, page});
    std::vector<uint8_t> in(2 * page);
    auto command = [&] {
        ASSERT_TRUE(pipe->Bulk({0x01, kFrameSize, 1000}, frame.bytes.data(), -1).ok());
        const usb::UsbResult r = pipe->Bulk({0x81, 512, 1000}, in.data(), -1);
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(r.transferred, kFrameSize);  // short: the response frame alone
    };

    command();
    usb::UsbResult r = pipe->Bulk({0x81, 2 * page, 200}, in.data(), -1);
    EXPECT_EQ(r.status, usb::UsbStatus::kTimeout);
    EXPECT_EQ(r.transferred, page);  // what came is kept
    EXPECT_EQ(phone_->overlong_reads(), 1);

    command();
    r = pipe->Bulk({0x81, page, 1000}, in.data(), -1);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.transferred, page);
    EXPECT_EQ(phone_->overlong_reads(), 1);
    pipe.reset();
    phone_.reset();
}

TEST(UsbIds, ParseAndFormatTheOverrides) {
    usb::UsbLinkSpec spec;
    std::string error;
    ASSERT_TRUE(usb::ParseUsbLinkSpec("unix:/tmp/a.sock,dfu=1209:0001,dlv=04E8", &spec, &error));
    EXPECT_EQ(spec.socket, "/tmp/a.sock");
    EXPECT_TRUE(spec.match.dfu.Matches(0x1209, 0x0001));
    EXPECT_FALSE(spec.match.dfu.Matches(0x1209, 0x0002));
    EXPECT_TRUE(spec.match.dlv.Matches(0x04E8, 0x1234));
    EXPECT_EQ(usb::FormatUsbLinkSpec(spec), "unix:/tmp/a.sock,dfu=1209:0001,dlv=04e8");
    EXPECT_FALSE(usb::ParseUsbLinkSpec("dfu=12345", &spec, &error));
    EXPECT_FALSE(usb::ParseUsbLinkSpec("dlv=xyz", &spec, &error));
    EXPECT_FALSE(usb::ParseUsbLinkSpec("/dev/ttyUSB0", &spec, &error));
    ASSERT_TRUE(usb::ParseUsbLinkSpec("", &spec, &error));
    EXPECT_TRUE(spec.socket.empty() && spec.match.dfu.Any() && spec.match.dlv.Any());
}

}  // namespace
}  // namespace velmora::testing
