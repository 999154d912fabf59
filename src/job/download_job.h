#pragma once
// The context of one job: what the operator asked for, the link, the stop
// flags, the reporter and the NAND state that the operations share. Created by
// JobController::Start (or a test), run by one worker thread, destroyed at the
// job's end (which closes the link).
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/job_timings.h"
#include "base/link_kind.h"
#include "base/reporter.h"
#include "config/chip_catalogue.h"
#include "flash/nand_session.h"
#include "flash/partition_records.h"

namespace velmora {

enum class WorkMode : int {
    kCodeUpgrade = 0,  // "代码升级"
    kReadCode = 1,     // "读取代码"
    kErase = 2,        // "擦除"
    kBackup = 3,       // the EEROM (or everything) into a backup folder
    kRestore = 4,      // a backup folder back onto the phone
    kHealth = 5,       // the bad blocks, the reservoir, the record and the partitions
};

// The ranges each work mode offers, in the order of its range list (the
// window's list and the settings file keep the index).
enum class UpgradeRange : int {
    kAll = 0,   // "代码和文件系统"
    kCode = 1,  // "代码区域"
};
enum class ReadRange : int {
    kPartitionTable = 0,  // "依据分区表"
    kEerom = 1,           // "EEROM"
    kArea = 2,            // "指定区域"
};
enum class EraseRange : int {
    kFileSystem = 0,  // "文件系统"
    kArea = 1,        // "指定区域"
    kCode = 2,        // "代码区域"
    kAll = 3,         // "代码和文件系统"
    kEerom = 4,       // "EEROM"
};
// Backup and restore.
enum class BackupRange : int {
    kEerom = 0,  // the EEROM area with its spare bytes
    kAll = 1,    // also block 0, the record, every partition, the file system
};

// A job's range, of its work mode's type. None (health, or a request that left
// it unset) is the first of the mode's list.
using WorkRange = std::variant<std::monostate, UpgradeRange, ReadRange, EraseRange, BackupRange>;

// The range at `index` of `mode`'s list, as the front ends give it. An index
// past the list keeps its value: the job treats it as it always has (an erase
// fails, a read takes the area).
WorkRange RangeAt(WorkMode mode, int index);
// Whether `range` is of the type `mode` takes (none fits every mode).
bool RangeFits(WorkMode mode, const WorkRange& range);
// The range as `R`; the first of the list when it holds none (or another type).
template <class R>
R RangeAs(const WorkRange& range) {
    const R* held = std::get_if<R>(&range);
    return held != nullptr ? *held : R{};
}

// A specified-area erase over blocks whose loss the operator must agree to: the
// area as given, its blocks within the chip, and which guarded blocks it covers.
struct AreaQuestion {
    uint32_t start = 0;  // byte addresses
    uint32_t end = 0;
    int first = 0;  // blocks
    int last = 0;
    bool boot = false;     // block 0, the boot block
    int eerom_first = -1;  // the EEROM and reservoir blocks it covers; -1: none
    int eerom_last = -1;
};
// Puts the question to the operator and returns at once; `answer` (true: erase)
// may be called from any thread, also after the job has ended. The job waits
// for the answer or a Stop.
using AreaAsker =
    std::function<void(const AreaQuestion& question, std::function<void(bool)> answer)>;

// Baud-rate selections of the serial link.
inline constexpr int kBaudRates[3] = {115200, 460800, 921600};

// A job: the operator's request and, as a NAND session, the link and the chip
// the NAND operations work on.
class DownloadJob : public NandSession {
  public:
    // `display` may be null; it must outlive the job.
    DownloadJob(LinkKind link, EventSink* display, bool debug);
    ~DownloadJob();

    // --- the request, written before the worker starts -------------------------
    // (home: the program's own folder; folder: read: the upload folder; upgrade:
    // the table's folder; erase: the chosen table's or the home folder.)
    const LinkKind link_kind;
    WorkMode work_mode = WorkMode::kCodeUpgrade;
    WorkRange range;
    UpgradeRange upgrade_range() const { return RangeAs<UpgradeRange>(range); }
    ReadRange read_range() const { return RangeAs<ReadRange>(range); }
    EraseRange erase_range() const { return RangeAs<EraseRange>(range); }
    BackupRange backup_range() const { return RangeAs<BackupRange>(range); }
    uint32_t range_start = 0;  // specified area, byte addresses
    uint32_t range_end = 0;
    std::string job_file_path;  // upgrade: the .ptt; read: the upload file; erase: unused
    JobPartitionTable table;    // upgrade and erase: copy of the loaded partition table
    // A specified-area erase may reach block 0 and the EEROM and reservoir only
    // when the operator confirmed it (the CLI's --yes, or the window's question).
    bool area_confirmed = false;
    // Not confirmed beforehand: the operator is asked, when there is someone to ask.
    AreaAsker ask_area;
    // Upgrade and erase: back up what the job will erase (and the EEROM) into
    // this folder before the first erase; empty: no backup. Backup: its folder;
    // restore: the folder restored from.
    std::string backup_folder;
    // Upgrade and restore: read back every block written and compare.
    bool verify = false;
    // Upgrade and erase: the backup's EEROM is read once, not twice.
    bool read_once = false;
    // Health: a backup folder or an earlier report to compare with.
    std::string since_path;
    // Health: the report, as JSON text, for the job's end.
    std::string report;

    // Serial link: the port as the operator gave it (device path or COMn) and the
    // baud selection (0 = 115200, 1 = 460800, 2 = 921600). USB: the link text.
    std::string port;
    int baud_selection = 2;

    // What the job alone sets on its session.
    using JobBase::EnterStep;
    using JobBase::mutable_timings;
    using NandSession::AttachLoader;
    using NandSession::SetFolder;
    using NandSession::SetHome;
    using NandSession::SetReadTwice;
    using NandSession::TrackWrites;

    // Ends the job with `final_result`, once: its outcome explained as the job's
    // end, sent as the end event, then on a failure that a Stop did not cause the
    // error text and its step message; after a Stop, in which step it came. A
    // second call sends nothing and returns the first end.
    const JobEnd& End(int final_result);
    // The job's end, once End has run.
    const std::optional<JobEnd>& end() const { return end_; }

  private:
    std::optional<JobEnd> end_;
};

// The last status of a stopped job: "Stopped during the boot ROM handshake."
std::string StoppedText(JobStep step);

}  // namespace velmora
