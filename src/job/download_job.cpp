#include "job/download_job.h"

#include "flash/target_link.h"

namespace velmora {

DownloadJob::DownloadJob(LinkKind link, JobDisplay* display, bool debug_mode)
    : link_kind(link), debug(debug_mode), reporter(display, link, debug_mode) {}

DownloadJob::~DownloadJob() = default;

void DownloadJob::Fail(int code, std::string text) {
    if (code != 0) {
        result.store(code, std::memory_order_release);
    }
    error_text = std::move(text);
}

}  // namespace velmora
