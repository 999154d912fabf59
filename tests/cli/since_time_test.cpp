// The time text of `log --since`.
#include <gtest/gtest.h>

#include "cli/commands.h"

namespace velmora::cli {
namespace {

TEST(SinceTime, AgesDatesAndWhatIsNeither) {
    const int64_t now = 1'800'000'000'000;
    EXPECT_EQ(ParseSince("30m", now), now - 30 * 60'000);
    EXPECT_EQ(ParseSince("7d", now), now - 7 * 86'400'000);
    // An age older than the clock is every row, not an overflow.
    EXPECT_EQ(ParseSince("9223372036854775807d", now), 0);
    EXPECT_TRUE(ParseSince("2026-01-31", now));
    EXPECT_TRUE(ParseSince("2026-01-31T14:05:09", now));
    for (const char* bad : {"", "d", "12", "-5d", "30x", "2026-13-01", "2026-01-31 25:00",
                            "2026-01-31 14:05 ", "99999999999999999999d"}) {
        EXPECT_FALSE(ParseSince(bad, now)) << bad;
    }
}

}  // namespace
}  // namespace velmora::cli
