#include "config/settings.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "support/temp_dir.h"

namespace velmora {
namespace {

using List = SettingsView::List;

// The main window as the settings see it: COM ports, three work modes, three
// baud rates, and an erase range list rebuilt per work mode.
class FakeWindow : public SettingsView {
  public:
    int ItemCount(List list) const override { return counts.at(list); }
    int Selection(List list) const override { return selection.at(list); }
    void Select(List list, int position) override { selection[list] = position; }
    std::string TargetFileText() const override { return target; }
    void SetTargetFileText(const std::string& text) override { target = text; }
    std::string RememberedPttPath() const override { return remembered; }
    void SetRememberedPttPath(const std::string& path) override { remembered = path; }
    void RefreshWorkMode() override {
        counts[List::kEraseRange] = selection[List::kWorkMode] == 2 ? 5 : 2;
        selection[List::kEraseRange] = 0;
        refreshed_with_mode = selection[List::kWorkMode];
    }
    void ShowSaveFailure(const std::string& text) override { failures.push_back(text); }

    std::map<List, int> counts{
        {List::kComPort, 2}, {List::kWorkMode, 3}, {List::kBaudRate, 3}, {List::kEraseRange, 2}};
    std::map<List, int> selection{
        {List::kComPort, 1}, {List::kWorkMode, 0}, {List::kBaudRate, 2}, {List::kEraseRange, 0}};
    std::string target = "stale";
    std::string remembered;
    int refreshed_with_mode = -9;
    std::vector<std::string> failures;
};

TEST(Settings, LoadAppliesPositionsWithRangeRules) {
    testing::TempDir dir;
    dir.Write("velmora.ini",
              "[PATH]\r\nPTT=/img/a b.ptt\r\nWORKMODE=2\r\nBAUDRATE=7\r\nERASE_RANGE=4\r\n");
    FakeWindow w;
    LoadSettings(dir.path(), w);
    EXPECT_EQ(w.target, "/img/a b.ptt");
    EXPECT_EQ(w.remembered, "/img/a b.ptt");
    EXPECT_EQ(w.selection[List::kComPort], 1);   // absent: the port search's choice stays
    EXPECT_EQ(w.selection[List::kBaudRate], 0);  // beyond the list
    EXPECT_EQ(w.refreshed_with_mode, 2);         // work mode applied before the rebuild
    EXPECT_EQ(w.selection[List::kEraseRange], 4);

    dir.Write("velmora.ini", "[PATH]\nCOMPORT=-1\nWORKMODE=0\nERASE_RANGE=2\n");
    FakeWindow v;
    LoadSettings(dir.path(), v);
    EXPECT_EQ(v.target, "");
    EXPECT_EQ(v.selection[List::kComPort], -1);    // negative: no selection
    EXPECT_EQ(v.selection[List::kEraseRange], 0);  // 2 is beyond the upgrade's two ranges
}

TEST(Settings, SaveWritesAllEightLinesAndRememberedPathInReadMode) {
    testing::TempDir dir;
    dir.Write("velmora.ini", "[PATH]\nOLD=1\nPTT=x\n");
    FakeWindow w;
    w.selection = {
        {List::kComPort, -1}, {List::kWorkMode, 1}, {List::kBaudRate, 2}, {List::kEraseRange, 0}};
    w.target = "/home/u/upload_nand/";
    w.remembered = "/img/t.ptt";
    ASSERT_TRUE(SaveSettings(dir.path(), w));
    EXPECT_EQ(dir.Read("velmora.ini"),
              "[PATH]\nPTT=/img/t.ptt\nCOMPORT=-1\nWORKMODE=1\nBAUDRATE=2\nERASE_RANGE=0\n"
              "SERIAL=-1\nUSBPORT=\n");
    w.selection[List::kWorkMode] = 0;
    ASSERT_TRUE(SaveSettings(dir.path(), w));
    JobSettings read;
    ASSERT_TRUE(ReadSettingsFile(dir.path(), read));
    EXPECT_EQ(read.ptt_path, "/home/u/upload_nand/");
    EXPECT_EQ(read.com_port_index, -1);
    EXPECT_EQ(read.erase_range_index, 0);
    EXPECT_TRUE(w.failures.empty());
    EXPECT_FALSE(SaveSettings(dir.path() + "missing/", w));
    EXPECT_EQ(w.failures, std::vector<std::string>{"Could not save Ini file!"});
}

}  // namespace
}  // namespace velmora
