#include "Cpu.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "QmHdwApi.h"
#include "TextUtil.h"
#include "platform/Clock.h"
#include "platform/Sysroot.h"

namespace korvane::hwprobe {

bool ParseInt(std::string_view s, long long& out) {
  std::string t = Trim(s);
  if (t.empty() || t.size() > 20) return false;
  char* end = nullptr;
  long long v = std::strtoll(t.c_str(), &end, 10);
  if (end == t.c_str() || *end != '\0') return false;
  out = v;
  return true;
}

std::vector<int> ParseCpuList(std::string_view list) {
  std::vector<int> out;
  std::string t = Trim(list);
  std::size_t start = 0;
  while (start < t.size()) {
    std::size_t comma = t.find(',', start);
    std::string part =
        t.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    std::size_t dash = part.find('-');
    long long a = 0, b = 0;
    if (dash == std::string::npos) {
      if (ParseInt(part, a) && a >= 0 && a < 65536) out.push_back(static_cast<int>(a));
    } else if (ParseInt(part.substr(0, dash), a) && ParseInt(part.substr(dash + 1), b) && a >= 0 &&
               b >= a && b < 65536) {
      for (long long i = a; i <= b; ++i) out.push_back(static_cast<int>(i));
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

int CountCpuList(std::string_view list) { return static_cast<int>(ParseCpuList(list).size()); }

std::vector<CpuinfoEntry> ParseCpuinfo(std::string_view text) {
  std::vector<CpuinfoEntry> out;
  CpuinfoEntry cur;
  bool any = false;
  auto flush = [&] {
    if (any && cur.processor >= 0) out.push_back(cur);
    cur = CpuinfoEntry{};
    any = false;
  };
  for (const std::string& line : SplitLines(text)) {
    std::size_t colon = line.find(':');
    if (Trim(line).empty()) {
      flush();
      continue;
    }
    if (colon == std::string::npos) continue;
    const std::string key = Trim(std::string_view(line).substr(0, colon));
    const std::string value = Trim(std::string_view(line).substr(colon + 1));
    long long n = 0;
    any = true;
    if (key == "processor") {
      if (cur.processor >= 0) flush(), any = true;
      if (ParseInt(value, n) && n >= 0 && n < 65536) cur.processor = static_cast<int>(n);
    } else if (key == "vendor_id") {
      cur.vendor = value;
    } else if (key == "model name") {
      cur.modelName = value;
    } else if (key == "flags") {
      cur.flags = value;
    } else if (key == "cpu family") {
      if (ParseInt(value, n)) cur.family = static_cast<int>(n);
    } else if (key == "model") {
      if (ParseInt(value, n)) cur.model = static_cast<int>(n);
    } else if (key == "stepping") {
      if (ParseInt(value, n)) cur.stepping = static_cast<int>(n);
    } else if (key == "physical id") {
      if (ParseInt(value, n)) cur.physicalId = static_cast<int>(n);
    } else if (key == "core id") {
      if (ParseInt(value, n)) cur.coreId = static_cast<int>(n);
    } else if (key == "siblings") {
      if (ParseInt(value, n) && n > 0 && n < 65536) cur.siblings = static_cast<int>(n);
    } else if (key == "cpu cores") {
      if (ParseInt(value, n) && n > 0 && n < 65536) cur.cpuCores = static_cast<int>(n);
    } else if (key == "cpu MHz") {
      cur.mhz = std::strtod(value.c_str(), nullptr);
      if (!std::isfinite(cur.mhz) || cur.mhz < 0) cur.mhz = 0;
    }
  }
  flush();
  return out;
}

std::string ShortProcessorName(std::string_view brandIn) {
  std::string b(brandIn);
  for (const char* junk : {"(R)", "(r)", "(TM)", "(tm)"}) {
    for (std::size_t p; (p = b.find(junk)) != std::string::npos;) b.erase(p, std::strlen(junk));
  }
  if (std::size_t at = b.find('@'); at != std::string::npos) b.resize(at);
  // Integrated graphics are not part of the processor's name: " with Radeon Graphics",
  // " w/ Radeon 890M".
  for (const char* suffix : {" with ", " w/ ", " W/ "})
    if (std::size_t with = b.find(suffix); with != std::string::npos) b.resize(with);
  std::vector<std::string> words;
  std::string w;
  for (char c : b + " ") {
    if (c == ' ') {
      if (!w.empty()) words.push_back(w);
      w.clear();
    } else {
      w.push_back(c);
    }
  }
  // "Xeon(R) CPU E7- 4870": the model number was split after its dash.
  for (std::size_t i = 0; i + 1 < words.size(); ++i) {
    if (words[i].size() > 1 && words[i].back() == '-' &&
        std::isdigit(static_cast<unsigned char>(words[i + 1][0]))) {
      words[i] += words[i + 1];
      words.erase(words.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    }
  }
  std::string out;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    std::string lower = word;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "cpu" || lower == "processor") continue;
    if ((lower.size() > 5 && lower.substr(lower.size() - 5) == "-core") ||
        (lower.size() > 6 && lower.substr(lower.size() - 6) == "-cores"))
      continue;
    // "13th Gen Intel Core ..." keeps the name, not the generation.
    if (i + 1 < words.size() && words[i + 1] == "Gen" && !lower.empty() &&
        std::isdigit(static_cast<unsigned char>(lower[0]))) {
      ++i;
      continue;
    }
    if (!out.empty()) out.push_back(' ');
    out += word;
  }
  return out;
}

int ClockFromBrand(std::string_view brand) {
  std::size_t at = brand.find('@');
  if (at == std::string_view::npos) return -1;
  std::string rest = Trim(brand.substr(at + 1));
  char* end = nullptr;
  double v = std::strtod(rest.c_str(), &end);
  if (end == rest.c_str() || !std::isfinite(v) || v <= 0) return -1;
  std::string unit = Trim(end);
  for (char& c : unit) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (StartsWith(unit, "ghz")) return static_cast<int>(std::lround(v * 1000));
  if (StartsWith(unit, "mhz")) return static_cast<int>(std::lround(v));
  return -1;
}

namespace {

CpuVendor VendorFromId(std::string_view id) {
  if (id == "GenuineIntel") return CpuVendor::Intel;
  if (id == "AuthenticAMD") return CpuVendor::Amd;
  if (id == "HygonGenuine") return CpuVendor::Hygon;
  if (id == "CentaurHauls" || id == "VIA VIA VIA ") return CpuVendor::Via;
  if (id == "  Shanghai  ") return CpuVendor::Zhaoxin;
  return CpuVendor::Unknown;
}

std::string RegsText(const platform::CpuidRegs& r, bool vendorOrder) {
  std::uint32_t regs[4] = {r.eax, r.ebx, r.ecx, r.edx};
  if (vendorOrder) regs[0] = r.ebx, regs[1] = r.edx, regs[2] = r.ecx;
  char buf[17] = {};
  std::memcpy(buf, regs, vendorOrder ? 12 : 16);
  return std::string(buf, strnlen(buf, sizeof buf));
}

void IsaFromCpuid(CpuFacts& f) {
  auto l1 = platform::Cpuid(1);
  if (!l1) return;
  const std::uint32_t edx = l1->edx, ecx = l1->ecx;
  f.isa[qmhdw::kIsaMmx] = edx & (1u << 23);
  f.isa[qmhdw::kIsaSse] = edx & (1u << 25);
  f.isa[qmhdw::kIsaSse2] = edx & (1u << 26);
  f.isa[qmhdw::kIsaSse3] = ecx & 1u;
  f.isa[qmhdw::kIsaSsse3] = ecx & (1u << 9);
  f.isa[qmhdw::kIsaSse41] = ecx & (1u << 19);
  f.isa[qmhdw::kIsaSse42] = ecx & (1u << 20);
  auto max = platform::Cpuid(0x80000000u);
  if (max && max->eax >= 0x80000001u) {
    if (auto e = platform::Cpuid(0x80000001u)) {
      const bool amdLike = f.vendor == CpuVendor::Amd || f.vendor == CpuVendor::Hygon;
      f.isa[qmhdw::kIsaX8664] = e->edx & (1u << 29);
      f.isa[qmhdw::kIsaSse4a] = amdLike && (e->ecx & (1u << 6));
      f.isa[qmhdw::kIsaSse5] = amdLike && (e->ecx & (1u << 11));
      f.isa[qmhdw::kIsaMmxExt] = amdLike && (e->edx & (1u << 22));
      f.isa[qmhdw::kIsa3dNow] = amdLike && (e->edx & (1u << 31));
      f.isa[qmhdw::kIsa3dNowExt] = amdLike && (e->edx & (1u << 30));
    }
  }
}

void IsaFromFlags(CpuFacts& f, std::string_view flags) {
  std::set<std::string> set;
  std::string w;
  for (char c : std::string(flags) + " ") {
    if (c == ' ') {
      if (!w.empty()) set.insert(w);
      w.clear();
    } else {
      w.push_back(c);
    }
  }
  auto has = [&](const char* s) { return set.count(s) > 0; };
  f.isa[qmhdw::kIsaMmx] = has("mmx");
  f.isa[qmhdw::kIsaMmxExt] = has("mmxext");
  f.isa[qmhdw::kIsa3dNow] = has("3dnow");
  f.isa[qmhdw::kIsa3dNowExt] = has("3dnowext");
  f.isa[qmhdw::kIsaSse] = has("sse");
  f.isa[qmhdw::kIsaSse2] = has("sse2");
  f.isa[qmhdw::kIsaSse3] = has("pni");
  f.isa[qmhdw::kIsaSsse3] = has("ssse3");
  f.isa[qmhdw::kIsaSse41] = has("sse4_1");
  f.isa[qmhdw::kIsaSse42] = has("sse4_2");
  f.isa[qmhdw::kIsaSse4a] = has("sse4a");
  f.isa[qmhdw::kIsaSse5] = has("xop");
  f.isa[qmhdw::kIsaX8664] = has("lm");
}

}  // namespace

int ParseCacheSizeKB(std::string_view s) {
  // "32K", "1024K", "8M": a decimal count with an optional unit. Anything that does not fit
  // in a KiB figure of 32 bits is no size at all.
  const std::string t = Trim(s);
  std::size_t i = 0;
  unsigned long long v = 0;
  for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
    const unsigned digit = static_cast<unsigned>(t[i] - '0');
    if (v > (0x7FFFFFFFull - digit) / 10) return 0;
    v = v * 10 + digit;
  }
  if (i == 0) return 0;
  unsigned long long scale = 1;
  if (i < t.size()) {
    const char unit = t[i];
    if (unit == 'K' || unit == 'k')
      scale = 1;
    else if (unit == 'M' || unit == 'm')
      scale = 1024;
    else if (unit == 'G' || unit == 'g')
      scale = 1024 * 1024;
    else
      return 0;
    ++i;
    if (i < t.size() && t[i] != 'B' && t[i] != 'i') return 0;
  }
  if (v > 0x7FFFFFFFull / scale) return 0;
  return static_cast<int>(v * scale);
}

namespace {

// Caches of one package from sysfs: each distinct sharing set is one instance.
std::vector<CacheInfo> CachesFromSysfs(const Package& pkg) {
  struct Key {
    int level, type;
    bool operator<(const Key& o) const {
      return level != o.level ? level < o.level : type < o.type;
    }
  };
  std::map<Key, CacheInfo> found;
  std::map<Key, std::set<std::string>> instances;
  for (int cpu : pkg.cpus) {
    const std::string base = "/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/cache";
    for (const std::string& idx : platform::ListSysDir(base)) {
      if (!StartsWith(idx, "index")) continue;
      const std::string d = base + "/" + idx;
      auto level = platform::ReadSysInteger(d + "/level");
      auto type = platform::ReadSysLine(d + "/type");
      if (!level || !type) continue;
      int t = *type == "Data" ? 1 : *type == "Instruction" ? 2 : *type == "Unified" ? 3 : 0;
      if (t == 0 || *level < 1 || *level > 4) continue;
      Key k{static_cast<int>(*level), t};
      auto shared = platform::ReadSysLine(d + "/shared_cpu_list");
      instances[k].insert(shared ? *shared : std::to_string(cpu));
      CacheInfo& c = found[k];
      c.level = k.level;
      c.type = t;
      if (c.sizeKB == 0) {
        if (auto sz = platform::ReadSysLine(d + "/size")) c.sizeKB = ParseCacheSizeKB(*sz);
        if (auto w = platform::ReadSysInteger(d + "/ways_of_associativity"))
          c.ways = static_cast<int>(std::clamp<long long>(*w, 0, 255));
        if (auto l = platform::ReadSysInteger(d + "/coherency_line_size"))
          c.lineSize = static_cast<int>(std::clamp<long long>(*l, 0, 65535));
      }
    }
  }
  std::vector<CacheInfo> out;
  for (auto& [k, c] : found) {
    c.count = static_cast<int>(instances[k].size());
    if (c.sizeKB > 0) out.push_back(c);
  }
  return out;
}

int CeilLog2(std::uint32_t n) {
  int shift = 0;
  while (shift < 32 && (std::uint64_t{1} << shift) < n) ++shift;
  return shift;
}

// One logical processor as its own CPUID instruction describes it.
struct CpuidCache {
  int level = 0, type = 0, sizeKB = 0, ways = 0, lineSize = 0;
  int sharingShift = 0;  // logical processors sharing it: APIC ids equal above this bit
};
struct CpuidProcessor {
  int cpu = -1;
  std::uint32_t apicId = 0;
  int smtShift = 0, packageShift = 0;
  std::vector<CpuidCache> caches;
};

using Ask = std::function<std::optional<platform::CpuidRegs>(std::uint32_t, std::uint32_t)>;

bool AmdLike(CpuVendor v) { return v == CpuVendor::Amd || v == CpuVendor::Hygon; }

std::vector<CpuidCache> DeterministicCaches(const Ask& ask, CpuVendor vendor) {
  std::vector<CpuidCache> out;
  std::uint32_t leaf = 4;
  if (AmdLike(vendor)) {
    auto max = ask(0x80000000u, 0);
    if (!max || max->eax < 0x8000001Du) return out;
    leaf = 0x8000001Du;
  } else {
    auto max = ask(0, 0);
    if (!max || max->eax < 4) return out;
  }
  for (std::uint32_t sub = 0; sub < 16; ++sub) {
    auto r = ask(leaf, sub);
    if (!r) break;
    const int type = static_cast<int>(r->eax & 0x1F);
    if (type == 0) break;
    if (type > 3) continue;
    CpuidCache c;
    c.type = type;
    c.level = static_cast<int>((r->eax >> 5) & 0x7);
    const std::uint64_t ways = ((r->ebx >> 22) & 0x3FF) + 1;
    const std::uint64_t partitions = ((r->ebx >> 12) & 0x3FF) + 1;
    const std::uint64_t line = (r->ebx & 0xFFF) + 1;
    const std::uint64_t sets = static_cast<std::uint64_t>(r->ecx) + 1;
    c.sizeKB = static_cast<int>(
        std::min<std::uint64_t>(ways * partitions * line * sets / 1024, 0x7FFFFFFF));
    c.ways = static_cast<int>(std::min<std::uint64_t>(ways, 255));
    c.lineSize = static_cast<int>(line);
    c.sharingShift = CeilLog2(((r->eax >> 14) & 0xFFF) + 1);
    out.push_back(c);
  }
  return out;
}

int LegacyWays(unsigned code) {
  static constexpr int kWays[16] = {0, 1, 2, 3, 4, 0, 8, 0, 16, 0, 32, 48, 64, 96, 128, 255};
  return kWays[code & 0xF];
}

// The extended leaves 0x80000005/6 of AMD, Hygon and VIA: sizes and geometry, but not who
// shares what. The first two levels belong to each core, the third to the package.
std::vector<CacheInfo> LegacyCaches(const Ask& ask, int cores) {
  std::vector<CacheInfo> out;
  auto max = ask(0x80000000u, 0);
  if (!max || max->eax < 0x80000005u || max->eax > 0x8000FFFFu) return out;
  auto add = [&](int level, int type, int sizeKB, int ways, int line, int count) {
    if (sizeKB <= 0) return;
    CacheInfo c;
    c.level = level;
    c.type = type;
    c.sizeKB = sizeKB;
    c.ways = ways;
    c.lineSize = line;
    c.count = count;
    out.push_back(c);
  };
  if (auto l1 = ask(0x80000005u, 0)) {
    auto ways = [](std::uint32_t r) {
      const int w = static_cast<int>((r >> 16) & 0xFF);
      return w == 0xFF ? 255 : w;
    };
    add(1, 1, static_cast<int>(l1->ecx >> 24), ways(l1->ecx), static_cast<int>(l1->ecx & 0xFF),
        cores);
    add(1, 2, static_cast<int>(l1->edx >> 24), ways(l1->edx), static_cast<int>(l1->edx & 0xFF),
        cores);
  }
  if (max->eax >= 0x80000006u)
    if (auto l2 = ask(0x80000006u, 0)) {
      // An associativity field of 0 means the level is absent.
      if (((l2->ecx >> 12) & 0xF) != 0)
        add(2, 3, static_cast<int>(l2->ecx >> 16), LegacyWays(l2->ecx >> 12),
            static_cast<int>(l2->ecx & 0xFF), cores);
      if (((l2->edx >> 12) & 0xF) != 0)
        add(3, 3, static_cast<int>((l2->edx >> 18) * 512), LegacyWays(l2->edx >> 12),
            static_cast<int>(l2->edx & 0xFF), 1);
    }
  return out;
}

// APIC id and the bit positions of core and package in it.
void ReadTopology(const Ask& ask, CpuVendor vendor, CpuidProcessor& p) {
  auto l0 = ask(0, 0);
  auto l1 = ask(1, 0);
  const std::uint32_t maxBasic = l0 ? l0->eax : 0;
  if (l1) p.apicId = l1->ebx >> 24;
  for (std::uint32_t leaf : {0x1Fu, 0x0Bu}) {
    if (maxBasic < leaf) continue;
    auto first = ask(leaf, 0);
    if (!first || (first->ebx & 0xFFFF) == 0) continue;
    int last = 0;
    for (std::uint32_t sub = 0; sub < 8; ++sub) {
      auto r = ask(leaf, sub);
      if (!r) break;
      const unsigned type = (r->ecx >> 8) & 0xFF;
      if (type == 0) break;
      if (type == 1) p.smtShift = static_cast<int>(r->eax & 0x1F);
      last = static_cast<int>(r->eax & 0x1F);
    }
    p.apicId = first->edx;
    p.packageShift = last;
    return;
  }
  const bool htt = l1 && (l1->edx & (1u << 28)) != 0;
  const std::uint32_t logical = htt ? std::max<std::uint32_t>(1, (l1->ebx >> 16) & 0xFF) : 1;
  if (AmdLike(vendor)) {
    auto max = ask(0x80000000u, 0);
    const std::uint32_t ext = max ? max->eax : 0;
    int coreBits = CeilLog2(logical);
    if (ext >= 0x80000008u)
      if (auto r = ask(0x80000008u, 0)) {
        const int size = static_cast<int>((r->ecx >> 12) & 0xF);
        coreBits = size != 0 ? size : CeilLog2((r->ecx & 0xFF) + 1);
      }
    p.packageShift = coreBits;
    if (ext >= 0x8000001Eu)
      if (auto r = ask(0x8000001Eu, 0)) p.smtShift = CeilLog2(((r->ebx >> 8) & 0xFF) + 1);
    return;
  }
  std::uint32_t cores = 1;
  if (maxBasic >= 4)
    if (auto r = ask(4, 0); r && (r->eax & 0x1F) != 0) cores = ((r->eax >> 26) & 0x3F) + 1;
  p.packageShift = CeilLog2(logical);
  p.smtShift = logical > cores ? CeilLog2(logical / cores) : 0;
}

// Every logical processor's CPUID view: from the recording under a recorded machine, else by
// running on each processor in turn.
std::vector<CpuidProcessor> ReadCpuidProcessors(const std::vector<int>& cpus, CpuVendor vendor) {
  std::vector<CpuidProcessor> out;
  auto describe = [&](int cpu, const Ask& ask) {
    CpuidProcessor p;
    p.cpu = cpu;
    ReadTopology(ask, vendor, p);
    p.caches = DeterministicCaches(ask, vendor);
    out.push_back(std::move(p));
  };
  if (!platform::SysrootPrefix().empty()) {
    for (int cpu : cpus)
      if (platform::CpuidOn(cpu, 0))
        describe(cpu,
                 [cpu](std::uint32_t l, std::uint32_t s) { return platform::CpuidOn(cpu, l, s); });
    return out;
  }
  for (int cpu : cpus) {
    if (cpu < 0 || cpu >= 64) continue;
    const std::uint64_t previous = platform::SetCurrentThreadAffinity(std::uint64_t{1} << cpu);
    if (previous == 0) continue;
    describe(cpu, [](std::uint32_t l, std::uint32_t s) { return platform::Cpuid(l, s); });
    platform::SetCurrentThreadAffinity(previous);
  }
  return out;
}

// Caches of a package from the deterministic cache leaves (4 on Intel, 0x8000001D on AMD):
// one instance per distinct group of APIC ids that share it, counted over the package's
// logical processors, so processors without SMT and hybrid parts come out right. Without a
// view of the other processors, the sharing field is all there is.
std::vector<CacheInfo> CachesFromCpuid(const CpuFacts& f, const Package& pkg,
                                       const std::vector<CpuidProcessor>& views) {
  struct Key {
    int level, type;
    bool operator<(const Key& o) const {
      return level != o.level ? level < o.level : type < o.type;
    }
  };
  std::map<Key, CacheInfo> found;
  std::map<Key, std::set<std::uint32_t>> ids;
  std::size_t seen = 0;
  for (const CpuidProcessor& v : views) {
    if (std::find(pkg.cpus.begin(), pkg.cpus.end(), v.cpu) == pkg.cpus.end()) continue;
    ++seen;
    for (const CpuidCache& c : v.caches) {
      const Key k{c.level, c.type};
      auto [it, added] = found.try_emplace(k);
      if (added) {
        it->second.level = c.level;
        it->second.type = c.type;
        it->second.sizeKB = c.sizeKB;
        it->second.ways = c.ways;
        it->second.lineSize = c.lineSize;
      }
      ids[k].insert(c.sharingShift >= 32 ? 0u : v.apicId >> c.sharingShift);
    }
  }
  std::vector<CacheInfo> out;
  if (seen > 1 && seen == pkg.cpus.size()) {
    for (auto& [k, c] : found) {
      c.count = static_cast<int>(ids[k].size());
      if (c.sizeKB > 0) out.push_back(c);
    }
    return out;
  }
  const Ask first = [](std::uint32_t l, std::uint32_t s) { return platform::Cpuid(l, s); };
  const int threads = static_cast<int>(pkg.cpus.size());
  for (const CpuidCache& c : DeterministicCaches(first, f.vendor)) {
    CacheInfo info;
    info.level = c.level;
    info.type = c.type;
    info.sizeKB = c.sizeKB;
    info.ways = c.ways;
    info.lineSize = c.lineSize;
    info.count = std::max(1, threads >> std::min(c.sharingShift, 30));
    if (info.sizeKB > 0) out.push_back(info);
  }
  return out;
}

}  // namespace

CpuFacts ProbeCpu() {
  CpuFacts f;
  std::vector<CpuinfoEntry> info;
  if (auto text = platform::ReadSysFile("/proc/cpuinfo", 4 << 20)) info = ParseCpuinfo(*text);

  if (auto l0 = platform::Cpuid(0)) {
    f.haveCpuid = true;
    f.vendorId = RegsText(*l0, true);
    if (auto l1 = platform::Cpuid(1)) {
      f.signature = l1->eax;
      const int baseFamily = static_cast<int>((l1->eax >> 8) & 0xF);
      const int baseModel = static_cast<int>((l1->eax >> 4) & 0xF);
      f.stepping = static_cast<int>(l1->eax & 0xF);
      f.family =
          baseFamily == 0xF ? baseFamily + static_cast<int>((l1->eax >> 20) & 0xFF) : baseFamily;
      f.model = (baseFamily == 0x6 || baseFamily == 0xF)
                    ? baseModel + (static_cast<int>((l1->eax >> 16) & 0xF) << 4)
                    : baseModel;
    }
    auto max = platform::Cpuid(0x80000000u);
    if (max && max->eax >= 0x80000004u) {
      std::string brand;
      for (std::uint32_t leaf = 0x80000002u; leaf <= 0x80000004u; ++leaf)
        if (auto r = platform::Cpuid(leaf)) brand += RegsText(*r, false);
      f.brand = CleanText(brand);
    }
  }
  if (!info.empty()) {
    const CpuinfoEntry& e = info.front();
    if (f.vendorId.empty()) f.vendorId = e.vendor;
    if (f.family < 0) {
      f.family = e.family;
      f.model = e.model;
      f.stepping = e.stepping;
    }
    if (f.brand.empty()) f.brand = CleanText(e.modelName);
  }
  f.vendor = VendorFromId(f.vendorId);
  if (f.haveCpuid)
    IsaFromCpuid(f);
  else if (!info.empty())
    IsaFromFlags(f, info.front().flags);
  f.name = ShortProcessorName(f.brand);
  if (f.family >= 0) f.modelInfo = LookupCpuModel(f.vendor, f.family, f.model, f.stepping, f.brand);

  // Topology: online processors grouped by package, cores by core id.
  std::vector<int> online;
  if (auto list = platform::ReadSysLine("/sys/devices/system/cpu/online"))
    online = ParseCpuList(*list);
  if (online.empty())
    for (const auto& e : info) online.push_back(e.processor);
  // A recording of the processors alone: they are the machine's logical processors, and their
  // APIC ids say which package and core each belongs to.
  bool fromApicIds = false;
  if (online.empty() && f.haveCpuid) {
    online = platform::RecordedProcessors();
    fromApicIds = !online.empty();
  }
  std::vector<CpuidProcessor> views;
  auto cpuidViews = [&]() -> const std::vector<CpuidProcessor>& {
    if (views.empty() && f.haveCpuid) views = ReadCpuidProcessors(online, f.vendor);
    return views;
  };
  std::map<int, std::map<int, std::vector<int>>> byPackage;  // package -> core id -> cpus
  if (fromApicIds) {
    for (const CpuidProcessor& v : cpuidViews()) {
      const auto shift = [](std::uint32_t id, int bits) {
        return bits >= 32 ? 0 : static_cast<int>(id >> bits);
      };
      byPackage[shift(v.apicId, v.packageShift)][shift(v.apicId, v.smtShift)].push_back(v.cpu);
    }
    online.clear();
  }
  for (int cpu : online) {
    const std::string topo = "/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/topology/";
    long long pkg = -1, core = -1;
    if (auto p = platform::ReadSysInteger(topo + "physical_package_id")) pkg = *p;
    // A core is the set of threads that share it. Core ids repeat on parts built from several
    // dies (Magny-Cours numbers the cores of each die from 0), so the sibling list decides; a
    // core is keyed by its first thread.
    for (const char* list : {"thread_siblings_list", "core_cpus_list"}) {
      if (core >= 0) break;
      if (auto l = platform::ReadSysLine(topo + list)) {
        const std::vector<int> siblings = ParseCpuList(*l);
        if (!siblings.empty()) core = siblings.front();
      }
    }
    constexpr long long kById = 1LL << 20;  // keys from core ids, apart from thread numbers
    if (core < 0)
      if (auto c = platform::ReadSysInteger(topo + "core_id"); c && *c >= 0 && *c < kById)
        core = kById + *c;
    if (pkg < 0 || core < 0) {
      for (const auto& e : info)
        if (e.processor == cpu) {
          if (pkg < 0) pkg = e.physicalId;
          // Without threads per core, every processor is a core of its own.
          if (core < 0 && e.siblings > 0 && e.siblings == e.cpuCores) core = cpu;
          if (core < 0 && e.coreId >= 0 && e.coreId < kById) core = kById + e.coreId;
        }
    }
    if (pkg < 0) pkg = 0;
    if (core < 0) core = cpu;
    byPackage[static_cast<int>(pkg)][static_cast<int>(core)].push_back(cpu);
  }
  for (auto& [id, cores] : byPackage) {
    Package p;
    p.id = id;
    for (auto& [coreId, cpus] : cores) {
      std::sort(cpus.begin(), cpus.end());
      p.coreCpus.push_back(cpus.front());
      p.cpus.insert(p.cpus.end(), cpus.begin(), cpus.end());
    }
    std::sort(p.cpus.begin(), p.cpus.end());
    std::sort(p.coreCpus.begin(), p.coreCpus.end());
    p.caches = CachesFromSysfs(p);
    if (p.caches.empty() && f.haveCpuid) p.caches = CachesFromCpuid(f, p, cpuidViews());
    if (p.caches.empty() && f.haveCpuid)
      p.caches =
          LegacyCaches([](std::uint32_t l, std::uint32_t s) { return platform::Cpuid(l, s); },
                       static_cast<int>(p.coreCpus.size()));
    f.packages.push_back(std::move(p));
  }

  // Stock clock: the processor's own statement first, then the kernel's, then the brand.
  if (f.haveCpuid && f.vendor == CpuVendor::Intel) {
    auto max = platform::Cpuid(0);
    if (max && max->eax >= 0x16)
      if (auto r = platform::Cpuid(0x16); r && (r->eax & 0xFFFF) > 0)
        f.stockMHz = static_cast<int>(r->eax & 0xFFFF);
  }
  if (f.stockMHz <= 0 && !online.empty()) {
    const std::string cf =
        "/sys/devices/system/cpu/cpu" + std::to_string(online.front()) + "/cpufreq/";
    for (const char* attr : {"base_frequency", "amd_pstate_nominal_freq"})
      if (auto v = platform::ReadSysInteger(cf + attr); v && *v > 0 && f.stockMHz <= 0)
        f.stockMHz = static_cast<int>(*v / 1000);
  }
  if (f.stockMHz <= 0) f.stockMHz = ClockFromBrand(f.brand);
  return f;
}

double ReadCpuClock(int cpu, const std::vector<CpuinfoEntry>& fallback) {
  const std::string cf =
      "/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/cpufreq/scaling_cur_freq";
  if (auto v = platform::ReadSysInteger(cf); v && *v > 0) return static_cast<double>(*v) / 1000.0;
  for (const auto& e : fallback)
    if (e.processor == cpu && e.mhz > 0) return e.mhz;
  return -1;
}

}  // namespace korvane::hwprobe
