#pragma once
// The NAND chip catalogue FlashChip.ini: chip geometry by the first two ID bytes.
#include <cstdint>
#include <string>

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

// Chip ID text of the catalogue: "%02X,%02X" of maker and device code.
std::string ChipIdText(uint8_t maker, uint8_t device);

// Looks `chip_id` up in `folder`/FlashChip.ini (folder ends in '/').
// -1 when the file cannot be opened, else the number of the six keys not found.
// Found values are stored even when others are missing.
int LookupChip(const std::string& folder, const std::string& chip_id, NandGeometry& geometry);

// "配置文件：" + DATE + "(V" + VER + ")". -1 no file, 1 DATE or VER missing, 0 success.
int CatalogueVersionText(const std::string& folder, std::string& out);

}  // namespace velmora
