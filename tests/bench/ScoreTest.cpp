#include <gtest/gtest.h>

#include "bench/CpuBench.h"
#include "bench/MemBench.h"

namespace korvane {
namespace {

TEST(CalcTestScore, CpuGroupFollowsTheTimeCurve) {
  EXPECT_NEAR(CalcTestScore(10, 1, 6), 6.63, 1e-6);
  EXPECT_NEAR(CalcTestScore(60, 1, 6), 4.78, 1e-6);
  // Above 450 s the score is the double 0.01, not the single-precision floor.
  EXPECT_EQ(CalcTestScore(451, 1, 6), 0.01);
  // A zero time scores 700 times the single-precision 0.01: just below 7.
  EXPECT_EQ(CalcTestScore(0, 1, 6), 700.0 * static_cast<double>(0.01f));
  EXPECT_LT(CalcTestScore(0, 1, 6), 7.0);
  // The middle formula: 100 s -> (700 - 100*(3.6f - 100/508) + 30) * 0.01f.
  EXPECT_NEAR(CalcTestScore(100, 1, 6), (700 - 100 * (3.6 - 100.0 / 508) + 30) * 0.01, 1e-6);
  EXPECT_NEAR(CalcTestScore(300, 1, 6), (700 - 300 * (3.6 - 300.0 / 508) + 230) * 0.01, 1e-6);
  // Late in the middle range the curve goes below the floor, which is the single-precision 0.01.
  EXPECT_EQ(CalcTestScore(450, 1, 6), static_cast<double>(0.01f));
}

TEST(CalcTestScore, OtherGroupsUseTheGentlerCurve) {
  EXPECT_NEAR(CalcTestScore(10, 0, 199), 6.70, 1e-6);
  EXPECT_NEAR(CalcTestScore(100, 3, 199), (700 - 100 * (3 - 100.0 / 600) + 30) * 0.01, 1e-6);
  EXPECT_EQ(CalcTestScore(601, 0, 199), 0.01);
}

TEST(CalcTestScore, ResultsStayWithinTheScoreRange) {
  for (double t : {-100.0, -1.0, 0.0, 1e-9, 59.99, 60.0, 60.01, 449.9, 450.0}) {
    const double s = CalcTestScore(t, 1, 7);
    EXPECT_GE(s, static_cast<double>(0.01f)) << t;
    EXPECT_LE(s, 7.0) << t;
  }
  // Negative times would score above 7 without the clamp.
  EXPECT_EQ(CalcTestScore(-100, 1, 7), 7.0);
}

TEST(CalcTestScore, MemoryBandwidthScaledByInstalledMemory) {
  // A best copy time below 0.1 s counts as 0.01 s.
  EXPECT_NEAR(CalcTestScoreWithMemory(0.05, 2, 11, 8192), 6.988, 1e-6);
  EXPECT_NEAR(CalcTestScoreWithMemory(0.05, 2, 11, 256), 6.988 / 7, 1e-6);
  EXPECT_NEAR(CalcTestScoreWithMemory(1.0, 2, 11, 2048), (7 - 1.2 * (1.0 - 0.1)) * 5 / 7, 1e-6);
  // Every step of the memory factor, at its upper edge and just above.
  const double full = CalcTestScoreWithMemory(1.0, 2, 11, 100000);
  const struct {
    std::int64_t mib;
    double factor;
  } steps[] = {{0, 1}, {256, 1}, {257, 2}, {512, 2}, {513, 3}, {1024, 3}, {1025, 5}, {2048, 5}, {2049, 6},
               {4096, 6}, {4097, 7}};
  for (const auto& s : steps) {
    EXPECT_NEAR(CalcTestScoreWithMemory(1.0, 2, 11, s.mib), full * s.factor / 7, 1e-9) << s.mib;
  }
}

TEST(CalcTestScore, MemoryLatencyBranches) {
  EXPECT_NEAR(CalcTestScoreWithMemory(85, 2, 12, 8192), 4.0, 1e-12);
  EXPECT_NEAR(CalcTestScoreWithMemory(60, 2, 12, 4096), 4.882352941 * 6 / 7, 1e-6);
  // 200 ns: s = -0.0588 -> s/5 + 8/3 = 2.6549.
  EXPECT_NEAR(CalcTestScoreWithMemory(200, 2, 12, 8192), 2.654902, 1e-5);
  // Between 85 and 198.3 ns the score is compressed towards 4.
  EXPECT_NEAR(CalcTestScoreWithMemory(120, 2, 12, 8192), ((35.0 * -3 / 85 + 4) - 4) / 3 + 4, 1e-9);
  // An unknown memory test scores the minimum.
  EXPECT_EQ(CalcTestScoreWithMemory(1, 2, 13, 8192), static_cast<double>(0.01f));
}

TEST(RoundDownPow2, LargestPowerNotAbove) {
  EXPECT_EQ(RoundDownPow2(0), 1u);
  EXPECT_EQ(RoundDownPow2(1), 1u);
  EXPECT_EQ(RoundDownPow2(4096), 4096u);
  EXPECT_EQ(RoundDownPow2(4097), 4096u);
  EXPECT_EQ(RoundDownPow2(65535), 32768u);
  EXPECT_EQ(RoundDownPow2(8388608), 8388608u);
  EXPECT_EQ(RoundDownPow2(UINT64_MAX), std::uint64_t{1} << 63);
}

TEST(ParseMemTotalBytes, ReadsKibibytes) {
  EXPECT_EQ(ParseMemTotalBytes("MemTotal:       24576000 kB\nMemFree: 1 kB\n"), 24576000ull * 1024);
  EXPECT_EQ(ParseMemTotalBytes("MemFree:  5 kB\nMemTotal:\t2048 kB"), 2048ull * 1024);
  EXPECT_FALSE(ParseMemTotalBytes("MemFree: 5 kB\n").has_value());
  EXPECT_FALSE(ParseMemTotalBytes("MemTotal: kB\n").has_value());
  EXPECT_FALSE(ParseMemTotalBytes("MemTotal: 12 MB\n").has_value());
  EXPECT_FALSE(ParseMemTotalBytes("MemTotal: 99999999999999999999999 kB\n").has_value());
  EXPECT_FALSE(ParseMemTotalBytes("").has_value());
}

}  // namespace
}  // namespace korvane
