#pragma once
// A text device with fixed-width glyphs: 7 pixels a character, 8 in bold, lines 10 pixels
// high (12 in italic, so mixed lines show which height wins). It records what is drawn.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/logic/TextRender.h"

struct DrawnRun {
  int x;
  int y;
  std::u16string text;
  korvane::TextStyle style;
};

class FakeTextDevice : public korvane::ITextDevice {
 public:
  int TextWidth(std::u16string_view text, const korvane::TextStyle& style) override {
    return static_cast<int>(text.size()) * (style.weight >= 700 ? 8 : 7);
  }
  int TextHeight(const korvane::TextStyle& style) override { return style.italic ? 12 : 10; }
  void DrawRun(int x, int y, std::u16string_view text, const korvane::TextStyle& style) override {
    EXPECT_TRUE(inPass) << "drawing outside a pass";
    drawn.push_back({x, y, std::u16string(text), style});
  }
  void BeginPass() override {
    EXPECT_FALSE(inPass) << "passes do not nest";
    inPass = true;
    ++passes;
  }
  void EndPass() override {
    EXPECT_TRUE(inPass);
    inPass = false;
  }
  bool inPass = false;
  int passes = 0;
  std::vector<DrawnRun> drawn;
};
