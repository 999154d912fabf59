#pragma once
// The specified area as an operator types it, read the same way by both front
// ends, so that the window and the command line refuse the same texts with the
// same words.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// An address or block number: 1 to 8 hexadecimal digits, optionally after 0x or
// 0X. Anything else (empty text, blanks, more digits, a value beyond 32 bits) is
// none: taken as 0 it would point an erase at block 0.
std::optional<uint32_t> ParseAreaAddress(std::string_view text);

struct AreaProblem {
    enum class Kind { kNone, kBadStart, kBadEnd, kEndBelowStart };
    Kind kind = Kind::kNone;
    std::string text;  // why, for the operator; empty for kNone
};

// Reads the start and end texts into `start` and `end`; kNone when both are
// addresses and the end does not lie below the start.
AreaProblem ReadArea(std::string_view start_text, std::string_view end_text, uint32_t& start,
                     uint32_t& end);

}  // namespace velmora
