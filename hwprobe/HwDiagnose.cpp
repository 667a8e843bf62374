#include "HwDiagnose.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "QmHdwApi.h"
#include "platform/DynamicLibrary.h"
#include "platform/LibString.h"

namespace korvane {
namespace {

using nlohmann::ordered_json;

struct Lib {
  qmhdw::QueryInterfaceFn query = nullptr;
  qmhdw::Instance instance = nullptr;
  template <typename Fn>
  Fn Get(std::uint32_t id) const {
    return reinterpret_cast<Fn>(query(id));
  }
};

ordered_json TextValue(char* t) {
  if (t == nullptr) return nullptr;
  ordered_json v = std::string(t);
  platform::LibStringFree(t);
  return v;
}

// Floats rounded to three places, so dumps of recorded machines compare exactly.
ordered_json FloatValue(float f) {
  if (!std::isfinite(f)) return nullptr;
  return std::round(static_cast<double>(f) * 1000.0) / 1000.0;
}

std::string Call(const char* name, std::initializer_list<int> args) {
  std::string s = std::string(name) + "(";
  bool first = true;
  for (int a : args) {
    if (!first) s += ",";
    s += std::to_string(a);
    first = false;
  }
  return s + ")";
}

void Processor(const Lib& l, ordered_json& out) {
  auto I = l.instance;
  if (auto f = l.Get<qmhdw::IntFn>(qmhdw::kRefreshProcessorClocks)) f(I);
  int count = -1;
  if (auto f = l.Get<qmhdw::IntFn>(qmhdw::kGetProcessorCount)) out["GetProcessorCount()"] = count = f(I);
  for (int p = 0; p < std::min(count, 8); ++p) {
    if (auto f = l.Get<qmhdw::IntOfIntFn>(qmhdw::kGetProcessorCoreCount)) out[Call("GetProcessorCoreCount", {p})] = f(I, p);
    if (auto f = l.Get<qmhdw::IntOfIntFn>(qmhdw::kGetProcessorThreadCount)) out[Call("GetProcessorThreadCount", {p})] = f(I, p);
    const std::pair<const char*, std::uint32_t> texts[] = {
        {"GetProcessorName", qmhdw::kGetProcessorName}, {"GetProcessorCodeName", qmhdw::kGetProcessorCodeName},
        {"GetProcessorSpecification", qmhdw::kGetProcessorSpecification},
        {"GetProcessorPackage", qmhdw::kGetProcessorPackage}, {"GetProcessorStepping", qmhdw::kGetProcessorStepping}};
    for (auto [name, id] : texts)
      if (auto f = l.Get<qmhdw::TextOfIntFn>(id)) out[Call(name, {p})] = TextValue(f(I, p));
    if (auto f = l.Get<qmhdw::FloatOfIntFn>(qmhdw::kGetProcessorManufacturingProcess))
      out[Call("GetProcessorManufacturingProcess", {p})] = FloatValue(f(I, p));
    if (auto f = l.Get<qmhdw::IntOfIntIntFn>(qmhdw::kIsProcessorInstructionSetAvailable))
      for (int set : {1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 13, 14, 16})
        out[Call("IsProcessorInstructionSetAvailable", {p, set})] = f(I, p, set);
    const std::pair<const char*, std::uint32_t> perCore[] = {
        {"GetProcessorCoreClockFrequency", qmhdw::kGetProcessorCoreClockFrequency},
        {"GetProcessorCoreClockMultiplier", qmhdw::kGetProcessorCoreClockMultiplier},
        {"GetProcessorCoreVoltage", qmhdw::kGetProcessorCoreVoltage}};
    for (auto [name, id] : perCore)
      if (auto f = l.Get<qmhdw::FloatOfIntIntFn>(id)) out[Call(name, {p, 0})] = FloatValue(f(I, p, 0));
    if (auto f = l.Get<qmhdw::FloatFn>(qmhdw::kGetBusFrequency)) out["GetBusFrequency()"] = FloatValue(f(I));
    if (auto f = l.Get<qmhdw::FloatOfIntFn>(qmhdw::kGetProcessorRatedBusFrequency))
      out[Call("GetProcessorRatedBusFrequency", {p})] = FloatValue(f(I, p));
    if (auto f = l.Get<qmhdw::IntOfIntFn>(qmhdw::kGetProcessorStockClockFrequency))
      out[Call("GetProcessorStockClockFrequency", {p})] = f(I, p);
    if (auto f = l.Get<qmhdw::IntOfIntFn>(qmhdw::kGetProcessorStockBusFrequency))
      out[Call("GetProcessorStockBusFrequency", {p})] = f(I, p);
    if (auto f = l.Get<qmhdw::IntOfIntFn>(qmhdw::kGetProcessorCacheLevelCount))
      out[Call("GetProcessorCacheLevelCount", {p})] = f(I, p);
    if (auto f = l.Get<qmhdw::CacheParametersFn>(qmhdw::kGetProcessorCacheParameters))
      for (auto [level, type] : {std::pair{1, 1}, {1, 2}, {1, 4}, {2, 3}, {3, 3}}) {
        int c = 0, s = 0;
        f(I, p, level, type, &c, &s);
        out[Call("GetProcessorCacheParameters", {p, level, type})] = {{"count", c}, {"sizeKB", s}};
      }
    if (auto f = l.Get<qmhdw::ExtendedValuesFn>(qmhdw::kGetProcessorExtendedValues)) {
      int a = 0, b = 0;
      const int ok = f(I, p, &a, &b);
      out[Call("GetProcessorExtendedValues", {p})] = {{"result", ok}, {"first", a}, {"second", b}};
    }
    if (auto f = l.Get<qmhdw::ArchitectureCodeFn>(qmhdw::kGetProcessorArchitectureCode))
      out[Call("GetProcessorArchitectureCode", {p})] = f(I, p);
  }
}

void Memory(const Lib& l, ordered_json& out) {
  auto I = l.instance;
  if (auto f = l.Get<qmhdw::IntFn>(qmhdw::kGetMemoryType)) out["GetMemoryType()"] = f(I);
  if (auto f = l.Get<qmhdw::IntFn>(qmhdw::kGetMemorySize)) out["GetMemorySize()"] = f(I);
  if (auto f = l.Get<qmhdw::IntFn>(qmhdw::kGetMemoryChannelMode)) out["GetMemoryChannelMode()"] = f(I);
  if (auto f = l.Get<qmhdw::FloatFn>(qmhdw::kGetMemoryClockFrequency)) out["GetMemoryClockFrequency()"] = FloatValue(f(I));
  if (auto f = l.Get<qmhdw::FloatFn>(qmhdw::kGetMemoryCASLatency)) out["GetMemoryCASLatency()"] = FloatValue(f(I));
  const std::pair<const char*, std::uint32_t> ints[] = {
      {"GetMemoryRASToCASDelay()", qmhdw::kGetMemoryRASToCASDelay}, {"GetMemoryRASPrecharge()", qmhdw::kGetMemoryRASPrecharge},
      {"GetMemoryRASActive()", qmhdw::kGetMemoryRASActive}, {"GetMemoryRowCycleTime()", qmhdw::kGetMemoryRowCycleTime},
      {"GetMemoryCommandRate()", qmhdw::kGetMemoryCommandRate}};
  for (auto [name, id] : ints)
    if (auto f = l.Get<qmhdw::IntFn>(id)) out[name] = f(I);
  if (auto f = l.Get<qmhdw::SlotsLayoutFn>(qmhdw::kGetMemorySlotsLayout)) {
    int a = 0, b = 0, c = 0, d = 0;
    f(I, &a, &b, &c, &d);
    out["GetMemorySlotsLayout()"] = {{"slotCount", a}, {"second", b}, {"populatedMask", c}, {"fourth", d}};
  }
  int count = 0;
  if (auto f = l.Get<qmhdw::IntFn>(qmhdw::kGetMemoryModuleCount)) out["GetMemoryModuleCount()"] = count = f(I);
  for (int m = 0; m < std::min(count, 32); ++m) {
    if (auto f = l.Get<qmhdw::IntOfIntFn>(qmhdw::kGetMemoryModuleType)) out[Call("GetMemoryModuleType", {m})] = f(I, m);
    if (auto f = l.Get<qmhdw::IntOfIntFn>(qmhdw::kGetMemoryModuleSize)) out[Call("GetMemoryModuleSize", {m})] = f(I, m);
    const std::pair<const char*, std::uint32_t> texts[] = {
        {"GetMemoryModuleManufacturer", qmhdw::kGetMemoryModuleManufacturer},
        {"GetMemoryModulePartNumber", qmhdw::kGetMemoryModulePartNumber},
        {"GetMemoryModuleSerialNumber", qmhdw::kGetMemoryModuleSerialNumber}};
    for (auto [name, id] : texts)
      if (auto f = l.Get<qmhdw::TextOfIntFn>(id)) out[Call(name, {m})] = TextValue(f(I, m));
    if (auto f = l.Get<qmhdw::IntOfIntFn>(qmhdw::kGetMemoryModuleMaxFrequency))
      out[Call("GetMemoryModuleMaxFrequency", {m})] = f(I, m);
    ordered_json times = ordered_json::array();
    for (std::uint32_t id : {qmhdw::kGetMemoryModuleMinTime1, qmhdw::kGetMemoryModuleMinTime2,
                             qmhdw::kGetMemoryModuleMinTime3, qmhdw::kGetMemoryModuleMinTime4})
      if (auto f = l.Get<qmhdw::FloatOfIntFn>(id)) times.push_back(FloatValue(f(I, m)));
    out[Call("GetMemoryModuleMinTimes", {m})] = times;
    if (auto f = l.Get<qmhdw::ManufacturingDateFn>(qmhdw::kGetMemoryModuleManufacturingDate)) {
      int y = -1, w = -1;
      f(I, m, &y, &w);
      out[Call("GetMemoryModuleManufacturingDate", {m})] = {{"first", y}, {"second", w}};
    }
    if (auto f = l.Get<qmhdw::IntOfIntFn>(qmhdw::kGetMemoryModuleExtraValue1)) out[Call("GetMemoryModuleExtraValue1", {m})] = f(I, m);
    if (auto f = l.Get<qmhdw::IntOfIntFn>(qmhdw::kGetMemoryModuleExtraValue2)) out[Call("GetMemoryModuleExtraValue2", {m})] = f(I, m);
    int entries = -1;
    if (auto f = l.Get<qmhdw::IntOfIntFn>(qmhdw::kGetMemoryModuleTimingEntryCount))
      out[Call("GetMemoryModuleTimingEntryCount", {m})] = entries = f(I, m);
    if (auto f = l.Get<qmhdw::TimingEntryFn>(qmhdw::kGetMemoryModuleTimingEntry))
      for (int e = 0; e < std::min(entries, 32); ++e) {
        int freq = -1;
        std::int32_t cas = 0, packed = 0;
        f(I, m, e, &freq, &cas, &packed);
        out[Call("GetMemoryModuleTimingEntry", {m, e})] = {
            {"frequencyMHz", freq}, {"cas", cas}, {"rcd", packed & 0xFF}, {"rp", (packed >> 8) & 0xFF},
            {"ras", (packed >> 16) & 0xFF}};
      }
  }
}

void Board(const Lib& l, ordered_json& out) {
  const std::pair<const char*, std::uint32_t> texts[] = {
      {"GetNorthBridgeVendor()", qmhdw::kGetNorthBridgeVendor}, {"GetNorthBridgeModel()", qmhdw::kGetNorthBridgeModel},
      {"GetNorthBridgeRevision()", qmhdw::kGetNorthBridgeRevision}, {"GetSouthBridgeVendor()", qmhdw::kGetSouthBridgeVendor},
      {"GetSouthBridgeModel()", qmhdw::kGetSouthBridgeModel}, {"GetBIOSVendor()", qmhdw::kGetBIOSVendor},
      {"GetBIOSVersion()", qmhdw::kGetBIOSVersion}, {"GetBIOSDate()", qmhdw::kGetBIOSDate},
      {"GetMainboardVendor()", qmhdw::kGetMainboardVendor}, {"GetMainboardModel()", qmhdw::kGetMainboardModel},
      {"GetMainboardExtraText1()", qmhdw::kGetMainboardExtraText1}, {"GetMainboardExtraText2()", qmhdw::kGetMainboardExtraText2},
      {"GetMainboardExtraText3()", qmhdw::kGetMainboardExtraText3}, {"GetMainboardExtraText4()", qmhdw::kGetMainboardExtraText4},
      {"GetMainboardExtraText5()", qmhdw::kGetMainboardExtraText5}};
  for (auto [name, id] : texts)
    if (auto f = l.Get<qmhdw::TextFn>(id)) out[name] = TextValue(f(l.instance));
}

void Sensors(const Lib& l, ordered_json& out) {
  auto I = l.instance;
  if (auto f = l.Get<qmhdw::IntFn>(qmhdw::kRefreshSensors)) f(I);
  int devices = -1;
  if (auto f = l.Get<qmhdw::IntFn>(qmhdw::kGetNumberOfDevices)) out["GetNumberOfDevices()"] = devices = f(I);
  auto countFn = l.Get<qmhdw::IntOfIntIntFn>(qmhdw::kGetNumberOfSensors);
  auto readFn = l.Get<qmhdw::SensorReadingFn>(qmhdw::kGetSensorReading);
  for (int d = 0; d < std::min(devices, 64); ++d) {
    ordered_json dev;
    if (auto f = l.Get<qmhdw::TextOfIntFn>(qmhdw::kGetDeviceName)) dev["GetDeviceName"] = TextValue(f(I, d));
    if (auto f = l.Get<qmhdw::IntOfIntFn>(qmhdw::kGetDeviceClass)) dev["GetDeviceClass"] = f(I, d);
    for (int cls : {qmhdw::kSensorVoltage, qmhdw::kSensorTemperature, qmhdw::kSensorFan, qmhdw::kSensorFanPwm}) {
      if (!countFn) break;
      const int n = countFn(I, d, cls);
      char key[48];
      std::snprintf(key, sizeof key, "GetNumberOfSensors(%d,0x%X)", d, cls);
      dev[key] = n;
      for (int s = 0; s < std::min(n, 64) && readFn; ++s) {
        char* name = nullptr;
        int raw = 0;
        float value = 0, lo = 0, hi = 0;
        const int ok = readFn(I, d, s, cls, &name, &raw, &value, &lo, &hi);
        std::snprintf(key, sizeof key, "GetSensorReading(%d,%d,0x%X)", d, s, cls);
        dev[key] = {{"result", ok}, {"name", TextValue(name)}, {"value", ok ? FloatValue(value) : ordered_json(nullptr)}};
      }
    }
    out["device " + std::to_string(d)] = dev;
  }
}

}  // namespace

ordered_json DiagnoseHardwareLibrary(const char* libraryPath) {
  ordered_json out;
  out["library"] = libraryPath != nullptr ? libraryPath : "";
  platform::DynamicLibrary library;
  if (libraryPath == nullptr || !library.Load(libraryPath)) {
    out["error"] = "cannot load the hardware library: " + library.LastError();
    return out;
  }
  Lib l;
  l.query = reinterpret_cast<qmhdw::QueryInterfaceFn>(library.Resolve("QueryInterface"));
  if (l.query == nullptr) {
    out["error"] = "the hardware library has no QueryInterface";
    return out;
  }
  auto create = l.Get<qmhdw::CreateInstanceFn>(qmhdw::kCreateInstance);
  auto init = l.Get<qmhdw::InitFn>(qmhdw::kInit);
  if (create == nullptr || init == nullptr || (l.instance = create()) == nullptr) {
    out["error"] = "the hardware library cannot create an instance";
    return out;
  }
  const int ok = init(l.instance, "", libraryPath);
  out["Init"] = ok;
  if (ok != 0) {
    Processor(l, out);
    Memory(l, out);
    Board(l, out);
    Sensors(l, out);
  }
  if (auto f = l.Get<qmhdw::VoidFn>(qmhdw::kClose)) f(l.instance);
  if (auto f = l.Get<qmhdw::VoidFn>(qmhdw::kDestroyInstance)) f(l.instance);
  return out;
}

}  // namespace korvane
