// The boot block parser and the upload.ptt text on arbitrary block bytes.
#include <cstdint>
#include <span>
#include <string>

#include "config/boot_block.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    velmora::BootTable table;
    if (velmora::ParseBootBlock(std::span(data, size), table) != velmora::kBootOk) {
        return 0;
    }
    if (table.partition_count < 0 || table.partition_count > velmora::kBootRecords) {
        __builtin_trap();
    }
    const std::string text = velmora::UploadReportText(table, 0x20000);
    if (text.size() < 30 ||
        text.compare(text.size() - 30, 30, "\n[partition_table_config_end]\n") != 0) {
        __builtin_trap();
    }
    return 0;
}
