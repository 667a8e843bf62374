#pragma once
// The block above the summary panes: what the machine is (system, build, computer and user
// name, computer type, DirectX) and the score badge with its seven stars and the update-score
// link. The composition and the geometry live here; ui/SummaryHeader paints them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "summary/SummaryModel.h"
#include "sysinfo/DirectX.h"

namespace korvane {
class CLanguageRes;
}

namespace korvane::summary {

inline constexpr int kSummaryHeaderHeight = 138;
inline constexpr int kStarCount = 7;
inline constexpr int kStarSize = 25;  // a star's width and height, also the step between stars
inline constexpr int kInfoBitmapWidth = 800;

// Colours as the page stores them: 0x00BBGGRR.
inline constexpr std::uint32_t kHeaderInfoColour = 0x101010;
inline constexpr std::uint32_t kHeaderCaptionColour = 0x149A70;
inline constexpr std::uint32_t kHeaderScoreColour = 0x0F7A4F;

// Text ids of the header.
inline constexpr int kTextScoreCaption = 500;
inline constexpr int kTextUpdateScore = 510;
inline constexpr int kTextReupdateScore = 511;

// What the DirectX row is decided on.
struct DirectXFacts {
  bool windows7 = false;
  bool vistaOrServer2008 = false;
  std::optional<std::string> registryVersion;
  // The version the system files give; 0.0 means none is installed.
  DirectXVersion fileVersion;
};

// What the information rows are made of; a missing or empty text shows the "unknown" marker.
struct SystemInfoFacts {
  std::optional<std::string> osName;
  std::optional<std::string> osBuild;
  std::optional<std::string> computerName;
  std::optional<std::string> userName;
  std::optional<std::string> computerType;
  DirectXFacts directX;
};

// The running machine: OS naming, host name, the logged-on user, the first device of the
// "Computer" setup class, and the DirectX sources (which report nothing on Linux).
SystemInfoFacts ReadSystemInfoFacts();

// The DirectX row's value, "" when no source yields one.
std::string DirectXRowText(const DirectXFacts& facts, const CLanguageRes& lang);

// The six rows, keys "Os", "BuildInfo", "ComputerName", "LogonUserName", "ComputerType",
// "DirectXVersion", every label empty. With maskPrivate the computer and user names are
// replaced by a mask (terminal output).
std::vector<SummaryRow> SystemInfoRows(const SystemInfoFacts& facts, const CLanguageRes& lang,
                                       bool maskPrivate = false);
// What a private name becomes in terminal output.
std::string MaskedName(std::string_view name);

// The star row for a score: `full` whole stars from the left, then empty ones; over the first
// empty star the left `partialWidth` pixels of a whole star.
struct StarRow {
  int full = 0;
  int partialWidth = 0;
  bool operator==(const StarRow&) const = default;
};
StarRow StarsFor(float score);

// The badge's number: "0" in the large font while there is no score, else two decimals.
struct ScoreFace {
  std::string text;
  bool noScore = true;
};
ScoreFace ScoreFaceFor(float score);
// Text id of the update-score link: "update" before a score exists, "re-update" after.
int UpdateLinkTextId(float score);

// Where a score handed over by the main window goes.
enum class ScoreRoute { kOverall, kCpuPane, kMemoryPane, kRepaintOnly, kIgnored };
ScoreRoute RouteScore(int kind);

struct HeaderRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const HeaderRect&) const = default;
};
inline constexpr int kComputerPictureSize = 100;
inline constexpr int kBadgeWidth = 206;
inline constexpr int kBadgeHeight = 72;

// Everything's place for a header of the given client width.
struct HeaderLayout {
  HeaderRect picture;
  HeaderRect badge;
  HeaderRect stars;  // the seven stars side by side
  HeaderRect info;
  HeaderRect caption;
  HeaderRect score;
  int linkCentreX = 0;
  int linkBottom = 0;
};
HeaderLayout LayOutHeader(int clientWidth);

// The header's state: the system facts (read once) and the scores received.
class CSummaryHeader {
 public:
  void SetSystemInfo(SystemInfoFacts facts);
  bool HasSystemInfo() const { return hasFacts_; }
  const SystemInfoFacts& Facts() const { return facts_; }
  std::vector<SummaryRow> Rows(const CLanguageRes& lang, bool maskPrivate = false) const;

  // Stores the score by its kind and says where else it goes.
  ScoreRoute ShowScore(int kind, float score);
  float OverallScore() const { return overall_; }
  float CpuScore() const { return cpu_; }
  float MemoryScore() const { return memory_; }
  // Bumped by every score that asks for a repaint.
  int Repaints() const { return repaints_; }

 private:
  SystemInfoFacts facts_;
  bool hasFacts_ = false;
  float overall_ = -1.0f;
  float cpu_ = -1.0f;
  float memory_ = -1.0f;
  int repaints_ = 0;
};

}  // namespace korvane::summary
