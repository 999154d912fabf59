// The time text of `log --since`: a date, a date and time, or an age.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

#include "cli/commands.h"

namespace velmora::cli {

// "2026-01-31", "2026-01-31 14:05[:09]" or "2026-01-31T14:05" in local time,
// or an age: "90s", "30m", "12h", "7d". Unix milliseconds, or none.
std::optional<int64_t> ParseSince(const std::string& text, int64_t now_ms) {
    if (!text.empty() && text.find_first_not_of("0123456789") == text.size() - 1) {
        int64_t count = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size() - 1, count);
        if (ec != std::errc() || end != text.data() + text.size() - 1)
            return std::nullopt;
        const char unit = text.back();
        const int64_t unit_ms = unit == 's'   ? 1000
                                : unit == 'm' ? 60000
                                : unit == 'h' ? 3600000
                                : unit == 'd' ? 86400000
                                              : 0;
        if (unit_ms == 0)
            return std::nullopt;
        // An age from before 1970 (a count that would overflow too) means every row.
        if (count > std::max<int64_t>(now_ms, 0) / unit_ms)
            return 0;
        return now_ms - count * unit_ms;
    }
    std::tm tm{};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char separator = 0;
    int used = 0;
    const int got = std::sscanf(text.c_str(), "%4d-%2d-%2d%n%c%2d:%2d%n:%2d%n", &year, &month, &day,
                                &used, &separator, &hour, &minute, &used, &second, &used);
    const bool date_only = got == 3 && static_cast<size_t>(used) == text.size();
    const bool with_time = (got == 6 || got == 7) && (separator == ' ' || separator == 'T') &&
                           static_cast<size_t>(used) == text.size();
    if (!date_only && !with_time)
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1))
        return std::nullopt;
    return static_cast<int64_t>(t) * 1000;
}

}  // namespace velmora::cli
