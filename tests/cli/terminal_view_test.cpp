// The terminal display of a job, on the jobs tests/frontend keeps as recorded
// against the simulated phone: the progress line cleared before each drawing
// and never wider than the terminal, plain lines when piped, the closing line
// and a stopped job's account, in both languages.
#include "cli/terminal_view.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <set>

#include "support/recorded_events.h"

namespace velmora::testing {
namespace {

using cli::TerminalView;
using text::Lang;

// What the view writes, kept in memory.
class Captured {
  public:
    Captured() : file_(open_memstream(&buffer_, &size_)) {}
    ~Captured() {
        std::fclose(file_);
        std::free(buffer_);
    }
    Captured(const Captured&) = delete;
    Captured& operator=(const Captured&) = delete;
    std::FILE* file() const { return file_; }
    std::string text() const {
        std::fflush(file_);
        return std::string(buffer_, size_);
    }

  private:
    char* buffer_ = nullptr;
    size_t size_ = 0;
    std::FILE* file_;
};

ProgressRequest Request(WorkMode mode, WorkRange range, bool backup, bool verify) {
    ProgressRequest r;
    r.work_mode = mode;
    r.range = range;
    r.line_rate = LineRate(LinkKind::kSerial, 2);
    r.backup = backup;
    r.verify = verify;
    r.boot_bytes = 16384;
    r.partitions = {
        {0x20000, 0x100000, 655360}, {0x120000, 0x80000, 196608}, {0x1A0000, 0x100000, 405504}};
    return r;
}

// A recorded job through a TerminalView as the job command drives it.
struct Shown : EventSink {
    Shown(const char* name, ProgressRequest request, bool redraw, Lang lang) {
        TerminalView::Setup setup;
        setup.out = out.file();
        setup.redraw = redraw;
        setup.columns = 60;
        setup.lang = lang;
        setup.request = std::move(request);
        setup.clock = [this] { return now; };
        view.emplace(std::move(setup));
        Replay(ReadRecordedEvents(std::string(VELMORA_SOURCE_DIR) + "/tests/frontend/fixtures/" +
                                  name + ".events"),
               *this, [this](std::chrono::milliseconds at) { now = cli::Clock::time_point(at); });
    }
    void OnStatus(const std::string& t) override {
        view->OnStatus(t);
        view->Line("status: " + t);
    }
    void OnPhase(Phase p) override { view->OnPhase(p); }
    void OnProgress(uint64_t done, uint64_t total) override { view->OnProgress(done, total); }
    void OnChip(const std::optional<std::array<uint8_t, 4>>& id) override { view->OnChip(id); }
    void OnBlockMap(int n, uint32_t size) override { view->OnBlockMap(n, size); }
    void OnBlock(int b, BlockState s) override { view->OnBlock(b, s); }
    void OnEnd(const JobEnd& end) override {
        view->End(end, end.user_stopped);
        view->Close(end, end.user_stopped);
    }
    // The lines that begin with `prefix`.
    std::vector<std::string> Lines(const std::string& prefix) const {
        std::vector<std::string> found;
        std::istringstream in(out.text());
        for (std::string line; std::getline(in, line);) {
            if (line.rfind(prefix, 0) == 0)
                found.push_back(line);
        }
        return found;
    }

    Captured out;
    cli::Clock::time_point now{};
    std::optional<TerminalView> view;
};

int PercentIn(const std::string& text, const std::string& after) {
    const size_t at = text.find(after);
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + after.size());
}

TEST(TerminalView, ARedrawClearsTheLineFitsTheTerminalAndEndsAtHundred) {
    const Shown shown("upgrade", Request(WorkMode::kCodeUpgrade, UpgradeRange::kAll, true, true),
                      true, Lang::kChinese);
    const std::string out = shown.out.text();
    size_t returns = 0;
    for (size_t at = out.find('\r'); at != std::string::npos; at = out.find('\r', at + 1)) {
        ++returns;
        ASSERT_EQ(out.compare(at, 4, "\r\x1b[K"), 0) << "a drawing over an uncleared line";
    }
    EXPECT_GT(returns, 100u);
    int last = -1;
    std::string drawing;
    for (size_t at = out.find("\r\x1b[K["); at != std::string::npos;
         at = out.find("\r\x1b[K[", at + 1)) {
        drawing = out.substr(at + 4, out.find_first_of("\r\n", at + 4) - at - 4);
        ASSERT_LE(cli::DisplayWidth(drawing), 59) << drawing;
        const int percent = PercentIn(drawing, "] ");
        ASSERT_GE(percent, last) << drawing;
        last = percent;
    }
    EXPECT_EQ(last, 100) << drawing;
    EXPECT_NE(drawing.find("校验"), std::string::npos) << "the phase is named beside the bar";
}

TEST(TerminalView, PipedItWritesPlainLinesATenthOfTheBarEach) {
    const Shown shown("upgrade", Request(WorkMode::kCodeUpgrade, UpgradeRange::kAll, true, true),
                      false, Lang::kEnglish);
    EXPECT_EQ(shown.out.text().find_first_of("\r\x1b"), std::string::npos);
    const auto lines = shown.Lines("progress: ");
    ASSERT_EQ(lines.size(), 11u);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(PercentIn(lines[i], ": ") / 10, static_cast<int>(i)) << lines[i];
    }
    EXPECT_EQ(lines.back(), "progress: 100%  verify  1.2 MiB of 1.2 MiB");
    EXPECT_EQ(shown.Lines("phase: ").size(), 7u);  // write, backup, write, erase, write, ...
}

TEST(TerminalView, TheClosingLineGivesTimeBytesAndRateInBothLanguages) {
    const auto upgrade = Request(WorkMode::kCodeUpgrade, UpgradeRange::kAll, true, true);
    const Shown en("upgrade", upgrade, false, Lang::kEnglish);
    const std::string line = en.view->ClosingLine();
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m,
                                 std::regex(R"(Wrote 1\.2 MiB, backed up 4\.1 MiB, verified 1\.\d )"
                                            R"(MiB in 1 min \d+ s \((\d+\.\d) KiB/s, )"
                                            R"((\d\.\d\d) of the line\))")))
        << line;
    // Below the line's rate: the loader's frames, the EEROM read twice and the
    // erase take their share.
    EXPECT_GT(std::stod(m[2]), 0.7);
    EXPECT_LE(std::stod(m[2]), 1.0);
    EXPECT_EQ(en.Lines("Wrote ").size(), 1u);
    EXPECT_NE(en.out.text().find("blocks: 256; "), std::string::npos);

    const Shown zh("upgrade", upgrade, false, Lang::kChinese);
    EXPECT_EQ(zh.view->ClosingLine().rfind("写入 1.2 MiB，备份 4.1 MiB，校验 1.", 0), 0u);
    EXPECT_NE(zh.view->ClosingLine().find("线路速率的 " + std::string(m[2])), std::string::npos);

    auto usb = upgrade;
    usb.link = LinkKind::kUsb;
    EXPECT_EQ(Shown("upgrade", usb, false, Lang::kEnglish).view->ClosingLine().find("line"),
              std::string::npos)
        << "a USB link has no rate of its own to compare with";

    const Shown read("read", Request(WorkMode::kReadCode, ReadRange::kPartitionTable, false, false),
                     false, Lang::kEnglish);
    EXPECT_TRUE(std::regex_match(
        read.view->ClosingLine(),
        std::regex(R"(Read 1\.2 MiB in \d+\.\d s \(\d+\.\d KiB/s, 0\.9\d of the line\))")))
        << read.view->ClosingLine();
    const Shown erase("erase", Request(WorkMode::kErase, EraseRange::kCode, true, false), false,
                      Lang::kEnglish);
    EXPECT_TRUE(std::regex_match(erase.view->ClosingLine(),
                                 std::regex(R"(Erased \d+ blocks, backed up .* in .*)")))
        << erase.view->ClosingLine();
}

TEST(TerminalView, AStoppedUpgradeSaysWhatThePhoneHoldsAndWhatToDo) {
    const auto request = Request(WorkMode::kCodeUpgrade, UpgradeRange::kAll, false, false);
    const Shown en("stopped-upgrade", request, false, Lang::kEnglish);
    const std::string out = en.out.text();
    EXPECT_NE(out.find("interrupted block: 77\n"), std::string::npos) << out;
    EXPECT_NE(out.find(", interrupted 1\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("failed"), std::string::npos) << "the stop's block did not fail";
    EXPECT_NE(out.find("\nphone: old boot block kept; partition 1 written, partition 2 partly "
                       "written, partition 3 erased; blocks 1..7, 168..181 erased\n"
                       "next: run the upgrade again before switching the phone off"),
              std::string::npos)
        << out;
    EXPECT_TRUE(en.Lines("Wrote").empty()) << "no closing figures for a job that did not end";

    const Shown zh("stopped-upgrade", request, false, Lang::kChinese);
    EXPECT_NE(
        zh.out.text().find("手机现状：保留原引导块；分区 1 已写入，分区 2 只写入了一部分，"
                           "分区 3 已擦除；块 1..7, 168..181 已擦除\n下一步：关机之前请重新升级"),
        std::string::npos)
        << zh.out.text();

    // With a backup made before the first erase, the next step says where it is.
    PhoneState state;
    state.changed = true;
    state.backup_complete = true;
    Captured out2;
    TerminalView::Setup setup;
    setup.out = out2.file();
    setup.request = request;
    setup.backup_folder = "/backups/phone1";
    EXPECT_NE(TerminalView(setup).NextText(state).find(
                  ". The backup in /backups/phone1 keeps what the phone held before."),
              std::string::npos);
}

TEST(TerminalView, EveryTextHasBothLanguagesAndTheEnglishHasNoChinese) {
    std::set<std::string_view> ids;
    for (const text::Entry& e : cli::TerminalTexts()) {
        EXPECT_TRUE(ids.insert(e.id).second) << e.id;
        EXPECT_EQ(e.id.rfind("term.", 0), 0u) << e.id;
        EXPECT_FALSE(e.zh.empty() || e.en.empty()) << e.id;
        EXPECT_FALSE(text::HasCjk(e.en)) << e.id;
        for (const char* mark : {"{1}", "{2}"}) {
            EXPECT_EQ(e.zh.find(mark) == std::string_view::npos,
                      e.en.find(mark) == std::string_view::npos)
                << e.id << " " << mark;
        }
    }
}

}  // namespace
}  // namespace velmora::testing
