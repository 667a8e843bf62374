#include <gtest/gtest.h>

#include "summary/SummaryFormat.h"

using namespace korvane::summary;

TEST(SummaryFormat, Round33SnapsToTheBoardGrid) {
  EXPECT_EQ(Round33(2999.4), 3000);
  EXPECT_EQ(Round33(2666.0), 2667);
  EXPECT_EQ(Round33(2400.0), 2400);
  EXPECT_EQ(Round33(3333.0), 3333);
}

TEST(SummaryFormat, ClockTextsPickTheirUnit) {
  EXPECT_EQ(FormatClockF(2400.0f), "2.40G");
  EXPECT_EQ(FormatClockF(849.8f), "850M");  // half a MHz is added before printing
  EXPECT_EQ(FormatClockF(-1.0f), "Error.");
  EXPECT_EQ(FormatClockF(1500000.0f), "1.50T");
  EXPECT_EQ(FormatClockI(3000), "3.00G");
  EXPECT_EQ(FormatClockI(999), "999M");
  EXPECT_EQ(FormatClockI(1000000), "1.00T");
  EXPECT_EQ(FormatClockI(-5), "Error.");
}

TEST(SummaryFormat, SizesInMegabytes) {
  EXPECT_EQ(FormatMBSpaced(2048), "2 G");
  EXPECT_EQ(FormatMBSpaced(1536), "1.6 G");
  EXPECT_EQ(FormatMBSpaced(512), "512 M");
  EXPECT_EQ(FormatMBSpaced(0x100000), "1.1 T");  // above 0xFFFFF: terabytes plus 0.05
  EXPECT_EQ(FormatMBSpaced(0x100000000ull).substr(0, 5), "4096.");  // upper half set: terabytes
  EXPECT_EQ(FormatMBCompact(2048), "2G");
  EXPECT_EQ(FormatMBCompact(1536), "1.6G");
  EXPECT_EQ(FormatMBCompact(1023), "1023M");
}

TEST(SummaryFormat, DecimalByteCountsTruncate) {
  EXPECT_EQ(FormatDecimal("500107862016"), "500 G");
  EXPECT_EQ(FormatDecimal("2000398934016"), "2 T");
  EXPECT_EQ(FormatDecimal("999999"), "999 K");
  EXPECT_EQ(FormatDecimal("16000000"), "16 M");
  EXPECT_EQ(FormatDecimal(""), "0 K");
  EXPECT_EQ(FormatDecimal("garbage"), "0 K");
}

TEST(SummaryFormat, StockMultiplierToTheNearestHalf) {
  EXPECT_DOUBLE_EQ(StockMultiplier(3000, 333), 9.0);
  EXPECT_DOUBLE_EQ(StockMultiplier(2400, 200), 12.0);
  EXPECT_DOUBLE_EQ(StockMultiplier(2100, 200), 10.5);
  EXPECT_DOUBLE_EQ(StockMultiplier(2100, 0), 0.0);
}

TEST(SummaryFormat, MemoryTypesAndRates) {
  EXPECT_EQ(MemoryTypeName(7), "DDR2");
  EXPECT_EQ(MemoryTypeName(10), "DDR4");
  EXPECT_EQ(MemoryTypeName(11), "DDR5");
  EXPECT_EQ(MemoryTypeName(12), "unknown");
  EXPECT_EQ(MemoryTypeName(0), "unknown");
  EXPECT_EQ(DataRateFactor(5), 1);
  for (int t = 6; t <= 11; ++t) EXPECT_EQ(DataRateFactor(t), 2) << t;
  EXPECT_EQ(RatedClockFromCurrent(399.9), 400);
  EXPECT_EQ(RatedClockFromCurrent(666.0), 667);
  EXPECT_EQ(RatedClockFromCurrent(1197.0), 1200);
}

TEST(SummaryFormat, TimingsNameTheirColumns) {
  EXPECT_EQ(TimingsText(5.0f, 5, 5, 15, 0, 2), "5-5-5-15 CR2 (CL-RCD-RP-RAS-CR)");
  EXPECT_EQ(TimingsText(2.5f, 3, 3, 8, 0, 0), "2.5-3-3-8 (CL-RCD-RP-RAS)");
  EXPECT_EQ(TimingsText(16.0f, 18, 18, 38, 56, 1), "16-18-18-38-56 CR1 (CL-RCD-RP-RAS-TRC-CR)");
  EXPECT_EQ(TimingsText(9.0f, 9, 9, 24, 33, -1), "9-9-9-24-33 (CL-RCD-RP-RAS-TRC)");
  // Missing values read as 0.
  EXPECT_EQ(TimingsText(-1.0f, -1, -1, -1, -1, -1), "0-0-0-0 (CL-RCD-RP-RAS)");
}

TEST(SummaryFormat, FsbToDramRatio) {
  EXPECT_EQ(FsbDramRatio(200.0, 400.0), "1:2");
  EXPECT_EQ(FsbDramRatio(133.3, 400.0), "1:3");
  EXPECT_EQ(FsbDramRatio(-1.0, 0.0), "1:1");  // both unknown
  EXPECT_EQ(FsbDramRatio(-1.0, 400.0), "0:1");
}

TEST(SummaryFormat, MonitorAspectRatios) {
  EXPECT_EQ(AspectRatioText(1680, 1050), "16 : 10");
  EXPECT_EQ(AspectRatioText(1280, 1024), "5 : 4");
  EXPECT_EQ(AspectRatioText(1920, 1080), "16 : 9");
  EXPECT_EQ(AspectRatioText(0, 1080), "");
}

TEST(SummaryFormat, OemPlaceholders) {
  EXPECT_EQ(BoardVendorText("to BE filled by o.e.m."), "Vendor O.E.M.");
  EXPECT_EQ(BoardVendorShort("TO BE FILLED BY O.E.M."), "Vendor O.E.M.");
  EXPECT_EQ(BoardModelText("To be filled by O.E.M."), "Model O.E.M.");
  EXPECT_EQ(BoardVendorShort("ASUSTeK COMPUTER INC."), "ASUSTeK");
  EXPECT_EQ(BoardVendorShort("Gigabyte"), "Gigabyte");
  EXPECT_EQ(BoardModelText("To be filled by O.E.M. 2"), "To be filled by O.E.M. 2");
}

TEST(SummaryFormat, TemplatesTakeOnlyTheirArguments) {
  EXPECT_EQ(FillTemplate("%d x %d x %d位色 (%d Hz)", {"1920", "1080", "32", "60"}),
            "1920 x 1080 x 32位色 (60 Hz)");
  EXPECT_EQ(FillTemplate("%s (Status: %s)", {"Ethernet"}), "Ethernet (Status: )");
  EXPECT_EQ(FillTemplate("100%% %s", {"a"}), "100% a");
  EXPECT_EQ(FillTemplate("cut %", {"a"}), "cut %");
  EXPECT_EQ(FillTemplate("%0.1f %n", {"1.5", "x"}), "1.5 x");
}
