#pragma once
// Processor code names, packages, process technology and reference clocks by vendor, family,
// model and stepping: facts kept as a table.
#include <string>
#include <string_view>

namespace korvane::hwprobe {

enum class CpuVendor { Unknown, Intel, Amd, Hygon, Via, Zhaoxin };

struct CpuModelInfo {
  std::string codeName;
  std::string package;
  double processNm = 0;  // 0 = unknown
  double busMHz = 0;     // reference (bus) clock; 0 = not known from the model alone
  bool quadPumpedBus = false;  // front-side bus rated at four transfers per clock
};

// `family` and `model` are the display values (extended fields folded in). The brand string
// tells desktop, mobile and server parts of one die apart. Unknown models give an empty record.
CpuModelInfo LookupCpuModel(CpuVendor vendor, int family, int model, int stepping, std::string_view brand);

// True for brand strings of notebook parts ("i7-6700HQ", "Core 2 Duo T7500", "Ryzen 7 4800H").
bool IsMobileBrand(std::string_view brand);

}  // namespace korvane::hwprobe
