#include <gtest/gtest.h>

#include "base/reporter.h"
#include "job/ram_loader.h"
#include "job_fixture.h"

namespace velmora::testing {
namespace {

using SerialJobTest = JobFixture;

bool Contains(const std::vector<std::string>& list, const std::string& text) {
    return std::find(list.begin(), list.end(), text) != list.end();
}

TEST_F(SerialJobTest, WholeSequenceReachesTheWorkMode) {
    StartPhone();
    const JobOutcome o = Run(Request(2));
    const auto statuses = display_.statuses();
    std::vector<std::string> expected = {
        "请打开手机！",   "改变波特率到115200！", "改变波特率到921600!", "Get Flash information!",
        "Get Flash IBT!", "Get MangrBlk!",        "ERASE FLASH!"};
    auto it = statuses.begin();
    for (const auto& text : expected) {
        it = std::find(it, statuses.end(), text);
        ASSERT_NE(it, statuses.end()) << "missing or out of order: " << text;
    }
    EXPECT_EQ(display_.chip().back(), " EC, A1, 00, 15");
    EXPECT_EQ(display_.map().rows(), 1025);
    const auto commands = phone_->trace().Commands();
    ASSERT_GE(commands.size(), 5u);
    EXPECT_EQ(std::vector<int>(commands.begin(), commands.begin() + 5),
              (std::vector<int>{4, 5, 7, 6, 20}));
    EXPECT_TRUE(phone_->trace().Violations().empty()) << phone_->trace().Violations().front();

    // The loader went into RAM at 0 in 51 loads of at most 64 words, whole.
    const auto loader = SerialRamLoader().embedded;
    std::vector<int64_t> words;
    for (const auto& e : phone_->trace().Of("rom")) {
        if (e.command == 'L' && e.value >= 0 && e.value < static_cast<int64_t>(loader.size())) {
            words.push_back(e.count);
        }
    }
    ASSERT_EQ(words.size(), 51u);
    EXPECT_EQ(std::count(words.begin(), words.end(), 64), 50);
    EXPECT_EQ(words.back(), 104 / 4);
    const auto jumps = phone_->trace().Of("jump");
    ASSERT_EQ(jumps.size(), 1u);
    EXPECT_EQ(jumps[0].count, static_cast<int64_t>(loader.size()));
    EXPECT_EQ(jumps[0].text, "crc " + std::to_string(Crc32(loader)));

    EXPECT_EQ(o.result, 0) << o.error_text;
    EXPECT_EQ(phone_->trace().ErasedBlocks(), std::vector<uint32_t>{0});
    EXPECT_EQ(display_.bar_colours().back(), kBarGreen);
}

TEST_F(SerialJobTest, BaudSelectionsSwitchBothEnds) {
    const uint32_t rates[] = {115200, 460800, 921600};
    for (int selection = 0; selection < 3; ++selection) {
        StartPhone();
        Run(Request(selection));
        const auto commands = phone_->trace().Commands();
        const bool frame_sent = std::find(commands.begin(), commands.end(), 4) != commands.end();
        EXPECT_EQ(frame_sent, selection != 0) << "selection " << selection;
        const auto seen = phone_->trace().BaudRates();
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back(), rates[selection]) << "the phone saw the host's port at this rate";
        ASSERT_TRUE(Contains(display_.statuses(), "Get MangrBlk!")) << "selection " << selection;
        phone_.reset();
    }
}

TEST_F(SerialJobTest, PortThatCannotBeOpenedFailsWithMinus3001) {
    for (const char* port : {"COM0", "COM1025", "/dev/velmora-no-such-port"}) {
        JobRequest request = Request();
        request.port = port;
        const JobOutcome o = Run(request);
        EXPECT_EQ(o.result, -3001) << port;
        // The specified text first, then the reason beside it.
        EXPECT_EQ(o.error_text.rfind("打开串口失败！ ", 0), 0u) << o.error_text;
        EXPECT_NE(o.error_text.find(port), std::string::npos) << o.error_text;
        EXPECT_TRUE(Contains(display_.statuses(), "Open COMPort Fail"));
        EXPECT_EQ(display_.last_status(), o.error_text);
    }
}

TEST_F(SerialJobTest, IdentificationFailuresShowTheirTexts) {
    struct Case {
        const char* options;
        const char* status;
    };
    const Case cases[] = {
        {"drop=5", "读NAND FLash ID错误！"},              // no answer: -1000
        {"status=5", "读NAND FLash ID错误！"},            // bad status: -1001
        {"id=FF,A1,00,15", "芯片类型错误！"},             // maker 0xFF: -2000
        {"chip=EC,A1,id=AB,CD,00,15", "未知芯片类型！"},  // not listed: 20006
    };
    for (const auto& c : cases) {
        StartPhone(c.options);
        const JobOutcome o = Run(Request());
        EXPECT_EQ(o.result, -7) << c.options;
        EXPECT_EQ(o.error_text, c.status) << c.options;
        EXPECT_TRUE(Contains(display_.statuses(), c.status)) << c.options;
        phone_.reset();
    }

    // A chip whose entry cannot be served fails its own identification, naming the
    // entry and the value; the catalogue is not refused as a whole at Start.
    std::ofstream(home_ + "FlashChip.ini", std::ios::app)
        << "[EC,B2]\nBLOCK_NUM=1024\nBLOCK_SIZE=16\nPAGE_SIZE=528\nSPARE_SIZE=16\n"
           "ERASE_TIME=1\nWRITE_TIME=1\n";
    StartPhone("id=EC,B2,00,15");
    const JobOutcome o = Run(Request());
    EXPECT_EQ(o.result, -7);
    EXPECT_EQ(o.error_text.rfind("参数定义错误！ The catalogue entry [EC,B2] in " + home_ +
                                     "FlashChip.ini cannot be served: PAGE_SIZE=528",
                                 0),
              0u)
        << o.error_text;
}

// Failures of the boot stage and of the loader's first commands, each with its
// result and text (none checked: a null text).
TEST_F(SerialJobTest, BootStageAndTargetCommandFailures) {
    struct Case {
        const char* options;
        int result;
        const char* error;
        bool record = false;  // a management record on the chip
    };
    const Case cases[] = {
        {"no-echo", -1, "连接手机失败！"},
        {"no-ack=11", -2, nullptr},  // the boot ROM goes silent during the loader transfer
        {"no-start", -4, "BootLoader启动失败!"},
        {"drop=7", 100, "Wait for ibt command response fail!"},
        {"status=7:21", 100, "Get IBT fail, AA55, 15"},
        {"drop=6", -8, "Set Nanf Flash Parameter fail!"},
        {"drop=20", -80, "Get MangrBlk Fail, #1000!"},
        {"status=20:1", -80, "Get MangrBlk Fail, #1011!"},
        {"bad-crc=20", -80, "Get MangrBlk Fail, #1100!", true},  // the record's checksum
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        StartPhone(c.options);
        if (c.record)
            StoreRecord();
        const JobOutcome o = Run(Request());
        EXPECT_EQ(o.result, c.result);
        if (c.error) {
            EXPECT_EQ(o.error_text, c.error);
            EXPECT_EQ(display_.last_status(), c.error);
        }
        phone_.reset();
    }
}

TEST_F(SerialJobTest, DebugFilesOnlyInDebugModeAndTheLogIsReplaced) {
    std::ofstream(home_ + "dl_log.txt") << "an earlier job's log";
    StartPhone();
    const auto record = StoreRecord();

    Run(Request());
    EXPECT_FALSE(fs::exists(home_ + "bbm_rcb.bin"));
    EXPECT_EQ(ReadFile(home_ + "dl_log.txt"), "an earlier job's log");
    EXPECT_TRUE(display_.messages().empty()) << "no step messages outside debug mode";

    JobRequest debug = Request();
    debug.debug = true;
    const JobOutcome o = Run(debug);
    EXPECT_EQ(ReadFile(home_ + "bbm_rcb.bin"), std::string(record.begin(), record.end()));
    EXPECT_EQ(ReadFile(home_ + "dl_log.txt").find("an earlier job's log"), std::string::npos);
    if (o.result != 0) {
        EXPECT_EQ(display_.messages().back(), o.error_text) << "the failure, as a step message";
    }
}

// Stop while the phone is not switched on, and while the job waits for the IBT
// (a wait only Stop can end): the job ends silently, without a red bar.
TEST_F(SerialJobTest, StopWhileWaitingForThePhoneOrInACommandEndsSilently) {
    for (const bool in_command : {false, true}) {
        StartPhone(in_command ? "drop=7" : "manual");
        JobRequest request = Request();
        request.debug = true;
        request.timings.response_ms = 60000;
        std::chrono::steady_clock::time_point stop_at;
        const JobOutcome outcome = RunAndStop(request, [&] {
            const auto c = phone_->trace().Commands();
            stop_at = std::chrono::steady_clock::now();
            return in_command ? std::find(c.begin(), c.end(), 7) != c.end()
                              : display_.saw_status("请打开手机！");
        });
        EXPECT_LT(std::chrono::steady_clock::now() - stop_at, std::chrono::seconds(10));
        EXPECT_TRUE(outcome.user_stopped);
        EXPECT_NE(outcome.result, 0);
        EXPECT_TRUE(display_.messages().empty()) << display_.messages().front();
        const auto colours = display_.bar_colours();
        EXPECT_EQ(std::count(colours.begin(), colours.end(), kBarRedSerial), 0);
        phone_.reset();
    }
}

// The question before an area erase over block 0 is answered on another
// thread; a Stop while it is open ends the job, and a late answer harms nothing.
TEST_F(SerialJobTest, AStopWhileTheAreaQuestionIsOpenErasesNothing) {
    StartPhone();
    phone_->nand().WriteBlock(0, Bytes(kBlock, 5), false);
    const auto written = phone_->nand().ReadBlock(0, false);
    JobController jobs(&display_);
    std::function<void(bool)> late;
    JobRequest request = Request();
    request.area_confirmed = false;
    request.ask_area = [&](const AreaQuestion& area, std::function<void(bool)> answer) {
        EXPECT_TRUE(area.boot);
        late = std::move(answer);
        jobs.Stop();
    };
    ASSERT_TRUE(jobs.Run(request).start.started);
    late(true);
    EXPECT_EQ(phone_->nand().ReadBlock(0, false), written);
}

}  // namespace
}  // namespace velmora::testing
