// Inputs that are not what they claim to be: a FIFO or a device where a file
// belongs ends the command at once with a text naming it, never a program that
// only kill -9 ends.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli_process.h"
#include "job_fixture.h"

namespace velmora::testing {
namespace {

class BadInputTest : public JobFixture {
  protected:
    // Runs velmora-cli; -1 when it had not ended after 10 s (it is then killed).
    int Cli(const std::vector<std::string>& args) {
        pid_t pid = -1;
        EXPECT_EQ(SpawnCli(home_, args, home_ + "out.txt", home_ + "err.txt", &pid), 0);
        int status = 0;
        if (!WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 10)) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        output_ = ReadFile(home_ + "out.txt") + ReadFile(home_ + "err.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string output_;
};

TEST_F(BadInputTest, AFifoOrADeviceForAFileIsRefusedAtOnceByName) {
    const std::string fifo = home_ + "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string ptt = WriteSmallFirmware(home_ + "fw/", BootImage(0));
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string named;
    };
    const Case cases[] = {
        {{"upgrade", "--ptt", fifo, "--port", "sim"}, 2, fifo + ": not a regular file (a FIFO)"},
        {{"upgrade", "--ptt", "/dev/zero", "--port", "sim"}, 2, "/dev/zero: not a regular file"},
        {{"station", "--ptt", fifo, "--port", "sim"}, 2, fifo + ": not a regular file (a FIFO)"},
        {{"ptt", "/dev/zero"}, 2, "/dev/zero: not a regular file"},
        {{"upgrade", "--ptt", ptt, "--port", "sim:trace=" + fifo}, 2, fifo},
        {{"upgrade", "--ptt", ptt, "--port", "sim:nand=/dev/zero"}, 2, "/dev/zero"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " ... " + c.args.back());
        EXPECT_EQ(Cli(c.args), c.status);
        EXPECT_NE(output_.find(c.named), std::string::npos) << output_;
    }

    // An image the table names, and the RAM loader that replaces the built-in one.
    fs::remove(home_ + "fw/code.bin");
    ASSERT_EQ(mkfifo((home_ + "fw/code.bin").c_str(), 0600), 0);
    EXPECT_EQ(Cli({"upgrade", "--ptt", ptt, "--port", "sim"}), 2);
    EXPECT_NE(output_.find(home_ + "fw/code.bin"), std::string::npos) << output_;
    fs::create_symlink("/dev/zero", home_ + "ramloader_serial.bin");
    EXPECT_EQ(Cli({"erase", "--range", "fs", "--port", "sim"}), 1);
    EXPECT_NE(output_.find("ramloader_serial.bin: not a regular file"), std::string::npos)
        << output_;
}

// A path that is not UTF-8 goes into the JSON report without ending the program;
// a report saved into a FIFO that nothing reads fails instead of waiting for ever.
TEST_F(BadInputTest, AHealthReportSinceAPathThatIsNotUtf8OrSavedIntoAFifo) {
    EXPECT_EQ(Cli({"health", "--since", home_ + "\xFF", "--port", "sim"}), 0);
    EXPECT_NE(output_.find("result: 0"), std::string::npos) << output_;
    ASSERT_EQ(mkfifo((home_ + "fifo").c_str(), 0600), 0);
    EXPECT_EQ(Cli({"health", "--save", home_ + "fifo", "--port", "sim"}), 1);
    EXPECT_NE(output_.find("it is a FIFO that nothing reads"), std::string::npos) << output_;
}

}  // namespace
}  // namespace velmora::testing
