// The detectors over the real hardware library and the machine's own sources: the recorded
// fixture machines, and the machine the tests run on.
#include <gtest/gtest.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>

#include "config/LanguageRes.h"
#include "detect/CpuHelper.h"
#include "detect/DetectDiagnose.h"
#include "detect/HddHelper.h"
#include "detect/MemoryHelper.h"
#include "platform/DynamicLibrary.h"
#include "platform/Sysroot.h"
#include "platform/Text.h"
#include "sysinfo/Wmi.h"

namespace fs = std::filesystem;

namespace {

using namespace korvane;

// The library started on one machine root (empty = this machine). Each start loads its own copy
// of the file so the copy reads its root afresh, as the program's written-out copy does.
class StartedLibrary {
 public:
  explicit StartedLibrary(const std::string& root) {
    const fs::path dir = fs::temp_directory_path() / ("detect-test-" + std::to_string(getpid()));
    fs::create_directories(dir);
    copy_ = dir / ("qmhdwlib-" + std::to_string(++loads_) + ".so");
    fs::copy_file(QMHDWLIB_PATH, copy_, fs::copy_options::overwrite_existing);
    if (root.empty()) {
      unsetenv("KORVANE_SYSROOT");
    } else {
      setenv("KORVANE_SYSROOT", root.c_str(), 1);
    }
    platform::SetSysrootPrefixForTesting(root);
    if (!lib_.Load(copy_.string())) return;
    sdk_.Bind(reinterpret_cast<qmhdw::QueryInterfaceFn>(lib_.Resolve("QueryInterface")));
    if (sdk_.CreateInstance()) started_ = sdk_.Init("", copy_.c_str()) == 1;
  }
  ~StartedLibrary() {
    if (sdk_.instance != nullptr) {
      sdk_.Close();
      sdk_.DestroyInstance();
    }
    unsetenv("KORVANE_SYSROOT");
    platform::SetSysrootPrefixForTesting("");
    std::error_code ec;
    fs::remove(copy_, ec);
    fs::remove(copy_.parent_path(), ec);  // only once empty: another start may still use it
  }
  bool Started() const { return started_; }
  CPUIDSDK* Sdk() { return &sdk_; }

 private:
  static inline int loads_ = 0;
  fs::path copy_;
  platform::DynamicLibrary lib_;
  CPUIDSDK sdk_;
  bool started_ = false;
};

CpuSources Over(StartedLibrary& lib) {
  CpuSources s;
  s.library = [&lib] { return lib.Sdk(); };
  return s;
}

struct KernelCache {
  int group;
  std::int32_t sizeKB;
  int ways, line;
};

// The cache tree of cpu0 as the kernel lists it (through the current root).
std::vector<KernelCache> KernelCaches() {
  std::vector<KernelCache> out;
  const std::string base = "/sys/devices/system/cpu/cpu0/cache";
  for (const std::string& entry : platform::ListSysDir(base)) {
    if (entry.rfind("index", 0) != 0) continue;
    const std::string dir = base + "/" + entry;
    const auto level = platform::ReadSysInteger(dir + "/level").value_or(0);
    const std::string type = platform::ReadSysLine(dir + "/type").value_or("");
    std::string size = platform::ReadSysLine(dir + "/size").value_or("0K");
    std::int32_t kb = std::atoi(size.c_str());
    if (!size.empty() && size.back() == 'M') kb *= 1024;
    const int group = level == 1 ? (type == "Data" ? 0 : 1) : level == 2 ? 3 : level == 3 ? 4 : -1;
    if (group < 0) continue;
    out.push_back(
        {group, kb,
         static_cast<int>(platform::ReadSysInteger(dir + "/ways_of_associativity").value_or(0)),
         static_cast<int>(platform::ReadSysInteger(dir + "/coherency_line_size").value_or(0))});
  }
  return out;
}

// Recorded machines all list their caches; a live machine may not (some hypervisors hide the
// cache tree), and then there is nothing to compare with.
void ExpectCachesMatchTheKernel(const CCPUHelper& cpu, const std::string& where,
                                bool kernelMustList = true) {
  const auto kernel = KernelCaches();
  if (!kernelMustList && kernel.empty()) return;
  ASSERT_FALSE(kernel.empty()) << where;
  for (const KernelCache& k : kernel) {
    const _CACHE_DESCRIPTOR& c = cpu.caches[0][static_cast<std::size_t>(k.group)];
    EXPECT_EQ(c.sizeKB, k.sizeKB) << where << " group " << k.group;
    EXPECT_EQ(c.ways, k.ways) << where << " group " << k.group;
    EXPECT_EQ(c.lineSize, k.line) << where << " group " << k.group;
  }
}

struct Machine {
  const char* name;
  const char* brandString;
  const char* identification;
  std::int32_t stockClock;
  float coreClock;
  std::vector<std::string> diskSizes;  // sorted
  std::int32_t totalMiB, usedMiB;
};

const Machine kMachines[] = {
    {"intel-desktop",
     "Intel Core i7-6700K CPU @ 4.00GHz",
     "Family 6 Model 14 Stepping 3",
     4000,
     4200.0f,
     {"1000204886016", "16008609792", "2000398934016"},
     32026,
     2855},
    {"amd-desktop",
     "AMD Ryzen 9 7900X 12-Core Processor",
     "Family 15 Model 1 Stepping 2",
     4700,
     5300.0f,
     {"1000204886016"},
     128102,
     10904},
    {"laptop",
     "13th Gen Intel Core i7-1370P",
     "Family 6 Model 10 Stepping 2",
     2200,
     1203.514f,
     {"500107862016"},
     31728,
     3471},
    {"vm", "AMD EPYC", "Family 15 Model 1 Stepping 1", 0, 2596.148f, {"274877906944"}, 24105, 3042},
};

void PrintTo(const Machine& m, std::ostream* os) { *os << m.name; }

class RecordedMachine : public ::testing::TestWithParam<Machine> {};

TEST_P(RecordedMachine, FullPassFindsWhatTheMachineHas) {
  const Machine& m = GetParam();
  StartedLibrary lib(std::string(KORVANE_FIXTURES_DIR) + "/machines/" + m.name);
  ASSERT_TRUE(lib.Started()) << m.name;
  SetWmiProviderForTesting(nullptr);

  ResetCacheLineInfoCallsForTesting();
  CCPUHelper cpu(Over(lib));
  CMemoryHelper memory;
  CHddHelper hdd;
  DetectionPass pass;
  pass.processor = &cpu;
  pass.memory = &memory;
  pass.disk = &hdd;
  RunDetectionPass(pass);

  ASSERT_EQ(cpu.count, 1) << m.name;
  EXPECT_EQ(cpu.texts[0][kCpuTextSpecification], m.brandString);
  EXPECT_EQ(cpu.texts[0][kCpuTextIdentification], m.identification);
  const std::string& sets = cpu.texts[0][kCpuTextInstructionSets];
  EXPECT_EQ(sets.rfind("MMX", 0), 0u) << sets;
  EXPECT_NE(sets.find(", SSE, SSE2, SSE3, SSSE3, SSE4.1, SSE4.2"), std::string::npos) << sets;
  EXPECT_NE(cpu.texts[0][kCpuTextInstructionSets].find(", x86-64"), std::string::npos);
  EXPECT_FALSE(cpu.texts[0][kCpuTextName].empty());
  EXPECT_EQ(cpu.stockClock[0], m.stockClock);
  EXPECT_FLOAT_EQ(cpu.coreClock[0], m.coreClock);
  EXPECT_GT(cpu.coreCount[0], 0);
  EXPECT_GE(cpu.threadCount[0], cpu.coreCount[0]);
  ExpectCachesMatchTheKernel(cpu, m.name);

  cpu.vRefresh();
  EXPECT_FLOAT_EQ(cpu.coreClock[0], m.coreClock);
  EXPECT_EQ(cpu.count, 1);

  EXPECT_EQ(memory.totalMiB, m.totalMiB);
  EXPECT_EQ(memory.usedMiB, m.usedMiB);

  EXPECT_EQ(hdd.detected, 1);
  std::vector<std::string> sizes;
  for (int i = 0; i < hdd.count; ++i) sizes.push_back(hdd.disks[static_cast<std::size_t>(i)].size);
  std::sort(sizes.begin(), sizes.end());
  EXPECT_EQ(sizes, m.diskSizes);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RecordedMachine, ::testing::ValuesIn(kMachines),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           std::replace(n.begin(), n.end(), '-', '_');
                           return n;
                         });

TEST(RecordedMachineIntel, TextsOfTheDesktop) {
  StartedLibrary lib(std::string(KORVANE_FIXTURES_DIR) + "/machines/intel-desktop");
  ASSERT_TRUE(lib.Started());
  ResetCacheLineInfoCallsForTesting();
  CCPUHelper cpu(Over(lib));
  cpu.vUpdate();
  EXPECT_EQ(cpu.texts[0][kCpuTextInstructionSets],
            "MMX, SSE, SSE2, SSE3, SSSE3, SSE4.1, SSE4.2, x86-64");
  EXPECT_EQ(cpu.texts[0][kCpuTextProcessTechnology], "14 " + LangText(5011));
  EXPECT_EQ(cpu.texts[0][kCpuTextCodeName], "Skylake-S");
  EXPECT_EQ(cpu.texts[0][kCpuTextPackage], "Socket 1151 LGA");
  EXPECT_EQ(cpu.busClock[0], 100);
  EXPECT_EQ(cpu.unlockedMultiplier[0], 0);
}

// What this processor says of itself through CPUID: the source the library reads. The kernel's
// /proc/cpuinfo is not used here: under a hypervisor its brand and flags may differ from what
// the instruction answers (a guest can see "AMD EPYC" there and a vendor-specific brand here).
struct CpuidView {
  std::string brand;
  int baseFamily = 0, baseModel = 0, stepping = 0;
  bool mmx = false, sse2 = false, sse42 = false, longMode = false;
};

std::optional<CpuidView> ReadCpuid() {
#if defined(__x86_64__) || defined(__i386__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return std::nullopt;
  CpuidView v;
  v.baseFamily = static_cast<int>((a >> 8) & 0xF);
  v.baseModel = static_cast<int>((a >> 4) & 0xF);
  v.stepping = static_cast<int>(a & 0xF);
  v.mmx = (d >> 23) & 1;
  v.sse2 = (d >> 26) & 1;
  v.sse42 = (c >> 20) & 1;
  if (__get_cpuid_max(0x80000000u, nullptr) >= 0x80000004u) {
    for (unsigned leaf = 0x80000002u; leaf <= 0x80000004u; ++leaf) {
      unsigned r[4] = {};
      __get_cpuid(leaf, &r[0], &r[1], &r[2], &r[3]);
      v.brand.append(reinterpret_cast<const char*>(r), sizeof r);
    }
    v.brand = v.brand.substr(0, v.brand.find('\0'));
  }
  if (__get_cpuid(0x80000001u, &a, &b, &c, &d) != 0) v.longMode = (d >> 29) & 1;
  return v;
#else
  return std::nullopt;
#endif
}

TEST(ThisMachine, ProcessorAsItDescribesItself) {
  const auto id = ReadCpuid();
  if (!id) GTEST_SKIP() << "not an x86 processor";
  StartedLibrary lib("");
  ASSERT_TRUE(lib.Started());
  ResetCacheLineInfoCallsForTesting();
  CCPUHelper cpu(Over(lib));
  cpu.vUpdate();
  ASSERT_GE(cpu.count, 1);
  // A processor without the brand leaves (old or odd hypervisors) is described otherwise.
  if (!platform::Trim(id->brand).empty()) {
    EXPECT_EQ(cpu.texts[0][kCpuTextSpecification],
              CleanSpecificationText(platform::Trim(id->brand)));
  }
  EXPECT_EQ(cpu.texts[0][kCpuTextSpecification].find("  "), std::string::npos);
  EXPECT_EQ(cpu.texts[0][kCpuTextIdentification], "Family " + std::to_string(id->baseFamily) +
                                                      " Model " + std::to_string(id->baseModel) +
                                                      " Stepping " + std::to_string(id->stepping));
  const std::string& sets = cpu.texts[0][kCpuTextInstructionSets];
  EXPECT_EQ(sets.rfind("MMX", 0) == 0, id->mmx) << sets;
  EXPECT_EQ(sets.find(", SSE2") != std::string::npos, id->sse2) << sets;
  EXPECT_EQ(sets.find(", SSE4.2") != std::string::npos, id->sse42) << sets;
  EXPECT_EQ(sets.find(", x86-64") != std::string::npos, id->longMode) << sets;
  ExpectCachesMatchTheKernel(cpu, "this machine", false);
}

TEST(Diagnosis, WithoutTheLibraryTheOtherDetectorsStillReport) {
  platform::SetSysrootPrefixForTesting(std::string(KORVANE_FIXTURES_DIR) + "/machines/vm");
  SetWmiProviderForTesting(nullptr);
  const auto out = DiagnoseDetectors();
  platform::SetSysrootPrefixForTesting("");
  EXPECT_TRUE(out["cpu"]["processors"].empty());
  EXPECT_EQ(out["memory"]["totalMiB"], 24105);
  EXPECT_EQ(out["memory"]["status"]["dwLength"], 64);
  ASSERT_EQ(out["disks"]["disks"].size(), 1u);
  EXPECT_EQ(out["disks"]["disks"][0]["size"], "274877906944");
  EXPECT_EQ(out["disks"]["disks"][0]["sourceIndex"],
            nlohmann::ordered_json::array({-1, -1, -1, -1}));
  EXPECT_NO_THROW((void)out.dump());
}

TEST(Diagnosis, DescribesEveryProcessorField) {
  StartedLibrary lib(std::string(KORVANE_FIXTURES_DIR) + "/machines/laptop");
  ASSERT_TRUE(lib.Started());
  ResetCacheLineInfoCallsForTesting();
  const auto out = DiagnoseDetectors(lib.Sdk());
  ASSERT_EQ(out["cpu"]["processors"].size(), 1u);
  const auto& p = out["cpu"]["processors"][0];
  EXPECT_EQ(p["texts"].size(), 8u);
  EXPECT_EQ(p["texts"]["brandString"], "13th Gen Intel Core i7-1370P");
  EXPECT_EQ(p["caches"]["l1Data"]["ways"], 12);
  EXPECT_EQ(p["caches"]["l2"]["sizeKB"], 1280);
  EXPECT_EQ(p["caches"]["l3"]["lineSize"], 64);
  EXPECT_EQ(p["stockClock"], 2200);
  EXPECT_EQ(out["memory"]["usedMiB"], 3471);
  EXPECT_EQ(out["disks"]["count"], 1);
}

}  // namespace
