// The time text of `log --since`: an age or a local date and time. A text that
// parses gives a time no later than now, and an age counts back from now.
#include <cstdint>
#include <string>

#include "cli/commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    constexpr int64_t kNow = 1'800'000'000'000;  // 2027
    const auto since = velmora::cli::ParseSince(text, kNow);
    if (since && !text.empty() && text.back() >= 'a' && text.find('-') == std::string::npos &&
        (*since < 0 || *since > kNow)) {
        __builtin_trap();  // an age reaches back from now, never past 1970
    }
    return 0;
}
