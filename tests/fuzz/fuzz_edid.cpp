// Any byte string handed to the EDID decoder must decode or be refused without a fault, and
// the texts it produces stay printable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "sysinfo/Edid.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto edid = korvane::ParseEdid(std::span<const std::uint8_t>(data, size));
  if (!edid) return 0;
  if (edid->manufacturerId.size() != 3) std::abort();
  for (const std::string* text : {&edid->monitorName, &edid->serialText}) {
    if (text->size() > 13) std::abort();
    for (const char c : *text) {
      if (c < 0x20 || c >= 0x7F) std::abort();
    }
  }
  if (edid->PnpId().size() != 7) std::abort();
  return 0;
}
