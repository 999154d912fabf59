// log: the station log's rows, for people, as CSV or as JSON lines. A row that
// was opened and never closed belongs to a program that ended mid-job.
#include <sys/stat.h>

#include <charconv>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "base/text_format.h"
#include "cli/commands.h"
#include "job/station_log.h"

namespace velmora::cli {
namespace {

using Json = nlohmann::json;

std::string LocalTime(int64_t unix_ms) {
    const std::time_t seconds = static_cast<std::time_t>(unix_ms / 1000);
    std::tm tm{};
    localtime_r(&seconds, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

std::string Outcome(const StationRow& row) {
    if (row.interrupted())
        return "interrupted";
    if (*row.result == 0)
        return "passed";
    return row.result_text == "stopped" ? "stopped" : "failed";
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

}  // namespace

int RunLog(const GlobalOptions& global, const LogOptions& options) {
    const std::string path = options.log.empty() ? DefaultStationLogPath(global.home) : options.log;
    int64_t since = 0;
    if (!options.since.empty()) {
        const auto parsed =
            ParseSince(options.since, static_cast<int64_t>(std::time(nullptr)) * 1000);
        if (!parsed) {
            std::cerr << "velmora-cli: --since takes a date (2026-01-31), a date and time "
                         "(2026-01-31 14:05) or an age (30m, 12h, 7d): "
                      << options.since << "\n";
            return kExitRefused;
        }
        since = *parsed;
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        std::cerr << "velmora-cli: no station log at " << path << "\n";
        return kExitRefused;
    }
    if (!S_ISREG(info.st_mode)) {
        std::cerr << "velmora-cli: the station log " << path << " is not a regular file\n";
        return kExitRefused;
    }
    StationLog log;
    std::string error;
    if (!log.OpenForReading(path, &error)) {
        std::cerr << "velmora-cli: " << error << "\n";
        return kExitRefused;
    }
    const std::vector<StationRow> rows = log.Rows(since, &error);
    if (!error.empty()) {
        std::cerr << "velmora-cli: the station log " << path << ": " << error << "\n";
        return kExitRefused;
    }
    const bool json = options.json || global.json;
    if (options.csv) {
        std::printf(
            "id,time,slot,port,chip_id,product_id,ptt,ptt_sha256,outcome,result,"
            "result_text,duration_ms,bad_blocks\n");
    }
    for (const StationRow& row : rows) {
        if (json) {
            Json j = {{"id", row.id},
                      {"time", LocalTime(row.started_ms)},
                      {"started_ms", row.started_ms},
                      {"slot", row.slot},
                      {"port", row.port},
                      {"chip_id", row.chip_id},
                      {"product_id", row.product_id},
                      {"ptt", row.ptt},
                      {"ptt_sha256", row.ptt_sha256},
                      {"outcome", Outcome(row)},
                      {"interrupted", row.interrupted()},
                      {"result", row.result ? Json(*row.result) : Json(nullptr)},
                      {"result_text", row.result_text},
                      {"duration_ms", row.duration_ms},
                      {"bad_blocks", row.bad_blocks}};
            std::printf("%s\n", j.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
        } else if (options.csv) {
            std::printf("%lld,%s,%d,%s,%s,%s,%s,%s,%s,%s,%s,%lld,%d\n",
                        static_cast<long long>(row.id), LocalTime(row.started_ms).c_str(), row.slot,
                        CsvField(row.port).c_str(), CsvField(row.chip_id).c_str(),
                        CsvField(row.product_id).c_str(), CsvField(row.ptt).c_str(),
                        row.ptt_sha256.c_str(), Outcome(row).c_str(),
                        row.result ? std::to_string(*row.result).c_str() : "",
                        CsvField(row.result_text).c_str(), static_cast<long long>(row.duration_ms),
                        row.bad_blocks);
        } else {
            std::string text = Outcome(row);
            if (row.result && *row.result != 0)
                text += Format(" %d: %s", *row.result, row.result_text.c_str());
            std::printf(
                "%s  slot %2d  %-16s  chip %-11s  product %-14s  %7.1f s  bad %3d  %s  "
                "%s (%.12s)\n",
                LocalTime(row.started_ms).c_str(), row.slot, row.port.c_str(),
                row.chip_id.empty() ? "-" : row.chip_id.c_str(),
                row.product_id.empty() ? "-" : row.product_id.c_str(),
                static_cast<double>(row.duration_ms) / 1000.0, row.bad_blocks, text.c_str(),
                row.ptt.c_str(), row.ptt_sha256.c_str());
        }
    }
    std::fflush(stdout);
    return kExitOk;
}

}  // namespace velmora::cli
