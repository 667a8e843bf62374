// Memory status from meminfo texts, the used-memory rules, the fallback source, and the figures
// of recorded machines and of this one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "FakeWmi.h"
#include "detect/MemoryHelper.h"
#include "platform/Sysroot.h"
#include "sysinfo/OsName.h"

namespace {

using namespace korvane;
constexpr std::uint64_t KiB = 1024, MiB = KiB * KiB, GiB = MiB * KiB;

TEST(MemInfo, FiguresFromAKernelText) {
  const char* text =
      "MemTotal:       32489496 kB\n"
      "MemFree:        25012344 kB\n"
      "MemAvailable:   28934524 kB\n"
      "Buffers:          312240 kB\n"
      "SwapTotal:        999420 kB\n"
      "SwapFree:         899420 kB\n"
      "HugePages_Total:       0\n";
  const auto s = ParseMemInfo(text);
  ASSERT_TRUE(s.has_value());
  EXPECT_EQ(s->dwLength, 64u);
  EXPECT_EQ(s->ullTotalPhys, 32489496 * KiB);
  EXPECT_EQ(s->ullAvailPhys, 28934524 * KiB);
  EXPECT_EQ(s->ullTotalPageFile, (32489496 + 999420) * KiB);
  EXPECT_EQ(s->ullAvailPageFile, (28934524 + 899420) * KiB);
  EXPECT_EQ(s->dwMemoryLoad, 11u);  // 10.94 % in use
  EXPECT_GT(s->ullTotalVirtual, 0u);
}

TEST(MemInfo, OlderKernelsAndBrokenTexts) {
  // No MemAvailable before Linux 3.14: free + buffers + page cache.
  auto s = ParseMemInfo("MemTotal: 1000 kB\nMemFree: 100 kB\nBuffers: 50 kB\nCached: 250 kB\n");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->ullAvailPhys, 400 * KiB);
  EXPECT_EQ(s->dwMemoryLoad, 60u);
  s = ParseMemInfo("MemTotal: 1000 kB\n");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->ullAvailPhys, 0u);
  EXPECT_EQ(s->dwMemoryLoad, 100u);
  // More available than installed is cut to what is installed.
  s = ParseMemInfo("MemTotal: 1000 kB\nMemAvailable: 5000 kB\n");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->ullAvailPhys, 1000 * KiB);
  EXPECT_EQ(s->dwMemoryLoad, 0u);

  EXPECT_FALSE(ParseMemInfo(""));
  EXPECT_FALSE(ParseMemInfo("MemFree: 100 kB\n"));
  EXPECT_FALSE(ParseMemInfo("MemTotal: 0 kB\n"));
  EXPECT_FALSE(ParseMemInfo("MemTotal: lots kB\n"));
  EXPECT_FALSE(ParseMemInfo("MemTotal: 99999999999999999999999 kB\n"));
  EXPECT_FALSE(ParseMemInfo("MemTotal: 18014398509481984 kB\n"));  // bytes would not fit
  EXPECT_FALSE(ParseMemInfo("MemTotalX: 1000 kB\n"));
  s = ParseMemInfo(std::string("MemTotal: 2048 kB\0garbage", 26));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->ullTotalPhys, 2048 * KiB);
}

TEST(UsedMemory, CurrentSystemsCountMemoryInUseOlderWindowsTheCommitCharge) {
  MEMORYSTATUSEX s;
  s.ullTotalPhys = 4 * GiB;
  s.ullAvailPhys = 1536 * MiB;
  s.ullTotalPageFile = 6 * GiB;
  s.ullAvailPageFile = 5 * GiB;
  MemoryFigures f = ComputeMemoryFigures(s, UsedMemoryRule::PhysicalInUse);
  EXPECT_EQ(f.totalMiB, 4096);
  EXPECT_EQ(f.availableMiB, 1536);
  EXPECT_EQ(f.usedMiB, 2560);
  f = ComputeMemoryFigures(s, UsedMemoryRule::CommitCharge);
  EXPECT_EQ(f.totalMiB, 4096);
  EXPECT_EQ(f.usedMiB, 1024);
  // Part of a MiB is dropped, never rounded up; inverted figures give no negative use.
  s.ullTotalPhys = 4 * GiB - 1;
  s.ullAvailPhys = 5 * GiB;
  f = ComputeMemoryFigures(s, UsedMemoryRule::PhysicalInUse);
  EXPECT_EQ(f.totalMiB, 4095);
  EXPECT_EQ(f.usedMiB, 0);

  ResetOsFlagsForTesting();
  EXPECT_EQ(CurrentUsedMemoryRule(), UsedMemoryRule::PhysicalInUse);  // before any naming
  OsNaming xp;
  xp.isNt5OrLater = true;
  xp.shortCode = "winxp_32";
  ApplyOsFlagsForTesting(xp);
  EXPECT_EQ(CurrentUsedMemoryRule(), UsedMemoryRule::CommitCharge);
  OsNaming seven = xp;
  seven.isWindows7 = true;
  seven.shortCode = "winseven_64";
  ApplyOsFlagsForTesting(seven);
  EXPECT_EQ(CurrentUsedMemoryRule(), UsedMemoryRule::PhysicalInUse);
  ResetOsFlagsForTesting();
  OsNaming linux;
  linux.isNt5OrLater = true;
  linux.shortCode = "linux_64";
  ApplyOsFlagsForTesting(linux);
  EXPECT_EQ(CurrentUsedMemoryRule(), UsedMemoryRule::PhysicalInUse);
  ResetOsFlagsForTesting();
}

struct SysrootScope {
  explicit SysrootScope(const std::string& root) { platform::SetSysrootPrefixForTesting(root); }
  ~SysrootScope() { platform::SetSysrootPrefixForTesting(""); }
};

TEST(MemoryRefresh, RecordedMachinesAndRepeatedRefreshes) {
  struct Case {
    const char* machine;
    std::int32_t total, available, used;
  };
  // MemTotal and MemAvailable (MemFree where the kernel gave no more) of each recording.
  const Case cases[] = {{"laptop", 31728, 28256, 3471},
                        {"intel-desktop", 32026, 29171, 2855},
                        {"vm", 24105, 21063, 3042},
                        {"amd-desktop", 128102, 117198, 10904}};
  for (const Case& c : cases) {
    SysrootScope root(std::string(KORVANE_FIXTURES_DIR) + "/machines/" + c.machine);
    CMemoryHelper m;
    m.vRefresh();
    EXPECT_EQ(m.detected, 1) << c.machine;
    EXPECT_EQ(m.totalMiB, c.total) << c.machine;
    EXPECT_EQ(m.availableMiB, c.available) << c.machine;
    EXPECT_EQ(m.usedMiB, c.used) << c.machine;
    EXPECT_LE(m.status.dwMemoryLoad, 100u);
    m.vRefresh();  // refreshes read again and keep working
    EXPECT_EQ(m.totalMiB, c.total) << c.machine;
  }
}

TEST(MemoryRefresh, FallbackWhenTheStatusCannotBeRead) {
  const auto empty =
      std::filesystem::temp_directory_path() / ("detect-nomem-" + std::to_string(getpid()));
  std::filesystem::create_directories(empty);
  SysrootScope root(empty.string());
  FakeWmiScope scope;
  CMemoryHelper m;
  m.totalMiB = 77;
  m.vRefresh();  // neither source has anything
  EXPECT_EQ(m.detected, 0);
  EXPECT_EQ(m.totalMiB, 77);

  // What this system's provider lists under the class: processor caches, no memory figures.
  // That is no memory detected, and the captions stay as they were.
  WmiObject cacheOnly("Win32_CacheMemory");
  cacheOnly.Put("Caption", Variant::String("Cache Memory"));
  cacheOnly.Put("Name", Variant::String("Cache Memory"));
  scope.wmi->objects["Win32_CacheMemory"] = {cacheOnly};
  m.vRefresh();
  EXPECT_EQ(m.detected, 0);
  EXPECT_EQ(m.caption, "");
  EXPECT_EQ(m.totalMiB, 77);

  WmiObject negative = cacheOnly;
  negative.Put("ullTotalPhys", Variant::Int32(-2));  // no real figure either
  scope.wmi->objects["Win32_CacheMemory"] = {negative};
  m.vRefresh();
  EXPECT_EQ(m.detected, 0);
  EXPECT_EQ(m.totalPhysText, "");

  WmiObject o("Win32_CacheMemory");
  o.Put("Caption", Variant::String("Physical Memory"));
  o.Put("Name", Variant::String("Memory"));
  o.Put("ullTotalPhys", Variant::Int32(2147483647));
  o.Put("ullAvailPhys", Variant::String("12"));  // the wrong type is skipped
  WmiObject second("Win32_CacheMemory");
  second.Put("Caption", Variant::String("second"));
  scope.wmi->objects["Win32_CacheMemory"] = {o, second};
  m.vRefresh();
  EXPECT_EQ(m.detected, 1);
  EXPECT_EQ(m.caption, "Physical Memory");
  EXPECT_EQ(m.name, "Memory");
  EXPECT_EQ(m.status.ullTotalPhys, 2147483647ull);
  EXPECT_EQ(m.totalPhysText, "2147483647");
  EXPECT_EQ(m.availPhysText, "");
  EXPECT_EQ(m.totalMiB, 77);  // the fallback does not recompute the MiB figures
  std::filesystem::remove_all(empty);
}

TEST(MemoryRefresh, ThisMachineMatchesTheKernel) {
  std::ifstream in("/proc/meminfo");
  std::string key;
  unsigned long long kb = 0, totalKb = 0;
  std::string unit;
  while (in >> key >> kb) {
    if (key == "MemTotal:") totalKb = kb;
    std::getline(in, unit);
  }
  ASSERT_GT(totalKb, 0u);
  CMemoryHelper m;
  m.vRefresh();
  EXPECT_EQ(m.detected, 1);
  EXPECT_EQ(m.status.ullTotalPhys, totalKb * 1024);
  EXPECT_EQ(m.totalMiB, static_cast<std::int32_t>(totalKb / 1024));
  EXPECT_GT(m.availableMiB, 0);
  EXPECT_EQ(m.usedMiB,
            static_cast<std::int32_t>((m.status.ullTotalPhys - m.status.ullAvailPhys) >> 20));
}

}  // namespace
