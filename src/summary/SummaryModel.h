#pragma once
// What the summary page shows, composed without any window: eight panes of device controls,
// each control with its icon or logo, its rows and its badges.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane::summary {

enum SummaryCategory : int {
  kCategoryCpu = 0,
  kCategoryMainboard = 1,
  kCategoryMemory = 2,
  kCategoryDisplay = 3,
  kCategoryMonitor = 4,
  kCategoryDisk = 5,
  kCategoryNetwork = 6,
  kCategorySound = 7,
  kCategoryCount = 8,
};

// Category icons of the page's 64 x 64 image list.
enum CategoryIcon : int {
  kIconAmd = 0,
  kIconIntel = 1,
  kIconMainboard = 2,
  kIconAti = 3,
  kIconNvidia = 4,
  kIconDisk = 5,
  kIconMonitor = 6,
  kIconMemory = 7,
  kIconDisplayOther = 8,
  kIconCpuOther = 9,
  kIconNetwork = 10,
  kIconSound = 11,
};

enum BadgeKind : int { kBadgeFan = 1, kBadgeTemperature = 2, kBadgeUsage = 3, kBadgeScore = 4 };

inline constexpr int kMaxBadges = 3;
inline constexpr int kNoTemperature = -100;  // "no reading" as the sensors report it
inline constexpr int kNoFan = -1;

struct SummaryRow {
  std::string key;
  std::string label;
  std::string value;
};

struct SummaryBadge {
  int kind = 0;
  std::string label;
};

struct MemoryUsage {
  std::int32_t usedMB = 0;
  std::int32_t totalMB = 0;
  std::int32_t loadPercent = 0;
};

struct DeviceInfoModel {
  int category = -1;
  int icon = -1;  // index into the category icons
  int logo = 0;   // CPU logo bitmap id, 0 when none
  std::vector<SummaryRow> rows;
  std::vector<SummaryBadge> badges;
  // Badge values.
  std::int32_t temperature = kNoTemperature;
  std::int32_t fan = kNoFan;
  MemoryUsage usage;
  bool hasScore = false;
  double score = -1.0;

  // Appends a row with an empty value; the index it got.
  int AddRow(std::string key, std::string label);
  // -1 when the index is out of range.
  int SetRowValue(int index, std::string value);
  // False when no row has the key.
  bool SetRowValueByKey(std::string_view key, std::string value);
  // The slot 0..2, or -1 when three are in use.
  int AddBadge(int kind, std::string label);
  const SummaryBadge* FindBadge(int kind) const;
};

struct PaneModel {
  int category = 0;
  std::string title;
  std::string caption;
  bool built = false;  // false while only the empty pane exists
  std::vector<DeviceInfoModel> controls;
  // The degrees shown beside the caption, once a sensor has given one.
  std::optional<std::int32_t> temperature;
};

// The short texts per category that the pane captions show and that go with the hardware
// profile. Entries 8 and 9 exist for the readers' numbering and are never written.
struct HardwareSummaryTable {
  std::array<std::string, 10> caption;
  std::array<std::string, 10> profile;
  // The memory pane's caption string ("vendor part type NMHz ( size )"), read with the profile.
  std::string memoryCaption;
  // Replaces an entry only by a non-empty, trimmed text that differs from the current one.
  static void Replace(std::string& entry, std::string_view text);
};

// The process-wide table that the page writes and the profile and benchmark readers read.
HardwareSummaryTable& CaptionAndProfileSummary();
// kind 0 CPU, 2 board, 3 memory (which 2 = the memory caption string), 4..8 the profiles of
// display, monitor, disk, network and sound; which 0 caption, 1 profile. Anything else: "".
std::string GetSummary(int kind, int which);

}  // namespace korvane::summary
