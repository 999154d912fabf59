// results: every result code the program can end with, what it means and what
// to do about it, from the one table the jobs explain their endings with. The
// guide's page of result codes is this command's --markdown output.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "base/results.h"
#include "cli/commands.h"

namespace velmora::cli {
namespace {

using velmora::JobStep;
using velmora::ResultEntry;
using velmora::ResultLink;

const char* LinkText(ResultLink link) {
    switch (link) {
        case ResultLink::kSerial:
            return "serial";
        case ResultLink::kUsb:
            return "USB";
        case ResultLink::kBoth:
            break;
    }
    return "both";
}

// A table cell: no line breaks, and '|' kept out of the cell's borders.
std::string Cell(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '|') {
            out += "\\|";
        } else if (c == '\n') {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

void PrintMarkdown() {
    std::printf(
        "# Result codes\n\n"
        "Every code a job can end with, by the step that ends with it. The same number can "
        "mean different things in different steps; the command line prints the step and "
        "the meaning under the error (`why:`) with the next step (`next:`), and `--json` "
        "carries them in the end event. Composed codes are a base plus the code of the "
        "step named in brackets.\n\n"
        "This page is generated: `velmora-cli results --markdown > docs/result-codes.md`.\n");
    std::optional<JobStep> step;
    for (const ResultEntry& e : ResultTable()) {
        if (e.step != step) {
            step = e.step;
            std::printf(
                "\n## %s\n\n| Code | Link | Name | Meaning | Next step |\n"
                "|---|---|---|---|---|\n",
                std::string(StepName(e.step)).c_str());
        }
        std::printf("| %s | %s | `%s` | %s | %s |\n", Cell(CodeText(e)).c_str(), LinkText(e.link),
                    std::string(e.name).c_str(), Cell(e.meaning).c_str(),
                    Cell(e.next_step).c_str());
    }
}

}  // namespace

int RunResults(const GlobalOptions& global, bool markdown) {
    if (markdown) {
        PrintMarkdown();
        return kExitOk;
    }
    nlohmann::json all = nlohmann::json::array();
    std::optional<JobStep> step;
    for (const ResultEntry& e : ResultTable()) {
        const std::string step_name(StepName(e.step));
        if (global.json) {
            all.push_back({{"step", step_name},
                           {"link", LinkText(e.link)},
                           {"code", CodeText(e)},
                           {"name", e.name},
                           {"meaning", e.meaning},
                           {"next_step", e.next_step}});
            continue;
        }
        if (e.step != step) {
            step = e.step;
            std::printf("%s%s:\n", step == ResultTable().front().step ? "" : "\n",
                        step_name.c_str());
        }
        std::printf(
            "  %s%s  %s: %s\n      next: %s\n", CodeText(e).c_str(),
            e.link == ResultLink::kBoth ? "" : (std::string(" (") + LinkText(e.link) + ")").c_str(),
            std::string(e.name).c_str(), std::string(e.meaning).c_str(),
            std::string(e.next_step).c_str());
    }
    if (global.json) {
        std::printf("%s\n", all.dump(2).c_str());
    }
    return kExitOk;
}

Command AddResultsCommand(CLI::App& app) {
    auto markdown = std::make_shared<bool>(false);
    auto* results = app.add_subcommand(
        "results", "list every result code: its step, name, meaning and the next step to take");
    results->add_flag("--markdown", *markdown, "as the guide's page of result codes (Markdown)");
    return {results,
            [markdown](const GlobalOptions& global) { return RunResults(global, *markdown); },
            true};
}

}  // namespace velmora::cli
