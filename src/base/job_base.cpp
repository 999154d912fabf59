#include "base/job_base.h"

namespace velmora {

JobBase::JobBase(EventSink* sink, bool debug_mode)
    : debug(debug_mode), reporter(sink, debug_mode) {}

int JobBase::Fail(Outcome outcome) {
    const int code = outcome.code;
    if (outcome.step) {
        step_ = *outcome.step;
    } else {
        outcome.step = step_;
    }
    {
        std::lock_guard lock(outcome_mutex_);
        outcome_ = std::move(outcome);
        code_.store(code, std::memory_order_release);
    }
    if (code != 0) {
        Abort();
    }
    return code;
}

int JobBase::FailWith(int code) {
    if (code == 0 || code == code_.load(std::memory_order_acquire)) {
        return code;
    }
    Outcome said = attempt;
    said.code = code;
    return Fail(std::move(said));
}

Outcome JobBase::outcome() const {
    std::lock_guard lock(outcome_mutex_);
    return outcome_;
}

int JobBase::result() const {
    if (const int code = code_.load(std::memory_order_acquire); code != 0) {
        return code;
    }
    return Stopped() && !stop_cut_nothing_.load(std::memory_order_acquire) ? 1 : 0;
}

void JobBase::AddNote(const std::string& text) {
    for (const std::string& note : notes_) {
        if (note == text) {
            return;
        }
    }
    notes_.push_back(text);
    reporter.WriteLog("\n" + text + "\n");
}

}  // namespace velmora
