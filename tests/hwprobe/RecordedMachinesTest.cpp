// The library over fixture machines that hold only what a real recording held
// (tests/hwprobe/tools/make_recorded_machines.py): a CPUID dump alone, a kernel view alone,
// single SMBIOS entries, a bare SMBIOS table.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "HwProbe.h"
#include "QmHdwApi.h"
#include "platform/Clock.h"
#include "platform/Sysroot.h"

namespace fs = std::filesystem;
using namespace korvane::hwprobe;

namespace {

class Recorded : public ::testing::Test {
 protected:
  void Use(const std::string& machine) {
    platform::SetSysrootPrefixForTesting(std::string(KORVANE_FIXTURES_DIR) + "/machines/" +
                                         machine);
  }
  void TearDown() override { platform::SetSysrootPrefixForTesting(""); }
};

// level * 10 + type -> cache
std::map<int, CacheInfo> Caches(const Package& p) {
  std::map<int, CacheInfo> out;
  for (const CacheInfo& c : p.caches) out[c.level * 10 + c.type] = c;
  return out;
}

}  // namespace

// A kernel view without a CPUID recording: the running processor (whatever it is) must not
// lend its brand, signature, instruction sets or caches to the recorded Xeon.
TEST_F(Recorded, KernelViewAloneDescribesTheRecordedProcessor) {
  Use("dell-dcs8000z");
  const CpuFacts f = ProbeCpu();
  EXPECT_FALSE(f.haveCpuid);
  EXPECT_EQ(f.vendor, CpuVendor::Intel);
  EXPECT_EQ(f.brand, "Intel(R) Xeon(R) CPU E5-2680 0 @ 2.70GHz");
  EXPECT_EQ(f.name, "Intel Xeon E5-2680 0");
  EXPECT_EQ(f.family, 6);
  EXPECT_EQ(f.model, 45);
  EXPECT_EQ(f.stepping, 7);
  EXPECT_EQ(f.modelInfo.codeName, "Sandy Bridge-EP");
  EXPECT_EQ(f.stockMHz, 2700);
  // The recorded flags: SSE4.2 and x86-64, none of AMD's sets.
  EXPECT_TRUE(f.isa[qmhdw::kIsaSse42]);
  EXPECT_TRUE(f.isa[qmhdw::kIsaX8664]);
  EXPECT_FALSE(f.isa[qmhdw::kIsaSse4a]);
  EXPECT_FALSE(f.isa[qmhdw::kIsaMmxExt]);
  ASSERT_EQ(f.packages.size(), 2u);
  for (const Package& p : f.packages) {
    EXPECT_EQ(p.cpus.size(), 8u);
    EXPECT_EQ(p.coreCpus.size(), 8u);
    EXPECT_TRUE(p.caches.empty());  // the recording has no cache folders
  }
  EXPECT_EQ(platform::Cpuid(0), std::nullopt);
}

// Only the processors' own recordings: 96 logical processors of two EPYC 7451, placed in
// packages and cores by their APIC ids; L3 is shared by the three cores of each CCX.
TEST_F(Recorded, CpuidRecordingAloneListsItsProcessors) {
  Use("epyc-7451-cpuid-only");
  const CpuFacts f = ProbeCpu();
  EXPECT_EQ(f.brand, "AMD EPYC 7451 24-Core Processor");
  EXPECT_EQ(f.modelInfo.codeName, "Naples");
  ASSERT_EQ(f.packages.size(), 2u);
  for (const Package& p : f.packages) {
    EXPECT_EQ(p.cpus.size(), 48u);
    EXPECT_EQ(p.coreCpus.size(), 24u);
    auto c = Caches(p);
    EXPECT_EQ(c[11].sizeKB, 32);
    EXPECT_EQ(c[11].count, 24);
    EXPECT_EQ(c[12].sizeKB, 64);
    EXPECT_EQ(c[23].sizeKB, 512);
    EXPECT_EQ(c[23].count, 24);
    EXPECT_EQ(c[33].sizeKB, 8192);
    EXPECT_EQ(c[33].count, 8);
  }
}

// Hybrid parts share differently per core type: six P-cores with their own L2, eight E-cores
// with one L2 per cluster of four. Counting the sharing field alone gives 10 instances of each.
TEST_F(Recorded, SharedCacheCountsFollowTheApicIdsOfEachCore) {
  Use("i7-12700h-cpuid-only");
  const CpuFacts f = ProbeCpu();
  ASSERT_EQ(f.packages.size(), 1u);
  const Package& p = f.packages[0];
  EXPECT_EQ(p.cpus.size(), 20u);
  EXPECT_EQ(p.coreCpus.size(), 14u);
  auto c = Caches(p);
  EXPECT_EQ(c[11].count, 14);
  EXPECT_EQ(c[12].count, 14);
  EXPECT_EQ(c[23].sizeKB, 1280);  // the first processor's (a P-core's) L2
  EXPECT_EQ(c[23].count, 8);
  EXPECT_EQ(c[33].sizeKB, 24576);
  EXPECT_EQ(c[33].count, 1);
}

// Processors older than the deterministic cache leaf describe their caches only in the
// extended leaves 0x80000005/6.
TEST_F(Recorded, LegacyAmdLeavesDescribeTheCaches) {
  Use("phenom-ii-x6-cpuid-only");
  const CpuFacts f = ProbeCpu();
  EXPECT_EQ(f.brand, "AMD Phenom(tm) II X6 1055T Processor");
  ASSERT_EQ(f.packages.size(), 1u);
  EXPECT_EQ(f.packages[0].coreCpus.size(), 6u);
  auto c = Caches(f.packages[0]);
  ASSERT_EQ(c.size(), 4u);
  EXPECT_EQ(c[11].sizeKB, 64);
  EXPECT_EQ(c[11].ways, 2);
  EXPECT_EQ(c[11].lineSize, 64);
  EXPECT_EQ(c[11].count, 6);
  EXPECT_EQ(c[12].sizeKB, 64);
  EXPECT_EQ(c[23].sizeKB, 512);
  EXPECT_EQ(c[23].ways, 16);
  EXPECT_EQ(c[23].count, 6);
  EXPECT_EQ(c[33].sizeKB, 6144);
  EXPECT_EQ(c[33].ways, 48);
  EXPECT_EQ(c[33].count, 1);
}

// The kernel exports no whole table here, only one raw entry per structure; the makers are
// JEDEC codes in hex ("00AD00B300AD").
TEST_F(Recorded, SingleSmbiosEntriesAndJedecMakers) {
  Use("dell-dcs8000z");
  HardwareProbe probe;
  ASSERT_TRUE(probe.Init());
  const MemoryFacts m = probe.Memory();
  EXPECT_EQ(m.slotCount, 24);
  ASSERT_EQ(m.modules.size(), 8u);
  for (const MemoryModule& mod : m.modules) {
    EXPECT_EQ(mod.manufacturer, "SK Hynix");
    EXPECT_EQ(mod.typeCode, qmhdw::kMemDdr3);
    EXPECT_EQ(mod.sizeMB, 4096);
  }
  EXPECT_EQ(m.modules[0].partNumber, "HMT351R7CFR8C-PB");
  EXPECT_EQ(m.totalMB, 32768);
  const BoardFacts b = probe.BoardIdentity();
  EXPECT_EQ(b.systemProduct, "DCS8000Z");
}

// A machine that exports only the SMBIOS table: every board text, the system version
// included, comes from the table; the modules' maker is written as "859B".
TEST_F(Recorded, BareSmbiosTableGivesBoardTextsAndMakers) {
  Use("thinkpad-w510");
  HardwareProbe probe;
  ASSERT_TRUE(probe.Init());
  const BoardFacts b = probe.BoardIdentity();
  EXPECT_EQ(b.systemVendor, "LENOVO");
  EXPECT_EQ(b.systemProduct, "431924G");
  EXPECT_EQ(b.systemVersion, "ThinkPad W510");
  EXPECT_EQ(b.biosVendor, "LENOVO");
  const MemoryFacts m = probe.Memory();
  ASSERT_EQ(m.modules.size(), 2u);
  EXPECT_EQ(m.modules[0].manufacturer, "Crucial Technology");
  EXPECT_EQ(m.modules[0].maxClockMHz, 667);
  EXPECT_DOUBLE_EQ(m.clockMHz, 667);
}

// The kernel view of a Ryzen 5 1600: identification from cpuinfo, caches and their sharing
// from the cache folders (two CCX with an L3 each).
TEST_F(Recorded, KernelViewCachesAndTopology) {
  Use("ryzen5-1600-kernel-view");
  const CpuFacts f = ProbeCpu();
  EXPECT_FALSE(f.haveCpuid);
  EXPECT_EQ(f.vendor, CpuVendor::Amd);
  EXPECT_EQ(f.family, 23);
  EXPECT_EQ(f.model, 1);
  EXPECT_EQ(f.modelInfo.codeName, "Summit Ridge");
  EXPECT_TRUE(f.isa[qmhdw::kIsaSse4a]);
  EXPECT_FALSE(f.isa[qmhdw::kIsa3dNow]);
  ASSERT_EQ(f.packages.size(), 1u);
  EXPECT_EQ(f.packages[0].cpus.size(), 12u);
  EXPECT_EQ(f.packages[0].coreCpus.size(), 6u);
  auto c = Caches(f.packages[0]);
  EXPECT_EQ(c[12].sizeKB, 64);
  EXPECT_EQ(c[12].ways, 4);
  EXPECT_EQ(c[12].count, 6);
  EXPECT_EQ(c[33].sizeKB, 8192);
  EXPECT_EQ(c[33].ways, 16);
  EXPECT_EQ(c[33].count, 2);
}

// Magny-Cours numbers the cores of each of its two dies from 0, so core ids repeat within the
// package; the kernel's recording of four Opteron 6134 without thread siblings still has eight
// cores per package.
TEST_F(Recorded, RepeatedCoreIdsOfMultiDiePackages) {
  Use("opteron-6134-cpuinfo-only");
  const CpuFacts f = ProbeCpu();
  EXPECT_EQ(f.modelInfo.codeName, "Magny-Cours");
  ASSERT_EQ(f.packages.size(), 4u);
  for (const Package& p : f.packages) {
    EXPECT_EQ(p.cpus.size(), 8u);
    EXPECT_EQ(p.coreCpus.size(), 8u);
  }
}
