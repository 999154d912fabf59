#pragma once
// Helpers shared by the NAND operations (page programming, erase, download,
// boot block, read-back): record views, block sizes, block map marks and the
// per-link choices that the operations key on.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/output_file.h"
#include "flash/target_link.h"
#include "job/download_job.h"

namespace velmora {

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

// Chips whose bad blocks the management record can map: pages above 512
// bytes, and at most 1024 blocks unless the phone already holds a record. On
// any other chip no record is built, and a write skips bad blocks the way the
// read-back skips them.
inline bool RecordMapsBadBlocks(const DownloadJob& job) {
    return job.geometry.page_size != 512 &&
           (job.geometry.block_count <= ManagementRecord::kEntries || job.record.Present());
}

// A bad block that nothing replaces although the record maps this chip: it went
// bad after the record was written.
inline bool BadWithoutReplacement(const DownloadJob& job, int b) {
    return !job.IbtGood(b) && job.record.Present() && MappedBlock(job, b) == b;
}

// The time-out of an answer that comes after `wire_bytes` crossed the link and
// `chip_us` microseconds of chip work: the stated time-out plus both.
inline int AnswerMs(DownloadJob& job, int timeout_ms, size_t wire_bytes, int64_t chip_us = 0) {
    const int64_t ms = int64_t{timeout_ms} + job.target().WireMs(wire_bytes) + chip_us / 1000;
    return static_cast<int>(std::min<int64_t>(ms, 1 << 30));
}

// Runs a step that is safe to repeat once more when it fails and `worth_retry`
// says the failure may be a glitch (a lost or garbled answer), after a pause in
// which a late answer can arrive and is then dropped. The retry goes to the log.
template <typename Step, typename WorthRetry>
int RetryOnce(DownloadJob& job, std::string_view what, Step step, WorthRetry worth_retry) {
    const int first = step();
    if (first == 0 || job.Aborted() || !worth_retry(first)) {
        return first;
    }
    job.reporter.WriteLog("\n" + std::string(what) + " failed (#" + std::to_string(first) +
                          "), trying once more\n");
    if (!job.Sleep(job.timings.retry_pause_ms)) {
        return first;
    }
    job.target().PurgeInput();
    job.error_text.clear();
    return step();
}
template <typename Step>
int RetryOnce(DownloadJob& job, std::string_view what, Step step) {
    return RetryOnce(job, what, step, [](int) { return true; });
}

// Fails the operation visibly: error text, error display, log.
void ReportFailure(DownloadJob& job, const std::string& text, bool log = true);

}  // namespace velmora
