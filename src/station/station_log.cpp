#include "station/station_log.h"

#include <fcntl.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>

#include "base/text_format.h"

namespace velmora {
namespace {

using Json = nlohmann::json;

// The first format, as the first station wrote it; later formats add to it.
constexpr const char* kSchemaV1 =
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

// Rows of the first format keep failed_blocks NULL: their bad_blocks counted
// both, and nothing tells the two apart any more.
constexpr const char* kUpgradeToV2 =
    "ALTER TABLE jobs ADD COLUMN uuid TEXT;"
    "ALTER TABLE jobs ADD COLUMN failed_blocks INTEGER;"
    "CREATE UNIQUE INDEX IF NOT EXISTS jobs_uuid ON jobs(uuid);"
    "PRAGMA user_version = 2;";

// How long a write waits for another program's lock: not at all long while a
// job runs on the same thread, a little longer for a row's closing.
constexpr int kQuickWaitMs = 250;
constexpr int kCloseWaitMs = 2000;
constexpr int kBusyStepMs = 25;

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
    void Bind(int index, const std::optional<int>& value) {
        if (value) {
            sqlite3_bind_int64(stmt_, index, *value);
        } else {
            sqlite3_bind_null(stmt_, index);
        }
    }
    std::string Text(int column) {
        const auto* text = sqlite3_column_text(stmt_, column);
        return text ? std::string(reinterpret_cast<const char*>(text),
                                  static_cast<size_t>(sqlite3_column_bytes(stmt_, column)))
                    : std::string();
    }
    std::optional<int> OptionalInt(int column) {
        if (sqlite3_column_type(stmt_, column) == SQLITE_NULL) {
            return std::nullopt;
        }
        return sqlite3_column_int(stmt_, column);
    }

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

std::string Errno() {
    return std::strerror(errno);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Makes a new or removed name in `path`'s folder survive a power cut.
void SyncFolder(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    Fd fd(open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) {
        fsync(fd.get());
    }
}

bool SameFile(int fd, const std::string& path, struct stat* by_fd = nullptr) {
    struct stat a {};
    struct stat b {};
    if (fstat(fd, &a) != 0 || lstat(path.c_str(), &b) != 0) {
        return false;
    }
    if (by_fd) {
        *by_fd = a;
    }
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Appends one line to the side file and syncs it. A merge may have replaced
// or removed the file while this waited for its lock: then the new one is
// taken.
bool AppendPendingLine(const std::string& path, const std::string& line, std::string* error) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        Fd fd(open(path.c_str(),
                   O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
        if (fd.get() < 0) {
            *error = Errno();
            return false;
        }
        while (flock(fd.get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                *error = Errno();
                return false;
            }
        }
        struct stat st {};
        if (!SameFile(fd.get(), path, &st)) {
            continue;
        }
        if (!S_ISREG(st.st_mode)) {
            *error = "not a regular file";
            return false;
        }
        std::string bytes;
        char last = '\n';
        // A line cut short by a crash stays a line of its own.
        if (st.st_size > 0 && pread(fd.get(), &last, 1, st.st_size - 1) == 1 && last != '\n') {
            bytes = "\n";
        }
        bytes += line;
        bytes += '\n';
        if (!WriteAll(fd.get(), bytes) || fsync(fd.get()) != 0) {
            *error = Errno();
            return false;
        }
        if (st.st_size == 0) {
            SyncFolder(path);
        }
        return true;
    }
    *error = "the file keeps being replaced";
    return false;
}

std::string PendingLine(const StationRow& row) {
    Json j = {{"uuid", row.uuid},
              {"started_ms", row.started_ms},
              {"slot", row.slot},
              {"port", row.port},
              {"ptt", row.ptt},
              {"ptt_sha256", row.ptt_sha256},
              {"chip_id", row.chip_id},
              {"product_id", row.product_id},
              {"result", row.result ? Json(*row.result) : Json(nullptr)},
              {"result_text", row.result_text},
              {"duration_ms", row.duration_ms},
              {"bad_blocks", row.bad_blocks},
              {"failed_blocks", row.failed_blocks ? Json(*row.failed_blocks) : Json(nullptr)}};
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool GetText(const Json& j, const char* key, std::string& out, bool required) {
    const auto it = j.find(key);
    if (it == j.end()) {
        return !required;
    }
    if (!it->is_string()) {
        return false;
    }
    out = it->get<std::string>();
    return true;
}

template <typename T>
bool GetNumber(const Json& j, const char* key, T& out, bool required) {
    const auto it = j.find(key);
    if (it == j.end()) {
        return !required;
    }
    if (!it->is_number_integer()) {
        return false;
    }
    const auto value = it->get<int64_t>();
    if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max() ||
        (it->is_number_unsigned() && it->get<uint64_t>() > INT64_MAX)) {
        return false;
    }
    out = static_cast<T>(value);
    return true;
}

bool GetOptionalInt(const Json& j, const char* key, std::optional<int>& out) {
    const auto it = j.find(key);
    if (it == j.end() || it->is_null()) {
        out.reset();
        return true;
    }
    int value = 0;
    if (!GetNumber(j, key, value, true)) {
        return false;
    }
    out = value;
    return true;
}

std::optional<StationRow> ParsePendingLine(const std::string& line) {
    const Json j = Json::parse(line, nullptr, false);
    if (!j.is_object()) {
        return std::nullopt;
    }
    StationRow row;
    const bool ok = GetText(j, "uuid", row.uuid, true) && !row.uuid.empty() &&
                    GetNumber(j, "started_ms", row.started_ms, true) &&
                    GetNumber(j, "slot", row.slot, true) && GetText(j, "port", row.port, true) &&
                    GetText(j, "ptt", row.ptt, true) &&
                    GetText(j, "ptt_sha256", row.ptt_sha256, true) &&
                    GetText(j, "chip_id", row.chip_id, false) &&
                    GetText(j, "product_id", row.product_id, false) &&
                    GetOptionalInt(j, "result", row.result) &&
                    GetText(j, "result_text", row.result_text, false) &&
                    GetNumber(j, "duration_ms", row.duration_ms, false) &&
                    GetNumber(j, "bad_blocks", row.bad_blocks, false) &&
                    GetOptionalInt(j, "failed_blocks", row.failed_blocks);
    if (!ok) {
        return std::nullopt;
    }
    if (const auto product = NormaliseProductId(row.product_id)) {
        row.product_id = *product;
    }
    return row;
}

std::string NewerText(int version) {
    return Format(
        "a newer velmora wrote it (format %d; this one knows formats up to %d). Use "
        "that velmora with this log, or give this one another log.",
        version, kStationLogVersion);
}

// The side file's lines: rows, and the text of lines that are none.
struct ParsedPending {
    std::vector<StationRow> rows;
    std::vector<std::string> unreadable;
};

ParsedPending ParsePending(const std::string& bytes) {
    ParsedPending parsed;
    size_t begin = 0;
    while (begin < bytes.size()) {
        size_t end = bytes.find('\n', begin);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        const std::string line = bytes.substr(begin, end - begin);
        begin = end + 1;
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        if (auto row = ParsePendingLine(line)) {
            parsed.rows.push_back(std::move(*row));
        } else {
            parsed.unreadable.push_back(line);
        }
    }
    return parsed;
}

// The side file's bytes, read while no row is being appended. False when it
// exists and cannot be read; `exists` false when there is none.
bool ReadPendingBytes(const std::string& path, std::string& bytes, bool& exists, std::string* error,
                      ino_t* inode = nullptr) {
    exists = false;
    // Never blocked by a FIFO planted at the name: only a regular file is read.
    Fd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT) {
            return true;
        }
        *error = Errno();
        return false;
    }
    exists = true;
    while (flock(fd.get(), LOCK_SH) != 0) {
        if (errno != EINTR) {
            *error = Errno();
            return false;
        }
    }
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = "not a regular file";
        return false;
    }
    if (inode) {
        *inode = st.st_ino;
    }
    bytes.clear();
    char buffer[16384];
    for (;;) {
        const ssize_t n = read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            *error = Errno();
            return false;
        }
        if (n == 0) {
            return true;
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
}

// Takes the first `merged` bytes out of the side file, keeping `kept` lines in
// their place, once the rows they held are in the log. Left alone when the
// file is no longer the one that was read (another merge came first).
void RemoveMerged(const std::string& path, ino_t inode, const std::string& merged,
                  const std::vector<std::string>& kept) {
    Fd fd(open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        return;
    }
    while (flock(fd.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            return;
        }
    }
    struct stat st {};
    if (!SameFile(fd.get(), path, &st) || !S_ISREG(st.st_mode) || st.st_ino != inode ||
        st.st_size < static_cast<off_t>(merged.size())) {
        return;
    }
    std::string now(static_cast<size_t>(st.st_size), '\0');
    if (pread(fd.get(), now.data(), now.size(), 0) != static_cast<ssize_t>(now.size()) ||
        now.compare(0, merged.size(), merged) != 0) {
        return;
    }
    std::string rest;
    for (const std::string& line : kept) {
        rest += line + "\n";
    }
    rest += now.substr(merged.size());  // rows a running station added since
    if (rest.find_first_not_of("\n") == std::string::npos) {
        if (unlink(path.c_str()) == 0) {
            SyncFolder(path);
        }
        return;
    }
    const std::string staged = path + ".new";
    Fd out(open(staged.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (out.get() < 0 || !WriteAll(out.get(), rest) || fsync(out.get()) != 0 ||
        rename(staged.c_str(), path.c_str()) != 0) {
        unlink(staged.c_str());
        return;
    }
    SyncFolder(path);
}

}  // namespace

std::string DefaultStationLogPath(const std::string& home) {
    std::string path = home;
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    return path + "station-log.sqlite";
}

std::string PendingRowsPath(const std::string& log_path) {
    return log_path + ".pending";
}

std::optional<std::string> NormaliseProductId(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::nullopt;
    }
    const std::string t = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    std::array<int, 5> bytes{};
    const auto pair = [&](size_t at) { return HexDigit(t[at]) * 16 + HexDigit(t[at + 1]); };
    const auto digits = [&](size_t at) { return HexDigit(t[at]) >= 0 && HexDigit(t[at + 1]) >= 0; };
    if (t.size() == 14) {
        for (size_t i = 0; i < 5; ++i) {
            if (!digits(3 * i) || (i < 4 && t[3 * i + 2] != ',')) {
                return std::nullopt;
            }
            bytes[i] = pair(3 * i);
        }
    } else if (t.size() == 10) {
        // The other files' spelling starts with the last byte the boot ROM sends.
        for (size_t i = 0; i < 5; ++i) {
            if (!digits(2 * i)) {
                return std::nullopt;
            }
            bytes[4 - i] = pair(2 * i);
        }
    } else {
        return std::nullopt;
    }
    return Format("%02X,%02X,%02X,%02X,%02X", bytes[0], bytes[1], bytes[2], bytes[3], bytes[4]);
}

std::string NewRowId() {
    std::array<uint8_t, 16> bytes{};
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = getrandom(bytes.data() + got, bytes.size() - got, 0);
        if (n > 0) {
            got += static_cast<size_t>(n);
        } else if (errno != EINTR) {
            break;
        }
    }
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4: random
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        text += Format("%02x", bytes[i]);
    }
    return text;
}

StationRow NewStationRow(int slot, const std::string& port, const std::string& ptt,
                         const std::string& ptt_sha256) {
    StationRow row;
    row.uuid = NewRowId();
    row.started_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    row.slot = slot;
    row.port = port;
    row.ptt = ptt;
    row.ptt_sha256 = ptt_sha256;
    return row;
}

PendingRows ReadPendingRows(const std::string& log_path) {
    PendingRows out;
    std::string bytes;
    if (!ReadPendingBytes(PendingRowsPath(log_path), bytes, out.exists, &out.error)) {
        return out;
    }
    ParsedPending parsed = ParsePending(bytes);
    out.rows = std::move(parsed.rows);
    out.unreadable = static_cast<int>(parsed.unreadable.size());
    return out;
}

StationLog::StationLog() = default;

StationLog::~StationLog() {
    sqlite3_close(db_);
}

int StationLog::BusyWait(void* self, int count) {
    auto* log = static_cast<StationLog*>(self);
    const auto now = std::chrono::steady_clock::now();
    if (count == 0) {
        log->busy_since_ = now;
    }
    const auto left =
        log->busy_ms_ -
        std::chrono::duration_cast<std::chrono::milliseconds>(now - log->busy_since_).count();
    if (left <= 0) {
        return 0;
    }
    pollfd fd{log->cancel_fd_, POLLIN, 0};
    const int rc = poll(&fd, log->cancel_fd_ >= 0 ? 1 : 0,
                        static_cast<int>(std::min<int64_t>(left, kBusyStepMs)));
    return rc > 0 ? 0 : 1;
}

bool StationLog::OpenWith(const std::string& path, int flags, std::string* error) {
    std::lock_guard lock(mutex_);
    sqlite3_close(db_);
    db_ = nullptr;
    version_ = 0;
    write_problem_.clear();
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK) {
        if (error) {
            *error = "Cannot open the station log " + path + ": " +
                     (db ? sqlite3_errmsg(db) : "out of memory");
        }
        sqlite3_close(db);
        return false;
    }
    sqlite3_busy_handler(db, &StationLog::BusyWait, this);
    busy_ms_ = kCloseWaitMs;
    db_ = db;
    path_ = path;
    return true;
}

bool StationLog::Exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool StationLog::ReadVersion(std::string* error) {
    int user_version = 0;
    {
        Statement s(db_, "PRAGMA user_version");
        if (!s.ok() || sqlite3_step(s.get()) != SQLITE_ROW) {
            *error = sqlite3_errmsg(db_);
            return false;
        }
        user_version = sqlite3_column_int(s.get(), 0);
    }
    if (user_version != 0) {
        version_ = user_version;
        return true;
    }
    // The first format set no version: a log with its table is one of those.
    Statement s(db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'jobs'");
    if (!s.ok()) {
        *error = sqlite3_errmsg(db_);
        return false;
    }
    const int rc = sqlite3_step(s.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        *error = sqlite3_errmsg(db_);
        return false;
    }
    version_ = rc == SQLITE_ROW ? 1 : 0;
    return true;
}

bool StationLog::Upgrade(std::string* error) {
    if (version_ >= kStationLogVersion) {
        return true;
    }
    if (!Exec("BEGIN IMMEDIATE")) {
        *error = sqlite3_errmsg(db_);
        return false;
    }
    // Another program may have brought it up to date meanwhile.
    std::string why;
    bool ok = ReadVersion(&why);
    if (ok && version_ > kStationLogVersion) {
        why = NewerText(version_);
        ok = false;
    }
    if (ok && version_ == 0) {
        ok = Exec(kSchemaV1);
        version_ = 1;
    }
    if (ok && version_ == 1) {
        ok = Exec(kUpgradeToV2);
    }
    if (ok && Exec("COMMIT")) {
        version_ = kStationLogVersion;
        return true;
    }
    *error = why.empty() ? sqlite3_errmsg(db_) : why;
    Exec("ROLLBACK");
    ReadVersion(&why);
    return false;
}

bool StationLog::Open(const std::string& path, std::string* error) {
    if (!OpenWith(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error)) {
        return false;
    }
    std::lock_guard lock(mutex_);
    const auto fail = [&](const std::string& why) {
        if (error) {
            *error = "Cannot use the station log " + path + ": " + why;
        }
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    };
    // WAL with full syncs: every opened and closed row is on the disk when the
    // statement returns, and a reader never blocks the slots. A log that
    // cannot be written keeps its journal as it is.
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=FULL");
    std::string why;
    if (!ReadVersion(&why)) {
        return fail(why);
    }
    if (version_ > kStationLogVersion) {
        return fail(NewerText(version_));
    }
    const bool made_now = version_ == 0;
    if (!Upgrade(&why)) {
        if (made_now) {
            return fail(why);
        }
        write_problem_ = "it cannot be brought up to this version's format: " + why;
    } else if (sqlite3_db_readonly(db_, "main") == 1) {
        write_problem_ = "the file is read-only";
    }
    return true;
}

bool StationLog::OpenForReading(const std::string& path, std::string* error) {
    // Read and write without creating: a reader of a WAL log may have to take
    // over the journal of a program that was killed.
    if (!OpenWith(path, SQLITE_OPEN_READWRITE, error)) {
        return false;
    }
    std::lock_guard lock(mutex_);
    std::string why;
    if (!ReadVersion(&why) || version_ > kStationLogVersion) {
        if (error) {
            *error = "Cannot read the station log " + path + ": " +
                     (version_ > kStationLogVersion ? NewerText(version_) : why);
        }
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    return true;
}

std::string StationLog::write_problem() const {
    std::lock_guard lock(mutex_);
    return write_problem_;
}

void StationLog::SetCancelFd(int fd) {
    std::lock_guard lock(mutex_);
    cancel_fd_ = fd;
}

StationLog::Stored StationLog::Store(const StationRow& row) {
    // The caller holds a write transaction.
    std::optional<bool> closed;  // none: the log does not hold the row
    {
        Statement s(db_, "SELECT result IS NOT NULL, chip_id FROM jobs WHERE uuid = ?");
        if (!s.ok()) {
            return Stored::kFailed;
        }
        s.Bind(1, row.uuid);
        const int rc = sqlite3_step(s.get());
        if (rc == SQLITE_ROW) {
            closed = sqlite3_column_int(s.get(), 0) != 0;
            if (!*closed && !row.result && (row.chip_id.empty() || s.Text(1) == row.chip_id)) {
                return Stored::kAlready;
            }
        } else if (rc != SQLITE_DONE) {
            return Stored::kFailed;
        }
    }
    if (closed.value_or(false)) {
        return Stored::kAlready;  // a closed row is final
    }
    Statement s(db_, closed ? "UPDATE jobs SET started_ms = ?1, slot = ?2, port = ?3, ptt = ?4,"
                              " ptt_sha256 = ?5, chip_id = ?6, product_id = ?7, result = ?8,"
                              " result_text = ?9, duration_ms = ?10, bad_blocks = ?11,"
                              " failed_blocks = ?12 WHERE uuid = ?13"
                            : "INSERT INTO jobs (started_ms, slot, port, ptt, ptt_sha256, chip_id,"
                              " product_id, result, result_text, duration_ms, bad_blocks,"
                              " failed_blocks, uuid) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9,"
                              " ?10, ?11, ?12, ?13)");
    if (!s.ok()) {
        return Stored::kFailed;
    }
    s.Bind(1, row.started_ms);
    s.Bind(2, row.slot);
    s.Bind(3, row.port);
    s.Bind(4, row.ptt);
    s.Bind(5, row.ptt_sha256);
    s.Bind(6, row.chip_id);
    s.Bind(7, row.product_id);
    s.Bind(8, row.result);
    s.Bind(9, row.result_text);
    s.Bind(10, row.duration_ms);
    s.Bind(11, row.bad_blocks);
    s.Bind(12, row.failed_blocks);
    s.Bind(13, row.uuid);
    return sqlite3_step(s.get()) == SQLITE_DONE ? Stored::kAdded : Stored::kFailed;
}

RowSaved StationLog::Keep(const StationRow& row, const std::string& why, std::string* error) {
    const std::string pending = PendingRowsPath(path_);
    std::string problem;
    if (AppendPendingLine(pending, PendingLine(row), &problem)) {
        if (error) {
            *error = "not in the station log (" + why + "); the row waits in " + pending;
        }
        return RowSaved::kPending;
    }
    if (error) {
        *error = "not in the station log (" + why + "), and " + pending + " cannot be written (" +
                 problem + "): the row is lost";
    }
    return RowSaved::kLost;
}

namespace {

// Runs `store` in a write transaction; the error text when it failed.
template <typename F>
std::optional<std::string> InTransaction(sqlite3* db, F store) {
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return std::string(sqlite3_errmsg(db));
    }
    if (store() && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) {
        return std::nullopt;
    }
    std::string why = sqlite3_errmsg(db);
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return why;
}

}  // namespace

void StationLog::Begin(const StationRow& row) {
    std::lock_guard lock(mutex_);
    if (!db_ || version_ < kStationLogVersion) {
        return;
    }
    busy_ms_ = kQuickWaitMs;
    InTransaction(db_, [&] { return Store(row) != Stored::kFailed; });
}

RowSaved StationLog::NoteChip(const StationRow& row) {
    return Save(row, kQuickWaitMs, nullptr);
}

RowSaved StationLog::Finish(const StationRow& row, std::string* error) {
    return Save(row, kCloseWaitMs, error);
}

RowSaved StationLog::Save(const StationRow& row, int wait_ms, std::string* error) {
    std::lock_guard lock(mutex_);
    busy_ms_ = wait_ms;
    std::string why = "the station log is not open";
    if (db_ && (version_ >= kStationLogVersion || Upgrade(&why))) {
        const auto failed = InTransaction(db_, [&] { return Store(row) != Stored::kFailed; });
        if (!failed) {
            return RowSaved::kLog;
        }
        why = *failed;
    }
    return Keep(row, why, error);
}

bool StationLog::Forget(const StationRow& row) {
    std::lock_guard lock(mutex_);
    if (!db_ || version_ < kStationLogVersion) {
        return false;
    }
    busy_ms_ = kQuickWaitMs;
    Statement s(db_, "DELETE FROM jobs WHERE uuid = ? AND result IS NULL");
    if (!s.ok()) {
        return false;
    }
    s.Bind(1, row.uuid);
    return sqlite3_step(s.get()) == SQLITE_DONE;
}

std::vector<StationRow> StationLog::Rows(int64_t since_ms, std::string* error) {
    std::lock_guard lock(mutex_);
    std::vector<StationRow> rows;
    if (!db_) {
        return rows;
    }
    busy_ms_ = kCloseWaitMs;
    // A log of the first format has neither row ids nor failed_blocks.
    const std::string sql =
        std::string(
            "SELECT id, started_ms, slot, port, ptt, ptt_sha256, chip_id, product_id, result,"
            " result_text, duration_ms, bad_blocks, ") +
        (version_ >= 2 ? "uuid, failed_blocks" : "NULL, NULL") +
        " FROM jobs WHERE started_ms >= ? ORDER BY started_ms, id";
    Statement s(db_, sql.c_str());
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
        if (const auto product = NormaliseProductId(row.product_id)) {
            row.product_id = *product;
        }
        row.result = s.OptionalInt(8);
        row.result_text = s.Text(9);
        row.duration_ms = sqlite3_column_int64(s.get(), 10);
        row.bad_blocks = sqlite3_column_int(s.get(), 11);
        row.uuid = s.Text(12);
        row.failed_blocks = s.OptionalInt(13);
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE && error) {
        *error = sqlite3_errmsg(db_);
    }
    return rows;
}

int StationLog::CountWaiting(const PendingRows& pending) {
    // The furthest state the side file holds of each row.
    std::map<std::string, bool> closed;
    for (const StationRow& row : pending.rows) {
        closed[row.uuid] = closed[row.uuid] || row.result.has_value();
    }
    std::lock_guard lock(mutex_);
    if (!db_ || version_ < 2) {
        return static_cast<int>(closed.size());
    }
    int waiting = 0;
    for (const auto& [uuid, is_closed] : closed) {
        Statement s(db_, "SELECT result IS NOT NULL FROM jobs WHERE uuid = ?");
        if (!s.ok()) {
            return static_cast<int>(closed.size());
        }
        s.Bind(1, uuid);
        const bool held = sqlite3_step(s.get()) == SQLITE_ROW;
        if (!held || (is_closed && sqlite3_column_int(s.get(), 0) == 0)) {
            ++waiting;
        }
    }
    return waiting;
}

MergeOutcome StationLog::MergePending() {
    std::lock_guard lock(mutex_);
    MergeOutcome out;
    const std::string path = PendingRowsPath(path_);
    std::string bytes;
    bool exists = false;
    ino_t inode = 0;
    std::string why;
    if (!ReadPendingBytes(path, bytes, exists, &why, &inode)) {
        out.ok = false;
        out.error = path + " cannot be read: " + why;
        return out;
    }
    if (!exists) {
        return out;
    }
    const ParsedPending parsed = ParsePending(bytes);
    out.unreadable = static_cast<int>(parsed.unreadable.size());
    busy_ms_ = kCloseWaitMs;
    if (!parsed.rows.empty()) {
        if (!db_) {
            out.ok = false;
            out.error = "the station log is not open";
            return out;
        }
        if (!Upgrade(&why)) {
            out.ok = false;
            out.error = why;
            return out;
        }
        // A row's opening and closing may both wait: it counts once.
        std::map<std::string, bool> added;
        const auto failed = InTransaction(db_, [&] {
            for (const StationRow& row : parsed.rows) {
                const Stored stored = Store(row);
                if (stored == Stored::kFailed) {
                    return false;
                }
                added[row.uuid] = added[row.uuid] || stored == Stored::kAdded;
            }
            return true;
        });
        if (failed) {
            out.ok = false;
            out.error = *failed;
            return out;
        }
        for (const auto& [uuid, was_added] : added) {
            ++(was_added ? out.added : out.already);
        }
    }
    // Only now that the log holds them.
    RemoveMerged(path, inode, bytes, parsed.unreadable);
    return out;
}

std::string StationLog::error() const {
    std::lock_guard lock(mutex_);
    return db_ ? sqlite3_errmsg(db_) : "the station log is not open";
}

}  // namespace velmora
