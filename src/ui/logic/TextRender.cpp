#include "ui/logic/TextRender.h"

#include <algorithm>
#include <new>
#include <optional>

#include "config/Product.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace korvane {

namespace {

struct ControlWord {
  std::u16string_view text;
  TextToken::Kind kind;
};
constexpr ControlWord kControlWords[] = {
    {u"b1", TextToken::kBoldOn},       {u"b0", TextToken::kBoldOff},
    {u"i1", TextToken::kItalicOn},     {u"i0", TextToken::kItalicOff},
    {u"ul1", TextToken::kUnderlineOn}, {u"ul0", TextToken::kUnderlineOff},
    {u"par", TextToken::kParagraph},   {u"n", TextToken::kNewLine},
    {u"r", TextToken::kMarker},
};

std::optional<TextToken::Kind> MatchControlWord(std::u16string_view word) {
  for (const ControlWord& w : kControlWords) {
    if (w.text == word) return w.kind;
  }
  return std::nullopt;
}

void ApplyToken(const TextToken& token, TextStyle& style) {
  switch (token.kind) {
    case TextToken::kBoldOn:
      style.weight = 700;
      break;
    case TextToken::kBoldOff:
      style.weight = 400;
      break;
    case TextToken::kItalicOn:
      style.italic = true;
      break;
    case TextToken::kItalicOff:
      style.italic = false;
      break;
    case TextToken::kUnderlineOn:
      style.underline = true;
      break;
    case TextToken::kUnderlineOff:
      style.underline = false;
      break;
    default:
      break;
  }
}

// Where the line that starts at `begin` ends (one past its last token), following the
// wrapping rule: break at the last space before the overflowing character, keep the spaces at
// the end of the line, and never cut a word that has no space before it.
std::size_t FindLineEnd(ITextDevice& device, const std::vector<TextToken>& tokens,
                        std::size_t begin, TextStyle style, int blockWidth) {
  const std::size_t n = tokens.size();
  int closedWidth = 0;  // runs already ended by a control word
  std::u16string run;
  TextStyle runStyle = style;
  std::size_t overflow = n;
  for (std::size_t j = begin; j < n; ++j) {
    const TextToken& t = tokens[j];
    if (t.IsBreak()) return j + 1;
    if (t.kind != TextToken::kChar) {
      if (!run.empty()) closedWidth += device.TextWidth(run, runStyle);
      run.clear();
      ApplyToken(t, style);
      runStyle = style;
      continue;
    }
    run += t.ch;
    if (closedWidth + device.TextWidth(run, runStyle) >= blockWidth) {
      overflow = j;
      break;
    }
  }
  if (overflow == n) return n;

  std::size_t end = overflow;
  if (!tokens[overflow].IsSpace()) {
    std::size_t lastSpace = n;
    for (std::size_t k = overflow; k > begin; --k) {
      if (tokens[k - 1].IsSpace()) {
        lastSpace = k - 1;
        break;
      }
    }
    if (lastSpace == n) {
      // One word wider than the block: it stays whole.
      std::size_t k = overflow;
      while (k < n && !tokens[k].IsSpace() && !tokens[k].IsBreak()) ++k;
      return (k < n && tokens[k].IsBreak()) ? k + 1 : k;
    }
    end = lastSpace;
  }
  while (end < n && tokens[end].IsSpace()) ++end;
  return end;
}

}  // namespace

std::vector<TextToken> TokeniseMarkup(std::u16string_view text) {
  std::vector<TextToken> tokens;
  tokens.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != u'\\') {
      tokens.push_back({TextToken::kChar, text[i]});
      ++i;
      continue;
    }
    bool matched = false;
    for (std::size_t j = i + 1; j < text.size() && text[j] != u'\\' && text[j] != u' ';) {
      ++j;
      if (const auto kind = MatchControlWord(text.substr(i + 1, j - i - 1))) {
        tokens.push_back({*kind, 0});
        i = j;
        matched = true;
        break;
      }
    }
    if (!matched) ++i;  // an unknown word loses only its backslash
  }
  return tokens;
}

std::vector<TextLine> LayoutMarkup(ITextDevice& device, std::u16string_view text, int blockWidth) {
  const std::vector<TextToken> tokens = TokeniseMarkup(text);
  const std::size_t n = tokens.size();
  std::vector<TextLine> lines;
  TextStyle style;
  int y = 0;
  std::size_t i = 0;
  while (i < n) {
    if (!lines.empty()) {
      while (i < n && tokens[i].IsSpace()) ++i;
      if (i == n) break;
    }
    const std::size_t end = FindLineEnd(device, tokens, i, style, blockWidth);
    if (end == i) break;

    TextLine line;
    line.top = y;
    int x = 0;
    std::u16string run;
    auto closeRun = [&] {
      if (run.empty()) return;
      const int w = device.TextWidth(run, style);
      line.runs.push_back({x, w, std::move(run), style});
      x += w;
      run.clear();
    };
    for (std::size_t j = i; j < end; ++j) {
      if (tokens[j].kind == TextToken::kChar) {
        run += tokens[j].ch;
      } else {
        closeRun();
        ApplyToken(tokens[j], style);
      }
    }
    closeRun();

    // Alignment looks at the ink, so spaces kept at the end of a wrapped line do not count.
    line.width = x;
    for (auto r = line.runs.rbegin(); r != line.runs.rend(); ++r) {
      const std::size_t keep = r->text.find_last_not_of(u' ');
      if (keep == std::u16string::npos) {
        line.width -= r->width;
        continue;
      }
      if (keep + 1 < r->text.size()) {
        line.width =
            r->x + device.TextWidth(std::u16string_view(r->text).substr(0, keep + 1), r->style);
      }
      break;
    }

    line.height = line.runs.empty() ? device.TextHeight(style) : 0;
    for (const TextRun& r : line.runs)
      line.height = std::max(line.height, device.TextHeight(r.style));
    y += line.height + kTextLineSpacing;
    lines.push_back(std::move(line));
    i = end;
  }
  return lines;
}

int LaidOutHeight(const std::vector<TextLine>& lines) {
  if (lines.empty()) return 0;
  return lines.back().top + lines.back().height + kTextLineSpacing;
}

int CTextRender::VerticalOffset(unsigned flags, int textHeight, int blockHeight) {
  if (textHeight >= blockHeight || (flags & kTextPlaceTop) != 0) return 0;
  if ((flags & kTextPlaceMiddle) != 0) return (blockHeight - textHeight) / 2;
  if ((flags & kTextPlaceBottom) != 0) return blockHeight - textHeight - 1;
  return 0;
}

int CTextRender::HorizontalOffset(unsigned flags, int lineWidth, int blockWidth) {
  if ((flags & kTextAlignLeft) != 0) return 0;
  if ((flags & kTextAlignCentre) != 0) return (blockWidth - lineWidth) / 2;
  if ((flags & kTextAlignRight) != 0) return blockWidth - lineWidth;
  return 0;
}

namespace {

TextRect Shrink(const TextRect& outer, const TextRect& margins) {
  return {outer.left + margins.left, outer.top + margins.top, outer.right - margins.right,
          outer.bottom - margins.bottom};
}

}  // namespace

int CTextRender::Measure(ITextDevice* device, std::u16string_view text, const TextRect& outer,
                         const TextRect& margins, int widthLimit, int heightLimit) const {
  if (device == nullptr || text.empty()) return 0;
  int width = Shrink(outer, margins).Width();
  if (widthLimit > 0 && (width < 1 || widthLimit < width)) width = widthLimit;
  if (width < 1) return 0;
  device->BeginPass();
  const int height = LaidOutHeight(LayoutMarkup(*device, text, width));
  device->EndPass();
  return heightLimit > 0 ? std::min(height, heightLimit) : height;
}

int CTextRender::Measure(ITextDevice* device, std::string_view utf8, const TextRect& outer,
                         const TextRect& margins, int widthLimit, int heightLimit) const {
  return Measure(device, std::u16string_view(platform::Utf8ToUtf16(utf8)), outer, margins,
                 widthLimit, heightLimit);
}

int CTextRender::Draw(ITextDevice* device, std::u16string_view text, const TextRect& outer,
                      const TextRect& margins) const {
  const TextRect block = Shrink(outer, margins);
  if (device == nullptr || block.Width() < 1 || text.empty()) return 0;
  device->BeginPass();
  const std::vector<TextLine> lines = LayoutMarkup(*device, text, block.Width());
  const int height = LaidOutHeight(lines);
  const int top = VerticalOffset(flags_, height, block.Height());
  const int room = block.Height() - top;
  for (const TextLine& line : lines) {
    // Only whole lines are drawn: the one whose bottom would leave the block ends the pass.
    if (room < line.top + line.height - 1) break;
    const int left = block.left + HorizontalOffset(flags_, line.width, block.Width());
    for (const TextRun& run : line.runs) {
      device->DrawRun(left + run.x, block.top + top + line.top, run.text, run.style);
    }
  }
  device->EndPass();
  return height;
}

int CTextRender::Draw(ITextDevice* device, std::string_view utf8, const TextRect& outer,
                      const TextRect& margins) const {
  return Draw(device, std::u16string_view(platform::Utf8ToUtf16(utf8)), outer, margins);
}

int CTextAreaRender::AddItem(std::string_view value, std::string_view key,
                             std::string_view caption) {
  try {
    auto item = std::make_unique<_TEXT_ITEM>();
    item->key = platform::TruncateUtf16Units(key, kTextItemKeyMax);
    item->caption = platform::TruncateUtf16Units(caption, kTextItemCaptionMax);
    item->value = platform::TruncateUtf16Units(value, kTextItemValueMax);
    items_.push_back(std::move(item));
    return static_cast<int>(items_.size()) - 1;
  } catch (const std::bad_alloc&) {
    platform::ShowMessageBox("Failed to add a new text item to the stack.\n\nOut of memory.",
                             kProductName, platform::kMbIconWarning);
    return -1;
  }
}

int CTextAreaRender::SetValueByKey(std::string_view key, std::string_view value) {
  if (key.empty()) return -1;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (platform::EqualsIgnoreCase(items_[i]->key, key)) {
      items_[i]->value = platform::TruncateUtf16Units(value, kTextItemValueMax);
      return static_cast<int>(i);
    }
  }
  return -1;
}

void CTextAreaRender::Clear() { items_.clear(); }

std::string CTextAreaRender::JoinedCaptions() const {
  std::string text;
  for (const auto& item : items_) text += item->caption + "\\r\\n";
  return text;
}

std::string CTextAreaRender::JoinedValues() const {
  std::string text;
  for (const auto& item : items_) text += item->value + "\\r\\n";
  return text;
}

int CTextAreaRender::Run(ITextDevice* device, const TextRect* rect, const std::string& text,
                         bool draw) const {
  if (device == nullptr || rect == nullptr) return -1;
  if (text.empty()) return 0;
  return draw ? render_.Draw(device, text, *rect, TextRect{})
              : render_.Measure(device, text, *rect, TextRect{});
}

int CTextAreaRender::MeasureCaptions(ITextDevice* device, const TextRect* rect) const {
  return Run(device, rect, JoinedCaptions(), false);
}
int CTextAreaRender::DrawCaptions(ITextDevice* device, const TextRect* rect) const {
  return Run(device, rect, JoinedCaptions(), true);
}
int CTextAreaRender::MeasureValues(ITextDevice* device, const TextRect* rect) const {
  return Run(device, rect, JoinedValues(), false);
}
int CTextAreaRender::DrawValues(ITextDevice* device, const TextRect* rect) const {
  return Run(device, rect, JoinedValues(), true);
}

}  // namespace korvane
