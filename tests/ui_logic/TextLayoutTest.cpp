// Markup, wrapping and placement of the panel text, measured with fixed-width glyphs.
#include <gtest/gtest.h>

#include "FakeTextDevice.h"
#include "ui/logic/TextRender.h"

using namespace korvane;

namespace {

std::vector<std::u16string> LineTexts(const std::vector<TextLine>& lines) {
  std::vector<std::u16string> out;
  for (const TextLine& line : lines) {
    std::u16string text;
    for (const TextRun& run : line.runs) text += run.text;
    out.push_back(text);
  }
  return out;
}

std::u16string Visible(std::u16string_view markup) {
  FakeTextDevice dc;
  std::u16string text;
  for (const auto& line : LineTexts(LayoutMarkup(dc, markup, 10000))) text += line + u"|";
  return text;
}

}  // namespace

TEST(TextMarkup, ControlWordsSetStylesPerRun) {
  FakeTextDevice dc;
  const auto lines = LayoutMarkup(dc, u"\\b1Intel\\b0 Core", 1000);
  ASSERT_EQ(lines.size(), 1u);
  ASSERT_EQ(lines[0].runs.size(), 2u);
  EXPECT_EQ(lines[0].runs[0].text, u"Intel");
  EXPECT_EQ(lines[0].runs[0].style.weight, 700);
  EXPECT_EQ(lines[0].runs[1].text, u" Core");
  EXPECT_EQ(lines[0].runs[1].style.weight, 400);
  // The bold run is measured bold, and the pen moves by it.
  EXPECT_EQ(lines[0].runs[1].x, 5 * 8);
  EXPECT_EQ(lines[0].width, 5 * 8 + 5 * 7);

  const auto styled = LayoutMarkup(dc, u"\\i1a\\i0b\\ul1c\\ul0d\\re", 1000);
  ASSERT_EQ(styled.size(), 1u);
  ASSERT_EQ(styled[0].runs.size(), 5u);
  EXPECT_TRUE(styled[0].runs[0].style.italic);
  EXPECT_FALSE(styled[0].runs[1].style.italic);
  EXPECT_TRUE(styled[0].runs[2].style.underline);
  EXPECT_EQ(styled[0].runs[3].style, TextStyle{});
  EXPECT_EQ(styled[0].runs[4].text, u"e");  // \r splits runs but shows nothing
  EXPECT_EQ(styled[0].height, 12);          // the italic run is the tallest
}

TEST(TextMarkup, WordsEndAsSoonAsTheyAreSpelled) {
  EXPECT_EQ(Visible(u"\\b1Pentium"), u"Pentium|");
  EXPECT_EQ(Visible(u"\\b10"), u"0|");
  EXPECT_EQ(Visible(u"\\ul1\\b1x"), u"x|");
  // "\n" before a name is a line break, however the name goes on.
  EXPECT_EQ(Visible(u"GeForce\\nVidia"), u"GeForce|Vidia|");
  EXPECT_EQ(Visible(u"a\\parb\\nc"), u"a|b|c|");
}

TEST(TextMarkup, UnknownWordsLoseOnlyTheirBackslash) {
  EXPECT_EQ(Visible(u"A\\xB"), u"AxB|");
  EXPECT_EQ(Visible(u"\\bold"), u"bold|");
  EXPECT_EQ(Visible(u"\\B1up"), u"B1up|");  // words are case-sensitive
  EXPECT_EQ(Visible(u"\\b 1"), u"b 1|");    // a space ends the scan
  EXPECT_EQ(Visible(u"\\u\\b1x"), u"ux|");  // as does the next backslash
  EXPECT_EQ(Visible(u"end\\"), u"end|");
  // Spaces after a word are text.
  EXPECT_EQ(Visible(u"\\b1 x"), u" x|");
}

TEST(TextWrap, BreaksAtTheLastSpaceAndKeepsSpacesOnTheLine) {
  FakeTextDevice dc;
  // 7 characters are 49 pixels; a line stops once it reaches the width.
  EXPECT_EQ(LineTexts(LayoutMarkup(dc, u"aaa bbb ccc", 50)),
            (std::vector<std::u16string>{u"aaa bbb ", u"ccc"}));
  EXPECT_EQ(LineTexts(LayoutMarkup(dc, u"aaa bbb ccc", 49)),
            (std::vector<std::u16string>{u"aaa ", u"bbb ", u"ccc"}));
  // Several spaces stay at the end of the line; the next one starts with a letter.
  const auto lines = LayoutMarkup(dc, u"aaa   bbbbbb", 40);
  EXPECT_EQ(LineTexts(lines), (std::vector<std::u16string>{u"aaa   ", u"bbbbbb"}));
  EXPECT_EQ(lines[0].width, 21);  // trailing spaces are not ink
  // Spaces after a hard break are skipped too.
  EXPECT_EQ(LineTexts(LayoutMarkup(dc, u"a\\n  b", 100)),
            (std::vector<std::u16string>{u"a", u"b"}));
}

TEST(TextWrap, AWordWiderThanTheBlockIsNotSplit) {
  FakeTextDevice dc;
  EXPECT_EQ(LineTexts(LayoutMarkup(dc, u"abcdefghij klm", 30)),
            (std::vector<std::u16string>{u"abcdefghij", u"klm"}));
  EXPECT_EQ(LineTexts(LayoutMarkup(dc, u"ab cdefghijkl", 30)),
            (std::vector<std::u16string>{u"ab ", u"cdefghijkl"}));
  EXPECT_EQ(LineTexts(LayoutMarkup(dc, u"abcdefghij\\nk", 30)),
            (std::vector<std::u16string>{u"abcdefghij", u"k"}));
  // Even a one-pixel block terminates, a word per line.
  EXPECT_EQ(LineTexts(LayoutMarkup(dc, u"ab cd", 1)), (std::vector<std::u16string>{u"ab", u"cd"}));
}

TEST(TextWrap, StylesCarryAcrossWrappedLinesAndBoldWidthCounts) {
  FakeTextDevice dc;
  const auto lines = LayoutMarkup(dc, u"\\b1aaa bbb", 40);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].runs[0].style.weight, 700);
  // Six bold characters (48) overflow a 45-pixel block where six plain ones (42) do not.
  EXPECT_EQ(LayoutMarkup(dc, u"aaaa b", 45).size(), 1u);
  EXPECT_EQ(LayoutMarkup(dc, u"\\b1aaaa b", 45).size(), 2u);
}

TEST(TextRenderMeasure, LinesAdvanceByHeightPlusSpacing) {
  FakeTextDevice dc;
  CTextRender render;
  const TextRect rect{0, 0, 200, 200};
  EXPECT_EQ(render.Measure(&dc, u"one\\partwo\\nthree", rect, {}), 3 * (10 + 5));
  EXPECT_EQ(render.Measure(&dc, u"\\i1tall", rect, {}), 12 + 5);
  EXPECT_EQ(render.Measure(&dc, u"", rect, {}), 0);
  EXPECT_EQ(render.Measure(nullptr, u"x", rect, {}), 0);
  // Margins narrow the wrapping width; limits narrow it further and cap the answer.
  EXPECT_EQ(render.Measure(&dc, u"aaa bbb", rect, {0, 0, 160, 0}), 2 * 15);
  EXPECT_EQ(render.Measure(&dc, u"aaa bbb", rect, {}, 40), 2 * 15);
  EXPECT_EQ(render.Measure(&dc, u"aaa bbb", TextRect{}, {}, 40), 2 * 15);
  EXPECT_EQ(render.Measure(&dc, u"a\\nb\\nc", rect, {}, 0, 20), 20);
  // UTF-8 input counts characters, not bytes.
  EXPECT_EQ(
      render.Measure(&dc, std::string_view("\xE5\xA4\x84\xE7\x90\x86 \xE5\x99\xA8"), rect, {}, 20),
      2 * 15);
}

TEST(TextRenderDraw, AlignmentFlagsPlaceEachLine) {
  const TextRect rect{0, 0, 100, 100};
  auto firstX = [&](unsigned flags, std::u16string_view text) {
    FakeTextDevice dc;
    CTextRender render;
    render.SetFlags(flags | kTextPlaceTop);
    render.Draw(&dc, text, rect, {});
    return dc.drawn.empty() ? -1 : dc.drawn.front().x;
  };
  EXPECT_EQ(firstX(kTextAlignCentre, u"abc"), (100 - 21) / 2);
  EXPECT_EQ(firstX(kTextAlignRight, u"abc"), 100 - 21);
  EXPECT_EQ(firstX(kTextAlignLeft | kTextAlignRight, u"abc"), 0);
  EXPECT_EQ(firstX(kTextAlignCentre | kTextAlignRight, u"abc"), (100 - 21) / 2);
  EXPECT_EQ(firstX(0, u"abc"), 0);
  // A wrapped line's kept spaces do not push it left.
  EXPECT_EQ(firstX(kTextAlignRight, u"aaaaaaaaaaaa bbbbbbbb"), 100 - 84);
}

TEST(TextRenderDraw, VerticalFlagsPlaceTheBlock) {
  auto firstY = [](unsigned flags, std::u16string_view text, int height) {
    FakeTextDevice dc;
    CTextRender render;
    render.SetFlags(flags);
    render.Draw(&dc, text, TextRect{0, 0, 100, height}, {});
    return dc.drawn.empty() ? -1 : dc.drawn.front().y;
  };
  EXPECT_EQ(firstY(kTextPlaceMiddle, u"x", 100), (100 - 15) / 2);
  EXPECT_EQ(firstY(kTextPlaceBottom, u"x", 100), 100 - 15 - 1);
  EXPECT_EQ(firstY(kTextPlaceTop | kTextPlaceMiddle, u"x", 100), 0);
  EXPECT_EQ(firstY(kTextDefaultFlags, u"x", 100), 0);
  EXPECT_EQ(firstY(0, u"x", 100), 0);
}

TEST(TextRenderDraw, TallTextCentredStartsAtTheTopAndDrawsWholeLinesOnly) {
  FakeTextDevice dc;
  CTextRender render;
  render.SetFlags(kTextAlignLeft | kTextPlaceMiddle);
  const int height =
      render.Draw(&dc, u"1\\n2\\n3\\n4\\n5\\n6\\n7\\n8", TextRect{0, 0, 100, 60}, {});
  EXPECT_EQ(height, 8 * 15);
  // Lines at 0, 15, 30 and 45 fit (the last one's bottom at 54); the one at 60 does not.
  ASSERT_EQ(dc.drawn.size(), 4u);
  EXPECT_EQ(dc.drawn.front().y, 0);
  EXPECT_EQ(dc.drawn.back().y, 45);
  EXPECT_EQ(dc.drawn.back().text, u"4");
}

TEST(TextRenderDraw, MarginsShiftTheBlockAndANarrowBlockDrawsNothing) {
  FakeTextDevice dc;
  CTextRender render;
  EXPECT_EQ(render.Draw(&dc, u"\\b1A\\b0 b", TextRect{10, 20, 110, 120}, {5, 6, 7, 8}), 15);
  ASSERT_EQ(dc.drawn.size(), 2u);
  EXPECT_EQ(dc.drawn[0].x, 15);
  EXPECT_EQ(dc.drawn[0].y, 26);
  EXPECT_EQ(dc.drawn[1].x, 15 + 8);
  EXPECT_EQ(dc.drawn[1].text, u" b");

  EXPECT_EQ(dc.passes, 1);
  EXPECT_FALSE(dc.inPass);

  dc.drawn.clear();
  EXPECT_EQ(render.Draw(&dc, u"x", TextRect{10, 0, 20, 50}, {5, 0, 5, 0}), 0);
  EXPECT_TRUE(dc.drawn.empty());
}
