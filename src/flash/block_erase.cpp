#include "flash/block_erase.h"

#include <algorithm>

#include "base/text_format.h"
#include "base/tick.h"
#include "flash/nand_internal.h"
#include "flash/nand_operations.h"
#include "flash/page_program.h"
#include "flash/target_protocol.h"
#include "flash/usb_nand.h"

namespace velmora {
namespace {

// The record has entries for blocks 0 to 1023 only: a larger chip cannot be
// described by it.
constexpr int kNoRecordForChip = -6;

// The block that an erase uses for logical block `b`: b itself when good, its
// replacement when bad, −1 when bad without a replacement (it went bad after
// the record was written): such a block is skipped and reported, never
// redirected to block 0.
int EraseTarget(DownloadJob& job, int b) {
    if (job.IbtGood(b)) {
        return b;
    }
    const uint32_t entry = job.record.Entry(b);
    if (entry == 0 || entry >= static_cast<uint32_t>(job.geometry.block_count)) {
        job.reporter.MarkBlock(b, BlockState::kSkipped);
        job.reporter.WriteLog(
            RecordMapsBadBlocks(job)
                ? Format("\nBad block #%d has no replacement block (it went bad after the record "
                         "was written), it is skipped",
                         b)
                : Format("\nBad block #%d is skipped (this chip keeps no replacement record)", b));
        return -1;
    }
    job.reporter.MarkBlock(b, BlockState::kReplaced);
    job.reporter.WriteLog(
        Format("\nFind a bad block #%d, use reservoir block #%d", b, static_cast<int>(entry)));
    return static_cast<int>(entry);
}

void ShowProgress(DownloadJob& job, int done, int total) {
    job.reporter.SetProgress(static_cast<uint64_t>(done), static_cast<uint64_t>(total));
    job.reporter.ShowElapsed(TicksSince(job.reporter.start_tick));
}

// Erases logical block b through EraseTarget. 0, or 1 with the failure shown.
int EraseMapped(DownloadJob& job, int b, bool skip_good) {
    const int target = EraseTarget(job, b);
    if (target < 0 || (skip_good && target == b)) {
        return 0;
    }
    if (const int c = EraseBlock(job, target); c != 0) {
        ReportFailure(job, Format("Erase block%d fail, #%d", b, c));
        job.reporter.MarkBlock(target, BlockState::kEraseFailed);
        return 1;
    }
    job.reporter.MarkBlock(target, BlockState::kErased);
    return 0;
}

// A one-command erase of [first, end) failed. The phone stops at the block that
// failed, so any block of the range may be erased now: all are shown as failed,
// and the text names the range rather than pretending nothing was touched.
void ReportRangeEraseFailure(DownloadJob& job, int first, int end, int code) {
    for (int b = first; b < end; ++b) {
        job.reporter.MarkBlock(b, BlockState::kEraseFailed);
    }
    ReportFailure(job,
                  Format("Erase of blocks %d to %d fail, #%d: the phone erases them in one step "
                         "and stopped on a failure, so any of them may have been erased.",
                         first, end - 1, code),
                  false);
}

// One record copy: erase, then write the 4108 bytes. 0, −4 or −5.
int WriteRecordCopy(DownloadJob& job, int block) {
    if (const int c = EraseBlock(job, block); c != 0) {
        ReportFailure(job, Format("Erase block%d fail, #%d", block, c));
        job.reporter.MarkBlock(block, BlockState::kEraseFailed);
        return -4;
    }
    job.reporter.MarkBlock(block, BlockState::kErased);
    const auto bytes = job.record.ToBytes();
    const uint32_t length = std::min<uint32_t>(BlockSize(job), ManagementRecord::kBytes);
    if (WriteBlockData(job, bytes, block, false, length) != 0) {
        job.reporter.MarkBlock(block, BlockState::kFailed);
        return -5;
    }
    job.reporter.MarkBlock(block, BlockState::kProgrammed);
    return 0;
}

// Next record block scanning down from `from`: passes bad reservoir blocks,
// stops at the first free or used one. −1 when the scan runs below `lowest`
// or meets a block in use.
int NextRecordBlock(const ManagementRecord& record, int from, int lowest) {
    int n = from;
    while (n >= lowest && record.Entry(n) == ManagementRecord::kBadReservoir) {
        --n;
    }
    if (n < lowest || record.Entry(n) != 0) {
        return -1;
    }
    return n;
}

}  // namespace

int EraseBlock(DownloadJob& job, int block) {
    TargetLink& link = job.target();
    if (link.kind() == LinkKind::kUsb) {
        return UsbEraseBlocks(job, block, block + 1);
    }
    const CommandFrame frame(kCmdErase, {static_cast<uint32_t>(block), 0u, 0u, 0u});
    const int wait_ms = AnswerMs(job, job.timings.ack_ms, kFrameSize + 1, job.geometry.erase_time);
    // A lost acknowledgement sends the erase again: erasing twice does no harm.
    return RetryOnce(job, Format("Erase block #%d", block), [&] {
        link.SendFrame(frame.span());
        if (!link.WaitForByte(kAck, wait_ms)) {
            job.error_text = Format("Erase block%d fail.", block);
            return 3010;
        }
        return 0;
    });
}

int BuildManagementRecord(DownloadJob& job) {
    const int blocks = job.geometry.block_count;
    if (blocks > ManagementRecord::kEntries) {
        ReportFailure(job, Format("The chip has %d blocks, but the bad-block management record "
                                  "describes at most %d: no record is built and nothing was "
                                  "written.",
                                  blocks, ManagementRecord::kEntries));
        return kNoRecordForChip;
    }
    const int reservoir = ReservoirStart(blocks);
    job.reservoir_start = reservoir;
    ManagementRecord& record = job.record;
    record.Clear();
    record.words[0] = ManagementRecord::kMagic;
    record.words[1026] = ManagementRecord::kMagic;
    record.words[1] = 1;
    for (int n = reservoir; n < blocks; ++n) {
        record.SetEntry(n, job.IbtGood(n) ? 0 : ManagementRecord::kBadReservoir);
    }
    int next_free = reservoir;
    for (int b = 1; b < reservoir; ++b) {
        if (job.IbtGood(b)) {
            continue;
        }
        while (next_free < blocks && record.Entry(next_free) != 0) {
            ++next_free;
        }
        if (next_free >= blocks) {
            record.Clear();
            ReportFailure(job, Format("Too many bad blocks: no reservoir block is left to "
                                      "replace block %d. Nothing was written.",
                                      b));
            return -1;
        }
        record.SetEntry(b, static_cast<uint32_t>(next_free));
        record.SetEntry(next_free, ManagementRecord::kUsedReservoir);
        record.words[1] += 1;
    }
    // The two copies go to the highest good free blocks of the reservoir.
    const int first = NextRecordBlock(record, blocks - 1, reservoir + 1);
    if (first < 0) {
        record.Clear();
        ReportFailure(job, "No good reservoir block is left for the management record.");
        return -2;
    }
    const int second = NextRecordBlock(record, first - 1, reservoir);
    if (second < 0) {
        record.Clear();
        ReportFailure(job, "No good reservoir block is left for the management record's copy.");
        return -3;
    }
    for (const int block : {first, second}) {
        if (const int r = WriteRecordCopy(job, block); r != 0) {
            return r;
        }
    }
    return 0;
}

int ErasePartition(DownloadJob& job, int i) {
    const PartitionRecord rec = ClassicRecord(job.records, i);
    const uint32_t size = BlockSize(job);
    const int first = static_cast<int>(rec.offset / size);
    const int end = static_cast<int>(std::min<uint64_t>(
        (uint64_t{rec.offset} + rec.size) / size, static_cast<uint64_t>(job.geometry.block_count)));
    job.reporter.WriteLog(Format("\nErase NAND FLASH blocks from %d to %d!\n\n", first, end));
    for (int b = first; b < end; ++b) {
        if (job.Aborted()) {
            return job.result.load();
        }
        if (EraseMapped(job, b, false) != 0) {
            return 1;
        }
        ShowProgress(job, b - first, end - first);
    }
    return 0;
}

int EraseCodeArea(DownloadJob& job) {
    const int blocks = job.geometry.block_count;
    const int end = blocks - kEeromBlocks;
    // USB erases the whole area in one command, then only the replacements of
    // bad blocks one by one.
    const bool usb = IsUsb(job);
    if (usb) {
        if (const int c = UsbEraseBlocks(job, 1, end); c != 0) {
            ReportRangeEraseFailure(job, 1, end, c);
            return 1;
        }
    }
    for (int b = 1; b < end; ++b) {
        if (job.Aborted()) {
            return job.result.load();
        }
        if (EraseMapped(job, b, usb) != 0) {
            return 1;
        }
        if (usb && job.IbtGood(b)) {
            job.reporter.MarkBlock(b, BlockState::kErased);
        }
        ShowProgress(job, b, end);
    }
    return 0;
}

int EraseBlockRange(DownloadJob& job, int first, int end) {
    if (first > end) {
        return -1;
    }
    first = std::max(first, 0);
    end = std::min(end, job.geometry.block_count);
    if (first >= end) {
        return 0;
    }
    const bool usb = IsUsb(job);
    if (usb) {
        if (const int c = UsbEraseBlocks(job, first, end); c != 0) {
            // The phone erases the range in one step and stops where it fails: any
            // block of it may be erased now, the boot block among them.
            for (int b = first; b < end; ++b) {
                job.reporter.MarkBlock(b, BlockState::kEraseFailed);
            }
            ReportRangeEraseFailure(job, first, end, c);
            return c;
        }
    }
    for (int b = first; b < end; ++b) {
        if (job.Aborted()) {
            return job.result.load();
        }
        if (!job.IbtGood(b)) {
            job.reporter.MarkBlock(b, BlockState::kBad);  // never erased, nor its replacement
            continue;
        }
        if (!usb) {
            if (const int c = EraseBlock(job, b); c != 0) {
                ReportFailure(job, Format("Erase block%d fail, #%d", b, c), false);
                job.reporter.MarkBlock(b, BlockState::kEraseFailed);
                return c;
            }
        }
        job.reporter.MarkBlock(b, BlockState::kErased);
        ShowProgress(job, b - first + 1, end - first);
    }
    return 0;
}

}  // namespace velmora
