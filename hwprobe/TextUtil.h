#pragma once
// Small text helpers shared by the decoders.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::hwprobe {

// Printable ASCII only, runs of spaces folded, trimmed. Firmware and EEPROM strings are often
// padded with spaces, zeros or 0xFF.
inline std::string CleanText(std::string_view in) {
  std::string out;
  for (char c : in) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x7F) c = ' ';
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out.push_back(c);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

inline std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\n' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\n' || s[e - 1] == '\r')) --e;
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

inline bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

template <typename... Args>
std::string Format(const char* fmt, Args... args) {
  char buf[256];
  int n = std::snprintf(buf, sizeof buf, fmt, args...);
  if (n < 0) return {};
  return std::string(buf, static_cast<std::size_t>(n) < sizeof buf ? static_cast<std::size_t>(n) : sizeof buf - 1);
}

// Parses a decimal integer; false on anything else.
bool ParseInt(std::string_view s, long long& out);
// "0-3,8,10-11" -> count of listed processors.
int CountCpuList(std::string_view list);

}  // namespace korvane::hwprobe
