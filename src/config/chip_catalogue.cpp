#include "config/chip_catalogue.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "config/ini_store.h"

namespace velmora {

namespace {

bool OpenCatalogue(IniStore& ini, const std::string& folder) {
    ini.SetName(kCatalogueName);
    ini.SetFolder(folder);
    return ini.OpenForRead() != 0;
}

}  // namespace

std::string ChipIdText(uint8_t maker, uint8_t device) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X,%02X", maker, device);
    return text;
}

int LookupChip(const std::string& folder, const std::string& chip_id, NandGeometry& geometry) {
    IniStore ini;
    if (!OpenCatalogue(ini, folder)) {
        return -1;
    }
    // BLOCK_SIZE and PAGE_SIZE must stand in the chip's own section (a string
    // search stops at the next "["); the integer keys may come from any later
    // line. Identification relies on exactly this, including page size 0 being
    // stored as 0 rather than counted as missing.
    int missing = 0;
    int value = 0;
    std::string text;
    if (ini.GetInt(chip_id, "BLOCK_NUM", value)) {
        geometry.block_count = value;
    } else {
        ++missing;
    }
    if (ini.GetString(chip_id, "BLOCK_SIZE", text)) {
        // KiB to bytes; a size too large for the field is clamped so that the
        // geometry check rejects it instead of seeing a wrapped value.
        const int64_t bytes = static_cast<int64_t>(ParseDecimalInt(text)) * 1024;
        geometry.block_size = static_cast<int32_t>(std::clamp<int64_t>(
            bytes, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    } else {
        ++missing;
    }
    if (ini.GetString(chip_id, "PAGE_SIZE", text)) {
        geometry.page_size = ParseDecimalInt(text);
    } else {
        ++missing;
    }
    if (ini.GetInt(chip_id, "SPARE_SIZE", value)) {
        geometry.spare_size = value;
    } else {
        ++missing;
    }
    if (ini.GetInt(chip_id, "ERASE_TIME", value)) {
        geometry.erase_time = value;
    } else {
        ++missing;
    }
    if (ini.GetInt(chip_id, "WRITE_TIME", value)) {
        geometry.write_time = value;
    } else {
        ++missing;
    }
    ini.Close();
    return missing;
}

int CatalogueVersionText(const std::string& folder, std::string& out) {
    IniStore ini;
    if (!OpenCatalogue(ini, folder)) {
        return -1;
    }
    std::string date;
    std::string version;
    if (!ini.GetString("VERSION", "DATE", date) || !ini.GetString("VERSION", "VER", version)) {
        return 1;
    }
    out = "配置文件：" + date + "(V" + version + ")";
    ini.Close();
    return 0;
}

}  // namespace velmora
