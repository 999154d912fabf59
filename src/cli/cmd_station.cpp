// station: the same code upgrade on many phones at once, one slot per port.
// On a terminal one line per slot is redrawn in place under the counters;
// piped, each event is a line tagged with its slot; with --json, the events of
// the job commands with a "slot" field.
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "base/text_format.h"
#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/failure_text.h"
#include "cli/help_text.h"
#include "cli/signal_stop.h"
#include "cli/terminal_view.h"
#include "frontend/display.h"
#include "frontend/instance_lock.h"
#include "frontend/simulated_phone.h"
#include "station/station.h"
#include "station/station_log.h"

namespace velmora::cli {
namespace {

using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

uint32_t Rgb(uint32_t bgr) {
    return (bgr & 0xFF) << 16 | (bgr & 0xFF00) | (bgr >> 16 & 0xFF);
}

// A slot's state for people; the JSON keeps the state's name.
std::string StateWords(SlotState state) {
    return Say("cli.station.state." + std::string(SlotStateName(state)));
}

// A slot's last text: its state's word, or the job's error text.
std::string LastWords(const std::string& last) {
    if (last == SlotStateName(SlotState::kPassed))
        return StateWords(SlotState::kPassed);
    if (last == SlotStateName(SlotState::kStopped))
        return StateWords(SlotState::kStopped);
    return Show(last);
}

// Everything the station prints goes through here, one writer at a time.
class Screen {
  public:
    enum class Mode { kTerminal, kLines, kJson };

    // `figures`: how each slot's job shows its progress, from its request.
    Screen(Mode mode, LinkKind link, std::vector<std::string> ports,
           std::function<ProgressFigures()> figures)
        : mode_(mode), link_(link), rows_(ports.size()), figures_(std::move(figures)) {
        for (size_t i = 0; i < ports.size(); ++i) {
            rows_[i].port = std::move(ports[i]);
            rows_[i].figures.emplace(figures_());
        }
        if (mode_ == Mode::kJson)
            Emit({{"event", "start"}, {"schema", kJsonSchema}, {"slots", rows_.size()}});
    }

    Mode mode() const { return mode_; }
    LinkKind link() const { return link_; }

    // A slot's event as JSON (slot 1-based), or as a tagged line when piped.
    void Event(int slot, Json event, const std::string& line) {
        std::lock_guard lock(mutex_);
        if (mode_ == Mode::kJson) {
            event["slot"] = slot + 1;
            Emit(std::move(event));
        } else if (mode_ == Mode::kLines && !line.empty()) {
            std::printf("%s\n",
                        Say("cli.station.slot_line", {std::to_string(slot + 1), line}).c_str());
            std::fflush(stdout);
        }
    }

    // The terminal's row of a slot: its job's bar over the whole job.
    void Phase(int slot, velmora::Phase phase) {
        std::lock_guard lock(mutex_);
        Row& row = rows_[static_cast<size_t>(slot)];
        row.phase = phase;
        row.figures->OnPhase(phase, Clock::now());
        Redraw(false);
    }
    // The slot's figures as a piped line gives them: "40%  write".
    std::string Progress(int slot, uint64_t done, uint64_t total) {
        std::lock_guard lock(mutex_);
        Row& row = rows_[static_cast<size_t>(slot)];
        row.figures->OnProgress(done, total, Clock::now());
        Redraw(false);
        return Format("%d%%  ", row.figures->percent()) + row.figures->PhaseText();
    }
    std::string PhaseText(int slot) {
        std::lock_guard lock(mutex_);
        return rows_[static_cast<size_t>(slot)].figures->PhaseText();
    }
    int Percent(int slot) {
        std::lock_guard lock(mutex_);
        return rows_[static_cast<size_t>(slot)].figures->percent();
    }
    void Chip(int slot, const std::optional<std::array<uint8_t, 4>>& id) {
        std::lock_guard lock(mutex_);
        rows_[static_cast<size_t>(slot)].figures->OnChip(id);
    }
    void BlockMap(int slot, int blocks, uint32_t block_size) {
        std::lock_guard lock(mutex_);
        rows_[static_cast<size_t>(slot)].figures->OnBlockMap(blocks, block_size);
    }
    void JobEnded(int slot, bool succeeded) {
        std::lock_guard lock(mutex_);
        rows_[static_cast<size_t>(slot)].figures->OnEnd(succeeded, Clock::now());
        Redraw(false);
    }
    void Status(int slot, const std::string& text) {
        std::lock_guard lock(mutex_);
        rows_[static_cast<size_t>(slot)].status = text;
        Redraw(false);
    }
    void SlotChanged(const SlotView& view, int passed, int failed) {
        std::lock_guard lock(mutex_);
        Row& row = rows_[static_cast<size_t>(view.slot)];
        row.state = view.state;
        row.last = LastWords(view.last_text);
        row.passed = view.passed;
        row.failed = view.failed;
        if (view.state == SlotState::kRunning && row.state_was != SlotState::kRunning) {
            row.phase = Phase::kConnect;
            row.figures.emplace(figures_());  // a new phone: a new job
        }
        row.state_was = view.state;
        passed_ = passed;
        failed_ = failed;
        const bool ended = view.state == SlotState::kPassed || view.state == SlotState::kFailed ||
                           view.state == SlotState::kStopped;
        // A phone whose row is not in the log: said with its end, and kept on the row.
        const std::string log_words = Show(view.log_text);
        if (ended && !view.log_text.empty())
            row.last += " | " + log_words;
        if (mode_ == Mode::kJson) {
            Json e = {{"event", "slot"},        {"slot", view.slot + 1},
                      {"port", view.port_text}, {"state", SlotStateName(view.state)},
                      {"passed", view.passed},  {"failed", view.failed}};
            if (ended)
                e["text"] = LastWords(view.last_text);
            if (ended && !view.log_text.empty())
                e["log_error"] = log_words;
            Emit(std::move(e));
        } else if (mode_ == Mode::kLines && (row.shown_state != view.state ||
                                             row.shown_count != view.passed + view.failed)) {
            row.shown_state = view.state;
            row.shown_count = view.passed + view.failed;
            std::string line = StateWords(view.state);
            if (ended) {
                line = Say("cli.station.ended", {line, LastWords(view.last_text)});
                line += "  " + Say("cli.station.counts",
                                   {std::to_string(view.passed), std::to_string(view.failed),
                                    std::to_string(passed), std::to_string(failed)});
                if (!view.log_text.empty())
                    line += "\n  " + Say("cli.station.log_error", {log_words});
            }
            std::printf("%s\n", Say("cli.station.slot_line", {std::to_string(view.slot + 1),
                                                              "[" + view.port_text + "] " + line})
                                    .c_str());
            std::fflush(stdout);
        }
        Redraw(true);
    }

    // `unlogged`: rows the station log could not take; `log_text` says so.
    void Finish(bool stopped, int passed, int failed, int unlogged, const std::string& log_text) {
        std::lock_guard lock(mutex_);
        passed_ = passed;
        failed_ = failed;
        if (mode_ == Mode::kJson) {
            Json e = {{"event", "station"},
                      {"passed", passed},
                      {"failed", failed},
                      {"stopped", stopped},
                      {"unlogged", unlogged}};
            if (unlogged > 0)
                e["log_error"] = log_text;
            Emit(std::move(e));
            return;
        }
        Redraw(true);
        std::printf("%s%s\n", Totals().c_str(),
                    stopped ? Say("cli.station.stopped_mark").c_str() : "");
        if (unlogged > 0)
            std::printf("%s\n", log_text.c_str());
        std::fflush(stdout);
    }

    // `id`: the text's catalogue id, empty when it has none.
    void Note(const std::string& text, const std::string& id = {}) {
        std::lock_guard lock(mutex_);
        if (mode_ == Mode::kJson)
            return Emit({{"event", "message"},
                         {"text", text},
                         {"id", id.empty() ? Json(nullptr) : Json(id)}});
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
        drawn_ = 0;
    }

  private:
    struct Row {
        std::string port;
        SlotState state = SlotState::kIdle;
        velmora::Phase phase = Phase::kConnect;
        std::optional<ProgressFigures> figures;  // of the slot's current job
        SlotState state_was = SlotState::kIdle;
        std::string status;
        std::string last;
        int passed = 0;
        int failed = 0;
        SlotState shown_state = SlotState::kIdle;  // piped: the last state printed
        int shown_count = 0;
    };

    std::string Totals() const {
        return Say("cli.station.totals", {std::to_string(passed_), std::to_string(failed_)});
    }

    void Emit(Json j) {
        j["ms"] =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started_).count();
        std::printf("%s\n", j.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
        std::fflush(stdout);
    }

    // Every slot's line and the counters, drawn over the last drawing; at
    // most ten times a second unless a slot's state changed.
    void Redraw(bool now) {
        if (mode_ != Mode::kTerminal)
            return;
        const auto t = Clock::now();
        if (!now && t - last_draw_ < std::chrono::milliseconds(100))
            return;
        last_draw_ = t;
        std::string out;
        if (drawn_ > 0)
            out += Format("\x1b[%dA", drawn_);
        for (size_t i = 0; i < rows_.size(); ++i) {
            const Row& r = rows_[i];
            std::string what;
            if (r.state == SlotState::kRunning) {
                const std::string phase = r.figures->PhaseText();
                const std::string pad(static_cast<size_t>(std::max(10 - DisplayWidth(phase), 0)),
                                      ' ');
                what = r.phase == Phase::kConnect
                           ? phase + pad + " " + r.status
                           : phase + pad + Format(" %3d%%  ", r.figures->percent()) +
                                 r.figures->Rate(t);
            } else {
                what = StateWords(r.state);
            }
            what = FitWidth(what, 48);
            what += std::string(static_cast<size_t>(48 - DisplayWidth(what)), ' ');
            std::string line =
                Format("%2zu %-20s %s | ", i + 1, r.port.c_str(), what.c_str()) +
                Say("cli.station.row_counts", {std::to_string(r.passed), std::to_string(r.failed)});
            if (!r.last.empty())
                line += " | " + Say("cli.station.last", {r.last});
            out += "\x1b[2K" + FitWidth(line, 200) + "\n";
        }
        out += "\x1b[2K" + Totals() + "\n";
        drawn_ = static_cast<int>(rows_.size()) + 1;
        std::fputs(out.c_str(), stdout);
        std::fflush(stdout);
    }

    const Mode mode_;
    const LinkKind link_;
    const Clock::time_point started_ = Clock::now();
    std::mutex mutex_;
    std::vector<Row> rows_;
    std::function<ProgressFigures()> figures_;
    int passed_ = 0;
    int failed_ = 0;
    int drawn_ = 0;
    Clock::time_point last_draw_{};
};

// One slot's events, onto the screen.
class SlotDisplay final : public EventSink {
  public:
    SlotDisplay(Screen& screen, int slot) : screen_(screen), slot_(slot) {}

    void OnStatus(const std::string& text) override {
        const text::Shown shown = ShowWithId(TrimLineBreaks(text));
        const std::string line = OneLine(shown.text);
        screen_.Status(slot_, line);
        screen_.Event(slot_, {{"event", "status"}, {"text", shown.text}, {"id", TextId(shown)}},
                      line.empty() ? "" : Say("cli.line.status", {line}));
    }
    void OnPhase(velmora::Phase phase) override {
        phase_ = phase;
        percent_ = -1;
        if (phase == Phase::kConnect)
            tenth_ = -1;  // a new job
        screen_.Phase(slot_, phase);
        screen_.Event(slot_,
                      {{"event", "progress"},
                       {"phase", PhaseName(phase)},
                       {"colour", Format("#%06X", Rgb(BarColour(phase)))}},
                      phase == Phase::kConnect
                          ? ""
                          : TermText(Language(), "term.line.phase", {screen_.PhaseText(slot_)}));
    }
    void OnProgress(uint64_t done, uint64_t total) override {
        const std::string figures = screen_.Progress(slot_, done, total);
        // Piped: a line for each tenth of the job's bar, which never goes back.
        if (const int tenth = screen_.Percent(slot_) / 10;
            screen_.mode() == Screen::Mode::kLines && phase_ != Phase::kConnect && tenth > tenth_) {
            tenth_ = tenth;
            screen_.Event(slot_, {}, TermText(Language(), "term.line.progress", {figures}));
        }
        const int percent = PercentOf(done, total);
        if (percent == percent_ || screen_.mode() != Screen::Mode::kJson)
            return;
        percent_ = percent;
        screen_.Event(slot_,
                      {{"event", "progress"},
                       {"percent", percent},
                       {"phase", PhaseName(phase_)},
                       {"done", done},
                       {"total", total}},
                      "");
    }
    void OnElapsed(std::optional<uint32_t> ms) override {
        const std::string text = ms ? Show(ElapsedText(screen_.link(), *ms)) : std::string();
        if (text == elapsed_)
            return;
        elapsed_ = text;
        if (screen_.mode() != Screen::Mode::kJson)
            return;
        Json e = {{"event", "elapsed"}, {"text", text}};
        if (ms)
            e["elapsed_ms"] = *ms;
        screen_.Event(slot_, std::move(e), "");
    }
    void OnChip(const std::optional<std::array<uint8_t, 4>>& id) override {
        screen_.Chip(slot_, id);
        const std::string text = id ? ChipText(*id) : std::string();
        Json e = {{"event", "chip"}, {"text", text}};
        e["id"] = id ? Json(*id) : Json(nullptr);
        screen_.Event(slot_, std::move(e), text.empty() ? "" : Say("cli.line.chip", {text}));
    }
    void OnUsbDevice(const std::string& path, uint16_t vendor, uint16_t product) override {
        screen_.Event(
            slot_,
            {{"event", "device"},
             {"path", path},
             {"vendor", Format("%04x", vendor)},
             {"product", Format("%04x", product)}},
            Say("cli.line.device", {Format("%s %04x:%04x", path.c_str(), vendor, product)}));
    }
    void OnBlockMap(int blocks, uint32_t block_size) override {
        screen_.BlockMap(slot_, blocks, block_size);
        if (blocks > 0 && screen_.mode() == Screen::Mode::kJson)
            screen_.Event(slot_,
                          {{"event", "block"}, {"blocks", blocks}, {"block_size", block_size}}, "");
    }
    void OnBlock(int block, BlockState state) override {
        if (screen_.mode() != Screen::Mode::kJson)
            return;
        Json e = {{"event", "block"}, {"block", block}, {"state", StateName(state)}};
        if (const auto colour = RowColour(state))
            e["colour"] = Format("#%06X", Rgb(*colour));
        if (const std::string_view text = CellText(state); !text.empty()) {
            e["column"] = kStatusColumn;
            e["text"] = text;
        }
        screen_.Event(slot_, std::move(e), "");
    }
    void OnFile(const std::string& path) override {
        screen_.Event(slot_, {{"event", "file"}, {"path", path}}, Say("cli.line.file", {path}));
    }
    void OnStepMessage(const std::string& text) override {
        const text::Shown shown = ShowWithId(TrimLineBreaks(text));
        screen_.Event(slot_, {{"event", "message"}, {"text", shown.text}, {"id", TextId(shown)}},
                      Say("cli.line.message", {OneLine(shown.text)}));
    }
    void OnEnd(const JobEnd& end) override {
        screen_.JobEnded(slot_, end.result == 0);
        const text::Shown error = ShowWithId(end.error_text);
        Json e = {{"event", "end"}, {"result", end.result}, {"error", error.text}};
        if (!error.id.empty())
            e["error_id"] = error.id;
        e["stopped"] = end.user_stopped && end.result != 0;
        std::vector<std::string> notes;
        for (const std::string& note : end.notes)
            notes.push_back(Show(note));
        if (!notes.empty())
            e["notes"] = notes;
        const std::optional<Failure> failure =
            FailureOf(end, "upgrade", screen_.link() == LinkKind::kUsb);
        if (failure) {
            e["step"] = end.step;
            e["name"] = end.result_name;
            AddFailureFields(e, *failure);
        }
        std::string line = Format("result: %d", end.result);
        if (end.result != 0 && !error.text.empty())
            line += "  " + Say("cli.line.error", {OneLine(error.text)});
        if (failure)
            line += "  " + Say("cli.station.ref", {failure->ref, failure->meaning});
        screen_.Event(slot_, std::move(e), line);
    }

  private:
    static Json TextId(const text::Shown& shown) {
        return shown.id.empty() ? Json(nullptr) : Json(shown.id);
    }

    Screen& screen_;
    const int slot_;
    velmora::Phase phase_ = Phase::kConnect;
    int percent_ = -1;
    int tenth_ = -1;
    std::string elapsed_;
};

}  // namespace

int RunStation(const GlobalOptions& global, const StationOptions& options) {
    if (global.debug) {
        return Refuse(global, OwnRefusal("cli.refuse.station_debug", {}, "cli.next.station_debug"));
    }
    if (global.home.empty())
        return Refuse(global, OwnRefusal("cli.refuse.no_home", {}, "cli.next.no_home"));
    FileLock lock;
    switch (CheckStationInstance(LockFolder(), lock)) {
        case StationCheck::kStationRunning:
            return Refuse(global, OwnRefusal("cli.refuse.station_running"));
        case StationCheck::kWindowRunning:
            return Refuse(global,
                          OwnRefusal("cli.refuse.window_running", {}, "cli.next.window_running"));
        case StationCheck::kFirst:
            break;
    }

    StationRequest request;
    JobRequest& job = request.job;
    job.work_mode = WorkMode::kCodeUpgrade;
    job.range = UpgradeRange::kAll;
    job.home = global.home;
    job.ptt_path = options.ptt;
    job.link = options.usb ? LinkKind::kUsb : LinkKind::kSerial;
    job.baud_selection = options.baud == 115200 ? 0 : options.baud == 460800 ? 1 : 2;
    job.timings.phone_wait_ms = options.timeout_s * 1000;
    job.timings.phone_notice_ms = kPhoneNoticeMs;
    job.verify = options.verify;
    request.ports = options.ports;
    request.loop = options.loop;
    request.log_path = options.log.empty() ? DefaultStationLogPath(global.home) : options.log;

    const Screen::Mode mode = global.json                  ? Screen::Mode::kJson
                              : isatty(STDOUT_FILENO) != 0 ? Screen::Mode::kTerminal
                                                           : Screen::Mode::kLines;
    const ProgressRequest progress = ProgressRequestOf(job);
    const text::Lang lang = Language();
    Screen screen(mode, job.link, options.ports,
                  [&] { return ProgressFigures(progress, job.home, lang); });
    std::vector<std::unique_ptr<SlotDisplay>> displays;
    std::vector<EventSink*> sinks;
    for (size_t i = 0; i < options.ports.size(); ++i) {
        displays.push_back(std::make_unique<SlotDisplay>(screen, static_cast<int>(i)));
        sinks.push_back(displays.back().get());
    }

    Station station(SimulatedPhones());
    station.on_slot = [&](const SlotView& view) {
        screen.SlotChanged(view, station.passed(), station.failed());
    };
    SignalStop& signals = *global.signals;
    const SignalStop::Watching watching(signals, [&station] { station.Stop(); });
    const StationStart started = station.Start(request, sinks);
    if (!started.started)
        return Refuse(global, RefusalOf(started.message), true);
    if (mode != Screen::Mode::kJson)
        screen.Note(Say("cli.station.log_path", {request.log_path}));
    for (const std::string& note : started.notes) {
        const text::Shown shown = ShowWithId(note);
        screen.Note(shown.text, shown.id);
    }
    station.Wait();

    const bool stopped = signals.signalled();
    const int unlogged = station.unlogged();
    std::string log_text;
    if (const int lost = station.lost_rows(); unlogged > lost) {
        log_text = Say("cli.station.rows_wait", {std::to_string(unlogged - lost),
                                                 station.log_path(), station.pending_path()});
        if (lost > 0)
            log_text += " ";
    }
    if (const int lost = station.lost_rows(); lost > 0) {
        log_text += Say("cli.station.rows_lost", {std::to_string(lost), station.pending_path()});
    }
    screen.Finish(stopped, station.passed(), station.failed(), unlogged, log_text);
    if (stopped)
        return kExitStopped;
    if (unlogged > 0)
        return kExitJobFailed;
    bool all_passed = true;
    for (int i = 0; i < station.slot_count(); ++i) {
        all_passed = all_passed && station.Slot(i).failed == 0 && station.Slot(i).passed > 0;
    }
    return all_passed ? kExitOk : kExitJobFailed;
}

Command AddStationCommand(CLI::App& app) {
    auto options = std::make_shared<StationOptions>();
    auto* station = app.add_subcommand("station", Say("cli.help.station"));
    station->add_option("--ptt", options->ptt, Say("cli.help.ptt"))->required();
    station->add_flag("--loop", options->loop, Say("cli.help.station.loop"));
    station->add_flag("--verify", options->verify, Say("cli.help.station.verify"));
    station->add_option("--log", options->log, Say("cli.help.station_log"));
    const std::string link = LinkGroup();
    station->add_option("--port", options->ports, Say("cli.help.station.port"))
        ->required()
        ->allow_extra_args(false)
        ->group(link);
    station->add_option("--baud", options->baud, Say("cli.help.baud"))
        ->check(CLI::IsMember({115200, 460800, 921600}))
        ->group(link);
    station->add_flag("--usb", options->usb, Say("cli.help.station.usb"))->group(link);
    station->add_option("--timeout", options->timeout_s, Say("cli.help.station.timeout"))
        ->type_name("SECONDS")
        ->check(CLI::Range(1, 86400))
        ->group(link);
    station->footer(Examples("cli.help.examples.station"));
    return {station,
            [options](const GlobalOptions& global) { return RunStation(global, *options); }};
}

}  // namespace velmora::cli
