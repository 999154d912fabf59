#include "frontend/display.h"

#include "base/text_format.h"

namespace velmora {

uint32_t BarColour(Phase phase) {
    return phase == Phase::kErase ? kBarPink : kBarBlue;
}

std::optional<uint32_t> RowColour(BlockState state) {
    switch (state) {
        case BlockState::kErased:
            return kBlockErased;
        case BlockState::kProgrammed:
            return kBlockProgrammed;
        case BlockState::kRead:
            return kBlockRead;
        case BlockState::kEraseFailed:
        case BlockState::kFailed:
            return kBlockFailed;
        case BlockState::kBad:
        case BlockState::kReplaced:
        case BlockState::kSkipped:
            break;
    }
    return std::nullopt;
}

std::string_view CellText(BlockState state) {
    switch (state) {
        case BlockState::kErased:
            return "G";
        case BlockState::kBad:
        case BlockState::kReplaced:
        case BlockState::kSkipped:
        case BlockState::kEraseFailed:
            return "NG";
        case BlockState::kProgrammed:
        case BlockState::kRead:
        case BlockState::kFailed:
            break;
    }
    return {};
}

std::string ChipText(const std::array<uint8_t, 4>& id) {
    // A chip that repeats its two ID bytes shows only those two.
    if (id[2] == id[0] || id[3] == id[1]) {
        return Format(" %02X, %02X", id[0], id[1]);
    }
    return Format(" %02X, %02X, %02X, %02X", id[0], id[1], id[2], id[3]);
}

std::string ElapsedText(LinkKind link, uint32_t milliseconds) {
    if (link == LinkKind::kUsb) {
        return Format("%3.2f S", milliseconds * 0.001);
    }
    return Format("%u秒", milliseconds / 1000);
}

int PercentOf(uint64_t done, uint64_t total) {
    if (total == 0) {
        return 0;
    }
    const auto percent =
        static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total));
    return percent < 0 ? 0 : percent > 100 ? 100 : percent;
}

void DisplayAdapter::OnStatus(const std::string& text) {
    display_.OnStatus(text);
}

void DisplayAdapter::OnPhase(Phase phase) {
    // Until the phone runs its loader the bar counts steps, not a percentage.
    display_.OnPercentDisplay(phase != Phase::kConnect);
    display_.OnBarColour(BarColour(phase));
}

void DisplayAdapter::OnProgress(uint64_t done, uint64_t total) {
    display_.OnProgress(PercentOf(done, total));
}

void DisplayAdapter::OnElapsed(std::optional<uint32_t> milliseconds) {
    display_.OnElapsed(milliseconds ? ElapsedText(link_, *milliseconds) : std::string());
}

void DisplayAdapter::OnChip(const std::optional<std::array<uint8_t, 4>>& id) {
    display_.OnChipInfo(id ? ChipText(*id) : std::string());
}

void DisplayAdapter::OnBlockMap(int block_count, uint32_t block_size) {
    if (block_count <= 0) {
        map_.Clear();
        display_.OnBlockMapClear();
        return;
    }
    map_.Init(block_count, block_size);
    display_.OnBlockMapInit(block_count, block_size);
}

void DisplayAdapter::OnBlock(int block, BlockState state) {
    if (const auto colour = RowColour(state); colour && map_.Mark(block, *colour)) {
        display_.OnBlockColour(block, *colour, map_.top_row());
    }
    if (const std::string_view text = CellText(state);
        !text.empty() && map_.SetText(block, kStatusColumn, std::string(text))) {
        display_.OnBlockText(block, kStatusColumn, std::string(text));
    }
}

void DisplayAdapter::OnStepMessage(const std::string& text) {
    display_.OnStepMessage(text);
}

void DisplayAdapter::OnLog(const std::string& text) {
    display_.OnLog(text);
}

void DisplayAdapter::OnEnd(const JobEnd& end) {
    if (end.result == 0) {
        display_.OnBarColour(kBarGreen);
        display_.OnProgress(100);
    } else if (!end.user_stopped) {
        display_.OnPercentDisplay(false);
        if (link_ == LinkKind::kUsb) {
            display_.OnBarText("");
            display_.OnBarColour(kBarRedUsb);
        } else {
            display_.OnBarColour(kBarRedSerial);
        }
        display_.OnProgress(100);
    }
}

}  // namespace velmora
