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
#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/help_text.h"
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
        std::cerr << "velmora-cli: "
                  << Say("cli.log.pending_unreadable", {file, Show(pending.error)}) << "\n";
        return;
    }
    std::set<std::string> rows;
    for (const StationRow& row : pending.rows)
        rows.insert(row.uuid);
    const int waiting = log ? log->CountWaiting(pending) : static_cast<int>(rows.size());
    if (waiting > 0) {
        std::cerr << "velmora-cli: " << Say("cli.log.rows_wait", {std::to_string(waiting), file})
                  << "\n";
    }
    if (pending.unreadable > 0) {
        std::cerr << "velmora-cli: "
                  << Say("cli.log.not_rows", {file, std::to_string(pending.unreadable)}) << "\n";
    }
}

int MergePending(const std::string& path) {
    const std::string file = PendingRowsPath(path);
    struct stat info {};
    if (stat(file.c_str(), &info) != 0) {
        std::printf("%s\n", Say("cli.log.none_wait", {path}).c_str());
        return kExitOk;
    }
    StationLog log;
    std::string error;
    if (!log.Open(path, &error)) {
        std::cerr << "velmora-cli: " << Show(error) << "\n";
        return kExitRefused;
    }
    const MergeOutcome merged = log.MergePending();
    if (!merged.ok) {
        std::cerr << "velmora-cli: " << Say("cli.log.still_wait", {file, Show(merged.error)})
                  << "\n";
        return kExitJobFailed;
    }
    const std::string added = std::to_string(merged.added);
    std::printf("%s\n",
                (merged.already > 0 ? Say("cli.log.added_already",
                                          {added, path, file, std::to_string(merged.already)})
                                    : Say("cli.log.added", {added, path, file}))
                    .c_str());
    if (merged.unreadable > 0)
        std::printf(
            "%s\n",
            Say("cli.log.keeps_not_rows", {file, std::to_string(merged.unreadable)}).c_str());
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
            std::cerr << "velmora-cli: " << Say("cli.log.bad_since", {options.since}) << "\n";
            return kExitRefused;
        }
        since = *parsed;
    }
    std::optional<std::string> product;
    if (!options.product.empty()) {
        product = NormaliseProductId(options.product);
        if (!product) {
            std::cerr << "velmora-cli: " << Say("cli.log.bad_product", {options.product}) << "\n";
            return kExitRefused;
        }
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        std::cerr << "velmora-cli: " << Say("cli.log.missing", {path}) << "\n";
        SayWaiting(path, nullptr);
        return kExitRefused;
    }
    if (!S_ISREG(info.st_mode)) {
        std::cerr << "velmora-cli: " << Say("cli.log.not_regular", {path}) << "\n";
        return kExitRefused;
    }
    StationLog log;
    std::string error;
    if (!log.OpenForReading(path, &error)) {
        std::cerr << "velmora-cli: " << Show(error) << "\n";
        return kExitRefused;
    }
    const std::vector<StationRow> rows = log.Rows(since, &error);
    if (!error.empty()) {
        std::cerr << "velmora-cli: " << Say("cli.log.read_error", {path, Show(error)}) << "\n";
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
            std::string text = Say("cli.log.outcome." + Outcome(row));
            if (row.result && *row.result != 0)
                text += Format(" %d: ", *row.result) + Show(row.result_text);
            const std::string line =
                Say("cli.log.row",
                    {LocalTime(row.started_ms), Format("%2d", row.slot),
                     Format("%-16s", row.port.c_str()),
                     Format("%-11s", row.chip_id.empty() ? "-" : row.chip_id.c_str()),
                     Format("%-14s", row.product_id.empty() ? "-" : row.product_id.c_str()),
                     Format("%7.1f", static_cast<double>(row.duration_ms) / 1000.0),
                     Format("%3d", row.bad_blocks),
                     Format("%3s", failed.empty() ? "-" : failed.c_str()), text, row.ptt,
                     row.ptt_sha256.substr(0, 12)});
            std::printf("%s\n", line.c_str());
        }
    }
    std::fflush(stdout);
    SayWaiting(path, &log);
    return kExitOk;
}

Command AddLogCommand(CLI::App& app) {
    auto options = std::make_shared<LogOptions>();
    auto* log = app.add_subcommand("log", Say("cli.help.log"));
    auto* since = log->add_option("--since", options->since, Say("cli.help.log.since"));
    auto* product = log->add_option("--product", options->product, Say("cli.help.log.product"));
    auto* csv = log->add_flag("--csv", options->csv, Say("cli.help.log.csv"));
    auto* json = log->add_flag("--json", options->json, Say("cli.help.log.json"))->excludes(csv);
    log->add_option("--log", options->log, Say("cli.help.station_log"));
    log->footer(Examples("cli.help.examples.log"));
    log->add_flag("--merge-pending", options->merge_pending, Say("cli.help.log.merge"))
        ->excludes(since)
        ->excludes(product)
        ->excludes(csv)
        ->excludes(json);
    return {log, [options](const GlobalOptions& global) { return RunLog(global, *options); }, true};
}

}  // namespace velmora::cli
