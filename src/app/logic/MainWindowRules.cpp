#include "app/logic/MainWindowRules.h"

#include <algorithm>

#include "online/UsageEventLog.h"
#include "platform/Messages.h"

namespace korvane {

int ShowPageRule(IPageHost& host, int& currentPage, int page, bool updateTab, int testKey) {
  if (page < 0 || page >= kPageCount) return -1;
  const int previous = currentPage;
  if (const char* name = UsageTabEventName(page)) {
    UsageLogAction(name, 0);
    UsageLogEmit(kUsageUserAction);
  }
  if (!host.PageExists(page)) host.CreatePage(page);
  host.ShowOnlyPage(page);
  host.LayOut();
  host.Repaint();
  if (updateTab) host.SelectTab(page);
  if (page == kPageTest && testKey >= 0 && host.PageExists(kPageTest)) {
    const int index = host.FindTestGroup(testKey);
    if (index >= 0) host.SelectTestGroup(index);
  }
  currentPage = page;
  return previous;
}

int FindTestGroupRule(const ITestGroupHost& host, int key) {
  if (!host.BoardLive()) return -1;
  for (int i = 0; i < kTestGroupCount; ++i) {
    if (kTestGroupKeys[i] == key) return i;
  }
  return -1;
}

int SelectTestGroupRule(ITestGroupHost& host, int& selectedIndex, int index) {
  if (index < 0 || index >= kTestGroupCount) return -1;
  UsageLogAction(kTestGroupKeys[index] == 1 ? "Tab.CPU" : "Tab.MEM", 0);
  UsageLogEmit(kUsageUserAction);
  host.ShowGroupOnBoard(index);
  host.SelectGroupTab(index);
  host.Repaint();
  const int previous = selectedIndex;
  selectedIndex = index;
  return previous;
}

int TestKeyForTestType(int testType) {
  switch (testType) {
    case 0: return 1;
    case 2: return 2;
    case 5: return 3;
    default: return -1;
  }
}

MainLayout ComputeMainLayout(int clientWidth, int clientHeight, int tabNaturalWidth,
                             int tabNaturalHeight) {
  MainLayout l;
  const int tabHeight = std::max(0, tabNaturalHeight);
  l.tabStrip.x = 6;
  l.tabStrip.y = kHeaderHeight - tabHeight;
  l.tabStrip.width = std::max(0, std::min(tabNaturalWidth, clientWidth - 351));
  l.tabStrip.height = tabHeight;
  l.page.x = 6;
  l.page.y = kHeaderHeight;
  l.page.width = std::max(0, clientWidth - 12);
  l.page.height = std::max(0, clientHeight - 75);
  return l;
}

bool ShouldOpenMaximised(int screenWidth, int screenHeight, int windowWidth, int windowHeight) {
  return screenWidth < windowWidth || screenHeight < windowHeight;
}

std::uint32_t MessageNumberOrFallback(std::uint32_t registered, std::uint32_t fallback) {
  return (registered >= 0xC000 && registered <= 0xFFFF) ? registered : fallback;
}

UpdateToolMessageIds RegisterUpdateToolMessages() {
  UpdateToolMessageIds ids;
  ids.startScan = MessageNumberOrFallback(platform::RegisterWindowMessage(kUpdateStartScanMessage), 1280);
  ids.scanning = MessageNumberOrFallback(platform::RegisterWindowMessage(kUpdateScanningMessage), 1281);
  ids.endScan = MessageNumberOrFallback(platform::RegisterWindowMessage(kUpdateEndScanMessage), 1282);
  return ids;
}

UpdateToolMessage ClassifyUpdateToolMessage(std::uint32_t msg, const UpdateToolMessageIds& ids) {
  if (msg == ids.startScan || msg == 1280) return UpdateToolMessage::StartScan;
  if (msg == ids.scanning || msg == 1281) return UpdateToolMessage::Scanning;
  if (msg == ids.endScan || msg == 1282) return UpdateToolMessage::EndScan;
  return UpdateToolMessage::None;
}

}  // namespace korvane
