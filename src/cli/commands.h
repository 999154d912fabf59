#pragma once
// The command-line front end: each command lives in its own file.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/texts.h"

namespace CLI {
class App;
}

namespace velmora::cli {

// Exit statuses of velmora-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitJobFailed = 1;
inline constexpr int kExitRefused = 2;
inline constexpr int kExitStopped = 130;

// The JSON events' schema, in the first event of every run.
inline constexpr int kJsonSchema = 2;

class SignalStop;

struct GlobalOptions {
    std::string home;  // resolved home folder, ending in '/'
    bool debug = false;
    bool json = false;
    text::Lang lang = text::Lang::kEnglish;  // what the operator reads (--lang, else the locale)
    SignalStop* signals = nullptr;           // SIGINT and SIGTERM, watched from the program's start
};

struct LinkOptions {
    std::string port;  // device path, COMn, "sim" or "sim:OPTIONS"
    int baud = 921600;
    bool usb = false;
    int timeout_s = 0;  // the wait for the phone; 0 waits until stopped
};

struct JobOptions {
    std::string command;  // "upgrade", "read", "erase", "backup", "restore" or "health"
    std::string ptt;
    std::string range;
    std::optional<std::string> start_hex;
    std::optional<std::string> end_hex;
    bool yes = false;
    std::string output;   // read: the folder for the files
    bool force = false;   // read: replace files of an earlier read
    std::string backup;   // upgrade, erase: back up first into this folder; restore: its folder
    bool verify = false;  // upgrade: read back and compare what was written
    std::string since;    // health: a backup folder or an earlier report
    std::string save;     // health: write the report (JSON) to this file
    // read, backup: read every block twice and compare. upgrade, erase: the
    // backup's EEROM read once, not twice.
    bool read_twice = false;
    bool read_once = false;
    LinkOptions link;
};

// station: the same code upgrade on every slot.
struct StationOptions {
    std::string ptt;
    std::vector<std::string> ports;  // one per slot
    bool usb = false;
    bool loop = false;
    bool verify = false;
    std::string log;  // the station log; empty: <home>/station-log.sqlite
    int baud = 921600;
    int timeout_s = 0;
};

// log: the station log's rows.
struct LogOptions {
    std::string since;
    std::string product;  // only this product's rows, in either spelling
    bool csv = false;
    bool json = false;
    bool merge_pending = false;  // add the rows waiting beside the log, print nothing else
    std::string log;
};

// --since of log: Unix milliseconds, or none when the text is not a time.
std::optional<int64_t> ParseSince(const std::string& text, int64_t now_ms);

// One subcommand, set up on the program's parser; `run` does its work once the
// command line is parsed.
struct Command {
    CLI::App* cmd = nullptr;
    std::function<int(const GlobalOptions&)> run;
    // Ctrl-C is kept for a job from the program's start; commands that run none
    // let it through again.
    bool releases_signals = false;
};

// Each adds its subcommand(s) to `app`, in the order the help lists them.
std::vector<Command> AddJobCommands(
    CLI::App& app);  // upgrade, read, erase, backup, restore, health
Command AddPttCommand(CLI::App& app);
Command AddPortsCommand(CLI::App& app);
Command AddChipsCommand(CLI::App& app);
Command AddUdevRuleCommand(CLI::App& app);
Command AddResultsCommand(CLI::App& app);
Command AddStationCommand(CLI::App& app);
Command AddLogCommand(CLI::App& app);

int RunPtt(const GlobalOptions& global, const std::string& file);
int RunPorts(const GlobalOptions& global);
int RunChips(const GlobalOptions& global);
// `loader`: "VID:PID" of the RAM loader's device, for a line of its own; empty: none.
int RunUdevRule(const GlobalOptions& global, const std::string& loader);
int RunResults(const GlobalOptions& global, bool markdown);
int RunJob(const GlobalOptions& global, const JobOptions& job);
int RunStation(const GlobalOptions& global, const StationOptions& options);
int RunLog(const GlobalOptions& global, const LogOptions& options);

// A job or station request refused before any work, in the library's words:
// the text on stderr, or an "end" event with it under --json (failure_text.h
// has the refusals in the CLI's own words). Returns kExitRefused.
int Refuse(const GlobalOptions& global, const std::string& library_text);

// A job's text as one terminal line. The loader's texts may begin or end with a
// line break (dl_log.txt keeps them so): they are dropped, and a break inside
// becomes a blank, so that "error: " is never left empty.
std::string OneLine(const std::string& text);

}  // namespace velmora::cli
