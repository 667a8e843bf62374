#include "Spd.h"

#include <algorithm>
#include <cmath>

#include "QmHdwApi.h"
#include "TextUtil.h"

namespace korvane::hwprobe {
namespace {

int Bcd(std::uint8_t b) {
  int hi = b >> 4, lo = b & 0x0F;
  if (hi > 9 || lo > 9) return -1;
  return hi * 10 + lo;
}

std::string SerialHex(std::span<const std::uint8_t> s, std::size_t off) {
  if (off + 4 > s.size()) return {};
  bool allSame = true;
  for (std::size_t i = 1; i < 4; ++i) allSame = allSame && s[off + i] == s[off];
  if (allSame && (s[off] == 0 || s[off] == 0xFF)) return {};
  return Format("%02X%02X%02X%02X", s[off], s[off + 1], s[off + 2], s[off + 3]);
}

std::string Ascii(std::span<const std::uint8_t> s, std::size_t off, std::size_t len) {
  if (off >= s.size()) return {};
  len = std::min(len, s.size() - off);
  return CleanText(std::string_view(reinterpret_cast<const char*>(s.data() + off), len));
}

void SetDate(SpdModule& m, std::uint8_t y, std::uint8_t w) {
  int year = Bcd(y), week = Bcd(w);
  if (year < 0 || week < 1 || week > 53) return;
  m.year = 2000 + year;
  m.week = week;
}

// MTB value plus signed fine correction, in ns.
double Time(std::uint8_t mtbUnits, std::uint8_t fine, double mtbNs, double ftbNs) {
  return mtbUnits * mtbNs + static_cast<std::int8_t>(fine) * ftbNs;
}

// Clocks of every speed bin sit on a 33.33 MHz grid; the stored cycle time is rounded to
// whole picoseconds (DDR5-4800 stores 416 ps, which is 2403.8 MHz), so snap to the grid.
int ClockFromTck(double tck) {
  if (tck <= 0.05) return -1;
  const double raw = 1000.0 / tck;
  return static_cast<int>(std::lround(std::floor(raw / (100.0 / 3.0) + 0.5) * (100.0 / 3.0)));
}

void DecodeDdr3(std::span<const std::uint8_t> s, SpdModule& m) {
  m.typeCode = qmhdw::kMemDdr3;
  const int capMb = 256 << (s[4] & 0x0F);
  const int devWidth = 4 << (s[7] & 0x07);
  m.ranks = ((s[7] >> 3) & 0x07) + 1;
  m.dataWidth = 8 << (s[8] & 0x07);
  if ((s[4] & 0x0F) <= 7 && (s[7] & 0x07) <= 3 && (s[8] & 0x07) <= 3)
    m.sizeMB = capMb / 8 * (m.dataWidth / devWidth) * m.ranks;
  const double mtb = s[11] ? static_cast<double>(s[10]) / s[11] : 0.125;
  const double ftb = (s[9] & 0x0F) ? static_cast<double>(s[9] >> 4) / (s[9] & 0x0F) / 1000.0 : 0.0;
  m.tCKmin = Time(s[12], s[34], mtb, ftb);
  m.tAA = Time(s[16], s[35], mtb, ftb);
  m.tRCD = Time(s[18], s[36], mtb, ftb);
  m.tRP = Time(s[20], s[37], mtb, ftb);
  m.tRAS = (((s[21] & 0x0F) << 8) | s[22]) * mtb;
  m.tRC = ((((s[21] >> 4) & 0x0F) << 8) | s[23]) * mtb + static_cast<std::int8_t>(s[38]) * ftb;
  const unsigned cas = s[14] | (s[15] << 8);
  for (int i = 0; i < 15; ++i)
    if (cas & (1u << i)) m.casLatencies.push_back(4 + i);
  if (s.size() >= 146) {
    m.manufacturer = Jep106Name(s[117], s[118]);
    SetDate(m, s[120], s[121]);
    m.serialNumber = SerialHex(s, 122);
    m.partNumber = Ascii(s, 128, 18);
  }
}

void DecodeDdr4(std::span<const std::uint8_t> s, SpdModule& m) {
  m.typeCode = qmhdw::kMemDdr4;
  const int density = s[4] & 0x0F;
  static const int kDensityMb[] = {256, 512, 1024, 2048, 4096, 8192, 16384, 32768, 12288, 24576};
  const int devWidth = 4 << (s[12] & 0x07);
  m.ranks = ((s[12] >> 3) & 0x07) + 1;
  m.dataWidth = 8 << (s[13] & 0x07);
  int dies = 1;
  if ((s[6] & 0x03) == 0x02) dies = ((s[6] >> 4) & 0x07) + 1;  // 3DS stacks
  if (density < 10 && (s[12] & 0x07) <= 3 && (s[13] & 0x07) <= 3)
    m.sizeMB = kDensityMb[density] / 8 * (m.dataWidth / devWidth) * m.ranks * dies;
  const double mtb = 0.125, ftb = 0.001;
  m.tCKmin = Time(s[18], s[125], mtb, ftb);
  const double tckMax = Time(s[19], s[124], mtb, ftb);
  if (tckMax > 0) m.minClockMHz = ClockFromTck(tckMax);
  m.tAA = Time(s[24], s[123], mtb, ftb);
  m.tRCD = Time(s[25], s[122], mtb, ftb);
  m.tRP = Time(s[26], s[121], mtb, ftb);
  m.tRAS = (((s[27] & 0x0F) << 8) | s[28]) * mtb;
  m.tRC = ((((s[27] >> 4) & 0x0F) << 8) | s[29]) * mtb + static_cast<std::int8_t>(s[120]) * ftb;
  const std::uint32_t cas = s[20] | (s[21] << 8) | (s[22] << 16) | (static_cast<std::uint32_t>(s[23] & 0x3F) << 24);
  const int base = (s[23] & 0x80) ? 23 : 7;
  for (int i = 0; i < 30; ++i)
    if (cas & (1u << i)) m.casLatencies.push_back(base + i);
  if (s.size() >= 349) {
    m.manufacturer = Jep106Name(s[320], s[321]);
    SetDate(m, s[323], s[324]);
    m.serialNumber = SerialHex(s, 325);
    m.partNumber = Ascii(s, 329, 20);
  }
}

int Word(std::span<const std::uint8_t> s, std::size_t off) { return s[off] | (s[off + 1] << 8); }

void DecodeDdr5(std::span<const std::uint8_t> s, SpdModule& m) {
  m.typeCode = qmhdw::kMemDdr5;
  static const int kDensityGb[] = {0, 4, 8, 12, 16, 24, 32, 48, 64};
  static const int kDies[] = {1, 0, 2, 4, 8, 16, 0, 0};
  const int density = s[4] & 0x1F;
  const int dies = kDies[(s[4] >> 5) & 0x07];
  const int devWidth = 4 << ((s[6] >> 5) & 0x07);
  m.ranks = ((s[234] >> 3) & 0x07) + 1;
  const int subWidth = 8 << (s[235] & 0x07);
  const int subChannels = ((s[235] >> 5) & 0x03) + 1;
  m.dataWidth = subWidth * subChannels;
  if (density >= 1 && density <= 8 && dies > 0 && devWidth <= 32 && subWidth <= 64)
    m.sizeMB = subChannels * (subWidth / devWidth) * kDensityGb[density] * dies * 1024 / 8 * m.ranks;
  auto ps = [&](std::size_t off) { return Word(s, off) / 1000.0; };
  m.tCKmin = ps(20);
  const double tckMax = ps(22);
  if (tckMax > 0) m.minClockMHz = ClockFromTck(tckMax);
  m.tAA = ps(30);
  m.tRCD = ps(32);
  m.tRP = ps(34);
  m.tRAS = ps(36);
  m.tRC = ps(38);
  for (int i = 0; i < 40; ++i)
    if (s[24 + i / 8] & (1u << (i % 8))) m.casLatencies.push_back(20 + 2 * i);
  if (s.size() >= 551) {
    m.manufacturer = Jep106Name(s[512], s[513]);
    SetDate(m, s[515], s[516]);
    m.serialNumber = SerialHex(s, 517);
    m.partNumber = Ascii(s, 521, 30);
  }
}

}  // namespace

int ClocksFor(double ns, double clockMHz) {
  if (ns <= 0 || clockMHz <= 0) return -1;
  const double tck = 1000.0 / clockMHz;
  return static_cast<int>(std::ceil(ns / tck - 0.025));
}

std::optional<SpdModule> DecodeSpd(std::span<const std::uint8_t> s) {
  if (s.size() < 64) return std::nullopt;
  SpdModule m;
  switch (s[2]) {
    case 0x04: m.typeCode = qmhdw::kMemSdram; return m;
    case 0x07: m.typeCode = qmhdw::kMemDdr; return m;
    case 0x08: m.typeCode = qmhdw::kMemDdr2; return m;
    case 0x09: m.typeCode = qmhdw::kMemFbDdr2; return m;
    case 0x0B:
      if (s.size() < 128) return std::nullopt;
      DecodeDdr3(s, m);
      break;
    case 0x0C:
    case 0x0E:  // DDR4E
      if (s.size() < 128) return std::nullopt;
      DecodeDdr4(s, m);
      break;
    case 0x12:
      if (s.size() < 256) return std::nullopt;
      DecodeDdr5(s, m);
      break;
    default:
      return std::nullopt;
  }
  m.maxClockMHz = ClockFromTck(m.tCKmin);
  auto sane = [](double& t) { if (t <= 0 || t > 1000) t = -1; };
  sane(m.tAA); sane(m.tRCD); sane(m.tRP); sane(m.tRAS); sane(m.tRC);
  if (m.tCKmin <= 0) m.maxClockMHz = -1;
  return m;
}

std::optional<SpdTimingEntry> TimingsAt(const SpdModule& m, double clockMHz) {
  if (clockMHz <= 0 || m.tAA <= 0) return std::nullopt;
  SpdTimingEntry e;
  e.frequencyMHz = static_cast<int>(std::lround(clockMHz));
  const int need = ClocksFor(m.tAA, clockMHz);
  e.cas = need;
  for (int cl : m.casLatencies)
    if (cl >= need) { e.cas = cl; break; }
  e.rcd = ClocksFor(m.tRCD, clockMHz);
  e.rp = ClocksFor(m.tRP, clockMHz);
  e.ras = ClocksFor(m.tRAS, clockMHz);
  e.rc = ClocksFor(m.tRC, clockMHz);
  return e;
}

std::vector<SpdTimingEntry> BuildTimingTable(const SpdModule& m) {
  std::vector<SpdTimingEntry> out;
  if (m.maxClockMHz <= 0) return out;
  // Standard clocks of each generation's speed bins.
  static const int kDdr3[] = {1200, 1066, 933, 800, 667, 533, 400};
  static const int kDdr4[] = {1600, 1466, 1333, 1200, 1066, 933, 800, 667};
  static const int kDdr5[] = {4400, 4000, 3600, 3200, 3000, 2800, 2400, 2200, 2000};
  std::span<const int> bins;
  if (m.typeCode == qmhdw::kMemDdr3) bins = kDdr3;
  else if (m.typeCode == qmhdw::kMemDdr4) bins = kDdr4;
  else if (m.typeCode == qmhdw::kMemDdr5) bins = kDdr5;
  const int lowest = m.minClockMHz > 0 ? m.minClockMHz : 0;
  // The module's own top clock first, then every standard clock below it.
  std::vector<int> clocks{m.maxClockMHz};
  for (int c : bins)
    if (c < m.maxClockMHz - 10 && c >= lowest - 10) clocks.push_back(c);
  for (int c : clocks) {
    // The exact clock of a bin is 1000/tCK; 667 stands for 666.67 and so on.
    const double exact = c % 100 == 33 || c % 100 == 67 || c % 100 == 66 ? std::round(c * 3.0 / 100) * 100 / 3.0 : c;
    if (auto e = TimingsAt(m, c == m.maxClockMHz ? 1000.0 / m.tCKmin : exact)) {
      // A bin whose CAS is not supported is skipped, as the module would refuse it.
      if (!m.casLatencies.empty() &&
          std::find(m.casLatencies.begin(), m.casLatencies.end(), e->cas) == m.casLatencies.end())
        continue;
      e->frequencyMHz = c;
      out.push_back(*e);
    }
  }
  return out;
}

}  // namespace korvane::hwprobe
