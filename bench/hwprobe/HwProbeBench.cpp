// Times the hardware library the way the program drives it: load, create, Init plus the
// warm-up queries, then RefreshSensors many times. Usage: hwprobe_bench <qmhdwlib.so> [rounds]
// (set KORVANE_SYSROOT to time a recorded machine).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <time.h>

#include "QmHdwApi.h"
#include "platform/DynamicLibrary.h"
#include "platform/LibString.h"

namespace {
// CPU time of this thread: on a busy shared machine wall time includes waits for a core.
double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}
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
  // The chipset texts wait for the PCI names, which load beside Init; time refreshes after.
  platform::LibStringFree(reinterpret_cast<qmhdw::TextFn>(get(qmhdw::kGetNorthBridgeModel))(inst));
  const auto t2 = std::chrono::steady_clock::now();

  auto refresh = reinterpret_cast<qmhdw::IntFn>(get(qmhdw::kRefreshSensors));
  std::vector<double> times, cpu;
  for (int i = 0; i < rounds; ++i) {
    const auto a = std::chrono::steady_clock::now();
    const double c = ThreadCpuMs();
    refresh(inst);
    cpu.push_back(ThreadCpuMs() - c);
    times.push_back(Ms(a, std::chrono::steady_clock::now()));
  }
  std::sort(times.begin(), times.end());
  std::sort(cpu.begin(), cpu.end());
  std::printf("load+init+warm-up: %.2f ms (target < 100); PCI names ready %.2f ms later\n", Ms(t0, t1), Ms(t1, t2));
  std::printf("RefreshSensors over %d rounds: median %.3f ms, p99 %.3f ms, max %.3f ms (target < 5)\n", rounds,
              times[times.size() / 2], times[std::min(times.size() - 1, times.size() * 99 / 100)], times.back());
  std::printf("RefreshSensors thread CPU time: median %.3f ms, p99 %.3f ms, max %.3f ms\n", cpu[cpu.size() / 2],
              cpu[std::min(cpu.size() - 1, cpu.size() * 99 / 100)], cpu.back());
  reinterpret_cast<qmhdw::VoidFn>(get(qmhdw::kDestroyInstance))(inst);
  return 0;
}
