#include "summary/SummaryArt.h"

#include <map>

#include "config/LanguageRes.h"
#include "platform/Text.h"

namespace korvane::summary {
namespace {

long Pos(const std::string& text, std::string_view word) {
  const auto p = text.find(word);
  return p == std::string::npos ? -1 : static_cast<long>(p);
}

bool Has(const std::string& text, std::string_view word) { return Pos(text, word) >= 0; }

}  // namespace

int CpuIconIndex(std::string_view cpuName) {
  const std::string name = platform::ToLowerAscii(cpuName);
  const long i = Pos(name, "intel");
  const long a = Pos(name, "amd");
  if (i >= 0 && a < 0) return kIconIntel;
  if (a >= 0 && i < 0) return kIconAmd;
  if (i >= 0 && a >= 0) return a <= i ? kIconIntel : kIconAmd;
  if (Has(name, "core") || Has(name, "pentium") || Has(name, "celeron")) return kIconIntel;
  if (Has(name, "athlon") || Has(name, "k6") || Has(name, "k7") || Has(name, "k8")) return kIconAmd;
  return kIconCpuOther;
}

int DisplayIconIndex(std::string_view vendor, std::string_view adapterName) {
  const std::string v = platform::ToLowerAscii(vendor);
  const long t = Pos(v, "ati");
  const long n = Pos(v, "nvidia");
  const long iv = Pos(v, "intel");
  if (iv >= 0 && iv < 5 && n < 0) return kIconIntel;
  if (n >= 0 && t < 0) return kIconNvidia;
  if (n >= 0 && t >= 0) return t < n ? kIconAti : kIconNvidia;
  if (t >= 0) return kIconAti;

  const std::string name = platform::ToLowerAscii(adapterName);
  const long ni = Pos(name, "intel");
  const long nn = Pos(name, "nvidia");
  const long nt = Pos(name, "ati");
  if (ni >= 0 && ni < 7 && nn < 0) return kIconIntel;
  if (nn >= 0) {
    if (nt < 0) return kIconNvidia;
    return nt < nn ? kIconAti : kIconNvidia;
  }
  if (nt >= 0) return kIconAti;
  if (Has(name, "geforce") || Has(name, "quadro")) return kIconNvidia;
  if (Has(name, "radeon") || Has(name, "amd")) return kIconAti;
  return kIconDisplayOther;
}

int CpuLogoBitmap(std::uint32_t code, std::int32_t coreCount) {
  static const std::map<std::uint32_t, int> kGroup1 = {
      {0x1000802, 271}, {0x1000803, 271}, {0x1000804, 251}, {0x1000809, 251}, {0x1001005, 251},
      {0x1000805, 275}, {0x100080A, 275}, {0x1000806, 273}, {0x1000808, 273}, {0x1000807, 272},
      {0x1001001, 265}, {0x1001002, 284}, {0x1001003, 266}, {0x1001004, 268}, {0x1001009, 268},
      {0x1001006, 254}, {0x1001007, 276}, {0x1008003, 276}, {0x1020003, 276}, {0x1001008, 270},
      {0x1002001, 274}, {0x1002002, 253}, {0x1004001, 260}, {0x1004002, 259}, {0x1004003, 252},
      {0x1004004, 252}, {0x1008004, 252}, {0x1008007, 252}, {0x1008001, 256}, {0x1008002, 257},
      {0x1008005, 258}, {0x1008006, 264}, {0x1010001, 250}, {0x1020001, 261}, {0x1020002, 262}};
  static const std::map<std::uint32_t, int> kGroup2 = {
      {0x2000802, 234}, {0x2000803, 235}, {0x2001001, 232}, {0x2001002, 232}, {0x2001003, 230},
      {0x2001004, 233}, {0x2001005, 242}, {0x2002006, 242}, {0x2004008, 242}, {0x2001006, 243},
      {0x2002007, 243}, {0x2002001, 226}, {0x2004007, 226}, {0x2002002, 227}, {0x2002003, 229},
      {0x2002004, 238}, {0x2002005, 244}, {0x2004005, 244}, {0x2002008, 231}, {0x2002009, 247},
      {0x2004001, 239}, {0x2004002, 241}, {0x2004003, 240}, {0x2004004, 237}, {0x2004006, 246}};
  static const std::map<std::uint32_t, int> kGroup8 = {
      {0x8000801, 279}, {0x8001001, 280}, {0x8001002, 281}, {0x8001003, 282}};
  switch (code >> 24) {
    case 0x01: {
      const auto it = kGroup1.find(code);
      return it == kGroup1.end() ? 249 : it->second;
    }
    case 0x02: {
      if (code == 0x2004009) return coreCount == 4 ? 295 : 294;
      const auto it = kGroup2.find(code);
      return it == kGroup2.end() ? 225 : it->second;
    }
    case 0x04:
      return 248;
    case 0x08: {
      if (code >= 0x8002000 && code <= 0x80020FF) return 283;
      const auto it = kGroup8.find(code);
      return it == kGroup8.end() ? 278 : it->second;
    }
    default:
      return 0;
  }
}

std::uint32_t TemperatureColour(int category, std::int32_t t) {
  // Limits per category: hot, warm, and the top of the cool band (inclusive or not).
  struct Band {
    int hot, warm, cool;
    bool coolInclusive;
  };
  Band band{};
  switch (category) {
    case kCategoryCpu:
      band = {80, 65, 46, false};
      break;
    case kCategoryMainboard:
      band = {75, 60, 40, true};
      break;
    case kCategoryDisplay:
      band = {95, 75, 56, false};
      break;
    case kCategoryDisk:
      band = {70, 60, 40, true};
      break;
    default:
      return kTextColour;
  }
  if (t >= band.hot) return 0x0202FF;
  if (t >= band.warm) return 0x0101CB;
  if (band.coolInclusive ? t <= band.cool : t < band.cool) return 0x0F966E;
  return 0x0264FF;
}

BadgeView ViewBadge(const DeviceInfoModel& c, int kind, const CLanguageRes& lang) {
  BadgeView v;
  switch (kind) {
    case kBadgeTemperature:
      if (c.temperature < kNoTemperature) break;
      if (c.temperature < -99) {
        v.text = lang.Text(620);
        v.colour = kNoReadingColour;
      } else {
        v.text = platform::Format("%d\u2103", c.temperature);
        v.colour = TemperatureColour(c.category, c.temperature);
      }
      break;
    case kBadgeFan:
      if (c.fan < 0) break;
      v.text = platform::Format("%d RPM", c.fan > kFanLimit ? kFanLimit : c.fan);
      break;
    case kBadgeUsage:
      if (c.usage.usedMB != 0) v.text = platform::Format("%d MB", c.usage.usedMB);
      v.second = platform::Format("%d%%", c.usage.loadPercent);
      break;
    case kBadgeScore:
      if (c.hasScore && c.score > 0) v.text = platform::Format("%0.2f", c.score);
      break;
    default:
      break;
  }
  return v;
}

std::string TestNowLinkText(const DeviceInfoModel& c, const CLanguageRes& lang) {
  if (c.category != kCategoryCpu && c.category != kCategoryMemory) return {};
  return lang.Text(c.hasScore && c.score > 0 ? 601 : 600);
}

}  // namespace korvane::summary
