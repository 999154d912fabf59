#pragma once
// The station log: one SQLite row per phone and job, opened when the job
// starts and closed when it ends, so a program killed mid-job leaves a row
// that reads as interrupted. Written with WAL and full syncs: a row that was
// opened or closed is on the disk before the job goes on.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace velmora {

// <home>/station-log.sqlite
std::string DefaultStationLogPath(const std::string& home);

struct StationRow {
    int64_t id = 0;
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
    int bad_blocks = 0;

    bool interrupted() const { return !result.has_value(); }
};

// What a row's opening records.
struct StationRowStart {
    int slot = 0;
    std::string port;
    std::string ptt;
    std::string ptt_sha256;
};

// What a row's closing records.
struct StationRowEnd {
    int result = 0;
    std::string result_text;
    std::string chip_id;
    std::string product_id;
    std::string port;  // the USB bus path the job took, when known; empty: keep
    int64_t duration_ms = 0;
    int bad_blocks = 0;
};

class StationLog {
  public:
    StationLog();
    ~StationLog();
    StationLog(const StationLog&) = delete;
    StationLog& operator=(const StationLog&) = delete;

    // Opens (or makes) the log at `path`. False, with `error`, when it cannot.
    bool Open(const std::string& path, std::string* error);
    // Opens an existing log to read it (never makes one).
    bool OpenForReading(const std::string& path, std::string* error);
    bool is_open() const { return db_ != nullptr; }

    // A new row for a job that starts now: its id, or 0 when it could not be written.
    int64_t Begin(const StationRowStart& start);
    // The chip as soon as it answered, so that an interrupted row names it.
    bool NoteChip(int64_t id, const std::string& chip_id);
    // Closes the row. False when it could not be written.
    bool Finish(int64_t id, const StationRowEnd& end);
    // Removes a row that recorded no phone (a slot stopped while it waited).
    bool Forget(int64_t id);

    // Rows that started at or after `since_ms` (Unix milliseconds), oldest first.
    std::vector<StationRow> Rows(int64_t since_ms = 0, std::string* error = nullptr);

    // The last error SQLite reported.
    std::string error() const;

  private:
    bool OpenWith(const std::string& path, int flags, std::string* error);
    sqlite3* db_ = nullptr;
    mutable std::mutex mutex_;  // one statement at a time from the slots' threads
};

}  // namespace velmora
