#include "config/boot_block.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "base/results.h"

namespace velmora {

namespace {

uint32_t U32At(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

void AppendLine(std::string& text, const char* format, uint32_t value) {
    char line[64];
    std::snprintf(line, sizeof line, format, value);
    text += line;
}

}  // namespace

std::string BootRecord::NameText() const {
    const auto end = std::find(name.begin(), name.end(), uint8_t{0});
    return std::string(name.begin(), end);
}

int ParseBootBlock(std::span<const uint8_t> block0, BootTable& out) {
    if (block0.size() < kBootVersionOffset + 1) {
        return result::boot_table::kNoMarker;
    }
    const uint32_t marker = U32At(block0, kBootMarkerOffset);
    if (marker != kBootMarker && marker != kBootMarkerAlt) {
        return result::boot_table::kNoMarker;
    }
    const uint8_t version = block0[kBootVersionOffset];
    const bool v3 = version == 3;
    // Record 0 lies highest; a block too short for it holds no table.
    const size_t end = v3 ? kV3RecordBase + kV3RecordSize : kClassicRecordBase + kClassicRecordSize;
    if (block0.size() < end) {
        return result::boot_table::kNoMarker;
    }
    BootTable table;
    table.version = version;
    for (int k = 0; k < kBootRecords; ++k) {
        BootRecord& r = table.records[static_cast<size_t>(k)];
        if (v3) {
            const auto rec = block0.subspan(kV3RecordBase - kV3RecordSize * k, kV3RecordSize);
            r.offset = U32At(rec, 0);
            r.size = U32At(rec, 4);
            r.flags = U32At(rec, 8);
            r.id = U32At(rec, 12);
            std::copy_n(rec.begin() + 16, 8, r.name.begin());
        } else {
            const auto rec =
                block0.subspan(kClassicRecordBase - kClassicRecordSize * k, kClassicRecordSize);
            r.offset = U32At(rec, 0);
            r.size = U32At(rec, 4);
            r.content_size = U32At(rec, 8);
            r.shadow_address = U32At(rec, 20);
            r.exec_address = U32At(rec, 24);
            r.id = rec[28];
            std::copy_n(rec.begin() + 28, 8, r.name.begin());
        }
    }
    for (const BootRecord& r : table.records) {
        if (r.offset == 0 || r.offset == 0xFFFFFFFF) {
            break;
        }
        ++table.partition_count;
    }
    out = table;
    return 0;
}

std::string UploadReportText(const BootTable& table, uint32_t block_size) {
    const bool v3 = table.version == 3;
    const int count = std::clamp(table.partition_count, 0, kBootRecords);
    std::string text;
    AppendLine(text, "Total partition number = %d.\n\n", static_cast<uint32_t>(count));
    text += "Boot NAND file name = boot_nand.bin.\n";
    AppendLine(text, "Boot NAND file size = 0x%08X\n", v3 ? block_size : 0x4000u);
    for (int k = 0; k < count; ++k) {
        const BootRecord& r = table.records[static_cast<size_t>(k)];
        AppendLine(text, "\n[partition_#%02d]\n", static_cast<uint32_t>(k + 1));
        AppendLine(text, "id                 = 0x%02X\n", r.id);
        text += "name               = " + r.NameText() + "\n";
        AppendLine(text, "offset             = 0x%08X\n", r.offset);
        AppendLine(text, "size               = 0x%08X\n", r.size);
        if (v3) {
            AppendLine(text, "flag               = 0x%08X\n", r.flags);
        } else {
            AppendLine(text, "content size       = 0x%08X\n", r.content_size);
            AppendLine(text, "shadow addres      = 0x%08X\n", r.shadow_address);
            AppendLine(text, "execute address    = 0x%08X\n", r.exec_address);
        }
    }
    text += "\n[partition_table_config_end]\n";
    return text;
}

int WriteUploadReport(std::span<const uint8_t> block0, uint32_t block_size,
                      const std::string& report_path, BootTable& table) {
    if (const int result = ParseBootBlock(block0, table); result != 0) {
        return result;
    }
    const std::string text = UploadReportText(table, block_size);
    std::ofstream out(report_path, std::ios::binary | std::ios::trunc);
    if (!out) {
        return result::boot_table::kReportNotWritten;
    }
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return out ? 0 : result::boot_table::kReportNotWritten;
}

}  // namespace velmora
