#pragma once
// The main window's page and test-group rules, its layout arithmetic and its message numbers,
// written against small host interfaces so they run without a display.
#include <cstdint>

namespace korvane {

enum PageIndex : int { kPageSummary = 0, kPageTest = 1, kPageHelp = 2, kPageRank = 3 };
inline constexpr int kPageCount = 4;

// Test groups of the benchmark page: index 0 = CPU (key 1), index 1 = memory (key 2).
inline constexpr int kTestGroupCount = 2;
inline constexpr int kTestGroupKeys[kTestGroupCount] = {1, 2};

// What the page rules need from the main window.
class IPageHost {
 public:
  virtual ~IPageHost() = default;
  virtual bool PageExists(int page) const = 0;
  virtual void CreatePage(int page) = 0;
  // Show and enable `page`, hide and disable every other page that exists.
  virtual void ShowOnlyPage(int page) = 0;
  virtual void LayOut() = 0;
  virtual void Repaint() = 0;
  virtual void SelectTab(int page) = 0;
  // The Test page's operations (only called once that page exists).
  virtual int FindTestGroup(int key) = 0;
  virtual int SelectTestGroup(int index) = 0;
};

// Switches to `page`: logs the tab event, creates the page on first use, shows it alone, lays
// out, repaints, optionally selects its tab and, for the Test page, the group with `testKey`.
// Returns the previous page, or -1 (nothing done) when the index is not a page.
int ShowPageRule(IPageHost& host, int& currentPage, int page, bool updateTab, int testKey);

// What the group rule needs from the Test page.
class ITestGroupHost {
 public:
  virtual ~ITestGroupHost() = default;
  virtual bool BoardLive() const = 0;
  virtual void ShowGroupOnBoard(int index) = 0;
  virtual void SelectGroupTab(int index) = 0;
  virtual void Repaint() = 0;
};

// The index of the group with `key`, -1 when the board has no window or no group has the key.
int FindTestGroupRule(const ITestGroupHost& host, int key);
// Selects group `index` and returns the previously selected index; -1 (nothing done) for an
// index that is not a group. Negative indexes are refused too: "not found" is -1 and must
// never reach the board as a group.
int SelectTestGroupRule(ITestGroupHost& host, int& selectedIndex, int index);

// The Test page's group key for a device's test type: 0 -> 1 (CPU), 2 -> 2 (memory),
// 5 -> 3 (no group yet, selects nothing), anything else -1.
int TestKeyForTestType(int testType);

// Layout of the client area (pixels).
struct LayoutRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};
struct MainLayout {
  LayoutRect tabStrip;
  LayoutRect page;
};
inline constexpr int kMinWindowWidth = 800;
inline constexpr int kMinWindowHeight = 636;
inline constexpr int kHeaderHeight = 69;
// The tab strip sits at x 6 with its bottom edge on y 69, no wider than the client width less
// the right header picture (351); the page fills the rest with a 6-pixel margin.
MainLayout ComputeMainLayout(int clientWidth, int clientHeight, int tabNaturalWidth,
                             int tabNaturalHeight);
// A screen smaller than the window in either direction opens the window maximised.
bool ShouldOpenMaximised(int screenWidth, int screenHeight, int windowWidth, int windowHeight);

// Registered message numbers: anything outside 0xC000..0xFFFF (0 on failure included) is
// replaced by the fixed fallback.
std::uint32_t MessageNumberOrFallback(std::uint32_t registered, std::uint32_t fallback);

struct UpdateToolMessageIds {
  std::uint32_t startScan = 1280;
  std::uint32_t scanning = 1281;
  std::uint32_t endScan = 1282;
};
inline constexpr const char* kUpdateStartScanMessage = "WM_QMUPDATE_STARTSCAN";
inline constexpr const char* kUpdateScanningMessage = "WM_QMUPDATE_SCANNING";
inline constexpr const char* kUpdateEndScanMessage = "WM_QMUPDATE_ENDSCAN";
UpdateToolMessageIds RegisterUpdateToolMessages();

enum class UpdateToolMessage { None, StartScan, Scanning, EndScan };
// The registered numbers and the fixed 1280..1282 both count.
UpdateToolMessage ClassifyUpdateToolMessage(std::uint32_t msg, const UpdateToolMessageIds& ids);

}  // namespace korvane
