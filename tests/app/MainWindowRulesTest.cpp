#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/logic/MainWindowRules.h"
#include "online/UsageEventLog.h"

namespace korvane {
namespace {

std::string EventText() {
  const UsageRecord r = UsageLogRecordSnapshot();
  std::string text;
  for (std::size_t i = kUsageOffsetEvent; i + 1 < kUsageOffsetEvent + 32; i += 2) {
    if (r[i] == 0 && r[i + 1] == 0) break;
    text += static_cast<char>(r[i]);
  }
  return text;
}

// Records what the rules ask of the window, in order.
class FakeWindow : public IPageHost {
 public:
  bool exists[kPageCount] = {true, false, false, false};
  std::vector<std::string> calls;
  int foundIndexForKey1 = 0;

  bool PageExists(int page) const override { return exists[page]; }
  void CreatePage(int page) override {
    calls.push_back("create " + std::to_string(page));
    exists[page] = true;
  }
  void ShowOnlyPage(int page) override { calls.push_back("show " + std::to_string(page)); }
  void LayOut() override { calls.push_back("layout"); }
  void Repaint() override { calls.push_back("repaint"); }
  void SelectTab(int page) override { calls.push_back("tab " + std::to_string(page)); }
  int FindTestGroup(int key) override {
    calls.push_back("find " + std::to_string(key));
    return key == 1 ? foundIndexForKey1 : key == 2 ? 1 : -1;
  }
  int SelectTestGroup(int index) override {
    calls.push_back("select " + std::to_string(index));
    return 0;
  }
};

TEST(ShowPage, CreatesOnFirstUseAndSelectsTheGroupForTheKey) {
  FakeWindow w;
  int current = 0;
  EXPECT_EQ(ShowPageRule(w, current, kPageTest, true, 2), 0);
  EXPECT_EQ(current, kPageTest);
  EXPECT_EQ(EventText(), "6.Tab.Test");
  const std::vector<std::string> expected = {"create 1", "show 1", "layout",  "repaint",
                                             "tab 1",    "find 2", "select 1"};
  EXPECT_EQ(w.calls, expected);

  // Second visit: no second page, no tab update, a key nothing matches selects nothing.
  w.calls.clear();
  EXPECT_EQ(ShowPageRule(w, current, kPageTest, false, 3), kPageTest);
  const std::vector<std::string> again = {"show 1", "layout", "repaint", "find 3"};
  EXPECT_EQ(w.calls, again);

  // A negative key looks nothing up.
  w.calls.clear();
  ShowPageRule(w, current, kPageTest, false, -1);
  EXPECT_EQ(w.calls.back(), "repaint");
}

TEST(ShowPage, OtherPagesAndIndexesOutOfRange) {
  FakeWindow w;
  int current = 1;
  EXPECT_EQ(ShowPageRule(w, current, kPageRank, true, 1), 1);
  EXPECT_EQ(EventText(), "6.Tab.Rank");
  // The key only matters on the Test page.
  for (const auto& c : w.calls) EXPECT_NE(c.rfind("find", 0), 0u) << c;
  EXPECT_EQ(ShowPageRule(w, current, kPageSummary, false, -1), kPageRank);
  EXPECT_EQ(EventText(), "6.Tab.Summary");
  EXPECT_FALSE(w.exists[kPageHelp]);

  w.calls.clear();
  EXPECT_EQ(ShowPageRule(w, current, 4, true, 1), -1);
  EXPECT_EQ(ShowPageRule(w, current, -1, true, 1), -1);
  EXPECT_TRUE(w.calls.empty());
  EXPECT_EQ(current, kPageSummary);
}

class FakeTestPage : public ITestGroupHost {
 public:
  bool live = true;
  int boardGroup = -1;
  int tab = -1;
  int repaints = 0;
  bool BoardLive() const override { return live; }
  void ShowGroupOnBoard(int index) override { boardGroup = index; }
  void SelectGroupTab(int index) override { tab = index; }
  void Repaint() override { ++repaints; }
};

TEST(TestGroups, FindAndSelect) {
  FakeTestPage page;
  EXPECT_EQ(FindTestGroupRule(page, 1), 0);
  EXPECT_EQ(FindTestGroupRule(page, 2), 1);
  EXPECT_EQ(FindTestGroupRule(page, 3), -1);
  EXPECT_EQ(FindTestGroupRule(page, 0), -1);
  page.live = false;
  EXPECT_EQ(FindTestGroupRule(page, 1), -1);

  int selected = -1;
  EXPECT_EQ(SelectTestGroupRule(page, selected, 1), -1);
  EXPECT_EQ(EventText(), "6.Tab.MEM");
  EXPECT_EQ(page.boardGroup, 1);
  EXPECT_EQ(page.tab, 1);
  EXPECT_EQ(SelectTestGroupRule(page, selected, 0), 1);
  EXPECT_EQ(EventText(), "6.Tab.CPU");
  EXPECT_EQ(selected, 0);

  // "Not found" (-1) and indexes past the groups leave everything as it was.
  const int repaints = page.repaints;
  EXPECT_EQ(SelectTestGroupRule(page, selected, -1), -1);
  EXPECT_EQ(SelectTestGroupRule(page, selected, 2), -1);
  EXPECT_EQ(selected, 0);
  EXPECT_EQ(page.boardGroup, 0);
  EXPECT_EQ(page.repaints, repaints);
}

TEST(TestGroups, DeviceTestTypesMapToKeys) {
  EXPECT_EQ(TestKeyForTestType(0), 1);
  EXPECT_EQ(TestKeyForTestType(2), 2);
  EXPECT_EQ(TestKeyForTestType(5), 3);
  for (int other : {-1, 1, 3, 4, 6, 100}) EXPECT_EQ(TestKeyForTestType(other), -1) << other;
}

TEST(MainLayout, TabStripAndPageFollowTheClientSize) {
  const MainLayout l = ComputeMainLayout(800, 636, 300, 28);
  EXPECT_EQ(l.tabStrip.x, 6);
  EXPECT_EQ(l.tabStrip.y + l.tabStrip.height, 69);
  EXPECT_EQ(l.tabStrip.width, 300);
  EXPECT_EQ(l.page.x, 6);
  EXPECT_EQ(l.page.y, 69);
  EXPECT_EQ(l.page.width, 788);
  EXPECT_EQ(l.page.height, 561);
  // A narrow window cuts the strip so it never runs under the right header picture.
  EXPECT_EQ(ComputeMainLayout(500, 636, 300, 28).tabStrip.width, 149);
  // Degenerate sizes never give negative geometry.
  const MainLayout tiny = ComputeMainLayout(5, 10, 300, 28);
  EXPECT_EQ(tiny.tabStrip.width, 0);
  EXPECT_EQ(tiny.page.width, 0);
  EXPECT_EQ(tiny.page.height, 0);

  EXPECT_TRUE(ShouldOpenMaximised(640, 480, 800, 636));
  EXPECT_TRUE(ShouldOpenMaximised(1024, 600, 800, 636));
  EXPECT_FALSE(ShouldOpenMaximised(800, 636, 800, 636));
}

TEST(Messages, FallbacksAndUpdateToolNumbers) {
  EXPECT_EQ(MessageNumberOrFallback(0, 1280), 1280u);
  EXPECT_EQ(MessageNumberOrFallback(0xBFFF, 1280), 1280u);
  EXPECT_EQ(MessageNumberOrFallback(0x10000, 1280), 1280u);
  EXPECT_EQ(MessageNumberOrFallback(0xC000, 1280), 0xC000u);
  EXPECT_EQ(MessageNumberOrFallback(0xFFFF, 1280), 0xFFFFu);

  const UpdateToolMessageIds ids = RegisterUpdateToolMessages();
  EXPECT_NE(ids.startScan, ids.endScan);
  EXPECT_EQ(ClassifyUpdateToolMessage(ids.startScan, ids), UpdateToolMessage::StartScan);
  EXPECT_EQ(ClassifyUpdateToolMessage(ids.endScan, ids), UpdateToolMessage::EndScan);
  EXPECT_EQ(ClassifyUpdateToolMessage(ids.scanning, ids), UpdateToolMessage::Scanning);
  // The fixed numbers count as well, whatever was registered.
  UpdateToolMessageIds registered{0xC100, 0xC101, 0xC102};
  EXPECT_EQ(ClassifyUpdateToolMessage(1280, registered), UpdateToolMessage::StartScan);
  EXPECT_EQ(ClassifyUpdateToolMessage(1281, registered), UpdateToolMessage::Scanning);
  EXPECT_EQ(ClassifyUpdateToolMessage(1282, registered), UpdateToolMessage::EndScan);
  EXPECT_EQ(ClassifyUpdateToolMessage(1283, registered), UpdateToolMessage::None);
  EXPECT_EQ(ClassifyUpdateToolMessage(0xC103, registered), UpdateToolMessage::None);
}

}  // namespace
}  // namespace korvane
