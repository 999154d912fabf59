// log: the station log's rows, for people, as CSV or as JSON lines. A row that
// was opened and never closed belongs to a program that ended mid-job.
#include <CLI/CLI.hpp>

#include <sys/stat.h>

#include <charconv>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>

#include "base/text_format.h"
#include "cli/commands.h"
#include "station/station_log.h"

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

namespace {

// Tells on stderr about rows that wait in the log's side file.
void SayWaiting(const std::string& path, StationLog* log) {
    const PendingRows pending = ReadPendingRows(path);
    const std::string file = PendingRowsPath(path);
    if (!pending.error.empty()) {
        std::cerr << "velmora-cli: " << file << " cannot be read: " << pending.error << "\n";
        return;
    }
    std::set<std::string> rows;
    for (const StationRow& row : pending.rows)
        rows.insert(row.uuid);
    const int waiting = log ? log->CountWaiting(pending) : static_cast<int>(rows.size());
    if (waiting > 0) {
        std::cerr << "velmora-cli: " << waiting << " row(s) wait in " << file
                  << ": the station log could not take them when they were made. "
                     "`velmora-cli log --merge-pending` adds them.\n";
    }
    if (pending.unreadable > 0) {
        std::cerr << "velmora-cli: " << file << " holds " << pending.unreadable
                  << " line(s) that are not a row.\n";
    }
}

int MergePending(const std::string& path) {
    const std::string file = PendingRowsPath(path);
    struct stat info {};
    if (stat(file.c_str(), &info) != 0) {
        std::printf("No rows wait for the station log %s.\n", path.c_str());
        return kExitOk;
    }
    StationLog log;
    std::string error;
    if (!log.Open(path, &error)) {
        std::cerr << "velmora-cli: " << error << "\n";
        return kExitRefused;
    }
    const MergeOutcome merged = log.MergePending();
    if (!merged.ok) {
        std::cerr << "velmora-cli: the rows in " << file
                  << " still wait: the station log cannot take them (" << merged.error << ").\n";
        return kExitJobFailed;
    }
    std::printf("%d row(s) added to the station log %s from %s", merged.added, path.c_str(),
                file.c_str());
    if (merged.already > 0)
        std::printf(" (%d more were in it already)", merged.already);
    std::printf(".\n");
    if (merged.unreadable > 0)
        std::printf("%s keeps %d line(s) that are not a row.\n", file.c_str(), merged.unreadable);
    std::fflush(stdout);
    return kExitOk;
}

}  // namespace

int RunLog(const GlobalOptions& global, const LogOptions& options) {
    const std::string path = options.log.empty() ? DefaultStationLogPath(global.home) : options.log;
    if (options.merge_pending)
        return MergePending(path);
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
    std::optional<std::string> product;
    if (!options.product.empty()) {
        product = NormaliseProductId(options.product);
        if (!product) {
            std::cerr << "velmora-cli: --product takes a product ID as the boot ROM sends it "
                         "(52,20,00,01,07) or as ten digits (0701002052): "
                      << options.product << "\n";
            return kExitRefused;
        }
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        std::cerr << "velmora-cli: no station log at " << path << "\n";
        SayWaiting(path, nullptr);
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
            "result_text,duration_ms,bad_blocks,failed_blocks,uuid\n");
    }
    for (const StationRow& row : rows) {
        if (product && row.product_id != *product)
            continue;
        // Rows of the first format counted failed blocks among the bad ones.
        const std::string failed =
            row.failed_blocks ? std::to_string(*row.failed_blocks) : std::string();
        if (json) {
            Json j = {
                {"id", row.id},
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
                {"bad_blocks", row.bad_blocks},
                {"failed_blocks", row.failed_blocks ? Json(*row.failed_blocks) : Json(nullptr)},
                {"uuid", row.uuid}};
            std::printf("%s\n", j.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
        } else if (options.csv) {
            std::printf("%lld,%s,%d,%s,%s,%s,%s,%s,%s,%s,%s,%lld,%d,%s,%s\n",
                        static_cast<long long>(row.id), LocalTime(row.started_ms).c_str(), row.slot,
                        CsvField(row.port).c_str(), CsvField(row.chip_id).c_str(),
                        CsvField(row.product_id).c_str(), CsvField(row.ptt).c_str(),
                        row.ptt_sha256.c_str(), Outcome(row).c_str(),
                        row.result ? std::to_string(*row.result).c_str() : "",
                        CsvField(row.result_text).c_str(), static_cast<long long>(row.duration_ms),
                        row.bad_blocks, failed.c_str(), row.uuid.c_str());
        } else {
            std::string text = Outcome(row);
            if (row.result && *row.result != 0)
                text += Format(" %d: %s", *row.result, row.result_text.c_str());
            std::printf(
                "%s  slot %2d  %-16s  chip %-11s  product %-14s  %7.1f s  bad %3d  failed %3s  %s  "
                "%s (%.12s)\n",
                LocalTime(row.started_ms).c_str(), row.slot, row.port.c_str(),
                row.chip_id.empty() ? "-" : row.chip_id.c_str(),
                row.product_id.empty() ? "-" : row.product_id.c_str(),
                static_cast<double>(row.duration_ms) / 1000.0, row.bad_blocks,
                failed.empty() ? "-" : failed.c_str(), text.c_str(), row.ptt.c_str(),
                row.ptt_sha256.c_str());
        }
    }
    std::fflush(stdout);
    SayWaiting(path, &log);
    return kExitOk;
}

Command AddLogCommand(CLI::App& app) {
    auto options = std::make_shared<LogOptions>();
    auto* log = app.add_subcommand("log", "print the station log: one row per phone and job");
    auto* since = log->add_option(
        "--since", options->since,
        "rows from this time on: 2026-01-31, \"2026-01-31 14:05\", or an age: 30m, 12h, 7d");
    auto* product = log->add_option("--product", options->product,
                                    "only this phone product: 52,20,00,01,07 (as the boot "
                                    "ROM sends it) or 0701002052");
    auto* csv = log->add_flag("--csv", options->csv, "as CSV with a header line");
    auto* json = log->add_flag("--json", options->json, "one JSON object per row")->excludes(csv);
    log->add_option("--log", options->log, "the station log (default <home>/station-log.sqlite)");
    log->add_flag("--merge-pending", options->merge_pending,
                  "add the rows that wait beside the log (<log>.pending) to it")
        ->excludes(since)
        ->excludes(product)
        ->excludes(csv)
        ->excludes(json);
    return {log, [options](const GlobalOptions& global) { return RunLog(global, *options); }, true};
}

}  // namespace velmora::cli
