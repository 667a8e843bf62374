#pragma once
// Small text helpers shared by the decoders.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::hwprobe {

// Length of the well-formed UTF-8 sequence at `p` (2 to 4 bytes) that encodes a printable
// character, or 0: overlong forms, surrogates, values past U+10FFFF and the C1 controls
// (U+0080..U+009F) are not text.
inline std::size_t Utf8Printable(std::string_view s, std::size_t p) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b = at(p);
  std::size_t n = 0;
  unsigned cp = 0;
  if (b >= 0xC2 && b <= 0xDF)
    n = 2, cp = b & 0x1Fu;
  else if (b >= 0xE0 && b <= 0xEF)
    n = 3, cp = b & 0x0Fu;
  else if (b >= 0xF0 && b <= 0xF4)
    n = 4, cp = b & 0x07u;
  else
    return 0;
  if (p + n > s.size()) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((at(p + i) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (at(p + i) & 0x3Fu);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
  if ((cp >= 0xD800 && cp <= 0xDFFF) || (cp >= 0x80 && cp <= 0x9F)) return 0;
  return n;
}

// Firmware and EEPROM strings (often padded with spaces, zeros or 0xFF) as text: control
// characters and bytes that are not UTF-8 become spaces, runs of spaces are folded and the
// ends trimmed, so the result is always valid UTF-8 without control characters.
inline std::string CleanText(std::string_view in) {
  std::string out;
  auto put = [&](char c) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) return;
    out.push_back(c);
  };
  for (std::size_t i = 0; i < in.size();) {
    const unsigned char u = static_cast<unsigned char>(in[i]);
    if (u >= 0x20 && u < 0x7F) {
      put(in[i]);
      ++i;
    } else if (const std::size_t n = u >= 0x80 ? Utf8Printable(in, i) : 0; n > 0) {
      out.append(in.substr(i, n));
      i += n;
    } else {
      put(' ');
      ++i;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

inline std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\n' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\n' || s[e - 1] == '\r'))
    --e;
  return std::string(s.substr(b, e - b));
}

inline std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) {
      if (start < text.size()) lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return lines;
}

inline bool StartsWith(std::string_view s, std::string_view p) {
  return s.substr(0, p.size()) == p;
}

template <typename... Args>
std::string Format(const char* fmt, Args... args) {
  char buf[256];
  int n = std::snprintf(buf, sizeof buf, fmt, args...);
  if (n < 0) return {};
  return std::string(
      buf, static_cast<std::size_t>(n) < sizeof buf ? static_cast<std::size_t>(n) : sizeof buf - 1);
}

// Parses a decimal integer; false on anything else.
bool ParseInt(std::string_view s, long long& out);
// "0-3,8,10-11" -> count of listed processors.
int CountCpuList(std::string_view list);

}  // namespace korvane::hwprobe
