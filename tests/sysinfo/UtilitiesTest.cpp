#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <numeric>

#include "platform/Paths.h"
#include "platform/Registry.h"
#include "sysinfo/SysUtil.h"

namespace korvane {
namespace {

TEST(FileVersionText, SplitsBothHalvesIntoFourParts) {
  EXPECT_EQ(FormatFileVersion(0x00030000, 0x025B0000), "3.0.603.0");
  EXPECT_EQ(FormatFileVersion(0xFFFFFFFF, 0x00010002), "65535.65535.1.2");
}

TEST(EditDistance, ClassicCases) {
  EXPECT_EQ(EditDistance("", "abc"), 3);
  EXPECT_EQ(EditDistance("abc", ""), 3);
  EXPECT_EQ(EditDistance("kitten", "sitting"), 3);
  EXPECT_EQ(EditDistance("flaw", "lawn"), 2);
  EXPECT_EQ(EditDistance("same", "same"), 0);
  // Case matters: the detectors compare texts as they are.
  EXPECT_EQ(EditDistance("GeForce", "geforce"), 2);
}

TEST(EditDistance, CountsUtf16UnitsNotBytes) {
  // "é" is two UTF-8 bytes but one UTF-16 unit; an emoji is a surrogate pair (two units).
  EXPECT_EQ(EditDistance("caf\xC3\xA9", "cafe"), 1);
  EXPECT_EQ(EditDistance("\xF0\x9F\x98\x80", ""), 2);
  EXPECT_EQ(EditDistance(u"显卡", u"声卡"), 1);
}

TEST(EditDistance, TableTooLargeReportsMinusOne) {
  // 2^31 x 2^31 cells cannot be allocated; the distance must not be attempted.
  const std::u16string_view huge(u"x", 1);
  // Views this long are never read: the table size is refused before any character is.
  const std::u16string_view a(huge.data(), std::size_t{1} << 40);
  const std::u16string_view b(huge.data(), std::size_t{1} << 40);
  EXPECT_EQ(EditDistance(a, b), -1);
}

TEST(HtmlEntities, AmpersandFirstAndOneLevelOnly) {
  EXPECT_EQ(DecodeHtmlEntities("a &amp;lt; b"), "a < b");
  EXPECT_EQ(DecodeHtmlEntities("&amp;amp;"), "&amp;");
  EXPECT_EQ(DecodeHtmlEntities("&quot;x&quot; &#039;y&#039; &lt;z&gt; &copy; &reg;"), "\"x\" 'y' <z> (C) (R)");
  EXPECT_EQ(DecodeHtmlEntities("no entities & stray ampersand"), "no entities & stray ampersand");
  EXPECT_EQ(DecodeHtmlEntities(""), "");
}

TEST(UrlEncode, SpaceFollowsTheFlags) {
  EXPECT_EQ(UrlEncode("a b", 0x1000000), "a+b");
  EXPECT_EQ(UrlEncode("a b", 0), "a%20b");
  EXPECT_EQ(UrlEncode("a b", 0x800000 | 0x2), "a+b");
  EXPECT_EQ(UrlEncode("a b", 0x1000001), "a%20b");  // neither exactly 0x1000000 nor bit 0x800000
  EXPECT_EQ(UrlEncode("a\tb\nc", 0x1000000), "a+b+c");
}

TEST(UrlEncode, KeepsUnreservedAndEscapesEverythingElse) {
  EXPECT_EQ(UrlEncode("Az09-_.", 0), "Az09-_.");
  EXPECT_EQ(UrlEncode("a/b?c=d&e~f", 0), "a%2Fb%3Fc%3Dd%26e%7Ef");
  EXPECT_EQ(UrlEncodeBytes(std::string("\xE4\xB8\xAD\x00\xFF", 5), 0), "%E4%B8%AD%00%FF");
  EXPECT_EQ(UrlEncode("", 0), "");
}

TEST(Temperature, LevelsFollowEachKindsThresholds) {
  struct Case {
    int kind, t, level;
  };
  const Case cases[] = {{0, 45, 1}, {0, 46, 2}, {0, 64, 2}, {0, 65, 3}, {0, 79, 3}, {0, 80, 4},
                        {1, 40, 1}, {1, 41, 2}, {1, 59, 2}, {1, 60, 3}, {1, 74, 3}, {1, 75, 4},
                        {3, 55, 1}, {3, 56, 2}, {3, 74, 2}, {3, 75, 3}, {3, 94, 3}, {3, 95, 4},
                        {5, 40, 1}, {5, 41, 2}, {5, 59, 2}, {5, 60, 3}, {5, 69, 3}, {5, 70, 4},
                        {0, -20, 1}, {2, 50, 0}, {4, 90, 0}, {-1, 10, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(TemperatureLevel(c.t, c.kind), c.level) << "kind " << c.kind << " t " << c.t;
  }
}

TEST(Temperature, ColoursPerLevelAndCallersDefault) {
  const RgbColour fallback{1, 2, 3};
  EXPECT_EQ(TemperatureColour(30, 0, fallback), (RgbColour{110, 150, 15}));
  EXPECT_EQ(TemperatureColour(50, 0, fallback), (RgbColour{255, 100, 2}));
  EXPECT_EQ(TemperatureColour(70, 0, fallback), (RgbColour{203, 1, 1}));
  EXPECT_EQ(TemperatureColour(90, 0, fallback), (RgbColour{255, 2, 2}));
  EXPECT_EQ(TemperatureColour(90, 2, fallback), fallback);
}

TEST(Temperature, GaugeIndexTruncatesTowardZeroAndClamps) {
  EXPECT_EQ(TemperatureGaugeIndex(10), 0);
  EXPECT_EQ(TemperatureGaugeIndex(14), 1);
  EXPECT_EQ(TemperatureGaugeIndex(15), 1);
  EXPECT_EQ(TemperatureGaugeIndex(20), 2);
  EXPECT_EQ(TemperatureGaugeIndex(84), 14);
  EXPECT_EQ(TemperatureGaugeIndex(100), 14);
  EXPECT_EQ(TemperatureGaugeIndex(-40), 0);
  EXPECT_EQ(TemperatureGaugeIndex(INT_MIN), 0);
  EXPECT_EQ(TemperatureGaugeIndex(INT_MAX), 14);
}

TEST(GreatestCommonDivisor, ZeroRulesAndAgreementWithTheLibrary) {
  EXPECT_EQ(GreatestCommonDivisor(0, 7), 7u);
  EXPECT_EQ(GreatestCommonDivisor(7, 0), 7u);
  EXPECT_EQ(GreatestCommonDivisor(0, 0), 0u);
  EXPECT_EQ(GreatestCommonDivisor(1920, 1080), 120u);
  EXPECT_EQ(GreatestCommonDivisor(0x80000000u, 0xC0000000u), 0x40000000u);
  EXPECT_EQ(GreatestCommonDivisor(4294967291u, 4294967279u), 1u);  // two primes
  for (std::uint32_t a = 1; a < 200; a += 7) {
    for (std::uint32_t b = 1; b < 3000; b += 97) {
      ASSERT_EQ(GreatestCommonDivisor(a * 6, b * 6), std::gcd(a * 6, b * 6)) << a << " " << b;
    }
  }
}

TEST(SiblingProgram, ProductKeysMapToTheirRegistrySubkeys) {
  EXPECT_EQ(SiblingProductSubkey("QMUpdate"), "QMUpdate");
  EXPECT_EQ(SiblingProductSubkey("qmdriver"), "QMDriver");
  EXPECT_EQ(SiblingProductSubkey("TOVIX"), "Tovix2");
  EXPECT_EQ(SiblingProductSubkey("Tunevale"), "Tunevale");
  EXPECT_EQ(SiblingProductSubkey("Tovix2"), "Wandlet");
  EXPECT_EQ(SiblingProductSubkey(""), "Wandlet");
}

TEST(SiblingProgram, RegistryExeNameIsUsedOnlyWhenTheFileExists) {
  const std::string dir = platform::CacheDirectory() + "sibling/";
  ASSERT_TRUE(platform::CreateDirectories(dir));
  const std::string exe = dir + "qmdriver-test-tool";
  std::ofstream(exe) << "#!/bin/sh\n";

  platform::RegistryKey key;
  ASSERT_EQ(key.Create(platform::RegRoot::CurrentUser, "Software\\Quillmark\\QMDriver"), platform::kRegOk);
  ASSERT_EQ(key.SetString("ExeName", exe), platform::kRegOk);
  EXPECT_EQ(FindSiblingProgram("QMDriver", "qmdriver-test-tool"), exe);

  ASSERT_TRUE(platform::DeleteFile(exe));
  EXPECT_EQ(FindSiblingProgram("QMDriver", "qmdriver-test-tool"), "");
  EXPECT_EQ(FindSiblingProgram("QMDriver", ""), "");
}

}  // namespace
}  // namespace korvane
