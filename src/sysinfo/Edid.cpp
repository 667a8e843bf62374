#include "sysinfo/Edid.h"

#include <array>

#include "platform/Text.h"

namespace korvane {

namespace {

constexpr std::array<std::uint8_t, 8> kHeader{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

std::string DescriptorText(std::span<const std::uint8_t> d) {
  std::string text;
  for (std::size_t i = 5; i < 18; ++i) {
    const std::uint8_t c = d[i];
    if (c == 0x0A || c == 0x00) break;
    // Only printable ASCII is kept; anything else would land in texts shown to the user.
    text.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
  }
  return platform::Trim(text);
}

}  // namespace

std::string EdidInfo::PnpId() const { return manufacturerId + platform::Format("%04X", productCode); }

std::optional<EdidInfo> ParseEdid(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 128) return std::nullopt;
  for (std::size_t i = 0; i < kHeader.size(); ++i) {
    if (bytes[i] != kHeader[i]) return std::nullopt;
  }
  EdidInfo info;
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < 128; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
  info.checksumOk = sum == 0;

  const unsigned id = (unsigned{bytes[8]} << 8) | bytes[9];
  for (int shift : {10, 5, 0}) {
    const unsigned letter = (id >> shift) & 0x1F;
    info.manufacturerId.push_back(letter >= 1 && letter <= 26 ? static_cast<char>('A' + letter - 1) : '?');
  }
  info.productCode = static_cast<std::uint16_t>(bytes[10] | (bytes[11] << 8));
  info.serialNumber = std::uint32_t{bytes[12]} | (std::uint32_t{bytes[13]} << 8) | (std::uint32_t{bytes[14]} << 16) |
                      (std::uint32_t{bytes[15]} << 24);
  if (bytes[17] != 0 && bytes[17] != 0xFF) info.manufactureYear = 1990 + bytes[17];
  info.version = bytes[18];
  info.revision = bytes[19];
  info.digital = (bytes[20] & 0x80) != 0;
  info.widthCm = bytes[21];
  info.heightCm = bytes[22];

  for (std::size_t offset = 54; offset + 18 <= 126; offset += 18) {
    const auto d = bytes.subspan(offset, 18);
    const unsigned clock = d[0] | (d[1] << 8);  // in 10 kHz
    if (clock != 0) {
      if (info.preferred) continue;
      const int hActive = d[2] | ((d[4] & 0xF0) << 4);
      const int hBlank = d[3] | ((d[4] & 0x0F) << 8);
      const int vActive = d[5] | ((d[7] & 0xF0) << 4);
      const int vBlank = d[6] | ((d[7] & 0x0F) << 8);
      EdidTiming t;
      t.width = hActive;
      t.height = vActive;
      const long long total = static_cast<long long>(hActive + hBlank) * (vActive + vBlank);
      if (total > 0) t.refreshHz = static_cast<int>((clock * 10000LL + total / 2) / total);
      info.preferred = t;
      continue;
    }
    if (d[2] != 0) continue;
    switch (d[3]) {
      case 0xFC: info.monitorName = DescriptorText(d); break;
      case 0xFF: info.serialText = DescriptorText(d); break;
      default: break;
    }
  }
  return info;
}

}  // namespace korvane
