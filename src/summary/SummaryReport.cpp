#include "summary/SummaryReport.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "config/LanguageRes.h"
#include "summary/HdwSummary.h"
#include "summary/PrivateText.h"
#include "summary/SummaryArt.h"

namespace korvane::summary {
namespace {

using Json = nlohmann::ordered_json;

const char* CategoryId(int k) {
  static const char* kIds[] = {"cpu",     "mainboard", "memory",  "display",
                               "monitor", "disk",      "network", "sound"};
  return k >= 0 && k < kCategoryCount ? kIds[k] : "unknown";
}

const char* IconName(int icon) {
  static const char* kNames[] = {"amd",     "intel",  "mainboard", "ati", "nvidia",  "disk",
                                 "monitor", "memory", "display",   "cpu", "network", "sound"};
  return icon >= 0 && icon < 12 ? kNames[icon] : "none";
}

const char* BadgeName(int kind) {
  switch (kind) {
    case kBadgeFan:
      return "fan";
    case kBadgeTemperature:
      return "temperature";
    case kBadgeUsage:
      return "usage";
    case kBadgeScore:
      return "score";
    default:
      return "unknown";
  }
}

std::string Hex(std::uint32_t colour) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", colour & 0xFF, (colour >> 8) & 0xFF,
                (colour >> 16) & 0xFF);
  return buf;
}

// Terminal columns of a UTF-8 text: wide (East Asian) characters take two.
std::size_t Columns(const std::string& s) {
  std::size_t cols = 0;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::uint32_t cp = c;
    std::size_t len = 1;
    if (c >= 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else if (c >= 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xC0) {
      len = 2;
      cp = c & 0x1F;
    }
    for (std::size_t k = 1; k < len && i + k < s.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                      (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                      (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                      (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
    cols += wide ? 2 : 1;
    i += len;
  }
  return cols;
}

// A score as a number with two decimals, null while there is none.
Json ScoreValue(float score) {
  if (!(score > 0.0f)) return nullptr;
  return std::round(static_cast<double>(score) * 100.0) / 100.0;
}

Json HeaderDocument(const CHdwSummary& page, const CLanguageRes& lang, bool showPrivate) {
  const CSummaryHeader& header = page.header;
  Json rows = Json::array();
  for (const auto& r : header.Rows(lang, !showPrivate)) {
    rows.push_back(Json{{"key", r.key}, {"value", r.value}});
  }
  const float overall = header.OverallScore();
  const StarRow stars = StarsFor(overall);
  Json badge;
  badge["caption"] = lang.Text(kTextScoreCaption);
  badge["score"] = ScoreValue(overall);
  badge["text"] = ScoreFaceFor(overall).text;
  badge["fullStars"] = stars.full;
  badge["partialStarPixels"] = stars.partialWidth;
  badge["link"] = lang.Text(UpdateLinkTextId(overall));
  Json h;
  h["systemInfo"] = std::move(rows);
  h["badge"] = std::move(badge);
  h["cpuScore"] = ScoreValue(header.CpuScore());
  h["memoryScore"] = ScoreValue(header.MemoryScore());
  return h;
}

// The star row in a terminal: whole stars filled, the rest (a partial one included) hollow.
std::string StarText(int full) {
  std::string text;
  for (int i = 0; i < kStarCount; ++i) text += i < full ? "\xE2\x98\x85" : "\xE2\x98\x86";
  return text;
}

}  // namespace

Json SensorPlacementJson(const SensorPlacement& s) {
  Json j;
  j["device"] = s.control < 0 ? Json(nullptr) : Json(s.control);
  j["kind"] = SensorKindName(s.what);
  j["chip"] = s.chip;
  j["sensor"] = s.sensor;
  j["reading"] = std::round(static_cast<double>(s.reading) * 1000.0) / 1000.0;
  j["shown"] = s.shown;
  j["unit"] = SensorUnit(s.what);
  return j;
}

const char* SensorKindName(int what) {
  switch (what) {
    case SensorPlacement::kVoltage:
      return "voltage";
    case SensorPlacement::kFan:
      return "fan";
    default:
      return "temperature";
  }
}

const char* SensorUnit(int what) {
  switch (what) {
    case SensorPlacement::kVoltage:
      return "V";
    case SensorPlacement::kFan:
      return "RPM";
    default:
      return "\u2103";
  }
}

Json BuildReportDocument(const CHdwSummary& page, const CLanguageRes& lang, bool showPrivate) {
  Json doc;
  doc["schema"] = kReportSchema;
  doc["language"] = lang.SelectedTable() == kTableEnglish ? "en" : "zh-CN";
  doc["privateShown"] = showPrivate;
  doc["header"] = HeaderDocument(page, lang, showPrivate);
  Json panes = Json::array();
  for (const auto& pane : page.panes) {
    Json p;
    p["category"] = pane.category;
    p["id"] = CategoryId(pane.category);
    p["title"] = pane.title;
    p["caption"] = pane.caption;
    p["temperature"] = pane.temperature ? Json(*pane.temperature) : Json(nullptr);
    Json sensors = Json::array();
    for (const auto& s : page.sensors.Placements()) {
      if (s.category == pane.category) sensors.push_back(SensorPlacementJson(s));
    }
    p["sensors"] = std::move(sensors);
    Json devices = Json::array();
    for (const auto& c : pane.controls) {
      Json d;
      d["icon"] = IconName(c.icon);
      if (c.logo != 0)
        d["logo"] = c.logo;
      else
        d["logo"] = nullptr;
      Json rows = Json::array();
      for (const auto& r : c.rows) {
        const std::string value =
            showPrivate ? r.value : MaskRowValue(pane.category, r.key, r.value);
        rows.push_back(Json{{"key", r.key}, {"label", r.label}, {"value", value}});
      }
      d["rows"] = std::move(rows);
      Json badges = Json::array();
      for (const auto& b : c.badges) {
        const BadgeView v = ViewBadge(c, b.kind, lang);
        Json bj{{"kind", BadgeName(b.kind)}, {"label", b.label}, {"text", v.text}};
        bj["colour"] = v.text.empty() ? Json(nullptr) : Json(Hex(v.colour));
        if (!v.second.empty()) bj["secondText"] = v.second;
        badges.push_back(std::move(bj));
      }
      d["badges"] = std::move(badges);
      const std::string link = TestNowLinkText(c, lang);
      d["testNowLink"] = link.empty() ? Json(nullptr) : Json(link);
      devices.push_back(std::move(d));
    }
    p["devices"] = std::move(devices);
    panes.push_back(std::move(p));
  }
  doc["panes"] = std::move(panes);
  return doc;
}

std::string RenderReportText(const Json& doc) {
  std::ostringstream out;
  if (doc.contains("header")) {
    const auto& h = doc.at("header");
    for (const auto& r : h.at("systemInfo")) {
      const auto value = r.at("value").get<std::string>();
      if (!value.empty()) out << "  " << value << '\n';
    }
    const auto& b = h.at("badge");
    out << "  " << b.at("caption").get<std::string>() << "  " << b.at("text").get<std::string>()
        << "  " << StarText(b.at("fullStars").get<int>()) << "  ["
        << b.at("link").get<std::string>() << "]\n\n";
  }
  bool firstPane = true;
  for (const auto& p : doc.at("panes")) {
    if (!firstPane) out << '\n';
    firstPane = false;
    out << "== " << p.at("title").get<std::string>();
    const auto caption = p.at("caption").get<std::string>();
    if (!caption.empty()) out << " == " << caption;
    if (p.contains("temperature") && p.at("temperature").is_number_integer()) {
      out << (caption.empty() ? " == " : "  ") << p.at("temperature").get<int>() << "\u2103";
    }
    out << '\n';
    bool firstDevice = true;
    for (const auto& d : p.at("devices")) {
      if (!firstDevice) out << "  --\n";
      firstDevice = false;
      std::size_t width = 0;
      for (const auto& r : d.at("rows"))
        width = std::max(width, Columns(r.at("label").get<std::string>()));
      for (const auto& b : d.at("badges"))
        width = std::max(width, Columns(b.at("label").get<std::string>()));
      auto line = [&](const std::string& label, const std::string& value) {
        std::string text = "  " + label + std::string(width - Columns(label), ' ') + "  " + value;
        text.erase(text.find_last_not_of(' ') + 1);
        out << text << '\n';
      };
      for (const auto& r : d.at("rows")) {
        const auto label = r.at("label").get<std::string>();
        const auto value = r.at("value").get<std::string>();
        if (label.empty() && value.empty()) continue;  // the blank lines between sound devices
        line(label, value);
      }
      for (const auto& b : d.at("badges")) {
        std::string text = b.at("text").get<std::string>();
        if (b.contains("secondText"))
          text += (text.empty() ? "" : "  ") + b.at("secondText").get<std::string>();
        if (text.empty() && !d.at("testNowLink").is_null() && b.at("kind") == "score") {
          text = d.at("testNowLink").get<std::string>();
        }
        if (text.empty()) continue;
        line(b.at("label").get<std::string>(), text);
      }
    }
  }
  return out.str();
}

}  // namespace korvane::summary
