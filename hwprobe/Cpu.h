#pragma once
// Processor facts: identification from CPUID (or /proc/cpuinfo), topology, caches and clocks
// from /sys/devices/system/cpu.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "CpuModels.h"

namespace korvane::hwprobe {

struct CpuinfoEntry {
  int processor = -1;
  std::string vendor, modelName, flags;
  int family = -1, model = -1, stepping = -1;
  int physicalId = -1, coreId = -1;
  int siblings = -1, cpuCores = -1;  // threads and cores per package
  double mhz = 0;
};
std::vector<CpuinfoEntry> ParseCpuinfo(std::string_view text);

struct CacheInfo {
  int level = 0, type = 0;  // type: 1 data, 2 instruction, 3 unified
  int sizeKB = 0, ways = 0, lineSize = 0, count = 0;
};

struct Package {
  int id = 0;
  std::vector<int> cpus;      // logical processors, ascending
  std::vector<int> coreCpus;  // first logical processor of each core, in core order
  std::vector<CacheInfo> caches;
};

struct CpuFacts {
  CpuVendor vendor = CpuVendor::Unknown;
  std::string vendorId;
  std::string brand;  // full brand string, trimmed
  std::string name;   // short name
  int family = -1, model = -1, stepping = -1;
  std::uint32_t signature = 0;
  CpuModelInfo modelInfo;
  std::array<bool, 17> isa{};  // by instruction-set number
  std::vector<Package> packages;
  int stockMHz = -1;
  bool haveCpuid = false;
};

// "Intel(R) Core(TM) i7-6700K CPU @ 4.00GHz" -> "Intel Core i7-6700K".
std::string ShortProcessorName(std::string_view brand);
// "... @ 3.40GHz" -> 3400; -1 without a clock in the brand string.
int ClockFromBrand(std::string_view brand);
// A sysfs cache size ("32K", "8M") in KiB; 0 when it is not one or does not fit 32 bits.
int ParseCacheSizeKB(std::string_view size);
// Parses a processor list such as "0-3,8-11".
std::vector<int> ParseCpuList(std::string_view list);

// Reads everything that does not change while the program runs.
CpuFacts ProbeCpu();
// Current clock of a logical processor in MHz, -1 when unknown.
double ReadCpuClock(int cpu, const std::vector<CpuinfoEntry>& fallback);

}  // namespace korvane::hwprobe
