#include "cli/terminal_view.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/text_format.h"
#include "config/chip_catalogue.h"

namespace velmora::cli {
namespace {

constexpr int kListedBlocks = 20;  // failed and NG blocks named in the summary

std::span<const std::span<const text::Entry>> Sections() {
    static const std::span<const text::Entry> sections[] = {TerminalTexts()};
    return sections;
}

std::string_view PhaseId(Phase phase) {
    switch (phase) {
        case Phase::kConnect:
            return "term.phase.connect";
        case Phase::kErase:
            return "term.phase.erase";
        case Phase::kWrite:
            return "term.phase.write";
        case Phase::kBootBlock:
            return "term.phase.boot_block";
        case Phase::kRead:
            return "term.phase.read";
        case Phase::kEraseRange:
            return "term.phase.erase_range";
        case Phase::kBackup:
            return "term.phase.backup";
        case Phase::kVerify:
            return "term.phase.verify";
    }
    return "term.phase.connect";
}

// The bytes a UTF-8 sequence that starts with `lead` takes (1 for a stray byte).
size_t SequenceLength(unsigned char lead) {
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

std::string Join(const std::vector<std::string>& parts, const std::string& separator) {
    std::string text;
    for (const std::string& part : parts) {
        if (part.empty()) {
            continue;
        }
        if (!text.empty()) {
            text += separator;
        }
        text += part;
    }
    return text;
}

}  // namespace

std::string TermText(text::Lang lang, std::string_view id,
                     std::initializer_list<std::string_view> args) {
    return text::Tr(Sections(), id, lang, args);
}

std::string ByteText(double bytes) {
    if (bytes >= 1024.0 * 1024.0)
        return Format("%.1f MiB", bytes / (1024.0 * 1024.0));
    if (bytes >= 1024.0)
        return Format("%.1f KiB", bytes / 1024.0);
    return Format("%.0f B", bytes);
}

int DisplayWidth(std::string_view text) {
    int columns = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t n =
            std::min(SequenceLength(static_cast<unsigned char>(text[i])), text.size() - i);
        columns += n > 1 && text::HasCjk(text.substr(i, n)) ? 2 : 1;
        i += n;
    }
    return columns;
}

std::string FitWidth(std::string_view text, int columns) {
    int used = 0;
    size_t i = 0;
    while (i < text.size()) {
        const size_t n =
            std::min(SequenceLength(static_cast<unsigned char>(text[i])), text.size() - i);
        const int width = DisplayWidth(text.substr(i, n));
        if (used + width > columns) {
            break;
        }
        used += width;
        i += n;
    }
    return std::string(text.substr(0, i));
}

// --- ProgressFigures ---------------------------------------------------------

ProgressFigures::ProgressFigures(ProgressRequest request, std::string catalogue_folder,
                                 text::Lang lang)
    : progress_(std::move(request)), catalogue_folder_(std::move(catalogue_folder)), lang_(lang) {}

std::string ProgressFigures::Tr(std::string_view id,
                                std::initializer_list<std::string_view> args) const {
    return text::Tr(Sections(), id, lang_, args);
}

void ProgressFigures::OnChip(const std::optional<std::array<uint8_t, 4>>& id) {
    if (!id || catalogue_folder_.empty()) {
        return;
    }
    // The job has looked the chip up in the same catalogue: a chip it could
    // not find never gets this far, and one with missing keys keeps the defaults.
    NandGeometry g;
    if (LookupChip(catalogue_folder_, ChipIdText((*id)[0], (*id)[1]), g) == 0) {
        progress_.OnChip(g);
    }
}

bool ProgressFigures::BlockCounts() const {
    return progress_.phase() == Phase::kErase || progress_.phase() == Phase::kEraseRange;
}

std::string ProgressFigures::PhaseText() const {
    return Tr(PhaseId(progress_.phase()));
}

std::string ProgressFigures::Counts() const {
    const uint64_t done = progress_.phase_done();
    const uint64_t total = progress_.phase_total();
    // The connect phase counts steps, and a count of 0 is the job setting the
    // next phase's bar back: neither is worth a figure.
    if (progress_.phase() == Phase::kConnect || done == 0) {
        return {};
    }
    if (BlockCounts()) {
        return Tr("term.count.blocks", {std::to_string(done), std::to_string(total)});
    }
    return Tr("term.count.bytes",
              {ByteText(static_cast<double>(done)), ByteText(static_cast<double>(total))});
}

std::string ProgressFigures::Rate(Clock::time_point now) const {
    const std::optional<double> rate = progress_.PhaseRate(now);
    if (!rate) {
        return {};
    }
    if (BlockCounts()) {
        return Tr("term.rate.blocks", {Format("%.0f", *rate)});
    }
    return Tr("term.rate.bytes", {ByteText(*rate)});
}

std::string ProgressFigures::Left(Clock::time_point now) const {
    const std::optional<double> left = progress_.SecondsLeft(now);
    if (!left) {
        return {};
    }
    const auto seconds = static_cast<long long>(*left + 0.5);
    return Tr("term.left", {Format("%lld:%02lld", seconds / 60, seconds % 60)});
}

std::string ProgressFigures::Bar(int width) const {
    const int filled = percent() * width / 100;
    return "[" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(width - filled), '.') + "]";
}

std::string ProgressFigures::SecondsText(double seconds) const {
    if (seconds < 60) {
        return Tr("term.seconds", {Format("%.1f", seconds)});
    }
    const auto whole = static_cast<long long>(seconds + 0.5);
    return Tr("term.minutes", {std::to_string(whole / 60), std::to_string(whole % 60)});
}

// --- TerminalView ------------------------------------------------------------

TerminalView::Setup StdoutView(const JobRequest& request, text::Lang lang) {
    TerminalView::Setup setup;
    setup.out = stdout;
    setup.redraw = isatty(STDOUT_FILENO) != 0;
    setup.lang = lang;
    setup.request = ProgressRequestOf(request);
    setup.home = request.home;
    setup.backup_folder = setup.request.backup ? request.backup_folder : std::string();
    return setup;
}

TerminalView::TerminalView(Setup setup)
    : setup_(std::move(setup)),
      figures_(setup_.request, setup_.home, setup_.lang),
      ledger_(setup_.request) {
    if (!setup_.clock) {
        setup_.clock = [] { return Clock::now(); };
    }
}

std::string TerminalView::Tr(std::string_view id,
                             std::initializer_list<std::string_view> args) const {
    return text::Tr(Sections(), id, setup_.lang, args);
}

std::string TerminalView::Numbered(std::string_view one, std::string_view many,
                                   const std::vector<int>& numbers) const {
    if (numbers.empty()) {
        return {};
    }
    return Tr(numbers.size() == 1 ? one : many, {NumberRanges(numbers)});
}

int TerminalView::Columns() const {
    if (setup_.columns > 0) {
        return setup_.columns;
    }
    winsize size{};
    if (::ioctl(fileno(setup_.out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

void TerminalView::Print(const std::string& text) {
    std::fputs(text.c_str(), setup_.out);
    std::fflush(setup_.out);
}

void TerminalView::ClearBar() {
    if (bar_shown_) {
        std::fputs("\r\x1b[K", setup_.out);
    }
}

std::string TerminalView::ProgressLine() const {
    const Clock::time_point now = setup_.clock();
    const JobProgress& p = figures_.progress();
    std::string elapsed;
    if (const std::optional<double> seconds = p.WorkSeconds(now)) {
        elapsed = Tr("term.seconds", {Format("%.0f", std::floor(*seconds))});
    }
    const int bar = std::clamp(Columns() - 60, 10, 30);
    return Join({figures_.Bar(bar), Format("%3d%%", figures_.percent()), figures_.PhaseText(),
                 figures_.Counts(), figures_.Rate(now), figures_.Left(now), elapsed},
                "  ");
}

// The line is cleared before each drawing: a shorter line leaves nothing of a
// longer one. At most ten drawings a second unless the percentage or the phase
// changed; the line is cut to the terminal's width, since a line that wraps is
// no longer redrawn in place.
void TerminalView::Draw(bool force) {
    if (!setup_.redraw) {
        return;
    }
    const Clock::time_point now = setup_.clock();
    const std::string line = ProgressLine();
    const int percent = figures_.percent();
    const Phase phase = figures_.progress().phase();
    if (!force && bar_shown_ &&
        (line == drawn_ || (percent == drawn_percent_ && phase == drawn_phase_ &&
                            now - drawn_at_ < std::chrono::milliseconds(100)))) {
        return;
    }
    Print("\r\x1b[K" + FitWidth(line, Columns() - 1));
    bar_shown_ = true;
    drawn_ = line;
    drawn_percent_ = percent;
    drawn_phase_ = phase;
    drawn_at_ = now;
}

void TerminalView::OnPhase(Phase phase) {
    ledger_.OnPhase(phase);
    figures_.OnPhase(phase, setup_.clock());
    if (setup_.redraw) {
        Draw(false);
    } else if (phase != Phase::kConnect) {
        Print(Tr("term.line.phase", {figures_.PhaseText()}) + "\n");
    }
}

void TerminalView::OnProgress(uint64_t done, uint64_t total) {
    const Clock::time_point now = setup_.clock();
    figures_.OnProgress(done, total, now);
    if (setup_.redraw) {
        Draw(false);
        return;
    }
    // Piped: a line for each tenth of the bar, which never goes back.
    const int tenth = figures_.percent() / 10;
    if (figures_.progress().phase() != Phase::kConnect && done > 0 && tenth > printed_tenth_) {
        printed_tenth_ = tenth;
        const std::string figures =
            Join({Format("%d%%", figures_.percent()), figures_.PhaseText(), figures_.Counts(),
                  figures_.Rate(now), figures_.Left(now)},
                 "  ");
        Print(Tr("term.line.progress", {figures}) + "\n");
    }
}

void TerminalView::OnElapsed() {
    if (setup_.redraw && bar_shown_) {
        Draw(false);
    }
}

void TerminalView::OnBlockMap(int blocks, uint32_t block_size) {
    ledger_.OnBlockMap(blocks, block_size);
    figures_.OnBlockMap(blocks, block_size);
}

void TerminalView::Line(const std::string& text) {
    ClearBar();
    Print(text + "\n");
    if (bar_shown_) {
        Draw(true);
    }
}

void TerminalView::End(const JobEnd& end, bool stopped) {
    const bool succeeded = end.result == 0;
    figures_.OnEnd(succeeded, setup_.clock());
    if (setup_.redraw) {
        if (bar_shown_) {
            Draw(true);
            Print("\n");
            bar_shown_ = false;
        }
    } else if (succeeded && printed_tenth_ < 10 && figures_.progress().started()) {
        printed_tenth_ = 10;
        const std::string figures = Join({"100%", figures_.PhaseText(), figures_.Counts()}, "  ");
        Print(Tr("term.line.progress", {figures}) + "\n");
    }
    if (const std::string summary = BlockSummary(stopped); !summary.empty()) {
        Print(summary + "\n");
    }
}

void TerminalView::Close(const JobEnd& end, bool stopped) {
    if (stopped) {
        const PhoneState state = ledger_.State(true);
        Print(PhoneText(state) + "\n" + NextText(state) + "\n");
    } else if (end.result == 0) {
        if (const std::string line = ClosingLine(); !line.empty()) {
            Print(line + "\n");
        }
    }
}

// "blocks: 1024; erased 949, programmed 40, failed 1" and the blocks that
// failed, were NG, or were cut short by a stop.
std::string TerminalView::BlockSummary(bool stopped) const {
    const auto& blocks = ledger_.blocks();
    if (blocks.empty()) {
        return {};
    }
    const std::optional<int> interrupted = stopped ? ledger_.last_failed() : std::nullopt;
    struct Kind {
        const char* id;
        int count = 0;
    };
    Kind kinds[] = {{"term.state.erased"},
                    {"term.state.programmed"},
                    {"term.state.read"},
                    {"term.state.failed"},
                    {"term.state.interrupted"}};
    std::vector<int> failed, bad;
    int failed_count = 0, bad_count = 0;
    for (size_t b = 0; b < blocks.size(); ++b) {
        const int block = static_cast<int>(b);
        if (const std::optional<BlockState> state = blocks[b].shown) {
            if (block == interrupted) {
                ++kinds[4].count;
            } else if (*state == BlockState::kFailed || *state == BlockState::kEraseFailed) {
                ++kinds[3].count;
                if (++failed_count <= kListedBlocks)
                    failed.push_back(block);
            } else {
                ++kinds[*state == BlockState::kErased       ? 0
                        : *state == BlockState::kProgrammed ? 1
                                                            : 2]
                      .count;
            }
        }
        if (blocks[b].not_good && ++bad_count <= kListedBlocks) {
            bad.push_back(block);
        }
    }
    std::vector<std::string> counts;
    for (const Kind& k : kinds) {
        if (k.count > 0) {
            counts.push_back(Tr("term.summary.item", {Tr(k.id), std::to_string(k.count)}));
        }
    }
    std::string text = Tr("term.summary.blocks", {std::to_string(blocks.size())}) +
                       Tr("term.clauses") +
                       (counts.empty() ? Tr("term.summary.none") : Join(counts, Tr("term.list")));
    auto listed = [](const std::vector<int>& numbers, int count) {
        std::string list;
        for (const int n : numbers) {
            list += (list.empty() ? "" : " ") + std::to_string(n);
        }
        return count > kListedBlocks ? list + " ..." : list;
    };
    if (!failed.empty())
        text += "\n" + Tr("term.summary.failed", {listed(failed, failed_count)});
    if (!bad.empty())
        text += "\n" + Tr("term.summary.ng", {listed(bad, bad_count)});
    if (interrupted)
        text += "\n" + Tr("term.summary.interrupted", {std::to_string(*interrupted)});
    return text;
}

// "Wrote 1.2 MiB, verified 1.3 MiB in 16.1 s (161.2 KiB/s, 0.90 of the line)":
// what the job moved over the whole of its work, and the rate that makes;
// "of the line" is that rate over what the serial line carries.
std::string TerminalView::ClosingLine() const {
    const JobProgress& p = figures_.progress();
    const std::optional<double> seconds = p.WorkSeconds(setup_.clock());
    const ProgressRequest& request = p.request();
    if (!seconds || request.work_mode == WorkMode::kHealth) {
        return {};
    }
    const JobProgress::Moved m = p.moved();
    const auto bytes = [](uint64_t n) { return ByteText(static_cast<double>(n)); };
    std::vector<std::string> parts;
    int erased = 0;
    switch (request.work_mode) {
        case WorkMode::kCodeUpgrade:
        case WorkMode::kRestore:
            parts.push_back(Tr("term.close.wrote", {bytes(m.written)}));
            break;
        case WorkMode::kReadCode:
            parts.push_back(Tr("term.close.read", {bytes(m.read)}));
            break;
        case WorkMode::kErase:
            erased = static_cast<int>(ledger_.State(false).erased_blocks.size());
            parts.push_back(Tr(erased == 1 ? "term.close.erased_one" : "term.close.erased_many",
                               {std::to_string(erased)}));
            break;
        case WorkMode::kBackup:
            parts.push_back(Tr("term.close.backup", {bytes(m.backed_up)}));
            break;
        case WorkMode::kHealth:
            break;
    }
    if (request.work_mode != WorkMode::kBackup && m.backed_up > 0)
        parts.push_back(Tr("term.close.backed_up", {bytes(m.backed_up)}));
    if (m.verified > 0)
        parts.push_back(Tr("term.close.verified", {bytes(m.verified)}));

    const std::string line =
        Tr("term.close.in", {Join(parts, Tr("term.list")), figures_.SecondsText(*seconds)});
    const double moved = static_cast<double>(m.written + m.read + m.backed_up + m.verified);
    if (*seconds <= 0) {
        return line;
    }
    std::string rate;
    if (moved > 0) {
        rate = Tr("term.rate.bytes", {ByteText(moved / *seconds)});
        if (request.link == LinkKind::kSerial && request.line_rate > 0) {
            rate += Tr("term.list") + Tr("term.close.of_line",
                                         {Format("%.2f", moved / *seconds / request.line_rate)});
        }
    } else if (erased > 0) {
        rate = Tr("term.rate.blocks", {Format("%.0f", erased / *seconds)});
    }
    return rate.empty() ? line : Tr("term.close.figures", {line, rate});
}

// "phone: old boot block kept; partition 1 written, partition 2 partly written,
// partition 3 erased; blocks 21..53 erased"
std::string TerminalView::PhoneText(const PhoneState& s) const {
    std::vector<std::string> clauses;
    const WorkMode mode = ledger_.work_mode();
    if (!s.changed) {
        clauses.push_back(Tr("term.stop.unchanged"));
    } else if (mode == WorkMode::kCodeUpgrade && s.all_written) {
        clauses.push_back(Tr("term.stop.all_written"));
    } else if (mode == WorkMode::kCodeUpgrade) {
        clauses.push_back(Tr(s.boot == PhoneState::Boot::kWritten  ? "term.stop.boot_written"
                             : s.boot == PhoneState::Boot::kErased ? "term.stop.boot_erased"
                                                                   : "term.stop.boot_kept"));
        clauses.push_back(
            Join({Numbered("term.stop.written_one", "term.stop.written_many", s.written),
                  Numbered("term.stop.partly_written_one", "term.stop.partly_written_many",
                           s.partly_written),
                  Numbered("term.stop.erased_one", "term.stop.erased_many", s.erased),
                  Numbered("term.stop.partly_erased_one", "term.stop.partly_erased_many",
                           s.partly_erased)},
                 Tr("term.list")));
        clauses.push_back(Numbered("term.stop.blocks_erased_one", "term.stop.blocks_erased_many",
                                   s.erased_blocks));
    } else if (mode == WorkMode::kRestore) {
        clauses.push_back(
            Numbered("term.stop.restored_one", "term.stop.restored_many", s.restored_blocks));
    } else {
        clauses.push_back(Numbered("term.stop.blocks_erased_one", "term.stop.blocks_erased_many",
                                   s.erased_blocks));
    }
    return Tr("term.stop.phone", {Join(clauses, Tr("term.clauses"))});
}

std::string TerminalView::NextText(const PhoneState& s) const {
    const char* next = "term.next.unchanged";
    switch (ledger_.work_mode()) {
        case WorkMode::kCodeUpgrade:
            next = !s.changed      ? "term.next.unchanged"
                   : s.all_written ? "term.next.upgrade_whole"
                                   : "term.next.upgrade_again";
            break;
        case WorkMode::kErase:
            next = s.changed ? "term.next.erase_again" : "term.next.unchanged";
            break;
        case WorkMode::kRestore:
            next = s.changed ? "term.next.restore_again" : "term.next.unchanged";
            break;
        case WorkMode::kReadCode:
            next = "term.next.read_again";
            break;
        case WorkMode::kBackup:
            next = "term.next.backup_again";
            break;
        case WorkMode::kHealth:
            break;
    }
    std::string text = Tr(next);
    // A backup made before the first erase keeps what the erase took.
    if (s.changed && !s.all_written && s.backup_complete && !setup_.backup_folder.empty()) {
        text = Tr("term.sentences", {text, Tr("term.next.backup_kept", {setup_.backup_folder})});
    }
    return Tr("term.stop.next", {text});
}

}  // namespace velmora::cli
