// velmora-cli run as a process: the operator's language, a failure told with
// its step, the JSON a script reads, and the refusals of a command line it does
// not understand.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "base/texts.h"
#include "cli/cli_texts.h"
#include "integration/cli_process.h"
#include "support/temp_dir.h"

namespace velmora::testing {
namespace {

using Json = nlohmann::json;

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

class CliLanguageTest : public ::testing::Test {
  protected:
    void SetUp() override { home_.Copy(VELMORA_BIN_DIR "/FlashChip.ini"); }

    CliRun Cli(const std::vector<std::string>& args) {
        pid_t pid = -1;
        const std::string out = home_.path() + "out.txt";
        const std::string err = home_.path() + "err.txt";
        EXPECT_EQ(SpawnCli(home_.path(), args, out, err, &pid), 0);
        CliRun run;
        run.status = WaitExitStatus(pid);
        run.out = home_.Read("out.txt");
        run.err = home_.Read("err.txt");
        return run;
    }

    // JSON lines; the events whose number depends on the machine's speed left out.
    static std::vector<Json> Events(const std::string& out) {
        std::vector<Json> events;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) {
            Json e = Json::parse(line);
            if (e["event"] != "progress" && e["event"] != "elapsed")
                events.push_back(std::move(e));
        }
        return events;
    }

    TempDir home_;
};

// An erase whose third block does not erase: the statuses of the boot stage,
// the chip, and a failure with a reference, a meaning and a next step.
const std::vector<std::string> kFailingErase = {
    "erase", "--range", "area", "--start", "40000", "--end", "7FFFF", "--port", "sim:erase-fail=2"};

std::vector<std::string> With(std::vector<std::string> first,
                              const std::vector<std::string>& then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

TEST_F(CliLanguageTest, AFailedJobSpeaksTheChosenLanguageWithItsStep) {
    const CliRun en = Cli(With({"--lang", "en"}, kFailingErase));
    EXPECT_EQ(en.status, 1);
    EXPECT_FALSE(text::HasCjk(en.out + en.err)) << en.out << en.err;
    EXPECT_NE(en.out.find("status: Switch on the phone!\n"), std::string::npos) << en.out;
    EXPECT_NE(en.out.find("\nwhy: erase/erase 3010 (kBlockEraseBase + kFailed): "),
              std::string::npos)
        << en.out;
    EXPECT_NE(en.out.find("\nnext: "), std::string::npos) << en.out;

    const CliRun zh = Cli(With({"--lang", "zh"}, kFailingErase));
    EXPECT_EQ(zh.status, 1);
    EXPECT_NE(zh.out.find("状态：请打开手机！\n"), std::string::npos) << zh.out;
    EXPECT_NE(zh.out.find("状态：改变波特率到921600!\n"), std::string::npos) << zh.out;
    EXPECT_NE(zh.out.find("\n原因：erase/erase 3010（"), std::string::npos) << zh.out;
    EXPECT_NE(zh.out.find("\n下一步："), std::string::npos) << zh.out;
    // The last line stays a script's to read.
    EXPECT_EQ(zh.out.substr(zh.out.rfind("result:")), "result: 3010\n");

    // A port that does not open: the phone tools' own words lead the error in Chinese,
    // its English in English, and the system's words follow as the reason.
    const std::vector<std::string> port = {"erase", "--range", "all", "--port",
                                           "/dev/velmora-no-such-port"};
    const CliRun open_en = Cli(With({"--lang", "en"}, port));
    EXPECT_FALSE(text::HasCjk(open_en.out + open_en.err)) << open_en.out;
    EXPECT_NE(open_en.out.find("error: Cannot open the serial port! /dev/velmora-no-such-port"),
              std::string::npos)
        << open_en.out;
    EXPECT_NE(open_en.out.find("why: erase/serial-port -3001 (kOpenPortFailed): "),
              std::string::npos)
        << open_en.out;
    EXPECT_NE(open_en.out.find("reason: /dev/velmora-no-such-port: No such file"),
              std::string::npos)
        << open_en.out;
    const CliRun open_zh = Cli(With({"--lang", "zh"}, port));
    EXPECT_NE(open_zh.out.find("错误：打开串口失败！ /dev/velmora-no-such-port"), std::string::npos)
        << open_zh.out;
}

TEST_F(CliLanguageTest, JsonKeepsItsMachineFieldsInEveryLanguage) {
    const std::vector<Json> en = Events(Cli(With({"--json", "--lang", "en"}, kFailingErase)).out);
    const std::vector<Json> zh = Events(Cli(With({"--json", "--lang", "zh"}, kFailingErase)).out);
    ASSERT_EQ(en.size(), zh.size());
    ASSERT_FALSE(en.empty());
    const std::set<std::string> texts = {"text",   "error",     "meaning",
                                         "reason", "next_step", "notes"};
    std::set<std::string> ids;
    for (size_t i = 0; i < en.size(); ++i) {
        for (const auto& [key, value] : en[i].items()) {
            if (key != "ms" && !texts.count(key)) {
                EXPECT_EQ(value, zh[i][key]) << key << " of " << en[i] << " and " << zh[i];
            }
        }
        EXPECT_EQ(en[i].size(), zh[i].size()) << en[i] << zh[i];
        if (en[i]["event"] == "status") {
            ASSERT_TRUE(en[i].contains("id")) << en[i];
            if (en[i]["id"].is_string())
                ids.insert(en[i]["id"].get<std::string>());
        }
    }
    EXPECT_TRUE(ids.count("status.switch_on_phone"));
    const Json& end = en.back();
    EXPECT_EQ(end["event"], "end");
    EXPECT_EQ(end["ref"], "erase/erase 3010");
    EXPECT_FALSE(text::HasCjk(end.dump(-1, ' ', false, Json::error_handler_t::replace)));
}

TEST_F(CliLanguageTest, ARefusalInJsonSaysWhatItMeansAndWhatToDo) {
    CliRun r = Cli({"--json", "--lang", "en", "erase", "--range", "eerom", "--port", "sim"});
    EXPECT_EQ(r.status, 2);
    std::istringstream lines(r.out);
    std::string first, second;
    std::getline(lines, first);
    std::getline(lines, second);
    const Json start = Json::parse(first);
    const Json end = Json::parse(second);
    EXPECT_EQ(start["event"], "start");
    EXPECT_TRUE(start.contains("schema") && start.contains("ms"));
    EXPECT_EQ(end["event"], "end");
    EXPECT_EQ(end["result"], 2);
    EXPECT_EQ(end["refused"], true);
    EXPECT_EQ(end["error_id"], "cli.refuse.eerom_yes");
    for (const char* field : {"ms", "meaning", "next_step", "error"}) {
        ASSERT_TRUE(end.contains(field)) << field;
    }
    EXPECT_NE(end["next_step"].get<std::string>().find("--yes"), std::string::npos);

    // The library's refusal, by its id in either language.
    const std::vector<std::string> missing = {
        "--json", "upgrade", "--ptt", home_.path() + "missing.ptt", "--port", "sim"};
    const Json en_end = Events(Cli(With({"--lang", "en"}, missing)).out).back();
    const Json zh_end = Events(Cli(With({"--lang", "zh"}, missing)).out).back();
    EXPECT_EQ(en_end["error_id"], "error.open_ptt");
    EXPECT_EQ(zh_end["error_id"], "error.open_ptt");
    EXPECT_FALSE(text::HasCjk(en_end["error"].get<std::string>())) << en_end;
    EXPECT_EQ(
        zh_end["error"].get<std::string>().rfind("不能打开PTT文件，请确认该文件是否存在！", 0), 0u)
        << zh_end;
}

TEST_F(CliLanguageTest, TheLocaleChoosesWhenNoLanguageIsAsked) {
    const char* was = getenv("LC_ALL");
    const std::string kept = was ? was : "";
    setenv("LC_ALL", "zh_CN.UTF-8", 1);
    const CliRun zh = Cli({"erase", "--range", "eerom", "--port", "sim"});
    const CliRun en = Cli({"--lang", "en", "erase", "--range", "eerom", "--port", "sim"});
    was ? setenv("LC_ALL", kept.c_str(), 1) : unsetenv("LC_ALL");
    EXPECT_NE(zh.err.find("擦除 EEROM 需要用 --yes 确认"), std::string::npos) << zh.err;
    EXPECT_NE(en.err.find("erasing the EEROM needs --yes"), std::string::npos) << en.err;
}

TEST_F(CliLanguageTest, AnUnknownWordGetsTheNearestKnownOnes) {
    CliRun r = Cli({"upgarde", "--ptt", "x.ptt", "--port", "sim"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown command 'upgarde'. Did you mean 'upgrade'?"), std::string::npos)
        << r.err;
    r = Cli({"upgrade", "--verfy", "--ptt", "x.ptt", "--port", "sim"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("upgrade has no option '--verfy'. Did you mean '--verify'?"),
              std::string::npos)
        << r.err;
    // The program's own options are known after the command too, and suggested there.
    r = Cli({"--lang", "zh", "erase", "--port", "sim", "--range", "eerom", "--jsno"});
    EXPECT_NE(r.err.find("“--json”"), std::string::npos) << r.err;
    r = Cli({"erase", "--range", "eerom", "--port", "sim", "--json"});
    EXPECT_EQ(Json::parse(r.out.substr(r.out.find('\n') + 1))["refused"], true) << r.out;
}

TEST_F(CliLanguageTest, ResultsLooksACodeUpInOneStepOrInEvery) {
    CliRun r = Cli({"results", "100", "--step", "partition-write"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("partition-write 100  kWriteFailed", 0), 0u) << r.out;
    EXPECT_FALSE(text::HasCjk(r.out));
    r = Cli({"--lang", "zh", "results", "100", "--step", "upgrade/partition-write"});
    EXPECT_NE(r.out.find("下一步："), std::string::npos) << r.out;

    r = Cli({"results", "-1"});
    EXPECT_EQ(r.status, 0);
    std::set<std::string> steps;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(" -1  ") != std::string::npos)
            steps.insert(line.substr(0, line.find(' ')));
    }
    EXPECT_GE(steps.size(), 11u) << r.out;
    EXPECT_TRUE(steps.count("wait-for-the-phone") && steps.count("erase")) << r.out;

    EXPECT_EQ(Cli({"results", "424242"}).status, 1);
    r = Cli({"results", "100", "--step", "partiton-writ"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("'partition-write'"), std::string::npos) << r.err;
}

// A text the library put together from known parts shows each part in the
// chosen language, with the id of the first; an unknown one comes back as it came.
TEST(CliTexts, ShowsTheKnownPartsOfATextPutTogether) {
    const text::Shown en =
        cli::ShowIn("打开串口失败！ /dev/ttyUSB9: No such file", text::Lang::kEnglish);
    EXPECT_EQ(en.id, "error.open_port");
    EXPECT_EQ(en.text, "Cannot open the serial port! /dev/ttyUSB9: No such file");
    EXPECT_EQ(cli::ShowIn("请打开手机！", text::Lang::kChinese).text, "请打开手机！");
    const text::Shown unknown = cli::ShowIn("no such text: at all", text::Lang::kChinese);
    EXPECT_TRUE(unknown.id.empty());
    EXPECT_EQ(unknown.text, "no such text: at all");
}

}  // namespace
}  // namespace velmora::testing
