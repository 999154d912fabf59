#pragma once
// Turning an operator's request into one job on a worker thread, and Stop.
// Both front ends (window and CLI) use JobController the same way:
//   JobController jobs(&display);
//   jobs.on_notice = ...;    // read code: "读取代码文件存储为: <path>" before the job starts
//   jobs.on_finished = ...;  // the job's end, called on the worker thread
//   StartOutcome s = jobs.Start(request);  // refused: s.message / s.caption, no job
//   ... jobs.Stop();  jobs.Wait();
// or, for a caller that only waits for the end: RunOutcome r = jobs.Run(request);
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/events.h"
#include "base/job_timings.h"
#include "base/link_kind.h"
#include "base/reporter.h"
#include "job/download_job.h"
#include "job/link_registry.h"

namespace velmora {

struct JobRequest {
    WorkMode work_mode = WorkMode::kCodeUpgrade;
    WorkRange range;  // of the work mode's type; none: the first of its list
    uint32_t range_start = 0;
    uint32_t range_end = 0;
    bool debug = false;
    LinkKind link = LinkKind::kSerial;
    std::string port;        // serial: device path or COMn
    int baud_selection = 2;  // 0 = 115200, 1 = 460800, 2 = 921600
    std::string ptt_path;    // code upgrade: the partition table file (the target file)
    std::string home;        // the program's own folder, ending in '/'
    JobTimings timings;
    // A specified-area erase over block 0 or the EEROM and reservoir was
    // confirmed beforehand (the CLI's --yes).
    bool area_confirmed = false;
    // Asks the operator when the area was not confirmed beforehand (the window).
    AreaAsker ask_area;
    // Read: the folder for the files (empty: <home>/upload_nand/), and whether
    // files of an earlier read there may be replaced.
    std::string output_folder;
    bool overwrite = false;
    // Upgrade and erase: back up the EEROM and what the job will erase into this
    // folder first (empty: no backup). Backup: the folder. Restore: the
    // backup's folder.
    std::string backup_folder;
    // Upgrade and restore: read back every written block and compare.
    bool verify = false;
    // Read and backup: read every block twice and compare (a third read settles
    // a difference). Upgrade and erase: the EEROM of the backup before the
    // erase is read twice unless `read_once`.
    bool read_twice = false;
    bool read_once = false;
    // Health: a backup folder or an earlier health report to compare with.
    std::string since_path;
};

// Read: the folder a request's files go to, ending in '/'.
std::string ReadFolder(const JobRequest& request);
// Read: the files in `folder` that the request's read would replace (names
// only, sorted): upload.ptt, boot_nand.bin and parti_* for a read by the
// partition table, upload_eerom.bin or upload_range.bin for the others.
std::vector<std::string> EarlierReadFiles(const std::string& folder, const JobRequest& request);
// The refusal that names them.
std::string EarlierReadText(const std::string& folder, const std::vector<std::string>& names);
// Read: the file the request's read names as its own, in ReadFolder: upload.ptt
// for a read by the partition table, upload_eerom.bin or upload_range.bin.
std::string ReadFilePath(const JobRequest& request);

// Refusal texts of Start (caption in brackets).
inline constexpr const char* kRefuseFolder = "创建目录失败！";  // "Error"
inline constexpr const char* kRefuseNoPtt = "请选择PTT文件！";  // "错误"
inline constexpr const char* kRefuseOpenPtt = "不能打开PTT文件，请确认该文件是否存在！";  // "错误"
inline constexpr const char* kRefuseParsePtt = "解析PTT文件错误！";  // "错误"
inline constexpr const char* kReadNotice = "读取代码文件存储为: ";

struct StartOutcome {
    bool started = false;
    std::string message;   // refusal text, when not started
    std::string caption;   // refusal caption ("错误" or "Error")
    std::string job_file;  // the job's file: the .ptt, or the upload file of read code
    // A partition table that does not load may also bring the loader's own
    // message (e.g. which content file is too large); show it before `message`.
    std::string loader_message;
    std::string loader_title;
};

// How a job ended.
using JobOutcome = JobEnd;

// A job run by JobController::Run: refused (start.started false, start.message
// says why, no job ran), or started and ended with `end`.
struct RunOutcome {
    StartOutcome start;
    JobOutcome end;
};

// The files of a job, as Start finds them for its request.
struct JobFiles {
    std::string job_file;  // upgrade: the .ptt; read: the upload file; erase: none
    std::string folder;    // read: the upload folder; upgrade and erase: the table's
    JobPartitionTable table;
};

// The job `request` asks for, working on `files`, its events going to `display`
// (may be null). A debug job's log is opened in the home folder.
std::unique_ptr<DownloadJob> MakeJob(const JobRequest& request, JobFiles files, EventSink* display);

// 0 when `path` is a regular file that opens for reading, −1 otherwise (then
// `problem`, if given, names the path and the reason).
int CanOpenFile(const std::string& path, std::string* problem = nullptr);

// An upgrade's table as Start takes it, for one phone or a station: loaded, with
// a boot image that is not empty and at least one partition. The refusal otherwise.
std::optional<StartOutcome> LoadUpgradeTable(const std::string& ptt_path, JobPartitionTable& table);

// The job sequence a worker runs; replaceable for tests of the controller.
using JobRunner = std::function<int(DownloadJob&)>;

class JobController {
  public:
    // `display` may be null; it must outlive the controller.
    explicit JobController(EventSink* display);
    // Stops a running job and waits for its end.
    ~JobController();
    JobController(const JobController&) = delete;
    JobController& operator=(const JobController&) = delete;

    // Called on the caller's thread, before the job starts, with the notice of a
    // read-code job; the job starts once it returns.
    std::function<void(const std::string& text)> on_notice;
    // Called on the worker thread when the job has ended and been destroyed
    // (the port is closed by then), with the end its end event carried.
    std::function<void(const JobOutcome& outcome)> on_finished;
    // The sequence to run; RunJob unless a test replaces it.
    JobRunner runner = RunJob;

    // Checks the request, builds the job and starts its worker. Waits first for
    // the worker of an earlier job. A refused request starts nothing.
    StartOutcome Start(const JobRequest& request);

    // Start, then Wait: the job's end, or the refusal of its start. Stop and
    // RequestStop from another thread end it early as they end any job.
    RunOutcome Run(const JobRequest& request);

    // Sets the job's stop flags and wakes its waits; returns at once. No job: nothing.
    void Stop();
    // As Stop, and also kept for jobs that do not exist yet: every later Start
    // makes a job that ends stopped before it touches the phone. For a signal
    // that may come at any moment of a one-job program.
    void RequestStop();

    // Waits until the worker of the last job has ended.
    void Wait();

    // True from Start until the job has ended.
    bool Running() const;

  private:
    void Worker(DownloadJob* job);

    EventSink* display_;
    mutable std::mutex mutex_;
    std::unique_ptr<DownloadJob> job_;  // guarded by mutex_
    bool stop_requested_ = false;       // guarded by mutex_
    JobOutcome last_end_;               // guarded by mutex_
    std::thread thread_;
};

}  // namespace velmora
