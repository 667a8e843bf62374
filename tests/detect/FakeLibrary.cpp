#include "FakeLibrary.h"

#include "platform/LibString.h"

namespace fakelib {
namespace {

Table g_table;
int g_token = 1;

Processor& P(int p) {
  auto& v = g_table.processors;
  if (p >= 0 && static_cast<std::size_t>(p) < v.size()) return v[static_cast<std::size_t>(p)];
  return v.back();
}

qmhdw::Text Text(const std::optional<std::string>& t) {
  return t ? platform::LibStringAlloc(*t) : nullptr;
}

qmhdw::Instance Create() { return &g_token; }
void Nothing(qmhdw::Instance) {}
void RefreshClocks(qmhdw::Instance) { ++g_table.refreshClockCalls; }
int Count(qmhdw::Instance) { return g_table.processorCount; }
int Cores(qmhdw::Instance, int p) { return P(p).coreCount; }
int Threads(qmhdw::Instance, int p) { return P(p).threadCount; }
qmhdw::Text Name(qmhdw::Instance, int p) {
  g_table.processorsAsked.push_back(p);
  return Text(P(p).name);
}
qmhdw::Text CodeName(qmhdw::Instance, int p) { return Text(P(p).codeName); }
qmhdw::Text Spec(qmhdw::Instance, int p) { return Text(P(p).brandString); }
qmhdw::Text Package(qmhdw::Instance, int p) { return Text(P(p).package); }
qmhdw::Text Stepping(qmhdw::Instance, int p) { return Text(P(p).stepping); }
float Process(qmhdw::Instance, int p) { return P(p).process; }
int HasSet(qmhdw::Instance, int p, int set) { return P(p).sets.count(set) ? 1 : 0; }
float CoreClock(qmhdw::Instance, int p, int) { return P(p).coreClock; }
float Multiplier(qmhdw::Instance, int p, int) { return P(p).multiplier; }
float Voltage(qmhdw::Instance, int p, int) { return P(p).coreVoltage; }
float Bus(qmhdw::Instance) { return g_table.busFrequency; }
float RatedBus(qmhdw::Instance, int p) { return P(p).ratedBus; }
int Stock(qmhdw::Instance, int p) { return P(p).stockClock; }
int StockBus(qmhdw::Instance, int p) { return P(p).stockBus; }
int Levels(qmhdw::Instance, int p) { return P(p).cacheLevels; }
void CacheParams(qmhdw::Instance, int p, int level, int type, int* count, int* size) {
  ++g_table.cacheParameterCalls;
  auto it = P(p).caches.find({level, type});
  *count = it == P(p).caches.end() ? 0 : it->second.first;
  *size = it == P(p).caches.end() ? 0 : it->second.second;
}
int Extended(qmhdw::Instance, int, int* a, int* b) {
  *a = 1;
  *b = 2;
  return 1;
}
unsigned Arch(qmhdw::Instance, int p) { return P(p).architecture; }

template <typename F>
void* Fn(F f) {
  return reinterpret_cast<void*>(f);
}

void* Query(std::uint32_t id) {
  if (g_table.absent.count(id)) return nullptr;
  switch (id) {
    case qmhdw::kCreateInstance:
      return Fn(&Create);
    case qmhdw::kDestroyInstance:
      return Fn(&Nothing);
    case qmhdw::kRefreshProcessorClocks:
      return Fn(&RefreshClocks);
    case qmhdw::kGetProcessorCount:
      return Fn(&Count);
    case qmhdw::kGetProcessorCoreCount:
      return Fn(&Cores);
    case qmhdw::kGetProcessorThreadCount:
      return Fn(&Threads);
    case qmhdw::kGetProcessorName:
      return Fn(&Name);
    case qmhdw::kGetProcessorCodeName:
      return Fn(&CodeName);
    case qmhdw::kGetProcessorSpecification:
      return Fn(&Spec);
    case qmhdw::kGetProcessorPackage:
      return Fn(&Package);
    case qmhdw::kGetProcessorStepping:
      return Fn(&Stepping);
    case qmhdw::kGetProcessorManufacturingProcess:
      return Fn(&Process);
    case qmhdw::kIsProcessorInstructionSetAvailable:
      return Fn(&HasSet);
    case qmhdw::kGetProcessorCoreClockFrequency:
      return Fn(&CoreClock);
    case qmhdw::kGetProcessorCoreClockMultiplier:
      return Fn(&Multiplier);
    case qmhdw::kGetProcessorCoreVoltage:
      return Fn(&Voltage);
    case qmhdw::kGetBusFrequency:
      return Fn(&Bus);
    case qmhdw::kGetProcessorRatedBusFrequency:
      return Fn(&RatedBus);
    case qmhdw::kGetProcessorStockClockFrequency:
      return Fn(&Stock);
    case qmhdw::kGetProcessorStockBusFrequency:
      return Fn(&StockBus);
    case qmhdw::kGetProcessorCacheLevelCount:
      return Fn(&Levels);
    case qmhdw::kGetProcessorCacheParameters:
      return Fn(&CacheParams);
    case qmhdw::kGetProcessorExtendedValues:
      return Fn(&Extended);
    case qmhdw::kGetProcessorArchitectureCode:
      return Fn(&Arch);
    default:
      return nullptr;
  }
}

}  // namespace

Table& State() { return g_table; }
void Reset() { g_table = Table{}; }

std::unique_ptr<korvane::CPUIDSDK> MakeSdk() {
  auto sdk = std::make_unique<korvane::CPUIDSDK>();
  sdk->Bind(&Query);
  sdk->CreateInstance();
  return sdk;
}

}  // namespace fakelib
