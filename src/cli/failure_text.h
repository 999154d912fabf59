#pragma once
// How the command line tells a failure: the step-qualified reference
// ("upgrade/partition-write 100"), what the code means there, the step's own
// reason and the next step, in the operator's language; and how it tells a
// request refused before any job ran.
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/events.h"
#include "base/results.h"

namespace velmora::cli {

struct GlobalOptions;

// The step a text names: its key (StepKey), its name, or either after "mode/"
// ("upgrade/partition-write"); none when no step has it.
std::optional<JobStep> StepNamed(std::string_view text);
// Every step's key, for suggestions.
std::vector<std::string> StepKeys();
// The step's name in the chosen language.
std::string StepText(JobStep step);

// The steps whose failures end a job with `code` of `step` (the download's 100
// for a partition write or the boot block, its 1 for a block erase).
std::vector<JobStep> WrappedSteps(JobStep step, int code);
// The step that failed: for a code that wraps another step's, the wrapped step
// whose code `result_name` names beside its own ("kWriteFailed,
// kBlockWriteBase + ..." is a partition write's); else `step`.
JobStep FailedStep(JobStep step, int result, std::string_view result_name);

// "upgrade/partition-write 100".
std::string Reference(std::string_view mode, JobStep step, int result);

// A failed job's end, told with its step.
struct Failure {
    std::string ref;      // the step-qualified reference; empty when the step is not known
    std::string name;     // the code's name (kWriteFailed, ...), as the library gives it
    std::string meaning;  // what the code means in that step
    std::string reason;   // the step's own words when it had them, else empty
    std::string next;     // what to do next
};

// `mode`: the command's work mode ("upgrade", "read", ...); `usb`: the link.
// None when the job did not fail (success, or stopped).
std::optional<Failure> FailureOf(const JobEnd& end, std::string_view mode, bool usb);

// "why: upgrade/partition-write 100 (kWriteFailed): ...", "reason: ...", "next: ...".
std::vector<std::string> FailureLines(const Failure& failure);

// The end event's fields of a failure: ref, meaning, reason, next_step.
void AddFailureFields(nlohmann::json& event, const Failure& failure);

// A request refused before any job ran.
struct Refusal {
    std::string text;     // in the chosen language
    std::string id;       // the catalogue id of the text, when it has one
    std::string reason;   // what the text only sums up (the table loader's words), or empty
    std::string meaning;  // what a refusal means
    std::string next;     // what to do about this one; empty: the general advice
};

// A refusal in the library's words (a job's Start, a link's port text).
Refusal RefusalOf(std::string_view library_text);
// A refusal in the CLI's own words; `next_id` names the advice (empty: the
// general one).
Refusal OwnRefusal(std::string_view id, std::initializer_list<std::string_view> args = {},
                   std::string_view next_id = {});

// Milliseconds since the program started: the "ms" of events that no job's
// display stamps.
int64_t ProgramMs();

// Tells the refusal (stderr, or a start event unless `started` and an end event
// under --json) and returns kExitRefused.
int Refuse(const GlobalOptions& global, const Refusal& refusal, bool started = false);

}  // namespace velmora::cli
