#include "job/job_control.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "job/job_table.h"
#include "serial/serial_job.h"

namespace velmora {
namespace fs = std::filesystem;

int CanOpenFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return in.is_open() ? 0 : -1;
}

int RunJob(DownloadJob& job) {
    if (job.link_kind == LinkKind::kUsb) {
        job.error_text = "The USB link is not available yet";
        job.result.store(-1);
        job.reporter.MarkJobFailed();
        job.reporter.SetStatus(job.error_text);
        return -1;
    }
    return RunSerialJob(job);
}

JobController::JobController(JobDisplay* display) : display_(display) {}

JobController::~JobController() {
    Stop();
    Wait();
}

namespace {

StartOutcome Refuse(const char* message, const char* caption) {
    StartOutcome outcome;
    outcome.message = message;
    outcome.caption = caption;
    return outcome;
}

}  // namespace

StartOutcome JobController::Start(const JobRequest& request) {
    // The last job's worker ends first, so the display has one caller at a time.
    Wait();
    if (display_) {
        display_->OnBlockMapClear();
    }

    const std::string home = request.home;
    std::string job_file;
    std::string folder;
    JobPartitionTable table;
    switch (request.work_mode) {
        case WorkMode::kReadCode: {
            folder = home + "upload_nand/";
            std::error_code ec;
            if (!fs::is_directory(folder, ec)) {
                fs::create_directory(folder, ec);
                if (ec || !fs::is_directory(folder, ec)) {
                    return Refuse(kRefuseFolder, "Error");
                }
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
            // No file is needed; files of a debug job go to the program's folder.
            folder = home;
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
    job->port = request.port;
    job->baud_selection = request.baud_selection;
    job->reporter.SetProgress(0);
    if (request.debug) {
        job->reporter.OpenLog(home + "dl_log.txt");  // a log that cannot be made is not fatal
    }

    DownloadJob* running = job.get();
    {
        std::lock_guard lock(mutex_);
        job_ = std::move(job);
    }
    thread_ = std::thread(&JobController::Worker, this, running);

    StartOutcome outcome;
    outcome.started = true;
    outcome.job_file = job_file;
    return outcome;
}

void JobController::Worker(DownloadJob* job) {
    const int result = runner(*job);
    job->reporter.CloseLog();

    JobOutcome outcome;
    outcome.result = result;
    outcome.user_stopped = job->user_stop.load() != 0;
    outcome.error_text = job->error_text;
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
