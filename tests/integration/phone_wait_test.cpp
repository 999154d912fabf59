// What the operator learns when the port will not open, when no phone comes
// within --timeout, and after a Stop: through the event stream (the window's
// status line and debug message box), the CLI's lines and its JSON end event.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include "job_fixture.h"

namespace velmora::testing {
namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class PhoneWaitTest : public JobFixture {
  protected:
    // velmora-cli with `args`; stdout and stderr together. The exit status.
    int Cli(const std::string& args, std::string* out) {
        const std::string command =
            std::string(VELMORA_BIN_DIR) + "/velmora-cli --home " + home_ + " " + args + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[4096];
        while (pipe && fgets(buffer, sizeof buffer, pipe)) {
            *out += buffer;
        }
        const int status = pipe ? pclose(pipe) : -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

// The reason reaches every place a failure shows: the last status, the debug
// step message, and the end's meaning and next step. The port is tried before
// the operator is asked to switch the phone on.
TEST_F(PhoneWaitTest, PortErrorCarriesItsReasonEverywhere) {
    JobRequest request = Request();
    request.port = "/dev/null";
    request.debug = true;
    const JobOutcome o = Run(request);
    EXPECT_EQ(o.result, -3001);
    EXPECT_EQ(o.error_text,
              "打开串口失败！ /dev/null: Inappropriate ioctl for device. This is not a serial "
              "port; `velmora-cli ports` lists the ports.");
    EXPECT_EQ(display_.last_status(), o.error_text);
    ASSERT_FALSE(display_.messages().empty());
    EXPECT_EQ(display_.messages().back(), o.error_text);
    EXPECT_EQ(o.meaning, "/dev/null: Inappropriate ioctl for device");
    EXPECT_TRUE(Has(o.next_step, "not a serial port")) << o.next_step;
    EXPECT_FALSE(display_.saw_status("请打开手机！"));
}

TEST_F(PhoneWaitTest, CliShowsThePortErrorInLinesAndJson) {
    std::string out;
    EXPECT_EQ(Cli("erase --range all --port /dev/velmora-no-such-port", &out), 1);
    EXPECT_FALSE(Has(out, "Switch on the phone!")) << out;
    EXPECT_TRUE(Has(out,
                    "error: Cannot open the serial port! /dev/velmora-no-such-port: No such "
                    "file or directory"))
        << out;
    EXPECT_TRUE(Has(out, "why: erase/serial-port -3001 (kOpenPortFailed): ")) << out;
    EXPECT_TRUE(Has(out, "reason: /dev/velmora-no-such-port: No such file or directory\n")) << out;
    EXPECT_TRUE(Has(out, "next: Check the cable/adapter; `velmora-cli ports` lists the ports."))
        << out;

    out.clear();
    EXPECT_EQ(Cli("--json erase --range all --port /dev/null", &out), 1);
    const auto end = nlohmann::json::parse(out.substr(out.rfind('{')));
    EXPECT_EQ(end["event"], "end");
    EXPECT_EQ(end["result"], -3001);
    EXPECT_TRUE(Has(end["error"], "/dev/null: Inappropriate ioctl for device")) << out;
    EXPECT_TRUE(Has(end["next_step"], "not a serial port")) << out;
}

// A wait with a limit says now and then what it waits for, and ends with −1.
TEST_F(PhoneWaitTest, SerialWaitEndsAtItsLimitWithNotices) {
    StartPhone("manual");
    JobRequest request = Request();
    request.timings.phone_wait_ms = 1000;
    request.timings.phone_notice_ms = 300;
    const JobOutcome o = Run(request);
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.error_text, "no phone within 1 s on " + request.port);
    EXPECT_EQ(o.meaning, o.error_text);
    EXPECT_EQ(display_.last_status(), o.error_text);
    const auto statuses = display_.statuses();
    const auto notices = std::count_if(statuses.begin(), statuses.end(), [&](const auto& s) {
        return s.rfind("Waiting for the phone on " + request.port + " (", 0) == 0 &&
               Has(s, " of 1 s): switch it on in download mode");
    });
    // At 0.3, 0.6 and 0.9 s; a loaded machine may wake for the last one late.
    EXPECT_GE(notices, 2);
    EXPECT_LE(notices, 3);
    EXPECT_EQ(phone_->trace().Commands().size(), 0u);
}

TEST_F(PhoneWaitTest, CliTimeoutOnBothLinks) {
    for (const std::string link : {"", "--usb "}) {
        std::string out;
        EXPECT_EQ(Cli("erase --range all " + link + "--port sim:manual --timeout 1", &out), 1)
            << out;
        EXPECT_TRUE(Has(out, "error: no phone within 1 s on ")) << out;
        ASSERT_GE(out.size(), 11u);
        EXPECT_EQ(out.substr(out.size() - 11), "result: -1\n") << out;
    }
    std::string out;
    EXPECT_EQ(Cli("erase --range all --port sim --timeout 0", &out), 2) << "refused: " << out;
}

// Stop during the switch to the loader's line rate: the last status names that
// step, not the failure of a later one.
TEST_F(PhoneWaitTest, StopSaysInWhichStep) {
    StartPhone();
    JobRequest request = Request();
    request.timings.baud_pause_ms = 20000;
    const JobOutcome outcome =
        RunAndStop(request, [&] { return display_.saw_status("改变波特率到921600!"); });
    EXPECT_TRUE(outcome.user_stopped);
    EXPECT_NE(outcome.result, 0);
    EXPECT_EQ(display_.last_status(), "Stopped during the RAM loader start and line speed.");
    EXPECT_FALSE(display_.saw_status("读NAND FLash ID错误！"));
}

}  // namespace
}  // namespace velmora::testing
