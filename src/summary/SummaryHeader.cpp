#include "summary/SummaryHeader.h"

#include <pwd.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>

#include "config/LanguageRes.h"
#include "platform/Sysroot.h"
#include "platform/Text.h"
#include "sysinfo/DeviceEnum.h"
#include "sysinfo/OsName.h"

namespace korvane::summary {
namespace {

constexpr std::size_t kNameMaxUnits = 511;

std::optional<std::string> Known(std::string text) {
  text = platform::Trim(text);
  if (text.empty()) return std::nullopt;
  return platform::TruncateUtf16Units(text, kNameMaxUnits);
}

std::optional<std::string> ComputerName() {
  if (auto name = platform::ReadSysLine("/proc/sys/kernel/hostname"); name && !name->empty()) {
    return Known(*name);
  }
  // A recorded machine answers for itself; only the live one may be asked directly.
  if (!platform::SysrootPrefix().empty()) return std::nullopt;
  char buffer[256] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) return std::nullopt;
  return Known(buffer);
}

std::optional<std::string> LogonUserName() {
  std::vector<char> buffer(16384);
  passwd pw{};
  passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &result) == 0 &&
      result != nullptr && result->pw_name != nullptr) {
    if (auto name = Known(result->pw_name)) return name;
  }
  // No entry for our uid (a container without one): the login's own word for it.
  for (const char* variable : {"LOGNAME", "USER"}) {
    if (const char* value = std::getenv(variable)) {
      if (auto name = Known(value)) return name;
    }
  }
  return std::nullopt;
}

std::optional<std::string> ComputerType() {
  if (auto device = FirstPresentDevice("Computer")) return Known(device->name);
  return std::nullopt;
}

std::string LabelAndValue(const CLanguageRes& lang, int labelId,
                          const std::optional<std::string>& value, int unknownId) {
  const std::string shown = value && !value->empty() ? *value : lang.Text(unknownId);
  return platform::Format("%s : %s", lang.Text(labelId).c_str(), shown.c_str());
}

std::string LetterText(char letter) {
  return letter == ' ' || letter == '\0' ? std::string() : std::string(1, letter);
}

bool FileVersionKnown(const DirectXVersion& v) { return v.major > 0 || v.minor > 0; }

}  // namespace

SystemInfoFacts ReadSystemInfoFacts() {
  SystemInfoFacts facts;
  std::string longName, build;
  if (GetOsName(&longName, &build) == 1) {
    facts.osName = Known(longName);
    facts.osBuild = Known(build);
  }
  facts.computerName = ComputerName();
  facts.userName = LogonUserName();
  facts.computerType = ComputerType();
  facts.directX.windows7 = IsWindows7() != 0;
  facts.directX.vistaOrServer2008 = IsVista() != 0 || IsServer2008() != 0;
  std::string registry;
  if (GetDirectXRegistryVersion(&registry) == 1 && !registry.empty()) {
    facts.directX.registryVersion = registry;
  }
  DirectXVersion files;
  if (GetDirectXVersion(&files) == 1) facts.directX.fileVersion = files;
  return facts;
}

std::string DirectXRowText(const DirectXFacts& facts, const CLanguageRes& lang) {
  const std::string label = lang.Text(535);
  if (facts.windows7) return platform::Format("%s : (DirectX 11.0)", label.c_str());
  if (facts.vistaOrServer2008) return platform::Format("%s : (DirectX 10.0)", label.c_str());
  const DirectXVersion& f = facts.fileVersion;
  const std::string letter = LetterText(f.letter);
  if (facts.registryVersion) {
    const std::string& v = *facts.registryVersion;
    std::string name;
    if (MapDirectXVersion(&name, v, false, false) == 1) {
      return platform::Format("%s : %s (DirectX %s)", label.c_str(), v.c_str(), name.c_str());
    }
    if (FileVersionKnown(f)) {
      return platform::Format("%s : %s (DirectX %d.%d%s)", label.c_str(), v.c_str(), f.major,
                              f.minor, letter.c_str());
    }
    return {};
  }
  // Version 0.0 is the file method's "nothing installed": no text rather than "DirectX 0.0".
  if (FileVersionKnown(f)) {
    return platform::Format("%s : DirectX %d.%d%s", label.c_str(), f.major, f.minor,
                            letter.c_str());
  }
  return {};
}

std::string MaskedName(std::string_view name) {
  // Nothing of the name is kept, not even its length.
  return name.empty() ? std::string() : std::string("XXXXXXXX");
}

std::vector<SummaryRow> SystemInfoRows(const SystemInfoFacts& facts, const CLanguageRes& lang,
                                       bool maskPrivate) {
  auto masked = [maskPrivate](const std::optional<std::string>& name) {
    if (!maskPrivate || !name || name->empty()) return name;
    return std::optional<std::string>(MaskedName(*name));
  };
  // The build row follows the naming: both come from the one call, so a failed naming shows
  // both as unknown.
  const bool named = facts.osName.has_value() && !facts.osName->empty();
  std::vector<SummaryRow> rows;
  rows.push_back({"Os", "", LabelAndValue(lang, 530, facts.osName, 550)});
  rows.push_back(
      {"BuildInfo", "", LabelAndValue(lang, 531, named ? facts.osBuild : std::nullopt, 551)});
  rows.push_back({"ComputerName", "", LabelAndValue(lang, 532, masked(facts.computerName), 552)});
  rows.push_back({"LogonUserName", "", LabelAndValue(lang, 533, masked(facts.userName), 553)});
  rows.push_back({"ComputerType", "", LabelAndValue(lang, 534, facts.computerType, 554)});
  rows.push_back({"DirectXVersion", "", DirectXRowText(facts.directX, lang)});
  return rows;
}

StarRow StarsFor(float score) {
  // NaN and negative scores draw as no score at all.
  const double s = std::isnan(score) || score < 0.0f ? 0.0 : static_cast<double>(score);
  const double whole = std::floor(std::floor(2.0 * s) / 2.0);
  StarRow row;
  row.full = whole >= kStarCount ? kStarCount : static_cast<int>(whole);
  // Only an empty star can carry the partial one.
  if (row.full < kStarCount) {
    row.partialWidth = static_cast<int>(std::floor((s - row.full) * kStarSize));
  }
  return row;
}

ScoreFace ScoreFaceFor(float score) {
  if (!(score > 0.0f)) return {"0", true};
  return {platform::Format("%0.2f", static_cast<double>(score)), false};
}

int UpdateLinkTextId(float score) { return score > 0.0f ? kTextReupdateScore : kTextUpdateScore; }

ScoreRoute RouteScore(int kind) {
  switch (kind) {
    case 0:
      return ScoreRoute::kOverall;
    case 1:
      return ScoreRoute::kCpuPane;
    case 2:
      return ScoreRoute::kMemoryPane;
    default:
      return kind > 2 && kind <= 9 ? ScoreRoute::kRepaintOnly : ScoreRoute::kIgnored;
  }
}

HeaderLayout LayOutHeader(int w) {
  HeaderLayout l;
  l.picture = {8, 14, 8 + kComputerPictureSize, 14 + kComputerPictureSize};
  l.badge = {w - 214, 4, w - 214 + kBadgeWidth, 4 + kBadgeHeight};
  l.stars = {w - 202, 80, w - 202 + kStarCount * kStarSize, 80 + kStarSize};
  l.info = {114, 8, w - 262, 134};
  l.caption = {w - 161, 6, w - 61, 26};
  l.score = {w - 214, 4, w - 12, 74};
  l.linkCentreX = w - 111;
  l.linkBottom = 129;
  return l;
}

void CSummaryHeader::SetSystemInfo(SystemInfoFacts facts) {
  facts_ = std::move(facts);
  hasFacts_ = true;
}

std::vector<SummaryRow> CSummaryHeader::Rows(const CLanguageRes& lang, bool maskPrivate) const {
  return SystemInfoRows(facts_, lang, maskPrivate);
}

ScoreRoute CSummaryHeader::ShowScore(int kind, float score) {
  const ScoreRoute route = RouteScore(kind);
  switch (route) {
    case ScoreRoute::kOverall:
      overall_ = score;
      break;
    case ScoreRoute::kCpuPane:
      cpu_ = score;
      break;
    case ScoreRoute::kMemoryPane:
      memory_ = score;
      break;
    case ScoreRoute::kRepaintOnly:
    case ScoreRoute::kIgnored:
      break;
  }
  // The pane scores repaint their panes; the header repaints for its own score and the rest.
  if (route == ScoreRoute::kOverall || route == ScoreRoute::kRepaintOnly) ++repaints_;
  return route;
}

}  // namespace korvane::summary
