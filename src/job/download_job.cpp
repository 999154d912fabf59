#include "job/download_job.h"

namespace velmora {

DownloadJob::DownloadJob(LinkKind link, EventSink* display, bool debug_mode)
    : NandSession(display, debug_mode), link_kind(link) {}

DownloadJob::~DownloadJob() = default;

JobEnd DownloadJob::Ending(int final_result) const {
    JobEnd end;
    end.result = final_result;
    end.user_stopped = user_stop.load() != 0;
    // A step that failed and then passed on its retry, or a text a step leaves
    // for the log (a version 3 boot block's counter), is no error of a job that
    // succeeded.
    end.error_text = final_result != 0 ? error_text : std::string();
    end.notes = notes;
    end.report = report;
    end.product_id = product_id;
    if (final_result != 0 && !end.user_stopped) {
        const ResultExplanation why =
            ExplainResult(step, link_kind == LinkKind::kUsb, final_result, inner);
        end.step = std::string(StepName(step));
        end.result_name = why.inner_name.empty() ? why.name : why.name + ", " + why.inner_name;
        end.meaning = reason.empty() ? why.meaning : reason;
        end.next_step = advice.empty() ? why.next_step : advice;
    }
    return end;
}

void DownloadJob::ShowEnding(int final_result) {
    const JobEnd end = Ending(final_result);
    reporter.End(end);
    if (final_result == 0) {
        for (const std::string& note : notes) {
            reporter.SetStatus(note);
        }
    } else if (!end.user_stopped) {
        reporter.SetStatus(error_text);
        reporter.ShowStepMessage(error_text);
    } else {
        // Not the failure of the step the Stop cut: that failure is the Stop's doing.
        reporter.SetStatus(StoppedText(step));
    }
}

std::string StoppedText(JobStep step) {
    return "Stopped during the " + std::string(StepName(step)) + ".";
}

}  // namespace velmora
