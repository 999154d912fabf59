#pragma once
// Helpers shared by the NAND operations (page programming, erase, download,
// boot block, read-back): record views, block sizes, block map marks and the
// per-link choices that the operations key on.
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "flash/target_link.h"
#include "job/download_job.h"

namespace velmora {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

inline constexpr int kStatusColumn = 2;  // the block map's STATUS column
inline constexpr int kEeromBlocks = 74;  // file-system / EEROM area below the top
inline constexpr int kWriteRetries = 3;  // serial block writes and reads: retries after a failure

// One partition record, either layout, as the operations use it.
struct PartitionRecord {
    uint32_t offset = 0;
    uint32_t size = 0;
    uint32_t content_size = 0;  // classic only
    uint32_t id = 0;            // version 3 only
    std::array<uint8_t, 8> name{};
};
PartitionRecord ClassicRecord(const TargetPartitionRecords& records, int i);
PartitionRecord V3Record(const TargetPartitionRecords& records, int i);

inline bool IsUsb(DownloadJob& job) {
    return job.target().kind() == LinkKind::kUsb;
}

inline uint32_t BlockSize(const DownloadJob& job) {
    return static_cast<uint32_t>(job.geometry.block_size);
}
inline uint32_t PagesPerBlock(const DownloadJob& job) {
    return static_cast<uint32_t>(job.geometry.block_size / job.geometry.page_size);
}
// Bytes per page as sent or read: the page, followed by its spare bytes when asked.
inline uint32_t BytesPerPage(const DownloadJob& job, bool with_spare) {
    return static_cast<uint32_t>(job.geometry.page_size +
                                 (with_spare ? job.geometry.spare_size : 0));
}
// Bytes of a whole block, with or without the spare bytes.
inline uint32_t BlockBytes(const DownloadJob& job, bool with_spare) {
    return PagesPerBlock(job) * BytesPerPage(job, with_spare);
}

// Writes to dl_log.txt only when it is open (debug mode), so that hot loops do
// not format texts nobody reads.
template <typename MakeText>
void LogIfOpen(DownloadJob& job, MakeText make_text) {
    if (job.reporter.log_open()) {
        job.reporter.WriteLog(make_text());
    }
}

// The block that holds logical block `b`'s data: its replacement when the
// record names one (a real block of the chip), else b itself.
inline int MappedBlock(const DownloadJob& job, int b) {
    const uint32_t entry = job.record.Entry(b);
    return entry != 0 && entry < static_cast<uint32_t>(job.geometry.block_count)
               ? static_cast<int>(entry)
               : b;
}

// Block map marks.
void MarkErased(DownloadJob& job, int block);  // pink, "G"
void MarkBad(DownloadJob& job, int block);     // "NG"
void MarkFailed(DownloadJob& job, int block);  // red, "NG"

// Fails the operation visibly: error text, error display, log.
void ReportFailure(DownloadJob& job, const std::string& text, bool log = true);

}  // namespace velmora
