#include "ui/logic/LinkCommands.h"

#include <algorithm>
#include <cstdlib>

#include "platform/Text.h"

namespace korvane {

namespace {

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? c - u'A' + u'a' : c; }

bool StartsWithNoCase(std::u16string_view text, std::u16string_view word) {
  if (text.size() < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (FoldAscii(text[i]) != FoldAscii(word[i])) return false;
  }
  return true;
}

bool EqualsNoCase(std::u16string_view text, std::u16string_view word) {
  return text.size() == word.size() && StartsWithNoCase(text, word);
}

struct CommandEntry {
  std::u16string_view word;
  bool wholeWord;
  AppCommand command;
};
constexpr CommandEntry kCommands[] = {
    {u"UpdateScore", true, {kMsgUpdateScore, false, false}},
    {u"SubmitScore", true, {kMsgSubmitScore, false, false}},
    {u"GotoComment", false, {kMsgGotoComment, false, true}},
    {u"TestNow", false, {kMsgTestNow, true, true}},
    {u"InstallDrive", false, {kMsgInstallDriver, true, true}},
    {u"JumpToQMUpdate", true, {kMsgJumpToQMUpdate, true, true}},
};

}  // namespace

bool LinkTextFits(std::string_view utf8) {
  return platform::Utf16Length(utf8) <= kLinkTextMaxUnits;
}

bool LinkTargetFits(std::string_view utf8) {
  return platform::Utf16Length(utf8) <= kLinkTargetMaxUnits;
}

std::optional<AppCommand> MatchAppCommand(std::u16string_view rest) {
  for (const CommandEntry& entry : kCommands) {
    if (entry.wholeWord ? EqualsNoCase(rest, entry.word) : StartsWithNoCase(rest, entry.word)) {
      return entry.command;
    }
  }
  return std::nullopt;
}

LinkClick ClassifyLinkClick(std::string_view target, std::string_view windowText) {
  LinkClick click;
  const std::string_view chosen = target.empty() ? windowText : target;
  const std::u16string wide = platform::Utf8ToUtf16(chosen);
  if (wide.size() <= 3) return click;
  if (!EqualsNoCase(std::u16string_view(wide).substr(0, 4), u"app:")) {
    click.kind = LinkClick::kOpen;
    click.target = std::string(chosen);
    return click;
  }
  if (const auto command = MatchAppCommand(std::u16string_view(wide).substr(4))) {
    click.kind = LinkClick::kCommand;
    click.command = *command;
  }
  return click;
}

bool DispatchAppCommand(const AppCommand& command, platform::IMessageTarget* parent,
                        int commandParameter) {
  if (parent == nullptr || !parent->IsLive()) return false;
  // The parameter travels as the Windows WPARAM would: a negative value keeps its bits.
  const platform::WParam wParam =
      command.carriesParameter ? static_cast<platform::WParam>(commandParameter) : 0;
  if (command.posted) return parent->Post(command.message, wParam, 0);
  parent->Send(command.message, wParam, 0);
  return true;
}

LinkColour ChooseLinkColour(unsigned options, bool hover, bool clicked, bool visited) {
  if (hover && (options & kLinkUseHoverColour) != 0) return LinkColour::kHover;
  if ((options & kLinkNeverFocusColour) != 0 || !clicked) {
    return visited ? LinkColour::kVisited : LinkColour::kLink;
  }
  return LinkColour::kFocus;
}

LinkRect AutoSizeLinkRect(const LinkRect& old, int textWidth, int textHeight, int frameWidth,
                          int frameHeight, unsigned align) {
  const int width = textWidth + frameWidth;
  const int height = textHeight + frameHeight;
  LinkRect r;
  if ((align & kLinkAlignCentre) != 0) {
    r.left = old.left + (old.right - old.left - width) / 2;
  } else if ((align & kLinkAlignRight) != 0) {
    r.left = old.right - width;
  } else {
    r.left = old.left;
  }
  r.top =
      (align & kLinkAlignVCentre) != 0 ? old.top + (old.bottom - old.top - height) / 2 : old.top;
  r.right = r.left + width;
  r.bottom = r.top + height;
  return r;
}

int WheelScrollPosition(int position, int delta, int wheelLines, int pageSize, int minimum,
                        int maximum) {
  int move = 0;
  if (wheelLines == -1) {
    move = pageSize;
  } else {
    const long notches = std::labs(static_cast<long>(delta)) / kWheelNotch;
    const long steps = std::max(1L, notches * std::max(0, wheelLines) / 6);
    move = static_cast<int>(std::min(steps * kWheelStepPixels, long{1} << 24));
  }
  const long target = static_cast<long>(position) + (delta > 0 ? -move : move);
  return static_cast<int>(std::clamp(target, static_cast<long>(minimum),
                                     static_cast<long>(std::max(minimum, maximum))));
}

}  // namespace korvane
