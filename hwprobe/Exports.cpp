// The library's binary interface: QueryInterface hands out the functions below by ID. Nothing
// but QueryInterface is visible outside the library, and no exception leaves it.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <new>

#include "HwProbe.h"
#include "QmHdwApi.h"
#include "TextUtil.h"
#include "platform/LibString.h"

using korvane::hwprobe::HardwareProbe;
using qmhdw::Instance;
using qmhdw::Text;

namespace {

HardwareProbe* Probe(Instance i) { return static_cast<HardwareProbe*>(i); }

// Runs f, turning a missing instance or any exception into the "unavailable" value.
template <typename R, typename F>
R Guard(Instance i, R unavailable, F&& f) {
  if (i == nullptr) return unavailable;
  try {
    return f(*Probe(i));
  } catch (...) {
    // Out of memory or a bug in a decoder: the caller sees "no value", never a crash.
    return unavailable;
  }
}

Text Str(const std::string& s) { return s.empty() ? nullptr : platform::LibStringAlloc(s); }

const korvane::hwprobe::Package* PackageOf(const korvane::hwprobe::CpuFacts& f, int p) {
  if (p < 0 || static_cast<std::size_t>(p) >= f.packages.size()) return nullptr;
  return &f.packages[static_cast<std::size_t>(p)];
}

const korvane::hwprobe::MemoryModule* ModuleOf(const korvane::hwprobe::MemoryFacts& m, int i) {
  if (i < 0 || static_cast<std::size_t>(i) >= m.modules.size()) return nullptr;
  return &m.modules[static_cast<std::size_t>(i)];
}

const korvane::hwprobe::HwmonSensor* SensorOf(const std::vector<korvane::hwprobe::HwmonChip>& chips, int d, int index,
                                             int cls) {
  if (d < 0 || static_cast<std::size_t>(d) >= chips.size() || index < 0) return nullptr;
  int n = 0;
  for (const auto& s : chips[static_cast<std::size_t>(d)].sensors)
    if (s.sensorClass == cls && n++ == index) return &s;
  return nullptr;
}

float Bus(const korvane::hwprobe::CpuFacts& f) {
  return f.modelInfo.busMHz > 0 ? static_cast<float>(f.modelInfo.busMHz) : -1.0f;
}

// --- lifecycle ---
Instance CreateInstance() { return new (std::nothrow) HardwareProbe(); }
void DestroyInstance(Instance i) { delete Probe(i); }
int Init(Instance i, const char*, const char*) {
  return Guard(i, 0, [](HardwareProbe& p) { return p.Init() ? 1 : 0; });
}
void Close(Instance i) { Guard(i, 0, [](HardwareProbe& p) { p.Close(); return 0; }); }
int RefreshSensors(Instance i) { return Guard(i, 0, [](HardwareProbe& p) { p.RefreshSensors(); return 1; }); }
int GetStartupInfo(Instance i, int* four) {
  return Guard(i, 0, [four](HardwareProbe& p) {
    if (four == nullptr) return 0;
    four[0] = static_cast<int>(p.Cpu().packages.size());
    four[1] = p.WithChips([](const auto& c) { return static_cast<int>(c.size()); });
    four[2] = static_cast<int>(p.Memory().modules.size());
    four[3] = 0;
    return 1;
  });
}

// --- processor ---
int RefreshProcessorClocks(Instance i) { return Guard(i, 0, [](HardwareProbe& p) { p.RefreshClocks(); return 1; }); }
int GetProcessorCount(Instance i) {
  return Guard(i, -1, [](HardwareProbe& p) {
    const auto n = p.Cpu().packages.size();
    return n == 0 ? -1 : static_cast<int>(n);
  });
}
int GetProcessorCoreCount(Instance i, int proc) {
  return Guard(i, -1, [proc](HardwareProbe& p) {
    auto f = p.Cpu();
    auto* pkg = PackageOf(f, proc);
    return pkg ? static_cast<int>(pkg->coreCpus.size()) : -1;
  });
}
int GetProcessorThreadCount(Instance i, int proc) {
  return Guard(i, -1, [proc](HardwareProbe& p) {
    auto f = p.Cpu();
    auto* pkg = PackageOf(f, proc);
    return pkg ? static_cast<int>(pkg->cpus.size()) : -1;
  });
}
template <typename Pick>
Text CpuText(Instance i, int proc, Pick pick) {
  return Guard(i, static_cast<Text>(nullptr), [&](HardwareProbe& p) -> Text {
    auto f = p.Cpu();
    if (!PackageOf(f, proc)) return nullptr;
    return Str(pick(f));
  });
}
Text GetProcessorName(Instance i, int proc) { return CpuText(i, proc, [](auto& f) { return f.name; }); }
Text GetProcessorCodeName(Instance i, int proc) { return CpuText(i, proc, [](auto& f) { return f.modelInfo.codeName; }); }
Text GetProcessorSpecification(Instance i, int proc) { return CpuText(i, proc, [](auto& f) { return f.brand; }); }
Text GetProcessorPackage(Instance i, int proc) { return CpuText(i, proc, [](auto& f) { return f.modelInfo.package; }); }
Text GetProcessorStepping(Instance i, int proc) {
  return CpuText(i, proc, [](auto& f) { return f.stepping >= 0 ? std::to_string(f.stepping) : std::string(); });
}
float GetProcessorManufacturingProcess(Instance i, int proc) {
  return Guard(i, -1.0f, [proc](HardwareProbe& p) {
    auto f = p.Cpu();
    if (!PackageOf(f, proc) || f.modelInfo.processNm <= 0) return -1.0f;
    return static_cast<float>(f.modelInfo.processNm / 1000.0);
  });
}
int IsProcessorInstructionSetAvailable(Instance i, int proc, int set) {
  return Guard(i, 0, [proc, set](HardwareProbe& p) {
    auto f = p.Cpu();
    if (!PackageOf(f, proc) || set < 0 || static_cast<std::size_t>(set) >= f.isa.size()) return 0;
    return f.isa[static_cast<std::size_t>(set)] ? 1 : 0;
  });
}
float GetProcessorCoreClockFrequency(Instance i, int proc, int core) {
  return Guard(i, -1.0f, [proc, core](HardwareProbe& p) {
    auto clocks = p.CoreClocks(proc);
    if (core < 0 || static_cast<std::size_t>(core) >= clocks.size()) return -1.0f;
    return static_cast<float>(clocks[static_cast<std::size_t>(core)]);
  });
}
float GetProcessorCoreClockMultiplier(Instance i, int proc, int core) {
  return Guard(i, -1.0f, [proc, core](HardwareProbe& p) {
    auto clocks = p.CoreClocks(proc);
    const float bus = Bus(p.Cpu());
    if (core < 0 || static_cast<std::size_t>(core) >= clocks.size() || bus <= 0) return -1.0f;
    const double clock = clocks[static_cast<std::size_t>(core)];
    if (clock <= 0) return -1.0f;
    // Multipliers come in halves at most; the kernel's clock is an average over a tick.
    return static_cast<float>(std::round(clock / bus * 2.0) / 2.0);
  });
}
float GetProcessorCoreVoltage(Instance i, int proc, int core) {
  return Guard(i, -1.0f, [proc, core](HardwareProbe& p) {
    if (!PackageOf(p.Cpu(), proc) || core < 0) return -1.0f;
    return p.CoreVoltage();
  });
}
float GetBusFrequency(Instance i) { return Guard(i, -1.0f, [](HardwareProbe& p) { return Bus(p.Cpu()); }); }
float GetProcessorRatedBusFrequency(Instance i, int proc) {
  return Guard(i, -1.0f, [proc](HardwareProbe& p) {
    auto f = p.Cpu();
    const float bus = Bus(f);
    if (!PackageOf(f, proc) || bus <= 0) return -1.0f;
    return f.modelInfo.quadPumpedBus ? bus * 4 : bus;
  });
}
int GetProcessorStockClockFrequency(Instance i, int proc) {
  return Guard(i, -1, [proc](HardwareProbe& p) {
    auto f = p.Cpu();
    return PackageOf(f, proc) && f.stockMHz > 0 ? f.stockMHz : -1;
  });
}
int GetProcessorStockBusFrequency(Instance i, int proc) {
  return Guard(i, -1, [proc](HardwareProbe& p) {
    auto f = p.Cpu();
    const float bus = Bus(f);
    return PackageOf(f, proc) && bus > 0 ? static_cast<int>(std::lround(bus)) : -1;
  });
}
int GetProcessorCacheLevelCount(Instance i, int proc) {
  return Guard(i, -1, [proc](HardwareProbe& p) {
    auto f = p.Cpu();
    auto* pkg = PackageOf(f, proc);
    if (!pkg) return -1;
    int levels = 0;
    for (const auto& c : pkg->caches) levels = std::max(levels, c.level);
    return levels > 0 ? levels : -1;
  });
}
void GetProcessorCacheParameters(Instance i, int proc, int level, int type, int* count, int* sizeKB) {
  Guard(i, 0, [=](HardwareProbe& p) {
    int c = 0, s = 0;
    auto f = p.Cpu();
    if (auto* pkg = PackageOf(f, proc))
      for (const auto& cache : pkg->caches)
        if (cache.level == level && cache.type == type) c = cache.count, s = cache.sizeKB;
    if (count) *count = c;
    if (sizeKB) *sizeKB = s;
    return 0;
  });
}
int GetProcessorExtendedValues(Instance i, int proc, int* first, int* second) {
  return Guard(i, 0, [=](HardwareProbe& p) {
    auto f = p.Cpu();
    if (!PackageOf(f, proc) || f.family < 0) return 0;
    if (first) *first = f.family;
    if (second) *second = f.model;
    return 1;
  });
}
std::uint32_t GetProcessorArchitectureCode(Instance i, int proc) {
  return Guard(i, 0u, [proc](HardwareProbe& p) -> std::uint32_t {
    auto f = p.Cpu();
    if (!PackageOf(f, proc)) return 0;
    switch (f.vendor) {
      case korvane::hwprobe::CpuVendor::Intel: return qmhdw::kArchIntel;
      case korvane::hwprobe::CpuVendor::Amd: return qmhdw::kArchAmd;
      case korvane::hwprobe::CpuVendor::Via:
      case korvane::hwprobe::CpuVendor::Zhaoxin: return qmhdw::kArchVia;
      default: return 0;
    }
  });
}

// --- memory ---
int GetMemoryType(Instance i) { return Guard(i, -1, [](HardwareProbe& p) { return p.Memory().typeCode; }); }
int GetMemorySize(Instance i) { return Guard(i, -1, [](HardwareProbe& p) { return p.Memory().totalMB; }); }
int GetMemoryChannelMode(Instance i) { return Guard(i, -1, [](HardwareProbe& p) { return p.Memory().channels; }); }
float GetMemoryClockFrequency(Instance i) {
  return Guard(i, -1.0f, [](HardwareProbe& p) { return static_cast<float>(p.Memory().clockMHz); });
}
template <typename Pick>
auto Timing(Instance i, Pick pick) {
  return Guard(i, -1, [&](HardwareProbe& p) {
    auto m = p.Memory();
    return m.timings ? pick(*m.timings) : -1;
  });
}
float GetMemoryCASLatency(Instance i) {
  return static_cast<float>(Timing(i, [](const korvane::hwprobe::SpdTimingEntry& t) { return t.cas; }));
}
int GetMemoryRASToCASDelay(Instance i) { return Timing(i, [](const auto& t) { return t.rcd; }); }
int GetMemoryRASPrecharge(Instance i) { return Timing(i, [](const auto& t) { return t.rp; }); }
int GetMemoryRASActive(Instance i) { return Timing(i, [](const auto& t) { return t.ras; }); }
int GetMemoryRowCycleTime(Instance i) { return Timing(i, [](const auto& t) { return t.rc; }); }
// The command rate lives in the memory controller's registers, which Linux does not expose.
int GetMemoryCommandRate(Instance) { return -1; }
void GetMemorySlotsLayout(Instance i, int* slots, int* populated, int* mask, int* arrays) {
  Guard(i, 0, [=](HardwareProbe& p) {
    auto m = p.Memory();
    if (slots) *slots = m.slotCount;
    if (populated) *populated = static_cast<int>(m.modules.size());
    if (mask) *mask = static_cast<int>(m.populatedMask);
    if (arrays) *arrays = m.arrays;
    return 0;
  });
}
int GetMemoryModuleCount(Instance i) {
  return Guard(i, 0, [](HardwareProbe& p) { return static_cast<int>(p.Memory().modules.size()); });
}
template <typename R, typename Pick>
R ModuleValue(Instance i, int mod, R unavailable, Pick pick) {
  return Guard(i, unavailable, [&](HardwareProbe& p) -> R {
    auto m = p.Memory();
    auto* module = ModuleOf(m, mod);
    return module ? pick(*module) : unavailable;
  });
}
int GetMemoryModuleType(Instance i, int m) { return ModuleValue(i, m, -1, [](auto& x) { return x.typeCode; }); }
int GetMemoryModuleSize(Instance i, int m) { return ModuleValue(i, m, -1, [](auto& x) { return x.sizeMB; }); }
int GetMemoryModuleMaxFrequency(Instance i, int m) { return ModuleValue(i, m, -1, [](auto& x) { return x.maxClockMHz; }); }
Text GetMemoryModuleManufacturer(Instance i, int m) {
  return ModuleValue(i, m, static_cast<Text>(nullptr), [](auto& x) { return Str(x.manufacturer); });
}
Text GetMemoryModulePartNumber(Instance i, int m) {
  return ModuleValue(i, m, static_cast<Text>(nullptr), [](auto& x) { return Str(x.partNumber); });
}
Text GetMemoryModuleSerialNumber(Instance i, int m) {
  return ModuleValue(i, m, static_cast<Text>(nullptr), [](auto& x) { return Str(x.serialNumber); });
}
template <typename Pick>
float MinTime(Instance i, int m, Pick pick) {
  return ModuleValue(i, m, -1.0f, [&](auto& x) { return x.spd ? static_cast<float>(pick(*x.spd)) : -1.0f; });
}
float GetMemoryModuleMinTime1(Instance i, int m) { return MinTime(i, m, [](auto& s) { return s.tAA; }); }
float GetMemoryModuleMinTime2(Instance i, int m) { return MinTime(i, m, [](auto& s) { return s.tRCD; }); }
float GetMemoryModuleMinTime3(Instance i, int m) { return MinTime(i, m, [](auto& s) { return s.tRP; }); }
float GetMemoryModuleMinTime4(Instance i, int m) { return MinTime(i, m, [](auto& s) { return s.tRAS; }); }
void GetMemoryModuleManufacturingDate(Instance i, int m, int* year, int* week) {
  ModuleValue(i, m, 0, [=](auto& x) {
    if (x.spd && x.spd->year > 0) {
      if (year) *year = x.spd->year;
      if (week) *week = x.spd->week;
    }
    return 0;
  });
}
int GetMemoryModuleExtraValue1(Instance i, int m) {
  return ModuleValue(i, m, -1, [](auto& x) { return x.spd && x.spd->ranks > 0 ? x.spd->ranks : -1; });
}
int GetMemoryModuleExtraValue2(Instance i, int m) {
  return ModuleValue(i, m, -1, [](auto& x) { return x.spd && x.spd->dataWidth > 0 ? x.spd->dataWidth : -1; });
}
int GetMemoryModuleTimingEntryCount(Instance i, int m) {
  return ModuleValue(i, m, -1, [](auto& x) {
    return x.spd ? static_cast<int>(korvane::hwprobe::BuildTimingTable(*x.spd).size()) : -1;
  });
}
void GetMemoryModuleTimingEntry(Instance i, int m, int entry, int* freq, std::int32_t* second, std::int32_t* third) {
  ModuleValue(i, m, 0, [=](auto& x) {
    if (!x.spd) return 0;
    auto table = korvane::hwprobe::BuildTimingTable(*x.spd);
    if (entry < 0 || static_cast<std::size_t>(entry) >= table.size()) {
      if (freq) *freq = -1;
      return 0;
    }
    const auto& e = table[static_cast<std::size_t>(entry)];
    if (freq) *freq = e.frequencyMHz;
    if (second) *second = e.cas;
    if (third) *third = qmhdw::PackTimings(e.rcd, e.rp, e.ras);
    return 0;
  });
}

// --- board ---
template <typename Pick>
Text BoardText(Instance i, Pick pick) {
  return Guard(i, static_cast<Text>(nullptr), [&](HardwareProbe& p) { return Str(pick(p.BoardIdentity())); });
}
template <typename Pick>
Text ChipsetText(Instance i, Pick pick) {
  return Guard(i, static_cast<Text>(nullptr), [&](HardwareProbe& p) { return Str(pick(p.Board())); });
}
Text GetNorthBridgeVendor(Instance i) { return ChipsetText(i, [](auto b) { return b.northVendor; }); }
Text GetNorthBridgeModel(Instance i) { return ChipsetText(i, [](auto b) { return b.northModel; }); }
Text GetNorthBridgeRevision(Instance i) { return ChipsetText(i, [](auto b) { return b.northRevision; }); }
Text GetSouthBridgeVendor(Instance i) { return ChipsetText(i, [](auto b) { return b.southVendor; }); }
Text GetSouthBridgeModel(Instance i) { return ChipsetText(i, [](auto b) { return b.southModel; }); }
Text GetBIOSVendor(Instance i) { return BoardText(i, [](auto b) { return b.biosVendor; }); }
Text GetBIOSVersion(Instance i) { return BoardText(i, [](auto b) { return b.biosVersion; }); }
Text GetBIOSDate(Instance i) { return BoardText(i, [](auto b) { return b.biosDate; }); }
Text GetMainboardVendor(Instance i) { return BoardText(i, [](auto b) { return b.boardVendor; }); }
Text GetMainboardModel(Instance i) { return BoardText(i, [](auto b) { return b.boardModel; }); }
Text GetMainboardExtraText1(Instance i) { return BoardText(i, [](auto b) { return b.boardVersion; }); }
Text GetMainboardExtraText2(Instance i) { return BoardText(i, [](auto b) { return b.boardSerial; }); }
Text GetMainboardExtraText3(Instance i) { return BoardText(i, [](auto b) { return b.systemVendor; }); }
Text GetMainboardExtraText4(Instance i) { return BoardText(i, [](auto b) { return b.systemProduct; }); }
Text GetMainboardExtraText5(Instance i) { return BoardText(i, [](auto b) { return b.systemVersion; }); }

// --- sensors ---
int GetNumberOfDevices(Instance i) {
  return Guard(i, -1, [](HardwareProbe& p) { return p.WithChips([](const auto& c) { return static_cast<int>(c.size()); }); });
}
Text GetDeviceName(Instance i, int d) {
  return Guard(i, static_cast<Text>(nullptr), [d](HardwareProbe& p) {
    return p.WithChips([d](const auto& c) -> Text {
      if (d < 0 || static_cast<std::size_t>(d) >= c.size()) return nullptr;
      return Str(c[static_cast<std::size_t>(d)].name);
    });
  });
}
int GetDeviceClass(Instance i, int d) {
  return Guard(i, -1, [d](HardwareProbe& p) {
    return p.WithChips([d](const auto& c) {
      return d < 0 || static_cast<std::size_t>(d) >= c.size() ? -1 : c[static_cast<std::size_t>(d)].kind;
    });
  });
}
int GetNumberOfSensors(Instance i, int d, int cls) {
  return Guard(i, -1, [d, cls](HardwareProbe& p) {
    return p.WithChips([d, cls](const auto& c) {
      if (d < 0 || static_cast<std::size_t>(d) >= c.size()) return -1;
      int n = 0;
      for (const auto& s : c[static_cast<std::size_t>(d)].sensors) n += s.sensorClass == cls ? 1 : 0;
      return n;
    });
  });
}
int GetSensorReading(Instance i, int d, int index, int cls, Text* name, int* raw, float* value, float* minimum,
                     float* maximum) {
  return Guard(i, 0, [=](HardwareProbe& p) {
    return p.WithChips([=](const auto& c) {
      const auto* s = SensorOf(c, d, index, cls);
      if (s == nullptr) return 0;
      if (!s->valid) {
        // No text is handed out with an invalid reading, so a caller that ignores the
        // outputs of a failed call leaks nothing.
        if (value) *value = qmhdw::kNoReading;
        return 0;
      }
      if (name) *name = Str(s->name);
      if (raw) *raw = static_cast<int>(std::clamp<long long>(s->raw, INT32_MIN, INT32_MAX));
      if (value) *value = s->value;
      if (minimum) *minimum = s->minimum;
      if (maximum) *maximum = s->maximum;
      return 1;
    });
  });
}

struct Entry {
  std::uint32_t id;
  void* fn;
};

#define QM_ENTRY(name) {qmhdw::k##name, reinterpret_cast<void*>(&name)}
const Entry kEntries[] = {
    QM_ENTRY(CreateInstance), QM_ENTRY(DestroyInstance), QM_ENTRY(Init), QM_ENTRY(Close), QM_ENTRY(RefreshSensors),
    QM_ENTRY(GetStartupInfo), QM_ENTRY(RefreshProcessorClocks), QM_ENTRY(GetProcessorCount),
    QM_ENTRY(GetProcessorCoreCount), QM_ENTRY(GetProcessorThreadCount), QM_ENTRY(GetProcessorName),
    QM_ENTRY(GetProcessorCodeName), QM_ENTRY(GetProcessorSpecification), QM_ENTRY(GetProcessorPackage),
    QM_ENTRY(GetProcessorStepping), QM_ENTRY(GetProcessorManufacturingProcess),
    QM_ENTRY(IsProcessorInstructionSetAvailable), QM_ENTRY(GetProcessorCoreClockFrequency),
    QM_ENTRY(GetProcessorCoreClockMultiplier), QM_ENTRY(GetProcessorCoreVoltage), QM_ENTRY(GetBusFrequency),
    QM_ENTRY(GetProcessorRatedBusFrequency), QM_ENTRY(GetProcessorStockClockFrequency),
    QM_ENTRY(GetProcessorStockBusFrequency), QM_ENTRY(GetProcessorCacheLevelCount),
    QM_ENTRY(GetProcessorCacheParameters), QM_ENTRY(GetProcessorExtendedValues),
    QM_ENTRY(GetProcessorArchitectureCode), QM_ENTRY(GetMemoryType), QM_ENTRY(GetMemorySize),
    QM_ENTRY(GetMemoryChannelMode), QM_ENTRY(GetMemoryClockFrequency), QM_ENTRY(GetMemoryCASLatency),
    QM_ENTRY(GetMemoryRASToCASDelay), QM_ENTRY(GetMemoryRASPrecharge), QM_ENTRY(GetMemoryRASActive),
    QM_ENTRY(GetMemoryRowCycleTime), QM_ENTRY(GetMemoryCommandRate), QM_ENTRY(GetMemorySlotsLayout),
    QM_ENTRY(GetNorthBridgeVendor), QM_ENTRY(GetNorthBridgeModel), QM_ENTRY(GetNorthBridgeRevision),
    QM_ENTRY(GetSouthBridgeVendor), QM_ENTRY(GetSouthBridgeModel), QM_ENTRY(GetBIOSVendor), QM_ENTRY(GetBIOSVersion),
    QM_ENTRY(GetBIOSDate), QM_ENTRY(GetMainboardVendor), QM_ENTRY(GetMainboardModel),
    QM_ENTRY(GetMainboardExtraText1), QM_ENTRY(GetMainboardExtraText2), QM_ENTRY(GetMainboardExtraText3),
    QM_ENTRY(GetMainboardExtraText4), QM_ENTRY(GetMainboardExtraText5), QM_ENTRY(GetNumberOfDevices),
    QM_ENTRY(GetDeviceName), QM_ENTRY(GetDeviceClass), QM_ENTRY(GetNumberOfSensors), QM_ENTRY(GetSensorReading),
    QM_ENTRY(GetMemoryModuleCount), QM_ENTRY(GetMemoryModuleType), QM_ENTRY(GetMemoryModuleSize),
    QM_ENTRY(GetMemoryModuleManufacturer), QM_ENTRY(GetMemoryModuleMaxFrequency), QM_ENTRY(GetMemoryModulePartNumber),
    QM_ENTRY(GetMemoryModuleSerialNumber), QM_ENTRY(GetMemoryModuleMinTime1), QM_ENTRY(GetMemoryModuleMinTime2),
    QM_ENTRY(GetMemoryModuleMinTime3), QM_ENTRY(GetMemoryModuleMinTime4), QM_ENTRY(GetMemoryModuleManufacturingDate),
    QM_ENTRY(GetMemoryModuleExtraValue1), QM_ENTRY(GetMemoryModuleExtraValue2),
    QM_ENTRY(GetMemoryModuleTimingEntryCount), QM_ENTRY(GetMemoryModuleTimingEntry),
};
#undef QM_ENTRY

}  // namespace

extern "C" __attribute__((visibility("default"))) void* QueryInterface(std::uint32_t id) {
  for (const Entry& e : kEntries)
    if (e.id == id) return e.fn;
  return nullptr;
}
