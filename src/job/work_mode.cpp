#include "job/work_mode.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>

#include "base/results.h"
#include "base/text_format.h"
#include "base/tick.h"
#include "flash/identify.h"
#include "flash/nand_internal.h"
#include "flash/nand_operations.h"
#include "flash/target_protocol.h"
#include "flash/upgrade_check.h"
#include "job/download_job.h"
#include "safety/safety_net.h"

namespace velmora {
namespace {

constexpr int kBootTableToJob = 0x1F;  // read the phone's table into the job only

// Blocks of the specified area: every block the byte range touches.
BlockRange AreaRange(const DownloadJob& job) {
    const auto size = static_cast<uint32_t>(job.chip().geometry.block_size);
    return {static_cast<int>(job.range_start / size), static_cast<int>(job.range_end / size + 1)};
}

// An area that starts past the chip's last block holds nothing: read, it would
// give an empty file with success. (One that only ends past it stops at the last
// block.)
int CheckAreaInChip(DownloadJob& job, BlockRange range, const char* nothing_done) {
    const int blocks = job.chip().geometry.block_count;
    if (range.first < blocks) {
        return 0;
    }
    const uint64_t bytes =
        static_cast<uint64_t>(job.chip().geometry.block_size) * static_cast<uint64_t>(blocks);
    job.attempt.text = Format(
        "The area 0x%X to 0x%X starts beyond the chip, which holds %llu MiB (0x%llX bytes, "
        "blocks 0 to %d). %s",
        job.range_start, job.range_end, static_cast<unsigned long long>(bytes >> 20),
        static_cast<unsigned long long>(bytes), blocks - 1, nothing_done);
    job.reporter.WriteLog("\n" + job.attempt.text + "\n");
    return result::read_back::kAreaPastChip;
}

// The operator's answer, shared with whoever gives it: that may come after the
// job has ended.
class Answer {
  public:
    Answer() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Answer() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Answer(const Answer&) = delete;
    Answer& operator=(const Answer&) = delete;

    void Give(bool yes) {
        yes_.store(yes ? 1 : 0);
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
    }
    // The answer, or none once the job is stopped. A person takes the time they
    // need: no deadline, but a Stop ends the wait at once.
    std::optional<bool> Wait(const JobFlags& flags) const {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {flags.event_fd(), POLLIN, 0}};
        for (;;) {
            if (flags.Aborted()) {
                return std::nullopt;
            }
            if (const int yes = yes_.load(); yes >= 0) {
                return yes == 1;
            }
            ::poll(fds, 2, fd_ >= 0 ? -1 : 50);  // without its own descriptor: look again
        }
    }

  private:
    int fd_;
    std::atomic<int> yes_{-1};
};

std::optional<bool> AskOperator(DownloadJob& job, const AreaQuestion& question) {
    auto answer = std::make_shared<Answer>();
    job.ask_area(question, [answer](bool yes) { answer->Give(yes); });
    return answer->Wait(job);
}

// A specified-area erase that reaches block 0 or the EEROM and reservoir needs
// the operator's confirmation; the blocks are known only now.
int CheckAreaErase(DownloadJob& job, BlockRange range) {
    const int blocks = job.chip().geometry.block_count;
    const int top = blocks - kEeromBlocks;
    AreaQuestion question;
    question.start = job.range_start;
    question.end = job.range_end;
    question.first = range.first;
    question.last = std::min(range.end, blocks) - 1;
    question.boot = range.first == 0;
    if (range.end > top) {
        question.eerom_first = std::max(top, range.first);
        question.eerom_last = blocks - 1;
    }
    const bool eerom = question.eerom_first >= 0;
    if (job.area_confirmed || (!question.boot && !eerom)) {
        return 0;
    }
    if (job.ask_area) {
        const std::optional<bool> yes = AskOperator(job, question);
        if (!yes) {
            return job.result();  // stopped while the question was open
        }
        if (*yes) {
            return 0;
        }
    }
    std::string what = question.boot ? "block 0 (the boot block)" : "";
    if (eerom) {
        what += std::string(question.boot ? " and " : "") +
                Format("blocks %d to %d (the EEROM and reservoir)", top, blocks - 1);
    }
    job.attempt.text =
        Format("The area 0x%X to 0x%X covers blocks %d to %d, which include ", job.range_start,
               job.range_end, question.first, question.last) +
        what +
        (job.ask_area ? ": the erase was not confirmed. Nothing was erased."
                      : ": erasing it needs confirmation (--yes). Nothing was erased.");
    job.reporter.WriteLog("\n" + job.attempt.text + "\n");
    return result::erase_mode::kAreaNotConfirmed;
}

int CodeUpgrade(DownloadJob& job) {
    job.reporter.SetStatus("代码升级！");
    job.EnterStep(JobStep::kUpgrade);
    if (const int r = CheckUpgrade(job, job.table); r != 0) {
        return job.FailWith(r);
    }
    if (const int r = BackUpBeforeWrite(job, {}); r != 0) {
        return job.FailWith(r);
    }
    job.TrackWrites(job.verify);
    // A chip the record cannot map gets none: its bad blocks are skipped instead.
    if (!job.chip().record.Present() && RecordMapsBadBlocks(job)) {
        job.EnterStep(JobStep::kRecordBuild);
        if (const int r = BuildManagementRecord(job); r != 0) {
            return job.FailWith(r);
        }
        job.EnterStep(JobStep::kUpgrade);
    }
    if (const int r =
            DownloadPartitions(job, job.table, job.upgrade_range() == UpgradeRange::kCode);
        r != 0 || job.Stopped()) {
        return job.FailWith(r);
    }
    return job.FailWith(VerifyAfterWrite(job));
}

int ReadCode(DownloadJob& job) {
    job.EnterStep(JobStep::kRead);
    switch (job.read_range()) {
        case ReadRange::kPartitionTable:
            job.reporter.SetStatus("读取FLASH数据！");
            return job.FailWith(ReadPartitions(job));
        case ReadRange::kEerom:
            job.reporter.SetStatus("读取EEROM数据！");
            return job.FailWith(ReadEeromArea(job, job.job_file_path, false));
        case ReadRange::kArea:
        default: {
            job.reporter.SetStatus("读取FLASH数据！");
            const BlockRange range = AreaRange(job);
            if (const int r = CheckAreaInChip(job, range, "Nothing was read."); r != 0) {
                return job.FailWith(r);
            }
            return job.FailWith(
                ReadBlockRange(job, job.job_file_path, range.first, range.end, false));
        }
    }
}

// The code-area end block from the phone's own partition table. A table with no
// partition above offset 0 gives no code area: the erase fails and nothing is
// erased rather than guessing.
int CodeAreaEnd(DownloadJob& job, int& end_block) {
    if (const int code = ReadBootTable(job, kBootTableToJob); code != 0) {
        // The operation may have said more than the code; keep its text then.
        if (job.attempt.text.empty()) {
            job.attempt.text = Format("Read flash parameter error #%d", code);
        }
        job.reporter.WriteLog(job.attempt.text);
        return code;
    }
    end_block = CodeAreaEndBlock(job);
    if (end_block < 0) {
        job.attempt.text =
            "The phone's partition table has no partition above offset 0: the code area is "
            "unknown, nothing was erased!";
        job.reporter.WriteLog("\n" + job.attempt.text + "\n");
        return result::erase_mode::kNoCodeArea;
    }
    return 0;
}

int Erase(DownloadJob& job) {
    job.EnterStep(JobStep::kErase);
    job.reporter.SetStatus("ERASE FLASH!");
    const int blocks = job.chip().geometry.block_count;
    BlockRange range;
    switch (job.erase_range()) {
        case EraseRange::kFileSystem: {
            int k = 0;
            if (const int code = CodeAreaEnd(job, k); code != 0)
                return job.FailWith(code);
            range = {k, blocks - 74};
            break;
        }
        case EraseRange::kArea:
            range = AreaRange(job);
            if (const int r = CheckAreaInChip(job, range, "Nothing was erased."); r != 0) {
                return job.FailWith(r);
            }
            if (const int r = CheckAreaErase(job, range); r != 0) {
                return job.FailWith(r);
            }
            break;
        case EraseRange::kCode: {
            int k = 0;
            if (const int code = CodeAreaEnd(job, k); code != 0)
                return job.FailWith(code);
            range = {0, k};
            break;
        }
        case EraseRange::kAll:
            range = {0, blocks - 74};
            break;
        case EraseRange::kEerom:
            range = EeromRange(blocks);
            break;
        default:
            // No front end offers another range; one that came anyway erases nothing.
            // "Rang" is kept as phones' tools and logs know it.
            job.attempt.text = Format("Erase Rang error #%d", static_cast<int>(job.erase_range()));
            job.reporter.WriteLog("\n" + job.attempt.text);
            return job.FailWith(result::erase_mode::kUnknownRange);
    }
    if (const int r = job.result(); r != 0) {
        return r;
    }
    if (const int r = BackUpBeforeWrite(job, range); r != 0) {
        return job.FailWith(r);
    }
    return job.FailWith(EraseBlockRange(job, range.first, range.end));
}

}  // namespace

int FailStep(DownloadJob& job, int result, int inner) {
    if (!job.Stopped()) {
        job.reporter.ShowStepMessage(job.attempt.text);
    }
    Outcome said = job.attempt;
    said.code = result;
    said.inner = inner;
    return job.Fail(std::move(said));
}

int RunTargetSteps(DownloadJob& job, const TargetStepResults& results) {
    Reporter& reporter = job.reporter;
    reporter.SetStatus("Get Flash information!");
    job.EnterStep(JobStep::kIdentify);
    if (const int r = IdentifyNand(job); r != 0) {
        return FailStep(job, results.identify, r);
    }
    if (results.ibt_status) {
        reporter.SetStatus(results.ibt_status);
    }
    job.EnterStep(JobStep::kIbt);
    if (const int r = GetIbt(job); r != 0) {
        return FailStep(job, results.ibt, r);
    }
    job.EnterStep(JobStep::kParameters);
    if (const int r = SetNandParameters(job); r != 0) {
        return FailStep(job, results.parameters, r);
    }
    // "MangrBlk" is kept as phones' tools and logs know it.
    reporter.SetStatus("Get MangrBlk!");
    job.EnterStep(JobStep::kRecord);
    if (const int m = ReadManagementRecord(job); m > 0) {
        job.attempt.text = Format("Get MangrBlk Fail, #%d!", m);
        return FailStep(job, results.record, m);
    }
    return 0;
}

BlockRange EeromRange(int block_count) {
    return {block_count - 74, block_count - block_count / 50 - 2};
}

int DispatchWorkMode(DownloadJob& job) {
    BuildTargetPartitionRecords(job, job.table);
    job.reporter.start_tick = TickCount();
    // The record of an upgrade is written before its erase begins.
    job.reporter.SetPhase(job.work_mode == WorkMode::kCodeUpgrade ? Phase::kWrite
                          : job.work_mode == WorkMode::kErase     ? Phase::kEraseRange
                          : job.work_mode == WorkMode::kRestore   ? Phase::kWrite
                          : job.work_mode == WorkMode::kBackup    ? Phase::kBackup
                                                                  : Phase::kRead);
    switch (job.work_mode) {
        case WorkMode::kBackup:
            return job.FailWith(RunBackup(job));
        case WorkMode::kRestore:
            return job.FailWith(RunRestore(job));
        case WorkMode::kHealth:
            return job.FailWith(RunHealth(job));
        case WorkMode::kCodeUpgrade:
            return CodeUpgrade(job);
        case WorkMode::kReadCode:
            return ReadCode(job);
        case WorkMode::kErase:
            return Erase(job);
    }
    return job.FailWith(result::download::kUnknownWorkMode);
}

}  // namespace velmora
