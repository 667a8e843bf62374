// The library through its binary interface: the ID table, recorded machines against their
// checked dumps, this machine against the kernel's own figures, and live sensor refreshes.
#include <gtest/gtest.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "HwDiagnose.h"
#include "HwProbe.h"
#include "QmHdwApi.h"
#include "platform/DynamicLibrary.h"
#include "platform/LibString.h"
#include "platform/Sysroot.h"

namespace fs = std::filesystem;

namespace {

// Each load gets its own copy of the library file, so the copy's machine root is read afresh
// (as the program does: it writes the library out before loading it).
fs::path FreshLibraryCopy(const std::string& tag) {
  const fs::path dir = fs::temp_directory_path() / ("hwprobe-test-" + std::to_string(getpid()));
  // The copies' folder goes when the tests end (a loaded copy needs no file any more).
  struct RemovedAtTheEnd : ::testing::Environment {
    explicit RemovedAtTheEnd(fs::path d) : dir(std::move(d)) {}
    void TearDown() override {
      std::error_code ec;
      fs::remove_all(dir, ec);
    }
    fs::path dir;
  };
  static const bool registered = (::testing::AddGlobalTestEnvironment(new RemovedAtTheEnd(dir)), true);
  (void)registered;
  fs::create_directories(dir);
  const fs::path copy = dir / ("qmhdwlib-" + tag + ".so");
  fs::copy_file(QMHDWLIB_PATH, copy, fs::copy_options::overwrite_existing);
  return copy;
}

nlohmann::ordered_json DiagnoseMachine(const std::string& machine) {
  const std::string root = std::string(KORVANE_FIXTURES_DIR) + "/machines/" + machine;
  setenv("KORVANE_SYSROOT", root.c_str(), 1);
  auto out = korvane::DiagnoseHardwareLibrary(FreshLibraryCopy(machine).c_str());
  unsetenv("KORVANE_SYSROOT");
  out.erase("library");
  return out;
}

std::string ReadText(const fs::path& p) {
  std::ifstream in(p);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(Library, HandsOutEveryCalledFunctionAndNothingElse) {
  platform::DynamicLibrary lib;
  ASSERT_TRUE(lib.Load(FreshLibraryCopy("ids").string()));
  auto query = reinterpret_cast<qmhdw::QueryInterfaceFn>(lib.Resolve("QueryInterface"));
  ASSERT_NE(query, nullptr);
  EXPECT_EQ(lib.Resolve("_ZN7korvane7hwprobe13HardwareProbe4InitEv"), nullptr);  // internals stay hidden
  const std::uint32_t called[] = {
      qmhdw::kCreateInstance, qmhdw::kDestroyInstance, qmhdw::kInit, qmhdw::kClose, qmhdw::kRefreshSensors,
      qmhdw::kGetStartupInfo, qmhdw::kRefreshProcessorClocks, qmhdw::kGetProcessorCount, qmhdw::kGetProcessorCoreCount,
      qmhdw::kGetProcessorThreadCount, qmhdw::kGetProcessorName, qmhdw::kGetProcessorCodeName,
      qmhdw::kGetProcessorSpecification, qmhdw::kGetProcessorPackage, qmhdw::kGetProcessorStepping,
      qmhdw::kGetProcessorManufacturingProcess, qmhdw::kIsProcessorInstructionSetAvailable,
      qmhdw::kGetProcessorCoreClockFrequency, qmhdw::kGetProcessorCoreClockMultiplier, qmhdw::kGetProcessorCoreVoltage,
      qmhdw::kGetBusFrequency, qmhdw::kGetProcessorRatedBusFrequency, qmhdw::kGetProcessorStockClockFrequency,
      qmhdw::kGetProcessorStockBusFrequency, qmhdw::kGetProcessorCacheLevelCount, qmhdw::kGetProcessorCacheParameters,
      qmhdw::kGetProcessorExtendedValues, qmhdw::kGetProcessorArchitectureCode, qmhdw::kGetMemoryType,
      qmhdw::kGetMemorySize, qmhdw::kGetMemoryChannelMode, qmhdw::kGetMemoryClockFrequency, qmhdw::kGetMemoryCASLatency,
      qmhdw::kGetMemoryRASToCASDelay, qmhdw::kGetMemoryRASPrecharge, qmhdw::kGetMemoryRASActive,
      qmhdw::kGetMemoryRowCycleTime, qmhdw::kGetMemoryCommandRate, qmhdw::kGetMemorySlotsLayout,
      qmhdw::kGetNorthBridgeVendor, qmhdw::kGetNorthBridgeModel, qmhdw::kGetNorthBridgeRevision,
      qmhdw::kGetSouthBridgeVendor, qmhdw::kGetSouthBridgeModel, qmhdw::kGetBIOSVendor, qmhdw::kGetBIOSVersion,
      qmhdw::kGetBIOSDate, qmhdw::kGetMainboardVendor, qmhdw::kGetMainboardModel, qmhdw::kGetMainboardExtraText1,
      qmhdw::kGetMainboardExtraText2, qmhdw::kGetMainboardExtraText3, qmhdw::kGetMainboardExtraText4,
      qmhdw::kGetMainboardExtraText5, qmhdw::kGetNumberOfDevices, qmhdw::kGetDeviceName, qmhdw::kGetDeviceClass,
      qmhdw::kGetNumberOfSensors, qmhdw::kGetSensorReading, qmhdw::kGetMemoryModuleCount, qmhdw::kGetMemoryModuleType,
      qmhdw::kGetMemoryModuleSize, qmhdw::kGetMemoryModuleManufacturer, qmhdw::kGetMemoryModuleMaxFrequency,
      qmhdw::kGetMemoryModulePartNumber, qmhdw::kGetMemoryModuleSerialNumber, qmhdw::kGetMemoryModuleMinTime1,
      qmhdw::kGetMemoryModuleMinTime2, qmhdw::kGetMemoryModuleMinTime3, qmhdw::kGetMemoryModuleMinTime4,
      qmhdw::kGetMemoryModuleManufacturingDate, qmhdw::kGetMemoryModuleExtraValue1, qmhdw::kGetMemoryModuleExtraValue2,
      qmhdw::kGetMemoryModuleTimingEntryCount, qmhdw::kGetMemoryModuleTimingEntry};
  EXPECT_EQ(std::size(called), 75u);
  for (std::uint32_t id : called) EXPECT_NE(query(id), nullptr) << std::hex << id;
  for (std::uint32_t id : qmhdw::kUnusedIds) EXPECT_EQ(query(id), nullptr) << std::hex << id;
  EXPECT_EQ(query(0), nullptr);

  // A missing instance or out-of-range arguments answer "unavailable", never crash.
  auto count = reinterpret_cast<qmhdw::IntFn>(query(qmhdw::kGetProcessorCount));
  EXPECT_EQ(count(nullptr), -1);
  auto name = reinterpret_cast<qmhdw::TextOfIntFn>(query(qmhdw::kGetProcessorName));
  EXPECT_EQ(name(nullptr, 0), nullptr);
  auto create = reinterpret_cast<qmhdw::CreateInstanceFn>(query(qmhdw::kCreateInstance));
  auto destroy = reinterpret_cast<qmhdw::VoidFn>(query(qmhdw::kDestroyInstance));
  qmhdw::Instance inst = create();
  ASSERT_NE(inst, nullptr);
  EXPECT_EQ(name(inst, 0), nullptr);  // nothing read before Init
  auto reading = reinterpret_cast<qmhdw::SensorReadingFn>(query(qmhdw::kGetSensorReading));
  qmhdw::Text sensorName = nullptr;
  EXPECT_EQ(reading(inst, 99, -1, 0x200, &sensorName, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(sensorName, nullptr);
  auto entry = reinterpret_cast<qmhdw::TimingEntryFn>(query(qmhdw::kGetMemoryModuleTimingEntry));
  entry(inst, -5, 1000, nullptr, nullptr, nullptr);
  destroy(inst);
}

class RecordedMachine : public ::testing::TestWithParam<const char*> {};

TEST_P(RecordedMachine, DiagnosisMatchesTheCheckedDump) {
  const std::string machine = GetParam();
  const auto actual = DiagnoseMachine(machine);
  const fs::path golden = fs::path(KORVANE_FIXTURES_DIR) / "machines" / (machine + ".hwlib.json");
  const auto expected = nlohmann::ordered_json::parse(ReadText(golden), nullptr, false);
  ASSERT_FALSE(expected.is_discarded()) << golden;
  for (const auto& [key, value] : expected.items())
    EXPECT_EQ(actual.value(key, nlohmann::ordered_json("<missing>")), value) << machine << ": " << key;
  for (const auto& [key, value] : actual.items())
    EXPECT_TRUE(expected.contains(key)) << machine << ": unexpected " << key << " = " << value.dump();
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RecordedMachine, ::testing::Values("intel-desktop", "amd-desktop", "laptop", "vm"));

TEST(Library, ThisMachineAgreesWithTheKernel) {
  unsetenv("KORVANE_SYSROOT");
  auto out = korvane::DiagnoseHardwareLibrary(FreshLibraryCopy("live").c_str());
  ASSERT_EQ(out.value("Init", 0), 1) << out.dump(2);
  // The brand as the processor states it (CPUID), which a hypervisor may word differently
  // from the kernel's "model name".
#if defined(__x86_64__) || defined(__i386__)
  if (__get_cpuid_max(0x80000000u, nullptr) >= 0x80000004u) {
    std::string brand;
    for (unsigned leaf = 0x80000002u; leaf <= 0x80000004u; ++leaf) {
      unsigned r[4] = {};
      __get_cpuid(leaf, &r[0], &r[1], &r[2], &r[3]);
      brand.append(reinterpret_cast<const char*>(r), sizeof r);
    }
    brand = brand.substr(0, brand.find('\0'));
    brand.erase(0, brand.find_first_not_of(' '));
    while (!brand.empty() && brand.back() == ' ') brand.pop_back();
    if (!brand.empty()) {
      EXPECT_EQ(out["GetProcessorSpecification(0)"], brand);
    }
  }
#endif
  int threads = 0;
  for (int p = 0; p < out.value("GetProcessorCount()", 0); ++p)
    threads += out["GetProcessorThreadCount(" + std::to_string(p) + ")"].get<int>();
  EXPECT_EQ(threads, sysconf(_SC_NPROCESSORS_ONLN));
  const std::string meminfo = ReadText("/proc/meminfo");
  const long long totalKB = std::atoll(meminfo.substr(meminfo.find(':') + 1).c_str());
  if (!fs::exists("/sys/firmware/dmi/tables/DMI")) {
    EXPECT_EQ(out["GetMemorySize()"], totalKB / 1024);
  }
}

// Sensor values change between refreshes; the minimum and maximum follow; a vanished input
// reads as "no reading" without disturbing the rest.
TEST(Library, RefreshSeesNewValuesAndVanishedInputs) {
  const fs::path root = fs::temp_directory_path() / ("hwprobe-refresh-" + std::to_string(getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "sys/class/hwmon/hwmon0");
  auto put = [&](const std::string& rel, const std::string& text) { std::ofstream(root / rel) << text; };
  put("sys/class/hwmon/hwmon0/name", "nct6779\n");
  put("sys/class/hwmon/hwmon0/temp2_input", "45000\n");
  put("sys/class/hwmon/hwmon0/temp2_label", "CPUTIN\n");
  put("sys/class/hwmon/hwmon0/in0_input", "1104\n");
  put("sys/class/hwmon/hwmon0/fan2_input", "1200\n");
  platform::SetSysrootPrefixForTesting(root.string());
  korvane::hwprobe::HardwareProbe probe;
  ASSERT_TRUE(probe.Init());
  EXPECT_FLOAT_EQ(probe.CoreVoltage(), 1.104f);
  put("sys/class/hwmon/hwmon0/temp2_input", "51500\n");
  put("sys/class/hwmon/hwmon0/in0_input", "garbage\n");
  probe.RefreshSensors();
  auto chips = probe.Chips();
  ASSERT_EQ(chips.size(), 1u);
  ASSERT_EQ(chips[0].sensors.size(), 3u);
  const auto& temp = chips[0].sensors[1];
  EXPECT_EQ(temp.name, "CPUTIN");
  EXPECT_FLOAT_EQ(temp.value, 51.5f);
  EXPECT_FLOAT_EQ(temp.minimum, 45.0f);
  EXPECT_FLOAT_EQ(temp.maximum, 51.5f);
  EXPECT_FALSE(chips[0].sensors[0].valid);
  EXPECT_EQ(probe.CoreVoltage(), -1.0f);
  EXPECT_EQ(chips[0].sensors[2].name, "CPUFANIN");
  fs::remove(root / "sys/class/hwmon/hwmon0/fan2_input");
  probe.RefreshSensors();
  EXPECT_FALSE(probe.Chips()[0].sensors[2].valid);
  platform::SetSysrootPrefixForTesting("");
  fs::remove_all(root);
}

// A machine whose every file is rubbish still initialises and reports what it cannot read as
// unavailable.
TEST(Library, RubbishMachineFilesGiveUnavailableValues) {
  const fs::path root = fs::temp_directory_path() / ("hwprobe-rubbish-" + std::to_string(getpid()));
  fs::remove_all(root);
  std::mt19937 rng(5);
  auto rubbish = [&](const std::string& rel, std::size_t n) {
    fs::create_directories((root / rel).parent_path());
    std::string bytes(n, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    std::ofstream(root / rel, std::ios::binary) << bytes;
  };
  rubbish("proc/cpuinfo", 3000);
  rubbish("proc/meminfo", 500);
  rubbish("sys/devices/system/cpu/online", 20);
  rubbish("sys/devices/system/cpu/cpu0/cache/index0/size", 20);
  rubbish("sys/firmware/dmi/tables/DMI", 4000);
  fs::create_directories(root / "sys/class/hwmon/hwmon0");
  std::ofstream(root / "sys/class/hwmon/hwmon0/name") << "nct6779\n";
  rubbish("sys/class/hwmon/hwmon0/temp1_input", 30);
  rubbish("sys/class/hwmon/hwmon0/temp1_label", 300);
  fs::create_directories(root / "sys/bus/i2c/devices/0-0050");
  std::ofstream(root / "sys/bus/i2c/devices/0-0050/name") << "ee1004\n";
  rubbish("sys/bus/i2c/devices/0-0050/eeprom", 512);
  fs::create_directories(root / "cpuid");
  std::ofstream(root / "cpuid/pu0") << "1 0 0 0 0 => zz\n";
  setenv("KORVANE_SYSROOT", root.c_str(), 1);
  auto out = korvane::DiagnoseHardwareLibrary(FreshLibraryCopy("rubbish").c_str());
  unsetenv("KORVANE_SYSROOT");
  EXPECT_EQ(out.value("Init", 0), 1) << out.dump(2);
  EXPECT_EQ(out["GetMemoryCASLatency()"], -1.0);
  // The unreadable input is listed but gives no reading and no name to free.
  const auto& chip = out["device 0"];
  EXPECT_EQ(chip["GetNumberOfSensors(0,0x200)"], 1);
  EXPECT_EQ(chip["GetSensorReading(0,0,0x200)"]["result"], 0);
  EXPECT_TRUE(chip["GetSensorReading(0,0,0x200)"]["name"].is_null());
  fs::remove_all(root);
}
