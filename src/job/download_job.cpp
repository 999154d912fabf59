#include "job/download_job.h"

namespace velmora {

DownloadJob::DownloadJob(LinkKind link, EventSink* display, bool debug_mode)
    : NandSession(display, debug_mode), link_kind(link) {}

DownloadJob::~DownloadJob() = default;

const JobEnd& DownloadJob::End(int final_result) {
    if (end_) {
        return *end_;
    }
    // A step that returned its result without failing the job (a Stop's 1, a
    // code the sequence passes up) ends it with the words of its last attempt.
    FailWith(final_result);
    const Outcome why = outcome();
    JobEnd& end = end_.emplace();
    end.result = final_result;
    end.user_stopped = Stopped();
    // A step that failed and then passed on its retry, or a text a step leaves
    // for the log (a version 3 boot block's counter), is no error of a job that
    // succeeded.
    end.error_text = final_result != 0 ? why.text : std::string();
    end.notes = notes();
    end.report = report;
    end.product_id = product_id();
    if (final_result != 0 && !end.user_stopped) {
        const ResultExplanation table =
            ExplainResult(step(), link_kind == LinkKind::kUsb, final_result, why.inner);
        end.step = std::string(StepName(step()));
        end.result_name =
            table.inner_name.empty() ? table.name : table.name + ", " + table.inner_name;
        end.failed_step = std::string(StepName(FailedStep(step(), final_result, end.result_name)));
        end.meaning = why.reason.empty() ? table.meaning : why.reason;
        end.next_step = why.next.empty() ? table.next_step : why.next;
    }
    reporter.End(end);
    if (final_result == 0) {
        for (const std::string& note : notes()) {
            reporter.SetStatus(note);
        }
    } else if (!end.user_stopped) {
        reporter.SetStatus(end.error_text);
        reporter.ShowStepMessage(end.error_text);
    } else {
        // Not the failure of the step the Stop cut: that failure is the Stop's doing.
        reporter.SetStatus(StoppedText(step()));
    }
    return end;
}

WorkRange RangeAt(WorkMode mode, int index) {
    switch (mode) {
        case WorkMode::kCodeUpgrade:
            return static_cast<UpgradeRange>(index);
        case WorkMode::kReadCode:
            return static_cast<ReadRange>(index);
        case WorkMode::kErase:
            return static_cast<EraseRange>(index);
        case WorkMode::kBackup:
        case WorkMode::kRestore:
            return static_cast<BackupRange>(index);
        case WorkMode::kHealth:
            break;
    }
    return {};
}

bool RangeFits(WorkMode mode, const WorkRange& range) {
    return std::holds_alternative<std::monostate>(range) ||
           range.index() == RangeAt(mode, 0).index();
}

std::string StoppedText(JobStep step) {
    return "Stopped during the " + std::string(StepName(step)) + ".";
}

}  // namespace velmora
