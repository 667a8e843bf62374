#include "Cpu.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
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
    std::string part = t.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    std::size_t dash = part.find('-');
    long long a = 0, b = 0;
    if (dash == std::string::npos) {
      if (ParseInt(part, a) && a >= 0 && a < 65536) out.push_back(static_cast<int>(a));
    } else if (ParseInt(part.substr(0, dash), a) && ParseInt(part.substr(dash + 1), b) && a >= 0 && b >= a &&
               b < 65536) {
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
  if (std::size_t with = b.find(" with "); with != std::string::npos) b.resize(with);
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
  std::string out;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    std::string lower = word;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "cpu" || lower == "processor") continue;
    if (lower.size() > 5 && lower.substr(lower.size() - 5) == "-core") continue;
    // "13th Gen Intel Core ..." keeps the name, not the generation.
    if (i + 1 < words.size() && words[i + 1] == "Gen" && !lower.empty() && std::isdigit(static_cast<unsigned char>(lower[0])))
      { ++i; continue; }
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
    if (c == ' ') { if (!w.empty()) set.insert(w); w.clear(); } else { w.push_back(c); }
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

int ParseSizeKB(std::string_view s) {
  std::string t = Trim(s);
  if (t.empty()) return 0;
  char* end = nullptr;
  long long v = std::strtoll(t.c_str(), &end, 10);
  if (end == t.c_str() || v < 0) return 0;
  if (*end == 'M') v *= 1024;
  else if (*end == 'G') v *= 1024 * 1024;
  return static_cast<int>(std::min<long long>(v, 1 << 30));
}

// Caches of one package from sysfs: each distinct sharing set is one instance.
std::vector<CacheInfo> CachesFromSysfs(const Package& pkg) {
  struct Key { int level, type; bool operator<(const Key& o) const { return level != o.level ? level < o.level : type < o.type; } };
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
        if (auto sz = platform::ReadSysLine(d + "/size")) c.sizeKB = ParseSizeKB(*sz);
        if (auto w = platform::ReadSysInteger(d + "/ways_of_associativity")) c.ways = static_cast<int>(std::clamp<long long>(*w, 0, 255));
        if (auto l = platform::ReadSysInteger(d + "/coherency_line_size")) c.lineSize = static_cast<int>(std::clamp<long long>(*l, 0, 65535));
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

// Caches of a package from CPUID leaf 4 (Intel) or 0x8000001D (AMD).
std::vector<CacheInfo> CachesFromCpuid(const CpuFacts& f, int threadsInPackage) {
  std::vector<CacheInfo> out;
  std::uint32_t leaf = 4;
  if (f.vendor == CpuVendor::Amd || f.vendor == CpuVendor::Hygon) {
    auto max = platform::Cpuid(0x80000000u);
    if (!max || max->eax < 0x8000001Du) return out;
    leaf = 0x8000001Du;
  } else {
    auto max = platform::Cpuid(0);
    if (!max || max->eax < 4) return out;
  }
  for (std::uint32_t sub = 0; sub < 16; ++sub) {
    auto r = platform::Cpuid(leaf, sub);
    if (!r) break;
    const int type = static_cast<int>(r->eax & 0x1F);
    if (type == 0) break;
    if (type > 3) continue;
    CacheInfo c;
    c.type = type;
    c.level = static_cast<int>((r->eax >> 5) & 0x7);
    c.ways = static_cast<int>(((r->ebx >> 22) & 0x3FF) + 1);
    const std::uint64_t partitions = ((r->ebx >> 12) & 0x3FF) + 1;
    c.lineSize = static_cast<int>((r->ebx & 0xFFF) + 1);
    const std::uint64_t sets = static_cast<std::uint64_t>(r->ecx) + 1;
    c.sizeKB = static_cast<int>(static_cast<std::uint64_t>(c.ways) * partitions * c.lineSize * sets / 1024);
    const int sharing = static_cast<int>(((r->eax >> 14) & 0xFFF) + 1);
    c.count = std::max(1, threadsInPackage / sharing);
    if (c.ways > 255) c.ways = 255;
    out.push_back(c);
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
      f.family = baseFamily == 0xF ? baseFamily + static_cast<int>((l1->eax >> 20) & 0xFF) : baseFamily;
      f.model = (baseFamily == 0x6 || baseFamily == 0xF) ? baseModel + (static_cast<int>((l1->eax >> 16) & 0xF) << 4) : baseModel;
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
    if (f.family < 0) { f.family = e.family; f.model = e.model; f.stepping = e.stepping; }
    if (f.brand.empty()) f.brand = CleanText(e.modelName);
  }
  f.vendor = VendorFromId(f.vendorId);
  if (f.haveCpuid) IsaFromCpuid(f);
  else if (!info.empty()) IsaFromFlags(f, info.front().flags);
  f.name = ShortProcessorName(f.brand);
  if (f.family >= 0) f.modelInfo = LookupCpuModel(f.vendor, f.family, f.model, f.stepping, f.brand);

  // Topology: online processors grouped by package, cores by core id.
  std::vector<int> online;
  if (auto list = platform::ReadSysLine("/sys/devices/system/cpu/online")) online = ParseCpuList(*list);
  if (online.empty())
    for (const auto& e : info) online.push_back(e.processor);
  std::map<int, std::map<int, std::vector<int>>> byPackage;  // package -> core id -> cpus
  for (int cpu : online) {
    const std::string topo = "/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/topology/";
    long long pkg = -1, core = -1;
    if (auto p = platform::ReadSysInteger(topo + "physical_package_id")) pkg = *p;
    if (auto c = platform::ReadSysInteger(topo + "core_id")) core = *c;
    if (pkg < 0 || core < 0) {
      for (const auto& e : info)
        if (e.processor == cpu) {
          if (pkg < 0) pkg = e.physicalId;
          if (core < 0) core = e.coreId;
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
    if (p.caches.empty() && f.haveCpuid) p.caches = CachesFromCpuid(f, static_cast<int>(p.cpus.size()));
    f.packages.push_back(std::move(p));
  }

  // Stock clock: the processor's own statement first, then the kernel's, then the brand.
  if (f.haveCpuid && f.vendor == CpuVendor::Intel) {
    auto max = platform::Cpuid(0);
    if (max && max->eax >= 0x16)
      if (auto r = platform::Cpuid(0x16); r && (r->eax & 0xFFFF) > 0) f.stockMHz = static_cast<int>(r->eax & 0xFFFF);
  }
  if (f.stockMHz <= 0 && !online.empty()) {
    const std::string cf = "/sys/devices/system/cpu/cpu" + std::to_string(online.front()) + "/cpufreq/";
    for (const char* attr : {"base_frequency", "amd_pstate_nominal_freq"})
      if (auto v = platform::ReadSysInteger(cf + attr); v && *v > 0 && f.stockMHz <= 0)
        f.stockMHz = static_cast<int>(*v / 1000);
  }
  if (f.stockMHz <= 0) f.stockMHz = ClockFromBrand(f.brand);
  return f;
}

double ReadCpuClock(int cpu, const std::vector<CpuinfoEntry>& fallback) {
  const std::string cf = "/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/cpufreq/scaling_cur_freq";
  if (auto v = platform::ReadSysInteger(cf); v && *v > 0) return static_cast<double>(*v) / 1000.0;
  for (const auto& e : fallback)
    if (e.processor == cpu && e.mhz > 0) return e.mhz;
  return -1;
}

}  // namespace korvane::hwprobe
