// The boot block parser and the upload.ptt text on arbitrary block bytes, and
// the names a read-back gives the files of the partitions it records.
#include <cstdint>
#include <span>
#include <string>

#include "config/boot_block.h"
#include "flash/read_back.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    velmora::BootTable table;
    if (velmora::ParseBootBlock(std::span(data, size), table) != 0) {
        return 0;
    }
    if (table.partition_count < 0 || table.partition_count > velmora::kBootRecords) {
        __builtin_trap();
    }
    for (int k = 0; k < table.partition_count; ++k) {
        // A file of the read-back's folder, whatever bytes the phone sent as its name.
        const std::string name = velmora::PartitionFileName(k + 1, table.records[k].name);
        if (name.rfind("parti_", 0) != 0 || name.find_first_of("/\\") != std::string::npos) {
            __builtin_trap();
        }
        for (const char c : name) {
            if (c < 0x20 || c > 0x7E) {
                __builtin_trap();
            }
        }
    }
    const std::string text = velmora::UploadReportText(table, 0x20000);
    if (text.size() < 30 ||
        text.compare(text.size() - 30, 30, "\n[partition_table_config_end]\n") != 0) {
        __builtin_trap();
    }
    return 0;
}
