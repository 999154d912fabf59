// The .ptt reader on arbitrary text. The table's folder holds a boot image and
// two content files, so that inputs that name them get past the file checks.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "config/partition_table.h"
#include "temp_folder.h"

namespace {

std::string MakeFolder(const std::string& folder) {
    std::ofstream(folder + "boot.bin", std::ios::binary) << std::string(0x4000, 'B');
    std::ofstream(folder + "a.bin", std::ios::binary) << std::string(0x1000, 'a');
    std::filesystem::create_directories(folder + "sub");
    std::ofstream(folder + "sub/b.bin", std::ios::binary) << std::string(1000, 'b');
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TempFolder temp;
    static const std::string folder = MakeFolder(temp.path());
    velmora::PartitionTable table;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const int result = table.LoadText(text, folder + "t.ptt");
    if (result == 0) {
        if (table.partition_count > velmora::kMaxPartitions) {
            __builtin_trap();
        }
        const std::string summary = velmora::BuildSummary(table);
        if (summary.rfind("Total partition number = ", 0) != 0) {
            __builtin_trap();
        }
    } else if (table.FailureText(result).empty()) {
        __builtin_trap();
    }
    return 0;
}
