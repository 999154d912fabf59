#include "job/job_control.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/output_file.h"
#include "base/text_format.h"
#include "config/chip_catalogue.h"
#include "job/job_table.h"
#include "job/link_registry.h"

namespace velmora {
namespace fs = std::filesystem;

int CanOpenFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return in.is_open() ? 0 : -1;
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
    const bool area =
        (request.work_mode == WorkMode::kReadCode && request.erase_range == read_range::kArea) ||
        (request.work_mode == WorkMode::kErase && request.erase_range == erase_range::kArea);
    if (area && request.range_end < request.range_start) {
        return Format("The area's end 0x%X lies below its start 0x%X.", request.range_end,
                      request.range_start);
    }
    return {};
}

}  // namespace

StartOutcome JobController::Start(const JobRequest& request) {
    // The last job's worker ends first, so the display has one caller at a time.
    Wait();
    if (display_) {
        display_->OnBlockMap(0, 0);
    }

    const std::string home = request.home;
    if (const std::string problem = CheckBeforeThePhone(request); !problem.empty()) {
        return Refuse(problem, "错误");
    }
    std::string job_file;
    std::string folder;
    JobPartitionTable table;
    switch (request.work_mode) {
        case WorkMode::kReadCode: {
            folder = home + "upload_nand/";
            if (std::string reason; !MakeOutputFolder(folder, &reason)) {
                StartOutcome refused = Refuse(kRefuseFolder, "Error");
                refused.loader_message = "Cannot use the folder " + folder + ": " + reason;
                refused.loader_title = "Error";
                return refused;
            }
            job_file = folder + (request.erase_range == read_range::kPartitionTable ? "upload.ptt"
                                 : request.erase_range == read_range::kEerom ? "upload_eerom.bin"
                                                                             : "upload_range.bin");
            if (on_notice) {
                on_notice(kReadNotice + job_file);
            }
            break;
        }
        case WorkMode::kErase:
            // No file is needed; a debug job's record dump goes to the chosen
            // table's folder, as for an upgrade, else to the program's folder.
            folder = request.ptt_path.empty() ? home : FolderOf(request.ptt_path);
            if (folder.empty()) {
                folder = home;
            }
            break;
        case WorkMode::kCodeUpgrade:
            if (request.ptt_path.empty()) {
                return Refuse(kRefuseNoPtt, "错误");
            }
            if (CanOpenFile(request.ptt_path) != 0) {
                return Refuse(kRefuseOpenPtt, "错误");
            }
            if (std::string message, title;
                LoadJobTable(request.ptt_path, table, message, title) != 0) {
                StartOutcome refused = Refuse(kRefuseParsePtt, "错误");
                refused.loader_message = message;
                refused.loader_title = title;
                return refused;
            }
            if (table.boot_file_size == 0) {
                StartOutcome refused = Refuse(kRefuseParsePtt, "错误");
                refused.loader_message = "The boot image " + table.BootFilePath() +
                                         " is empty: the phone would be left without boot code.";
                refused.loader_title = "ERROR";
                return refused;
            }
            job_file = request.ptt_path;
            folder = table.folder;  // empty: the table lies in the current folder
            break;
    }

    auto job = std::make_unique<DownloadJob>(request.link, display_, request.debug);
    job->work_mode = request.work_mode;
    job->erase_range = request.erase_range;
    job->range_start = request.range_start;
    job->range_end = request.range_end;
    job->home = home;
    job->job_file_path = job_file;
    job->folder = folder;
    job->table = std::move(table);
    job->timings = request.timings;
    job->area_confirmed = request.area_confirmed;
    job->port = request.port;
    job->baud_selection = request.baud_selection;
    job->reporter.SetProgress(0, 100);
    if (request.debug) {
        job->reporter.OpenLog(home + "dl_log.txt");  // a log that cannot be made is not fatal
    }

    DownloadJob* running = job.get();
    {
        std::lock_guard lock(mutex_);
        if (stop_requested_) {
            running->Stop();  // asked for before the job existed
        }
        job_ = std::move(job);
    }
    thread_ = std::thread(&JobController::Worker, this, running);

    StartOutcome outcome;
    outcome.started = true;
    outcome.job_file = job_file;
    return outcome;
}

void JobController::Worker(DownloadJob* job) {
    // A Stop that came before the job existed ends it before it touches the phone.
    const int result = job->Aborted() ? job->result.load() : runner(*job);
    job->reporter.CloseLog();

    const JobOutcome outcome = job->Ending(result);
    std::unique_ptr<DownloadJob> finished;
    {
        std::lock_guard lock(mutex_);
        finished = std::move(job_);
    }
    finished.reset();  // closes the link
    if (on_finished) {
        on_finished(outcome);
    }
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
