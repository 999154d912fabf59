#pragma once
// How a job fails, as one value: its result code, the step it failed in, the
// code of a part that the step wrapped into its own, and the words for the
// operator. A job keeps one (JobBase::Fail sets it whole); its end explains it.
#include <optional>
#include <string>
#include <utility>

#include "base/results.h"

namespace velmora {

struct Outcome {
    int code = 0;  // the job's result; 0: no failure
    // The step it failed in; none: the step the job is in.
    std::optional<JobStep> step;
    // The code of a part the step wrapped (a block write behind a partition's
    // failure), shown beside the result.
    std::optional<int> inner;
    // What happened and what to do next, when the step knows them better than
    // the result table (a port's path and the system's reason); empty: the
    // table's meaning and next step.
    std::string reason;
    std::string next;
    std::string text;  // the error text shown at the job's end

    // A failure with `code` and `text`; what else it knows is added in a chain:
    // job.Fail(Outcome::Of(-2, text).Wrapping(r)).
    static Outcome Of(int code, std::string text) {
        Outcome o;
        o.code = code;
        o.text = std::move(text);
        return o;
    }
    Outcome&& In(JobStep failed_step) && {
        step = failed_step;
        return std::move(*this);
    }
    Outcome&& Wrapping(std::optional<int> inner_code) && {
        inner = inner_code;
        return std::move(*this);
    }
    Outcome&& Because(std::string why, std::string then) && {
        reason = std::move(why);
        next = std::move(then);
        return std::move(*this);
    }
};

}  // namespace velmora
