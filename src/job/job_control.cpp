#include "job/job_control.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

#include "base/input_file.h"
#include "base/output_file.h"
#include "base/text_format.h"
#include "config/chip_catalogue.h"
#include "job/job_table.h"
#include "job/link_registry.h"
#include "safety/safety_net.h"

namespace velmora {
namespace fs = std::filesystem;

int CanOpenFile(const std::string& path, std::string* problem) {
    return OpenInputFile(path, problem) ? 0 : -1;
}

JobController::JobController(EventSink* display) : display_(display) {}

JobController::~JobController() {
    Stop();
    Wait();
}

namespace {

StartOutcome Refuse(const std::string& message, const char* caption) {
    StartOutcome outcome;
    outcome.message = message;
    outcome.caption = caption;
    return outcome;
}

// What must hold before the phone is asked for anything: a home folder, a
// readable catalogue, an area whose end is not below its start.
std::string CheckBeforeThePhone(const JobRequest& request) {
    std::error_code ec;
    if (request.home.empty() || !fs::is_directory(request.home, ec)) {
        return "The home folder " + request.home + " does not exist or is not a folder.";
    }
    if (std::string problem; CheckCatalogue(request.home, problem) != 0) {
        return "The chip catalogue is not usable: " + problem;
    }
    if (!RangeFits(request.work_mode, request.range)) {
        return "The range is not one of the work mode's.";
    }
    const bool area = (request.work_mode == WorkMode::kReadCode &&
                       RangeAs<ReadRange>(request.range) == ReadRange::kArea) ||
                      (request.work_mode == WorkMode::kErase &&
                       RangeAs<EraseRange>(request.range) == EraseRange::kArea);
    if (area && request.range_end < request.range_start) {
        return Format("The area's end 0x%X lies below its start 0x%X.", request.range_end,
                      request.range_start);
    }
    return {};
}

// Refusals as Start gives them, with the loader's own message shown first.
StartOutcome RefuseWithMessage(const char* message, const char* caption, std::string detail,
                               std::string title) {
    StartOutcome refused = Refuse(message, caption);
    refused.loader_message = std::move(detail);
    refused.loader_title = std::move(title);
    return refused;
}

// The file a read names as its own: the report of a read by the partition
// table, or the one file of the others.
std::string ReadFileName(const JobRequest& request) {
    const ReadRange range = RangeAs<ReadRange>(request.range);
    return range == ReadRange::kPartitionTable ? "upload.ptt"
           : range == ReadRange::kEerom        ? "upload_eerom.bin"
                                               : "upload_range.bin";
}

// A backup's folder: made, and holding no earlier backup (one folder, one
// phone's backup: a second would mix two phones' files under one manifest).
std::optional<StartOutcome> PrepareBackupFolder(const JobRequest& request) {
    if (request.backup_folder.empty()) {
        if (request.work_mode == WorkMode::kBackup) {
            return Refuse("Name the folder for the backup.", "Error");
        }
        return std::nullopt;
    }
    std::string folder = request.backup_folder;
    if (std::string reason; !MakeOutputFolder(folder, &reason)) {
        return Refuse("Cannot use the backup folder " + folder + ": " + reason, "Error");
    }
    std::error_code ec;
    if (fs::exists(fs::path(folder) / "manifest.json", ec)) {
        return Refuse("The folder " + folder +
                          " holds a backup already; choose an empty folder for this one, so "
                          "that the earlier backup is kept.",
                      "Error");
    }
    return std::nullopt;
}

// Read: the upload folder made and the file named. Upgrade: the table loaded
// and checked. Erase: the folder of a debug job's record dump. A refusal when
// the work mode cannot have its files.
std::optional<StartOutcome> PrepareFiles(const JobRequest& request, JobFiles& files) {
    const std::string& home = request.home;
    switch (request.work_mode) {
        case WorkMode::kReadCode: {
            files.folder = ReadFolder(request);
            if (std::string reason; !MakeOutputFolder(files.folder, &reason)) {
                return RefuseWithMessage(kRefuseFolder, "Error",
                                         "Cannot use the folder " + files.folder + ": " + reason,
                                         "Error");
            }
            if (const auto earlier = EarlierReadFiles(files.folder, request);
                !earlier.empty() && !request.overwrite) {
                return Refuse(EarlierReadText(files.folder, earlier), "Error");
            }
            files.job_file = ReadFilePath(request);
            return std::nullopt;
        }
        case WorkMode::kErase:
            if (auto refused = PrepareBackupFolder(request)) {
                return refused;
            }
            // No file is needed; a debug job's record dump goes to the chosen
            // table's folder, as for an upgrade, else to the program's folder.
            files.folder = request.ptt_path.empty() ? home : FolderOf(request.ptt_path);
            if (files.folder.empty()) {
                files.folder = home;
            }
            return std::nullopt;
        case WorkMode::kBackup:
            files.folder = request.backup_folder;
            return PrepareBackupFolder(request);
        case WorkMode::kRestore: {
            files.folder = home;
            if (request.backup_folder.empty()) {
                return Refuse("Name the backup folder to restore.", "Error");
            }
            const BackupSummary summary = ReadBackupSummary(request.backup_folder, true);
            if (!summary.error.empty()) {
                return Refuse(summary.error + " Nothing was restored.", "Error");
            }
            return std::nullopt;
        }
        case WorkMode::kHealth:
            files.folder = home;
            return std::nullopt;
        case WorkMode::kCodeUpgrade:
            break;
    }
    if (auto refused = LoadUpgradeTable(request.ptt_path, files.table)) {
        return refused;
    }
    // Made only once the table holds, so that a refused Start leaves no folder.
    if (auto refused = PrepareBackupFolder(request)) {
        return refused;
    }
    files.job_file = request.ptt_path;
    files.folder = files.table.folder;  // empty: the table lies in the current folder
    return std::nullopt;
}

}  // namespace

std::optional<StartOutcome> LoadUpgradeTable(const std::string& ptt_path,
                                             JobPartitionTable& table) {
    if (ptt_path.empty()) {
        return Refuse(kRefuseNoPtt, "错误");
    }
    if (std::string problem; CanOpenFile(ptt_path, &problem) != 0) {
        // The refusal's words name no file: the file it looked for, as the
        // operator can find it, goes beside them; so does the reason of a file
        // that is there but cannot be read (a FIFO, a device, no permission).
        std::error_code ec;
        if (!fs::exists(ptt_path, ec)) {
            const fs::path absolute = fs::absolute(ptt_path, ec);
            const std::string shown = ec ? ptt_path : absolute.lexically_normal().string();
            return RefuseWithMessage(kRefuseOpenPtt, "错误",
                                     "The partition table " + shown + " does not exist.", "Error");
        }
        return RefuseWithMessage(kRefuseOpenPtt, "错误", problem, "Error");
    }
    if (std::string message, title; LoadJobTable(ptt_path, table, message, title) != 0) {
        return RefuseWithMessage(kRefuseParsePtt, "错误", message, title);
    }
    if (table.boot_file_size == 0) {
        return RefuseWithMessage(kRefuseParsePtt, "错误",
                                 "The boot image " + table.BootFilePath() +
                                     " is empty: the phone would be left without boot code.",
                                 "ERROR");
    }
    // A count that is not a number reads as 0, so such a table loads and shows;
    // but an upgrade of no partition would write a boot block that names no code,
    // and the phone would not start.
    if (table.partition_count == 0) {
        return Refuse("The partition table " + ptt_path +
                          " lists no partition (its number_of_partition reads as 0): an upgrade "
                          "would leave the phone with a boot block that names no code. Nothing "
                          "was erased.",
                      "错误");
    }
    return std::nullopt;
}

std::string ReadFolder(const JobRequest& request) {
    std::string folder =
        request.output_folder.empty() ? request.home + "upload_nand/" : request.output_folder;
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

std::vector<std::string> EarlierReadFiles(const std::string& folder, const JobRequest& request) {
    const bool by_table = RangeAs<ReadRange>(request.range) == ReadRange::kPartitionTable;
    const std::string own = ReadFileName(request);
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name == own || (by_table && (name == "boot_nand.bin" || name.starts_with("parti_")))) {
            found.push_back(name);
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string EarlierReadText(const std::string& folder, const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names) {
        list += (list.empty() ? "" : ", ") + name;
    }
    return "The folder " + folder + " holds files of an earlier read, which this read would " +
           "replace: " + list + ". Choose another folder, or move them away first.";
}

std::string ReadFilePath(const JobRequest& request) {
    return ReadFolder(request) + ReadFileName(request);
}

std::unique_ptr<DownloadJob> MakeJob(const JobRequest& request, JobFiles files,
                                     EventSink* display) {
    auto job = std::make_unique<DownloadJob>(request.link, display, request.debug);
    job->work_mode = request.work_mode;
    job->range = request.range;
    job->range_start = request.range_start;
    job->range_end = request.range_end;
    job->SetHome(request.home);
    job->job_file_path = std::move(files.job_file);
    job->SetFolder(std::move(files.folder));
    job->table = std::move(files.table);
    job->mutable_timings() = request.timings;
    job->area_confirmed = request.area_confirmed;
    job->ask_area = request.ask_area;
    job->backup_folder = request.backup_folder;
    job->verify = request.verify;
    job->SetReadTwice(request.read_twice);
    job->read_once = request.read_once;
    job->since_path = request.since_path;
    job->port = request.port;
    job->baud_selection = request.baud_selection;
    job->reporter.SetProgress(0, 100);
    if (request.debug) {
        // A log that cannot be made is not fatal.
        job->reporter.OpenLog(request.home + "dl_log.txt");
    }
    return job;
}

StartOutcome JobController::Start(const JobRequest& request) {
    // The last job's worker ends first, so the display has one caller at a time.
    Wait();
    if (display_) {
        display_->OnBlockMap(0, 0);
    }

    if (const std::string problem = CheckBeforeThePhone(request); !problem.empty()) {
        return Refuse(problem, "错误");
    }
    JobFiles files;
    if (std::optional<StartOutcome> refused = PrepareFiles(request, files)) {
        return *refused;
    }
    if (request.work_mode == WorkMode::kReadCode && on_notice) {
        on_notice(kReadNotice + files.job_file);
    }
    std::unique_ptr<DownloadJob> job = MakeJob(request, std::move(files), display_);
    StartOutcome outcome;
    outcome.started = true;
    outcome.job_file = job->job_file_path;

    DownloadJob* running = job.get();
    {
        std::lock_guard lock(mutex_);
        if (stop_requested_) {
            running->Stop();  // asked for before the job existed
        }
        job_ = std::move(job);
    }
    thread_ = std::thread(&JobController::Worker, this, running);
    return outcome;
}

void JobController::Worker(DownloadJob* job) {
    // A Stop that came before the job existed ends it before it touches the phone.
    const int result = job->Aborted() ? job->result() : runner(*job);
    job->reporter.CloseLog();
    // The sequences end their job themselves; this ends one that never reached
    // a sequence (stopped before it began, or a test's runner).
    const JobOutcome outcome = job->End(result);
    std::unique_ptr<DownloadJob> finished;
    {
        std::lock_guard lock(mutex_);
        finished = std::move(job_);
        last_end_ = outcome;
    }
    finished.reset();  // closes the link
    if (on_finished) {
        on_finished(outcome);
    }
}

RunOutcome JobController::Run(const JobRequest& request) {
    RunOutcome run;
    run.start = Start(request);
    if (run.start.started) {
        Wait();
        std::lock_guard lock(mutex_);
        run.end = last_end_;
    }
    return run;
}

void JobController::Stop() {
    std::lock_guard lock(mutex_);
    if (job_) {
        job_->Stop();
    }
}

void JobController::RequestStop() {
    std::lock_guard lock(mutex_);
    stop_requested_ = true;
    if (job_) {
        job_->Stop();
    }
}

void JobController::Wait() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

bool JobController::Running() const {
    std::lock_guard lock(mutex_);
    return job_ != nullptr;
}

}  // namespace velmora
