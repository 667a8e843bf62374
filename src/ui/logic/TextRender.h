#pragma once
// The rich text of the device panels: a UTF-16 text with a few backslash control words for
// bold, italic, underline and line breaks, wrapped at spaces into a block and placed by
// alignment flags. Layout and placement are plain logic over a text device, so the Qt painter
// (ui/TextRenderQt.h) and test fakes share them. All coordinates are device-independent
// pixels.
//
// Control words (exact, case-sensitive): \b1 \b0 bold on/off, \i1 \i0 italic, \ul1 \ul0
// underline, \par and \n line break, \r a marker without visible effect. A word ends as soon
// as the characters after the backslash spell one of them ("\b1Intel" is \b1 then "Intel");
// when none is spelled before the next backslash or space, only the backslash is dropped.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

struct TextStyle {
  int weight = 400;  // 400 normal, 700 bold
  bool italic = false;
  bool underline = false;
  bool operator==(const TextStyle&) const = default;
};

// What the renderer needs from a device context. The device's current font is the base of
// every style; measuring and drawing never change it for the caller.
class ITextDevice {
 public:
  virtual ~ITextDevice() = default;
  virtual int TextWidth(std::u16string_view text, const TextStyle& style) = 0;
  virtual int TextHeight(const TextStyle& style) = 0;
  // Draws one run with its top-left corner at (x, y).
  virtual void DrawRun(int x, int y, std::u16string_view text, const TextStyle& style) = 0;
  // Bracket every measuring or drawing pass: the font current at the start is the base of the
  // pass, and it is current again at the end.
  virtual void BeginPass() {}
  virtual void EndPass() {}
};

struct TextRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

enum TextLayoutFlag : unsigned {
  kTextAlignLeft = 1,  // wins over centre and right
  kTextAlignCentre = 2,
  kTextAlignRight = 4,
  kTextPlaceTop = 8,  // wins over middle and bottom
  kTextPlaceMiddle = 16,
  kTextPlaceBottom = 32,  // one pixel above the bottom edge
};
inline constexpr unsigned kTextDefaultFlags = kTextAlignLeft | kTextPlaceTop;
inline constexpr int kTextLineSpacing = 5;  // added below every line

// One piece of markup: a visible character or a control word.
struct TextToken {
  enum Kind {
    kChar,
    kBoldOn,
    kBoldOff,
    kItalicOn,
    kItalicOff,
    kUnderlineOn,
    kUnderlineOff,
    kParagraph,  // \par
    kNewLine,    // \n
    kMarker,     // \r
  };
  Kind kind = kChar;
  char16_t ch = 0;
  bool IsBreak() const { return kind == kParagraph || kind == kNewLine; }
  bool IsSpace() const { return kind == kChar && ch == u' '; }
};
std::vector<TextToken> TokeniseMarkup(std::u16string_view text);

struct TextRun {
  int x = 0;  // from the start of the line
  int width = 0;
  std::u16string text;
  TextStyle style;
};
struct TextLine {
  int top = 0;     // from the top of the block
  int height = 0;  // text height, without the spacing
  int width = 0;   // visible width, trailing spaces not counted
  std::vector<TextRun> runs;
};
// Wraps the text into lines of at most blockWidth pixels; a word wider than the block stays
// whole on its own line. Styles start normal.
std::vector<TextLine> LayoutMarkup(ITextDevice& device, std::u16string_view text, int blockWidth);
// Height of laid-out lines including the spacing below each.
int LaidOutHeight(const std::vector<TextLine>& lines);

class CTextRender {
 public:
  virtual ~CTextRender() = default;

  unsigned Flags() const { return flags_; }
  void SetFlags(unsigned flags) { flags_ = flags; }

  // Total height of the text laid out in the outer rectangle shrunk by the margins (left, top,
  // right, bottom). A positive width limit narrows the wrapping width (and stands in for it
  // when the rectangle has none); a positive height limit caps the answer.
  int Measure(ITextDevice* device, std::u16string_view text, const TextRect& outer,
              const TextRect& margins, int widthLimit = 0, int heightLimit = 0) const;
  int Measure(ITextDevice* device, std::string_view utf8, const TextRect& outer,
              const TextRect& margins, int widthLimit = 0, int heightLimit = 0) const;
  // Draws the lines that fit the block; returns the laid-out height, or 0 without drawing
  // when the block is narrower than one pixel.
  int Draw(ITextDevice* device, std::u16string_view text, const TextRect& outer,
           const TextRect& margins) const;
  int Draw(ITextDevice* device, std::string_view utf8, const TextRect& outer,
           const TextRect& margins) const;

  // Where a block of height textHeight starts inside one of height blockHeight, and where a
  // line of visible width lineWidth starts inside one of width blockWidth.
  static int VerticalOffset(unsigned flags, int textHeight, int blockHeight);
  static int HorizontalOffset(unsigned flags, int lineWidth, int blockWidth);

 private:
  unsigned flags_ = kTextDefaultFlags;
};

// One labelled row of a device panel. Texts longer than a field are cut to it.
inline constexpr std::size_t kTextItemKeyMax = 31;  // UTF-16 units, without terminator
inline constexpr std::size_t kTextItemCaptionMax = 31;
inline constexpr std::size_t kTextItemValueMax = 127;
struct _TEXT_ITEM {
  std::string key;
  std::string caption;
  std::string value;
};

// The ordered rows of one panel, drawn as two blocks: all captions, and all values, one line
// per row.
class CTextAreaRender {
 public:
  // Index of the new row, or -1 (after telling the user) when memory ran out.
  int AddItem(std::string_view value, std::string_view key, std::string_view caption);
  // Copies the value into the first row whose key matches without regard to case; its index,
  // or -1 when none matches or the key is empty.
  int SetValueByKey(std::string_view key, std::string_view value);
  void Clear();
  std::size_t Count() const { return items_.size(); }
  const _TEXT_ITEM& Item(std::size_t index) const { return *items_.at(index); }

  // -1 without a device or rectangle; 0 (nothing drawn) without rows.
  int MeasureCaptions(ITextDevice* device, const TextRect* rect) const;
  int DrawCaptions(ITextDevice* device, const TextRect* rect) const;
  int MeasureValues(ITextDevice* device, const TextRect* rect) const;
  int DrawValues(ITextDevice* device, const TextRect* rect) const;

  // Captions or values, each followed by "\r\n".
  std::string JoinedCaptions() const;
  std::string JoinedValues() const;

  CTextRender& Renderer() { return render_; }
  const CTextRender& Renderer() const { return render_; }

 private:
  int Run(ITextDevice* device, const TextRect* rect, const std::string& text, bool draw) const;

  std::vector<std::unique_ptr<_TEXT_ITEM>> items_;
  CTextRender render_;
};

}  // namespace korvane
