#pragma once
// What a person reads of a job on a terminal: one progress line over the whole
// job, cleared and redrawn in place (on a pipe, plain lines a log can keep), a
// closing line with the time, the bytes and the rate, and for a stopped job
// what the phone holds now and what to do before it is switched off. The job
// command keeps one TerminalView per job; the station's rows use
// ProgressFigures. Neither is thread-safe: the caller holds its own lock.
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/events.h"
#include "base/texts.h"
#include "frontend/job_ledger.h"
#include "frontend/job_progress.h"

namespace velmora::cli {

using Clock = std::chrono::steady_clock;

// The catalogue's section of the terminal display's own texts (ids "term.*").
std::span<const text::Entry> TerminalTexts();

// One of those texts by id in `lang`, "{n}" filled from `args`.
std::string TermText(text::Lang lang, std::string_view id,
                     std::initializer_list<std::string_view> args = {});

// "1.2 MiB", "85.9 KiB", "512 B".
std::string ByteText(double bytes);
// The columns `text` (UTF-8) takes on a terminal: CJK characters take two.
int DisplayWidth(std::string_view text);
// `text` cut to at most `columns` columns, never inside a character.
std::string FitWidth(std::string_view text, int columns);

// A job's progress as a line shows it: the overall bar and percentage, the
// phase named in the operator's language, its counts, rate and time left.
class ProgressFigures {
  public:
    // `catalogue_folder`: where FlashChip.ini gives the identified chip's times.
    ProgressFigures(ProgressRequest request, std::string catalogue_folder, text::Lang lang);

    void OnPhase(Phase phase, Clock::time_point now) { progress_.OnPhase(phase, now); }
    void OnProgress(uint64_t done, uint64_t total, Clock::time_point now) {
        progress_.OnProgress(done, total, now);
    }
    void OnChip(const std::optional<std::array<uint8_t, 4>>& id);
    void OnBlockMap(int blocks, uint32_t block_size) { progress_.OnBlockMap(blocks, block_size); }
    void OnEnd(bool succeeded, Clock::time_point now) { progress_.OnEnd(succeeded, now); }

    const JobProgress& progress() const { return progress_; }
    int percent() const { return progress_.percent(); }
    std::string PhaseText() const;
    // "640.0 KiB of 1.2 MiB", "12/54 blocks"; empty before the phase's first count.
    std::string Counts() const;
    std::string Rate(Clock::time_point now) const;  // "88.2 KiB/s"; empty until known
    std::string Left(Clock::time_point now) const;  // "0:08 left"; empty until known
    std::string Bar(int width) const;               // "[#####.....]"
    std::string SecondsText(double seconds) const;  // "14.3 s", "5 min 31 s"

  private:
    std::string Tr(std::string_view id, std::initializer_list<std::string_view> args = {}) const;
    bool BlockCounts() const;

    JobProgress progress_;
    std::string catalogue_folder_;
    text::Lang lang_;
};

class TerminalView {
  public:
    struct Setup {
        std::FILE* out = stdout;
        // A terminal: the progress line is redrawn in place. Otherwise plain
        // lines: each phase, every tenth of the bar, the end.
        bool redraw = false;
        int columns = 0;  // the terminal's width; 0: asked of it at each draw
        text::Lang lang = text::Lang::kEnglish;
        ProgressRequest request;
        std::string home;           // the catalogue's folder
        std::string backup_folder;  // upgrade and erase: where the backup goes, if any
        std::function<Clock::time_point()> clock;  // the steady clock unless a test gives one
    };

    explicit TerminalView(Setup setup);

    // The status as the library emitted it, before it is localized: the
    // partition being written is read from it.
    void OnStatus(const std::string& text) { ledger_.OnStatus(text); }
    void OnPhase(Phase phase);
    void OnProgress(uint64_t done, uint64_t total);
    void OnElapsed();
    void OnChip(const std::optional<std::array<uint8_t, 4>>& id) { figures_.OnChip(id); }
    void OnBlockMap(int blocks, uint32_t block_size);
    void OnBlock(int block, BlockState state) { ledger_.OnBlock(block, state); }

    // A line of its own, above the progress line, which is drawn again under it.
    void Line(const std::string& text);
    // The job's end: the progress line is left as it ended (at 100 % after a
    // success), followed by the block summary.
    void End(const JobEnd& end, bool stopped);
    // The lines just before the result line: a success's closing figures, or
    // a stopped job's phone and next step.
    void Close(const JobEnd& end, bool stopped);

    // Their texts, for the tests.
    std::string ProgressLine() const;
    std::string BlockSummary(bool stopped) const;
    std::string ClosingLine() const;
    std::string PhoneText(const PhoneState& state) const;
    std::string NextText(const PhoneState& state) const;

  private:
    std::string Tr(std::string_view id, std::initializer_list<std::string_view> args = {}) const;
    // `one` when `numbers` holds one number, else `many`, filled with their ranges.
    std::string Numbered(std::string_view one, std::string_view many,
                         const std::vector<int>& numbers) const;
    int Columns() const;
    void Draw(bool force);
    void Print(const std::string& text);
    void ClearBar();

    Setup setup_;
    ProgressFigures figures_;
    JobLedger ledger_;
    bool bar_shown_ = false;
    std::string drawn_;  // the progress line as last drawn
    int drawn_percent_ = -1;
    Phase drawn_phase_ = Phase::kConnect;
    Clock::time_point drawn_at_{};
    int printed_tenth_ = -1;  // plain lines: the last tenth of the bar printed
};

// The view of `request`'s job on stdout, redrawn in place when stdout is a terminal.
TerminalView::Setup StdoutView(const JobRequest& request, text::Lang lang);

}  // namespace velmora::cli
