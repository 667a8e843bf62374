#include "bench/MemBench.h"

#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "bench/CpuBench.h"
#include "bench/Elapsed.h"
#include "bench/MemCopy.h"
#include "platform/Clock.h"
#include "platform/Sysroot.h"
#include "platform/Text.h"

namespace korvane {

// ---------------------------------------------------------------------------------------------
// Helpers

std::uint64_t RoundDownPow2(std::uint64_t n) {
  if (n == 0) return 1;
  return std::uint64_t{1} << (63 - __builtin_clzll(n));
}

std::optional<std::uint64_t> ParseMemTotalBytes(std::string_view meminfo) {
  constexpr std::string_view kKey = "MemTotal:";
  std::size_t pos = 0;
  while (pos < meminfo.size()) {
    std::size_t end = meminfo.find('\n', pos);
    if (end == std::string_view::npos) end = meminfo.size();
    std::string_view line = meminfo.substr(pos, end - pos);
    pos = end + 1;
    if (line.substr(0, kKey.size()) != kKey) continue;
    line.remove_prefix(kKey.size());
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    std::uint64_t value = 0;
    std::size_t digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') {
      if (value > (UINT64_MAX - 9) / 10) return std::nullopt;
      value = value * 10 + static_cast<std::uint64_t>(line[digits] - '0');
      ++digits;
    }
    if (digits == 0) return std::nullopt;
    std::string_view unit = line.substr(digits);
    while (!unit.empty() && (unit.front() == ' ' || unit.front() == '\t')) unit.remove_prefix(1);
    while (!unit.empty() && (unit.back() == ' ' || unit.back() == '\r')) unit.remove_suffix(1);
    std::uint64_t scale = 1;
    if (unit == "kB") {
      scale = 1024;
    } else if (!unit.empty()) {
      return std::nullopt;
    }
    if (value > UINT64_MAX / scale) return std::nullopt;
    return value * scale;
  }
  return std::nullopt;
}

std::uint64_t GetTotalPhysMemory() {
  const auto text = platform::ReadSysFile("/proc/meminfo", 64 * 1024);
  if (!text) return 0;
  return ParseMemTotalBytes(*text).value_or(0);
}

namespace {
std::atomic<std::int32_t> gTotalMemoryMiB{0};
std::atomic<std::FILE*> gLatencyConsole{nullptr};
std::atomic<std::FILE*> gBandwidthConsole{nullptr};
std::atomic<int> gUsableTsc{-1};
std::atomic<int> gFirstLatencyBlock{0};
std::atomic<int> gLastLatencyBlock{13};
}  // namespace

void SetTscUsableForTesting(int usable) { gUsableTsc.store(usable < 0 ? -1 : (usable ? 1 : 0)); }

void SetLatencyBlocksForTesting(int first, int last) {
  gFirstLatencyBlock.store(std::clamp(first, 0, 13));
  gLastLatencyBlock.store(std::clamp(last, std::clamp(first, 0, 13), 13));
}

std::int32_t TotalPhysMemoryMiB() {
  std::int32_t mib = gTotalMemoryMiB.load();
  if (mib < 1) {
    mib = static_cast<std::int32_t>(static_cast<std::uint32_t>(GetTotalPhysMemory() >> 20));
    std::int32_t expected = gTotalMemoryMiB.load();
    if (expected < 1) gTotalMemoryMiB.compare_exchange_strong(expected, mib);
    mib = gTotalMemoryMiB.load();
  }
  return mib;
}

void SetTotalPhysMemoryMiBIfUnset(std::int32_t mib) {
  std::int32_t expected = gTotalMemoryMiB.load();
  if (expected < 1) gTotalMemoryMiB.compare_exchange_strong(expected, mib);
}

void SetLatencyConsole(std::FILE* out) { gLatencyConsole.store(out); }
void SetBandwidthConsole(std::FILE* out) { gBandwidthConsole.store(out); }

std::uint32_t ChaseRandom() {
  // A 64-bit linear congruential generator; its top 31 bits are well mixed.
  thread_local std::uint64_t state = 0x2545F4914F6CDD1DULL;
  state = state * 6364136223846793005ULL + 1442695040888963407ULL;
  return static_cast<std::uint32_t>(state >> 33);
}

bool HasUsableTSC() {
  int cached = gUsableTsc.load();
  if (cached < 0) {
    bool usable = false;
    if (platform::HasRdtsc()) {
      (void)platform::RunningCpuid(0);
      const std::uint64_t first = platform::Rdtsc();
      (void)platform::RunningCpuid(0);
      const std::uint64_t second = platform::Rdtsc();
      usable = second > first;
    }
    cached = usable ? 1 : 0;
    gUsableTsc.store(cached);
  }
  return cached == 1;
}

namespace {

// Page size of the machine. The platform layer has no call for it yet; sysconf is the one
// place this folder asks the C library directly.
std::size_t PageSize() {
  const long size = sysconf(_SC_PAGESIZE);
  return size > 0 ? static_cast<std::size_t>(size) : 4096;
}

// The copy buffers are laid out in transparent huge pages where the kernel offers them: with
// 4 KiB pages every run gets a different scatter of physical pages, so the source and the
// destination collide in the caches and the memory banks differently from run to run, and the
// copies walk 8192 page-table entries. On x86-64 a huge page is always 2 MiB; the kernel
// ignores the advice where huge pages are off, and the buffers are then ordinary pages.
#if defined(__x86_64__) && defined(MADV_HUGEPAGE)
constexpr std::size_t kHugePage = std::size_t{2} << 20;
#else
constexpr std::size_t kHugePage = 0;
#endif

void AdviseHugePages(char* p, std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
  if (kHugePage != 0) (void)madvise(p, bytes, MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}

char* AlignUp(char* p, std::size_t alignment) {
  const std::uintptr_t a = alignment;
  return reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(p) + a - 1) & ~(a - 1));
}

// Pins the thread to processor 0 at the highest priority for the length of a memory test.
// The chase raises the priority again inside a test; only the outermost guard restores.
class PinnedHighPriority {
 public:
  explicit PinnedHighPriority(bool pin) : pin_(pin) {
    if (depth_++ > 0) return;
    outermost_ = true;
    // The process's mask is read before pinning: Linux keeps affinity per thread and reads the
    // process's from its first thread, which is this one when a test runs on the main thread.
    // Read afterwards, it would be the pin itself and the thread would stay on processor 0.
    if (pin_) processMask_ = platform::GetProcessAffinity();
    if (pin_) platform::SetCurrentThreadAffinity(1);
    platform::SetCurrentThreadPriority(platform::ThreadPriority::Highest);
  }
  ~PinnedHighPriority() {
    --depth_;
    if (!outermost_) return;
    platform::SetCurrentThreadPriority(platform::ThreadPriority::Normal);
    if (pin_ && processMask_ != 0) platform::SetCurrentThreadAffinity(processMask_);
  }
  PinnedHighPriority(const PinnedHighPriority&) = delete;
  PinnedHighPriority& operator=(const PinnedHighPriority&) = delete;

 private:
  static thread_local int depth_;
  bool pin_;
  bool outermost_ = false;
  std::uint64_t processMask_ = 0;
};
thread_local int PinnedHighPriority::depth_ = 0;

// Keeps a timed memory pass from sharing its processor with whatever else is runnable there.
// The tests ask for the highest priority short of real time, which on the system they were
// made for runs ahead of every ordinary thread; nice levels only weight a fair share, so under
// load a pass timed other programs' time slices as memory time (the latency read 500 ns instead
// of 135 on two busy processors). For one timed pass, at most about a second, the thread runs
// in the lowest real-time class where the system allows it; without that privilege nothing
// changes. Never on a single processor: the window and everything else would have to wait.
// Like the page size above, this asks the C library directly.
class TimedPassShield {
 public:
  TimedPassShield() {
    // Online processors, not this thread's affinity: the test has pinned itself to one.
    if (sysconf(_SC_NPROCESSORS_ONLN) < 2) return;
    sched_param param{};
    param.sched_priority = 1;
    raised_ = sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0;
  }
  ~TimedPassShield() {
    if (!raised_) return;
    // Back to the ordinary class; the nice level set for the test is kept.
    sched_param param{};
    (void)sched_setscheduler(0, SCHED_OTHER, &param);
  }
  TimedPassShield(const TimedPassShield&) = delete;
  TimedPassShield& operator=(const TimedPassShield&) = delete;

 private:
  bool raised_ = false;
};

void Console(const char* text) {
  if (std::FILE* out = gLatencyConsole.load()) std::fputs(text, out);
}

double ClampScore(double s) { return ClampTestScore(s); }

void BandwidthLine(const std::string& line) {
  if (std::FILE* out = gBandwidthConsole.load()) std::fprintf(out, "%s\n", line.c_str());
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Bandwidth

int BandwidthTest(_BENCH_JOB* job) {
  if (!job) return kBenchFailed;
  PinnedHighPriority pinned(true);
  DetectInstructionSets();
  const std::size_t page = std::max(PageSize(), kHugePage);
  const std::size_t alignment = RoundDownPow2(page);
  std::unique_ptr<char[]> rawA(new (std::nothrow) char[page + kBandwidthBytes]);
  std::unique_ptr<char[]> rawB(new (std::nothrow) char[page + kBandwidthBytes]);
  if (!rawA || !rawB) return kBenchFailed;
  char* a = AlignUp(rawA.get(), alignment);
  char* b = AlignUp(rawB.get(), alignment);
  AdviseHugePages(a, kBandwidthBytes);
  AdviseHugePages(b, kBandwidthBytes);
  // Fresh pages all map the one shared zero page until written; copying from them would time
  // the cache, not memory. Give the source real pages of its own.
  std::memset(a, 0x5A, kBandwidthBytes);

  PostJobMessage(*job, WM_BENCH_START, 0);
  double bestTime = 10000000.0;
  double bestBandwidth = 0.0;
  double lastTime = 0.0;

  int supported = 0;
  for (const CopyRoutineInfo& r : kCopyRoutines) {
    if (r.routine(b, a, kBandwidthBytes) != nullptr) ++supported;
  }

  for (int i = 1; i <= kCopyRoutineCount; ++i) {
    const CopyRoutineInfo& r = kCopyRoutines[i - 1];
    double t = 0.0;
    {
      TimedPassShield shield;
      CElapsed stopwatch;
      stopwatch.Start();
      if (r.routine(b, a, kBandwidthBytes) == nullptr) {
        t = -1.0;
      } else {
        for (int k = 0; k < 255; ++k) r.routine(b, a, kBandwidthBytes);
        t = stopwatch.GetElapsed();
      }
    }
    if (t < 0.0) {
      BandwidthLine(platform::Format("No.%02d, Func: %22s, Unsupported.", i, r.name));
      continue;
    }
    const double bandwidth = t > 0.0 ? 8192.0 / t : 0.0;
    lastTime = t;
    bestTime = std::min(bestTime, t);
    bestBandwidth = std::max(bestBandwidth, bandwidth);
    BandwidthLine(platform::Format("No.%02d, Func: %22s, Usedtime: %0.3fs, BandWidth: %0.1fM/sec",
                                   i, r.name, t, bandwidth));
    if (JobTargetLive(*job)) {
      if (BenchCancelled()) {
        PostJobMessage(*job, WM_BENCH_CANCELLED, 0);
        return kBenchCancelled;
      }
      const int progress = std::clamp((100 * i) / (supported > 0 ? supported : 12), 0, 100);
      PostJobMessage(*job, WM_BENCH_PROGRESS, progress);
    }
  }

  job->score = ClampScore(CalcTestScore(bestTime, job->group, 11));
  job->elapsed = lastTime;
  job->done = 1;
  job->checksum = 0;
  job->displayValue = bestBandwidth / 1000.0;
  job->reserved = 0;
  PostJobMessage(*job, WM_BENCH_DONE, 0);
  return kBenchSuccess;
}

// ---------------------------------------------------------------------------------------------
// Latency

std::int64_t ChaseLatency(std::int64_t blockBytes, void* buffer, std::int64_t strideBytes,
                          std::int64_t clockHz, std::int64_t* overhead, std::int64_t* sink) {
  if (overhead) *overhead = 0;
  if (sink) *sink = 0;
  // The chase is timed by the wall clock and converted at clockHz, whatever the time base.
  if (!buffer || clockHz <= 0) return -1;
  const std::int64_t block = std::min(blockBytes, kLatencyMaxBlock);
  const std::int64_t stride = std::min(strideBytes, block);
  const std::int64_t cells = block / 4;
  // A chain needs two cells to shuffle and a stride of at least one cell.
  if (cells < 2 || stride < 4) return -1;
  PinnedHighPriority raised(false);

  auto* cell = static_cast<std::uint32_t*>(buffer);
  const std::uint32_t a = static_cast<std::uint32_t>(stride / 4);
  const std::uint32_t n = static_cast<std::uint32_t>(cells);
  const std::uint32_t mask = static_cast<std::uint32_t>(RoundDownPow2(n) - 1);
  for (std::uint32_t i = 0; i <= n; ++i) cell[i] = i + a;

  // The random numbers must reach every cell: a 15-bit generator would leave all but the
  // first 32 Ki cells of a large block in order, and the chase would then stream through
  // memory that the prefetcher has already brought in.
  for (std::uint32_t k = 0; k <= n; ++k) {
    const std::uint32_t i = ChaseRandom() % n;
    std::uint32_t j;
    do {
      j = ChaseRandom() % n;
    } while (j == i);
    if (cell[j] != i && cell[i] != i) std::swap(cell[i], cell[j]);
  }

  const std::int64_t hops = std::max<std::int64_t>(cells / a - 1, 1);
  const std::int64_t limit =
      std::max<std::int64_t>((static_cast<std::int64_t>(a) << 20) / cells, 1);
  const double clock = static_cast<double>(clockHz);

  std::uint32_t p = 0;
  double chaseTime = 0.0;
  std::int64_t chases = 0, steps = 0;
  CElapsed stopwatch;
  std::optional<TimedPassShield> shield;
  shield.emplace();
  for (std::int64_t e = 1;; e *= 2) {
    stopwatch.Start();
    if (e == 1) {
      p = 0;
      for (std::int64_t h = 0; h < hops; ++h) p = cell[p];
      __asm__ volatile("" : "+r"(p));
    } else {
      for (std::int64_t k = 0; k < e; ++k) {
        p = ChaseRandom() & mask;
        for (std::int64_t h = 0; h < hops; ++h) p = cell[p];
        __asm__ volatile("" : "+r"(p));
      }
    }
    chaseTime += stopwatch.GetElapsed();
    chases += e;
    ++steps;
    if (!(e * 2 <= limit && chaseTime < 0.12)) break;
  }
  const std::int64_t r = static_cast<std::int64_t>(
      chaseTime / (static_cast<double>(chases) * hops) * clock * 10 + 0.5);

  // Let the processor go between the two phases.
  shield.reset();
  shield.emplace();
  std::int64_t total = 0;
  double overheadTime = 0.0;
  std::int64_t overheadChases = 0, overheadSteps = 0;
  for (std::int64_t e = 1;; e *= 2) {
    stopwatch.Start();
    if (e == 1) {
      p = 0;
    } else {
      for (std::int64_t k = 0; k < e; ++k) {
        p = ChaseRandom() & mask;
        total += hops * p;
      }
    }
    overheadTime += stopwatch.GetElapsed();
    overheadChases += e;
    ++overheadSteps;
    if (!(e * 2 <= limit && overheadTime < 0.12 && overheadSteps < steps)) break;
  }
  shield.reset();
  const std::int64_t o = static_cast<std::int64_t>(
      overheadTime / (static_cast<double>(overheadChases) * hops) * clock * 10 + 0.5);
  if (overhead) *overhead = o;
  if (sink) *sink = total + p;
  return r;
}

int LatencyTest(_BENCH_JOB* job) {
  if (!job) return kBenchFailed;
  CCPUSpeed speed;
  PostJobMessage(*job, WM_BENCH_START, 0);
  PinnedHighPriority pinned(true);
  const std::size_t page = PageSize();
  // Without a usable time-stamp counter there is no processor clock to count cycles in: the
  // chase is then measured in nanoseconds (a 1 GHz "clock"), so a cell still reads its real
  // time instead of the one cycle a failed chase would leave.
  const bool tsc = HasUsableTSC();
  constexpr std::size_t kBufferBytes = 33556480;
  std::unique_ptr<char[]> raw1(new (std::nothrow) char[page + kBufferBytes]);
  std::unique_ptr<char[]> raw2(new (std::nothrow) char[page + kBufferBytes]);
  if (!raw1 || !raw2) return kBenchFailed;
  char* chain = AlignUp(raw1.get(), RoundDownPow2(page));
  char* second = AlignUp(raw2.get(), RoundDownPow2(page));
  std::memset(raw1.get(), 0xC0, page + kBufferBytes);
  const std::int64_t clock = tsc && speed.hz > 0 ? speed.hz : kNanosecondClock;

  Console("Welcome to use MemLatencyTest(New).\r\n");
  Console(platform::Format("dwPageSize: %d.\r\n", static_cast<int>(page)).c_str());
  Console(platform::Format("calcBuffer(Orgi):  0x%08" PRIXPTR ", 0x%08" PRIXPTR ".\r\n",
                           reinterpret_cast<std::uintptr_t>(raw1.get()),
                           reinterpret_cast<std::uintptr_t>(raw2.get()))
              .c_str());
  Console(platform::Format("calcBuffer(Align): 0x%08" PRIXPTR ", 0x%08" PRIXPTR ".\r\n",
                           reinterpret_cast<std::uintptr_t>(chain),
                           reinterpret_cast<std::uintptr_t>(second))
              .c_str());
  Console("Memory warming up:\r\n");
  Console("Used clock(s): 0 cycle(s).\r\n");
  Console(platform::Format("Used time(s):  %0.8f second(s).\r\n", 0.0).c_str());

  constexpr int kBlocks = 14, kStrides = 8, kCells = kBlocks * kStrides;
  double best = 100000000.0;
  std::int64_t sinkTotal = 0;
  std::string separator;
  for (int k = 0; k < 38; ++k) separator += "-=";
  separator += "\r\n";
  for (int pass = 0; pass < 3; ++pass) {
    Console("    block\t4\t8\t16\t32\t64\t128\t256\t512\r\n");
    Console(separator.c_str());
    double passMax = -1000000.0;
    int done = 0;
    for (int bi = gFirstLatencyBlock.load(); bi <= gLastLatencyBlock.load() && bi < kBlocks; ++bi) {
      const std::int64_t block = std::int64_t{4096} << bi;
      Console(platform::Format("% 9d", static_cast<int>(block)).c_str());
      for (int si = 0; si < kStrides; ++si) {
        const std::int64_t stride = std::int64_t{4} << si;
        std::memset(raw1.get(), 0, page + kBufferBytes);
        CElapsed stopwatch;
        stopwatch.Start();
        std::int64_t overhead = 0, sink = 0;
        const std::int64_t r = ChaseLatency(block, chain, stride, clock, &overhead, &sink);
        sinkTotal += sink;
        double latency = static_cast<double>(r - overhead) / 10.0;
        if (latency < 0) latency = 1;
        Console(platform::Format("\t%0.1f", latency).c_str());
        passMax = std::max(passMax, latency);
        ++done;
        if (JobTargetLive(*job)) {
          if (BenchCancelled()) {
            PostJobMessage(*job, WM_BENCH_CANCELLED, 0);
            return kBenchCancelled;
          }
          const int progress = std::clamp(((pass * kCells + done) * 100 / kCells) / 3, 0, 100);
          PostJobMessage(*job, WM_BENCH_PROGRESS, progress);
        }
      }
      Console("\r\n");
    }
    best = std::min(best, passMax);
  }

  Console(platform::Format("nLatencyTempTotal: %" PRId64 ".\r\n", sinkTotal).c_str());
  Console(platform::Format("Avg. LatencyCycle: %0.1f cycle.\r\n", best).c_str());
  Console(platform::Format("CPU Frequency: %llu Hz.\r\n",
                           static_cast<unsigned long long>(speed.hz > 0 ? speed.hz : 0))
              .c_str());
  double cycles = std::floor(best + 0.5);
  if (cycles < 1) cycles = 1;
  const double ns = cycles * 1e9 / static_cast<double>(clock);
  Console(platform::Format("Latency Time: [%0.1f cycle] %0.1f ns.\r\n", cycles, ns).c_str());
  if (std::FILE* out = gLatencyConsole.load()) std::fflush(out);

  job->score = ClampScore(CalcTestScore(ns, job->group, 12));
  job->elapsed = ns;
  job->done = 1;
  job->checksum = 0;
  job->displayValue = ns;
  job->reserved = 0;
  PostJobMessage(*job, WM_BENCH_DONE, 0);
  return kBenchSuccess;
}

}  // namespace korvane
