#pragma once
// Which picture a device gets and how its badges read: the category icon from the device's
// name, the processor logo from its architecture code, badge texts and colours.
#include <cstdint>
#include <string>
#include <string_view>

#include "summary/SummaryModel.h"

namespace korvane {
class CLanguageRes;
}

namespace korvane::summary {

int CpuIconIndex(std::string_view cpuName);
int DisplayIconIndex(std::string_view vendor, std::string_view adapterName);
// The logo bitmap id of an architecture code, 0 when the code's group has no logo.
int CpuLogoBitmap(std::uint32_t architectureCode, std::int32_t coreCount);

// Colours as the page stores them: 0x00BBGGRR.
inline constexpr std::uint32_t kTextColour = 0x101010;
inline constexpr std::uint32_t kNoReadingColour = 0x1515A3;
inline constexpr std::uint32_t kLoadColour = 0x00FF99;
inline constexpr std::uint32_t kBackgroundColour = 0x535353;
std::uint32_t TemperatureColour(int category, std::int32_t degrees);

inline constexpr std::int32_t kFanLimit = 15000;

// One badge as drawn: up to two texts, each with its colour; nothing when both are empty.
struct BadgeView {
  std::string text;
  std::uint32_t colour = kTextColour;
  std::string second;
  std::uint32_t secondColour = kLoadColour;
};
BadgeView ViewBadge(const DeviceInfoModel& control, int kind, const CLanguageRes& lang);

// The text of the "test now" link: re-scan once the category has a score, scan now before.
// Categories without a benchmark keep the link's own label (empty here).
std::string TestNowLinkText(const DeviceInfoModel& control, const CLanguageRes& lang);

}  // namespace korvane::summary
