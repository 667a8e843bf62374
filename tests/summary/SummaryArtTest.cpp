#include <gtest/gtest.h>

#include "config/LanguageRes.h"
#include "summary/SummaryArt.h"

using namespace korvane;
using namespace korvane::summary;

TEST(SummaryArt, CpuIconFromTheName) {
  EXPECT_EQ(CpuIconIndex("Intel(R) Core(TM) i7-8700"), kIconIntel);
  EXPECT_EQ(CpuIconIndex("AMD Ryzen 7 5800X"), kIconAmd);
  // Both names: the later one decides.
  EXPECT_EQ(CpuIconIndex("AMD chip by Intel"), kIconIntel);
  EXPECT_EQ(CpuIconIndex("Intel chip for AMD boards"), kIconAmd);
  EXPECT_EQ(CpuIconIndex("Pentium 4"), kIconIntel);
  EXPECT_EQ(CpuIconIndex("Mobile Celeron"), kIconIntel);
  EXPECT_EQ(CpuIconIndex("Athlon 64 X2"), kIconAmd);
  EXPECT_EQ(CpuIconIndex("K6-2"), kIconAmd);
  EXPECT_EQ(CpuIconIndex("VIA Nano"), kIconCpuOther);
  EXPECT_EQ(CpuIconIndex(""), kIconCpuOther);
}

TEST(SummaryArt, DisplayIconFromVendorThenName) {
  EXPECT_EQ(DisplayIconIndex("Intel Corporation", "UHD Graphics 630"), kIconIntel);
  EXPECT_EQ(DisplayIconIndex("NVIDIA", "GeForce RTX 3060"), kIconNvidia);
  EXPECT_EQ(DisplayIconIndex("ATI Technologies Inc.", "Radeon HD 5770"), kIconAti);
  // "Advanced Micro Devices" carries no keyword: the name decides.
  EXPECT_EQ(DisplayIconIndex("Advanced Micro Devices, Inc.", "AMD Radeon RX 6600"), kIconAti);
  EXPECT_EQ(DisplayIconIndex("", "GeForce GTX 1080"), kIconNvidia);
  EXPECT_EQ(DisplayIconIndex("", "Quadro P400"), kIconNvidia);
  EXPECT_EQ(DisplayIconIndex("", "Intel HD Graphics"), kIconIntel);
  EXPECT_EQ(DisplayIconIndex("", "Matrox G200eW"), kIconDisplayOther);
  // "intel" too far into the vendor text does not count.
  EXPECT_EQ(DisplayIconIndex("Made for Intel", "Some card"), kIconDisplayOther);
}

TEST(SummaryArt, CpuLogoTable) {
  EXPECT_EQ(CpuLogoBitmap(0x1000802, 4), 271);
  EXPECT_EQ(CpuLogoBitmap(0x1020002, 4), 262);
  EXPECT_EQ(CpuLogoBitmap(0x1FFFFFF, 4), 249);  // group default
  EXPECT_EQ(CpuLogoBitmap(0x2004009, 4), 295);
  EXPECT_EQ(CpuLogoBitmap(0x2004009, 2), 294);
  EXPECT_EQ(CpuLogoBitmap(0x2001002, 2), 232);
  EXPECT_EQ(CpuLogoBitmap(0x2000000, 2), 225);
  EXPECT_EQ(CpuLogoBitmap(0x4001234, 2), 248);
  EXPECT_EQ(CpuLogoBitmap(0x8002000, 2), 283);
  EXPECT_EQ(CpuLogoBitmap(0x80020FF, 2), 283);
  EXPECT_EQ(CpuLogoBitmap(0x8002100, 2), 278);
  EXPECT_EQ(CpuLogoBitmap(0x8001003, 2), 282);
  EXPECT_EQ(CpuLogoBitmap(0x03000001, 2), 0);
  EXPECT_EQ(CpuLogoBitmap(0, 2), 0);
}

TEST(SummaryArt, TemperatureColoursByCategory) {
  EXPECT_EQ(TemperatureColour(kCategoryCpu, 80), 0x0202FFu);
  EXPECT_EQ(TemperatureColour(kCategoryCpu, 79), 0x0101CBu);
  EXPECT_EQ(TemperatureColour(kCategoryCpu, 64), 0x0264FFu);
  EXPECT_EQ(TemperatureColour(kCategoryCpu, 46), 0x0264FFu);
  EXPECT_EQ(TemperatureColour(kCategoryCpu, 45), 0x0F966Eu);
  EXPECT_EQ(TemperatureColour(kCategoryMainboard, 40), 0x0F966Eu);
  EXPECT_EQ(TemperatureColour(kCategoryMainboard, 41), 0x0264FFu);
  EXPECT_EQ(TemperatureColour(kCategoryMainboard, 75), 0x0202FFu);
  EXPECT_EQ(TemperatureColour(kCategoryDisplay, 94), 0x0101CBu);
  EXPECT_EQ(TemperatureColour(kCategoryDisplay, 55), 0x0F966Eu);
  EXPECT_EQ(TemperatureColour(kCategoryDisk, 69), 0x0101CBu);
  EXPECT_EQ(TemperatureColour(kCategoryDisk, 70), 0x0202FFu);
  EXPECT_EQ(TemperatureColour(kCategoryMemory, 99), kTextColour);
  EXPECT_EQ(TemperatureColour(-1, 99), kTextColour);
}

TEST(SummaryArt, BadgesAndTheirLimits) {
  const CLanguageRes lang(LocaleSource::SystemWithLocale("C"));
  DeviceInfoModel c;
  c.category = kCategoryCpu;
  c.temperature = -100;
  BadgeView v = ViewBadge(c, kBadgeTemperature, lang);
  EXPECT_EQ(v.text, "Unable to get");
  EXPECT_EQ(v.colour, kNoReadingColour);
  c.temperature = -101;
  EXPECT_EQ(ViewBadge(c, kBadgeTemperature, lang).text, "");
  c.temperature = 80;
  v = ViewBadge(c, kBadgeTemperature, lang);
  EXPECT_EQ(v.text, "80\u2103");
  EXPECT_EQ(v.colour, 0x0202FFu);

  c.fan = 20000;
  EXPECT_EQ(ViewBadge(c, kBadgeFan, lang).text, "15000 RPM");
  c.fan = -1;
  EXPECT_EQ(ViewBadge(c, kBadgeFan, lang).text, "");
  c.fan = 0;
  EXPECT_EQ(ViewBadge(c, kBadgeFan, lang).text, "0 RPM");

  c.usage = {0, 8192, 37};
  v = ViewBadge(c, kBadgeUsage, lang);
  EXPECT_EQ(v.text, "");
  EXPECT_EQ(v.second, "37%");
  c.usage.usedMB = 3010;
  EXPECT_EQ(ViewBadge(c, kBadgeUsage, lang).text, "3010 MB");

  EXPECT_EQ(ViewBadge(c, kBadgeScore, lang).text, "");
  EXPECT_EQ(TestNowLinkText(c, lang), "Scan Now");
  c.hasScore = true;
  c.score = 3.456;
  EXPECT_EQ(ViewBadge(c, kBadgeScore, lang).text, "3.46");
  EXPECT_EQ(TestNowLinkText(c, lang), "Re-Scan");
  c.category = kCategoryDisk;
  EXPECT_EQ(TestNowLinkText(c, lang), "");
}

TEST(SummaryArt, AFourthBadgeAndStrayRowsAreRefused) {
  DeviceInfoModel c;
  EXPECT_EQ(c.AddBadge(kBadgeFan, "a"), 0);
  EXPECT_EQ(c.AddBadge(kBadgeTemperature, "b"), 1);
  EXPECT_EQ(c.AddBadge(kBadgeScore, "c"), 2);
  EXPECT_EQ(c.AddBadge(kBadgeUsage, "d"), -1);
  EXPECT_EQ(c.badges.size(), 3u);
  EXPECT_EQ(c.AddRow("K", "L"), 0);
  EXPECT_EQ(c.SetRowValue(1, "x"), -1);
  EXPECT_EQ(c.SetRowValue(-1, "x"), -1);
  EXPECT_EQ(c.SetRowValue(0, "x"), 0);
  EXPECT_FALSE(c.SetRowValueByKey("Other", "y"));
  EXPECT_TRUE(c.SetRowValueByKey("K", "y"));
  EXPECT_EQ(c.rows[0].value, "y");
}
