// The station log's rows as `velmora-cli log` reads them back: every column of a
// row holding a value of any SQLite type (NULL, integer, real, text, blob), as a
// log edited by hand or by another program may. The input is a list of (column,
// type, length, bytes) items.
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>

#include "station/station_log.h"
#include "temp_folder.h"

namespace {

constexpr const char* kColumns[] = {"started_ms",  "slot",        "port",       "ptt",
                                    "ptt_sha256",  "chip_id",     "product_id", "result",
                                    "result_text", "duration_ms", "bad_blocks"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TempFolder temp;
    static const std::string path = temp.path() + "station-log.sqlite";
    static velmora::StationLog writer;
    static sqlite3* db = nullptr;
    if (!db) {
        std::string error;
        if (!writer.Open(path, &error) || sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
            __builtin_trap();
        }
    }
    sqlite3_exec(db, "DELETE FROM jobs", nullptr, nullptr, nullptr);
    writer.Begin(velmora::NewStationRow(1, "/dev/ttyUSB0", "fw.ptt", std::string(64, 'a')));
    int64_t id = 0;
    {
        sqlite3_stmt* last = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT max(id) FROM jobs", -1, &last, nullptr) != SQLITE_OK ||
            sqlite3_step(last) != SQLITE_ROW) {
            __builtin_trap();
        }
        id = sqlite3_column_int64(last, 0);
        sqlite3_finalize(last);
    }
    while (size >= 3) {
        const char* column = kColumns[data[0] % std::size(kColumns)];
        const int type = data[1] % 5;
        const size_t length = std::min<size_t>(data[2], size - 3);
        const uint8_t* bytes = data + 3;
        data += 3 + length;
        size -= 3 + length;
        sqlite3_stmt* stmt = nullptr;
        const std::string sql = std::string("UPDATE jobs SET ") + column + " = ? WHERE id = ?";
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            __builtin_trap();
        }
        int64_t number = 0;
        std::memcpy(&number, bytes, std::min(length, sizeof number));
        switch (type) {
            case 0:
                sqlite3_bind_null(stmt, 1);
                break;
            case 1:
                sqlite3_bind_int64(stmt, 1, number);
                break;
            case 2:
                sqlite3_bind_double(stmt, 1, static_cast<double>(number) / 3.0);
                break;
            case 3:
                sqlite3_bind_text(stmt, 1, reinterpret_cast<const char*>(bytes),
                                  static_cast<int>(length), SQLITE_TRANSIENT);
                break;
            default:
                sqlite3_bind_blob(stmt, 1, bytes, static_cast<int>(length), SQLITE_TRANSIENT);
                break;
        }
        sqlite3_bind_int64(stmt, 2, id);
        sqlite3_step(stmt);  // a NOT NULL column refuses a NULL: the row keeps its value
        sqlite3_finalize(stmt);
    }
    velmora::StationLog reader;
    std::string error;
    if (!reader.OpenForReading(path, &error)) {
        __builtin_trap();
    }
    for (const velmora::StationRow& row : reader.Rows(0, &error)) {
        if (row.id != id || row.interrupted() != !row.result.has_value()) {
            __builtin_trap();
        }
    }
    return 0;
}
