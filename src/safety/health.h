#pragma once
// The readers behind `health --since`: what an earlier backup folder or saved
// health report says of the chip's bad blocks. Both read files from outside;
// they check the shape of every value and never throw.
#include <map>
#include <set>
#include <string>
#include <string_view>

namespace velmora {

struct BadBlockView {
    std::string date;
    std::string chip_id;
    std::set<int> bad;
    std::map<int, int> replaced;  // block → replacement
    int reservoir_used = -1;      // −1: not known
};

// A health report's text (as `health --save` writes it). False with `error`
// saying what is wrong when it is not one.
bool ParseHealthReport(std::string_view text, BadBlockView& view, std::string& error);

// `path` a backup folder or a saved report. False with `error` naming it.
bool ReadBadBlockView(const std::string& path, BadBlockView& view, std::string& error);

}  // namespace velmora
