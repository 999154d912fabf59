// The DFU transfer loops against a scripted device: every request is checked
// against the script in order, and every answer comes from it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "usb/dfu_port.h"

namespace velmora::usb {
namespace {

constexpr uint8_t kReset = 0xFF;  // a script step that stands for the USB reset

struct Step {
    uint8_t request;
    std::vector<uint8_t> answer;
    UsbStatus status = UsbStatus::kOk;
};

Step State(uint8_t s) {
    return {kDfuGetState, {s}};
}
Step Status(uint8_t state, uint8_t status = 0, uint32_t poll = 0) {
    return {kDfuGetStatus,
            {status, static_cast<uint8_t>(poll), static_cast<uint8_t>(poll >> 8),
             static_cast<uint8_t>(poll >> 16), state, 0}};
}
Step Dn() {
    return {kDfuDnload, {}};
}
Step Up(std::vector<uint8_t> bytes) {
    return {kDfuUpload, std::move(bytes)};
}
Step Clr() {
    return {kDfuClrStatus, {}};
}

// One command frame's normal way through the device, from dfuIDLE back to dfuIDLE.
std::vector<Step> Command(uint32_t manifest_poll = 0) {
    return {State(kDfuIdle),
            Dn(),
            State(kDfuDnloadSync),
            Status(kDfuDnloadIdle),
            Dn(),
            State(kDfuManifestSync),
            Status(kDfuManifest, 0, manifest_poll),
            Status(kDfuIdle)};
}

class ScriptedHandle : public UsbHandle {
  public:
    std::deque<Step> script;
    std::vector<ControlSetup> sent;
    std::vector<std::vector<uint8_t>> downloads;

    UsbResult Control(const ControlSetup& setup, uint8_t* data, unsigned) override {
        sent.push_back(setup);
        if (script.empty()) {
            ADD_FAILURE() << "unscripted request " << int(setup.request);
            return {UsbStatus::kError, 0};
        }
        Step s = script.front();
        script.pop_front();
        EXPECT_EQ(setup.request, s.request) << "request #" << sent.size();
        if (setup.request == kDfuDnload) {
            downloads.emplace_back(data, data + setup.length);
        }
        if (setup.IsIn()) {
            const size_t n = std::min<size_t>(s.answer.size(), setup.length);
            std::memcpy(data, s.answer.data(), n);
            return {s.status, n};
        }
        return {s.status, setup.length};
    }
    UsbResult Bulk(const BulkSetup&, uint8_t*, int) override { return {UsbStatus::kError, 0}; }
    UsbStatus Reset() override {
        sent.push_back({0, kReset, 0, 0, 0});
        if (!script.empty() && script.front().request == kReset) {
            script.pop_front();
            return UsbStatus::kOk;
        }
        ADD_FAILURE() << "unscripted reset";
        return UsbStatus::kError;
    }
    UsbStatus ClearHalt(uint8_t) override { return UsbStatus::kOk; }
};

class NoBus : public UsbBus {
  public:
    std::vector<UsbDeviceInfo> List() override { return {}; }
    std::unique_ptr<UsbHandle> Open(const std::string&, uint8_t, uint8_t, UsbError*) override {
        return nullptr;
    }
};

class DfuLoops : public ::testing::Test {
  protected:
    DfuLoops() : port(bus, Timing()) {
        auto h = std::make_unique<ScriptedHandle>();
        handle = h.get();
        port.device().Attach(std::move(h), 0);
        port.device().functional.attributes = 0x04;  // manifestation tolerant
        port.device().functional.transfer_size = 4096;
    }
    DfuTiming Timing() {
        DfuTiming t;
        t.wait = [this](unsigned ms) {
            waits.push_back(ms);
            return true;
        };
        return t;
    }
    void Script(std::vector<Step> steps) {
        handle->script.insert(handle->script.end(), steps.begin(), steps.end());
    }
    void TearDown() override {
        if (port.IsOpen()) {
            EXPECT_TRUE(handle->script.empty()) << "script not used up";
        }
    }

    NoBus bus;
    DfuPort port;
    ScriptedHandle* handle = nullptr;
    std::vector<unsigned> waits;
};

TEST_F(DfuLoops, CommandGoesAsOneDownloadWithCountingBlocksAndAnEndBlock) {
    Script(Command(12));
    const uint8_t address[4] = {0, 0, 0, 0};
    EXPECT_EQ(port.BootRomCommand(4, 4, address), result::dfu::kOk);
    ASSERT_EQ(handle->downloads.size(), 2u);
    EXPECT_EQ(handle->downloads[0], (std::vector<uint8_t>{'S', 0, 0, 0, 0}));
    EXPECT_TRUE(handle->downloads[1].empty());
    std::vector<uint16_t> blocks;
    for (const ControlSetup& s : handle->sent) {
        if (s.request == kDfuDnload) {
            blocks.push_back(s.value);
        }
    }
    EXPECT_EQ(blocks, (std::vector<uint16_t>{0, 1}));
    EXPECT_EQ(waits, std::vector<unsigned>{12});  // the manifestation's poll time-out
}

TEST_F(DfuLoops, ApplicationModeIsDetachedAndResetFirst) {
    port.device().functional.detach_timeout_ms = 750;
    Script({State(kAppIdle), {kDfuDetach, {}}, {kReset, {}}});
    Script(Command());
    const uint8_t none[1] = {};
    EXPECT_EQ(port.BootRomCommand(9, 0, std::span<const uint8_t>(none, size_t{0})),
              result::dfu::kOk);
    EXPECT_EQ(handle->sent[1], DetachRequest(0, 750));
    EXPECT_EQ(port.detach_phase(), kPhaseAfterDetach);
}

TEST_F(DfuLoops, NotDoneAtManifestationGives600Or601OnlyForTheirCommands) {
    auto not_done = [] {
        return std::vector<Step>{State(kDfuIdle),
                                 Dn(),
                                 State(kDfuDnloadSync),
                                 Status(kDfuDnloadIdle),
                                 Dn(),
                                 State(kDfuManifestSync),
                                 Status(kDfuError, kStatusErrNotDone),
                                 Clr()};
    };
    const uint8_t nine[9] = {};
    Script(not_done());
    EXPECT_EQ(port.BootRomCommand(8, 9, nine), result::dfu::kNotDoneWrite);
    Script(not_done());
    EXPECT_EQ(port.BootRomCommand(34, 2, nine), result::dfu::kNotDoneLoad);
    Script(not_done());
    EXPECT_EQ(port.BootRomCommand(4, 4, nine), result::dfu::kOk);
    // A device that cannot keep working after manifestation has no way back.
    port.device().functional.attributes = 0;
    Script(not_done());
    EXPECT_EQ(port.BootRomCommand(4, 4, nine), result::dfu::kTransferFailed);
}

TEST_F(DfuLoops, ErrorStateIsClearedAndTheDownloadRestarts) {
    Script({State(kDfuError), Status(kDfuError, kStatusErrUnknown, 3), Clr()});
    Script(Command());
    const uint8_t jump[1] = {'J'};
    EXPECT_EQ(port.Download(jump, {}, false), kDfuIdle);
    EXPECT_EQ(waits.front(), 3u);
    EXPECT_TRUE(port.not_done());  // the recovery raised the error flag

    // The third pass through dfuERROR gives up.
    Script({State(kDfuError), Status(kDfuError, 14), Clr(), State(kDfuError), Status(kDfuError, 14),
            Clr(), State(kDfuError)});
    EXPECT_EQ(port.Download(jump, {}, false), kDfuStateUnknown);
}

TEST_F(DfuLoops, StatusStalledPacketCountsAsOkAndOthersFail) {
    Script({State(kDfuIdle), Dn(), State(kDfuDnloadSync),
            Status(kDfuDnloadIdle, kStatusErrStalledPkt), Dn(), State(kDfuManifestSync),
            Status(kDfuManifest), Status(kDfuIdle)});
    const uint8_t jump[1] = {'J'};
    EXPECT_EQ(port.Download(jump, {}, false), kDfuIdle);
    Script({State(kDfuIdle), Dn(), State(kDfuDnloadSync), Status(kDfuDnloadIdle, 4)});
    EXPECT_EQ(port.Download(jump, {}, false), kDfuStateUnknown);
}

TEST_F(DfuLoops, RepliesComeByUploadNeverPastTheCallersBuffer) {
    Script(Command());
    Script({State(kDfuIdle), Up({1, 2, 3, 4, 5, 6, 7})});  // two bytes more than asked
    uint8_t reply[5] = {};
    size_t received = 0;
    EXPECT_EQ(port.BootRomCommand(14, 0, {}, reply, &received), result::dfu::kOk);
    EXPECT_EQ(received, 7u);
    EXPECT_EQ(std::vector<uint8_t>(reply, reply + 5), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(handle->downloads[0], std::vector<uint8_t>{'P'});
    // A transfer size above 4096 asks for 4096.
    port.device().functional.transfer_size = 8192;
    EXPECT_EQ(port.UploadSize(), 4096);
}

TEST_F(DfuLoops, LoadWordsGroupsCarryTheirCountByte) {
    std::vector<uint8_t> image(2048 + 6, 0xAB);
    Script(Command());
    Script(Command());
    EXPECT_EQ(port.BootRomCommand(6, static_cast<uint32_t>(image.size()), image), result::dfu::kOk);
    ASSERT_EQ(handle->downloads.size(), 4u);
    EXPECT_EQ(handle->downloads[0].size(), 2050u);
    EXPECT_EQ(handle->downloads[0][1], 255);  // (512 mod 256) - 1
    // 6 bytes are padded to two words: count byte 1, zeros after the data.
    EXPECT_EQ(handle->downloads[2],
              (std::vector<uint8_t>{'L', 1, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0, 0}));
}

TEST_F(DfuLoops, LongDownloadSendsBlocksOf2048WithProgress) {
    std::vector<int> percents;
    port.SetProgress([&](int p) { percents.push_back(p); });
    std::vector<uint8_t> data(5000, 0x11);
    Script({State(kDfuIdle), Dn(), State(kDfuDnloadSync), Status(kDfuDnloadIdle)});
    for (int i = 0; i < 3; ++i) {
        Script({Dn(), Status(kDfuDnloadIdle)});
    }
    Script({Dn(), State(kDfuManifestSync), Status(kDfuManifest), Status(kDfuIdle)});
    EXPECT_EQ(port.BootRomCommand(22, 5000, data), result::dfu::kOk);
    ASSERT_EQ(handle->downloads.size(), 5u);
    EXPECT_EQ(handle->downloads[0], (std::vector<uint8_t>{'L', 0x88, 0x13, 0x00}));
    EXPECT_EQ(handle->downloads[1].size(), 2048u);
    EXPECT_EQ(handle->downloads[3].size(), 904u);
    EXPECT_EQ(percents, (std::vector<int>{41, 82, 101}));
}

TEST_F(DfuLoops, ArgumentRulesAreCheckedBeforeAnyTraffic) {
    const uint8_t two[2] = {0xFF, 0};
    EXPECT_EQ(port.BootRomCommand(3, 2, two), result::dfu::kBadArguments);
    EXPECT_EQ(port.BootRomCommand(3, 1, two), result::dfu::kOk);
    EXPECT_EQ(port.BootRomCommand(4, 1, two), result::dfu::kBadArguments);
    EXPECT_EQ(port.BootRomCommand(9, 1, two), result::dfu::kBadArguments);
    uint8_t reply[12];
    EXPECT_EQ(port.BootRomCommand(7, 0, {}, std::span<uint8_t>(reply, 6)),
              result::dfu::kBadArguments);
    EXPECT_EQ(port.BootRomCommand(13, 0, {}, reply), result::dfu::kBadArguments);
    EXPECT_EQ(port.BootRomCommand(39, 0, {}), result::dfu::kBadArguments);
    EXPECT_TRUE(handle->sent.empty());
    port.Close();
    EXPECT_EQ(port.BootRomCommand(9, 0, {}), result::dfu::kNotOpen);
}

}  // namespace
}  // namespace velmora::usb
