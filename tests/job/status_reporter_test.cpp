#include "job/status_reporter.h"

#include <gtest/gtest.h>

#include "job/recording_display.h"

namespace velmora {
namespace {

using testing::RecordingDisplay;

TEST(StatusReporter, ElapsedTextDependsOnTheLink) {
    RecordingDisplay display;
    StatusReporter serial(&display, LinkKind::kSerial, false);
    StatusReporter usb(&display, LinkKind::kUsb, false);
    serial.ShowElapsed(125999);
    usb.ShowElapsed(125999);
    serial.ClearElapsed();
    EXPECT_EQ(display.elapsed(), (std::vector<std::string>{"125秒", "126.00 S", ""}));
}

TEST(StatusReporter, ProgressIsTruncatedAndZeroUnitsShowZero) {
    RecordingDisplay display;
    StatusReporter reporter(&display, LinkKind::kSerial, false);
    reporter.UpdateProgress();  // no units yet
    reporter.units_total = 3;
    reporter.units_done = 1;
    reporter.UpdateProgress();
    reporter.units_done = 3;
    reporter.UpdateProgress();
    EXPECT_EQ(display.progress(), (std::vector<int>{0, 33, 100}));
}

TEST(StatusReporter, BlockMapRowsAddressesAndScrolling) {
    RecordingDisplay display;
    StatusReporter reporter(&display, LinkKind::kSerial, false);
    reporter.InitBlockMap(1024, 131072);
    const BlockMap& map = reporter.block_map();
    EXPECT_EQ(map.rows(), 1025);
    EXPECT_EQ(map.Text(0, 1), "ADDRESS");
    EXPECT_EQ(map.Text(1024, 0), "1023");
    EXPECT_EQ(map.Text(1024, 1), "0x07FE0000");
    EXPECT_EQ(map.Text(1024, 2), "");

    reporter.MarkBlock(4, kBlockErased);
    EXPECT_EQ(map.top_row(), 1);
    reporter.MarkBlock(10, kBlockProgrammed);
    EXPECT_EQ(map.top_row(), 7);
    reporter.MarkBlock(1024, kBlockFailed);  // beyond the grid: nothing changes
    EXPECT_EQ(map.top_row(), 7);
    reporter.SetBlockText(10, 2, "G");
    reporter.SetBlockText(5000, 2, "NG");

    const BlockMap shown = display.map();
    EXPECT_EQ(shown.Colour(10), kBlockProgrammed);
    EXPECT_EQ(shown.Colour(4), kBlockErased);
    EXPECT_FALSE(shown.Colour(3).has_value());
    EXPECT_EQ(shown.Text(11, 2), "G");

    reporter.ResetBlockMap();
    EXPECT_EQ(reporter.block_map().rows(), 0);
    EXPECT_EQ(display.chip().back(), "");
}

}  // namespace
}  // namespace velmora
