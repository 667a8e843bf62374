#pragma once
// The kernel's high-definition-audio codec listing (/proc/asound/cardN/codec#M).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

struct HdaCodecInfo {
  std::string name;              // "Realtek ALC887-VD"
  int address = -1;
  std::uint32_t vendorId = 0;    // 0x10ec0887
  std::uint32_t subsystemId = 0;
  std::uint32_t revisionId = 0;
  bool audioFunction = false;    // an audio function group (AFG)
  bool modemFunction = false;    // a modem function group (MFG)

  std::uint16_t VendorPart() const { return static_cast<std::uint16_t>(vendorId >> 16); }
  std::uint16_t DevicePart() const { return static_cast<std::uint16_t>(vendorId & 0xFFFF); }
  // The four hexadecimal digits Windows shows after REV_: the revision's upper 16 of its 24 bits.
  std::uint16_t RevisionPart() const { return static_cast<std::uint16_t>((revisionId >> 8) & 0xFFFF); }
};

// One codec file; a codec without "Codec:" or "Vendor Id:" is returned with valid false.
struct HdaCodecParse {
  bool valid = false;
  HdaCodecInfo codec;
};
HdaCodecParse ParseHdaCodec(std::string_view text);

// Every codec of a text that lists several (an ALSA information report), in order.
std::vector<HdaCodecInfo> ParseHdaCodecs(std::string_view text);

}  // namespace korvane
