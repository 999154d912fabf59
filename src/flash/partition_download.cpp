#include "flash/partition_download.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "base/input_file.h"
#include "base/results.h"
#include "base/text_format.h"
#include "flash/block_erase.h"
#include "flash/boot_image.h"
#include "flash/nand_dialect.h"
#include "flash/nand_internal.h"
#include "flash/nand_operations.h"
#include "flash/page_program.h"
#include "flash/target_protocol.h"

namespace velmora {
namespace {

namespace code = result::download;

// Partitions whose name starts at 'q' or above carry their spare bytes.
bool NameWantsSpare(const std::array<uint8_t, 8>& name) {
    return static_cast<int8_t>(name[0]) >= 0x71;
}

}  // namespace

int WritePiece(NandSession& nand, std::span<uint8_t> buffer, int block, bool with_spare,
               uint32_t length) {
    const bool small_page = nand.chip().geometry.page_size == 512;
    const uint32_t page_bytes = BytesPerPage(nand, with_spare);
    const int64_t chip_us =
        nand.chip().geometry.erase_time +
        int64_t{nand.chip().geometry.write_time} * ((length + page_bytes - 1) / page_bytes);
    const std::string what = Format("Write block #%d", block);
    int failure = 0;
    for (int attempt = 0; attempt <= kWriteRetries; ++attempt) {
        if (attempt > 0) {
            nand.reporter.WriteLog(Format("\n%s failed (#%d), erasing it and writing it again\n",
                                          what.c_str(), failure));
            if (!SettleForRetry(nand)) {
                break;
            }
            // The failed try may have programmed pages, and programming only clears
            // bits: the block is written again only once it is erased again. The
            // erase's acknowledgement must be the only thing on the line: the late
            // answer to the failed try may come meanwhile, and a serial 'O' may be
            // found inside it.
            if (const int e = EraseBlock(nand, block); e != 0) {
                nand.reporter.WriteLog(Format("\nErase of block #%d failed (#%d)\n", block, e));
                continue;
            }
            if (!OneAnswerOnly(nand, Format("Erase block #%d", block),
                               nand.chip().geometry.erase_time)) {
                continue;
            }
        }
        const int r = small_page ? WriteSmallBlock(nand, buffer, block, with_spare, length)
                                 : WriteBlockData(nand, buffer, block, with_spare, length);
        if (r == 0 && (attempt == 0 || OneAnswerOnly(nand, what, chip_us))) {
            if (attempt > 0) {
                nand.attempt.text.clear();  // the failed tries' texts no longer hold
            }
            return 0;
        }
        failure = r != 0 ? r : failure;
        if (nand.Aborted()) {
            break;
        }
    }
    return result::PartitionWriteFailure(failure);
}

int BuildTargetPartitionRecords(NandSession& nand, const PartitionTable& table) {
    TargetPartitionRecords& out = nand.chip().records;
    out = TargetPartitionRecords{};
    out.classic.fill(0xFF);
    out.v3.fill(0xFF);
    const int count = static_cast<int>(std::min<uint32_t>(table.partition_count, kMaxPartitions));
    for (int i = 0; i < count; ++i) {
        const JobPartition& e = table.entries[static_cast<size_t>(i)];
        uint8_t* c = out.classic.data() + size_t(i) * TargetPartitionRecords::kClassicSize;
        StoreLe32(c, e.offset);
        StoreLe32(c + 4, e.size);
        StoreLe32(c + 8, e.content_size);
        StoreLe32(c + 12, e.protected_size);
        StoreLe32(c + 16, e.shadow);
        StoreLe32(c + 20, e.shadow_address);
        StoreLe32(c + 24, e.exec_address);
        std::copy(e.name.begin(), e.name.end(), c + 28);
        std::fill(c + 36, c + 44, 0);
        std::copy(e.digest.begin(), e.digest.end(), c + 44);
        uint8_t* v = out.v3.data() + size_t(i) * TargetPartitionRecords::kV3Size;
        StoreLe32(v, e.offset);
        StoreLe32(v + 4, e.size);
        StoreLe32(v + 8, e.flags);
        StoreLe32(v + 12, e.id);
        std::copy(e.name.begin(), e.name.end(), v + 16);
    }
    // The record after the last partition carries offset 0 as the end mark.
    if (count < TargetPartitionRecords::kClassicCount) {
        StoreLe32(out.classic.data() + size_t(count) * TargetPartitionRecords::kClassicSize, 0);
    }
    StoreLe32(out.v3.data() + size_t(count) * TargetPartitionRecords::kV3Size, 0);
    out.partition_count = static_cast<uint32_t>(count);
    return 0;
}

int CodeAreaEndBlock(const NandSession& nand) {
    const bool v3 = nand.chip().records.boot_version == 3;
    const int count =
        static_cast<int>(std::min<uint32_t>(nand.chip().records.partition_count, kMaxPartitions));
    int best = -1;
    int32_t best_offset = 0;
    for (int i = 0; i < count; ++i) {
        const PartitionRecord r =
            v3 ? V3Record(nand.chip().records, i) : ClassicRecord(nand.chip().records, i);
        const auto offset = static_cast<int32_t>(r.offset);
        if (offset > best_offset) {
            best_offset = offset;
            best = i;
        }
    }
    if (best < 0 || nand.chip().geometry.block_size <= 0) {
        return -1;
    }
    const PartitionRecord r =
        v3 ? V3Record(nand.chip().records, best) : ClassicRecord(nand.chip().records, best);
    return static_cast<int32_t>(r.offset + r.size) / nand.chip().geometry.block_size;
}

int WritePartition(NandSession& nand, const PartitionTable& table, int i) {
    const PartitionRecord rec = ClassicRecord(nand.chip().records, i);
    const std::string path = table.ContentFilePath(i);
    File file = OpenInputFile(path);
    if (!file) {
        nand.reporter.WriteLog("\nOpen file fail: \n" + path + "\n");
        return code::kFileNotOpened;
    }
    if (std::fseek(file.get(), 0, SEEK_END) != 0 ||
        std::ftell(file.get()) != static_cast<long>(rec.content_size) ||
        std::fseek(file.get(), 0, SEEK_SET) != 0) {
        return code::kSizeMismatch;
    }
    const bool with_spare = NameWantsSpare(rec.name);
    std::vector<uint8_t> buffer(BlockBytes(nand, with_spare));
    const uint32_t size = BlockSize(nand);
    const int first = static_cast<int>(rec.offset / size);
    const int end = first + static_cast<int>(rec.size / size);
    uint32_t remaining = rec.content_size;
    int b = first;
    int result = 0;
    while (remaining > 0) {
        if (nand.Aborted()) {
            result = nand.result();
            break;
        }
        if (b >= end) {
            result = code::kSizeMismatch;
            break;
        }
        if (!RecordMapsBadBlocks(nand) && !nand.chip().IbtGood(b)) {
            ++b;  // no record on this chip: the piece goes to the next good block
            continue;
        }
        const int block = MappedBlock(nand, b);
        const uint32_t n = std::min<uint32_t>(remaining, static_cast<uint32_t>(buffer.size()));
        if (std::fread(buffer.data(), 1, n, file.get()) != n) {
            result = code::kShortRead;
            break;
        }
        if (const int r = WritePiece(nand, buffer, block, with_spare, n); r != 0) {
            // A Stop during the retries ends the partition as a Stop, not a failure.
            result = nand.Aborted() ? nand.result() : r;
            break;
        }
        nand.NoteWritten(block, std::span(buffer).first(n), with_spare);
        nand.reporter.MarkBlock(block, BlockState::kProgrammed);
        nand.reporter.units_done += n;
        nand.reporter.UpdateProgress();
        remaining -= n;
        ++b;
    }
    if (result != 0) {
        nand.reporter.MarkBlock(b, BlockState::kFailed);
    }
    return result;
}

int DownloadPartitions(NandSession& nand, const PartitionTable& table, bool code_area_only) {
    Reporter& reporter = nand.reporter;
    const int count = static_cast<int>(nand.chip().records.partition_count);
    uint64_t total = table.boot_file_size;
    for (int i = 0; i < count; ++i) {
        total += ClassicRecord(nand.chip().records, i).content_size;
    }
    reporter.units_total = total;
    reporter.units_done = 0;
    reporter.SetProgress(0, 100);
    reporter.SetStatus("Erase nand flash blocks... ...");
    reporter.SetPhase(Phase::kErase);

    if (code_area_only) {
        for (int i = 0; i < count; ++i) {
            if (const int c = ErasePartition(nand, i); c != 0) {
                if (nand.Aborted()) {
                    return nand.result();
                }
                // Numbered from 1, as the table and the write's texts number them,
                // and followed by the text of the block that failed.
                const std::string block = TrimLineBreaks(nand.attempt.text);
                const std::string text = Format("Erase partition %d fail, #%d", i + 1, c) +
                                         (block.empty() ? "" : ": " + block);
                ReportFailure(nand, text, false);
                return nand.Fail(Outcome::Of(code::kPartitionEraseFailed, text).Wrapping(c));
            }
        }
    } else if (EraseCodeArea(nand) != 0) {
        return nand.Aborted() ? nand.result() : code::kCodeAreaEraseFailed;
    }

    reporter.SetProgress(0, 100);
    reporter.SetPhase(Phase::kWrite);
    // Once stopped, no further partition is started and the boot block is never
    // touched: the phone keeps the boot block it had.
    for (int i = 0; i < count; ++i) {
        if (nand.Aborted()) {
            return nand.result();
        }
        const std::string status = Format("Write partition_#%02d...", i + 1);
        reporter.SetStatus(status);
        reporter.WriteLog(status);
        if (const int c = WritePartition(nand, table, i); c != 0) {
            if (nand.Aborted()) {
                return nand.result();
            }
            const std::string text = Format("Write partition_#%d fail, #%d", i + 1, c);
            ReportFailure(nand, text);
            return nand.Fail(Outcome::Of(code::kWriteFailed, text).Wrapping(c));
        }
    }
    if (nand.Aborted()) {
        return nand.result();
    }
    reporter.SetStatus("Write nand_boot file...");
    reporter.SetPhase(Phase::kBootBlock);
    if (const int c = WriteBootBlock(nand, table); c != 0) {
        if (nand.Aborted() && !nand.chip().boot_block_touched) {
            return nand.result();  // stopped: the previous boot block is in place
        }
        const std::string text = Format("Write boot nand fail, #%d", c);
        ReportFailure(nand, text);
        return nand.Fail(Outcome::Of(code::kWriteFailed, text).Wrapping(c));
    }
    if (nand.Stopped()) {
        // The Stop came while block 0 was written: the upgrade is whole.
        nand.StopCutNothing();
        nand.AddNote(
            "Stopped after the last step: every partition and the boot block were "
            "written.");
    }
    return nand.result();
}

}  // namespace velmora
