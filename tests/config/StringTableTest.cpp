#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "config/LanguageRes.h"
#include "config/StringTable.h"

namespace korvane {
namespace {

TEST(StringTableParse, ReadsEntriesEscapesAndSkipsComments) {
  StringTable t = ParseStringTable(
      "# comment\n"
      "\n"
      "101\tHdwSummary\r\n"
      "790\tline one\\r\\nline two\\tend\\\\ \\q\n"
      "672\tScan finished, found \n"
      "5\t\n"
      "42\tlast line without newline");
  EXPECT_TRUE(t.errors.empty());
  ASSERT_EQ(t.entries.size(), 5u);
  EXPECT_EQ(t.entries.at(101), "HdwSummary");  // CR of a CRLF file is not part of the text
  EXPECT_EQ(t.entries.at(790), "line one\r\nline two\tend\\ \\q");
  EXPECT_EQ(t.entries.at(672), "Scan finished, found ");  // spaces are part of a text
  EXPECT_EQ(t.entries.at(5), "");
  EXPECT_EQ(t.entries.at(42), "last line without newline");
}

TEST(StringTableParse, RejectsBadLinesAndKeepsTheRest) {
  StringTable t = ParseStringTable(
      "no tab here\n"
      "12a\ttext\n"
      "-3\tnegative\n"
      "\tmissing id\n"
      "99999999999999\ttoo big\n"
      "7\tfirst\n"
      "7\tsecond\n"
      "8\tgood\n");
  EXPECT_EQ(t.errors.size(), 6u);
  ASSERT_EQ(t.entries.size(), 2u);
  EXPECT_EQ(t.entries.at(7), "first");
  EXPECT_EQ(t.entries.at(8), "good");
  ASSERT_FALSE(t.errors.empty());
  EXPECT_EQ(t.errors.front().rfind("line 1:", 0), 0u);
}

TEST(StringTableParse, EscapeRoundTripsThroughTheParser) {
  const std::string text = "a\r\nb\tc\\d";
  StringTable t = ParseStringTable("1\t" + EscapeTableText(text));
  EXPECT_EQ(EscapeTableText(text).find_first_of("\r\n\t"), std::string::npos);
  EXPECT_EQ(t.entries.at(1), text);
}

// Every id the program looks up, with the ranges written out.
std::vector<int> RequiredIds() {
  std::vector<int> ids = {
      101, 102, 103, 104, 110, 111, 112, 113, 114, 115, 116, 117, 125, 126, 127, 128, 130, 131,
      132, 133, 134, 135, 136, 137, 138, 139, 140, 141, 142, 143, 144, 145, 155, 156, 157, 160,
      161, 162, 163, 164, 165, 166, 167, 168, 175, 176, 177, 180, 181, 182, 183, 184, 185, 186,
      187, 194, 195, 196, 200, 201, 202, 203, 204, 205, 206, 207, 208, 220, 221, 222, 230, 231,
      232, 233, 234, 235, 250, 251, 252, 253, 260, 261, 262, 263, 265, 266, 267, 268, 280, 281,
      290, 291, 292, 293, 294, 295, 296, 297, 298, 310, 320, 321, 330, 340, 370, 500, 510, 511,
      512, 530, 531, 532, 533, 534, 535, 550, 551, 552, 553, 554, 570, 600, 601, 602, 603, 604,
      620, 650, 651, 652, 653, 670, 671, 672, 673, 700, 701, 702, 703, 720, 721, 730, 731, 750,
      751, 752, 753, 754, 770, 771, 780, 781, 783, 790, 791, 810, 811, 812, 813, 814, 830, 831,
      832, 833, 840, 841, 842, 843, 850, 851, 852, 853, 854, 855, 856, 857, 900, 901, 930, 931,
      932, 933, 934, 950, 5000, 5001, 5002, 5003, 5004, 5005, 5006, 5010, 5011, 5020, 5021,
      5040, 5041, 5042, 5043, 5044, 5045, 5046, 5060, 5080, 5085, 5086, 5087, 5088, 5089, 5100,
      5101, 5102, 5103, 5104, 5120, 5121, 5122, 5123, 5124, 5125, 5126, 5127, 5130, 5131, 5132,
      5133, 5134, 5150, 5151, 5299, 5350, 5351, 6000, 6001, 6002, 6020, 6021, 6100, 8120, 8130,
      8131, 8132, 8150, 8151, 8200, 8220};
  for (int id = 5200; id <= 5236; ++id) {
    if (id != 5221 && id != 5223 && id != 5230) ids.push_back(id);
  }
  for (int id = 5320; id <= 5327; ++id) ids.push_back(id);
  for (int id = 8100; id <= 8106; ++id) ids.push_back(id);
  for (int id = 8110; id <= 8117; ++id) ids.push_back(id);
  return ids;
}

TEST(BuiltInTables, HoldEveryIdTheProgramUsesAndNothingElse) {
  for (int table : {kTableSimplifiedChinese, kTableEnglish}) {
    SCOPED_TRACE(table);
    const StringTable* t = BuiltInStringTable(table);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->errors.empty()) << t->errors.front();
    const std::vector<int> ids = RequiredIds();
    const std::set<int> required(ids.begin(), ids.end());
    for (int id : required) {
      auto it = t->entries.find(id);
      ASSERT_NE(it, t->entries.end()) << "missing id " << id;
      EXPECT_NE(it->second, kUndefinedText) << id;
      // Only separators and pieces drawn beside a number may be short; nothing may be empty.
      EXPECT_FALSE(it->second.empty()) << id;
    }
    for (const auto& [id, text] : t->entries) EXPECT_TRUE(required.count(id)) << "stray id " << id;
  }
  EXPECT_EQ(BuiltInStringTable(1), nullptr);
  EXPECT_EQ(BuiltInStringTable(2), nullptr);
}

// printf conversions of a text, in order ("%0.2f" -> "f", "%ld" -> "ld", "%%" skipped).
std::vector<std::string> Conversions(const std::string& text) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    if (i + 1 < text.size() && text[i + 1] == '%') {
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    while (j < text.size() && std::strchr("-+ #0123456789.", text[j]) != nullptr) ++j;
    std::size_t lengthStart = j;
    while (j < text.size() && std::strchr("hlz", text[j]) != nullptr) ++j;
    if (j < text.size()) out.push_back(text.substr(lengthStart, j + 1 - lengthStart));
    i = j;
  }
  return out;
}

// Callers format a text with the arguments of one table; the other table must consume a
// prefix of the same arguments, or formatting reads the wrong type or past the arguments.
TEST(BuiltInTables, FormatConversionsAgreeBetweenLanguages) {
  const StringTable* zh = BuiltInStringTable(kTableSimplifiedChinese);
  const StringTable* en = BuiltInStringTable(kTableEnglish);
  int withConversions = 0;
  for (const auto& [id, zhText] : zh->entries) {
    SCOPED_TRACE(id);
    auto a = Conversions(zhText);
    auto b = Conversions(en->entries.at(id));
    const auto& shorter = a.size() < b.size() ? a : b;
    const auto& longer = a.size() < b.size() ? b : a;
    EXPECT_TRUE(std::equal(shorter.begin(), shorter.end(), longer.begin()));
    if (!longer.empty()) ++withConversions;
  }
  EXPECT_GE(withConversions, 10);  // the regex itself finds the formats
}

}  // namespace
}  // namespace korvane
