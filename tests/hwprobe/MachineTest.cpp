// The probe over small machines built in a temporary root: chip discovery and naming, CPUID
// cache fallback, firmware tables with large modules, and calls from several threads at once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <fstream>
#include <thread>

#include "HwProbe.h"
#include "QmHdwApi.h"
#include "platform/Sysroot.h"

namespace fs = std::filesystem;
using namespace korvane::hwprobe;

namespace {

class TempMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("hwprobe-machine-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
    // An empty CPUID recording keeps the processor running the tests out of the answers.
    Put("cpuid/pu0", "# mask e[abcd]x => e[abcd]x\n");
  }
  void TearDown() override {
    platform::SetSysrootPrefixForTesting("");
    fs::remove_all(root_);
  }
  void Put(const std::string& rel, const std::string& text) {
    fs::create_directories((root_ / rel).parent_path());
    std::ofstream(root_ / rel, std::ios::binary) << text;
  }
  void Link(const std::string& rel, const std::string& target) {
    fs::create_directories((root_ / rel).parent_path());
    fs::create_directory_symlink(target, root_ / rel);
  }
  void Use() { platform::SetSysrootPrefixForTesting(root_.string()); }
  fs::path root_;
};

std::vector<std::uint8_t> Structure(std::uint8_t type, std::vector<std::uint8_t> body, std::vector<std::string> strings) {
  std::vector<std::uint8_t> out = {type, static_cast<std::uint8_t>(4 + body.size()), 0, 0};
  out.insert(out.end(), body.begin(), body.end());
  for (const auto& s : strings) {
    out.insert(out.end(), s.begin(), s.end());
    out.push_back(0);
  }
  if (strings.empty()) out.push_back(0);
  out.push_back(0);
  return out;
}

void Le16(std::vector<std::uint8_t>& b, std::size_t off, unsigned v) {
  b[off] = v & 0xFF;
  b[off + 1] = (v >> 8) & 0xFF;
}

}  // namespace

TEST_F(TempMachine, ChipsAreFoundOrderedAndNamedFromTheirDevices) {
  Put("sys/class/hwmon/hwmon9/name", "acpitz\n");
  Put("sys/class/hwmon/hwmon9/temp1_input", "27800\n");
  Put("sys/class/hwmon/hwmon10/name", "nvme\n");
  Put("sys/class/hwmon/hwmon10/temp1_input", "31850\n");
  Put("sys/class/hwmon/hwmon10/temp1_label", "Composite\n");
  Put("sys/devices/pci0000:00/0000:02:00.0/nvme/nvme0/model", "WD Blue SN570 1TB        \n");
  Link("sys/class/hwmon/hwmon10/device", "../../../devices/pci0000:00/0000:02:00.0/nvme/nvme0");
  // An old kernel: the attributes sit on the device.
  Put("sys/class/hwmon/hwmon11/device/name", "it8728\n");
  Put("sys/class/hwmon/hwmon11/device/in0_input", "1200\n");
  Put("sys/class/hwmon/hwmon11/device/temp1_input", "40000\n");
  Put("sys/class/hwmon/hwmon11/device/fan1_input", "900\n");
  Put("sys/class/hwmon/hwmon2/name", "coretemp\n");
  Put("sys/class/hwmon/hwmon2/temp1_input", "52000\n");
  Put("sys/class/hwmon/hwmon2/temp1_label", "Package id 0\n");
  Put("sys/class/hwmon/hwmon3/temp1_input", "1\n");  // no name: not a chip
  Use();
  HardwareProbe probe;
  ASSERT_TRUE(probe.Init());
  auto chips = probe.Chips();
  ASSERT_EQ(chips.size(), 4u);
  EXPECT_EQ(chips[0].name, "ITE IT8728");
  EXPECT_EQ(chips[0].kind, qmhdw::kDeviceBoard);
  ASSERT_EQ(chips[0].sensors.size(), 3u);
  EXPECT_EQ(chips[0].sensors[0].name, "CPU VCORE");
  EXPECT_EQ(chips[0].sensors[1].name, "TMPIN0");
  EXPECT_EQ(chips[0].sensors[2].name, "FANIN0");
  EXPECT_FLOAT_EQ(probe.CoreVoltage(), 1.2f);
  EXPECT_EQ(chips[1].driver, "coretemp");
  EXPECT_EQ(chips[2].driver, "acpitz");  // hwmon9 before hwmon10
  EXPECT_EQ(chips[3].name, "WD Blue SN570 1TB");
  EXPECT_FLOAT_EQ(chips[3].sensors[0].value, 31.85f);
}

TEST_F(TempMachine, CachesComeFromCpuidWhenTheKernelListsNone) {
  // Leaf 4 of a Core i7-6700K: 32 KB L1d and L1i per core, 256 KB L2 per core, 8 MB L3.
  Put("cpuid/pu0",
      "1 0 0 0 0 => 16 756e6547 6c65746e 49656e69\n"
      "1 1 0 0 0 => 506e3 100800 7ffafbbf bfebfbff\n"
      "5 4 0 0 0 => 1c004121 1c0003f 3f 0\n"
      "5 4 0 1 0 => 1c004122 1c0003f 3f 0\n"
      "5 4 0 2 0 => 1c004143 c0003f 3ff 0\n"
      "5 4 0 3 0 => 1c03c163 3c0003f 1fff 6\n"
      "5 4 0 4 0 => 0 0 0 0\n"
      "1 80000000 0 0 0 => 80000008 0 0 0\n");
  Put("sys/devices/system/cpu/online", "0-7\n");
  Use();
  CpuFacts f = ProbeCpu();
  EXPECT_EQ(f.vendor, CpuVendor::Intel);
  EXPECT_EQ(f.family, 6);
  EXPECT_EQ(f.model, 94);
  ASSERT_EQ(f.packages.size(), 1u);
  EXPECT_EQ(f.packages[0].cpus.size(), 8u);
  std::map<int, CacheInfo> byKind;  // level * 10 + type
  for (const auto& c : f.packages[0].caches) byKind[c.level * 10 + c.type] = c;
  EXPECT_EQ(byKind[11].sizeKB, 32);
  EXPECT_EQ(byKind[11].count, 4);  // two threads per L1
  EXPECT_EQ(byKind[11].ways, 8);
  EXPECT_EQ(byKind[11].lineSize, 64);
  EXPECT_EQ(byKind[23].sizeKB, 256);
  EXPECT_EQ(byKind[23].ways, 4);
  EXPECT_EQ(byKind[33].sizeKB, 8192);
  EXPECT_EQ(byKind[33].count, 1);
  EXPECT_EQ(byKind[33].ways, 16);
}

TEST_F(TempMachine, FirmwareTablesDescribeLargeAndEmptySlots) {
  std::vector<std::uint8_t> table;
  auto add = [&](std::vector<std::uint8_t> s) { table.insert(table.end(), s.begin(), s.end()); };
  std::vector<std::uint8_t> array(0x17 - 4, 0);
  array[1] = 3;  // system memory
  Le16(array, 0x0D - 4, 2);
  add(Structure(16, array, {}));
  std::vector<std::uint8_t> big(0x28 - 4, 0);
  Le16(big, 0x0C - 4, 0x7FFF);  // size in the extended field
  big[0x1C - 4] = 0x00;
  big[0x1D - 4] = 0x00;
  big[0x1E - 4] = 0x01;  // 65536 MB
  big[0x10 - 4] = 1;
  big[0x11 - 4] = 2;
  big[0x12 - 4] = 0x22;  // DDR5
  Le16(big, 0x15 - 4, 0xFFFF);  // speed in the extended field (none here: stays unknown)
  Le16(big, 0x20 - 4, 4800);
  big[0x17 - 4] = 3;
  big[0x1A - 4] = 4;
  add(Structure(17, big, {"DIMM_A1", "P0 CHANNEL A", "Unknown", "M321R8GA0BB0-CQKZJ"}));
  std::vector<std::uint8_t> kb(0x28 - 4, 0);
  Le16(kb, 0x0C - 4, 0x8000 | 2048);  // 2048 KB
  kb[0x10 - 4] = 1;
  add(Structure(17, kb, {"DIMM_B1"}));
  add(Structure(127, {}, {}));
  SmbiosInfo info = ParseSmbiosTable(table);
  EXPECT_EQ(info.arraySlots, 2);
  ASSERT_EQ(info.devices.size(), 2u);
  EXPECT_EQ(info.devices[0].sizeMB, 65536);
  EXPECT_EQ(info.devices[0].configuredMTs, 4800);
  EXPECT_EQ(info.devices[0].partNumber, "M321R8GA0BB0-CQKZJ");
  EXPECT_EQ(info.devices[1].sizeMB, 2);

  Put("sys/firmware/dmi/tables/DMI", std::string(table.begin(), table.end()));
  Put("proc/meminfo", "MemTotal:       65000000 kB\n");
  Use();
  HardwareProbe probe;
  ASSERT_TRUE(probe.Init());
  MemoryFacts m = probe.Memory();
  ASSERT_EQ(m.modules.size(), 2u);
  EXPECT_EQ(m.modules[0].typeCode, qmhdw::kMemDdr5);
  EXPECT_EQ(m.modules[0].manufacturer, "");  // "Unknown" is no maker
  EXPECT_EQ(m.totalMB, 65538);
  EXPECT_DOUBLE_EQ(m.clockMHz, 2400);
  EXPECT_EQ(m.channels, 2);  // "P0 CHANNEL A" and "DIMM_B1"
}

// The program calls the library from its start-up, refresh and interface threads at once.
TEST_F(TempMachine, ConcurrentCallersSeeConsistentAnswers) {
  for (int chip = 0; chip < 4; ++chip) {
    const std::string d = "sys/class/hwmon/hwmon" + std::to_string(chip);
    Put(d + "/name", chip == 0 ? "nct6798\n" : "coretemp\n");
    for (int t = 1; t <= 8; ++t) Put(d + "/temp" + std::to_string(t) + "_input", std::to_string(30000 + t * 1000) + "\n");
  }
  Use();
  HardwareProbe probe;
  ASSERT_TRUE(probe.Init());
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::thread refresher([&] {
    while (!stop) probe.RefreshSensors();
  });
  std::thread clocks([&] {
    while (!stop) probe.RefreshClocks();
  });
  for (int i = 0; i < 300; ++i) {
    auto chips = probe.Chips();
    if (chips.size() != 4) ++bad;
    for (const auto& c : chips)
      for (const auto& s : c.sensors)
        if (!s.valid || s.value < 31 || s.value > 38) ++bad;
    (void)probe.Board();
    (void)probe.CoreClocks(0);
  }
  stop = true;
  refresher.join();
  clocks.join();
  EXPECT_EQ(bad, 0);
}
