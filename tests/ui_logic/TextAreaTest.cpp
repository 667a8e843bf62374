// The rows of a device panel and the two text blocks made of them.
#include <gtest/gtest.h>

#include "FakeTextDevice.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "ui/logic/TextRender.h"

using namespace korvane;

TEST(TextArea, RowsKeepTheirOrderAndKeysMatchWithoutCase) {
  CTextAreaRender area;
  EXPECT_EQ(area.AddItem("Intel Core i5", "cpu", "Processor"), 0);
  EXPECT_EQ(area.AddItem("4 cores", "Cores", "Cores"), 1);
  EXPECT_EQ(area.AddItem("second", "CPU", "Again"), 2);
  EXPECT_EQ(area.SetValueByKey("CORES", "6 cores"), 1);
  EXPECT_EQ(area.Item(1).value, "6 cores");
  EXPECT_EQ(area.SetValueByKey("Cpu", "AMD"), 0);  // the first match only
  EXPECT_EQ(area.Item(2).value, "second");
  EXPECT_EQ(area.SetValueByKey("gpu", "x"), -1);
  EXPECT_EQ(area.SetValueByKey("", "x"), -1);
  EXPECT_EQ(area.JoinedCaptions(), "Processor\\r\\nCores\\r\\nAgain\\r\\n");
  area.Clear();
  EXPECT_EQ(area.Count(), 0u);
  EXPECT_EQ(area.SetValueByKey("cpu", "x"), -1);
}

TEST(TextArea, FieldsAreCutToTheirCapacityInUtf16Units) {
  CTextAreaRender area;
  std::string longCjk;
  for (int i = 0; i < 40; ++i) longCjk += "\xE5\xA4\x84";  // one unit each
  std::string emoji;
  for (int i = 0; i < 70; ++i) emoji += "\xF0\x9F\x98\x80";  // two units each
  area.AddItem(emoji, longCjk, longCjk);
  EXPECT_EQ(platform::Utf16Length(area.Item(0).key), kTextItemKeyMax);
  EXPECT_EQ(platform::Utf16Length(area.Item(0).caption), kTextItemCaptionMax);
  // 127 units hold 63 pairs; half a pair is never kept.
  EXPECT_EQ(platform::Utf16Length(area.Item(0).value), 126u);
  area.SetValueByKey(area.Item(0).key, std::string(300, 'v'));
  EXPECT_EQ(area.Item(0).value.size(), kTextItemValueMax);
}

TEST(TextArea, CaptionsAndValuesDrawOneLinePerRow) {
  CTextAreaRender area;
  FakeTextDevice dc;
  const TextRect rect{0, 0, 300, 300};
  EXPECT_EQ(area.MeasureValues(&dc, &rect), 0);
  EXPECT_EQ(area.DrawCaptions(&dc, &rect), 0);
  area.AddItem("\\b1Intel\\b0 Core", "cpu", "Name");
  area.AddItem("", "code", "Code name");
  area.AddItem("3.4 GHz", "clock", "Clock");
  EXPECT_EQ(area.MeasureCaptions(&dc, &rect), 3 * 15);
  // An empty value still takes its row, so values stay level with their captions.
  EXPECT_EQ(area.DrawValues(&dc, &rect), 3 * 15);
  ASSERT_EQ(dc.drawn.size(), 3u);
  EXPECT_EQ(dc.drawn[0].style.weight, 700);
  EXPECT_EQ(dc.drawn[2].text, u"3.4 GHz");
  EXPECT_EQ(dc.drawn[2].y, 30);

  EXPECT_EQ(area.MeasureValues(nullptr, &rect), -1);
  EXPECT_EQ(area.DrawCaptions(&dc, nullptr), -1);
}
