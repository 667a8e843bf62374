#pragma once
// Decoding of a monitor's EDID block: the identity fields and the preferred timing.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace korvane {

struct EdidTiming {
  int width = 0;
  int height = 0;
  int refreshHz = 0;  // rounded
  friend bool operator==(const EdidTiming&, const EdidTiming&) = default;
};

struct EdidInfo {
  std::string manufacturerId;   // three letters, e.g. "DEL"
  std::uint16_t productCode = 0;
  std::uint32_t serialNumber = 0;
  std::string monitorName;      // display product name descriptor, trimmed; may be empty
  std::string serialText;       // display serial number descriptor
  int version = 0;
  int revision = 0;
  bool digital = false;
  int widthCm = 0;
  int heightCm = 0;
  int manufactureYear = 0;      // 0 when not given
  bool checksumOk = false;
  std::optional<EdidTiming> preferred;  // first detailed timing descriptor

  // "DEL40A3": the monitor's Plug and Play id.
  std::string PnpId() const;
};

// nullopt unless the bytes start with a whole 128-byte base block with the fixed header.
// A wrong checksum is reported in checksumOk, not rejected: many panels ship with one.
std::optional<EdidInfo> ParseEdid(std::span<const std::uint8_t> bytes);

}  // namespace korvane
