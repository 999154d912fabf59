#pragma once
// The NAND chip catalogue FlashChip.ini: chip geometry by the first two ID bytes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/results.h"

namespace velmora {

struct NandGeometry {
    int32_t block_count = 0;
    int32_t block_size = 0;  // bytes
    int32_t page_size = 0;   // bytes
    int32_t spare_size = 0;  // bytes per page
    int32_t erase_time = 0;  // as written in the catalogue (microseconds per block)
    int32_t write_time = 0;  // as written in the catalogue (microseconds per page)
};

// The catalogue file is kCatalogueName + ".ini" in the given folder.
inline constexpr const char* kCatalogueName = "FlashChip";

// What a catalogue entry may say. The IBT bitmap has 2048 bytes, one bit per
// block; below 76 blocks nothing is left between block 0 and the 74 blocks of
// the file-system / EEROM area; byte addresses are 32-bit and worked out signed
// in places, so a chip holds at most 2 GiB; a command carries 64 KiB of pages.
inline constexpr int32_t kChipMinBlocks = 76;
inline constexpr int32_t kChipMaxBlocks = 2048 * 8;
inline constexpr int32_t kChipMaxBlockSize = 4 * 1024 * 1024;  // bytes
inline constexpr int32_t kChipMaxPageSize = 16384;
inline constexpr int32_t kChipMaxSpareSize = 2048;
inline constexpr int32_t kChipMaxTime = 5'000'000;  // microseconds: 5 s per block or page
inline constexpr int64_t kChipMaxBytes = int64_t{1} << 31;

// Chip ID text of the catalogue: "%02X,%02X" of maker and device code.
std::string ChipIdText(uint8_t maker, uint8_t device);

// Looks `chip_id` up in `folder`/FlashChip.ini (folder ends in '/').
// -1 when the file cannot be opened; result::catalogue::kValueOutOfRange when a value lies
// outside the limits above, and then nothing is stored; else the number of the
// six keys not found, with the found values stored even when others are
// missing. The shape of a chip (page size non-zero and a multiple of 512, block
// size a multiple of 16 KiB and of the page size) is left to identification,
// which refuses it with its own code. `problem` (if given) names the key and
// its value when one is out of range.
int LookupChip(const std::string& folder, const std::string& chip_id, NandGeometry& geometry,
               std::string* problem = nullptr);
// The same on the catalogue's text.
int LookupChipInText(std::string_view text, const std::string& chip_id, NandGeometry& geometry);

// "配置文件：" + DATE + "(V" + VER + ")". -1 no file, 1 DATE or VER missing, 0 success.
int CatalogueVersionText(const std::string& folder, std::string& out);

// 0 when `g` is a geometry the program can work with: every value within the
// limits above, and the chip's shape as identification wants it. Else 1 and
// `problem` names the first key that is wrong, with its value and what it may be.
int CheckChipGeometry(const NandGeometry& g, std::string& problem);

// Checks the catalogue in `folder` before any phone is asked: the file can be
// read (-1 otherwise) and its [VERSION] has DATE and VER (1 otherwise). The
// chips' entries are not looked at: one the program cannot serve fails the
// identification of its own chip only. 0 when all is well; else `problem`
// names the file and what is wrong with it.
int CheckCatalogue(const std::string& folder, std::string& problem);
// The same on the catalogue's text; `path` names the file in `problem`.
int CheckCatalogueText(std::string_view text, const std::string& path, std::string& problem);

// One entry of the catalogue as identification would read it.
struct CatalogueChip {
    std::string id;  // the section name, "XX,YY"
    uint8_t maker = 0;
    uint8_t device = 0;
    NandGeometry geometry;
    std::string problem;  // why identification would refuse the entry; empty when it is served
};

// The chips listed in `folder`/FlashChip.ini, in file order (a section named
// twice counts once, as a lookup finds the first). -1 when the file cannot be
// read (`problem` says why), else 0.
int ListCatalogueChips(const std::string& folder, std::vector<CatalogueChip>& chips,
                       std::string& problem);

// The [VERSION] section's DATE and VER; false when either is missing.
bool ReadCatalogueVersion(const std::string& folder, std::string& date, std::string& version);

// The maker named by a chip's first ID byte, and the part named by both, for
// the chips the tool was made for; empty texts where the bytes tie to no
// name for certain.
struct ChipName {
    std::string maker;
    std::string part;
};
ChipName KnownChipName(uint8_t maker, uint8_t device);

}  // namespace velmora
