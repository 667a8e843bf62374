#pragma once
// What a click on a link does. Targets that start with "app:" are the pages' way to ask the
// main window for something (run a test, submit a score, ...): they become window messages to
// the link's parent. Everything else is opened by the desktop. Also the rules the link widgets
// share: text limits, colour choice, auto-size geometry and wheel scrolling.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Messages.h"

namespace korvane {

inline constexpr std::uint32_t kMsgUpdateScore = 2324;     // WM_USER + 1300
inline constexpr std::uint32_t kMsgSubmitScore = 2325;     // WM_USER + 1301
inline constexpr std::uint32_t kMsgGotoComment = 2326;     // WM_USER + 1302
inline constexpr std::uint32_t kMsgTestNow = 2327;         // WM_USER + 1303
inline constexpr std::uint32_t kMsgInstallDriver = 2328;   // WM_USER + 1304
inline constexpr std::uint32_t kMsgJumpToQMUpdate = 2329;  // WM_USER + 1305

// Longest display text and target a link keeps, in UTF-16 units.
inline constexpr std::size_t kLinkTextMaxUnits = 63;
inline constexpr std::size_t kLinkTargetMaxUnits = 255;
bool LinkTextFits(std::string_view utf8);
bool LinkTargetFits(std::string_view utf8);

struct AppCommand {
  std::uint32_t message = 0;
  bool posted = false;            // else sent (the caller waits for the parent)
  bool carriesParameter = false;  // wParam = the link's command parameter, else 0
};
// The command named by what follows "app:" (case-insensitive; some commands are whole words,
// others only need to begin with their word).
std::optional<AppCommand> MatchAppCommand(std::u16string_view rest);

struct LinkClick {
  enum Kind { kNothing, kOpen, kCommand };
  Kind kind = kNothing;
  std::string target;  // for kOpen: the whole target
  AppCommand command;  // for kCommand
};
// The link's target, or its window text when the target is empty. Three characters or fewer
// do nothing; "app:" without a known command does nothing either.
LinkClick ClassifyLinkClick(std::string_view target, std::string_view windowText);
// Sends or posts the command to the parent; false when there is no live parent.
bool DispatchAppCommand(const AppCommand& command, platform::IMessageTarget* parent,
                        int commandParameter);

// The option bits of the framework-style link.
enum LinkOption : unsigned {
  kLinkUnderline = 1,
  kLinkUseHoverColour = 2,
  kLinkAutoSize = 4,
  kLinkOpenOnClick = 8,
  kLinkFocusOnClick = 16,
  kLinkNoHandCursor = 32,
  kLinkNeverFocusColour = 64,
};
inline constexpr unsigned kLinkDefaultOptions = 0x57;
enum class LinkColour { kLink, kFocus, kVisited, kHover };
LinkColour ChooseLinkColour(unsigned options, bool hover, bool clicked, bool visited);

// Colours as 0x00BBGGRR values.
inline constexpr std::uint32_t kLink2NormalColour = 0xFF0000;
inline constexpr std::uint32_t kLink2HoverColour = 0x0000FF;
struct LinkColours {
  std::uint32_t link = 0xC0C0C0;
  std::uint32_t focus = 0x0000FF;
  std::uint32_t visited = 0xC0C0C0;
  std::uint32_t hover = 0xFFFFFF;
};

struct LinkRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const LinkRect&) const = default;
};
enum LinkAlign : unsigned { kLinkAlignCentre = 1, kLinkAlignRight = 2, kLinkAlignVCentre = 4 };
// The window rectangle after resizing to a text of textWidth x textHeight, keeping the frame
// (frameWidth/frameHeight: what the window adds around its text) and anchored by the alignment:
// centred or right-aligned horizontally, else left; vertically centred, else top.
LinkRect AutoSizeLinkRect(const LinkRect& old, int textWidth, int textHeight, int frameWidth,
                          int frameHeight, unsigned align);

// One wheel event: the new scroll position. A notch is 120 units; wheelLines is the desktop's
// lines-per-notch setting, -1 meaning a page per notch.
inline constexpr int kWheelNotch = 120;
inline constexpr int kWheelStepPixels = 30;
int WheelScrollPosition(int position, int delta, int wheelLines, int pageSize, int minimum,
                        int maximum);

}  // namespace korvane
