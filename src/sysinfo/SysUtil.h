#pragma once
// Small shared utilities: file-version text, code-page conversions, edit distance, HTML entity
// decoding, URL encoding, sibling-program lookup, temperature classification and GCD.
#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

// "%d.%d.%d.%d" of the four 16-bit parts of a file version (most significant half first).
std::string FormatFileVersion(std::uint32_t mostSignificant, std::uint32_t leastSignificant);

// Program text (UTF-8) or UTF-16 text to the locale's character set ("ANSI code page").
std::string Utf16ToAnsi(std::u16string_view text);
std::string Utf8ToAnsiText(std::string_view text);

// Levenshtein distance over UTF-16 code units with unit costs; -1 when the table cannot be
// allocated.
int EditDistance(std::u16string_view a, std::u16string_view b);
int EditDistance(std::string_view utf8A, std::string_view utf8B);

std::string DecodeHtmlEntities(std::string_view text);

// Flags: 0x1000000 exactly, or any value with bit 0x800000, turn white space into '+'.
inline constexpr std::uint32_t kUrlEncodeSpaceAsPlus = 0x1000000;
inline constexpr std::uint32_t kUrlEncodeSpaceAsPlusBit = 0x800000;
std::string UrlEncode(std::string_view text, std::uint32_t flags);
// The byte-level step alone, over text already in the locale's character set.
std::string UrlEncodeBytes(std::string_view bytes, std::uint32_t flags);

// Full path of a sibling product's program, or "" when none of the candidate places holds it.
std::string FindSiblingProgram(std::string_view productKey, std::string_view executableName);
// The registry subkey name under "Software\Quillmark" for a product key.
std::string SiblingProductSubkey(std::string_view productKey);

struct RgbColour {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const RgbColour&, const RgbColour&) = default;
};

// Level 1 (cool) .. 4 (hot); 0 for a kind without thresholds.
int TemperatureLevel(int celsius, int kind);
// The level's colour; a kind without thresholds gives the caller's default colour.
RgbColour TemperatureColour(int celsius, int kind, RgbColour defaultColour);
// Gauge picture index 0..14.
int TemperatureGaugeIndex(int celsius);

std::uint32_t GreatestCommonDivisor(std::uint32_t a, std::uint32_t b);

}  // namespace korvane
