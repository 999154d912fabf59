#include "flash/block_erase.h"

#include <algorithm>

#include "base/results.h"
#include "base/text_format.h"
#include "base/tick.h"
#include "flash/nand_dialect.h"
#include "flash/nand_internal.h"
#include "flash/nand_operations.h"
#include "flash/page_program.h"
#include "flash/target_protocol.h"

namespace velmora {
namespace {

namespace code = result::erase;

constexpr int kNoBlock = -1;

// The block that an erase uses for logical block `b`: b itself when good, its
// replacement when bad, −1 when bad without a replacement (it went bad after
// the record was written): such a block is skipped and reported, never
// redirected to block 0.
int EraseTarget(NandSession& nand, int b) {
    if (nand.chip().IbtGood(b)) {
        return b;
    }
    const uint32_t entry = nand.chip().record.Entry(b);
    if (entry == 0 || entry >= static_cast<uint32_t>(nand.chip().geometry.block_count)) {
        nand.reporter.MarkBlock(b, BlockState::kSkipped);
        nand.reporter.WriteLog(
            RecordMapsBadBlocks(nand)
                ? Format("\nBad block #%d has no replacement block (it went bad after the record "
                         "was written), it is skipped",
                         b)
                : Format("\nBad block #%d is skipped (this chip keeps no replacement record)", b));
        return kNoBlock;
    }
    nand.reporter.MarkBlock(b, BlockState::kReplaced);
    nand.reporter.WriteLog(
        Format("\nFind a bad block #%d, use reservoir block #%d", b, static_cast<int>(entry)));
    return static_cast<int>(entry);
}

void ShowProgress(NandSession& nand, int done, int total) {
    nand.reporter.SetProgress(static_cast<uint64_t>(done), static_cast<uint64_t>(total));
    nand.reporter.ShowElapsed(TicksSince(nand.reporter.start_tick));
}

// Erases logical block b through EraseTarget. 0, or erase::kBlockFailed with the
// failure shown.
int EraseMapped(NandSession& nand, int b) {
    const int target = EraseTarget(nand, b);
    if (target < 0) {
        return 0;
    }
    if (const int c = EraseBlock(nand, target); c != 0) {
        nand.attempt.inner = c;
        // The block that failed may be the replacement of the block asked for.
        ReportFailure(nand,
                      Format("Erase block%d fail, #%d", b, c) +
                          (target != b ? Format(" (reservoir block #%d, its replacement)", target)
                                       : std::string()));
        nand.reporter.MarkBlock(target, BlockState::kEraseFailed);
        return code::kBlockFailed;
    }
    nand.reporter.MarkBlock(target, BlockState::kErased);
    return 0;
}

// An erase of [first, end) failed at block `failed`; −1 when one command
// covered the range: the phone stops at the block that failed, so any block of
// the range may be erased now. All are then shown as failed, and the text names
// the range rather than pretending nothing was touched.
void ReportEraseFailure(NandSession& nand, int first, int end, int failed, int code) {
    nand.attempt.inner = code;
    if (failed >= 0) {
        ReportFailure(nand, Format("Erase block%d fail, #%d", failed, code));
        nand.reporter.MarkBlock(failed, BlockState::kEraseFailed);
        return;
    }
    for (int b = first; b < end; ++b) {
        nand.reporter.MarkBlock(b, BlockState::kEraseFailed);
    }
    ReportFailure(nand,
                  Format("Erase of blocks %d to %d fail, #%d: the phone erases them in one step "
                         "and stopped on a failure, so any of them may have been erased.",
                         first, end - 1, code),
                  false);
}

// One record copy: erase, then write the 4108 bytes. 0, kRecordEraseFailed or
// kRecordWriteFailed.
int WriteRecordCopy(NandSession& nand, int block) {
    if (const int c = EraseBlock(nand, block); c != 0) {
        ReportFailure(nand, Format("Erase block%d fail, #%d", block, c));
        nand.reporter.MarkBlock(block, BlockState::kEraseFailed);
        return code::kRecordEraseFailed;
    }
    nand.reporter.MarkBlock(block, BlockState::kErased);
    const auto bytes = nand.chip().record.ToBytes();
    const uint32_t length = std::min<uint32_t>(BlockSize(nand), ManagementRecord::kBytes);
    nand.attempt.text.clear();  // what the write says, if anything, is about this block
    if (const int r = WriteBlockData(nand, bytes, block, false, length); r != 0) {
        nand.attempt.inner = r;
        const std::string detail = TrimLineBreaks(nand.attempt.text);
        ReportFailure(nand, Format("The bad-block management record could not be written to "
                                   "block %d, #%d",
                                   block, r) +
                                (detail.empty() ? "" : ": " + detail));
        nand.reporter.MarkBlock(block, BlockState::kFailed);
        return code::kRecordWriteFailed;
    }
    nand.NoteWritten(block, std::span(bytes).first(length), false);
    nand.reporter.MarkBlock(block, BlockState::kProgrammed);
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
        return kNoBlock;
    }
    return n;
}

}  // namespace

int EraseBlock(NandSession& nand, int block) {
    return nand.dialect().EraseBlock(nand, block);
}

int BuildManagementRecord(NandSession& nand) {
    const int blocks = nand.chip().geometry.block_count;
    if (blocks > ManagementRecord::kEntries) {
        ReportFailure(nand, Format("The chip has %d blocks, but the bad-block management record "
                                   "describes at most %d: no record is built and nothing was "
                                   "written.",
                                   blocks, ManagementRecord::kEntries));
        return code::kChipBeyondRecord;
    }
    const int reservoir = ReservoirStart(blocks);
    nand.chip().reservoir_start = reservoir;
    ManagementRecord& record = nand.chip().record;
    record.Clear();
    record.words[0] = ManagementRecord::kMagic;
    record.words[1026] = ManagementRecord::kMagic;
    record.words[1] = 1;
    for (int n = reservoir; n < blocks; ++n) {
        record.SetEntry(n, nand.chip().IbtGood(n) ? 0 : ManagementRecord::kBadReservoir);
    }
    int next_free = reservoir;
    for (int b = 1; b < reservoir; ++b) {
        if (nand.chip().IbtGood(b)) {
            continue;
        }
        while (next_free < blocks && record.Entry(next_free) != 0) {
            ++next_free;
        }
        if (next_free >= blocks) {
            record.Clear();
            ReportFailure(nand, Format("Too many bad blocks: no reservoir block is left to "
                                       "replace block %d. Nothing was written.",
                                       b));
            return code::kReservoirExhausted;
        }
        record.SetEntry(b, static_cast<uint32_t>(next_free));
        record.SetEntry(next_free, ManagementRecord::kUsedReservoir);
        record.words[1] += 1;
    }
    // The two copies go to the highest good free blocks of the reservoir.
    const int first = NextRecordBlock(record, blocks - 1, reservoir + 1);
    if (first < 0) {
        record.Clear();
        ReportFailure(nand, "No good reservoir block is left for the management record.");
        return code::kNoRecordBlock;
    }
    const int second = NextRecordBlock(record, first - 1, reservoir);
    if (second < 0) {
        record.Clear();
        ReportFailure(nand, "No good reservoir block is left for the management record's copy.");
        return code::kNoCopyBlock;
    }
    for (const int block : {first, second}) {
        if (const int r = WriteRecordCopy(nand, block); r != 0) {
            return r;
        }
    }
    return 0;
}

int ErasePartition(NandSession& nand, int i) {
    const PartitionRecord rec = ClassicRecord(nand.chip().records, i);
    const uint32_t size = BlockSize(nand);
    const int first = static_cast<int>(rec.offset / size);
    const int end = static_cast<int>(
        std::min<uint64_t>((uint64_t{rec.offset} + rec.size) / size,
                           static_cast<uint64_t>(nand.chip().geometry.block_count)));
    nand.reporter.WriteLog(Format("\nErase NAND FLASH blocks from %d to %d!\n\n", first, end));
    for (int b = first; b < end; ++b) {
        if (nand.Aborted()) {
            return nand.result();
        }
        if (const int c = EraseMapped(nand, b); c != 0) {
            return c;
        }
        ShowProgress(nand, b - first, end - first);
    }
    return 0;
}

int EraseCodeArea(NandSession& nand) {
    const int end = nand.chip().geometry.block_count - kEeromBlocks;
    int failed = 0;
    bool replacement_failed = false;  // EraseMapped has said which block and why
    const int c = nand.dialect().EraseRange(
        nand, 1, end,
        [&](int b, NandDialect::Visit* visit) {
            if (nand.chip().IbtGood(b)) {
                *visit = NandDialect::Visit::kErase;
                return 0;
            }
            // A bad block's replacement is erased on its own; the block itself never.
            if (const int c = EraseMapped(nand, b); c != 0) {
                replacement_failed = true;
                return c;
            }
            ShowProgress(nand, b, end);
            return 0;
        },
        [&](int b) {
            nand.reporter.MarkBlock(b, BlockState::kErased);
            ShowProgress(nand, b, end);
        },
        &failed);
    if (c == 0 || nand.Aborted()) {
        return c;
    }
    if (!replacement_failed) {
        ReportEraseFailure(nand, 1, end, failed, c);
    }
    return code::kBlockFailed;
}

int EraseBlockRange(NandSession& nand, int first, int end) {
    if (first > end) {
        return code::kBadRange;
    }
    first = std::max(first, 0);
    end = std::min(end, nand.chip().geometry.block_count);
    if (first >= end) {
        return 0;
    }
    int failed = 0;
    const int c = nand.dialect().EraseRange(
        nand, first, end,
        [&](int b, NandDialect::Visit* visit) {
            if (nand.chip().IbtGood(b)) {
                *visit = NandDialect::Visit::kErase;
            } else {
                nand.reporter.MarkBlock(b, BlockState::kBad);  // never erased, nor its replacement
            }
            return 0;
        },
        [&](int b) {
            nand.reporter.MarkBlock(b, BlockState::kErased);
            ShowProgress(nand, b - first + 1, end - first);
        },
        &failed);
    if (c != 0 && !nand.Aborted()) {
        ReportEraseFailure(nand, first, end, failed, c);
    }
    return c;
}

}  // namespace velmora
