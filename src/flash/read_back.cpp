#include "flash/read_back.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "base/checksum.h"
#include "base/results.h"
#include "base/text_format.h"
#include "config/boot_block.h"
#include "flash/nand_dialect.h"
#include "flash/nand_internal.h"
#include "flash/nand_operations.h"
#include "flash/read_twice.h"
#include "flash/target_protocol.h"

namespace velmora {
namespace {

constexpr uint32_t kBootAreaBytes = 65536;
constexpr int kReportMode = 0xFF;

namespace code = result::read_back;
// upload.ptt is an output file like the others, and fails as they do.
static_assert(result::boot_table::kReportNotWritten == code::kFileNotCreated);

bool Append(std::FILE* f, const uint8_t* data, size_t n) {
    return std::fwrite(data, 1, n, f) == n;
}

// An output file that cannot be made or written: the text names it.
int CannotWrite(NandSession& nand, const std::string& path, const std::string& reason = {}) {
    nand.attempt.text = "Cannot write " + path + (reason.empty() ? "" : ": " + reason);
    return code::kFileNotCreated;
}

// Reads block 0 whole, once more after a failure: the boot table is read from it.
int ReadBlockZero(NandSession& nand, std::span<uint8_t> buffer) {
    const SecondOpinion::Read read = [&](std::span<uint8_t> into) {
        return RetryOnce(nand, "Read block #0", [&] { return ReadBlock(nand, into, 0, false); });
    };
    const int r = read(buffer);
    return r != 0 || !nand.read_twice() ? r : SecondOpinion().Confirm(nand, buffer, 0, read);
}

// A read-back file in the making. One left unfinished (a failed or stopped
// read) is moved into place with what it holds, and the ending names it.
class ReadOutput {
  public:
    ReadOutput(NandSession& nand, const std::string& path) : nand_(nand), file_(path, &reason_) {}
    ~ReadOutput() {
        if (file_.Abandon()) {
            nand_.AddNote(file_.path() +
                          " is incomplete: the read ended before the file was whole.");
        }
    }
    ReadOutput(const ReadOutput&) = delete;
    ReadOutput& operator=(const ReadOutput&) = delete;

    explicit operator bool() const { return static_cast<bool>(file_); }
    std::FILE* get() const { return file_.get(); }
    // The file could not be made or written: the job's error text says so. 10000.
    int CannotWriteFile() { return CannotWrite(nand_, file_.path(), reason_); }
    // Closes the file and moves it into place. 0, or 10000 as CannotWriteFile.
    int Finish() {
        if (!file_ || !file_.Finish(&reason_)) {
            return CannotWriteFile();
        }
        nand_.reporter.FileWritten(file_.path());
        return 0;
    }

  private:
    NandSession& nand_;
    std::string reason_;
    StagedFile file_;
};

// A bad block that went bad after the record was written holds the data the
// download put there (it wrote the block itself): it is read as it is, and the
// ending says so.
void NoteReadAsItIs(NandSession& nand, int block) {
    nand.AddNote(Format("Block %d is bad and has no replacement; it was read as it is.", block));
}

// A read-back's output file, fed block by block. While the link fetches a block
// into one buffer, the block before it is checked against its checksum and
// written from the other. A block that fails the check is read again (with the
// retries) before anything after it reaches the file.
class BlockStream {
  public:
    BlockStream(NandSession& nand, const std::string& path, bool with_spare)
        : nand_(nand), file_(nand, path), with_spare_(with_spare) {
        for (auto& b : buffers_) {
            b.resize(BlockBytes(nand, with_spare));
        }
    }
    // A stopped or failed read keeps in its file every block that passed its check.
    ~BlockStream() { Settle(); }
    BlockStream(const BlockStream&) = delete;
    BlockStream& operator=(const BlockStream&) = delete;

    bool Ok() const { return file_ && ok_; }
    // The file could not be made or written: the job's error text says so. 10000.
    int CannotWriteFile() { return file_.CannotWriteFile(); }
    size_t block_bytes() const { return buffers_[0].size(); }

    // Reads `block` and queues its first `bytes` for the file. 0, or the failing
    // read's code (ReadBlock's, after the retries) with the block it was for in
    // *failed: this one, or the one before it when that failed its check.
    int Read(int block, size_t bytes, int* failed) {
        std::vector<uint8_t>& buffer = buffers_[next_];
        uint32_t checksum = kNoChecksum;
        int r = ReadBlock(nand_, buffer, block, with_spare_, settle_, &checksum);
        Settle();
        if (const int e = Repair(failed); e != 0) {
            return e;
        }
        if (r != 0) {
            if ((r = Retry(buffer, block, r)) != 0) {
                *failed = block;
                return r;
            }
            checksum = kNoChecksum;  // checked by the retry
        }
        if (nand_.read_twice()) {
            if ((r = ReadAgain(buffer, block, checksum)) != 0) {
                *failed = block;
                return r;
            }
            checksum = kNoChecksum;
        }
        queued_ = {block, bytes, checksum, next_, State::kQueued};
        next_ ^= 1;
        return 0;
    }

    // Checks and writes the last block, and closes the file. 0; a failure as
    // Read's; kFileNotCreated when the file could not be written.
    int Finish(int* failed) {
        Settle();
        if (const int e = Repair(failed); e != 0) {
            return e;
        }
        if (!Ok()) {
            return code::kFileNotCreated;
        }
        return file_.Finish();
    }

  private:
    enum class State { kNone, kQueued, kBad };
    struct Queued {
        int block = 0;
        size_t bytes = 0;
        uint32_t checksum = kNoChecksum;
        int buffer = 0;
        State state = State::kNone;
    };

    // The queued block: checked, and written when it passed. Runs while the link works.
    void Settle() {
        if (queued_.state != State::kQueued) {
            return;
        }
        const std::vector<uint8_t>& data = buffers_[queued_.buffer];
        if (queued_.checksum != kNoChecksum && Crc32(data) != queued_.checksum) {
            queued_.state = State::kBad;
            return;
        }
        Write(data.data(), queued_.bytes);
        queued_.state = State::kNone;
    }

    // A queued block that failed its check is read again, checked, and written.
    int Repair(int* failed) {
        if (queued_.state != State::kBad) {
            return 0;
        }
        queued_.state = State::kNone;
        std::vector<uint8_t>& data = buffers_[queued_.buffer];
        if (const int r = Retry(data, queued_.block, 1100); r != 0) {
            *failed = queued_.block;
            return r;
        }
        Write(data.data(), queued_.bytes);
        return 0;
    }

    // Up to three more attempts after a first one that failed with `code`, each
    // checked; one that drew two answers counts as failed. 0, or the code of the
    // last read that failed.
    int Retry(std::span<uint8_t> buffer, int block, int code) {
        const std::string what = Format("Read block #%d", block);
        for (int attempt = 1; attempt <= kWriteRetries; ++attempt) {
            nand_.reporter.WriteLog(
                Format("\n%s failed (#%d), trying again\n", what.c_str(), code));
            if (!SettleForRetry(nand_)) {
                break;
            }
            const int r = ReadBlock(nand_, buffer, block, with_spare_);
            if (r == 0 && OneAnswerOnly(nand_, what)) {
                nand_.attempt.text.clear();  // the failed tries' texts no longer hold
                return 0;
            }
            code = r != 0 ? r : code;
        }
        return code;
    }

    // The session's double read: the first read checked now, then compared with a second.
    int ReadAgain(std::span<uint8_t> buffer, int block, uint32_t checksum) {
        const SecondOpinion::Read read = [&](std::span<uint8_t> into) {
            const int r = ReadBlock(nand_, into, block, with_spare_);
            return r == 0 ? 0 : Retry(into, block, r);
        };
        if (checksum != kNoChecksum && Crc32(buffer) != checksum) {
            if (const int r = read(buffer); r != 0) {
                return r;
            }
        }
        return opinion_.Confirm(nand_, buffer, block, read);
    }

    void Write(const uint8_t* data, size_t bytes) {
        ok_ = ok_ && file_ && Append(file_.get(), data, bytes);
    }

    NandSession& nand_;
    ReadOutput file_;
    bool with_spare_;
    std::vector<uint8_t> buffers_[2];
    SecondOpinion opinion_;
    int next_ = 0;
    Queued queued_;
    bool ok_ = true;
    std::function<void()> settle_ = [this] { Settle(); };
};

// Reads blocks `first` to `end` − 1 into the job's file, `physical` giving the
// block to read for each. Shared by the EEROM and range reads.
template <typename Physical>
int ReadBlocksToFile(NandSession& nand, const std::string& path, int first, int end,
                     bool with_spare, Physical physical) {
    nand.attempt.text.clear();  // a text left by a step that passed says nothing of this read
    BlockStream file(nand, path, with_spare);
    if (!file.Ok()) {
        return file.CannotWriteFile();
    }
    const size_t n = file.block_bytes();
    nand.reporter.units_total = end > first ? uint64_t(end - first) * n : 0;
    nand.reporter.units_done = 0;
    int failed = 0;
    int r = 0;
    for (int b = first; b < end && file.Ok() && r == 0; ++b) {
        if (nand.Aborted()) {
            return nand.result();
        }
        const int block = physical(b);
        if (BadWithoutReplacement(nand, b)) {
            NoteReadAsItIs(nand, b);
        }
        if ((r = file.Read(block, n, &failed)) == 0) {
            nand.reporter.MarkBlock(block, BlockState::kRead);
            nand.reporter.units_done += n;
            nand.reporter.UpdateProgress();
        }
    }
    if (r == 0) {
        r = file.Finish(&failed);
    }
    if (r == code::kFileNotCreated) {
        return file.CannotWriteFile();
    }
    if (r != 0) {
        nand.reporter.MarkBlock(failed, BlockState::kFailed);
        if (nand.Aborted()) {
            return nand.result();
        }
        // No text of the loader's own says which block ended the read.
        const std::string detail = TrimLineBreaks(nand.attempt.text);
        nand.attempt.text =
            Format("Block %d could not be read, #%d", failed, result::BlockReadFailure(r)) +
            (detail.empty() ? "" : ": " + detail);
        nand.reporter.WriteLog("\n" + nand.attempt.text + "\n");
        return result::BlockReadFailure(r);
    }
    return 0;
}

}  // namespace

int ReadBlock(NandSession& nand, std::span<uint8_t> buffer, int block, bool with_spare,
              const std::function<void()>& meanwhile, uint32_t* unchecked) {
    TargetLink& link = nand.link();
    const uint32_t pages = PagesPerBlock(nand);
    const uint32_t bytes_per_page = BytesPerPage(nand, with_spare);
    const CommandFrame frame(kCmdReadBlock, {static_cast<uint32_t>(block), pages, bytes_per_page});
    const auto data = buffer.first(size_t{pages} * bytes_per_page);
    link.PurgeInput();
    link.SendCommand(frame.span(), data.size() + kFrameSize,
                     AnswerMs(nand, nand.timings().response_ms, data.size() + 2 * kFrameSize),
                     meanwhile);
    // Each piece is due its own wire time after the one before it.
    const int page_ms = AnswerMs(nand, nand.timings().response_ms, bytes_per_page + kFrameSize);
    for (uint32_t k = 0; k < pages; ++k) {
        if (link.Receive(data.subspan(size_t{k} * bytes_per_page, bytes_per_page), page_ms) != 0) {
            return result::BlockPageMissing(static_cast<int>(k));
        }
    }
    ResponseFrame response;
    const Reply reply =
        AwaitAnswer(link, response, AnswerMs(nand, nand.timings().response_ms, kFrameSize));
    if (reply.kind != Reply::kGood) {
        return reply.kind == Reply::kMissing ? code::kBlockNoAnswer : code::kBlockBadAnswer;
    }
    const uint32_t expected = response.data_checksum();
    if (unchecked) {
        *unchecked = expected;
        return 0;
    }
    if (expected != kNoChecksum && Crc32(data) != expected) {
        return code::kBlockCrcMismatch;
    }
    return 0;
}

int ReadPage(NandSession& nand, std::span<uint8_t> buffer, int block, int page, uint32_t count) {
    TargetLink& link = nand.link();
    const uint32_t bytes = std::min<uint32_t>(count, BytesPerPage(nand, true));
    const CommandFrame frame(kCmdReadPage,
                             {static_cast<uint32_t>(block), static_cast<uint32_t>(page), bytes});
    link.PurgeInput();
    // The response frame is an answer of its own (its last packet is short); the
    // page's bytes follow it.
    link.SendCommand(frame.span(), kFrameSize,
                     AnswerMs(nand, nand.timings().response_ms, 2 * kFrameSize), {});
    ResponseFrame response;
    const Reply reply =
        AwaitAnswer(link, response, AnswerMs(nand, nand.timings().response_ms, 2 * kFrameSize));
    if (reply.kind != Reply::kGood) {
        return reply.kind == Reply::kMissing ? code::kPageNoAnswer : code::kPageBadAnswer;
    }
    const auto data = buffer.first(bytes);
    if (link.Receive(data, AnswerMs(nand, nand.timings().response_ms, bytes)) != 0) {
        return code::kPageDataMissing;
    }
    const uint32_t expected = response.data_checksum();
    if (expected != kNoChecksum && Crc32(data) != expected) {
        return code::kPageCrcMismatch;
    }
    return 0;
}

std::string PartitionFileName(int number, const std::array<uint8_t, 8>& name) {
    std::string text = Format("parti_%02d_", number);
    for (const uint8_t c : name) {
        if (c == 0) {
            break;
        }
        const bool unsafe = c < 0x20 || c > 0x7E || c == '/' || c == '\\';
        text += unsafe ? '_' : static_cast<char>(c);
    }
    return text;
}

int ReadBootTable(NandSession& nand, int mode) {
    std::vector<uint8_t> block0(BlockSize(nand));
    if (const int e = ReadBlockZero(nand, block0); e != 0) {
        return result::BootTableReadFailure(e);
    }
    BootTable table;
    if (const int r = ParseBootBlock(block0, table); r != 0) {
        return r;
    }
    TargetPartitionRecords& records = nand.chip().records;
    records.boot_version = table.version;
    records.partition_count = 0;
    records.classic.fill(0xFF);
    records.v3.fill(0xFF);
    for (int k = 0; k < kBootRecords; ++k) {
        if (table.version == 3) {
            std::copy_n(
                block0.begin() + static_cast<std::ptrdiff_t>(kV3RecordBase - kV3RecordSize * k),
                kV3RecordSize, records.v3.begin() + k * TargetPartitionRecords::kV3Size);
        } else {
            std::copy_n(block0.begin() + static_cast<std::ptrdiff_t>(kClassicRecordBase -
                                                                     kClassicRecordSize * k),
                        kClassicRecordSize,
                        records.classic.begin() + k * TargetPartitionRecords::kClassicSize);
        }
    }
    records.partition_count = static_cast<uint32_t>(table.partition_count);
    if (mode != kReportMode) {
        return 0;
    }
    const std::string text = UploadReportText(table, BlockSize(nand));
    const std::string path = nand.folder() + "upload.ptt";
    ReadOutput file(nand, path);
    if (!file || !Append(file.get(), reinterpret_cast<const uint8_t*>(text.data()), text.size())) {
        return file.CannotWriteFile();
    }
    return file.Finish();
}

int ReadBootArea(NandSession& nand) {
    const std::string path = nand.folder() + "boot_nand.bin";
    ReadOutput file(nand, path);
    if (!file) {
        return file.CannotWriteFile();
    }
    const auto page = static_cast<uint32_t>(nand.chip().geometry.page_size);
    // A block smaller than the boot area is read whole, never past its end.
    uint32_t remaining = std::min(kBootAreaBytes, BlockSize(nand));
    std::vector<uint8_t> buffer(page);
    SecondOpinion opinion;
    for (int k = 0; remaining > 0; ++k) {
        if (nand.Aborted()) {
            return nand.result();
        }
        const uint32_t bytes = std::min(page, remaining);
        const SecondOpinion::Read read = [&](std::span<uint8_t> into) {
            return RetryOnce(nand, Format("Read block #0 page %d", k),
                             [&] { return ReadPage(nand, into, 0, k, bytes); });
        };
        int c = read(buffer);
        if (c == 0 && nand.read_twice()) {
            c = opinion.Confirm(nand, std::span(buffer).first(bytes), 0, read);
        }
        if (c != 0) {
            nand.reporter.MarkBlock(0, BlockState::kFailed);
            return result::PageReadFailure(c);
        }
        if (!Append(file.get(), buffer.data(), bytes)) {
            return file.CannotWriteFile();
        }
        nand.reporter.MarkBlock(0, BlockState::kRead);
        nand.reporter.units_done += bytes;
        nand.reporter.UpdateProgress();
        remaining -= bytes;
    }
    return file.Finish();
}

int ReadPartitionToFile(NandSession& nand, int i, int* failed_block) {
    const bool v3 = nand.chip().records.boot_version == 3;
    const PartitionRecord rec =
        v3 ? V3Record(nand.chip().records, i) : ClassicRecord(nand.chip().records, i);
    const uint32_t size = BlockSize(nand);
    const int first = static_cast<int>(rec.offset / size);
    const int end = first + static_cast<int>(rec.size / size);
    uint32_t remaining = v3 ? rec.size : rec.content_size;
    const bool with_spare =
        v3 ? static_cast<int32_t>(rec.id) >= 0x71 : static_cast<int8_t>(rec.name[0]) >= 0x71;
    const std::string path = nand.folder() + PartitionFileName(i + 1, rec.name);
    BlockStream file(nand, path, with_spare);
    if (!file.Ok()) {
        return file.CannotWriteFile();
    }
    int b = first;
    int result = 0;
    int failed = -1;
    while (remaining > 0 && file.Ok()) {
        if (nand.Aborted()) {
            result = nand.result();
            break;
        }
        if (b >= end) {
            result = code::kPastLastBlock;
            break;
        }
        int block = b;
        if (!nand.chip().IbtGood(b)) {
            if (!nand.chip().record.Present()) {
                ++b;  // no record: the bad block holds nothing of the partition
                continue;
            }
            block = MappedBlock(nand, b);
            if (block == b) {
                NoteReadAsItIs(nand, b);
            }
        }
        const uint32_t m = std::min<uint32_t>(remaining, static_cast<uint32_t>(file.block_bytes()));
        if (const int r = file.Read(block, m, &failed); r != 0) {
            result = nand.Aborted() ? nand.result() : result::BlockReadFailure(r);
            break;
        }
        remaining -= m;
        nand.reporter.MarkBlock(block, BlockState::kRead);
        nand.reporter.units_done += m;
        nand.reporter.UpdateProgress();
        ++b;
    }
    if (result == 0) {
        if (const int r = file.Finish(&failed); r == code::kFileNotCreated) {
            return file.CannotWriteFile();
        } else if (r != 0) {
            result = nand.Aborted() ? nand.result() : result::BlockReadFailure(r);
        }
    }
    if (result != 0) {
        nand.reporter.MarkBlock(failed >= 0 ? failed : b, BlockState::kFailed);
        if (failed_block != nullptr) {
            *failed_block = failed;
        }
    }
    return result;
}

int ReadPartitions(NandSession& nand) {
    Reporter& reporter = nand.reporter;
    // "aprameter" is kept as phones' tools and logs know it.
    reporter.SetStatus("Get nand flash aprameter...");
    if (const int c = ReadBootTable(nand, kReportMode); c != 0) {
        nand.attempt.inner = c;
        if (c != result::boot_table::kReportNotWritten) {  // a file keeps its own text
            nand.attempt.text = Format("Read flash parameter error #%d", c);
        }
        return code::kBootTableFailed;
    }
    const bool v3 = nand.chip().records.boot_version == 3;
    const int count = static_cast<int>(nand.chip().records.partition_count);
    uint64_t total = std::min(kBootAreaBytes, BlockSize(nand));
    for (int i = 0; i < count; ++i) {
        total += v3 ? V3Record(nand.chip().records, i).size
                    : ClassicRecord(nand.chip().records, i).content_size;
    }
    reporter.units_total = total;
    reporter.units_done = 0;
    reporter.SetStatus("Read NAND_BOOT...");
    if (const int c = ReadBootArea(nand); c != 0) {
        if (nand.Aborted()) {
            return nand.result();
        }
        nand.attempt.inner = c;
        ReportFailure(
            nand,
            c == code::kFileNotCreated ? nand.attempt.text : Format("Read BOOT_NAND error #%d", c),
            false);
        return code::kBootAreaFailed;
    }
    for (int i = 0; i < count; ++i) {
        reporter.SetStatus(Format("Read partition_#%02d...", i + 1));
        nand.attempt.text.clear();
        int failed = -1;
        if (const int c = ReadPartitionToFile(nand, i, &failed); c != 0) {
            if (nand.Aborted()) {
                return nand.result();
            }
            nand.attempt.inner = c;
            if (c != code::kFileNotCreated) {  // a file that cannot be written keeps its own text
                // The block that failed, and what the read said of it.
                const std::string detail = TrimLineBreaks(nand.attempt.text);
                nand.attempt.text = Format("Read Partition%d error #%d", i + 1, c) +
                                    (failed >= 0 ? Format(", block %d", failed) : std::string()) +
                                    (detail.empty() ? "" : ": " + detail);
            }
            ReportFailure(nand, nand.attempt.text, false);
            return result::PartitionReadFailure(i);
        }
    }
    return nand.result();
}

int ReadBlockListToFile(NandSession& nand, const std::string& path, const std::vector<int>& blocks,
                        bool with_spare, int* failed) {
    BlockStream file(nand, path, with_spare);
    if (!file.Ok()) {
        return file.CannotWriteFile();
    }
    const size_t n = file.block_bytes();
    int r = 0;
    for (size_t i = 0; i < blocks.size() && file.Ok() && r == 0; ++i) {
        if (nand.Aborted()) {
            return nand.result();
        }
        if ((r = file.Read(blocks[i], n, failed)) == 0) {
            nand.reporter.MarkBlock(blocks[i], BlockState::kRead);
            nand.reporter.units_done += n;
            nand.reporter.UpdateProgress();
        }
    }
    if (r == 0) {
        r = file.Finish(failed);
    }
    if (r == code::kFileNotCreated) {
        return file.CannotWriteFile();
    }
    if (r != 0) {
        nand.reporter.MarkBlock(*failed, BlockState::kFailed);
        return nand.Aborted() ? nand.result() : result::BlockReadFailure(r);
    }
    return 0;
}

int ReadEeromArea(NandSession& nand, const std::string& path, bool with_spare) {
    const int blocks = nand.chip().geometry.block_count;
    if (blocks < kEeromBlocks) {
        // Nothing to read, but the file is still made, as the operator was told.
        return ReadOutput(nand, path).Finish();
    }
    // Blocks as they are: the reservoir and the record copies are part of the area.
    return ReadBlocksToFile(nand, path, blocks - kEeromBlocks, blocks, with_spare,
                            [](int b) { return b; });
}

int ReadBlockRange(NandSession& nand, const std::string& path, int first, int end,
                   bool with_spare) {
    if (first > end) {
        first = end;
    }
    end = std::min(end, nand.chip().geometry.block_count);
    first = std::clamp(first, 0, std::max(end, 0));
    return ReadBlocksToFile(nand, path, first, end, with_spare, [&nand](int b) {
        return nand.chip().record.Present() ? MappedBlock(nand, b) : b;
    });
}

}  // namespace velmora
