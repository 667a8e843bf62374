// A small library with the hardware library's entry point, built once per start-up path the
// program must handle. It records the calls it receives so tests can check order and count.
#include <cstring>
#include <stdexcept>
#include <string>

#include "hwprobe/QmHdwApi.h"
#include "platform/LibString.h"

using namespace qmhdw;

namespace {
std::string g_log;
int g_instanceToken = 42;

void Log(const char* what) {
  g_log += what;
  g_log += ';';
}

Instance Create() {
  Log("create");
  return &g_instanceToken;
}
void Destroy(Instance) { Log("destroy"); }
int Init(Instance inst, const char* a, const char* b) {
  Log("init");
  if (inst != &g_instanceToken || a == nullptr || b == nullptr || a[0] != '\0') return 0;
#if defined(FAKE_MODE_THROWS)
  throw std::runtime_error("probe failed");
#elif defined(FAKE_MODE_INIT_ZERO)
  return 0;
#else
  return std::strstr(b, "qmhdwlib") != nullptr ? 1 : 0;
#endif
}
void Close(Instance) { Log("close"); }
void Refresh(Instance) { Log("refresh"); }
int StartupInfo(Instance, int* four) {
  Log(four[0] == 0 && four[3] == 0 ? "startup" : "startup-dirty");
  return 0;
}
int MemType(Instance) {
  Log("memtype");
  return 10;
}
int ModuleCount(Instance) { return 2; }
int EntryCount(Instance, int) { return 3; }
void TimingEntry(Instance, int module, int entry, int* f, std::int32_t*, std::int32_t*) {
  g_log += "entry" + std::to_string(module) + "." + std::to_string(entry) + ";";
  *f = entry == 1 ? -1 : 1200;
}
float MinTime(Instance, int) { return 13.75f; }
Text BoardVendor(Instance) {
  Log("board");
  return platform::LibStringAlloc("ASUSTeK COMPUTER INC.");
}
}  // namespace

extern "C" __attribute__((visibility("default"))) const char* FakeCallLog() {
  return g_log.c_str();
}

// Without the entry point the library exports the same table under another name, as a
// library of the wrong kind would.
#if defined(FAKE_MODE_NO_ENTRY)
#define KV_ENTRY_NAME NotTheEntryPoint
#else
#define KV_ENTRY_NAME QueryInterface
#endif
extern "C" __attribute__((visibility("default"))) void* KV_ENTRY_NAME(std::uint32_t id) {
  switch (id) {
    case kCreateInstance:
      return reinterpret_cast<void*>(&Create);
    case kDestroyInstance:
      return reinterpret_cast<void*>(&Destroy);
    case kInit:
      return reinterpret_cast<void*>(&Init);
    case kClose:
      return reinterpret_cast<void*>(&Close);
    case kRefreshSensors:
      return reinterpret_cast<void*>(&Refresh);
    case kGetStartupInfo:
      return reinterpret_cast<void*>(&StartupInfo);
    case kGetMemoryType:
      return reinterpret_cast<void*>(&MemType);
    case kGetMemoryModuleCount:
      return reinterpret_cast<void*>(&ModuleCount);
    case kGetMemoryModuleTimingEntryCount:
      return reinterpret_cast<void*>(&EntryCount);
    case kGetMemoryModuleTimingEntry:
      return reinterpret_cast<void*>(&TimingEntry);
    case kGetMemoryModuleMinTime1:
    case kGetMemoryModuleMinTime4:
      return reinterpret_cast<void*>(&MinTime);
    case kGetMainboardVendor:
      return reinterpret_cast<void*>(&BoardVendor);
    default:
      return nullptr;
  }
}
