#include "station/station.h"

#include <openssl/evp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "base/results.h"
#include "base/text_format.h"
#include "config/chip_catalogue.h"
#include "job/job_table.h"
#include "serial/serial_port.h"
#include "station/station_log.h"
#include "usb/usb_link_spec.h"

namespace velmora {
namespace {

// Between two looks at a USB slot's bus path, and after a job that never
// reached a phone before the next one starts (a port that is gone would
// otherwise be tried without pause).
constexpr int kUsbLookMs = 250;
constexpr int kRetryPauseMs = 2000;

std::string HexBytes(const uint8_t* bytes, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += Format(i ? ",%02X" : "%02X", bytes[i]);
    }
    return text;
}

// Waits up to `ms` for the station's stop; true when it came.
bool WaitForStop(int stop_fd, int ms) {
    pollfd fd{stop_fd, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            return false;
        }
        const int rc = poll(&fd, 1, static_cast<int>(left));
        if (rc > 0) {
            return true;
        }
    }
}

// What a port text opens, for telling two names of one device apart. A
// serial device is its device number after every link (a by-id name, a
// simulated phone's link to its pty); a name that does not exist yet keeps
// its text.
std::string PortIdentity(LinkKind link, const std::string& text) {
    if (link == LinkKind::kUsb) {
        usb::UsbLinkSpec spec;
        std::string why;
        if (usb::ParseUsbLinkSpec(text, &spec, &why) && !spec.match.path.empty()) {
            return "usb:" + spec.socket + "|" + spec.match.path;  // one bus, one path
        }
        return "text:" + text;
    }
    const std::string path = SerialDevicePath(text);
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0) {
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(path.empty() ? text : path, ec);
        return "path:" + (ec ? text : absolute.lexically_normal().string());
    }
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
        return Format("dev:%llx", static_cast<unsigned long long>(st.st_rdev));
    }
    return Format("file:%llx:%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
}

}  // namespace

std::string SharedPortProblem(LinkKind link, const std::vector<std::string>& ports) {
    std::vector<std::pair<std::string, size_t>> seen;  // identity, slot index
    for (size_t i = 0; i < ports.size(); ++i) {
        const std::string& text = ports[i];
        if (IsSimulatedPortText(text)) {
            continue;
        }
        const std::string identity = PortIdentity(link, text);
        for (const auto& [other, j] : seen) {
            if (other != identity) {
                continue;
            }
            if (ports[j] == text) {
                return "The port " + text + " is given twice; each slot needs its own.";
            }
            return Format(
                "The ports %s (slot %zu) and %s (slot %zu) are one device; each slot "
                "needs its own.",
                ports[j].c_str(), j + 1, text.c_str(), i + 1);
        }
        seen.emplace_back(identity, i);
    }
    return {};
}

std::string_view SlotStateName(SlotState state) {
    switch (state) {
        case SlotState::kIdle:
            return "idle";
        case SlotState::kRunning:
            return "running";
        case SlotState::kWaitingUsb:
            return "waiting";
        case SlotState::kPassed:
            return "passed";
        case SlotState::kFailed:
            return "failed";
        case SlotState::kStopped:
            return "stopped";
    }
    return "idle";
}

std::string FileSha256(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) {
        return {};
    }
    std::vector<char> buffer(64 * 1024);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        if (in.gcount() > 0 &&
            EVP_DigestUpdate(ctx.get(), buffer.data(), static_cast<size_t>(in.gcount())) != 1) {
            return {};
        }
    }
    if (in.bad()) {
        return {};
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &size) != 1) {
        return {};
    }
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        text += Format("%02x", digest[i]);
    }
    return text;
}

// What the station learns from a slot's events for its log, passed on to the
// front end's sink unchanged. Reset by the slot's thread before each job,
// written by the job's worker; Start and Wait order the two.
class SlotTap final : public EventSink {
  public:
    EventSink* sink = nullptr;
    StationLog* log = nullptr;
    StationRow row;  // the job's row, as far as it is known
    std::string chip_id;
    std::string usb_path;
    std::set<int> bad_blocks;
    std::set<int> failed_blocks;

    void Reset() {
        chip_id.clear();
        usb_path.clear();
        bad_blocks.clear();
        failed_blocks.clear();
    }

    void OnStatus(const std::string& text) override {
        if (sink)
            sink->OnStatus(text);
    }
    void OnPhase(Phase phase) override {
        if (sink)
            sink->OnPhase(phase);
    }
    void OnProgress(uint64_t done, uint64_t total) override {
        if (sink)
            sink->OnProgress(done, total);
    }
    void OnElapsed(std::optional<uint32_t> ms) override {
        if (sink)
            sink->OnElapsed(ms);
    }
    void OnChip(const std::optional<std::array<uint8_t, 4>>& id) override {
        if (id) {
            chip_id = HexBytes(id->data(), id->size());
            row.chip_id = chip_id;
            if (log)
                log->NoteChip(row);
        }
        if (sink)
            sink->OnChip(id);
    }
    void OnUsbDevice(const std::string& path, uint16_t vendor, uint16_t product) override {
        usb_path = path;
        if (sink)
            sink->OnUsbDevice(path, vendor, product);
    }
    void OnBlockMap(int count, uint32_t size) override {
        if (sink)
            sink->OnBlockMap(count, size);
    }
    void OnBlock(int block, BlockState state) override {
        switch (state) {
            case BlockState::kBad:
            case BlockState::kReplaced:
            case BlockState::kSkipped:
                bad_blocks.insert(block);
                break;
            case BlockState::kEraseFailed:
            case BlockState::kFailed:
                failed_blocks.insert(block);
                break;
            default:
                break;
        }
        if (sink)
            sink->OnBlock(block, state);
    }
    void OnFile(const std::string& path) override {
        if (sink)
            sink->OnFile(path);
    }
    void OnStepMessage(const std::string& text) override {
        if (sink)
            sink->OnStepMessage(text);
    }
    void OnLog(const std::string& text) override {
        if (sink)
            sink->OnLog(text);
    }
    void OnEnd(const JobEnd& end) override {
        if (sink)
            sink->OnEnd(end);
    }
};

struct Station::SlotRun {
    explicit SlotRun(SimulatorFactory simulators) : links(std::move(simulators)) {}
    LinkRegistry links;  // the slot's own simulated phone, if any
    SlotTap tap;
    JobController jobs{&tap};
    JobRequest request;  // with the slot's port
    SlotView view;       // guarded by the station's mutex_
    std::thread thread;
};

Station::Station(SimulatorFactory simulators)
    : simulators_(std::move(simulators)), stop_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Station::~Station() {
    Stop();
    Wait();
    if (stop_fd_ >= 0) {
        close(stop_fd_);
    }
}

StationStart Station::Start(const StationRequest& request, const std::vector<EventSink*>& sinks) {
    StationStart refused;
    const auto refuse = [&](std::string text) {
        refused.message = std::move(text);
        return refused;
    };
    if (Running()) {
        return refuse("The station is already running.");
    }
    ClearLastRun();
    if (std::string problem = RequestProblem(request, sinks); !problem.empty()) {
        return refuse(std::move(problem));
    }
    const JobRequest& job = request.job;
    const std::string sha256 = FileSha256(job.ptt_path);
    std::vector<std::unique_ptr<SlotRun>> slots;
    if (std::string problem = MakeSlots(request, sinks, slots); !problem.empty()) {
        return refuse(std::move(problem));
    }
    if (std::string problem = OpenLog(request.log_path); !problem.empty()) {
        return refuse(std::move(problem));
    }

    slots_ = std::move(slots);
    loop_ = request.loop;
    std::error_code ec;
    ptt_path_ = std::filesystem::absolute(job.ptt_path, ec).string();
    if (ptt_path_.empty()) {
        ptt_path_ = job.ptt_path;
    }
    ptt_sha256_ = sha256;
    StationStart started;
    started.started = true;
    if (log_) {
        started.notes = MergeWaitingRows();
    }
    for (auto& run : slots_) {
        run->thread = std::thread(&Station::RunSlot, this, std::ref(*run));
    }
    return started;
}

void Station::ClearLastRun() {
    Wait();
    slots_.clear();
    log_.reset();
    {
        std::lock_guard lock(mutex_);
        stop_ = false;
    }
    uint64_t drained = 0;
    [[maybe_unused]] const ssize_t n = read(stop_fd_, &drained, sizeof drained);
}

std::string Station::RequestProblem(const StationRequest& request,
                                    const std::vector<EventSink*>& sinks) {
    const JobRequest& job = request.job;
    if (request.ports.empty()) {
        return "A station needs at least one port (--port, once per slot).";
    }
    if (sinks.size() != request.ports.size()) {
        return "A station needs one display per slot.";
    }
    if (job.work_mode != WorkMode::kCodeUpgrade) {
        return "A station runs code upgrades only.";
    }
    if (job.debug) {
        return "A station runs without debug mode: every slot would write the same dl_log.txt "
               "and bbm_rcb.bin. Debug one phone with a single job (velmora-cli --debug upgrade "
               "--port PORT).";
    }
    std::error_code ec;
    if (job.home.empty() || !std::filesystem::is_directory(job.home, ec)) {
        return "The home folder " + job.home + " does not exist or is not a folder.";
    }
    if (std::string problem; CheckCatalogue(job.home, problem) != 0) {
        return "The chip catalogue is not usable: " + problem;
    }
    if (job.ptt_path.empty()) {
        return kRefuseNoPtt;
    }
    // The same checks of the table as one phone's upgrade: every slot would
    // refuse it anyway, one after another.
    if (JobPartitionTable table; auto table_refused = LoadUpgradeTable(job.ptt_path, table)) {
        return table_refused->loader_message.empty()
                   ? table_refused->message
                   : table_refused->message + " " + table_refused->loader_message;
    }
    return SharedPortProblem(job.link, request.ports);
}

std::string Station::MakeSlots(const StationRequest& request, const std::vector<EventSink*>& sinks,
                               std::vector<std::unique_ptr<SlotRun>>& slots) {
    const JobRequest& job = request.job;
    for (size_t i = 0; i < request.ports.size(); ++i) {
        const std::string& text = request.ports[i];
        if (job.link == LinkKind::kUsb && !IsSimulatedPortText(text)) {
            usb::UsbLinkSpec spec;
            std::string why;
            if (!usb::ParseUsbLinkSpec(text, &spec, &why)) {
                return "Slot " + std::to_string(i + 1) + ": " + why;
            }
            if (spec.match.path.empty()) {
                return "Slot " + std::to_string(i + 1) + " (" + text +
                       "): a USB slot is named by its bus path (path=BUS-PORT[.PORT...], "
                       "as `velmora-cli ports` lists it).";
            }
        }
        auto run = std::make_unique<SlotRun>(simulators_);
        run->tap.sink = sinks[i];
        run->request = job;
        std::string error;
        if (!run->links.Resolve(job.link, text, job.home, OtherPortText::kRefuse,
                                &run->request.port, &error)) {
            return "Slot " + std::to_string(i + 1) + " (" + text + "): " + error;
        }
        run->view.slot = static_cast<int>(i);
        run->view.port_text = text;
        run->view.port = run->request.port;
        slots.push_back(std::move(run));
    }
    return {};
}

std::string Station::OpenLog(const std::string& path) {
    if (path.empty()) {
        return {};
    }
    auto log = std::make_unique<StationLog>();
    std::string error;
    if (!log->Open(path, &error)) {
        return error;
    }
    log->SetCancelFd(stop_fd_);
    log_ = std::move(log);
    return {};
}

std::vector<std::string> Station::MergeWaitingRows() {
    std::vector<std::string> notes;
    const std::string pending = log_->pending_path();
    const MergeOutcome merged = log_->MergePending();
    if (merged.added > 0) {
        notes.push_back(
            Format("%d row(s) that an earlier station could not write were added to "
                   "the station log from %s.",
                   merged.added, pending.c_str()));
    }
    if (!merged.ok) {
        const int waiting = log_->CountWaiting(ReadPendingRows(log_->path()));
        notes.push_back(
            Format("%d row(s) of an earlier station still wait in %s: the station log "
                   "cannot take them (%s).",
                   waiting, pending.c_str(), merged.error.c_str()));
    }
    if (merged.unreadable > 0) {
        notes.push_back(Format("%s holds %d line(s) that are not a row; they are kept there.",
                               pending.c_str(), merged.unreadable));
    }
    if (const std::string problem = log_->write_problem(); !problem.empty()) {
        notes.push_back("The station log " + log_->path() + " cannot be written (" + problem +
                        "): each phone's row will wait in " + pending + ".");
    }
    return notes;
}

void Station::Publish(SlotRun& run) {
    SlotView view;
    {
        std::lock_guard lock(mutex_);
        view = run.view;
    }
    if (on_slot) {
        on_slot(view);
    }
}

bool Station::WaitForNextUsbPhone(SlotRun& run) {
    usb::UsbLinkSpec spec;
    std::string why;
    if (!usb::ParseUsbLinkSpec(run.request.port, &spec, &why)) {
        return !stopped();
    }
    const std::string path = run.tap.usb_path.empty() ? spec.match.path : run.tap.usb_path;
    std::unique_ptr<usb::UsbBus> bus = usb::MakeUsbBus(spec, &why);
    if (path.empty() || !bus) {
        return !stopped();
    }
    {
        std::lock_guard lock(mutex_);
        run.view.state = SlotState::kWaitingUsb;
    }
    Publish(run);
    // The finished phone stays on its path (its loader's bulk device, or its
    // boot ROM again) until it is unplugged: the next phone is the device that
    // comes after the path was seen empty.
    bool left = false;
    for (;;) {
        bool present = false;
        for (const usb::UsbDeviceInfo& device : bus->List()) {
            present = present || device.path == path;
        }
        if (!present) {
            left = true;
        } else if (left) {
            return true;
        }
        if (WaitForStop(stop_fd_, kUsbLookMs)) {
            return false;
        }
    }
}

void Station::RunSlot(SlotRun& run) {
    for (bool first = true;; first = false) {
        if (stopped()) {
            break;
        }
        if (!first && run.request.link == LinkKind::kUsb && !WaitForNextUsbPhone(run)) {
            break;
        }
        BeginJob(run);
        const SlotJob job = RunOneJob(run);
        const bool was_stopped = job.outcome.result != 0 && (job.outcome.user_stopped || stopped());
        const std::string text = EndText(job.outcome, was_stopped);
        std::string log_text;
        const RowSaved saved = LogRow(run, job, text, was_stopped, &log_text);
        ShowEnd(run, job.outcome, text, log_text, saved, was_stopped);
        if (!loop_ || was_stopped || !job.started) {
            break;
        }
        // A job that never reached a phone pauses before the next try.
        if (job.outcome.result != 0 && run.tap.chip_id.empty() &&
            WaitForStop(stop_fd_, kRetryPauseMs)) {
            break;
        }
    }
    {
        std::lock_guard lock(mutex_);
        if (stop_ && run.view.state == SlotState::kRunning) {
            run.view.state = SlotState::kStopped;
        }
        if (run.view.state == SlotState::kWaitingUsb || run.view.state == SlotState::kIdle) {
            run.view.state = SlotState::kStopped;
        }
        run.view.done = true;
    }
    Publish(run);
}

void Station::BeginJob(SlotRun& run) {
    run.tap.Reset();
    run.tap.row = NewStationRow(run.view.slot + 1, run.view.port_text, ptt_path_, ptt_sha256_);
    if (log_) {
        log_->Begin(run.tap.row);
    }
    run.tap.log = log_.get();
    {
        std::lock_guard lock(mutex_);
        run.view.state = SlotState::kRunning;
    }
    Publish(run);
}

Station::SlotJob Station::RunOneJob(SlotRun& run) {
    SlotJob job;
    const auto began = std::chrono::steady_clock::now();
    const RunOutcome ran = run.jobs.Run(run.request);
    job.started = ran.start.started;
    if (job.started) {
        job.outcome = ran.end;
    } else {
        job.outcome.result = result::station::kNotStarted;
        job.outcome.error_text = ran.start.loader_message.empty()
                                     ? ran.start.message
                                     : ran.start.loader_message + " " + ran.start.message;
    }
    job.duration_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - began)
                          .count();
    return job;
}

// "passed", "stopped", or what went wrong. A Stop during the last block's
// write leaves a whole job: it passed.
std::string Station::EndText(const JobOutcome& outcome, bool was_stopped) {
    std::string text = outcome.result == 0 ? "passed"
                       : was_stopped       ? "stopped"
                                           : TrimLineBreaks(outcome.error_text);
    if (text.empty()) {
        text = outcome.meaning.empty() ? Format("result %d", outcome.result) : outcome.meaning;
    }
    return text;
}

RowSaved Station::LogRow(SlotRun& run, const SlotJob& job, const std::string& text,
                         bool was_stopped, std::string* log_text) {
    if (!log_) {
        return RowSaved::kLog;
    }
    StationRow& row = run.tap.row;
    if (was_stopped && run.tap.chip_id.empty()) {
        log_->Forget(row);  // stopped while it waited: no phone, nothing written
        return RowSaved::kLog;
    }
    row.result = job.outcome.result;
    row.result_text = text;
    row.chip_id = run.tap.chip_id;
    if (job.outcome.product_id) {
        const auto& p = *job.outcome.product_id;
        row.product_id = Format("%02X,%02X,%02X,%02X,%02X", p[0], p[1], p[2], p[3], p[4]);
    }
    if (!run.tap.usb_path.empty()) {
        row.port = run.tap.usb_path;
    }
    row.duration_ms = job.duration_ms;
    row.bad_blocks = static_cast<int>(run.tap.bad_blocks.size());
    row.failed_blocks = static_cast<int>(run.tap.failed_blocks.size());
    return log_->Finish(row, log_text);
}

void Station::ShowEnd(SlotRun& run, const JobOutcome& outcome, const std::string& text,
                      const std::string& log_text, RowSaved saved, bool was_stopped) {
    {
        std::lock_guard lock(mutex_);
        run.view.last_end = outcome;
        run.view.last_text = text;
        run.view.log_text = log_text;
        if (saved != RowSaved::kLog) {
            ++run.view.unlogged;
        }
        if (saved == RowSaved::kLost) {
            ++run.view.lost;
        }
        if (was_stopped) {
            run.view.state = SlotState::kStopped;
        } else if (outcome.result == 0) {
            run.view.state = SlotState::kPassed;
            ++run.view.passed;
        } else {
            run.view.state = SlotState::kFailed;
            ++run.view.failed;
        }
    }
    Publish(run);
}

void Station::Stop() {
    std::lock_guard lock(mutex_);
    stop_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(stop_fd_, &one, sizeof one);
    for (auto& run : slots_) {
        run->jobs.RequestStop();
    }
}

void Station::Wait() {
    for (auto& run : slots_) {
        if (run->thread.joinable()) {
            run->thread.join();
        }
    }
}

bool Station::Running() const {
    std::lock_guard lock(mutex_);
    for (const auto& run : slots_) {
        if (!run->view.done) {
            return true;
        }
    }
    return false;
}

int Station::slot_count() const {
    return static_cast<int>(slots_.size());
}

SlotView Station::Slot(int slot) const {
    std::lock_guard lock(mutex_);
    return slots_.at(static_cast<size_t>(slot))->view;
}

int Station::Total(int SlotView::*count) const {
    std::lock_guard lock(mutex_);
    int total = 0;
    for (const auto& run : slots_) {
        total += run->view.*count;
    }
    return total;
}

int Station::passed() const {
    return Total(&SlotView::passed);
}

int Station::failed() const {
    return Total(&SlotView::failed);
}

bool Station::stopped() const {
    std::lock_guard lock(mutex_);
    return stop_;
}

int Station::unlogged() const {
    return Total(&SlotView::unlogged);
}

int Station::lost_rows() const {
    return Total(&SlotView::lost);
}

std::string Station::log_path() const {
    return log_ ? log_->path() : std::string();
}

std::string Station::pending_path() const {
    return log_ ? log_->pending_path() : std::string();
}

}  // namespace velmora
