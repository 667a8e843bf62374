#include "summary/SummaryFormat.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "platform/Text.h"

namespace korvane::summary {

using platform::Format;

double Round33(double mhz) {
  return std::floor(std::floor((mhz + 16.6666) * 3.0 / 100.0) * 100.0 / 3.0 + 0.5);
}

std::string FormatClockF(float mhz) {
  const double a = static_cast<double>(mhz) + 0.5;
  if (a < 0) return "Error.";
  if (a < 1000) return Format("%0.0fM", a);
  if (a < 1000000) return Format("%0.02fG", a / 1000.0);
  return Format("%0.2fT", a / 1000000.0);
}

std::string FormatClockI(std::int32_t mhz) {
  if (mhz < 0) return "Error.";
  if (mhz <= 999) return Format("%0.0fM", static_cast<double>(mhz));
  if (mhz <= 999999) return Format("%0.2fG", mhz / 1000.0);
  return Format("%0.2fT", mhz / 1000000.0);
}

namespace {

std::string FormatMB(std::uint64_t v, bool spaced) {
  const char* tera = spaced ? "%0.1f T" : "%0.1fT";
  const char* giga = spaced ? "%0.1f G" : "%0.1fG";
  const char* gigaWhole = spaced ? "%d G" : "%dG";
  const char* mega = spaced ? "%d M" : "%dM";
  // The formats come from the two fixed sets above.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  if ((v >> 32) != 0 || v > 0xFFFFF) return Format(tera, static_cast<double>(v) / 1048576.0 + 0.05);
  if (v < 1024) return Format(mega, static_cast<int>(v));
  if (v % 1024 != 0) return Format(giga, static_cast<double>(v) / 1024.0 + 0.05);
  return Format(gigaWhole, static_cast<int>(v / 1024));
#pragma GCC diagnostic pop
}

}  // namespace

std::string FormatMBSpaced(std::uint64_t mb) { return FormatMB(mb, true); }
std::string FormatMBCompact(std::uint64_t mb) { return FormatMB(mb, false); }

std::string FormatDecimal(std::string_view bytesText) {
  const std::string t = platform::Trim(bytesText);
  long long value = 0;
  std::from_chars(t.data(), t.data() + t.size(), value);
  if (value < 1000000LL) return Format("%lld K", value / 1000LL);
  if (value < 1000000000LL) return Format("%lld M", value / 1000000LL);
  if (value >= 1000000000000LL) return Format("%lld T", value / 1000000000000LL);
  return Format("%lld G", value / 1000000000LL);
}

double StockMultiplier(std::int32_t stockMHz, std::int32_t busMHz) {
  if (busMHz == 0) return 0.0;
  return std::floor(2.0 * stockMHz / busMHz + 0.2) * 0.5;
}

std::string MemoryTypeName(std::int32_t typeCode) {
  switch (typeCode) {
    case 1:
      return "SPM RAM";
    case 2:
      return "RDRAM";
    case 3:
      return "EDO RAM";
    case 4:
      return "FPM RAM";
    case 5:
      return "SDRAM";
    case 6:
      return "DDR";
    case 7:
      return "DDR2";
    case 8:
      return "FB-DDR2";
    case 9:
      return "DDR3";
    case 10:
      return "DDR4";
    case 11:
      return "DDR5";
    default:
      return "unknown";
  }
}

std::int32_t DataRateFactor(std::int32_t typeCode) {
  return typeCode >= 6 && typeCode <= 11 ? 2 : 1;
}

std::int32_t RatedClockFromCurrent(double currentMHz) {
  return static_cast<std::int32_t>(
      std::floor(std::floor(currentMHz / 33.333 + 0.5) * 33.33333 + 0.5));
}

std::string TimingsText(float cl, std::int32_t rcd, std::int32_t rp, std::int32_t ras,
                        std::int32_t trc, std::int32_t cr) {
  if (cl < 0) cl = 0;
  rcd = rcd < 0 ? 0 : rcd;
  rp = rp < 0 ? 0 : rp;
  ras = ras < 0 ? 0 : ras;
  const double c = cl;
  const bool whole = std::fabs(std::floor(c) - c) < 0.05;
  std::string text =
      whole ? Format("%0.0f-%d-%d-%d", c, rcd, rp, ras) : Format("%0.1f-%d-%d-%d", c, rcd, rp, ras);
  std::string suffix = " (CL-RCD-RP-RAS";
  if (trc > 0) {
    text += Format("-%d", trc);
    suffix += "-TRC";
  }
  if (cr > 0) {
    text += Format(" CR%d", cr);
    suffix += "-CR";
  }
  return text + suffix + ")";
}

namespace {

// Binary greatest common divisor; gcd(x, 0) = x.
std::int64_t BinaryGcd(std::int64_t a, std::int64_t b) {
  a = std::llabs(a);
  b = std::llabs(b);
  if (a == 0) return b;
  if (b == 0) return a;
  int shift = 0;
  while (((a | b) & 1) == 0) {
    a >>= 1;
    b >>= 1;
    ++shift;
  }
  while ((a & 1) == 0) a >>= 1;
  while (b != 0) {
    while ((b & 1) == 0) b >>= 1;
    if (a > b) std::swap(a, b);
    b -= a;
  }
  return a << shift;
}

}  // namespace

std::string FsbDramRatio(double busMHz, double memoryMHz) {
  const double a = std::floor((busMHz * 3 + 3) / 100) * 100;
  const double b = std::floor((memoryMHz * 3 + 3) / 100) * 100;
  const auto A = static_cast<std::int64_t>(a + 0.5);
  const auto B = static_cast<std::int64_t>(b + 0.5);
  const std::int64_t d = BinaryGcd(B, A);
  if (d == 0) return "1:1";
  return Format("%lld:%lld", static_cast<long long>(A / d), static_cast<long long>(B / d));
}

std::string AspectRatioText(std::int32_t width, std::int32_t height) {
  if (width <= 0 || height <= 0) return {};
  const std::int32_t d = std::gcd(width, height);
  std::int32_t w = width / d;
  std::int32_t h = height / d;
  if (w == 8 && h == 5) {
    w = 16;
    h = 10;
  }
  return Format("%d : %d", w, h);
}

bool IsOemPlaceholder(std::string_view text) {
  return platform::EqualsIgnoreCase(text, "To be filled by O.E.M.");
}

std::string BoardVendorText(std::string_view vendor) {
  return IsOemPlaceholder(vendor) ? "Vendor O.E.M." : std::string(vendor);
}

std::string BoardVendorShort(std::string_view vendor) {
  if (IsOemPlaceholder(vendor)) return "Vendor O.E.M.";
  const auto space = vendor.find(' ');
  return std::string(space == std::string_view::npos ? vendor : vendor.substr(0, space));
}

std::string BoardModelText(std::string_view model) {
  return IsOemPlaceholder(model) ? "Model O.E.M." : std::string(model);
}

std::string FillTemplate(std::string_view templ, std::initializer_list<std::string_view> args) {
  std::vector<std::string_view> values(args);
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < templ.size(); ++i) {
    const char ch = templ[i];
    if (ch != '%') {
      out += ch;
      continue;
    }
    if (i + 1 < templ.size() && templ[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    // A conversion: flags, width and precision, then its letter.
    std::size_t j = i + 1;
    while (j < templ.size() &&
           std::string_view("0123456789.-+ #lh").find(templ[j]) != std::string_view::npos)
      ++j;
    if (j >= templ.size()) {
      out.append(templ.substr(i));
      break;
    }
    if (next < values.size()) out.append(values[next]);
    ++next;
    i = j;
  }
  return out;
}

}  // namespace korvane::summary
