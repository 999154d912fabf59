// velmora-cli upgrade/read/erase as an operator or a script runs it.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <iterator>
#include <nlohmann/json.hpp>

#include "cli_process.h"
#include "job_fixture.h"
#include "nand_harness.h"

namespace velmora::testing {
namespace {

struct CliRun {
    int status = -1;  // exit status
    std::string out;
    std::string err;
};

class CliJobTest : public JobFixture {
  protected:
    // Starts velmora-cli with `args` (after --home); stdout and stderr go to files.
    pid_t Spawn(const std::vector<std::string>& args) {
        pid_t pid = -1;
        EXPECT_EQ(SpawnCli(home_, args, home_ + "out.txt", home_ + "err.txt", &pid), 0);
        return pid;
    }
    CliRun Finish(pid_t pid) {
        CliRun run;
        run.status = WaitExitStatus(pid);
        run.out = ReadFile(home_ + "out.txt");
        run.err = ReadFile(home_ + "err.txt");
        return run;
    }
    CliRun Cli(const std::vector<std::string>& args) { return Finish(Spawn(args)); }
};

// A command line written as one text, split at blanks.
std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

std::string LastLine(const std::string& text) {
    std::string t = text;
    while (!t.empty() && t.back() == '\n')
        t.pop_back();
    const auto nl = t.rfind('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
}

TEST_F(CliJobTest, RefusedRequestsExitWith2AndSayWhy) {
    // The refusals in the Chinese words the phone tools have always used.
    CliRun r = Cli({"--lang", "zh", "upgrade", "--ptt", home_ + "missing.ptt", "--port", "sim"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("不能打开PTT文件，请确认该文件是否存在！"), std::string::npos) << r.err;

    std::ofstream(home_ + "broken.ptt") << "[partition_table_config_start]\n";
    r = Cli({"--lang", "zh", "upgrade", "--ptt", home_ + "broken.ptt", "--port", "sim"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("解析PTT文件错误！"), std::string::npos) << r.err;

    r = Cli({"--lang", "zh", "upgrade", "--ptt", "", "--port", "sim"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("请选择PTT文件！"), std::string::npos) << r.err;

    std::ofstream(home_ + "upload_nand") << "a file where the folder belongs";
    r = Cli({"--lang", "zh", "read", "--port", "sim"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("创建目录失败！"), std::string::npos) << r.err;

    r = Cli({"erase", "--range", "eerom", "--port", "sim"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--yes"), std::string::npos) << r.err;

    r = Cli({"erase", "--range", "area", "--start", "0", "--port", "sim"});
    EXPECT_EQ(r.status, 2);

    for (const char* command : {"erase", "read"}) {
        r = Cli({command, "--range", "area", "--start", "0x100000", "--end", "0", "--port", "sim"});
        EXPECT_EQ(r.status, 2) << command;
        EXPECT_NE(r.err.find("lies below its start"), std::string::npos) << r.err;
    }

    // Refused before the phone is switched on: it never sees a byte.
    const std::string trace = home_ + "trace.jsonl";
    const std::string ptt = WriteSmallFirmware(home_, {});
    r = Cli({"upgrade", "--ptt", ptt, "--port", "sim:trace=" + trace});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("boot.bin is empty"), std::string::npos) << r.err;
    fs::remove(home_ + "FlashChip.ini");
    r = Cli({"erase", "--range", "all", "--port",
             "sim:catalogue=" VELMORA_BIN_DIR ",trace-append,trace=" + trace});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(home_ + "FlashChip.ini"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(trace).find("\"event\":\"frame\""), std::string::npos);
}

TEST_F(CliJobTest, AnAreaEraseOverBlockZeroOrTheEeromNeedsYes) {
    const std::string trace = home_ + "trace.jsonl";
    CliRun r = Cli({"--json", "erase", "--range", "area", "--start", "0", "--end", "1FFFF",
                    "--port", "sim:trace=" + trace});
    EXPECT_EQ(r.status, 1);
    const auto end = nlohmann::json::parse(LastLine(r.out));
    EXPECT_EQ(end["error"],
              "The area 0x0 to 0x1FFFF covers blocks 0 to 0, which include block 0 (the boot "
              "block): erasing it needs confirmation (--yes). Nothing was erased.");
    EXPECT_EQ(ReadFile(trace).find("\"event\":\"erase\""), std::string::npos);

    r = Cli(
        {"erase", "--range", "area", "--start", "7F00000", "--end", "7FFFFFF", "--port", "sim"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("blocks 950 to 1023 (the EEROM and reservoir)"), std::string::npos)
        << r.out;
    r = Cli({"erase", "--range", "area", "--start", "7F00000", "--end", "7FFFFFF", "--yes",
             "--port", "sim"});
    EXPECT_EQ(r.status, 0) << r.out;
}

// An upgrade that could only leave a phone that does not start is refused
// before its first erase: a table of no partition at Start (it still reads as a
// table), a chip whose block 0 is bad once the chip is known.
TEST_F(CliJobTest, AnUpgradeThatWouldLeaveNoBootableBlockZeroErasesNothing) {
    const std::string trace = home_ + "trace.jsonl";
    const std::string ptt = WriteSmallFirmware(home_, BootImage(2));
    for (const char* count : {"abc", "0"}) {
        std::ofstream(home_ + "none.ptt")
            << "[partition_table_config_start]\nnumber_of_partition=" << count
            << "\nBootNand=boot.bin\n";
        CliRun r = Cli(
            {"upgrade", "--ptt", home_ + "none.ptt", "--port", "sim:trace-append,trace=" + trace});
        EXPECT_EQ(r.status, 2) << count;
        EXPECT_NE(r.err.find("lists no partition"), std::string::npos) << r.err;
        EXPECT_EQ(Cli({"ptt", home_ + "none.ptt"}).status, 0);
    }
    EXPECT_EQ(ReadFile(trace).find("\"event\":\"frame\""), std::string::npos);

    CliRun r =
        Cli({"--json", "upgrade", "--ptt", ptt, "--port", "sim:bad=0,trace-append,trace=" + trace});
    EXPECT_EQ(r.status, 1);
    const auto end = nlohmann::json::parse(LastLine(r.out));
    EXPECT_EQ(end["result"], 120);
    EXPECT_NE(end["error"].get<std::string>().find("Block 0, which must hold the boot block"),
              std::string::npos);
    EXPECT_EQ(ReadFile(trace).find("\"event\":\"erase\""), std::string::npos);
}

// An area that starts past the chip is refused once the chip is known, read and
// erase alike.
TEST_F(CliJobTest, AnAreaBeyondTheChipIsRefused) {
    const std::string trace = home_ + "trace.jsonl";
    for (const std::string command : {"read", "erase"}) {
        CliRun r = Cli({"--json", command, "--range", "area", "--start", "0x8000000", "--end",
                        "8000100", "--port", "sim:trace-append,trace=" + trace});
        EXPECT_EQ(r.status, 1) << r.out;
        const auto end = nlohmann::json::parse(LastLine(r.out));
        EXPECT_EQ(end["result"], 128);
        EXPECT_NE(end["error"].get<std::string>().find("which holds 128 MiB"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(home_ + "upload_nand/upload_range.bin"));
    EXPECT_EQ(ReadFile(trace).find("\"event\":\"erase\""), std::string::npos);
}

// SIGINT when block 0's erase is done: the write of block 0 goes on to its end
// (the phone paces it at the line rate), the job is whole and says so.
TEST_F(CliJobTest, SigintWhileBlockZeroIsWrittenLeavesAWholeBootBlock) {
    const auto boot = BootImage(2);
    const std::string ptt = WriteSmallFirmware(home_, boot);
    const std::string nand = home_ + "phone.nand";
    const pid_t pid = Spawn(
        {"--json", "upgrade", "--ptt", ptt, "--range", "code", "--port", "sim:pace,nand=" + nand});
    ASSERT_TRUE(WaitUntil(
        [&] {
            return ReadFile(home_ + "out.txt")
                       .find(R"({"block":0,"colour":"#FF80FF","column":2,"event":"block",)") !=
                   std::string::npos;
        },
        60));
    kill(pid, SIGINT);
    CliRun r = Finish(pid);
    EXPECT_EQ(r.status, 0) << r.out;
    const auto end = nlohmann::json::parse(LastLine(r.out));
    EXPECT_EQ(end["result"], 0);
    EXPECT_NE(end["notes"][0].get<std::string>().find("the boot block were written"),
              std::string::npos);

    r = Cli({"read", "--range", "area", "--start", "0", "--end", "1FFFF", "--port",
             "sim:nand=" + nand});
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string block0 = ReadFile(home_ + "upload_nand/upload_range.bin");
    ASSERT_EQ(block0.size(), 0x20000u);
    const std::string want(boot.begin(), boot.end());
    EXPECT_EQ(block0.substr(0, 0x400), want.substr(0, 0x400));
    EXPECT_EQ(block0.substr(0x1000, want.size() - 0x1000), want.substr(0x1000));
}

// The safety net as a technician drives it: the health report, in JSON and in
// text, of a phone with a factory-bad block that the record replaces and blocks
// that wore out later; a restore shows what it would write and asks first.
TEST_F(CliJobTest, HealthTellsEveryKindOfBadBlockAndARestoreAsksFirst) {
    const std::string ptt = WriteSmallFirmware(home_, BootImage(2));
    const std::string nand = "nand=" + home_ + "phone.nand";
    ASSERT_EQ(Cli({"upgrade", "--ptt", ptt, "--port", "sim:bad=5," + nand}).status, 0);
    CliRun r = Cli(
        {"--json", "health", "--save", home_ + "h.json", "--port", "sim:bad=5,grown=40," + nand});
    ASSERT_EQ(r.status, 0) << r.out;
    const auto report = nlohmann::json::parse(LastLine(r.out))["report"];
    EXPECT_EQ(report["bad_blocks"]["replaced"],
              nlohmann::json::parse(R"([{"block":5,"by":1002}])"));
    EXPECT_EQ(report["bad_blocks"]["unreplaced"], nlohmann::json::parse("[40]"));
    EXPECT_EQ(nlohmann::json::parse(ReadFile(home_ + "h.json")), report);

    r = Cli({"health", "--since", home_ + "h.json", "--port", "sim:bad=5,grown=40+41," + nand});
    ASSERT_EQ(r.status, 0) << r.out;
    for (const char* line :
         {"  block 5 replaced by block 1002\n", "  block 41: no replacement",
          "Record: present; copies in blocks 1023 1022, equal", "  Block 41 turned bad.\n"}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    }

    ASSERT_EQ(Cli({"backup", "--output", home_ + "bk", "--port", "sim:" + nand}).status, 0);
    r = Cli({"restore", home_ + "bk", "--port", "sim:" + nand});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("chip EC A1 00 15, product ID 52,20,05,01,00 (eerom)"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("confirm with --yes"), std::string::npos) << r.err;
    // A damaged backup is refused as the missing --yes is, before it is announced
    // or the phone is asked.
    std::ofstream(home_ + "bk/eerom.bin", std::ios::app) << "x";
    r = Cli({"restore", home_ + "bk", "--yes", "--port", "sim:" + nand});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("eerom.bin does not match its SHA-256"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Restoring"), std::string::npos) << r.out;
    // A second backup into the same folder would mix two phones' files.
    r = Cli({"backup", "--output", home_ + "bk", "--port", "sim:" + nand});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("holds a backup already"), std::string::npos) << r.err;
}

// A bit flipped on its way out of the chip passes every checksum: read once it
// ends up in the file with success; read twice, a third read outvotes it.
TEST_F(CliJobTest, ReadTwiceOutvotesABitFlippedOnItsWayOutOnBothLinks) {
    for (const std::string link : {"--baud=921600", "--usb"}) {  // serial, then USB
        for (const bool twice : {false, true}) {
            std::vector<std::string> args = {
                "read",     "--range",   "area",    "--start", "40000",  "--end",          "7FFFF",
                "--output", home_ + "r", "--force", link,      "--port", "sim:read-flip=3"};
            if (twice)
                args.push_back("--read-twice");
            const CliRun r = Cli(args);
            ASSERT_EQ(r.status, 0) << r.out << r.err;
            const std::string file = ReadFile(home_ + "r/upload_range.bin");
            EXPECT_EQ(file.find_first_not_of('\xFF') == std::string::npos, twice) << link;
            EXPECT_EQ(r.out.find("note: Block 3 read differently twice") != std::string::npos,
                      twice)
                << r.out;
        }
    }
    const CliRun r =
        Cli({"backup", "--read-twice", "--output", home_ + "bk", "--port", "sim:read-flip=1000"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(ReadFile(home_ + "bk/eerom.bin").find_first_not_of('\xFF'), std::string::npos);
    EXPECT_NE(r.out.find("note: Block 1000 read differently twice"), std::string::npos) << r.out;
}

TEST_F(CliJobTest, AJobAgainstTheSimulatedPhoneEndsWithItsResult) {
    CliRun r = Cli({"--json", "erase", "--range", "area", "--start", "0", "--end", "1FFFF", "--yes",
                    "--baud", "115200", "--port", "sim"});
    const auto end = nlohmann::json::parse(LastLine(r.out));
    EXPECT_EQ(end["event"], "end");
    const int result = end["result"];
    EXPECT_EQ(r.status, result == 0 ? 0 : 1);
    EXPECT_NE(r.out.find(R"("event":"chip","id":[236,161,0,21],"ms":)"), std::string::npos);
    EXPECT_NE(r.out.find(R"("text":" EC, A1, 00, 15")"), std::string::npos);
    EXPECT_EQ(r.out.rfind(R"({"event":"start","ms":)", 0), 0u) << "the schema comes first";
    for (const auto& line : {std::string("status"), std::string("progress")}) {
        EXPECT_NE(r.out.find("\"event\":\"" + line + "\""), std::string::npos) << line;
    }

    r = Cli({"erase", "--range", "all", "--port", "COM0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(LastLine(r.out), "result: -3001");
    EXPECT_NE(r.out.find("status: Cannot open the serial port!"), std::string::npos) << r.out;
    // The result in words, with the step and what to do about it.
    EXPECT_NE(r.out.find("why: erase/serial-port -3001 (kOpenPortFailed): "), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("next: "), std::string::npos) << r.out;
}

// A read never replaces an earlier one unless told to, leaves no half-written
// file under the final name while it runs, and names a file it could not finish.
TEST_F(CliJobTest, AReadKeepsEarlierFilesAndNamesAnIncompleteOne) {
    const std::string out = home_ + "dumps/phone1";
    const std::string eerom = out + "/upload_eerom.bin";
    CliRun r = Cli({"read", "--range", "eerom", "--output", out, "--port", "sim"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(fs::file_size(eerom), 74u * 0x20000);
    // Piped, the progress names its phase and tells the bytes.
    EXPECT_NE(r.out.find("phase: read\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("progress: 100%  read  9.2 MiB of 9.2 MiB\n"), std::string::npos) << r.out;
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1)
        << "no staged file is left behind";
    std::ofstream(eerom, std::ios::app) << "calibration";
    const auto kept = fs::file_size(eerom);

    r = Cli({"read", "--range", "eerom", "--output", out, "--port", "sim"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("upload_eerom.bin"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
    EXPECT_EQ(fs::file_size(eerom), kept);

    // Block 956 (the seventh of the EEROM) never reads: what was read before it is kept, the
    // end says so, and the failure, which has no text of the phone's own, still tells why.
    r = Cli(
        {"read", "--range", "eerom", "--output", out, "--force", "--port", "sim:status=11@956"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(fs::file_size(eerom), 6u * 0x20000);
    EXPECT_NE(r.out.find("note: " + eerom +
                         " is incomplete: the read ended before the file was whole.\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("why: read/read-back 21010 (kBlockReadBase + kBlockBadAnswer): a block "
                         "could not be read"),
              std::string::npos)
        << r.out;
}

// Every failure ends with a text of its own on the error line, which names the
// partition and the block where it has them; a loader text that begins with a
// line break still fills the line.
TEST_F(CliJobTest, EveryFailureEndsWithATextOfItsOwn) {
    const std::string ptt = WriteSmallFirmware(home_, BootImage(2), 0x8000, 4);
    const std::string nand = "nand=" + home_ + "phone.nand,";
    ASSERT_EQ(Cli({"upgrade", "--ptt", ptt, "--port", "sim:" + nand}).status, 0);
    // A phone whose block 5 is bad and replaced by 1002, the replacement then failing to erase.
    const std::string mapped = "nand=" + home_ + "mapped.nand,bad=5,";
    ASSERT_EQ(Cli({"upgrade", "--ptt", ptt, "--port", "sim:" + mapped}).status, 0);
    const std::string area = "erase --range area --start 40000 --end 7FFFF --yes --port sim:";
    const std::string eerom = "read --range eerom --force --port sim:";
    const struct {
        std::string command;
        int result;
        std::string text;
    } cases[] = {
        {area + "no-ack=3", -2, "part 2 of 51 of the RAM loader"},
        {area + "no-ack=1", -2, "the handshake failed"},
        {area + "bad-crc=14 --usb", -81, "SDI init"},
        {area + "vanish=5 --usb", -7, "read usb dlv error, #1"},
        {"upgrade --ptt " + ptt + " --port sim:drop=8", -5,
         "record could not be written to block 1023"},
        {"upgrade --range code --ptt " + ptt + " --port sim:erase-fail=3", 11,
         "Erase partition 1 fail, #1: Erase block3 fail, #3010"},
        {"upgrade --ptt " + ptt + " --port sim:" + mapped + "erase-fail=1002", 1,
         "Erase block5 fail, #3010 (reservoir block #1002, its replacement)"},
        {eerom + "status=11@956", 21010, "Block 956 could not be read, #21010"},
        {"read --force --port sim:" + nand + "status=11@1", 3,
         "Read Partition1 error #21010, block 1"},
        {"health --port sim:" + nand + "status=11@0", 127, "block 0 could not be read, #31010"},
    };
    for (const auto& c : cases) {
        const CliRun r = Cli(Words(c.command));
        EXPECT_EQ(LastLine(r.out), "result: " + std::to_string(c.result)) << c.command << r.out;
        const auto at = r.out.find("\nerror: ");
        const std::string line =
            at == std::string::npos ? "" : r.out.substr(at + 8, r.out.find('\n', at + 1) - at - 8);
        EXPECT_NE(line.find(c.text), std::string::npos) << c.command << ": " << line;
    }
}

// The end event keeps its error key, empty on a success (a version 3 boot
// block's counter text is no error).
TEST_F(CliJobTest, ASuccessfulJobEndsWithAnEmptyError) {
    const CliRun r = Cli(
        {"--json", "upgrade", "--ptt", WriteSmallFirmware(home_, BootImage(3)), "--port", "sim"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(nlohmann::json::parse(LastLine(r.out))["error"], "");
}

// A trace is never cut short by a second phone under its name, unless that one
// is told to add to it.
TEST_F(CliJobTest, ATraceFileIsNeverCutShort) {
    const std::string erase = "erase --range area --start 40000 --end 7FFFF --port sim:";
    const std::string trace = home_ + "trace.jsonl";
    ASSERT_EQ(Cli(Words(erase + "trace=" + trace)).status, 0);
    const std::string first = ReadFile(trace);
    const CliRun r = Cli(Words(erase + "trace=" + trace));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("exists already"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(trace), first);
    ASSERT_EQ(Cli(Words(erase + "trace-append,trace=" + trace)).status, 0);
    EXPECT_EQ(ReadFile(trace).rfind(first, 0), 0u);
    EXPECT_GT(ReadFile(trace).size(), first.size() * 3 / 2);
}

TEST_F(CliJobTest, SigintStopsTheJobWithStatus130) {
    const pid_t pid = Spawn({"--debug", "erase", "--range", "all", "--port", "sim:manual"});
    ASSERT_TRUE(WaitUntil([&] {
        return ReadFile(home_ + "out.txt").find("Switch on the phone!") != std::string::npos;
    }));
    kill(pid, SIGINT);
    const CliRun r = Finish(pid);
    EXPECT_EQ(r.status, 130);
    EXPECT_EQ(r.out.find("message:"), std::string::npos) << "a stopped job ends silently";
    EXPECT_TRUE(fs::exists(home_ + "dl_log.txt"));
}

}  // namespace
}  // namespace velmora::testing
