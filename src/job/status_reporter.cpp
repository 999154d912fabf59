#include "job/status_reporter.h"

#include "base/output_file.h"
#include "base/text_format.h"
#include "base/tick.h"

namespace velmora {

int PercentOf(uint64_t done, uint64_t total) {
    if (total == 0) {
        return 0;
    }
    return static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total));
}

StatusReporter::StatusReporter(JobDisplay* display, LinkKind link, bool debug)
    : display_(display), link_(link), debug_(debug) {}

StatusReporter::~StatusReporter() = default;

void StatusReporter::SetStatus(const std::string& text) {
    if (display_)
        display_->OnStatus(text);
}

void StatusReporter::ShowStepMessage(const std::string& text) {
    if (debug_ && display_)
        display_->OnStepMessage(text);
}

void StatusReporter::SetProgress(int percent) {
    if (display_)
        display_->OnProgress(percent < 0 ? 0 : percent > 100 ? 100 : percent);
}

void StatusReporter::SetBarColour(uint32_t colour) {
    if (display_)
        display_->OnBarColour(colour);
}

void StatusReporter::SetPercentDisplay(bool on) {
    if (display_)
        display_->OnPercentDisplay(on);
}

void StatusReporter::MarkJobFailed() {
    SetPercentDisplay(false);
    if (link_ == LinkKind::kUsb) {
        if (display_)
            display_->OnBarText("");
        SetBarColour(kBarRedUsb);
    } else {
        SetBarColour(kBarRedSerial);
    }
    SetProgress(100);
    failed_mark_ = true;
}

void StatusReporter::ShowElapsed(uint32_t milliseconds) {
    if (!display_)
        return;
    if (link_ == LinkKind::kUsb) {
        display_->OnElapsed(Format("%3.2f S", milliseconds * 0.001));
    } else {
        display_->OnElapsed(Format("%u秒", milliseconds / 1000));
    }
}

void StatusReporter::ClearElapsed() {
    if (display_)
        display_->OnElapsed("");
}

void StatusReporter::SetChipInfo(const std::string& text) {
    if (display_)
        display_->OnChipInfo(text);
}

void StatusReporter::UpdateProgress() {
    SetProgress(PercentOf(units_done, units_total));
    ShowElapsed(TicksSince(start_tick));
}

void StatusReporter::ResetBlockMap() {
    block_map_.Clear();
    if (display_) {
        display_->OnBlockMapClear();
        display_->OnChipInfo("");
    }
}

void StatusReporter::InitBlockMap(int block_count, uint32_t block_size) {
    block_map_.Init(block_count, block_size);
    if (display_)
        display_->OnBlockMapInit(block_count, block_size);
}

void StatusReporter::SetBlockText(int block, int column, const std::string& text) {
    if (block_map_.SetText(block, column, text) && display_) {
        display_->OnBlockText(block, column, text);
    }
}

void StatusReporter::MarkBlock(int block, uint32_t colour) {
    if (block_map_.Mark(block, colour) && display_) {
        display_->OnBlockColour(block, colour, block_map_.top_row());
    }
}

int StatusReporter::OpenLog(const std::string& path) {
    if (log_) {
        return 0;
    }
    log_ = OpenOutputFile(path);
    return log_ ? 0 : 1;
}

void StatusReporter::WriteLog(std::string_view text) {
    if (!log_) {
        return;
    }
    std::fwrite(text.data(), 1, text.size(), log_.get());
    if (display_)
        display_->OnLog(std::string(text));
}

void StatusReporter::CloseLog() {
    log_.reset();
}

}  // namespace velmora
