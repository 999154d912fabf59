// The reader of an earlier health report (`health --since FILE`) and the
// report's text for people, on arbitrary text: a report is accepted or refused
// with a reason, from the text and from the file alike, and any text is shown
// as far as it goes.
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "safety/health.h"
#include "safety/safety_net.h"
#include "temp_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TempFolder temp;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    velmora::BadBlockView view;
    std::string error;
    const bool ok = velmora::ParseHealthReport(text, view, error);
    if (ok == !error.empty()) {
        __builtin_trap();
    }
    const std::string path = temp.path() + "report.json";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    velmora::BadBlockView from_file;
    if (velmora::ReadBadBlockView(path, from_file, error) != ok ||
        velmora::HealthText(std::string(text)).empty()) {
        __builtin_trap();
    }
    return 0;
}
