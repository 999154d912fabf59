// The velmora-phone-sim executable: two runs on one --nand file, the trace file.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "base/checksum.h"
#include "script_host.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

extern char** environ;

namespace velmora::sim {
namespace {

using testing::Args;
using testing::ScriptHost;
using velmora::testing::TempDir;
using velmora::testing::WaitUntil;

class SimProcess {
  public:
    explicit SimProcess(std::vector<std::string> args) {
        args.insert(args.begin(), std::string(VELMORA_BIN_DIR) + "/velmora-phone-sim");
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ok_ = posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) == 0;
    }
    ~SimProcess() { Stop(); }
    int Stop() {
        int status = -1;
        if (ok_ && pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
        return status;
    }

  private:
    bool ok_ = false;
    pid_t pid_ = -1;
};

bool WaitForLink(const std::string& link) {
    return WaitUntil([&] {
        std::error_code ec;
        return std::filesystem::is_symlink(link, ec);
    });
}

TEST(PhoneExecutable, NandFileKeepsTheContentBetweenRuns) {
    TempDir dir;
    const std::string link = dir.path() + "port";
    const std::string nand = dir.path() + "nand.bin";
    const std::string trace = dir.path() + "trace.jsonl";
    const std::vector<std::string> common = {
        "--chip", "EC,A1",  "--catalogue", VELMORA_BIN_DIR, "--nand",
        nand,     "--link", link,          "--start-delay", "1"};
    std::vector<uint8_t> page(2112);
    for (size_t i = 0; i < page.size(); ++i)
        page[i] = static_cast<uint8_t>(i * 13 + 5);
    {
        SimProcess sim(common);
        ASSERT_TRUE(WaitForLink(link));
        ScriptHost host(link);
        ASSERT_TRUE(host.BringUp());
        host.Send(6, Args({1024, 131072, 2048, 64, 0, 0}));
        ASSERT_TRUE(host.WaitFor('O'));
        host.Send(10, Args({700}));
        ASSERT_TRUE(host.WaitFor('O'));
        host.Send(8, Args({700, 5, 1, 2112, 2112, 0, Crc32(page)}));
        host.Write(page);
        ASSERT_EQ(ScriptHost::U32(host.Response(), 60), 0u);
        host.Close();
        EXPECT_EQ(sim.Stop(), 0);
    }
    // A 132 MiB chip with one block written takes little room: erased blocks are holes.
    struct stat st {};
    ASSERT_EQ(stat(nand.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, (1024 * 64 * 2112) + 4096);
    EXPECT_LT(st.st_blocks * 512, 4 << 20);
    std::vector<std::string> second = common;
    second.insert(second.end(), {"--trace", trace});
    {
        SimProcess sim(second);
        ASSERT_TRUE(WaitForLink(link));
        ScriptHost host(link);
        ASSERT_TRUE(host.BringUp());
        host.Send(13, Args({700, 5, 2112}));
        ASSERT_EQ(ScriptHost::U32(host.Response(), 60), 0u);
        EXPECT_EQ(host.Read(2112), page);
        host.Close();
        EXPECT_EQ(sim.Stop(), 0);
    }
    std::ifstream in(trace);
    std::string line;
    std::vector<std::string> events;
    while (std::getline(in, line)) {
        const auto j = nlohmann::json::parse(line);
        events.push_back(j.at("event").get<std::string>());
    }
    EXPECT_NE(std::find(events.begin(), events.end(), "start_byte"), events.end());
    EXPECT_NE(std::find(events.begin(), events.end(), "session_end"), events.end());
}

}  // namespace
}  // namespace velmora::sim
