// The sensor readings of recorded machines, through the real hardware library reading their
// hwmon trees: every temperature, fan and core voltage on the pane a user of that machine
// expects, and a reading that changes on disk reaching the page at the next refresh.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

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

fs::path MachineDir(const std::string& machine) {
  return fs::path(KORVANE_FIXTURES_DIR) / "machines" / machine;
}

// The library started on a machine root, from a copy of its own so it reads that root afresh.
class MachineLibrary {
 public:
  explicit MachineLibrary(const fs::path& root, const fs::path& work) {
    fs::create_directories(work);
    // A file name of its own per machine: a copy loaded before under the same name could
    // still be mapped, with the other machine's readings.
    const fs::path copy = work / (root.filename().string() + "-qmhdwlib.so");
    fs::copy_file(QMHDWLIB_PATH, copy, fs::copy_options::overwrite_existing);
    setenv("KORVANE_SYSROOT", root.c_str(), 1);
    platform::SetSysrootPrefixForTesting(root.string());
    if (!lib_.Load(copy.string())) return;
    sdk_.Bind(reinterpret_cast<qmhdw::QueryInterfaceFn>(lib_.Resolve("QueryInterface")));
    if (sdk_.CreateInstance()) started_ = sdk_.Init("", copy.c_str()) == 1;
  }
  ~MachineLibrary() {
    if (sdk_.instance != nullptr) {
      sdk_.Close();
      sdk_.DestroyInstance();
    }
    unsetenv("KORVANE_SYSROOT");
    platform::SetSysrootPrefixForTesting("");
  }
  CPUIDSDK* Sdk() { return started_ ? &sdk_ : nullptr; }

 private:
  platform::DynamicLibrary lib_;
  CPUIDSDK sdk_;
  bool started_ = false;
};

const CLanguageRes& English() {
  static const CLanguageRes lang(LocaleSource::SystemWithLocale("C"));
  return lang;
}

// A private folder for the test, removed afterwards.
struct WorkDir {
  fs::path path;
  explicit WorkDir(const std::string& what)
      : path(fs::path(KORVANE_TEST_HOME) / (what + "-" + std::to_string(getpid()))) {
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~WorkDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

struct MachinePage {
  WorkDir work;
  MachineLibrary library;
  CHdwSummary page;
  explicit MachinePage(const fs::path& root)
      : work("sensors-" + root.filename().string()),
        library(root, work.path),
        page(English(), SummarySources{[this] { return library.Sdk(); },
                                       {},
                                       {},
                                       [] { return std::vector<NetworkAdapterFacts>{}; },
                                       {}}) {
    SensorsProcessState() = {};
    page.OnFirstShow(0, 0);
  }
  ~MachinePage() { SensorsProcessState() = {}; }
  const DeviceInfoModel& Control(int k, std::size_t i = 0) const {
    return page.panes[static_cast<std::size_t>(k)].controls.at(i);
  }
  std::optional<std::int32_t> Caption(int k) const {
    return page.panes[static_cast<std::size_t>(k)].temperature;
  }
  std::string Voltage() const {
    for (const auto& r : Control(kCategoryCpu).rows)
      if (r.key == "Voltage") return r.value;
    return "<no row>";
  }
  // The control of the disk whose model the row shows.
  const DeviceInfoModel* Disk(const std::string& model) const {
    for (const auto& c : page.panes[kCategoryDisk].controls)
      if (!c.rows.empty() && c.rows.front().value == model) return &c;
    return nullptr;
  }
};

}  // namespace

TEST(SensorMachines, IntelDesktopBoardChipCoreAndDrive) {
  MachinePage m(MachineDir("intel-desktop"));
  ASSERT_NE(m.library.Sdk(), nullptr);
  // Nuvoton NCT6779: CPUTIN 41, SYSTIN 39, CPUFANIN 1197, SYSFANIN 618, Vcore 0.672.
  EXPECT_EQ(m.Caption(kCategoryCpu), 41);
  EXPECT_EQ(m.Control(kCategoryCpu).temperature, 41);
  EXPECT_EQ(m.Control(kCategoryCpu).fan, 1197);
  EXPECT_EQ(m.Voltage(), "0.672 V");
  EXPECT_EQ(m.Caption(kCategoryMainboard), 39);
  EXPECT_EQ(m.Control(kCategoryMainboard).temperature, 39);
  EXPECT_EQ(m.Control(kCategoryMainboard).fan, 618);
  // nouveau on the GTX 1070, the NVMe drive on its disk.
  EXPECT_EQ(m.Control(kCategoryDisplay).temperature, 38);
  EXPECT_EQ(m.Caption(kCategoryDisplay), 38);
  const DeviceInfoModel* nvme = m.Disk("Samsung SSD 970 EVO Plus 1TB");
  ASSERT_NE(nvme, nullptr);
  EXPECT_EQ(nvme->temperature, 32);
  EXPECT_EQ(m.Caption(kCategoryDisk), 32);

  // The report carries the caption temperature and what each pane's readings came from.
  const auto doc = BuildReportDocument(m.page, English(), false);
  EXPECT_EQ(doc["panes"][0]["temperature"], 41);
  bool cputin = false;
  for (const auto& s : doc["panes"][0]["sensors"]) {
    if (s["sensor"] == "CPUTIN" && s["device"] == 0) cputin = true;
  }
  EXPECT_TRUE(cputin);
  EXPECT_NE(RenderReportText(doc).find("  41\u2103\n"), std::string::npos);
}

TEST(SensorMachines, AmdDesktopAndLaptop) {
  {
    MachinePage m(MachineDir("amd-desktop"));
    ASSERT_NE(m.library.Sdk(), nullptr);
    EXPECT_EQ(m.Control(kCategoryCpu).temperature, 34);
    EXPECT_EQ(m.Control(kCategoryCpu).fan, 1102);
    EXPECT_EQ(m.Voltage(), "0.992 V");
    EXPECT_EQ(m.Control(kCategoryMainboard).temperature, 38);
    EXPECT_EQ(m.Control(kCategoryDisplay).temperature, 50);  // amdgpu's edge sensor
    const DeviceInfoModel* nvme = m.Disk("WD Blue SN570 1TB");
    ASSERT_NE(nvme, nullptr);
    EXPECT_EQ(nvme->temperature, 41);
  }
  {
    // No board chip: the processor's package sensor is the CPU temperature, and nothing
    // claims to be the board's.
    MachinePage m(MachineDir("laptop"));
    ASSERT_NE(m.library.Sdk(), nullptr);
    EXPECT_EQ(m.Control(kCategoryCpu).temperature, 52);
    EXPECT_EQ(m.Caption(kCategoryCpu), 52);
    EXPECT_EQ(m.Voltage(), "Unknown");
    EXPECT_FALSE(m.Caption(kCategoryMainboard).has_value());
    EXPECT_EQ(m.Control(kCategoryMainboard).temperature, kNoTemperature);
  }
}

TEST(SensorMachines, ChangedReadingReachesThePaneAtTheNextRefresh) {
  WorkDir copy("sensors-copy");
  const fs::path root = copy.path / "intel-desktop-live";
  fs::copy(MachineDir("intel-desktop"), root,
           fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  MachinePage m(root);
  ASSERT_NE(m.library.Sdk(), nullptr);
  ASSERT_EQ(m.Caption(kCategoryCpu), 41);

  // The NCT6779's CPUTIN input, and its fan, as the kernel would update them.
  const fs::path chip = root / "sys/class/hwmon/hwmon4";
  ASSERT_EQ(std::ifstream(chip / "name").rdbuf() != nullptr, true);
  std::ofstream(chip / "temp2_input") << "63500\n";
  std::ofstream(chip / "fan2_input") << "2210\n";
  m.page.RefreshValues(false);
  EXPECT_EQ(m.Caption(kCategoryCpu), 41);  // the library has not refreshed yet
  m.library.Sdk()->RefreshSensors();
  m.page.RefreshValues(false);
  EXPECT_EQ(m.Caption(kCategoryCpu), 64);
  EXPECT_EQ(m.Control(kCategoryCpu).temperature, 64);
  EXPECT_EQ(m.Control(kCategoryCpu).fan, 2210);
}
