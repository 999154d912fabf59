// The chip catalogue on arbitrary text. The first line names the chip to look up
// (as identification does with the two ID bytes); the rest is FlashChip.ini.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/results.h"
#include "config/chip_catalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const size_t end = text.find('\n');
    const std::string chip(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

    std::string problem;
    const int checked = velmora::CheckCatalogueText(text, "FlashChip.ini", problem);
    if ((checked == 0) != problem.empty() || (checked != 0 && checked != 1)) {
        __builtin_trap();
    }

    velmora::NandGeometry g;
    const int missing = velmora::LookupChipInText(text, chip, g);
    if (missing == velmora::result::catalogue::kValueOutOfRange) {
        return 0;
    }
    if (missing < 0 || missing > 6) {
        __builtin_trap();
    }
    // A value that passed the lookup's limits is one the program can hold.
    if (g.block_count < 0 || g.block_count > velmora::kChipMaxBlocks || g.block_size < 0 ||
        g.block_size > velmora::kChipMaxBlockSize || g.page_size < 0 ||
        g.page_size > velmora::kChipMaxPageSize || g.spare_size < 0 ||
        g.spare_size > velmora::kChipMaxSpareSize ||
        int64_t{g.block_count} * g.block_size > velmora::kChipMaxBytes) {
        __builtin_trap();
    }
    if (missing == 0 && velmora::CheckChipGeometry(g, problem) == 0) {
        // What identification and the block map then work out from it.
        const int32_t pages = g.block_size / g.page_size;
        const int64_t raw_block = int64_t{pages} * (g.page_size + g.spare_size);
        if (pages <= 0 || raw_block <= 0 || g.block_count < velmora::kChipMinBlocks) {
            __builtin_trap();
        }
    }
    return 0;
}
