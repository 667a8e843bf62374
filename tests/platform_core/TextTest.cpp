#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/Text.h"

namespace {

using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

const std::string kFffd = "\xEF\xBF\xBD";

TEST(Utf8Utf16, RoundTripsEveryEncodingLength) {
  // ASCII, 2-byte (é), 3-byte (中), 4-byte (U+1F600 -> a surrogate pair), and the edges of
  // each range.
  const std::string text =
      "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\x7F\xC2\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF";
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide, (std::u16string{u'A', 0x00E9, 0x4E2D, 0xD83D, 0xDE00, 0x7F, 0x80, 0xFFFF, 0xDBFF,
                                  0xDFFF}));
  EXPECT_EQ(Utf16ToUtf8(wide), text);
  EXPECT_EQ(platform::Utf16Length(text), wide.size());
}

TEST(Utf8Utf16, InvalidUtf8BecomesOneReplacementPerBadSubpart) {
  struct Case {
    std::string in;
    std::u16string out;
  } cases[] = {
      {"a\x80"
       "b",
       u"a\uFFFDb"},                                      // stray continuation byte
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong '/' : C0 is never valid
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},            // overlong 3-byte form
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xE4\xB8", u"\uFFFD"},                            // truncated at the end: one replacement
      {"\xE4\xB8"
       "x",
       u"\uFFFDx"},  // truncated, then ASCII survives
      {"\xF0\x9F\x98", u"\uFFFD"},
      {"\xFF\xFE", u"\uFFFD\uFFFD"},
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},  // NUL is text, not an end
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.in), c.out) << "input size " << c.in.size();
    EXPECT_EQ(platform::Utf16Length(c.in), c.out.size());
  }
}

TEST(Utf8Utf16, LoneSurrogatesBecomeReplacement) {
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD83D}), kFffd);
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDE00, u'x'}), kFffd + "x");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD83D, u'x', 0xD83D, 0xDE00}), kFffd + "x\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDBFF, 0xDBFF, 0xDFFF}), kFffd + "\xF4\x8F\xBF\xBF");
}

TEST(Utf8Utf16, TruncationKeepsPairsAndSequencesWhole) {
  const std::string text =
      "ab\xF0\x9F\x98\x80"
      "c\xE4\xB8\xAD";  // a b [pair] c 中 = 6 units
  EXPECT_EQ(platform::TruncateUtf16Units(text, 0), "");
  EXPECT_EQ(platform::TruncateUtf16Units(text, 2), "ab");
  EXPECT_EQ(platform::TruncateUtf16Units(text, 3), "ab");  // would split the pair
  EXPECT_EQ(platform::TruncateUtf16Units(text, 4), "ab\xF0\x9F\x98\x80");
  EXPECT_EQ(platform::TruncateUtf16Units(text, 5),
            "ab\xF0\x9F\x98\x80"
            "c");
  EXPECT_EQ(platform::TruncateUtf16Units(text, 6), text);
  EXPECT_EQ(platform::TruncateUtf16Units(text, 100), text);
  for (std::size_t n = 0; n <= 6; ++n)
    EXPECT_LE(platform::Utf16Length(platform::TruncateUtf16Units(text, n)), n);
}

TEST(FixedBuffers, CopyIntoCutsBeforeAnIncompleteSequence) {
  const std::string text = "ab\xE4\xB8\xAD\xE6\x96\x87";  // "ab中文", 8 bytes
  char buf[16];
  for (std::size_t cap = 1; cap <= 10; ++cap) {
    std::memset(buf, 'Z', sizeof buf);
    const std::size_t n = platform::CopyInto(buf, cap, text);
    ASSERT_LT(n, cap);
    EXPECT_EQ(buf[n], '\0');
    EXPECT_EQ(buf[cap], 'Z') << "wrote past the capacity " << cap;
    const std::string got(buf, n);
    EXPECT_EQ(got, text.substr(0, n));
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(got)), got) << "split sequence at capacity " << cap;
  }
  EXPECT_EQ(platform::CopyInto(buf, 5, text), 2u);  // room for 4 bytes, 中 needs 3 after "ab"
  EXPECT_EQ(platform::CopyInto(buf, 6, text), 5u);
  EXPECT_EQ(platform::CopyInto(buf, 0, text), 0u);
  EXPECT_EQ(platform::CopyInto(nullptr, 10, text), 0u);
}

TEST(FixedBuffers, FormatIntoBoundsAndKeepsUtf8Whole) {
  char buf[12];
  std::memset(buf, 'Z', sizeof buf);
  EXPECT_EQ(platform::FormatInto(buf, 8, "%d-%s", 42, "x"), 4u);
  EXPECT_STREQ(buf, "42-x");

  std::memset(buf, 'Z', sizeof buf);
  // "x=" + 中文 = 8 bytes; a 7-byte capacity leaves 6 bytes, which would cut 文 in half.
  const std::size_t n = platform::FormatInto(buf, 7, "x=%s", "\xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ(n, 5u);
  EXPECT_STREQ(buf, "x=\xE4\xB8\xAD");
  EXPECT_EQ(buf[7], 'Z');

  // A cut that falls on ASCII keeps everything that fits.
  EXPECT_EQ(platform::FormatInto(buf, 4, "%s", "abcdef"), 3u);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(platform::FormatInto(buf, 0, "%s", "abc"), 0u);
}

TEST(FixedBuffers, FormatBuildsLongTexts) {
  const std::string big(5000, 'q');
  EXPECT_EQ(platform::Format("%s|%d|%.2f", big.c_str(), -7, 1.005), big + "|-7|1.00");
  EXPECT_EQ(platform::Format("%s", ""), "");
}

TEST(SmallStrings, TrimAndAsciiCase) {
  EXPECT_EQ(platform::Trim(" \t\r\nab c\n \t"), "ab c");
  EXPECT_EQ(platform::Trim(" \n "), "");
  EXPECT_EQ(platform::Trim("\xC2\xA0x"), "\xC2\xA0x");  // only ASCII white space goes
  // Bytes of other scripts are never changed by the ASCII helpers.
  EXPECT_EQ(platform::ToLowerAscii("AbZ\xC3\x89@["), "abz\xC3\x89@[");
  EXPECT_EQ(platform::ToUpperAscii("azA\xC3\xA9`{"), "AZA\xC3\xA9`{");
  EXPECT_TRUE(platform::EqualsIgnoreCase("Content-TYPE", "content-type"));
  EXPECT_FALSE(platform::EqualsIgnoreCase("abc", "abd"));
  EXPECT_FALSE(platform::EqualsIgnoreCase("abc", "ab"));
  EXPECT_FALSE(platform::EqualsIgnoreCase("@", "`"));  // 0x40 vs 0x60 differ only by 0x20
}

TEST(CodePages, GbkConvertsBothWaysWithReplacements) {
  const std::string gbk = "\xD6\xD0\xCE\xC4 ok";  // 中文 ok
  EXPECT_EQ(platform::CodePageToUtf8(gbk, "GBK"), "\xE4\xB8\xAD\xE6\x96\x87 ok");
  EXPECT_EQ(platform::Utf8ToCodePage("\xE4\xB8\xAD\xE6\x96\x87 ok", "GBK"), gbk);
  // A GBK lead byte followed by an invalid trail, and one cut off at the end.
  EXPECT_EQ(platform::CodePageToUtf8("a\xD6\x20"
                                     "b\xD6",
                                     "GBK"),
            "a" + kFffd + " b" + kFffd);
  // Characters GBK cannot hold, and invalid UTF-8 input, become '?'.
  EXPECT_EQ(platform::Utf8ToCodePage("x\xF0\x9F\x98\x80y\xFFz", "GBK"), "x?y?z");
}

TEST(CodePages, Utf8AndUnknownSetsPassCleanedText) {
  EXPECT_EQ(platform::CodePageToUtf8("ok\xFF", "UTF-8"), "ok" + kFffd);
  EXPECT_EQ(platform::Utf8ToCodePage("\xE4\xB8\xAD", "utf8"), "\xE4\xB8\xAD");
  EXPECT_EQ(platform::CodePageToUtf8("ok\xFF", "NO-SUCH-CHARSET"), "ok" + kFffd);
  // The environment here has no legacy locale: the code page is UTF-8 (C is read as UTF-8).
  const std::string cp = platform::AnsiCodePageName();
  EXPECT_FALSE(cp.empty());
  if (platform::EqualsIgnoreCase(cp, "UTF-8")) {
    EXPECT_EQ(platform::AnsiToUtf8("\xE4\xB8\xAD\xC3"), "\xE4\xB8\xAD" + kFffd);
    EXPECT_EQ(platform::Utf8ToAnsi("\xE4\xB8\xAD"), "\xE4\xB8\xAD");
  }
}

}  // namespace

namespace {

TEST(MachineText, EveryByteSequenceComesOutCleanAndCleanTextIsKept) {
  // Every single byte and every pair: the result is always clean, and cleaning it again
  // changes nothing.
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; b += 7) {
      const std::string bytes{static_cast<char>(a), static_cast<char>(b), '\xE4', '\xB8'};
      for (const bool keep : {true, false}) {
        const std::string clean = platform::CleanMachineText(bytes, keep);
        ASSERT_TRUE(platform::IsCleanMachineText(clean)) << a << " " << b;
        ASSERT_EQ(platform::CleanMachineText(clean, keep), clean) << a << " " << b;
        if (!keep) {
          ASSERT_EQ(clean.find_first_of("\r\n"), std::string::npos);
        }
      }
    }
  }
  const std::string good = "Samsung SSD 980 PRO 1TB \xE4\xB8\xAD\xE6\x96\x87\t\xEF\xBF\xBD";
  EXPECT_EQ(platform::CleanMachineText(good, false), good);
  EXPECT_TRUE(platform::IsCleanMachineText(good));
  EXPECT_FALSE(platform::IsCleanMachineText("a\x1B[2Jb"));
  EXPECT_FALSE(platform::IsCleanMachineText("\xF0\x90\x80"));  // cut four-byte sequence
  EXPECT_EQ(platform::CleanMachineText(std::string("pad\0\0ded", 8), false), "padded");
  EXPECT_EQ(platform::CleanMachineText("a\r\nb", true), "a\r\nb");
  EXPECT_EQ(platform::CleanMachineText("a\r\nb", false),
            "a\xEF\xBF\xBD\xEF\xBF\xBD"
            "b");
}

}  // namespace
