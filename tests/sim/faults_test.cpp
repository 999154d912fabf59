// Fault injection, sessions, power, pacing and the compact options.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "base/checksum.h"
#include "base/job_flags.h"
#include "script_host.h"
#include "serial/serial_port.h"
#include "sim/phone.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

namespace velmora::sim {
namespace {

using testing::Args;
using testing::Rig;
using testing::ScriptHost;
using testing::SmallPhone;
using velmora::testing::TempDir;
using velmora::testing::WaitUntil;

TEST(PhoneOptions, CompactFormAndErrors) {
    PhoneOptions o;
    std::string error;
    ASSERT_TRUE(ParsePhoneOptions(
        "chip=ec,da,bad=5+9,pace,drop=8#2,status=10@5:3+20,id=20,DA,00,95,nand=/tmp/n.bin", o,
        error))
        << error;
    EXPECT_EQ(o.chip, "EC,DA");
    EXPECT_EQ(o.bad_blocks, (std::vector<uint32_t>{5, 9}));
    EXPECT_TRUE(o.pace);
    EXPECT_EQ(o.nand_file, "/tmp/n.bin");
    EXPECT_EQ(o.id, (std::array<uint8_t, 4>{0x20, 0xDA, 0x00, 0x95}));
    ASSERT_EQ(o.faults.size(), 3u);
    EXPECT_EQ(o.faults[0].nth, 2);       // drop=8#2
    EXPECT_EQ(o.faults[1].block, 5);     // status=10@5:3
    EXPECT_EQ(o.faults[2].command, 20);  // +20: status 1
    EXPECT_EQ(o.faults[2].value, 1u);

    PhoneOptions chip_faults;
    ASSERT_TRUE(ParsePhoneOptions("grown=7+9,flip=5:0x800+6:2K", chip_faults, error)) << error;
    EXPECT_EQ(chip_faults.grown_blocks, (std::vector<uint32_t>{7, 9}));
    ASSERT_EQ(chip_faults.flips.size(), 2u);
    EXPECT_EQ(chip_faults.flips[0].block, 5u);
    EXPECT_EQ(chip_faults.flips[0].offset, 0x800u);
    EXPECT_EQ(chip_faults.flips[1].offset, 2048u);
    for (const char* wrong :
         {"flip=5", "flip=5:x", "flip=:3", "grown=a", "flip=5:9000000000000000000K"}) {
        EXPECT_FALSE(ParsePhoneOptions(wrong, chip_faults, error)) << wrong;
    }
    ChipDescription shaped;
    for (const char* beyond : {"grown=64", "flip=63:33792", "flip=64:0"}) {
        auto small = SmallPhone(beyond);  // 64 blocks of 16 × 2112 bytes
        EXPECT_FALSE(ResolveChip(small, shaped, error)) << beyond;
    }
    auto last = SmallPhone("flip=63:33791");
    EXPECT_TRUE(ResolveChip(last, shaped, error)) << error;
    // A shape whose page and spare bytes overflow int and whose size overflows 64 bits.
    auto huge = SmallPhone("blocks=2147483647,block-size=2147483646,page-size=2,spare=2147483647");
    EXPECT_FALSE(ResolveChip(huge, shaped, error));

    EXPECT_FALSE(ParsePhoneOptions("chip=EC,A1,colour=red", o, error));
    EXPECT_NE(error.find("colour"), std::string::npos);
    EXPECT_FALSE(ParsePhoneOptions("blocks=many", o, error));
    EXPECT_FALSE(ParsePhoneOptions("drop=8#0", o, error));

    // The catalogue gives the shape of a named chip.
    PhoneOptions named;
    named.catalogue = VELMORA_BIN_DIR;
    ChipDescription chip;
    ASSERT_TRUE(ResolveChip(named, chip, error)) << error;
    EXPECT_EQ(chip.geometry.block_count, 1024);
    EXPECT_EQ(chip.geometry.block_size, 131072);
    EXPECT_EQ(chip.id[0], 0xEC);
    named.chip = "99,99";
    EXPECT_FALSE(ResolveChip(named, chip, error));
}

TEST(PhoneFaults, AnswersGoMissingWrongOrLate) {
    Rig rig(SmallPhone("drop=5#1,status=10@3:7,stray=13:5,bad-crc=8,erase-fail=7"));
    auto host = rig.Host();
    ASSERT_TRUE(host->BringUp());

    host->Send(5);
    EXPECT_TRUE(host->Response(200).empty());  // the first is dropped
    host->Send(5);
    EXPECT_FALSE(host->Response().empty());

    host->Send(10, Args({3}));
    EXPECT_FALSE(host->WaitFor('O', 200));
    host->Send(10, Args({4}));
    EXPECT_TRUE(host->WaitFor('O'));
    host->Send(10, Args({7}));  // fails although the IBT calls it good
    EXPECT_FALSE(host->WaitFor('O', 200));

    host->Send(13, Args({4, 0, 16}));
    const auto shifted = host->Read(64);
    ASSERT_EQ(shifted.size(), 64u);
    EXPECT_EQ(shifted[0], 0x13);  // stray bytes first
    EXPECT_EQ(shifted[5], 0x55);
    EXPECT_EQ(host->Read(5 + 16).size(), 21u);  // the rest of the response and the page

    const std::vector<uint8_t> data(2048, 0x5A);
    host->Send(8, Args({4, 0, 1, 2048, 2048, 0, Crc32(data)}));
    host->Write(data);
    const auto r = host->Response();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(ScriptHost::U32(r, 60), 0u);
    EXPECT_NE(ScriptHost::U32(r, 56), Crc32(data));

    // Faults added while the phone runs: a non-zero status for one block.
    rig.phone.AddFault({FaultKind::kStatus, 11, 9, 0, 42});
    host->Send(11, Args({9, 16, 2048}));
    EXPECT_EQ(host->Read(16 * 2048).size(), 16u * 2048);
    EXPECT_EQ(ScriptHost::U32(host->Response(), 60), 42u);
    rig.phone.ClearFaults();
    host->Send(5);
    EXPECT_EQ(ScriptHost::U32(host->Response(), 60), 0u);
}

TEST(PhoneSessions, ManualPowerWaitsForTheOperator) {
    Rig rig(SmallPhone("manual"));
    auto host = rig.Host();
    EXPECT_FALSE(host->WaitFor(0x81, 100));
    rig.phone.SwitchOn();
    EXPECT_TRUE(host->BringUp());
    // Switching on again reboots into the boot ROM.
    rig.phone.SwitchOn();
    EXPECT_TRUE(host->Connect());
}

TEST(PhoneSessions, ServesAGivenDescriptorUntilTheHostLetsGo) {
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
    auto options = SmallPhone();
    options.fd = sv[1];
    Rig rig(options);
    close(sv[1]);
    ScriptHost host(sv[0]);
    ASSERT_TRUE(host.BringUp());
    host.Send(5);
    EXPECT_EQ(ScriptHost::U32(host.Response(), 8), 0xA1u);
    host.Close();
    EXPECT_TRUE(WaitUntil([&] { return rig.phone.state() == Phone::State::kStopped; }));
}

// A second program opening the port while a job runs is refused by the host's
// lock, and the phone goes on serving the first host as if nothing happened.
TEST(PhoneSessions, ASecondOpenerLeavesTheRunningSessionAlone) {
    Rig rig(SmallPhone());
    JobFlags flags;
    SerialPort first(flags);
    ASSERT_TRUE(first.Open(rig.phone.SlavePath()));
    ScriptHost host(dup(first.fd()));
    host.SetLine(115200, true);
    ASSERT_TRUE(host.Connect());

    SerialPort second(flags);
    EXPECT_FALSE(second.Open(rig.phone.SlavePath())) << "the port is busy";
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(host.Handshake()) << "the boot ROM still talks to the first host";
    EXPECT_EQ(rig.phone.sessions(), 0);
    EXPECT_EQ(rig.phone.trace().Of("power_on").size(), 1u);
}

// --link replaces only a link the phone made (now, or in an earlier run whose
// pseudo-terminal is gone); anything else at the path is refused and kept.
TEST(PhoneLink, ReplacesOnlyALinkOfItsOwn) {
    namespace fs = std::filesystem;
    TempDir scratch;
    const fs::path dir = scratch.path();
    const fs::path link = dir / "port";
    const fs::path file = dir / "file";
    std::ofstream(file) << "keep";
    struct Case {
        const char* what;
        std::function<void()> place;
        bool replaced;
    } const cases[] = {
        {"nothing", [] {}, true},
        {"a stale link to a pty", [&] { fs::create_symlink("/dev/pts/987654", link); }, true},
        {"a file", [&] { fs::copy_file(file, link); }, false},
        {"a link to a file", [&] { fs::create_symlink(file, link); }, false},
        {"a dangling link elsewhere", [&] { fs::create_symlink(dir / "gone", link); }, false},
        {"a folder", [&] { fs::create_directory(link); }, false},
    };
    for (const Case& c : cases) {
        fs::remove_all(link);
        c.place();
        const auto before = fs::symlink_status(link).type();
        auto options = SmallPhone("link=" + link.string());
        Phone phone(options);
        std::string error;
        EXPECT_EQ(phone.Start(&error), c.replaced) << c.what;
        if (c.replaced) {
            EXPECT_EQ(fs::read_symlink(link), phone.SlavePath()) << c.what;
            phone.Stop();
            EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << c.what << ": removed at stop";
        } else {
            EXPECT_NE(error.find(link.string()), std::string::npos) << error;
            EXPECT_EQ(fs::symlink_status(link).type(), before) << c.what << ": left alone";
        }
    }
    EXPECT_EQ(std::ifstream(file).rdbuf()->sgetc(), 'k');

    // A link that someone else put there meanwhile stays when the phone stops.
    fs::remove_all(link);
    {
        Rig rig(SmallPhone("link=" + link.string()));
        fs::remove(link);
        fs::create_symlink(file, link);
    }
    EXPECT_EQ(fs::read_symlink(link), file);
}

TEST(PhoneLink, FollowsThePortWhenItComesBack) {
    TempDir dir;
    const std::string link = dir.path() + "port";
    Rig rig(SmallPhone("vanish=10,link=" + link));
    auto host = rig.Host();
    ASSERT_TRUE(host->BringUp());
    host->Send(10, Args({1}));
    EXPECT_TRUE(host->Read(1, 1000).empty());
    EXPECT_TRUE(host->hung_up());
    host.reset();
    ASSERT_TRUE(WaitUntil([&] { return rig.phone.ports() >= 2; }));
    ASSERT_EQ(rig.phone.ports(), 2);
    EXPECT_EQ(std::filesystem::read_symlink(link), rig.phone.SlavePath());
    rig.phone.ClearFaults();
    EXPECT_TRUE(rig.Host()->BringUp()) << "a host on the new port gets the phone";
    rig.phone.Stop();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(PhonePacing, BytesTakeTheirWireTime) {
    Rig rig(SmallPhone("pace"));
    auto host = rig.Host();
    ASSERT_TRUE(host->BringUp(256));
    using Clock = std::chrono::steady_clock;
    // 64-byte response and 2112 data bytes at 115200 baud, 10 bits each: 189 ms.
    const auto t0 = Clock::now();
    host->Send(13, Args({1, 0, 2112}));
    ASSERT_FALSE(host->Response().empty());
    ASSERT_EQ(host->Read(2112).size(), 2112u);
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const double wire = (64 + 64 + 2112) * 10 / 115200.0;
    EXPECT_GT(seconds, wire * 0.95);
    EXPECT_LT(seconds, wire * 2 + 0.05);
}

}  // namespace
}  // namespace velmora::sim
