// The summary page over the real hardware library and detectors on recorded machines: every
// pane as a user of that machine sees it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "config/LanguageRes.h"
#include "hwlib/CpuidSdk.h"
#include "platform/DynamicLibrary.h"
#include "platform/Sysroot.h"
#include "summary/HdwSummary.h"
#include "summary/SummaryReport.h"

namespace fs = std::filesystem;
using namespace korvane;
using namespace korvane::summary;

namespace {

// The library started on a recorded machine, from a copy of its own so the copy reads that
// machine's root afresh.
class MachineLibrary {
 public:
  explicit MachineLibrary(const std::string& machine) {
    const std::string root = std::string(KORVANE_FIXTURES_DIR) + "/machines/" + machine;
    dir_ = fs::path(KORVANE_TEST_HOME) / ("summary-machine-" + std::to_string(getpid()));
    fs::create_directories(dir_);
    copy_ = dir_ / (machine + "-qmhdwlib.so");
    fs::copy_file(QMHDWLIB_PATH, copy_, fs::copy_options::overwrite_existing);
    setenv("KORVANE_SYSROOT", root.c_str(), 1);
    platform::SetSysrootPrefixForTesting(root);
    if (!lib_.Load(copy_.string())) return;
    sdk_.Bind(reinterpret_cast<qmhdw::QueryInterfaceFn>(lib_.Resolve("QueryInterface")));
    if (sdk_.CreateInstance()) started_ = sdk_.Init("", copy_.c_str()) == 1;
  }
  ~MachineLibrary() {
    if (sdk_.instance != nullptr) {
      sdk_.Close();
      sdk_.DestroyInstance();
    }
    unsetenv("KORVANE_SYSROOT");
    platform::SetSysrootPrefixForTesting("");
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  CPUIDSDK* Sdk() { return started_ ? &sdk_ : nullptr; }

 private:
  fs::path dir_, copy_;
  platform::DynamicLibrary lib_;
  CPUIDSDK sdk_;
  bool started_ = false;
};

const CLanguageRes& English() {
  static const CLanguageRes lang(LocaleSource::SystemWithLocale("C"));
  return lang;
}

// The page of a machine after its first show, with the network and sound detectors replaced by
// nothing (the recorded machines carry no network state).
struct MachinePage {
  MachineLibrary library;
  CHdwSummary page;
  explicit MachinePage(const std::string& machine)
      : library(machine),
        page(English(), SummarySources{[this] { return library.Sdk(); },
                                       {},
                                       {},
                                       [] { return std::vector<NetworkAdapterFacts>{}; },
                                       {}}) {
    page.OnFirstShow(0, 0);
  }
  std::string Value(int category, std::string_view key, std::size_t control = 0) const {
    for (const auto& r : page.panes[static_cast<std::size_t>(category)].controls.at(control).rows) {
      if (r.key == key) return r.value;
    }
    return "<no row " + std::string(key) + ">";
  }
};

}  // namespace

TEST(SummaryMachines, IntelDesktop) {
  MachinePage m("intel-desktop");
  ASSERT_NE(m.library.Sdk(), nullptr);
  const auto& p = m.page.panes;
  EXPECT_EQ(p[kCategoryCpu].caption, "Intel Core i7-6700K @ 4.20GHz (Overclock)");
  EXPECT_EQ(p[kCategoryCpu].controls.size(), 2u);
  EXPECT_EQ(m.Value(kCategoryCpu, "StockCoreFrequency", 1), "4000MHz ( 100MHz x 40.0 )");
  EXPECT_EQ(m.Value(kCategoryMainboard, "LPCIO"), "Nuvoton NCT6779");
  EXPECT_EQ(m.Value(kCategoryMemory, "MemoryName"),
            "Apacer Technology AQD-D4U32N32-SBW DDR4 3200MHz");
  EXPECT_EQ(m.Value(kCategoryMemory, "TotalSize"), "64 GB (32G + 32G)");
  EXPECT_EQ(m.Value(kCategoryMemory, "DIMM.1"),
            "Apacer Technology AQD-D4U32N32-SBW DDR4 3200MHz (32GB)");
  EXPECT_EQ(m.Value(kCategoryMemory, "DIMM.3"),
            "Apacer Technology AQD-D4U32N32-SBW DDR4 3200MHz (32GB)");
  EXPECT_EQ(p[kCategoryDisplay].caption, "NVIDIA GeForce GTX 1070 ( 256MB )");
  EXPECT_EQ(p[kCategoryDisplay].controls.front().icon, kIconNvidia);
  EXPECT_EQ(m.Value(kCategoryMonitor, "MonitorScale"), "16 : 9");
  EXPECT_EQ(p[kCategoryDisk].controls.size(), 3u);
  EXPECT_EQ(p[kCategoryDisk].caption, "Samsung SSD 970 EVO Plus 1TB ( 1 TB )");
  EXPECT_EQ(p[kCategorySound].caption, "Realtek ALC898");
  EXPECT_EQ(p[kCategoryNetwork].caption, "(Dafault Standard Device)");
  // Every pane has a caption, so the report shows every category.
  const auto doc = BuildReportDocument(m.page, English(), false);
  for (const auto& pane : doc["panes"])
    EXPECT_FALSE(pane["caption"].get<std::string>().empty()) << pane["id"];
}

TEST(SummaryMachines, AmdDesktopWithDdr5) {
  MachinePage m("amd-desktop");
  ASSERT_NE(m.library.Sdk(), nullptr);
  EXPECT_EQ(m.page.panes[kCategoryCpu].controls.front().icon, kIconAmd);
  EXPECT_EQ(m.Value(kCategoryMemory, "MemoryType"), "DDR5");
  EXPECT_EQ(m.Value(kCategoryMemory, "MemoryName"),
            "Micron Technology MTC40F2046S1RC48BA1 DDR5 4800MHz");
  EXPECT_EQ(m.page.panes[kCategoryDisplay].controls.front().icon, kIconAti);
}

TEST(SummaryMachines, LaptopUnderclocked) {
  MachinePage m("laptop");
  ASSERT_NE(m.library.Sdk(), nullptr);
  // Measured below stock: both clocks in the caption, the measured one in the name row.
  EXPECT_EQ(m.page.panes[kCategoryCpu].caption, "Intel Core i7-1370P @ 1.20GHz/2.20GHz");
  EXPECT_EQ(m.Value(kCategoryCpu, "ProcessorName"), "Intel Core i7-1370P @ 1.20GHz");
  EXPECT_EQ(m.Value(kCategoryMainboard, "MainBoardName"), "HP 8B41 (Intel Corporation 4621)");
}
