// upgrade, read and erase: one job through the job engine, shown on a terminal
// or as JSON events.
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "job/block_map.h"
#include "job/job_control.h"
#include "job/status_reporter.h"
#include "base/text_format.h"

#include "sim/phone.h"
#include "sim/usb_link.h"

namespace velmora::cli {
namespace {

using Json = nlohmann::json;

// A space-separated list. (Built as "" or " " + word, GCC 12 warns at -O2 of an
// overlapping copy that cannot happen.)
void AppendWord(std::string& list, const std::string& word) {
    if (!list.empty()) {
        list += ' ';
    }
    list += word;
}

std::string Dump(const Json& j) {
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// What the terminal shows: status lines, one progress line redrawn in place
// (or a line per 10% when stdout is not a terminal), the chip, step messages,
// and a block-map summary at the end.
class TerminalDisplay : public JobDisplay {
  public:
    TerminalDisplay(bool json, bool debug)
        : json_(json), debug_(debug), tty_(isatty(STDOUT_FILENO) != 0) {}

    void OnStatus(const std::string& text) override {
        std::lock_guard lock(mutex_);
        if (json_)
            return Emit({{"event", "status"}, {"text", text}});
        if (text.empty())
            return;
        Line("status: " + text);
    }
    void OnProgress(int percent) override {
        std::lock_guard lock(mutex_);
        if (json_) {
            if (percent != percent_)
                Emit({{"event", "progress"}, {"percent", percent}});
            percent_ = percent;
            return;
        }
        const bool changed = percent != percent_;
        percent_ = percent;
        if (tty_) {
            DrawBar();
        } else if (changed && (percent / 10 != printed_decile_ || percent == 100)) {
            printed_decile_ = percent / 10;
            std::printf("progress: %3d%%  %s\n", percent, elapsed_.c_str());
        }
    }
    void OnBarColour(uint32_t colour) override {
        std::lock_guard lock(mutex_);
        if (json_)
            Emit({{"event", "progress"}, {"colour", Format("#%06X", Rgb(colour))}});
    }
    void OnElapsed(const std::string& text) override {
        std::lock_guard lock(mutex_);
        if (text == elapsed_)
            return;
        elapsed_ = text;
        if (json_)
            return Emit({{"event", "elapsed"}, {"text", text}});
        if (tty_ && bar_shown_)
            DrawBar();
    }
    void OnChipInfo(const std::string& text) override {
        std::lock_guard lock(mutex_);
        if (json_)
            return Emit({{"event", "chip"}, {"text", text}});
        if (!text.empty())
            Line("chip:" + text);
    }
    void OnBlockMapClear() override {
        std::lock_guard lock(mutex_);
        map_.Clear();
    }
    void OnBlockMapInit(int blocks, uint32_t block_size) override {
        std::lock_guard lock(mutex_);
        map_.Init(blocks, block_size);
        if (json_)
            Emit({{"event", "block"}, {"blocks", blocks}, {"block_size", block_size}});
    }
    void OnBlockText(int block, int column, const std::string& text) override {
        std::lock_guard lock(mutex_);
        map_.SetText(block, column, text);
        if (json_)
            Emit({{"event", "block"}, {"block", block}, {"column", column}, {"text", text}});
    }
    void OnBlockColour(int block, uint32_t colour, int) override {
        std::lock_guard lock(mutex_);
        map_.Mark(block, colour);
        if (json_) {
            Emit({{"event", "block"}, {"block", block}, {"colour", Format("#%06X", Rgb(colour))}});
        }
    }
    void OnStepMessage(const std::string& text) override {
        std::lock_guard lock(mutex_);
        if (json_)
            return Emit({{"event", "message"}, {"text", text}});
        Line("message: " + text);
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

    // The end: the block-map summary (people only) and the result line.
    void End(int result, const std::string& error, const std::vector<std::string>& notes) {
        std::lock_guard lock(mutex_);
        if (json_) {
            Json end = {{"event", "end"}, {"result", result}, {"error", error}};
            if (!notes.empty())
                end["notes"] = notes;
            Emit(end);
            return;
        }
        EndBar();
        if (map_.block_count() > 0) {
            std::printf("%s\n", Summary().c_str());
        }
        for (const std::string& note : notes) {
            std::printf("note: %s\n", note.c_str());
        }
        if (result != 0 && !error.empty()) {
            std::printf("error: %s\n", error.c_str());
        }
        std::printf("result: %d\n", result);
        std::fflush(stdout);
    }

  private:
    static uint32_t Rgb(uint32_t bgr) {
        return (bgr & 0xFF) << 16 | (bgr & 0xFF00) | (bgr >> 16 & 0xFF);
    }

    void Emit(const Json& j) {
        std::printf("%s\n", Dump(j).c_str());
        std::fflush(stdout);
    }
    void Line(const std::string& text) {
        EndBar();
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }
    void DrawBar() {
        constexpr int kWidth = 30;
        const int filled = percent_ * kWidth / 100;
        std::printf("\r[%s%s] %3d%%  %s   ", std::string(static_cast<size_t>(filled), '#').c_str(),
                    std::string(static_cast<size_t>(kWidth - filled), '.').c_str(), percent_,
                    elapsed_.c_str());
        std::fflush(stdout);
        bar_shown_ = true;
    }
    void EndBar() {
        if (bar_shown_) {
            std::printf("\n");
            bar_shown_ = false;
        }
    }

    // "blocks: 1024; programmed 40, erased 949, failed 1 (7)" and the NG blocks.
    std::string Summary() const {
        static const std::map<uint32_t, const char*> kNames = {{kBlockProgrammed, "programmed"},
                                                               {kBlockErased, "erased"},
                                                               {kBlockRead, "read"},
                                                               {kBlockFailed, "failed"}};
        std::map<std::string, int> counts;
        std::string failed, bad;
        int failed_count = 0, bad_count = 0;
        for (int b = 0; b < map_.block_count(); ++b) {
            if (const auto colour = map_.Colour(b)) {
                const auto it = kNames.find(*colour);
                counts[it == kNames.end() ? Format("#%06X", Rgb(*colour)) : it->second]++;
                if (*colour == kBlockFailed && ++failed_count <= 20) {
                    AppendWord(failed, std::to_string(b));
                }
            }
            if (map_.Text(b + 1, 2) == "NG" && ++bad_count <= 20) {
                AppendWord(bad, std::to_string(b));
            }
        }
        std::string text = "blocks: " + std::to_string(map_.block_count());
        if (counts.empty())
            text += "; none touched";
        const char* separator = "; ";
        for (const auto& [name, count] : counts) {
            text += separator + name + " " + std::to_string(count);
            separator = ", ";
        }
        if (!failed.empty())
            text += "\nfailed blocks: " + failed + (failed_count > 20 ? " ..." : "");
        if (!bad.empty())
            text += "\nNG blocks: " + bad + (bad_count > 20 ? " ..." : "");
        return text;
    }

    const bool json_;
    const bool debug_;
    const bool tty_;
    std::mutex mutex_;
    int percent_ = -1;
    int printed_decile_ = -1;
    bool bar_shown_ = false;
    std::string elapsed_;
    BlockMap map_;
};

int Refuse(const GlobalOptions& global, const std::string& text) {
    if (global.json) {
        std::printf("%s\n",
                    Dump({{"event", "end"}, {"result", kExitRefused}, {"error", text}}).c_str());
    } else {
        std::cerr << "velmora-cli: " << text << "\n";
    }
    return kExitRefused;
}

std::optional<uint32_t> ParseHex(std::string text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.erase(0, 2);
    uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

int RangeIndex(const JobOptions& job) {
    static const std::map<std::string, std::map<std::string, int>> kRanges = {
        {"upgrade", {{"all", 0}, {"code", 1}}},
        {"read", {{"ptt", 0}, {"eerom", 1}, {"area", 2}}},
        {"erase", {{"fs", 0}, {"area", 1}, {"code", 2}, {"all", 3}, {"eerom", 4}}}};
    const auto& ranges = kRanges.at(job.command);
    const auto it = ranges.find(job.range);
    return it == ranges.end() ? -1 : it->second;
}

// SIGINT and SIGTERM stop the job as the window's Stop button does. They are
// blocked before any thread starts (threads inherit the mask, so none of them
// is killed by the default action) and taken from a signalfd by one watcher.
class SignalStop {
  public:
    SignalStop() {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set_, nullptr);
        signal_fd_ = signalfd(-1, &set_, SFD_CLOEXEC);
        done_fd_ = eventfd(0, EFD_CLOEXEC);
    }
    ~SignalStop() {
        Unwatch();
        close(signal_fd_);
        close(done_fd_);
        // The mask stays: a signal that comes after the job's end must not kill
        // the program while it prints the result; the program ends right after.
    }
    // From now on a signal stops the jobs of `jobs`.
    void Watch(JobController& jobs) {
        watcher_ = std::thread([this, &jobs] { Run(jobs); });
    }
    // Ends the watcher; call it before the controller goes away.
    void Unwatch() {
        if (watcher_.joinable()) {
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = write(done_fd_, &one, sizeof one);
            watcher_.join();
        }
    }
    bool signalled() const { return signalled_.load(); }

  private:
    void Run(JobController& jobs) {
        pollfd fds[2] = {{signal_fd_, POLLIN, 0}, {done_fd_, POLLIN, 0}};
        for (;;) {
            if (poll(fds, 2, -1) < 0)
                continue;
            if (fds[1].revents)
                return;
            if (fds[0].revents) {
                signalfd_siginfo info{};
                if (read(signal_fd_, &info, sizeof info) == sizeof info) {
                    signalled_.store(true);
                    jobs.RequestStop();  // kept when the job does not exist yet
                }
            }
        }
    }

    sigset_t set_{};
    int signal_fd_ = -1;
    int done_fd_ = -1;
    std::atomic<bool> signalled_{false};
    std::thread watcher_;
};

}  // namespace

int RunJob(const GlobalOptions& global, const JobOptions& job) {
    SignalStop signals;
    JobRequest request;
    request.work_mode = job.command == "upgrade" ? WorkMode::kCodeUpgrade
                        : job.command == "read"  ? WorkMode::kReadCode
                                                 : WorkMode::kErase;
    request.erase_range = RangeIndex(job);
    if (request.erase_range < 0)
        return Refuse(global, "unknown range: " + job.range);
    request.debug = global.debug;
    request.home = global.home;
    if (request.home.empty())
        return Refuse(global, "no home folder can be had");
    request.ptt_path = job.ptt;

    if (job.range == "area") {
        if (!job.start_hex || !job.end_hex) {
            return Refuse(global, "--range area needs --start and --end");
        }
        const auto start = ParseHex(*job.start_hex);
        const auto end = ParseHex(*job.end_hex);
        if (!start || !end)
            return Refuse(global, "--start and --end take hexadecimal addresses");
        request.range_start = *start;
        request.range_end = *end;
        if (*end < *start) {
            return Refuse(global,
                          Format("the area's end 0x%X lies below its start 0x%X", *end, *start));
        }
    }
    // An area erase that turns out to reach block 0 or the EEROM ends before any
    // erase unless confirmed; the blocks are known once the chip is identified.
    request.area_confirmed = job.yes;
    if (job.command == "erase" && job.range == "eerom" && !job.yes) {
        return Refuse(global, "erasing the EEROM needs --yes");
    }

    request.link = job.link.usb ? LinkKind::kUsb : LinkKind::kSerial;
    request.baud_selection = job.link.baud == 115200 ? 0 : job.link.baud == 460800 ? 1 : 2;

    std::unique_ptr<sim::Phone> phone;
    if (!job.link.usb) {
        const std::string& port = job.link.port;
        if (port.empty())
            return Refuse(global, "--port is needed for the serial link");
        if (port == "sim" || port.rfind("sim:", 0) == 0) {
            sim::PhoneOptions options;
            options.catalogue = global.home;
            std::string error;
            if (port.size() > 4 && !sim::ParsePhoneOptions(port.substr(4), options, error)) {
                return Refuse(global, "simulated phone: " + error);
            }
            phone = std::make_unique<sim::Phone>(options);
            if (!phone->Start(&error))
                return Refuse(global, "simulated phone: " + error);
            request.port = phone->SlavePath();
        } else {
            request.port = port;
        }
    }
    sim::UsbLink usb_link;
    if (job.link.usb) {
        std::string error;
        if (!sim::PrepareUsbLink(global.home, job.link.port, sim::OtherPortText::kRefuse, &usb_link,
                                 &error))
            return Refuse(global, error);
        request.port = usb_link.port;
    }

    TerminalDisplay display(global.json, global.debug);
    JobController jobs(&display);
    jobs.on_notice = [&](const std::string& text) { display.Notice(text); };
    JobOutcome outcome;
    std::mutex outcome_mutex;
    jobs.on_finished = [&](const JobOutcome& o) {
        std::lock_guard lock(outcome_mutex);
        outcome = o;
    };

    signals.Watch(jobs);
    const StartOutcome started = jobs.Start(request);
    if (!started.started) {
        signals.Unwatch();
        if (!started.loader_message.empty() && !global.json) {
            std::cerr << "velmora-cli: " << started.loader_message << "\n";
        }
        return Refuse(global, started.message);
    }
    jobs.Wait();
    signals.Unwatch();

    std::lock_guard lock(outcome_mutex);
    // A Stop that came while the last block was written leaves a whole job: result 0.
    const bool stopped = (outcome.user_stopped || signals.signalled()) && outcome.result != 0;
    display.End(outcome.result, stopped ? "stopped" : outcome.error_text, outcome.notes);
    if (stopped)
        return kExitStopped;
    return outcome.result == 0 ? kExitOk : kExitJobFailed;
}

}  // namespace velmora::cli
