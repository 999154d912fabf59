#include "job/download_job.h"

#include "flash/target_link.h"

namespace velmora {

DownloadJob::DownloadJob(LinkKind link, EventSink* display, bool debug_mode)
    : link_kind(link), debug(debug_mode), reporter(display, debug_mode) {}

DownloadJob::~DownloadJob() = default;

void DownloadJob::Fail(int code, std::string text) {
    if (code != 0) {
        result.store(code, std::memory_order_release);
    }
    error_text = std::move(text);
}

void DownloadJob::AddNote(const std::string& text) {
    for (const std::string& note : notes) {
        if (note == text) {
            return;
        }
    }
    notes.push_back(text);
    reporter.WriteLog("\n" + text + "\n");
}

void DownloadJob::ShowEnding(int final_result) {
    JobEnd end;
    end.result = final_result;
    end.user_stopped = user_stop.load() != 0;
    end.error_text = error_text;
    end.notes = notes;
    reporter.End(end);
    if (final_result == 0) {
        for (const std::string& note : notes) {
            reporter.SetStatus(note);
        }
    } else if (!end.user_stopped) {
        reporter.SetStatus(error_text);
        reporter.ShowStepMessage(error_text);
    }
}

}  // namespace velmora
