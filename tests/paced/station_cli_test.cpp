// velmora-cli station against paced simulated phones: Ctrl-C in the middle of
// a run, and a program killed mid-job, as the station log then reads.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "integration/cli_process.h"
#include "integration/job_fixture.h"

namespace velmora::testing {
namespace {

class StationCliTest : public JobFixture {
  protected:
    void SetUp() override {
        JobFixture::SetUp();
        setenv("XDG_RUNTIME_DIR", home_.c_str(), 1);  // the station's lock, this test's own
    }
    pid_t Spawn(const std::vector<std::string>& args) {
        pid_t pid = -1;
        EXPECT_EQ(SpawnCli(home_, args, home_ + "out.txt", home_ + "err.txt", &pid), 0);
        return pid;
    }
    int Finish(pid_t pid) { return WaitExitStatus(pid); }
    std::string Out() const { return ReadFile(home_ + "out.txt"); }
    // Block 0 of a chip file, read back by a job.
    std::string BlockZero(const std::string& nand) {
        const int status = Finish(Spawn({"read", "--range", "area", "--start", "0", "--end",
                                         "1FFFF", "--force", "--port", "sim:nand=" + nand}));
        EXPECT_EQ(status, 0) << Out();
        return ReadFile(home_ + "upload_nand/upload_range.bin");
    }
};

std::vector<nlohmann::json> JsonLines(const std::string& text) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(nlohmann::json::parse(line));
    return lines;
}

// SIGINT once the first slot has erased block 0: that slot finishes its boot
// block, the others stop where they are; every chip holds either no boot
// block (as before) or the whole new one.
TEST_F(StationCliTest, CtrlCMidRunLeavesEveryBlockZeroWhole) {
    const auto boot = BootImage(2);
    const std::string ptt = WriteSmallFirmware(home_, boot, 0x40000, 2);
    std::vector<std::string> args = {"--json", "station", "--ptt", ptt};
    std::vector<std::string> nands;
    for (int i = 1; i <= 3; ++i) {
        nands.push_back(home_ + "phone" + std::to_string(i) + ".nand");
        args.insert(args.end(), {"--port", "sim:pace,nand=" + nands.back()});
    }
    const pid_t pid = Spawn(args);
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Out().find(R"({"block":0,"colour":"#FF80FF","column":2,"event":"block",)") !=
                   std::string::npos;
        },
        60));
    kill(pid, SIGINT);
    const int status = Finish(pid);
    EXPECT_TRUE(status == 130 || status == 0) << status;
    const auto last = JsonLines(Out()).back();
    EXPECT_EQ(last["event"], "station");
    EXPECT_EQ(last["stopped"], true);

    const std::string want(boot.begin(), boot.end());
    int whole_new = 0;
    for (const std::string& nand : nands) {
        const std::string block0 = BlockZero(nand);
        ASSERT_EQ(block0.size(), 0x20000u);
        if (block0 == std::string(0x20000, '\xFF'))
            continue;  // stopped before its boot block: as it was
        ++whole_new;
        EXPECT_EQ(block0.substr(0, 0x400), want.substr(0, 0x400)) << nand;
        EXPECT_EQ(block0.substr(0x1000, want.size() - 0x1000), want.substr(0x1000)) << nand;
    }
    EXPECT_GE(whole_new, 1) << "the slot inside its boot block finished it";
}

// A pass, a failure, then a program killed mid-job: the log shows the first
// two closed and the third interrupted.
TEST_F(StationCliTest, TheLogShowsPassesFailuresAndAKilledJob) {
    const std::string ptt = WriteSmallFirmware(home_, BootImage(2), 0x40000, 2);
    EXPECT_EQ(
        Finish(Spawn({"station", "--ptt", ptt, "--port", "sim", "--port", "sim:program-fail=2"})),
        1)
        << Out();
    EXPECT_NE(Out().find("passed: 1  failed: 1"), std::string::npos) << Out();

    const pid_t pid = Spawn({"--json", "station", "--ptt", ptt, "--port", "sim:pace"});
    ASSERT_TRUE(
        WaitUntil([&] { return Out().find(R"("phase":"write")") != std::string::npos; }, 60));
    kill(pid, SIGKILL);
    Finish(pid);

    ASSERT_EQ(Finish(Spawn({"log", "--json"})), 0) << ReadFile(home_ + "err.txt");
    const auto rows = JsonLines(Out());
    ASSERT_EQ(rows.size(), 3u) << Out();
    std::map<std::string, nlohmann::json> by_outcome;
    for (const auto& row : rows) {
        by_outcome[row["outcome"]] = row;
        EXPECT_EQ(row["chip_id"], "EC,A1,00,15") << row.dump();
    }
    ASSERT_EQ(by_outcome.size(), 3u) << Out();
    EXPECT_EQ(by_outcome["passed"]["result"], 0);
    EXPECT_NE(by_outcome["failed"]["result"], 0);
    EXPECT_EQ(by_outcome["failed"]["slot"], 2);
    EXPECT_NE(by_outcome["failed"]["result_text"], "");
    EXPECT_TRUE(by_outcome["interrupted"]["result"].is_null());
    EXPECT_EQ(by_outcome["interrupted"]["interrupted"], true);

    ASSERT_EQ(Finish(Spawn({"log", "--csv", "--since", "1h"})), 0);
    const std::string csv = Out();
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4) << csv;
    EXPECT_EQ(Finish(Spawn({"log", "--since", "yesterday"})), 2);
}

}  // namespace
}  // namespace velmora::testing
