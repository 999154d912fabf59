#pragma once
// The block map as the window shows it: one row per NAND block under a header
// row, three columns (BLOCK, ADDRESS, STATUS), a back colour per row and a
// scroll position. A plain value type that a front end keeps on its thread.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// Colours are 0x00BBGGRR values.
inline constexpr uint32_t kBlockProgrammed = 0x00C000;  // green
inline constexpr uint32_t kBlockErased = 0xFF80FF;      // pink
inline constexpr uint32_t kBlockRead = 0x00C0C0;        // olive
inline constexpr uint32_t kBlockFailed = 0x1414C8;      // red
inline constexpr uint32_t kBlockMapForeColour = 0xC81414;
inline constexpr uint32_t kBlockMapBackground = 0x000000;

class BlockMap {
  public:
    static constexpr int kColumns = 3;
    static constexpr int kColumnWidths[kColumns] = {960, 1480, 960};  // twips, as a hint

    // Rows and columns to 0 (nothing shown).
    void Clear();
    // Header row plus one row per block: "BLOCK", "ADDRESS", "STATUS"; each row
    // block index in decimal, "0x%08X" of block × block_size (32-bit), empty status.
    void Init(int block_count, uint32_t block_size);
    // Cell text of block `block`; false (and nothing changed) outside the grid.
    bool SetText(int block, int column, std::string text);
    // Back colour of the whole row of `block` and the scroll position that keeps
    // it the fourth visible row; false (nothing changed) outside the grid.
    bool Mark(int block, uint32_t colour);

    // Rows including the header row; 0 after Clear.
    int rows() const { return columns_ == 0 ? 0 : static_cast<int>(cells_.size()) + 1; }
    int columns() const { return columns_; }
    int block_count() const { return static_cast<int>(cells_.size()); }
    // First visible data row (1-based grid row, as the grid's TopRow).
    int top_row() const { return top_row_; }
    // Text of grid row `row` (0 = header) and column; empty outside the grid.
    std::string Text(int row, int column) const;
    // Back colour of block `block`'s row; none when never marked.
    std::optional<uint32_t> Colour(int block) const;

    // Top row for a marked block: 1 for blocks 0 to 4, else block − 3.
    static int TopRowFor(int block) { return block <= 4 ? 1 : block - 3; }

  private:
    struct Row {
        std::string cells[kColumns];
        std::optional<uint32_t> colour;
    };
    std::vector<Row> cells_;
    int columns_ = 0;
    int top_row_ = 1;
};

}  // namespace velmora
