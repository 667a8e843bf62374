#include "sysinfo/SysUtil.h"

#include <algorithm>
#include <array>
#include <memory>
#include <new>

#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace korvane {

std::string FormatFileVersion(std::uint32_t ms, std::uint32_t ls) {
  return platform::Format("%d.%d.%d.%d", static_cast<int>(ms >> 16), static_cast<int>(ms & 0xFFFF),
                          static_cast<int>(ls >> 16), static_cast<int>(ls & 0xFFFF));
}

std::string Utf16ToAnsi(std::u16string_view text) {
  return platform::Utf8ToAnsi(platform::Utf16ToUtf8(text));
}

std::string Utf8ToAnsiText(std::string_view text) { return platform::Utf8ToAnsi(text); }

int EditDistance(std::u16string_view a, std::u16string_view b) {
  if (a.empty()) return static_cast<int>(std::min<std::size_t>(b.size(), INT32_MAX));
  if (b.empty()) return static_cast<int>(std::min<std::size_t>(a.size(), INT32_MAX));
  const std::size_t rows = a.size() + 1;
  const std::size_t cols = b.size() + 1;
  // The full table is kept (not two rows) so that a huge input fails the allocation and
  // reports -1 instead of running for hours.
  if (rows > SIZE_MAX / cols / sizeof(std::int32_t)) return -1;
  std::unique_ptr<std::int32_t[]> table(new (std::nothrow) std::int32_t[rows * cols]);
  if (!table) return -1;
  auto at = [&](std::size_t i, std::size_t j) -> std::int32_t& { return table[i * cols + j]; };
  for (std::size_t i = 0; i < rows; ++i) at(i, 0) = static_cast<std::int32_t>(i);
  for (std::size_t j = 0; j < cols; ++j) at(0, j) = static_cast<std::int32_t>(j);
  for (std::size_t i = 1; i < rows; ++i) {
    for (std::size_t j = 1; j < cols; ++j) {
      const std::int32_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + cost});
    }
  }
  return at(rows - 1, cols - 1);
}

int EditDistance(std::string_view a, std::string_view b) {
  return EditDistance(std::u16string_view(platform::Utf8ToUtf16(a)),
                      std::u16string_view(platform::Utf8ToUtf16(b)));
}

namespace {
void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  std::size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
}
}  // namespace

std::string DecodeHtmlEntities(std::string_view text) {
  std::string out(text);
  // Order matters: "&amp;" first, so "&amp;lt;" becomes "<" as the driver pages expect.
  ReplaceAll(out, "&amp;", "&");
  ReplaceAll(out, "&quot;", "\"");
  ReplaceAll(out, "&#039;", "'");
  ReplaceAll(out, "&lt;", "<");
  ReplaceAll(out, "&gt;", ">");
  ReplaceAll(out, "&copy;", "(C)");
  ReplaceAll(out, "&reg;", "(R)");
  return out;
}

std::string UrlEncodeBytes(std::string_view bytes, std::uint32_t flags) {
  const bool plus = flags == kUrlEncodeSpaceAsPlus || (flags & kUrlEncodeSpaceAsPlusBit) != 0;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.') {
      out.push_back(static_cast<char>(c));
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') {
      out += plus ? "+" : "%20";
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    }
  }
  return out;
}

std::string UrlEncode(std::string_view text, std::uint32_t flags) {
  // The locale's character set stands for the fixed Chinese code page; the process-wide
  // locale is left alone because other threads format numbers at the same time.
  return UrlEncodeBytes(platform::Utf8ToAnsi(text), flags);
}

std::string SiblingProductSubkey(std::string_view productKey) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kNames{{
      {"QMUpdate", "QMUpdate"}, {"QMDriver", "QMDriver"}, {"Tovix", "Tovix2"}, {"Tunevale", "Tunevale"}}};
  for (const auto& [key, name] : kNames) {
    if (platform::EqualsIgnoreCase(productKey, key)) return std::string(name);
  }
  return "Wandlet";
}

std::string FindSiblingProgram(std::string_view productKey, std::string_view executableName) {
  if (executableName.empty()) return {};
  const std::string own = platform::ExecutableDirectory() + std::string(executableName);
  if (platform::FileExists(own)) return platform::MapFileName(own);

  {
    platform::RegistryKey key;
    const std::string path = platform::Format("%s\\%s", "Software\\Quillmark",
                                              SiblingProductSubkey(productKey).c_str());
    std::string exe;
    if (key.Open(platform::RegRoot::CurrentUser, path, platform::RegAccess::Read) == platform::kRegOk &&
        key.QueryString("ExeName", exe) == platform::kRegOk && !exe.empty() && platform::FileExists(exe)) {
      return platform::MapFileName(exe);
    }
  }

  std::string programFiles;
  {
    platform::RegistryKey key;
    if (key.Open(platform::RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                 platform::RegAccess::Read) != platform::kRegOk ||
        key.QueryString("ProgramFilesDir", programFiles) != platform::kRegOk) {
      programFiles.clear();
    }
  }
  if (programFiles.empty()) programFiles = platform::ProgramFilesDirectory();
  if (programFiles.back() != '/') programFiles.push_back('/');
  const bool tunevale = platform::ToLowerAscii(executableName).find("tunevale") != std::string::npos;
  const std::string third =
      programFiles + (tunevale ? "Quillmark/Tunevale/" : "Quillmark/Wandlet/") + std::string(executableName);
  if (platform::FileExists(third)) return platform::MapFileName(third);
  return {};
}

int TemperatureLevel(int t, int kind) {
  // Upper bounds (inclusive) of levels 1, 2 and 3 per sensor kind.
  struct Bounds { int l1, l2, l3; };
  Bounds b{};
  switch (kind) {
    case 0: b = {45, 64, 79}; break;
    case 1: b = {40, 59, 74}; break;
    case 3: b = {55, 74, 94}; break;
    case 5: b = {40, 59, 69}; break;
    default: return 0;
  }
  if (t <= b.l1) return 1;
  if (t <= b.l2) return 2;
  if (t <= b.l3) return 3;
  return 4;
}

RgbColour TemperatureColour(int t, int kind, RgbColour defaultColour) {
  switch (TemperatureLevel(t, kind)) {
    case 1: return {110, 150, 15};
    case 2: return {255, 100, 2};
    case 3: return {203, 1, 1};
    case 4: return {255, 2, 2};
    default: return defaultColour;
  }
}

int TemperatureGaugeIndex(int t) {
  // Computed in 64 bits so that extreme readings cannot overflow before the clamp.
  const long long index = (static_cast<long long>(t) - 15) / 5 + 1;
  return static_cast<int>(std::clamp<long long>(index, 0, 14));
}

std::uint32_t GreatestCommonDivisor(std::uint32_t a, std::uint32_t b) {
  if (b == 0) return a;
  if (a == 0) return b;
  int shift = 0;
  while (((a | b) & 1u) == 0) {
    a >>= 1;
    b >>= 1;
    ++shift;
  }
  while ((a & 1u) == 0) a >>= 1;
  do {
    while ((b & 1u) == 0) b >>= 1;
    if (a > b) std::swap(a, b);
    b -= a;
  } while (b != 0);
  return a << shift;
}

}  // namespace korvane
