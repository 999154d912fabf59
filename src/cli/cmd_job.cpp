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
#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/failure_text.h"
#include "cli/help_text.h"
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
    // `mode`: the command's work mode, for the reference of a failure.
    TerminalDisplay(bool json, bool debug, LinkKind link, std::string mode,
                    TerminalView::Setup view)
        : json_(json), debug_(debug), link_(link), mode_(std::move(mode)), view_(std::move(view)) {
        if (json_)
            Emit({{"event", "start"}, {"schema", kJsonSchema}});
    }

    void OnStatus(const std::string& text) override {
        std::lock_guard lock(mutex_);
        const text::Shown shown = ShowWithId(TrimLineBreaks(text));
        if (json_)
            return Emit({{"event", "status"}, {"text", shown.text}, {"id", TextId(shown)}});
        view_.OnStatus(text);
        if (const std::string line = OneLine(shown.text); !line.empty())
            Line(Say("cli.line.status", {line}));
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
        const std::string text =
            milliseconds ? Show(ElapsedText(link_, *milliseconds)) : std::string();
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
            Line(Say("cli.line.chip", {text}));
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
        Line(Say("cli.line.file", {path}));
    }
    void OnStepMessage(const std::string& text) override {
        std::lock_guard lock(mutex_);
        const text::Shown shown = ShowWithId(TrimLineBreaks(text));
        if (json_)
            return Emit({{"event", "message"}, {"text", shown.text}, {"id", TextId(shown)}});
        Line(Say("cli.line.message", {OneLine(shown.text)}));
    }
    void OnLog(const std::string& text) override {
        std::lock_guard lock(mutex_);
        if (json_ && debug_)
            Emit({{"event", "log"}, {"text", text}});
    }

    void Notice(const std::string& text) {
        std::lock_guard lock(mutex_);
        const text::Shown shown = ShowWithId(text);
        if (json_)
            return Emit({{"event", "message"}, {"text", shown.text}, {"id", TextId(shown)}});
        Line(shown.text);
    }

    // The end: the block summary (people only) and the result line.
    void End(const JobEnd& end, bool stopped) {
        std::lock_guard lock(mutex_);
        const text::Shown error =
            stopped ? text::Shown{"", Say("cli.end.stopped")} : ShowWithId(end.error_text);
        const std::optional<Failure> failure =
            stopped ? std::nullopt : FailureOf(end, mode_, link_ == LinkKind::kUsb);
        std::vector<std::string> notes;
        for (const std::string& note : end.notes)
            notes.push_back(Show(note));
        if (json_) {
            Json e = {{"event", "end"}, {"result", end.result}, {"error", error.text}};
            if (!error.id.empty())
                e["error_id"] = error.id;
            e["stopped"] = stopped;
            if (!notes.empty())
                e["notes"] = notes;
            if (!end.report.empty())
                e["report"] = Json::parse(end.report, nullptr, false);
            if (failure) {
                e["step"] = end.step;
                e["name"] = end.result_name;
                AddFailureFields(e, *failure);
            }
            Emit(e);
            return;
        }
        view_.End(end, stopped);
        if (!end.report.empty()) {
            std::printf("%s", HealthText(end.report).c_str());
        }
        for (const std::string& note : notes) {
            std::printf("%s\n", Say("cli.line.note", {OneLine(note)}).c_str());
        }
        if (end.result != 0) {
            // Some failures carry no text of the phone's own; their meaning still shows.
            if (!error.text.empty())
                std::printf("%s\n", Say("cli.line.error", {OneLine(error.text)}).c_str());
            if (failure) {
                for (const std::string& line : FailureLines(*failure))
                    std::printf("%s\n", line.c_str());
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

    // A text's id for JSON; null when the catalogue does not know the text.
    static Json TextId(const text::Shown& shown) {
        return shown.id.empty() ? Json(nullptr) : Json(shown.id);
    }

    const bool json_;
    const bool debug_;
    const LinkKind link_;
    const std::string mode_;
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

namespace {

WorkMode WorkModeOf(const std::string& command) {
    return command == "upgrade"   ? WorkMode::kCodeUpgrade
           : command == "read"    ? WorkMode::kReadCode
           : command == "backup"  ? WorkMode::kBackup
           : command == "restore" ? WorkMode::kRestore
           : command == "health"  ? WorkMode::kHealth
                                  : WorkMode::kErase;
}

// The request from the command's options; the refusal, none when none.
std::optional<Refusal> FillRequest(const GlobalOptions& global, const JobOptions& job,
                                   JobRequest& request) {
    request.work_mode = WorkModeOf(job.command);
    const int range = RangeIndex(job);
    if (range < 0)
        return OwnRefusal("cli.refuse.unknown_range", {job.range});
    request.range = RangeAt(request.work_mode, range);
    request.debug = global.debug;
    request.home = global.home;
    if (request.home.empty())
        return OwnRefusal("cli.refuse.no_home", {}, "cli.next.no_home");
    request.ptt_path = job.ptt;

    if (job.range == "area") {
        if (!job.start_hex || !job.end_hex) {
            return OwnRefusal("cli.refuse.area_bounds", {}, "cli.next.area_bounds");
        }
        if (const AreaProblem problem =
                ReadArea(*job.start_hex, *job.end_hex, request.range_start, request.range_end);
            problem.kind != AreaProblem::Kind::kNone) {
            return RefusalOf(problem.text);
        }
    }
    // An area erase that turns out to reach block 0 or the EEROM ends before any
    // erase unless confirmed; the blocks are known once the chip is identified.
    request.area_confirmed = job.yes;
    if (job.command == "erase" && job.range == "eerom" && !job.yes) {
        return OwnRefusal("cli.refuse.eerom_yes", {}, "cli.next.eerom_yes");
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
    return std::nullopt;
}

// A damaged backup is refused here, before it is announced or the phone is
// asked for anything (the job checks it again once the chip is known).
std::optional<Refusal> CheckRestore(const GlobalOptions& global, const JobOptions& job) {
    const BackupSummary backup = ReadBackupSummary(job.backup, true);
    if (!backup.error.empty()) {
        Refusal refusal = RefusalOf(backup.error);
        refusal.text = Say("cli.refuse.backup_damaged", {refusal.text});
        refusal.next = Say("cli.next.backup_damaged");
        return refusal;
    }
    const std::string what = Say(
        "cli.restore.what",
        {backup.date, backup.chip_id,
         backup.product_id.empty() ? Say("cli.word.unknown") : backup.product_id, backup.range});
    if (!job.yes) {
        return OwnRefusal("cli.refuse.restore_yes", {what}, "cli.next.restore_yes");
    }
    if (!global.json) {
        std::printf("%s\n", Say("cli.line.restoring", {what}).c_str());
    }
    return std::nullopt;
}

// A read does not replace an earlier read's files unless told to.
std::optional<Refusal> CheckEarlierRead(const JobOptions& job, const JobRequest& request) {
    if (request.work_mode != WorkMode::kReadCode || job.force) {
        return std::nullopt;
    }
    const std::string folder = ReadFolder(request);
    if (const auto earlier = EarlierReadFiles(folder, request); !earlier.empty()) {
        Refusal refusal = RefusalOf(EarlierReadText(folder, earlier));
        refusal.next = Say("cli.next.earlier_read");
        return refusal;
    }
    return std::nullopt;
}

// The health report into --save's file; false, said on stderr, when it cannot be.
bool SaveReport(const JobOptions& job, const JobOutcome& outcome) {
    if (job.save.empty() || outcome.report.empty()) {
        return true;
    }
    std::string reason;
    File out = OpenOutputFile(job.save, &reason);
    if (!out || std::fputs(outcome.report.c_str(), out.get()) < 0 || !CloseOutputFile(out)) {
        std::fprintf(stderr, "velmora-cli: %s\n",
                     (reason.empty() ? Say("cli.error.cannot_write", {job.save})
                                     : Say("cli.error.cannot_write_why", {job.save, Show(reason)}))
                         .c_str());
        return false;
    }
    return true;
}

void AddLinkOptions(CLI::App* cmd, JobOptions& job) {
    const std::string group = LinkGroup();
    cmd->add_option("--port", job.link.port, Say("cli.help.port"))->group(group);
    cmd->add_option("--baud", job.link.baud, Say("cli.help.baud"))
        ->check(CLI::IsMember({115200, 460800, 921600}))
        ->group(group);
    cmd->add_flag("--usb", job.link.usb, Say("cli.help.usb"))->group(group);
    cmd->add_option("--timeout", job.link.timeout_s, Say("cli.help.timeout"))
        ->type_name("SECONDS")
        ->check(CLI::Range(1, 86400))
        ->group(group);
}

void AddAreaOptions(CLI::App* cmd, JobOptions& job) {
    cmd->add_option("--start", job.start_hex, Say("cli.help.start"));
    cmd->add_option("--end", job.end_hex, Say("cli.help.end"));
}

// The link options added, the examples below them, and the command's run: its
// name and default range filled in before the job.
Command JobCommand(CLI::App* cmd, const std::shared_ptr<JobOptions>& job,
                   const std::string& default_range) {
    AddLinkOptions(cmd, *job);
    cmd->footer(Examples("cli.help.examples." + cmd->get_name()));
    return {cmd, [cmd, job, default_range](const GlobalOptions& global) {
                job->command = cmd->get_name();
                if (job->range.empty())
                    job->range = default_range;
                return RunJob(global, *job);
            }};
}

Command AddUpgrade(CLI::App& app) {
    auto job = std::make_shared<JobOptions>();
    auto* upgrade = app.add_subcommand("upgrade", Say("cli.help.upgrade"));
    upgrade->add_option("--ptt", job->ptt, Say("cli.help.ptt"))->required();
    upgrade->add_option("--range", job->range, Say("cli.help.upgrade.range"))
        ->check(CLI::IsMember({"all", "code"}))
        ->default_str("all");
    upgrade->add_option("--backup", job->backup, Say("cli.help.upgrade.backup"))->type_name("DIR");
    upgrade->add_flag("--verify", job->verify, Say("cli.help.upgrade.verify"));
    upgrade->add_flag("--read-once", job->read_once, Say("cli.help.read_once"));
    return JobCommand(upgrade, job, "all");
}

Command AddRead(CLI::App& app) {
    auto job = std::make_shared<JobOptions>();
    auto* read = app.add_subcommand("read", Say("cli.help.read"));
    read->add_option("--range", job->range, Say("cli.help.read.range"))
        ->check(CLI::IsMember({"ptt", "eerom", "area"}))
        ->default_str("ptt");
    AddAreaOptions(read, *job);
    read->add_option("--output", job->output, Say("cli.help.read.output"));
    read->add_flag("--force", job->force, Say("cli.help.read.force"));
    read->add_flag("--read-twice", job->read_twice, Say("cli.help.read_twice"));
    return JobCommand(read, job, "ptt");
}

Command AddErase(CLI::App& app) {
    auto job = std::make_shared<JobOptions>();
    auto* erase = app.add_subcommand("erase", Say("cli.help.erase"));
    erase->add_option("--range", job->range, Say("cli.help.erase.range"))
        ->check(CLI::IsMember({"fs", "area", "code", "all", "eerom"}))
        ->required();
    AddAreaOptions(erase, *job);
    erase->add_flag("--yes", job->yes, Say("cli.help.erase.yes"));
    erase->add_option("--backup", job->backup, Say("cli.help.erase.backup"))->type_name("DIR");
    erase->add_flag("--read-once", job->read_once, Say("cli.help.read_once"));
    return JobCommand(erase, job, "");
}

Command AddBackup(CLI::App& app) {
    auto job = std::make_shared<JobOptions>();
    auto* backup = app.add_subcommand("backup", Say("cli.help.backup"));
    backup->add_option("--output", job->output, Say("cli.help.backup.output"))->required();
    backup->add_option("--range", job->range, Say("cli.help.backup.range"))
        ->check(CLI::IsMember({"eerom", "all"}))
        ->default_str("eerom");
    backup->add_flag("--read-twice", job->read_twice, Say("cli.help.read_twice"));
    return JobCommand(backup, job, "eerom");
}

Command AddRestore(CLI::App& app) {
    auto job = std::make_shared<JobOptions>();
    auto* restore = app.add_subcommand("restore", Say("cli.help.restore"));
    restore->add_option("DIR", job->backup, Say("cli.help.restore.dir"))->required();
    restore->add_option("--range", job->range, Say("cli.help.restore.range"))
        ->check(CLI::IsMember({"eerom", "all"}))
        ->default_str("eerom");
    restore->add_flag("--yes", job->yes, Say("cli.help.restore.yes"));
    return JobCommand(restore, job, "eerom");
}

Command AddHealth(CLI::App& app) {
    auto job = std::make_shared<JobOptions>();
    auto* health = app.add_subcommand("health", Say("cli.help.health"));
    health->add_option("--since", job->since, Say("cli.help.health.since"))->type_name("PATH");
    health->add_option("--save", job->save, Say("cli.help.health.save"))->type_name("FILE");
    return JobCommand(health, job, "");
}

}  // namespace

std::vector<Command> AddJobCommands(CLI::App& app) {
    return {AddUpgrade(app), AddRead(app),    AddErase(app),
            AddBackup(app),  AddRestore(app), AddHealth(app)};
}

int RunJob(const GlobalOptions& global, const JobOptions& job) {
    JobRequest request;
    if (const auto refused = FillRequest(global, job, request))
        return Refuse(global, *refused);
    if (job.command == "restore") {
        if (const auto refused = CheckRestore(global, job))
            return Refuse(global, *refused);
    }
    if (const auto refused = CheckEarlierRead(job, request))
        return Refuse(global, *refused);
    if (!job.link.usb && job.link.port.empty())
        return Refuse(global, OwnRefusal("cli.refuse.no_port", {}, "cli.next.no_port"));
    LinkRegistry links(SimulatedPhones());
    if (std::string error; !links.Resolve(request.link, job.link.port, global.home,
                                          OtherPortText::kRefuse, &request.port, &error))
        return Refuse(global, RefusalOf(error));

    TerminalDisplay display(global.json, global.debug, request.link, job.command,
                            StdoutView(request, Language()));
    JobController jobs(&display);
    jobs.on_notice = [&](const std::string& text) { display.Notice(text); };

    // A stop asked before the job exists is kept for it.
    SignalStop& signals = *global.signals;
    signals.Watch([&jobs] { jobs.RequestStop(); });
    const RunOutcome run = jobs.Run(request);
    signals.Unwatch();
    if (!run.start.started) {
        // The table loader's own words say what the refusal's text only sums up.
        Refusal refusal = RefusalOf(run.start.message);
        refusal.reason = Show(run.start.loader_message);
        return Refuse(global, refusal, true);
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
