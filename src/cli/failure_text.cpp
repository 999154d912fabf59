#include "cli/failure_text.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <iostream>

#include "cli/cli_texts.h"
#include "cli/commands.h"

namespace velmora::cli {
namespace {

using Json = nlohmann::json;

std::string Slug(std::string_view text) {
    std::string out;
    bool dash = false;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\'') {
            continue;  // "phone's" is one word
        }
        if (std::isalnum(u) != 0) {
            if (dash && !out.empty()) {
                out += '-';
            }
            dash = false;
            out += static_cast<char>(std::tolower(u));
        } else {
            dash = true;
        }
    }
    return out;
}

std::string Dump(const Json& j) {
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The advice for a refusal in the library's words, by the id of its text.
std::string_view NextOfRefusal(std::string_view id) {
    static constexpr std::pair<std::string_view, std::string_view> kNext[] = {
        {"error.no_ptt", "cli.next.no_ptt"},
        {"error.open_ptt", "cli.next.open_ptt"},
        {"error.parse_ptt", "cli.next.parse_ptt"},
        {"error.create_folder", "cli.next.create_folder"},
    };
    for (const auto& [text, next] : kNext) {
        if (text == id) {
            return next;
        }
    }
    return {};
}

}  // namespace

std::vector<std::string> StepKeys() {
    std::vector<std::string> keys;
    for (int s = 0; s <= static_cast<int>(kLastJobStep); ++s) {
        keys.push_back(StepKey(static_cast<JobStep>(s)));
    }
    return keys;
}

std::optional<JobStep> StepNamed(std::string_view text) {
    if (const size_t slash = text.rfind('/'); slash != std::string_view::npos) {
        text.remove_prefix(slash + 1);
    }
    const std::string key = Slug(text);
    for (int s = 0; s <= static_cast<int>(kLastJobStep); ++s) {
        if (StepKey(static_cast<JobStep>(s)) == key) {
            return static_cast<JobStep>(s);
        }
    }
    return std::nullopt;
}

std::string StepText(JobStep step) {
    return Show(StepName(step));
}

std::vector<JobStep> WrappedSteps(JobStep step, int code) {
    std::vector<JobStep> steps;
    for (const ResultEntry& e : ResultTable()) {
        if (e.step != step || e.form != ResultForm::kPlain || e.code != code) {
            continue;
        }
        for (const std::optional<JobStep>& wrapped : e.wraps) {
            if (wrapped && std::find(steps.begin(), steps.end(), *wrapped) == steps.end()) {
                steps.push_back(*wrapped);
            }
        }
    }
    return steps;
}

JobStep FailedStep(JobStep step, int result, std::string_view result_name) {
    const std::vector<JobStep> wrapped = WrappedSteps(step, result);
    const size_t comma = result_name.find(", ");
    if (wrapped.empty() || comma == std::string_view::npos) {
        return step;
    }
    std::string_view inner = result_name.substr(comma + 2);
    inner = inner.substr(0, inner.find(" + "));
    for (const JobStep candidate : wrapped) {
        for (const ResultEntry& e : ResultTable()) {
            if (e.step == candidate && e.name == inner) {
                return candidate;
            }
        }
    }
    return step;
}

std::string Reference(std::string_view mode, JobStep step, int result) {
    return std::string(mode) + "/" + StepKey(step) + " " + std::to_string(result);
}

std::optional<Failure> FailureOf(const JobEnd& end, std::string_view mode, bool usb) {
    if (end.result == 0 || end.user_stopped || end.result_name.empty()) {
        return std::nullopt;
    }
    Failure failure;
    failure.name = end.result_name;
    std::string table_meaning;
    if (const std::optional<JobStep> step = StepNamed(end.step)) {
        failure.ref = Reference(mode, FailedStep(*step, end.result, end.result_name), end.result);
        table_meaning = ExplainResult(*step, usb, end.result).meaning;
    } else if (!end.step.empty()) {
        failure.ref = std::string(mode) + "/" + Slug(end.step) + " " + std::to_string(end.result);
    }
    // The end's meaning is the table's (with the wrapped code's, when there was
    // one) unless the step knew the cause better: then both are told.
    const bool own_reason =
        !table_meaning.empty() && !end.meaning.empty() && end.meaning.rfind(table_meaning, 0) != 0;
    failure.meaning = Show(own_reason ? table_meaning : end.meaning);
    if (own_reason) {
        failure.reason = Show(end.meaning);
    }
    failure.next = Show(end.next_step);
    return failure;
}

std::vector<std::string> FailureLines(const Failure& failure) {
    std::vector<std::string> lines;
    lines.push_back(failure.ref.empty()
                        ? Say("cli.line.why", {failure.meaning})
                        : Say("cli.line.why_ref", {failure.ref, failure.name, failure.meaning}));
    if (!failure.reason.empty()) {
        lines.push_back(Say("cli.line.reason", {failure.reason}));
    }
    if (!failure.next.empty()) {
        lines.push_back(Say("cli.line.next", {failure.next}));
    }
    return lines;
}

void AddFailureFields(Json& event, const Failure& failure) {
    event["ref"] = failure.ref;
    event["meaning"] = failure.meaning;
    if (!failure.reason.empty()) {
        event["reason"] = failure.reason;
    }
    event["next_step"] = failure.next;
}

Refusal RefusalOf(std::string_view library_text) {
    const text::Shown shown = ShowWithId(library_text);
    Refusal refusal;
    refusal.text = shown.text;
    refusal.id = shown.id;
    refusal.meaning = Say("cli.refused.meaning");
    const std::string_view next = NextOfRefusal(shown.id);
    refusal.next = next.empty() ? std::string() : Say(next);
    return refusal;
}

Refusal OwnRefusal(std::string_view id, std::initializer_list<std::string_view> args,
                   std::string_view next_id) {
    Refusal refusal;
    refusal.text = Say(id, args);
    refusal.id = std::string(id);
    refusal.meaning = Say("cli.refused.meaning");
    refusal.next = next_id.empty() ? std::string() : Say(next_id);
    return refusal;
}

int Refuse(const GlobalOptions& global, const std::string& library_text) {
    return Refuse(global, RefusalOf(library_text));
}

int64_t ProgramMs() {
    static const auto started = std::chrono::steady_clock::now();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 started)
        .count();
}

int Refuse(const GlobalOptions& global, const Refusal& refusal, bool started) {
    if (global.json) {
        if (!started) {
            std::printf(
                "%s\n",
                Dump({{"event", "start"}, {"schema", kJsonSchema}, {"ms", ProgramMs()}}).c_str());
        }
        Json end = {{"event", "end"},
                    {"result", kExitRefused},
                    {"refused", true},
                    {"stopped", false},
                    {"error", refusal.text},
                    {"meaning", refusal.meaning},
                    {"next_step", refusal.next.empty() ? Say("cli.next.refused") : refusal.next}};
        if (!refusal.id.empty()) {
            end["error_id"] = refusal.id;
        }
        if (!refusal.reason.empty()) {
            end["reason"] = refusal.reason;
        }
        end["ms"] = ProgramMs();
        std::printf("%s\n", Dump(end).c_str());
        std::fflush(stdout);
    } else {
        if (!refusal.reason.empty()) {
            std::cerr << "velmora-cli: " << refusal.reason << "\n";
        }
        std::cerr << "velmora-cli: " << refusal.text << "\n";
        if (!refusal.next.empty()) {
            std::cerr << Say("cli.line.next", {refusal.next}) << "\n";
        }
    }
    return kExitRefused;
}

}  // namespace velmora::cli
