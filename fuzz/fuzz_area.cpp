// The specified area's start and end as an operator types them, in the window's
// dialog or after --start/--end: the input is the two texts, split at the first
// zero byte. An address is 1 to 8 hexadecimal digits after an optional 0x; any
// other text must be refused, never read as some number.
#include <cctype>
#include <cstdint>
#include <string_view>

#include "frontend/area_input.h"

namespace {

bool IsAddressText(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 8) {
        return false;
    }
    for (const char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string_view start_text = input.substr(0, split);
    const std::string_view end_text =
        split == std::string_view::npos ? std::string_view{} : input.substr(split + 1);
    for (const std::string_view text : {start_text, end_text}) {
        if (velmora::ParseAreaAddress(text).has_value() != IsAddressText(text)) {
            __builtin_trap();
        }
    }
    const auto first = velmora::ParseAreaAddress(start_text);
    const auto last = velmora::ParseAreaAddress(end_text);
    uint32_t start = 0;
    uint32_t end = 0;
    const velmora::AreaProblem problem = velmora::ReadArea(start_text, end_text, start, end);
    const bool fine = problem.kind == velmora::AreaProblem::Kind::kNone;
    if (fine != (first && last && *last >= *first) || fine != problem.text.empty()) {
        __builtin_trap();
    }
    if (fine && (*first != start || *last != end)) {
        __builtin_trap();
    }
    return 0;
}
