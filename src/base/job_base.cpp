#include "base/job_base.h"

namespace velmora {

JobBase::JobBase(EventSink* sink, bool debug_mode)
    : debug(debug_mode), reporter(sink, debug_mode) {}

void JobBase::Fail(int code, std::string text) {
    if (code != 0) {
        result.store(code, std::memory_order_release);
    }
    error_text = std::move(text);
}

void JobBase::AddNote(const std::string& text) {
    for (const std::string& note : notes) {
        if (note == text) {
            return;
        }
    }
    notes.push_back(text);
    reporter.WriteLog("\n" + text + "\n");
}

}  // namespace velmora
