#include "job/station_log.h"

#include <sqlite3.h>

namespace velmora {
namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS jobs ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " started_ms INTEGER NOT NULL,"
    " slot INTEGER NOT NULL,"
    " port TEXT NOT NULL,"
    " ptt TEXT NOT NULL,"
    " ptt_sha256 TEXT NOT NULL,"
    " chip_id TEXT NOT NULL DEFAULT '',"
    " product_id TEXT NOT NULL DEFAULT '',"
    " result INTEGER,"  // NULL until the job's end: an interrupted job keeps it
    " result_text TEXT NOT NULL DEFAULT '',"
    " duration_ms INTEGER NOT NULL DEFAULT 0,"
    " bad_blocks INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX IF NOT EXISTS jobs_started ON jobs(started_ms);";

// A prepared statement, finalized with its scope.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return stmt_ != nullptr; }
    sqlite3_stmt* get() { return stmt_; }
    void Bind(int index, int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
    void Bind(int index, const std::string& text) {
        sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    std::string Text(int column) {
        const auto* text = sqlite3_column_text(stmt_, column);
        return text ? std::string(reinterpret_cast<const char*>(text),
                                  static_cast<size_t>(sqlite3_column_bytes(stmt_, column)))
                    : std::string();
    }

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace

std::string DefaultStationLogPath(const std::string& home) {
    std::string path = home;
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    return path + "station-log.sqlite";
}

StationLog::StationLog() = default;

StationLog::~StationLog() {
    sqlite3_close(db_);
}

bool StationLog::OpenWith(const std::string& path, int flags, std::string* error) {
    std::lock_guard lock(mutex_);
    sqlite3_close(db_);
    db_ = nullptr;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK) {
        if (error) {
            *error = "Cannot open the station log " + path + ": " +
                     (db ? sqlite3_errmsg(db) : "out of memory");
        }
        sqlite3_close(db);
        return false;
    }
    sqlite3_busy_timeout(db, 5000);
    db_ = db;
    return true;
}

bool StationLog::Open(const std::string& path, std::string* error) {
    if (!OpenWith(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error)) {
        return false;
    }
    std::lock_guard lock(mutex_);
    // WAL with full syncs: every opened and closed row is on the disk when the
    // statement returns, and a reader never blocks the slots.
    char* message = nullptr;
    const std::string sql =
        std::string("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;") + kSchema;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        if (error) {
            *error = "Cannot use the station log " + path + ": " +
                     (message ? message : sqlite3_errmsg(db_));
        }
        sqlite3_free(message);
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    return true;
}

bool StationLog::OpenForReading(const std::string& path, std::string* error) {
    // Read and write without creating: a reader of a WAL log may have to take
    // over the journal of a program that was killed.
    return OpenWith(path, SQLITE_OPEN_READWRITE, error);
}

int64_t StationLog::Begin(const StationRowStart& start) {
    std::lock_guard lock(mutex_);
    if (!db_) {
        return 0;
    }
    Statement s(db_,
                "INSERT INTO jobs (started_ms, slot, port, ptt, ptt_sha256) "
                "VALUES (CAST((julianday('now') - 2440587.5) * 86400000 AS INTEGER), ?, ?, ?, ?)");
    if (!s.ok()) {
        return 0;
    }
    s.Bind(1, start.slot);
    s.Bind(2, start.port);
    s.Bind(3, start.ptt);
    s.Bind(4, start.ptt_sha256);
    if (sqlite3_step(s.get()) != SQLITE_DONE) {
        return 0;
    }
    return sqlite3_last_insert_rowid(db_);
}

bool StationLog::Finish(int64_t id, const StationRowEnd& end) {
    std::lock_guard lock(mutex_);
    if (!db_ || id == 0) {
        return false;
    }
    Statement s(db_,
                "UPDATE jobs SET result = ?, result_text = ?, chip_id = ?, product_id = ?,"
                " port = CASE WHEN ? = '' THEN port ELSE ? END, duration_ms = ?, bad_blocks = ?"
                " WHERE id = ?");
    if (!s.ok()) {
        return false;
    }
    s.Bind(1, end.result);
    s.Bind(2, end.result_text);
    s.Bind(3, end.chip_id);
    s.Bind(4, end.product_id);
    s.Bind(5, end.port);
    s.Bind(6, end.port);
    s.Bind(7, end.duration_ms);
    s.Bind(8, end.bad_blocks);
    s.Bind(9, id);
    return sqlite3_step(s.get()) == SQLITE_DONE;
}

bool StationLog::NoteChip(int64_t id, const std::string& chip_id) {
    std::lock_guard lock(mutex_);
    if (!db_ || id == 0) {
        return false;
    }
    Statement s(db_, "UPDATE jobs SET chip_id = ? WHERE id = ?");
    if (!s.ok()) {
        return false;
    }
    s.Bind(1, chip_id);
    s.Bind(2, id);
    return sqlite3_step(s.get()) == SQLITE_DONE;
}

bool StationLog::Forget(int64_t id) {
    std::lock_guard lock(mutex_);
    if (!db_ || id == 0) {
        return false;
    }
    Statement s(db_, "DELETE FROM jobs WHERE id = ?");
    if (!s.ok()) {
        return false;
    }
    s.Bind(1, id);
    return sqlite3_step(s.get()) == SQLITE_DONE;
}

std::vector<StationRow> StationLog::Rows(int64_t since_ms, std::string* error) {
    std::lock_guard lock(mutex_);
    std::vector<StationRow> rows;
    if (!db_) {
        return rows;
    }
    Statement s(db_,
                "SELECT id, started_ms, slot, port, ptt, ptt_sha256, chip_id, product_id, result,"
                " result_text, duration_ms, bad_blocks FROM jobs WHERE started_ms >= ?"
                " ORDER BY started_ms, id");
    if (!s.ok()) {
        if (error) {
            *error = sqlite3_errmsg(db_);
        }
        return rows;
    }
    s.Bind(1, since_ms);
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        StationRow row;
        row.id = sqlite3_column_int64(s.get(), 0);
        row.started_ms = sqlite3_column_int64(s.get(), 1);
        row.slot = sqlite3_column_int(s.get(), 2);
        row.port = s.Text(3);
        row.ptt = s.Text(4);
        row.ptt_sha256 = s.Text(5);
        row.chip_id = s.Text(6);
        row.product_id = s.Text(7);
        if (sqlite3_column_type(s.get(), 8) != SQLITE_NULL) {
            row.result = sqlite3_column_int(s.get(), 8);
        }
        row.result_text = s.Text(9);
        row.duration_ms = sqlite3_column_int64(s.get(), 10);
        row.bad_blocks = sqlite3_column_int(s.get(), 11);
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE && error) {
        *error = sqlite3_errmsg(db_);
    }
    return rows;
}

std::string StationLog::error() const {
    std::lock_guard lock(mutex_);
    return db_ ? sqlite3_errmsg(db_) : "the station log is not open";
}

}  // namespace velmora
