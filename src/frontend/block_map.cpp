#include "frontend/block_map.h"

#include "base/text_format.h"

namespace velmora {

void BlockMap::Clear() {
    cells_.clear();
    columns_ = 0;
    top_row_ = 1;
}

void BlockMap::Init(int block_count, uint32_t block_size) {
    cells_.assign(block_count > 0 ? static_cast<size_t>(block_count) : 0, Row{});
    columns_ = kColumns;
    top_row_ = 1;
    for (size_t i = 0; i < cells_.size(); ++i) {
        cells_[i].cells[0] = std::to_string(i);
        cells_[i].cells[1] = Format("0x%08X", static_cast<uint32_t>(block_size * i));
    }
}

bool BlockMap::SetText(int block, int column, std::string text) {
    if (block < 0 || block >= block_count() || column < 0 || column >= columns_) {
        return false;
    }
    cells_[static_cast<size_t>(block)].cells[column] = std::move(text);
    return true;
}

bool BlockMap::Mark(int block, uint32_t colour) {
    if (block < 0 || block >= block_count()) {
        return false;
    }
    cells_[static_cast<size_t>(block)].colour = colour;
    top_row_ = TopRowFor(block);
    return true;
}

std::string BlockMap::Text(int row, int column) const {
    if (column < 0 || column >= columns_) {
        return {};
    }
    if (row == 0) {
        static const char* const kHeaders[kColumns] = {"BLOCK", "ADDRESS", "STATUS"};
        return kHeaders[column];
    }
    if (row < 1 || row > block_count()) {
        return {};
    }
    return cells_[static_cast<size_t>(row - 1)].cells[column];
}

std::optional<uint32_t> BlockMap::Colour(int block) const {
    if (block < 0 || block >= block_count()) {
        return std::nullopt;
    }
    return cells_[static_cast<size_t>(block)].colour;
}

}  // namespace velmora
