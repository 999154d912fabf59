// The station log's side file, where rows wait that the log could not take: a
// file on disk that a crash may have cut short or another program changed. Its
// reader keeps every line that is not a row and counts it; nothing it reads may
// end the program.
#include <cstdint>
#include <cstdio>
#include <string>

#include "station/station_log.h"
#include "temp_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TempFolder temp;
    static const std::string log = temp.path() + "station-log.sqlite";
    static const std::string side = velmora::PendingRowsPath(log);
    FILE* out = std::fopen(side.c_str(), "wb");
    if (!out || std::fwrite(data, 1, size, out) != size || std::fclose(out) != 0) {
        __builtin_trap();
    }
    size_t lines = 0;
    for (size_t i = 0; i < size; ++i) {
        lines += data[i] == '\n' ? 1 : 0;
    }
    const velmora::PendingRows pending = velmora::ReadPendingRows(log);
    if (!pending.exists || !pending.error.empty() ||
        pending.rows.size() + static_cast<size_t>(pending.unreadable) > lines + 1) {
        __builtin_trap();
    }
    return 0;
}
