// The detectors over the real hardware library and the machine's own sources: the recorded
// fixture machines, and the machine the tests run on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "config/LanguageRes.h"
#include "detect/CpuHelper.h"
#include "detect/DetectDiagnose.h"
#include "detect/HddHelper.h"
#include "detect/MemoryHelper.h"
#include "platform/DynamicLibrary.h"
#include "platform/Sysroot.h"
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
    fs::remove(copy_.parent_path(), ec);  // only once the last copy is gone
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

void ExpectCachesMatchTheKernel(const CCPUHelper& cpu, const std::string& where) {
  const auto kernel = KernelCaches();
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

std::map<std::string, std::string> CpuinfoFirstProcessor() {
  std::ifstream in("/proc/cpuinfo");
  std::map<std::string, std::string> out;
  std::string line;
  while (std::getline(in, line) && !line.empty()) {
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string key = line.substr(0, colon);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
    std::string value = colon + 1 < line.size() ? line.substr(colon + 1) : "";
    value.erase(0, value.find_first_not_of(' '));
    out[key] = value;
  }
  return out;
}

TEST(ThisMachine, ProcessorAsTheKernelSeesIt) {
  const auto info = CpuinfoFirstProcessor();
  if (!info.count("cpu family") || !info.count("flags")) GTEST_SKIP() << "not an x86 processor";
  StartedLibrary lib("");
  ASSERT_TRUE(lib.Started());
  ResetCacheLineInfoCallsForTesting();
  CCPUHelper cpu(Over(lib));
  cpu.vUpdate();
  ASSERT_GE(cpu.count, 1);
  EXPECT_EQ(cpu.texts[0][kCpuTextSpecification], CleanSpecificationText(info.at("model name")));
  EXPECT_EQ(cpu.texts[0][kCpuTextSpecification].find("  "), std::string::npos);
  const int family = std::stoi(info.at("cpu family"));
  const int model = std::stoi(info.at("model"));
  const int stepping = std::stoi(info.at("stepping"));
  EXPECT_EQ(cpu.texts[0][kCpuTextIdentification], "Family " + std::to_string(std::min(family, 15)) +
                                                      " Model " + std::to_string(model & 0xF) +
                                                      " Stepping " + std::to_string(stepping));
  std::istringstream flags(" " + info.at("flags") + " ");
  const std::string f = flags.str();
  auto has = [&](const char* flag) {
    return f.find(std::string(" ") + flag + " ") != std::string::npos;
  };
  const std::string& sets = cpu.texts[0][kCpuTextInstructionSets];
  EXPECT_EQ(sets.rfind("MMX", 0) == 0, has("mmx")) << sets;
  EXPECT_EQ(sets.find(", SSE2") != std::string::npos, has("sse2")) << sets;
  EXPECT_EQ(sets.find(", SSE4.2") != std::string::npos, has("sse4_2")) << sets;
  EXPECT_EQ(sets.find(", x86-64") != std::string::npos, has("lm")) << sets;
  ExpectCachesMatchTheKernel(cpu, "this machine");
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
