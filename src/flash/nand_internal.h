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
#include "flash/nand_session.h"
#include "link/target_link.h"

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

inline uint32_t BlockSize(const NandSession& nand) {
    return static_cast<uint32_t>(nand.chip().geometry.block_size);
}
inline uint32_t PagesPerBlock(const NandSession& nand) {
    return static_cast<uint32_t>(nand.chip().geometry.block_size / nand.chip().geometry.page_size);
}
// Bytes per page as sent or read: the page, followed by its spare bytes when asked.
inline uint32_t BytesPerPage(const NandSession& nand, bool with_spare) {
    return static_cast<uint32_t>(nand.chip().geometry.page_size +
                                 (with_spare ? nand.chip().geometry.spare_size : 0));
}
// Bytes of a whole block, with or without the spare bytes.
inline uint32_t BlockBytes(const NandSession& nand, bool with_spare) {
    return PagesPerBlock(nand) * BytesPerPage(nand, with_spare);
}

// Writes to dl_log.txt only when it is open (debug mode), so that hot loops do
// not format texts nobody reads.
template <typename MakeText>
void LogIfOpen(NandSession& nand, MakeText make_text) {
    if (nand.reporter.log_open()) {
        nand.reporter.WriteLog(make_text());
    }
}

// The block that holds logical block `b`'s data: its replacement when the
// record names one (a real block of the chip), else b itself.
inline int MappedBlock(const NandSession& nand, int b) {
    const uint32_t entry = nand.chip().record.Entry(b);
    return entry != 0 && entry < static_cast<uint32_t>(nand.chip().geometry.block_count)
               ? static_cast<int>(entry)
               : b;
}

// Chips whose bad blocks the management record can map: pages above 512
// bytes, and at most 1024 blocks unless the phone already holds a record. On
// any other chip no record is built, and a write skips bad blocks the way the
// read-back skips them.
inline bool RecordMapsBadBlocks(const NandSession& nand) {
    return nand.chip().geometry.page_size != 512 &&
           (nand.chip().geometry.block_count <= ManagementRecord::kEntries ||
            nand.chip().record.Present());
}

// A bad block that nothing replaces although the record maps this chip: it went
// bad after the record was written.
inline bool BadWithoutReplacement(const NandSession& nand, int b) {
    return !nand.chip().IbtGood(b) && nand.chip().record.Present() && MappedBlock(nand, b) == b;
}

// The time-out of an answer that comes after `wire_bytes` crossed the link and
// `chip_us` microseconds of chip work: the stated time-out plus both.
inline int AnswerMs(NandSession& nand, int timeout_ms, size_t wire_bytes, int64_t chip_us = 0) {
    const int64_t ms = int64_t{timeout_ms} + nand.link().WireMs(wire_bytes) + chip_us / 1000;
    return static_cast<int>(std::min<int64_t>(ms, 1 << 30));
}

// Before a step is asked again: the pause, then whatever the phone still sends
// for the try that failed (an answer later than its wait) is dropped until the
// line has been quiet. False when stopped.
bool SettleForRetry(NandSession& nand);

// After a step that was asked again got its answer: no further byte may come
// within the quiet interval and the step's chip time. One that does means the
// late answer to the earlier try and the answer to this one both came, and the
// host cannot tell which belongs to which. False then (or when stopped), with
// the log, the notes and the error text saying so.
bool OneAnswerOnly(NandSession& nand, std::string_view what, int64_t chip_us = 0);

// Runs a step that is safe to repeat once more when it fails and `worth_retry`
// says the failure may be a glitch (a lost or garbled answer). The retry goes to
// the log; it comes after SettleForRetry and must pass OneAnswerOnly (`chip_us`:
// the chip's time for the step), else the first failure stands.
template <typename Step, typename WorthRetry>
int RetryOnce(NandSession& nand, std::string_view what, Step step, WorthRetry worth_retry,
              int64_t chip_us = 0) {
    const int first = step();
    if (first == 0 || nand.Aborted() || !worth_retry(first)) {
        return first;
    }
    nand.reporter.WriteLog("\n" + std::string(what) + " failed (#" + std::to_string(first) +
                           "), trying once more\n");
    if (!SettleForRetry(nand)) {
        return first;
    }
    nand.attempt.text.clear();
    const int second = step();
    if (second == 0 && !OneAnswerOnly(nand, what, chip_us)) {
        return first;
    }
    return second;
}
template <typename Step>
int RetryOnce(NandSession& nand, std::string_view what, Step step) {
    return RetryOnce(nand, what, step, [](int) { return true; });
}

// Fails the operation visibly: error text, error display, log.
void ReportFailure(NandSession& nand, const std::string& text, bool log = true);

}  // namespace velmora
