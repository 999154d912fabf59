#include "base/reporter.h"

#include "base/tick.h"

namespace velmora {

std::string_view PhaseName(Phase phase) {
    switch (phase) {
        case Phase::kConnect:
            return "connect";
        case Phase::kErase:
            return "erase";
        case Phase::kWrite:
            return "write";
        case Phase::kBootBlock:
            return "boot block";
        case Phase::kRead:
            return "read";
        case Phase::kEraseRange:
            return "erase range";
        case Phase::kBackup:
            return "backup";
        case Phase::kVerify:
            return "verify";
    }
    return "?";
}

std::string_view StateName(BlockState state) {
    switch (state) {
        case BlockState::kErased:
            return "erased";
        case BlockState::kProgrammed:
            return "programmed";
        case BlockState::kRead:
            return "read";
        case BlockState::kBad:
            return "bad";
        case BlockState::kReplaced:
            return "replaced";
        case BlockState::kSkipped:
            return "skipped";
        case BlockState::kEraseFailed:
            return "erase failed";
        case BlockState::kFailed:
            return "failed";
    }
    return "?";
}

Reporter::Reporter(EventSink* sink, bool debug) : sink_(sink), debug_(debug) {}

void Reporter::SetStatus(const std::string& text) {
    if (sink_)
        sink_->OnStatus(text);
}

void Reporter::ShowStepMessage(const std::string& text) {
    if (debug_ && sink_)
        sink_->OnStepMessage(text);
}

void Reporter::SetPhase(Phase phase) {
    if (sink_)
        sink_->OnPhase(phase);
}

void Reporter::SetProgress(uint64_t done, uint64_t total) {
    if (sink_)
        sink_->OnProgress(done, total);
}

void Reporter::UpdateProgress() {
    SetProgress(units_done, units_total);
    ShowElapsed(TicksSince(start_tick));
}

void Reporter::ShowElapsed(uint32_t milliseconds) {
    if (sink_)
        sink_->OnElapsed(milliseconds);
}

void Reporter::ClearElapsed() {
    if (sink_)
        sink_->OnElapsed(std::nullopt);
}

void Reporter::SetChip(const std::array<uint8_t, 4>& id) {
    if (sink_)
        sink_->OnChip(id);
}

void Reporter::SetUsbDevice(const std::string& path, uint16_t vendor, uint16_t product) {
    if (sink_)
        sink_->OnUsbDevice(path, vendor, product);
}

void Reporter::InitBlockMap(int block_count, uint32_t block_size) {
    block_count_ = block_count > 0 ? block_count : 0;
    if (sink_)
        sink_->OnBlockMap(block_count_, block_size);
}

void Reporter::ResetBlockMap() {
    block_count_ = 0;
    if (sink_) {
        sink_->OnBlockMap(0, 0);
        sink_->OnChip(std::nullopt);
    }
}

void Reporter::MarkBlock(int block, BlockState state) {
    if (block >= 0 && block < block_count_ && sink_)
        sink_->OnBlock(block, state);
}

void Reporter::FileWritten(const std::string& path) {
    if (sink_)
        sink_->OnFile(path);
}

void Reporter::End(const JobEnd& end) {
    if (sink_)
        sink_->OnEnd(end);
}

int Reporter::OpenLog(const std::string& path) {
    if (log_) {
        return 0;
    }
    log_ = OpenOutputFile(path);
    return log_ ? 0 : 1;
}

void Reporter::WriteLog(std::string_view text) {
    if (!log_) {
        return;
    }
    std::fwrite(text.data(), 1, text.size(), log_.get());
    if (sink_)
        sink_->OnLog(std::string(text));
}

void Reporter::CloseLog() {
    log_.reset();
}

}  // namespace velmora
