// The text parsers of the machine's files (codec listings, the sound card list, PCI resources,
// cpuinfo, ATA IDENTIFY dumps, kernel version texts, usb.ids) must survive any input. The first
// byte picks the parser so one corpus covers them all.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "sysinfo/HdaCodec.h"
#include "sysinfo/LinuxHardware.h"
#include "sysinfo/UsbIds.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 8) {
    case 0: {
      const auto one = korvane::ParseHdaCodec(text);
      const auto all = korvane::ParseHdaCodecs(text);
      // A codec the single-codec reader accepts is the first the report reader finds.
      if (one.valid && (all.empty() || all.front().vendorId != one.codec.vendorId)) std::abort();
      break;
    }
    case 1: {
      for (const auto& card : korvane::ParseAsoundCards(text)) {
        if (card.index < 0 || card.index >= 1000) std::abort();
      }
      break;
    }
    case 2: {
      const auto bars = korvane::ParsePciResource(text);
      if (bars.size() > 6) std::abort();
      for (const auto& bar : bars) {
        if (bar.size != 0 && bar.start + (bar.size - 1) < bar.start) std::abort();
      }
      break;
    }
    case 3: (void)korvane::ParseCpuinfo(text); break;
    case 4: {
      if (const auto id = korvane::ParseAtaIdentify(text)) {
        if (id->model.size() > 40 || id->serial.size() > 20 || id->firmware.size() > 8) std::abort();
      }
      break;
    }
    case 5: {
      const std::string date = korvane::KernelBuildDate(text);
      if (!date.empty() && date.size() != 8) std::abort();
      break;
    }
    case 6: (void)korvane::UsbIds::Parse(text); break;
    default: {
      (void)korvane::ParseDrmModes(text);
      (void)korvane::PciAddressInPath(text);
      break;
    }
  }
  return 0;
}
