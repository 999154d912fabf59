#pragma once
// What every step of a job shares, from the boot stage to the NAND operations:
// the stop state, the time-outs, the reporter, the job's outcome and the notes
// for the operator.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/job_flags.h"
#include "base/job_timings.h"
#include "base/outcome.h"
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
    // The time-outs, fixed by the job before it runs.
    const JobTimings& timings() const { return timings_; }
    Reporter reporter;
    // What the operator should know about a job that succeeded (a bad block read
    // as it is, a Stop that came after the last write): shown at its end.
    const std::vector<std::string>& notes() const { return notes_; }
    void AddNote(const std::string& text);

    // The step the job is in: a failure without a step of its own, and a Stop,
    // are told in it.
    JobStep step() const { return step_; }

    // What the last failed attempt of a step said, left by the operation that
    // failed for the caller that fails the job: its words, and where it knows
    // them the code it wrapped, the cause and the next step (a retry that passes
    // clears the words). No failure of the job by itself: its code stays 0.
    Outcome attempt;

    // Fails the job with `outcome`, which replaces any earlier one whole (its
    // step, when given, becomes the job's step), and ends every wait of the job
    // at once. Safe from any thread. Returns the outcome's code.
    int Fail(Outcome outcome);
    // Ends the job with `code` (0: nothing): unless the job has failed with it
    // already, a failure that is what the last failed attempt said.
    int FailWith(int code);
    // The job's failure, if any (code 0: none).
    Outcome outcome() const;
    // The job's result so far: the failure's code; else 1 once stopped, unless
    // the stop came too late to cut anything (StopCutNothing).
    int result() const;
    // A Stop that came while the last step ran left the work whole: the job
    // still ends stopped, with result 0.
    void StopCutNothing() { stop_cut_nothing_.store(true, std::memory_order_release); }

    // The five bytes the boot ROM gives as the phone's product ID, once read.
    const std::optional<std::array<uint8_t, 5>>& product_id() const { return product_id_; }
    void SetProductId(const std::array<uint8_t, 5>& id) { product_id_ = id; }

  protected:
    // The job's sequence moves from step to step; the operations only read it.
    void EnterStep(JobStep step) { step_ = step; }
    JobTimings& mutable_timings() { return timings_; }

  private:
    JobTimings timings_;
    std::vector<std::string> notes_;
    JobStep step_ = JobStep::kOpenPort;
    std::optional<std::array<uint8_t, 5>> product_id_;
    mutable std::mutex outcome_mutex_;
    Outcome outcome_;  // guarded by outcome_mutex_
    std::atomic<int> code_{0};
    std::atomic<bool> stop_cut_nothing_{false};
};

}  // namespace velmora
