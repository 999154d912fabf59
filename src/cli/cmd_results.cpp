// results: every result code the program can end with, what it means and what
// to do about it, from the one table the jobs explain their endings with; or
// one code: what it means in one step, or in every step that has it. The
// guide's page of result codes is this command's --markdown output.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "base/results.h"
#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/did_you_mean.h"
#include "cli/failure_text.h"
#include "cli/help_text.h"

namespace velmora::cli {
namespace {

using velmora::JobStep;
using velmora::ResultEntry;
using velmora::ResultLink;
using Json = nlohmann::json;

// The link as JSON and the guide's page name it.
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

std::string LinkWords(ResultLink link) {
    switch (link) {
        case ResultLink::kSerial:
            return Say("cli.word.serial");
        case ResultLink::kUsb:
            return Say("cli.word.usb");
        case ResultLink::kBoth:
            break;
    }
    return Say("cli.word.both_links");
}

// The code as the list shows it, in the chosen language.
std::string LocalCodeText(const ResultEntry& e) {
    const std::string base = e.code == 0 ? "" : std::to_string(e.code) + " + ";
    switch (e.form) {
        case ResultForm::kPlain:
            break;
        case ResultForm::kAddCode:
            return Say("cli.results.code_plus_code", {base, StepText(e.part_step)});
        case ResultForm::kAddIndex:
            return Say("cli.results.code_plus_index",
                       {base, std::to_string(e.first), std::to_string(e.last)});
    }
    return std::to_string(e.code);
}

std::string Dump(const Json& j, int indent = -1) {
    return j.dump(indent, ' ', false, Json::error_handler_t::replace);
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

// The guide's page stays in the words the table is written in: it is checked
// against docs/result-codes.md, which is English.
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

int PrintTable(const GlobalOptions& global) {
    Json all = Json::array();
    std::optional<JobStep> step;
    for (const ResultEntry& e : ResultTable()) {
        if (global.json) {
            all.push_back({{"step", StepName(e.step)},
                           {"step_id", StepKey(e.step)},
                           {"link", LinkText(e.link)},
                           {"code", CodeText(e)},
                           {"name", e.name},
                           {"meaning", Show(e.meaning)},
                           {"next_step", Show(e.next_step)}});
            continue;
        }
        if (e.step != step) {
            step = e.step;
            std::printf("%s%s (%s):\n", step == ResultTable().front().step ? "" : "\n",
                        StepText(e.step).c_str(), StepKey(e.step).c_str());
        }
        const std::string link =
            e.link == ResultLink::kBoth ? "" : Say("cli.results.link_only", {LinkWords(e.link)});
        std::printf("  %s%s  %s: %s\n      %s\n", LocalCodeText(e).c_str(), link.c_str(),
                    std::string(e.name).c_str(), Show(e.meaning).c_str(),
                    Say("cli.line.next", {Show(e.next_step)}).c_str());
    }
    if (global.json) {
        std::printf("%s\n", Dump(all, 2).c_str());
    }
    return kExitOk;
}

// What one code means in one step, on one link or on both alike.
struct Meaning {
    JobStep step;  // the step whose code it is
    ResultLink link;
    ResultExplanation explained;
    JobStep told = step;  // the step a failure's reference names
};

std::vector<Meaning> MeaningsOf(int code, std::optional<JobStep> only) {
    std::vector<Meaning> found;
    for (int s = 0; s <= static_cast<int>(kLastJobStep); ++s) {
        const auto step = static_cast<JobStep>(s);
        // A step's failure may end the job with the code of the step that called it
        // (a partition write's with the download's 100): that is its meaning too.
        const std::vector<JobStep> wraps = WrappedSteps(step, code);
        const bool wraps_only = only && std::find(wraps.begin(), wraps.end(), *only) != wraps.end();
        if (only && step != *only && !wraps_only) {
            continue;
        }
        const ResultExplanation serial = ExplainResult(step, false, code);
        const ResultExplanation usb = ExplainResult(step, true, code);
        const JobStep told = only ? *only : step;
        if (serial.known && usb.known && serial.name == usb.name && serial.meaning == usb.meaning &&
            serial.next_step == usb.next_step) {
            found.push_back({step, ResultLink::kBoth, serial, told});
            continue;
        }
        if (serial.known) {
            found.push_back({step, ResultLink::kSerial, serial, told});
        }
        if (usb.known) {
            found.push_back({step, ResultLink::kUsb, usb, told});
        }
    }
    // The step asked for first, then those that wrap it.
    std::stable_sort(found.begin(), found.end(), [](const Meaning& a, const Meaning& b) {
        return (a.step == a.told) > (b.step == b.told);
    });
    return found;
}

int LookUp(const GlobalOptions& global, const std::string& code_text,
           const std::string& step_text) {
    int code = 0;
    const char* end = code_text.data() + code_text.size();
    if (const auto [at, error] = std::from_chars(code_text.data(), end, code);
        error != std::errc() || at != end) {
        return Refuse(global,
                      OwnRefusal("cli.refuse.results_code", {code_text}, "cli.next.results"));
    }
    std::optional<JobStep> step;
    if (!step_text.empty()) {
        step = StepNamed(step_text);
        if (!step) {
            std::string text = Say("cli.refuse.unknown_step", {step_text});
            if (const auto near = Nearest(step_text, StepKeys()); !near.empty()) {
                text += Say("cli.refuse.did_you_mean", {Alternatives(near)});
            }
            Refusal refusal =
                OwnRefusal("cli.refuse.unknown_step", {step_text}, "cli.next.results");
            refusal.text = text;
            return Refuse(global, refusal);
        }
    }
    const std::vector<Meaning> found = MeaningsOf(code, step);
    if (global.json) {
        Json all = Json::array();
        for (const Meaning& m : found) {
            all.push_back({{"step", StepName(m.step)},
                           {"step_id", StepKey(m.step)},
                           {"link", LinkText(m.link)},
                           {"code", code},
                           {"told_as", StepKey(m.told)},
                           {"name", m.explained.name},
                           {"meaning", Show(m.explained.meaning)},
                           {"next_step", Show(m.explained.next_step)}});
        }
        std::printf("%s\n", Dump(all, 2).c_str());
        return found.empty() ? kExitJobFailed : kExitOk;
    }
    if (found.empty()) {
        std::printf("%s\n", (step ? Say("cli.results.not_in_step", {code_text, StepKey(*step)})
                                  : Say("cli.results.unknown_code", {code_text}))
                                .c_str());
        return kExitJobFailed;
    }
    if (!step && found.size() > 1) {
        std::printf("%s\n",
                    Say("cli.results.meanings", {code_text, std::to_string(found.size())}).c_str());
    }
    for (const Meaning& m : found) {
        const std::string link =
            m.link == ResultLink::kBoth ? "" : Say("cli.results.link_only", {LinkWords(m.link)});
        std::printf("%s %s  %s%s  (%s)\n    %s\n", StepKey(m.told).c_str(), code_text.c_str(),
                    m.explained.name.c_str(), link.c_str(), StepText(m.step).c_str(),
                    Show(m.explained.meaning).c_str());
        if (const std::vector<JobStep> wraps = WrappedSteps(m.step, code);
            !wraps.empty() && m.told == m.step) {
            std::vector<std::string> keys;
            for (const JobStep w : wraps)
                keys.push_back(StepKey(w));
            std::printf("    %s\n", Say("cli.results.wraps", {Alternatives(keys)}).c_str());
        }
        std::printf("    %s\n", Say("cli.line.next", {Show(m.explained.next_step)}).c_str());
    }
    return kExitOk;
}

struct ResultsOptions {
    bool markdown = false;
    std::string code;
    std::string step;
};

}  // namespace

int RunResults(const GlobalOptions& global, bool markdown) {
    if (markdown) {
        PrintMarkdown();
        return kExitOk;
    }
    return PrintTable(global);
}

Command AddResultsCommand(CLI::App& app) {
    auto options = std::make_shared<ResultsOptions>();
    auto* results = app.add_subcommand("results", Say("cli.help.results"));
    results->add_option("CODE", options->code, Say("cli.help.results.code"));
    results->add_option("--step", options->step, Say("cli.help.results.step"))->type_name("STEP");
    results->add_flag("--markdown", options->markdown, Say("cli.help.results.markdown"));
    results->footer(Examples("cli.help.examples.results"));
    return {results,
            [options](const GlobalOptions& global) {
                if (!options->code.empty() && !options->markdown)
                    return LookUp(global, options->code, options->step);
                if (!options->step.empty())
                    return Refuse(global,
                                  OwnRefusal("cli.refuse.step_needs_code", {}, "cli.next.results"));
                return RunResults(global, options->markdown);
            },
            true};
}

}  // namespace velmora::cli
