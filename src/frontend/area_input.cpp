#include "frontend/area_input.h"

#include "base/text_format.h"

namespace velmora {
namespace {

std::string NotAnAddress(const char* which, std::string_view text) {
    return "the area's " + std::string(which) + " \"" + std::string(text) +
           "\" is not an address: give 1 to 8 hexadecimal digits, with or without 0x";
}

}  // namespace

std::optional<uint32_t> ParseAreaAddress(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 8) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (const char c : text) {
        uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<uint32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<uint32_t>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        value = value << 4 | digit;
    }
    return value;
}

AreaProblem ReadArea(std::string_view start_text, std::string_view end_text, uint32_t& start,
                     uint32_t& end) {
    const auto first = ParseAreaAddress(start_text);
    if (!first) {
        return {AreaProblem::Kind::kBadStart, NotAnAddress("start", start_text)};
    }
    const auto last = ParseAreaAddress(end_text);
    if (!last) {
        return {AreaProblem::Kind::kBadEnd, NotAnAddress("end", end_text)};
    }
    if (*last < *first) {
        return {AreaProblem::Kind::kEndBelowStart,
                Format("the area's end 0x%X lies below its start 0x%X", *last, *first)};
    }
    start = *first;
    end = *last;
    return {};
}

}  // namespace velmora
