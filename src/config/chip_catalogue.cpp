#include "config/chip_catalogue.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <set>
#include <string_view>

#include "base/results.h"
#include "base/text_format.h"
#include "config/ini_store.h"

namespace velmora {

namespace {

namespace code = result::catalogue;

constexpr std::array<const char*, 6> kChipKeys = {"BLOCK_NUM",  "BLOCK_SIZE", "PAGE_SIZE",
                                                  "SPARE_SIZE", "ERASE_TIME", "WRITE_TIME"};

std::string CataloguePath(const std::string& folder) {
    IniStore ini;
    ini.SetName(kCatalogueName);
    ini.SetFolder(folder);
    return ini.folder() + ini.file_name();
}

bool OpenCatalogue(IniStore& ini, const std::string& folder) {
    ini.SetName(kCatalogueName);
    ini.SetFolder(folder);
    return ini.OpenForRead() != 0;
}

// Empty when low <= value <= high. `scale` turns the value into the unit the
// catalogue writes (1024 for KiB).
std::string Range(const char* key, int64_t value, int64_t low, int64_t high, int64_t scale = 1,
                  const char* unit = "") {
    if (value >= low && value <= high) {
        return {};
    }
    char text[160];
    std::snprintf(text, sizeof text, "%s=%lld%s is out of range (%lld to %lld%s)", key,
                  static_cast<long long>(value / scale), unit, static_cast<long long>(low / scale),
                  static_cast<long long>(high / scale), unit);
    return text;
}

// The first value of `g` the program cannot work with at all; `found` has bit
// k set for kChipKeys[k] when that value was read.
std::string RangeProblem(const NandGeometry& g, unsigned found) {
    const std::array<std::string, 6> problems = {
        Range("BLOCK_NUM", g.block_count, kChipMinBlocks, kChipMaxBlocks),
        Range("BLOCK_SIZE", g.block_size, 0, kChipMaxBlockSize, 1024, " KiB"),
        Range("PAGE_SIZE", g.page_size, 0, kChipMaxPageSize),
        Range("SPARE_SIZE", g.spare_size, 0, kChipMaxSpareSize),
        Range("ERASE_TIME", g.erase_time, 0, kChipMaxTime),
        Range("WRITE_TIME", g.write_time, 0, kChipMaxTime),
    };
    for (size_t k = 0; k < problems.size(); ++k) {
        if ((found & (1u << k)) != 0 && !problems[k].empty()) {
            return problems[k];
        }
    }
    if ((found & 3u) == 3u && int64_t{g.block_count} * g.block_size > kChipMaxBytes) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "BLOCK_NUM=%d blocks of BLOCK_SIZE=%d KiB make more than 2 GiB",
                      g.block_count, g.block_size / 1024);
        return text;
    }
    return {};
}

// Reads the six keys as identification does (see LookupChip). The number of
// keys not found, or code::kValueOutOfRange with `problem` set.
int ReadChip(IniStore& ini, const std::string& chip_id, NandGeometry& geometry,
             std::string& problem) {
    // BLOCK_SIZE and PAGE_SIZE must stand in the chip's own section (a string
    // search stops at the next "["); the integer keys may come from any later
    // line. Identification relies on exactly this, including page size 0 being
    // stored as 0 rather than counted as missing.
    NandGeometry g = geometry;
    unsigned found = 0;
    int value = 0;
    std::string text;
    if (ini.GetInt(chip_id, "BLOCK_NUM", value)) {
        g.block_count = value;
        found |= 1u << 0;
    }
    if (ini.GetString(chip_id, "BLOCK_SIZE", text)) {
        // KiB to bytes; a size too large for the field is clamped so that the
        // range check sees it instead of a wrapped value.
        const int64_t bytes = static_cast<int64_t>(ParseDecimalInt(text)) * 1024;
        g.block_size = static_cast<int32_t>(std::clamp<int64_t>(
            bytes, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
        found |= 1u << 1;
    }
    if (ini.GetString(chip_id, "PAGE_SIZE", text)) {
        g.page_size = ParseDecimalInt(text);
        found |= 1u << 2;
    }
    if (ini.GetInt(chip_id, "SPARE_SIZE", value)) {
        g.spare_size = value;
        found |= 1u << 3;
    }
    if (ini.GetInt(chip_id, "ERASE_TIME", value)) {
        g.erase_time = value;
        found |= 1u << 4;
    }
    if (ini.GetInt(chip_id, "WRITE_TIME", value)) {
        g.write_time = value;
        found |= 1u << 5;
    }
    // A value out of range is never handed on: a block count of 2^31 would have
    // the block map and the bad-block scan allocate gigabytes after the phone
    // was booted.
    problem = RangeProblem(g, found);
    if (!problem.empty()) {
        return code::kValueOutOfRange;
    }
    geometry = g;
    problem.clear();
    int missing = 0;
    for (size_t k = 0; k < kChipKeys.size(); ++k) {
        if ((found & (1u << k)) == 0) {
            ++missing;
            problem += problem.empty() ? "lacks " : ", ";
            problem += kChipKeys[k];
        }
    }
    return result::MissingKeys(missing);
}

bool IsChipSection(std::string_view name) {
    return name.size() == 5 && name[2] == ',' &&
           std::isxdigit(static_cast<unsigned char>(name[0])) &&
           std::isxdigit(static_cast<unsigned char>(name[1])) &&
           std::isxdigit(static_cast<unsigned char>(name[3])) &&
           std::isxdigit(static_cast<unsigned char>(name[4]));
}

std::string_view TrimBlanks(std::string_view s) {
    const size_t first = s.find_first_not_of(" \t\v");
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t\v") - first + 1);
}

// The chip sections of a catalogue text ("[XX,YY]"), in file order, each once.
std::vector<std::string> ChipSections(std::string_view bytes) {
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (const std::string& raw : SplitLines(bytes)) {
        const std::string_view line = TrimBlanks(raw);
        const size_t close = line.find(']');
        if (!line.starts_with('[') || close == std::string_view::npos) {
            continue;
        }
        std::string name(TrimBlanks(line.substr(1, close - 1)));
        if (IsChipSection(name) && seen.insert(name).second) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

}  // namespace

std::string ChipIdText(uint8_t maker, uint8_t device) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X,%02X", maker, device);
    return text;
}

int LookupChip(const std::string& folder, const std::string& chip_id, NandGeometry& geometry,
               std::string* problem) {
    IniStore ini;
    if (!OpenCatalogue(ini, folder)) {
        return code::kNotReadable;
    }
    std::string why;
    const int result = ReadChip(ini, chip_id, geometry, why);
    ini.Close();
    if (problem != nullptr) {
        *problem = result == code::kValueOutOfRange ? why : std::string();
    }
    return result;
}

int LookupChipInText(std::string_view text, const std::string& chip_id, NandGeometry& geometry) {
    IniStore ini;
    ini.OpenText(text);
    std::string problem;
    return ReadChip(ini, chip_id, geometry, problem);
}

int CatalogueVersionText(const std::string& folder, std::string& out) {
    IniStore ini;
    if (!OpenCatalogue(ini, folder)) {
        return code::kNotReadable;
    }
    std::string date;
    std::string version;
    if (!ini.GetString("VERSION", "DATE", date) || !ini.GetString("VERSION", "VER", version)) {
        return code::kDamaged;
    }
    out = "配置文件：" + date + "(V" + version + ")";
    ini.Close();
    return 0;
}

int CheckChipGeometry(const NandGeometry& g, std::string& problem) {
    problem = RangeProblem(g, 0x3Fu);
    if (problem.empty() && (g.page_size <= 0 || g.page_size % 512 != 0)) {
        problem = "PAGE_SIZE=" + std::to_string(g.page_size) + " is not a non-zero multiple of 512";
    }
    if (problem.empty() &&
        (g.block_size <= 0 || g.block_size % 16384 != 0 || g.block_size % g.page_size != 0)) {
        problem = "BLOCK_SIZE=" + std::to_string(g.block_size / 1024) +
                  " KiB is not a non-zero multiple of 16 KiB and of PAGE_SIZE=" +
                  std::to_string(g.page_size);
    }
    return problem.empty() ? 0 : code::kUnservable;
}

int CheckCatalogue(const std::string& folder, std::string& problem) {
    problem.clear();
    const std::string path = CataloguePath(folder);
    std::string bytes;
    if (ReadTextFile(path, bytes, problem) != kReadOk) {
        return code::kNotReadable;
    }
    return CheckCatalogueText(bytes, path, problem);
}

int CheckCatalogueText(std::string_view bytes, const std::string& path, std::string& problem) {
    problem.clear();
    IniStore ini;
    ini.OpenText(bytes);
    std::string text;
    if (!ini.GetString("VERSION", "DATE", text) || !ini.GetString("VERSION", "VER", text)) {
        problem = path + ": the [VERSION] section lacks DATE or VER";
        return code::kDamaged;
    }
    return 0;
}

int ListCatalogueChips(const std::string& folder, std::vector<CatalogueChip>& chips,
                       std::string& problem) {
    chips.clear();
    std::string bytes;
    if (ReadTextFile(CataloguePath(folder), bytes, problem) != kReadOk) {
        return code::kNotReadable;
    }
    problem.clear();
    IniStore ini;
    ini.OpenText(bytes);
    for (const std::string& name : ChipSections(bytes)) {
        CatalogueChip chip;
        chip.id = name;
        chip.maker = static_cast<uint8_t>(std::stoul(name.substr(0, 2), nullptr, 16));
        chip.device = static_cast<uint8_t>(std::stoul(name.substr(3, 2), nullptr, 16));
        if (ReadChip(ini, name, chip.geometry, chip.problem) == 0) {
            CheckChipGeometry(chip.geometry, chip.problem);
        }
        chips.push_back(std::move(chip));
    }
    return 0;
}

bool ReadCatalogueVersion(const std::string& folder, std::string& date, std::string& version) {
    IniStore ini;
    return OpenCatalogue(ini, folder) && ini.GetString("VERSION", "DATE", date) &&
           ini.GetString("VERSION", "VER", version);
}

ChipName KnownChipName(uint8_t maker, uint8_t device) {
    // The parts named in the About box, by the device codes their data sheets
    // give (1.8 V, x8 parts); each code's catalogue geometry matches the part's
    // size. The same makers' 3 V codes (F1, DA, 75, 76) are other parts.
    struct Part {
        uint8_t maker;
        uint8_t device;
        const char* name;
    };
    static constexpr Part kParts[] = {
        {0xEC, 0xA1, "K9F1G08R0A"},   {0xEC, 0xAA, "K9F2G08R0A"}, {0x20, 0xA1, "NAND01GR3B2B"},
        {0x20, 0xAA, "NAND02GR3B2B"}, {0x20, 0x35, "NAND256R3A"}, {0x20, 0x36, "NAND512R3A"},
    };
    ChipName name;
    if (maker == 0xEC) {
        name.maker = "Samsung";
    } else if (maker == 0x20) {
        name.maker = "ST";
    }
    for (const Part& part : kParts) {
        if (part.maker == maker && part.device == device) {
            name.part = part.name;
        }
    }
    return name;
}

}  // namespace velmora
