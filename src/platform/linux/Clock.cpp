#include "platform/Clock.h"

#include <dirent.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#define KORVANE_X86 1
#endif

#include "platform/Sysroot.h"

namespace platform {
namespace {

std::int64_t ReadClockNs(clockid_t id) {
  timespec ts{};
  clock_gettime(id, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

pid_t CurrentTid() { return static_cast<pid_t>(syscall(SYS_gettid)); }

// The nice value the process started with. Thread priorities are offsets from it, so that a
// program started with `nice` keeps its place and "normal" never needs privileges.
int ReadNice(pid_t who) {
  errno = 0;
  const int n = getpriority(PRIO_PROCESS, static_cast<id_t>(who));
  return errno != 0 ? 0 : n;
}
const int gBaseNice = ReadNice(getpid());

int NiceOffset(ThreadPriority p) {
  switch (p) {
    case ThreadPriority::Lowest:
      return 10;
    case ThreadPriority::BelowNormal:
      return 5;
    case ThreadPriority::Normal:
      return 0;
    case ThreadPriority::AboveNormal:
      return -5;
    case ThreadPriority::Highest:
      return -10;
  }
  return 0;
}

std::uint64_t MaskFromSet(const cpu_set_t& set) {
  std::uint64_t mask = 0;
  for (int i = 0; i < 64 && i < CPU_SETSIZE; ++i)
    if (CPU_ISSET(i, &set)) mask |= std::uint64_t{1} << i;
  return mask;
}

cpu_set_t SetFromMask(std::uint64_t mask) {
  cpu_set_t set;
  CPU_ZERO(&set);
  for (int i = 0; i < 64; ++i)
    if (mask & (std::uint64_t{1} << i)) CPU_SET(i, &set);
  return set;
}

// ---- Recorded CPUID dumps -------------------------------------------------------------
// One file per logical processor, lines "<mask> <eax> <ebx> <ecx> <edx> => <eax> <ebx> <ecx>
// <edx>" in hexadecimal. The mask tells which input registers mattered: bit 0 eax (the leaf),
// bit 2 ecx (the subleaf). Leaves without bit 2 answer the same for every subleaf.

struct DumpEntry {
  std::uint32_t mask = 0, leaf = 0, subleaf = 0;
  CpuidRegs out;
};
using Dump = std::vector<DumpEntry>;

bool ParseHex32(std::string_view token, std::uint32_t& value) {
  if (token.empty() || token.size() > 8) return false;
  std::uint32_t v = 0;
  for (char c : token) {
    std::uint32_t d;
    if (c >= '0' && c <= '9')
      d = static_cast<std::uint32_t>(c - '0');
    else if (c >= 'a' && c <= 'f')
      d = static_cast<std::uint32_t>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      d = static_cast<std::uint32_t>(c - 'A' + 10);
    else
      return false;
    v = (v << 4) | d;
  }
  value = v;
  return true;
}

std::vector<std::string_view> SplitWhitespace(std::string_view line) {
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    const std::size_t b = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > b) tokens.push_back(line.substr(b, i - b));
  }
  return tokens;
}

Dump ParseDump(std::string_view text) {
  Dump dump;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.empty() || line.front() == '#') continue;
    const auto t = SplitWhitespace(line);
    if (t.size() != 10 || t[5] != "=>") continue;  // anything else is not a record
    std::uint32_t v[9];
    bool ok = true;
    for (int k = 0; k < 5 && ok; ++k) ok = ParseHex32(t[k], v[k]);
    for (int k = 0; k < 4 && ok; ++k) ok = ParseHex32(t[6 + k], v[5 + k]);
    if (!ok) continue;
    DumpEntry e;
    e.mask = v[0];
    e.leaf = v[1];
    e.subleaf = v[3];
    e.out = CpuidRegs{v[5], v[6], v[7], v[8]};
    dump.push_back(e);
  }
  return dump;
}

std::optional<CpuidRegs> LookUp(const Dump& dump, std::uint32_t leaf, std::uint32_t subleaf) {
  for (const DumpEntry& e : dump) {
    if (e.leaf != leaf) continue;
    if ((e.mask & 0x4u) != 0 && e.subleaf != subleaf) continue;
    return e.out;
  }
  return std::nullopt;
}

// Dumps are parsed once per process (per root prefix, so tests may switch machines).
struct DumpCache {
  std::mutex mutex;
  std::map<std::pair<std::string, int>, std::shared_ptr<const Dump>> dumps;  // null = absent
};

DumpCache& Cache() {
  static DumpCache cache;
  return cache;
}

std::shared_ptr<const Dump> LoadDump(const std::string& prefix, int processor) {
  DumpCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  const auto key = std::make_pair(prefix, processor);
  const auto it = cache.dumps.find(key);
  if (it != cache.dumps.end()) return it->second;
  std::shared_ptr<const Dump> dump;
  if (auto text = ReadSysFile("/cpuid/pu" + std::to_string(processor), 4u << 20))
    dump = std::make_shared<const Dump>(ParseDump(*text));
  cache.dumps.emplace(key, dump);
  return dump;
}

// True when the machine under KORVANE_SYSROOT carries a CPUID recording; then every CPUID
// answer comes from it, and never from the processor running the tests.
bool UsingRecordedDump(std::string& prefix) {
  prefix = SysrootPrefix();
  if (prefix.empty()) return false;
  return LoadDump(prefix, 0) != nullptr;
}

// ---- The live instruction ------------------------------------------------------------

#ifdef KORVANE_X86
struct LeafLimits {
  std::uint32_t basic = 0, extended = 0, hypervisor = 0, centaur = 0;
};

const LeafLimits& Limits() {
  static const LeafLimits limits = [] {
    LeafLimits l;
    unsigned a, b, c, d;
    l.basic = __get_cpuid_max(0, nullptr);
    const unsigned ext = __get_cpuid_max(0x80000000u, nullptr);
    if (ext >= 0x80000000u && ext <= 0x8000FFFFu) l.extended = ext;
    if (l.basic >= 1) {
      __cpuid(1, a, b, c, d);
      if (c & (1u << 31)) {  // running under a hypervisor: its leaves exist
        __cpuid(0x40000000u, a, b, c, d);
        if (a >= 0x40000000u && a <= 0x400000FFu) l.hypervisor = a;
      }
    }
    __cpuid(0, a, b, c, d);
    char vendor[13] = {};
    std::memcpy(vendor, &b, 4);
    std::memcpy(vendor + 4, &d, 4);
    std::memcpy(vendor + 8, &c, 4);
    if (std::strcmp(vendor, "CentaurHauls") == 0 || std::strcmp(vendor, "  Shanghai  ") == 0) {
      __cpuid(0xC0000000u, a, b, c, d);
      if (a >= 0xC0000000u && a <= 0xC00000FFu) l.centaur = a;
    }
    return l;
  }();
  return limits;
}

std::optional<CpuidRegs> LiveCpuid(std::uint32_t leaf, std::uint32_t subleaf) {
  const LeafLimits& l = Limits();
  bool exists = false;
  if (leaf < 0x40000000u)
    exists = leaf <= l.basic;
  else if (leaf < 0x80000000u)
    exists = l.hypervisor != 0 && leaf <= l.hypervisor;
  else if (leaf < 0xC0000000u)
    exists = l.extended != 0 && leaf <= l.extended;
  else
    exists = l.centaur != 0 && leaf <= l.centaur;
  if (!exists) return std::nullopt;
  unsigned a, b, c, d;
  __cpuid_count(leaf, subleaf, a, b, c, d);
  return CpuidRegs{a, b, c, d};
}
#else
std::optional<CpuidRegs> LiveCpuid(std::uint32_t, std::uint32_t) { return std::nullopt; }
#endif

}  // namespace

std::int64_t PerformanceCounter() { return ReadClockNs(CLOCK_MONOTONIC); }

std::int64_t PerformanceFrequency() { return 1000000000; }

std::uint32_t TickCountMs() {
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ReadClockNs(CLOCK_MONOTONIC)) /
                                    1000000u);
}

void SleepMs(std::uint32_t ms) {
  if (ms == 0) {
    sched_yield();  // Sleep(0): give up the rest of the time slice
    return;
  }
  timespec req{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  timespec rem{};
  while (nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
}

bool SetCurrentThreadPriority(ThreadPriority priority) {
  const int target = std::clamp(gBaseNice + NiceOffset(priority), -20, 19);
  // A failed call (EACCES/EPERM when raising without privilege) leaves the nice value as it
  // was; nothing is retried at a smaller step.
  return setpriority(PRIO_PROCESS, static_cast<id_t>(CurrentTid()), target) == 0;
}

std::uint64_t SetCurrentThreadAffinity(std::uint64_t mask) {
  if (mask == 0) return 0;
  cpu_set_t previous;
  CPU_ZERO(&previous);
  if (sched_getaffinity(0, sizeof previous, &previous) != 0) return 0;
  const cpu_set_t wanted = SetFromMask(mask);
  if (sched_setaffinity(0, sizeof wanted, &wanted) != 0) return 0;
  const std::uint64_t old = MaskFromSet(previous);
  return old != 0 ? old : ~std::uint64_t{0};  // never report success as 0
}

std::uint64_t GetProcessAffinity() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(getpid(), sizeof set, &set) != 0) return 0;
  return MaskFromSet(set);
}

bool SetProcessAffinity(std::uint64_t mask) {
  if (mask == 0) return false;
  const cpu_set_t wanted = SetFromMask(mask);
  if (sched_setaffinity(getpid(), sizeof wanted, &wanted) != 0) return false;
  // Linux keeps affinity per thread; the process-wide setting reaches every running thread.
  // This lists the running process itself, not machine data, so no root prefix applies.
  bool ok = true;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir)) {
      char* end = nullptr;
      const long tid = std::strtol(entry->d_name, &end, 10);
      if (end == entry->d_name || *end != '\0' || tid <= 0) continue;
      if (sched_setaffinity(static_cast<pid_t>(tid), sizeof wanted, &wanted) != 0 && errno != ESRCH)
        ok = false;
    }
    closedir(dir);
  }
  return ok;
}

int ProcessorCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int>(online) : 1;
}

std::optional<CpuidRegs> Cpuid(std::uint32_t leaf, std::uint32_t subleaf) {
  return CpuidOn(0, leaf, subleaf);
}

std::optional<CpuidRegs> CpuidOn(int logicalProcessor, std::uint32_t leaf, std::uint32_t subleaf) {
  std::string prefix;
  if (UsingRecordedDump(prefix)) {
    if (logicalProcessor < 0) return std::nullopt;
    const auto dump = LoadDump(prefix, logicalProcessor);
    if (!dump) return std::nullopt;  // the recorded machine has no such processor
    return LookUp(*dump, leaf, subleaf);
  }
  // A recorded machine without a recording has no instruction to ask: the processor running
  // the program is a different one and must not answer for it.
  if (!prefix.empty()) return std::nullopt;
  return LiveCpuid(leaf, subleaf);
}

std::optional<CpuidRegs> RunningCpuid(std::uint32_t leaf, std::uint32_t subleaf) {
  return LiveCpuid(leaf, subleaf);
}

std::vector<int> RecordedProcessors() {
  std::vector<int> out;
  if (SysrootPrefix().empty()) return out;
  for (const std::string& name : ListSysDir("/cpuid")) {
    if (name.size() < 3 || name.compare(0, 2, "pu") != 0 || name.size() > 8) continue;
    int n = 0;
    bool digits = true;
    for (std::size_t i = 2; i < name.size(); ++i) {
      if (name[i] < '0' || name[i] > '9') {
        digits = false;
        break;
      }
      n = n * 10 + (name[i] - '0');
    }
    if (digits) out.push_back(n);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The time-stamp counter is read on the running processor, so its presence is a property of
// this machine even while CPUID answers come from a recording.
bool HasRdtsc() {
#ifdef KORVANE_X86
  static const bool has = [] {
    const auto r = LiveCpuid(1, 0);
    return r && (r->edx & (1u << 4)) != 0;
  }();
  return has;
#else
  return false;
#endif
}

std::uint64_t Rdtsc() {
#ifdef KORVANE_X86
  if (!HasRdtsc()) return 0;
  return __rdtsc();
#else
  return 0;
#endif
}

}  // namespace platform
