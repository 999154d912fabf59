#pragma once
// The station log: one SQLite row per phone and job, opened when the job
// starts and closed when it ends, so a program killed mid-job leaves a row
// that reads as interrupted. Written with WAL and full syncs: a row that was
// opened or closed is on the disk before the job goes on.
//
// A row the log cannot take (a read-only file, another program holding its
// write lock) goes to a side file beside it, `<log>.pending`: one JSON object
// a line, appended and synced, so a crash can cut only the line being
// written. The next station start, or `velmora-cli log --merge-pending`, adds
// those rows to the log and only then takes them out of the side file. Every
// row carries an id made at the station, so a row added twice is one row.
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace velmora {

// The log's format, in `PRAGMA user_version`: 1 is the first (no version
// set, no row ids, bad_blocks also counting blocks that failed), 2 adds the
// row id and failed_blocks.
inline constexpr int kStationLogVersion = 2;

// <home>/station-log.sqlite
std::string DefaultStationLogPath(const std::string& home);
// The side file of a log: the rows that wait for it.
std::string PendingRowsPath(const std::string& log_path);

// A product ID in the boot ROM's order, "52,20,00,01,07", from that spelling
// or from the reversed run of digits other files use ("0701002052"), in
// either letter case. None when the text is neither.
std::optional<std::string> NormaliseProductId(const std::string& text);

// A new row id: a random UUID ("8-4-4-4-12" lower-case hexadecimal).
std::string NewRowId();

struct StationRow {
    std::string uuid;        // made at the station; empty in rows of the first format
    int64_t id = 0;          // the log's own row number (0 in the side file)
    int64_t started_ms = 0;  // Unix time in milliseconds
    int slot = 0;            // 1-based, as the operator counts
    std::string port;        // serial device or USB bus path (or link text)
    std::string ptt;         // the partition table's path
    std::string ptt_sha256;  // 64 hexadecimal digits
    std::string chip_id;     // "EC,A1,00,15"; empty when no chip answered
    std::string product_id;  // "52,20,05,01,00"; empty when unknown
    // Set when the row was closed; none: the program ended mid-job.
    std::optional<int> result;
    std::string result_text;  // "passed", the error text, "stopped"
    int64_t duration_ms = 0;
    // Blocks found bad (in rows of the first format also blocks that failed).
    int bad_blocks = 0;
    // Blocks whose erase, write or read failed; none in rows of the first format.
    std::optional<int> failed_blocks;

    bool interrupted() const { return !result.has_value(); }
};

// A row as the station made it: its fields, ready for the log or the side file.
StationRow NewStationRow(int slot, const std::string& port, const std::string& ptt,
                         const std::string& ptt_sha256);

// Where a row's closing went.
enum class RowSaved {
    kLog,      // in the log
    kPending,  // in the side file: the log could not take it
    kLost,     // neither could be written
};

// The rows waiting in a side file. Lines that are not a row (one cut short
// by a crash) are counted and kept.
struct PendingRows {
    bool exists = false;
    std::vector<StationRow> rows;  // in the order they were written
    int unreadable = 0;
    std::string error;  // the file exists but cannot be read
};
PendingRows ReadPendingRows(const std::string& log_path);

struct MergeOutcome {
    bool ok = true;
    int added = 0;       // rows the log did not hold (or held still open)
    int already = 0;     // rows the log held already
    int unreadable = 0;  // lines kept in the side file
    std::string error;   // why the rows still wait
};

class StationLog {
  public:
    StationLog();
    ~StationLog();
    StationLog(const StationLog&) = delete;
    StationLog& operator=(const StationLog&) = delete;

    // Opens (or makes) the log at `path` and brings an older format up to
    // this one. False, with `error`, when it cannot be opened or made, or
    // when a newer program wrote it. An existing log that cannot be written
    // now opens: its rows then go to the side file (`write_problem` says why).
    bool Open(const std::string& path, std::string* error);
    // Opens an existing log to read it (never makes one, nor changes its format).
    bool OpenForReading(const std::string& path, std::string* error);
    bool is_open() const { return db_ != nullptr; }
    const std::string& path() const { return path_; }
    std::string pending_path() const { return PendingRowsPath(path_); }
    // Why the log cannot take rows, as far as Open could tell; empty: it can.
    std::string write_problem() const;

    // A wait for another program's write lock ends early once `fd` is
    // readable (the station's stop): the row then goes to the side file.
    void SetCancelFd(int fd);

    // A new row for a job that starts now. Tried once, without waiting: a row
    // that is not in the log yet is written by NoteChip or Finish.
    void Begin(const StationRow& row);
    // The chip as soon as it answered, so that an interrupted row names it:
    // to the log without waiting (the job's worker calls it), else the side file.
    RowSaved NoteChip(const StationRow& row);
    // Closes the row (`row.result` set). `error` says why it is not in the log.
    RowSaved Finish(const StationRow& row, std::string* error);
    // Removes a row that recorded no phone (a slot stopped while it waited).
    bool Forget(const StationRow& row);

    // Rows that started at or after `since_ms` (Unix milliseconds), oldest first.
    std::vector<StationRow> Rows(int64_t since_ms = 0, std::string* error = nullptr);
    // The side file's rows the log does not hold as they are there.
    int CountWaiting(const PendingRows& pending);
    // Adds the side file's rows to the log, then takes them out of the file.
    MergeOutcome MergePending();

    int version() const { return version_; }
    // The last error SQLite reported.
    std::string error() const;

  private:
    enum class Stored { kAdded, kAlready, kFailed };
    bool OpenWith(const std::string& path, int flags, std::string* error);
    bool ReadVersion(std::string* error);
    bool Upgrade(std::string* error);
    Stored Store(const StationRow& row);
    bool Exec(const char* sql);
    RowSaved Keep(const StationRow& row, const std::string& why, std::string* error);
    // Writes the row, waiting up to `wait_ms` for another program's lock; else Keep.
    RowSaved Save(const StationRow& row, int wait_ms, std::string* error);
    static int BusyWait(void* self, int count);

    sqlite3* db_ = nullptr;
    std::string path_;
    int version_ = 0;
    std::string write_problem_;
    int cancel_fd_ = -1;
    int busy_ms_ = 0;  // how long the current statement may wait for a lock
    std::chrono::steady_clock::time_point busy_since_;
    mutable std::mutex mutex_;  // one statement at a time from the slots' threads
};

}  // namespace velmora
