// A job's events in the window's terms: the adapter the window and the CLI's
// JSON share.
#include "frontend/display.h"

#include <gtest/gtest.h>

#include "base/reporter.h"
#include "job/recording_display.h"

namespace velmora {
namespace {

using testing::RecordingDisplay;

class DisplayAdapterTest : public ::testing::Test {
  protected:
    RecordingDisplay display;
    Reporter reporter{&display, false};
};

TEST_F(DisplayAdapterTest, ElapsedTextDependsOnTheLink) {
    reporter.ShowElapsed(125999);
    display.set_link(LinkKind::kUsb);
    reporter.ShowElapsed(125999);
    reporter.ClearElapsed();
    EXPECT_EQ(display.elapsed(), (std::vector<std::string>{"125秒", "126.00 S", ""}));
}

TEST_F(DisplayAdapterTest, ProgressIsTruncatedAndZeroUnitsShowZero) {
    reporter.UpdateProgress();  // no units yet
    reporter.units_total = 3;
    reporter.units_done = 1;
    reporter.UpdateProgress();
    reporter.units_done = 3;
    reporter.UpdateProgress();
    EXPECT_EQ(display.progress(), (std::vector<int>{0, 33, 100}));
}

TEST_F(DisplayAdapterTest, BlockStatesBecomeRowsColoursCellsAndScrolling) {
    reporter.InitBlockMap(1024, 131072);
    BlockMap map = display.map();
    EXPECT_EQ(map.rows(), 1025);
    EXPECT_EQ(map.Text(0, 1), "ADDRESS");
    EXPECT_EQ(map.Text(1024, 0), "1023");
    EXPECT_EQ(map.Text(1024, 1), "0x07FE0000");
    EXPECT_EQ(map.Text(1024, 2), "");

    reporter.MarkBlock(4, BlockState::kErased);
    EXPECT_EQ(display.map().top_row(), 1);
    reporter.MarkBlock(10, BlockState::kProgrammed);
    EXPECT_EQ(display.map().top_row(), 7);
    reporter.MarkBlock(1024, BlockState::kFailed);  // beyond the grid: nothing changes
    EXPECT_EQ(display.map().top_row(), 7);
    reporter.MarkBlock(12, BlockState::kReplaced);
    reporter.MarkBlock(13, BlockState::kEraseFailed);

    map = display.map();
    EXPECT_EQ(map.Colour(10), kBlockProgrammed);
    EXPECT_EQ(map.Colour(4), kBlockErased);
    EXPECT_EQ(map.Text(5, 2), "G");
    EXPECT_FALSE(map.Colour(12).has_value()) << "a replaced block keeps its colour";
    EXPECT_EQ(map.Text(13, 2), "NG");
    EXPECT_EQ(map.Colour(13), kBlockFailed);
    EXPECT_EQ(map.Text(14, 2), "NG");

    reporter.ResetBlockMap();
    EXPECT_EQ(display.map().rows(), 0);
    EXPECT_EQ(display.chip().back(), "");
}

TEST_F(DisplayAdapterTest, TheEndPaintsTheBarByLinkAndAStopLeavesItAlone) {
    const auto end = [](int result, bool stopped) {
        JobEnd e;
        e.result = result;
        e.user_stopped = stopped;
        return e;
    };
    reporter.SetPhase(Phase::kErase);
    reporter.End(end(0, false));
    reporter.End(end(7, false));
    display.set_link(LinkKind::kUsb);
    reporter.End(end(7, false));
    reporter.End(end(1, true));
    EXPECT_EQ(display.bar_colours(),
              (std::vector<uint32_t>{kBarPink, kBarGreen, kBarRedSerial, kBarRedUsb}));
}

}  // namespace
}  // namespace velmora
