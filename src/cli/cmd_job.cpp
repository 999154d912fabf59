// upgrade, read, erase, backup, restore and health: one job through the job engine, shown on a
// terminal or as JSON events.
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "base/output_file.h"
#include "base/text_format.h"
#include "cli/commands.h"
#include "cli/signal_stop.h"
#include "cli/terminal_view.h"
#include "frontend/area_input.h"
#include "frontend/display.h"
#include "job/job_control.h"
#include "safety/safety_net.h"

#include "frontend/simulated_phone.h"

namespace velmora::cli {
namespace {

using Json = nlohmann::json;

std::string Dump(const Json& j) {
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// What the terminal shows: status lines, the chip and step messages, with the
// progress line, the block summary and the closing lines of the TerminalView.
// With --json, one object per event instead:
// the window's terms (colours, cell texts, percentages) beside the meanings
// (phase, done and total, block states, the chip's bytes), each stamped with
// the milliseconds since the start.
class TerminalDisplay : public EventSink {
  public:
    static constexpr int kSchema = 2;

    TerminalDisplay(bool json, bool debug, LinkKind link, TerminalView::Setup view)
        : json_(json), debug_(debug), link_(link), view_(std::move(view)) {
        if (json_)
            Emit({{"event", "start"}, {"schema", kSchema}});
    }

    void OnStatus(const std::string& text) override {
        std::lock_guard lock(mutex_);
        if (json_)
            return Emit({{"event", "status"}, {"text", TrimLineBreaks(text)}});
        view_.OnStatus(text);
        if (const std::string line = OneLine(text); !line.empty())
            Line("status: " + line);
    }
    void OnPhase(Phase phase) override {
        std::lock_guard lock(mutex_);
        phase_ = phase;
        if (json_) {
            Emit({{"event", "progress"},
                  {"phase", PhaseName(phase)},
                  {"colour", Format("#%06X", Rgb(BarColour(phase)))}});
        } else {
            view_.OnPhase(phase);
        }
    }
    void OnProgress(uint64_t done, uint64_t total) override {
        std::lock_guard lock(mutex_);
        const int percent = PercentOf(done, total);
        const bool changed = percent != percent_;
        percent_ = percent;
        if (json_) {
            if (changed) {
                Emit({{"event", "progress"},
                      {"percent", percent},
                      {"phase", PhaseName(phase_)},
                      {"done", done},
                      {"total", total}});
            }
            return;
        }
        view_.OnProgress(done, total);
    }
    void OnElapsed(std::optional<uint32_t> milliseconds) override {
        std::lock_guard lock(mutex_);
        const std::string text = milliseconds ? ElapsedText(link_, *milliseconds) : std::string();
        if (text == elapsed_)
            return;
        elapsed_ = text;
        if (json_) {
            Json e = {{"event", "elapsed"}, {"text", text}};
            if (milliseconds)
                e["elapsed_ms"] = *milliseconds;
            return Emit(e);
        }
        view_.OnElapsed();
    }
    void OnChip(const std::optional<std::array<uint8_t, 4>>& id) override {
        std::lock_guard lock(mutex_);
        const std::string text = id ? ChipText(*id) : std::string();
        if (json_) {
            Json e = {{"event", "chip"}, {"text", text}};
            e["id"] = id ? Json(*id) : Json(nullptr);
            return Emit(e);
        }
        view_.OnChip(id);
        if (!text.empty())
            Line("chip:" + text);
    }
    void OnBlockMap(int blocks, uint32_t block_size) override {
        std::lock_guard lock(mutex_);
        block_count_ = std::max(blocks, 0);
        if (!json_)
            view_.OnBlockMap(blocks, block_size);
        else if (blocks > 0)
            Emit({{"event", "block"}, {"blocks", blocks}, {"block_size", block_size}});
    }
    void OnBlock(int block, BlockState state) override {
        std::lock_guard lock(mutex_);
        if (block < 0 || block >= block_count_)
            return;
        if (!json_)
            return view_.OnBlock(block, state);
        Json e = {{"event", "block"}, {"block", block}, {"state", StateName(state)}};
        if (const auto colour = RowColour(state))
            e["colour"] = Format("#%06X", Rgb(*colour));
        if (const std::string_view text = CellText(state); !text.empty()) {
            e["column"] = kStatusColumn;
            e["text"] = text;
        }
        Emit(e);
    }
    void OnFile(const std::string& path) override {
        std::lock_guard lock(mutex_);
        if (json_)
            return Emit({{"event", "file"}, {"path", path}});
        Line("file: " + path);
    }
    void OnStepMessage(const std::string& text) override {
        std::lock_guard lock(mutex_);
        if (json_)
            return Emit({{"event", "message"}, {"text", TrimLineBreaks(text)}});
        Line("message: " + OneLine(text));
    }
    void OnLog(const std::string& text) override {
        std::lock_guard lock(mutex_);
        if (json_ && debug_)
            Emit({{"event", "log"}, {"text", text}});
    }

    void Notice(const std::string& text) {
        std::lock_guard lock(mutex_);
        if (json_)
            return Emit({{"event", "message"}, {"text", text}});
        Line(text);
    }

    // The end: the block summary (people only) and the result line.
    void End(const JobEnd& end, bool stopped) {
        std::lock_guard lock(mutex_);
        const std::string error = stopped ? "stopped" : TrimLineBreaks(end.error_text);
        if (json_) {
            Json e = {{"event", "end"}, {"result", end.result}, {"error", error}};
            e["stopped"] = stopped;
            if (!end.notes.empty())
                e["notes"] = end.notes;
            if (!end.report.empty())
                e["report"] = Json::parse(end.report, nullptr, false);
            if (!end.result_name.empty()) {
                e["step"] = end.step;
                e["name"] = end.result_name;
                e["meaning"] = end.meaning;
                e["next_step"] = end.next_step;
            }
            Emit(e);
            return;
        }
        view_.End(end, stopped);
        if (!end.report.empty()) {
            std::printf("%s", HealthText(end.report).c_str());
        }
        for (const std::string& note : end.notes) {
            std::printf("note: %s\n", OneLine(note).c_str());
        }
        if (end.result != 0) {
            // Some failures carry no text of the phone's own; their meaning still shows.
            if (!error.empty())
                std::printf("error: %s\n", OneLine(error).c_str());
            if (!stopped && !end.meaning.empty()) {
                std::printf("why: %s (%s, %s)\n", end.meaning.c_str(), end.step.c_str(),
                            end.result_name.c_str());
                if (!end.next_step.empty())
                    std::printf("next: %s\n", end.next_step.c_str());
            }
        }
        view_.Close(end, stopped);
        std::printf("result: %d\n", end.result);
        std::fflush(stdout);
    }

  private:
    static uint32_t Rgb(uint32_t bgr) {
        return (bgr & 0xFF) << 16 | (bgr & 0xFF00) | (bgr >> 16 & 0xFF);
    }

    void Emit(Json j) {
        j["ms"] = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - started_)
                      .count();
        std::printf("%s\n", Dump(j).c_str());
        std::fflush(stdout);
    }
    void Line(const std::string& text) { view_.Line(text); }

    const bool json_;
    const bool debug_;
    const LinkKind link_;
    const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::mutex mutex_;
    Phase phase_ = Phase::kConnect;
    int percent_ = -1;
    std::string elapsed_;
    int block_count_ = 0;
    TerminalView view_;
};

int RangeIndex(const JobOptions& job) {
    static const std::map<std::string, std::map<std::string, int>> kRanges = {
        {"upgrade", {{"all", 0}, {"code", 1}}},
        {"read", {{"ptt", 0}, {"eerom", 1}, {"area", 2}}},
        {"erase", {{"fs", 0}, {"area", 1}, {"code", 2}, {"all", 3}, {"eerom", 4}}},
        {"backup", {{"eerom", 0}, {"all", 1}}},
        {"restore", {{"eerom", 0}, {"all", 1}}},
        {"health", {{"", 0}}}};
    const auto& ranges = kRanges.at(job.command);
    const auto it = ranges.find(job.range);
    return it == ranges.end() ? -1 : it->second;
}

}  // namespace

std::string OneLine(const std::string& text) {
    std::string line = TrimLineBreaks(text);
    size_t at = 0;
    while ((at = line.find_first_of("\r\n", at)) != std::string::npos) {
        const size_t end = line.find_first_not_of("\r\n", at);
        line.replace(at, end - at, " ");
        ++at;
    }
    return line;
}

int Refuse(const GlobalOptions& global, const std::string& text) {
    if (global.json) {
        std::printf("%s\n",
                    Dump({{"event", "end"}, {"result", kExitRefused}, {"error", text}}).c_str());
    } else {
        std::cerr << "velmora-cli: " << text << "\n";
    }
    return kExitRefused;
}

namespace {

WorkMode WorkModeOf(const std::string& command) {
    return command == "upgrade"   ? WorkMode::kCodeUpgrade
           : command == "read"    ? WorkMode::kReadCode
           : command == "backup"  ? WorkMode::kBackup
           : command == "restore" ? WorkMode::kRestore
           : command == "health"  ? WorkMode::kHealth
                                  : WorkMode::kErase;
}

// The request from the command's options; the refusal's text, empty when none.
std::string FillRequest(const GlobalOptions& global, const JobOptions& job, JobRequest& request) {
    request.work_mode = WorkModeOf(job.command);
    const int range = RangeIndex(job);
    if (range < 0)
        return "unknown range: " + job.range;
    request.range = RangeAt(request.work_mode, range);
    request.debug = global.debug;
    request.home = global.home;
    if (request.home.empty())
        return "no home folder can be had";
    request.ptt_path = job.ptt;

    if (job.range == "area") {
        if (!job.start_hex || !job.end_hex) {
            return "--range area needs --start and --end";
        }
        if (const AreaProblem problem =
                ReadArea(*job.start_hex, *job.end_hex, request.range_start, request.range_end);
            problem.kind != AreaProblem::Kind::kNone) {
            return problem.text;
        }
    }
    // An area erase that turns out to reach block 0 or the EEROM ends before any
    // erase unless confirmed; the blocks are known once the chip is identified.
    request.area_confirmed = job.yes;
    if (job.command == "erase" && job.range == "eerom" && !job.yes) {
        return "erasing the EEROM needs --yes";
    }

    request.output_folder = job.output;
    request.overwrite = job.force;
    request.backup_folder = job.command == "backup" ? job.output : job.backup;
    request.verify = job.verify;
    request.read_twice = job.read_twice;
    request.read_once = job.read_once;
    request.since_path = job.since;
    request.link = job.link.usb ? LinkKind::kUsb : LinkKind::kSerial;
    request.baud_selection = job.link.baud == 115200 ? 0 : job.link.baud == 460800 ? 1 : 2;
    request.timings.phone_wait_ms = job.link.timeout_s * 1000;
    request.timings.phone_notice_ms = kPhoneNoticeMs;
    return {};
}

// A damaged backup is refused here, before it is announced or the phone is
// asked for anything (the job checks it again once the chip is known).
std::string CheckRestore(const GlobalOptions& global, const JobOptions& job) {
    const BackupSummary backup = ReadBackupSummary(job.backup, true);
    if (!backup.error.empty()) {
        return backup.error + " Nothing was restored.";
    }
    const std::string what =
        "the backup of " + backup.date + ", chip " + backup.chip_id + ", product ID " +
        (backup.product_id.empty() ? "unknown" : backup.product_id) + " (" + backup.range + ")";
    if (!job.yes) {
        return "restoring " + what + " writes over the phone's EEROM; confirm with --yes";
    }
    if (!global.json) {
        std::printf("Restoring %s\n", what.c_str());
    }
    return {};
}

// A read does not replace an earlier read's files unless told to.
std::string CheckEarlierRead(const JobOptions& job, const JobRequest& request) {
    if (request.work_mode != WorkMode::kReadCode || job.force) {
        return {};
    }
    const std::string folder = ReadFolder(request);
    if (const auto earlier = EarlierReadFiles(folder, request); !earlier.empty()) {
        return EarlierReadText(folder, earlier) +
               " (--output DIR reads into another folder; --force replaces them)";
    }
    return {};
}

// The health report into --save's file; false, said on stderr, when it cannot be.
bool SaveReport(const JobOptions& job, const JobOutcome& outcome) {
    if (job.save.empty() || outcome.report.empty()) {
        return true;
    }
    std::string reason;
    File out = OpenOutputFile(job.save, &reason);
    if (!out || std::fputs(outcome.report.c_str(), out.get()) < 0 || !CloseOutputFile(out)) {
        std::fprintf(stderr, "velmora-cli: cannot write %s%s\n", job.save.c_str(),
                     reason.empty() ? "" : (": " + reason).c_str());
        return false;
    }
    return true;
}

void AddLinkOptions(CLI::App* cmd, JobOptions& job) {
    cmd->add_option("--port", job.link.port,
                    "serial device path, COMn, `sim` or `sim:OPTIONS` (simulated phone)");
    cmd->add_option("--baud", job.link.baud, "115200, 460800 or 921600 (default 921600)")
        ->check(CLI::IsMember({115200, 460800, 921600}));
    cmd->add_flag("--usb", job.link.usb, "use the USB link");
    cmd->add_option("--timeout", job.link.timeout_s,
                    "give up waiting for the phone after SECONDS (default: wait until stopped)")
        ->type_name("SECONDS")
        ->check(CLI::Range(1, 86400));
}

void AddAreaOptions(CLI::App* cmd, JobOptions& job) {
    cmd->add_option("--start", job.start_hex, "first byte address of the area, hexadecimal");
    cmd->add_option("--end", job.end_hex, "last byte address of the area, hexadecimal");
}

const char* const kReadTwiceHelp =
    "read every block twice and compare; a block read differently is read a third time and "
    "the byte-wise majority kept";
const char* const kReadOnceHelp =
    "read the EEROM of the --backup once (by default twice, compared)";

// The link options added, and the command's run: its name and default range
// filled in before the job.
Command JobCommand(CLI::App* cmd, const std::shared_ptr<JobOptions>& job,
                   const std::string& default_range) {
    AddLinkOptions(cmd, *job);
    return {cmd, [cmd, job, default_range](const GlobalOptions& global) {
                job->command = cmd->get_name();
                if (job->range.empty())
                    job->range = default_range;
                return RunJob(global, *job);
            }};
}

Command AddUpgrade(CLI::App& app) {
    auto job = std::make_shared<JobOptions>();
    auto* upgrade = app.add_subcommand("upgrade", "code upgrade: write a partition table's images");
    upgrade->add_option("--ptt", job->ptt, "partition table file (.ptt)")->required();
    upgrade->add_option("--range", job->range, "all (code and file system) or code (code area)")
        ->check(CLI::IsMember({"all", "code"}))
        ->default_str("all");
    upgrade
        ->add_option("--backup", job->backup,
                     "first back up the EEROM and what the upgrade erases into DIR (made if "
                     "missing; must hold no earlier backup)")
        ->type_name("DIR");
    upgrade->add_flag("--verify", job->verify,
                      "afterwards read back every block written and compare it with what was "
                      "sent");
    upgrade->add_flag("--read-once", job->read_once, kReadOnceHelp);
    return JobCommand(upgrade, job, "all");
}

Command AddRead(CLI::App& app) {
    auto job = std::make_shared<JobOptions>();
    auto* read = app.add_subcommand("read", "read code into <home>/upload_nand/ or --output DIR");
    read->add_option("--range", job->range, "ptt, eerom or area")
        ->check(CLI::IsMember({"ptt", "eerom", "area"}))
        ->default_str("ptt");
    AddAreaOptions(read, *job);
    read->add_option("--output", job->output,
                     "folder for the files read (default <home>/upload_nand/; made if missing)");
    read->add_flag("--force", job->force, "replace the files of an earlier read in that folder");
    read->add_flag("--read-twice", job->read_twice, kReadTwiceHelp);
    return JobCommand(read, job, "ptt");
}

Command AddErase(CLI::App& app) {
    auto job = std::make_shared<JobOptions>();
    auto* erase = app.add_subcommand("erase", "erase a NAND range");
    erase->add_option("--range", job->range, "fs, area, code, all or eerom")
        ->check(CLI::IsMember({"fs", "area", "code", "all", "eerom"}))
        ->required();
    AddAreaOptions(erase, *job);
    erase->add_flag("--yes", job->yes,
                    "confirm erasing the EEROM, or an area that reaches block 0 or the EEROM");
    erase
        ->add_option("--backup", job->backup,
                     "first back up the EEROM and the blocks to erase into DIR")
        ->type_name("DIR");
    erase->add_flag("--read-once", job->read_once, kReadOnceHelp);
    return JobCommand(erase, job, "");
}

Command AddBackup(CLI::App& app) {
    auto job = std::make_shared<JobOptions>();
    auto* backup = app.add_subcommand(
        "backup",
        "back up the EEROM (calibration, IMEI) or everything into a folder with a "
        "manifest");
    backup->add_option("--output", job->output, "folder for the backup (made if missing)")
        ->required();
    backup
        ->add_option("--range", job->range,
                     "eerom (the EEROM area with spare bytes, default) or all (every block "
                     "the chip has good, each in one file)")
        ->check(CLI::IsMember({"eerom", "all"}))
        ->default_str("eerom");
    backup->add_flag("--read-twice", job->read_twice, kReadTwiceHelp);
    return JobCommand(backup, job, "eerom");
}

Command AddRestore(CLI::App& app) {
    auto job = std::make_shared<JobOptions>();
    auto* restore = app.add_subcommand(
        "restore",
        "write a backup back: the EEROM to its own blocks; with --range all also "
        "the partitions, block 0 and (when the record is the same) the reservoir");
    restore->add_option("DIR", job->backup, "the backup's folder")->required();
    restore->add_option("--range", job->range, "eerom (default) or all")
        ->check(CLI::IsMember({"eerom", "all"}))
        ->default_str("eerom");
    restore->add_flag("--yes", job->yes, "confirm writing over the phone's EEROM");
    return JobCommand(restore, job, "eerom");
}

Command AddHealth(CLI::App& app) {
    auto job = std::make_shared<JobOptions>();
    auto* health = app.add_subcommand(
        "health",
        "report bad blocks, replacements, the reservoir, the record and where each "
        "partition lies");
    health
        ->add_option("--since", job->since,
                     "a backup folder or an earlier report (--save) to compare with")
        ->type_name("PATH");
    health->add_option("--save", job->save, "also write the report as JSON to FILE")
        ->type_name("FILE");
    return JobCommand(health, job, "");
}

}  // namespace

std::vector<Command> AddJobCommands(CLI::App& app) {
    return {AddUpgrade(app), AddRead(app),    AddErase(app),
            AddBackup(app),  AddRestore(app), AddHealth(app)};
}

int RunJob(const GlobalOptions& global, const JobOptions& job) {
    JobRequest request;
    if (std::string refused = FillRequest(global, job, request); !refused.empty())
        return Refuse(global, refused);
    if (job.command == "restore") {
        if (std::string refused = CheckRestore(global, job); !refused.empty())
            return Refuse(global, refused);
    }
    if (std::string refused = CheckEarlierRead(job, request); !refused.empty())
        return Refuse(global, refused);
    if (!job.link.usb && job.link.port.empty())
        return Refuse(global, "--port is needed for the serial link");
    LinkRegistry links(SimulatedPhones());
    if (std::string error; !links.Resolve(request.link, job.link.port, global.home,
                                          OtherPortText::kRefuse, &request.port, &error))
        return Refuse(global, error);

    TerminalDisplay display(global.json, global.debug, request.link,
                            StdoutView(request, text::LangFromEnvironment()));
    JobController jobs(&display);
    jobs.on_notice = [&](const std::string& text) { display.Notice(text); };

    // A stop asked before the job exists is kept for it.
    SignalStop& signals = *global.signals;
    signals.Watch([&jobs] { jobs.RequestStop(); });
    const RunOutcome run = jobs.Run(request);
    signals.Unwatch();
    if (!run.start.started) {
        if (!run.start.loader_message.empty() && !global.json) {
            std::cerr << "velmora-cli: " << run.start.loader_message << "\n";
        }
        return Refuse(global, run.start.message);
    }

    const JobOutcome& outcome = run.end;
    // A Stop that came while the last block was written leaves a whole job: result 0.
    const bool stopped = (outcome.user_stopped || signals.signalled()) && outcome.result != 0;
    display.End(outcome, stopped);
    if (!SaveReport(job, outcome))
        return kExitJobFailed;
    if (stopped)
        return kExitStopped;
    return outcome.result == 0 ? kExitOk : kExitJobFailed;
}

}  // namespace velmora::cli
