#include "job/download_job.h"

namespace velmora {

DownloadJob::DownloadJob(LinkKind link, EventSink* display, bool debug_mode)
    : NandSession(display, debug_mode), link_kind(link) {}

DownloadJob::~DownloadJob() = default;

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
