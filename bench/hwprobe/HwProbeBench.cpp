// Times the hardware library the way the program drives it: load, create, Init plus the
// warm-up queries, then RefreshSensors many times. Usage: hwprobe_bench <qmhdwlib.so> [rounds]
// (set KORVANE_SYSROOT to time a recorded machine).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "QmHdwApi.h"
#include "platform/DynamicLibrary.h"
#include "platform/LibString.h"

namespace {
double Ms(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <qmhdwlib.so> [rounds]\n", argv[0]);
    return 2;
  }
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
  const auto t0 = std::chrono::steady_clock::now();
  platform::DynamicLibrary lib;
  if (!lib.Load(argv[1])) {
    std::fprintf(stderr, "cannot load %s: %s\n", argv[1], lib.LastError().c_str());
    return 1;
  }
  auto query = reinterpret_cast<qmhdw::QueryInterfaceFn>(lib.Resolve("QueryInterface"));
  if (query == nullptr) return 1;
  auto get = [&](std::uint32_t id) { return query(id); };
  auto create = reinterpret_cast<qmhdw::CreateInstanceFn>(get(qmhdw::kCreateInstance));
  auto init = reinterpret_cast<qmhdw::InitFn>(get(qmhdw::kInit));
  qmhdw::Instance inst = create();
  if (init(inst, "", argv[1]) == 0) return 1;
  // The program's warm-up: memory summary, every module, board texts.
  reinterpret_cast<qmhdw::IntFn>(get(qmhdw::kGetMemoryType))(inst);
  reinterpret_cast<qmhdw::IntFn>(get(qmhdw::kGetMemorySize))(inst);
  reinterpret_cast<qmhdw::FloatFn>(get(qmhdw::kGetMemoryClockFrequency))(inst);
  const int modules = reinterpret_cast<qmhdw::IntFn>(get(qmhdw::kGetMemoryModuleCount))(inst);
  for (int m = 0; m < modules; ++m) {
    platform::LibStringFree(reinterpret_cast<qmhdw::TextOfIntFn>(get(qmhdw::kGetMemoryModulePartNumber))(inst, m));
    const int n = reinterpret_cast<qmhdw::IntOfIntFn>(get(qmhdw::kGetMemoryModuleTimingEntryCount))(inst, m);
    for (int e = 0; e < n; ++e) {
      int f = 0;
      std::int32_t a = 0, b = 0;
      reinterpret_cast<qmhdw::TimingEntryFn>(get(qmhdw::kGetMemoryModuleTimingEntry))(inst, m, e, &f, &a, &b);
    }
  }
  for (std::uint32_t id : {qmhdw::kGetMainboardVendor, qmhdw::kGetMainboardModel, qmhdw::kGetMainboardExtraText1})
    platform::LibStringFree(reinterpret_cast<qmhdw::TextFn>(get(id))(inst));
  const auto t1 = std::chrono::steady_clock::now();

  auto refresh = reinterpret_cast<qmhdw::IntFn>(get(qmhdw::kRefreshSensors));
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    const auto a = std::chrono::steady_clock::now();
    refresh(inst);
    times.push_back(Ms(a, std::chrono::steady_clock::now()));
  }
  std::sort(times.begin(), times.end());
  std::printf("load+init+warm-up: %.2f ms (target < 100)\n", Ms(t0, t1));
  std::printf("RefreshSensors over %d rounds: median %.3f ms, p99 %.3f ms, max %.3f ms (target < 5)\n", rounds,
              times[times.size() / 2], times[std::min(times.size() - 1, times.size() * 99 / 100)], times.back());
  reinterpret_cast<qmhdw::VoidFn>(get(qmhdw::kDestroyInstance))(inst);
  return 0;
}
