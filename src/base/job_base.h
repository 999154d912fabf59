#pragma once
// What every step of a job shares, from the boot stage to the NAND operations:
// the stop flags, the time-outs, the reporter, the failure text and the notes
// for the operator.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/job_flags.h"
#include "base/job_timings.h"
#include "base/reporter.h"
#include "base/results.h"

namespace velmora {

class JobBase : public JobFlags {
  public:
    // `sink` may be null; it must outlive the job.
    JobBase(EventSink* sink, bool debug);
    JobBase(const JobBase&) = delete;
    JobBase& operator=(const JobBase&) = delete;

    const bool debug;
    JobTimings timings;
    Reporter reporter;
    std::string error_text;  // shown at the end of a failed job
    // What the operator should know about a job that succeeded (a bad block read
    // as it is, a Stop that came after the last write): shown at its end.
    std::vector<std::string> notes;
    void AddNote(const std::string& text);
    // Sets the result (when `code` is non-zero) and the error text.
    void Fail(int code, std::string text);

    // The step the job is in, and the code of a part that a failing step wrapped
    // into its own result (a block write behind a partition's failure): together
    // they explain the result at the job's end.
    JobStep step = JobStep::kOpenPort;
    std::optional<int> inner;
    // What happened and what to do next, when the step knows it better than the
    // result table does (a port's path and the system's reason): they replace the
    // table's meaning and next step at the job's end.
    std::string reason;
    std::string advice;

    // The five bytes the boot ROM gives as the phone's product ID, once read.
    std::optional<std::array<uint8_t, 5>> product_id;
};

}  // namespace velmora
