#include <gtest/gtest.h>

#include "config/LanguageRes.h"
#include "summary/HdwSummary.h"

using namespace korvane;
using namespace korvane::summary;

namespace {

const CLanguageRes& English() {
  static const CLanguageRes lang(LocaleSource::SystemWithLocale("C"));
  return lang;
}

// A page whose library answers nothing and whose board and memory facts are the test's.
struct Page {
  BoardFacts board;
  MemoryFacts mem;
  CHdwSummary page;
  explicit Page(const CLanguageRes& lang = English())
      : page(lang, SummarySources{[] { return static_cast<CPUIDSDK*>(nullptr); },
                                  [this] { return board; },
                                  [this] { return mem; },
                                  {},
                                  {}}) {
    page.BuildPage(false);
    page.SetReady(true);
  }
  void Build(int k) { page.BuildCategory(k); }
  const DeviceInfoModel& Control(int k, std::size_t i = 0) {
    return page.panes[static_cast<std::size_t>(k)].controls.at(i);
  }
  const std::string& Row(int k, int row, std::size_t control = 0) {
    return Control(k, control).rows.at(static_cast<std::size_t>(row)).value;
  }
  void SetCpu(float clock, int stock, int bus = 200) {
    page.cpu.processorCount = 1;
    page.cpu.texts[0][kCpuTextName] = "Test CPU";
    page.cpu.coreClock[0] = clock;
    page.cpu.stockClock[0] = stock;
    page.cpu.busClock[0] = bus;
  }
};

}  // namespace

TEST(CpuClockTexts, CaptionFollowsTheClockState) {
  const auto& lang = English();
  auto t = ComposeCpuClockTexts("Bare", 4.0f, 0, lang);
  EXPECT_EQ(t.caption, "Bare");
  EXPECT_EQ(t.nameRow, "Bare");
  EXPECT_EQ(t.profile, "Bare");

  t = ComposeCpuClockTexts("C", 3050.0f, 3000, lang);
  EXPECT_EQ(t.caption, "C @ 3.00GHz");
  EXPECT_EQ(t.nameRow, "C @ 3.00GHz");

  t = ComposeCpuClockTexts("C", 2400.0f, 3000, lang);
  EXPECT_EQ(t.caption, "C @ 2.40GHz/3.00GHz");
  EXPECT_EQ(t.nameRow, "C @ 2.40GHz");
  EXPECT_EQ(t.profile, "C @ 3.00GHz");  // the profile keeps the stock clock

  t = ComposeCpuClockTexts("C", 3600.0f, 3000, lang);
  EXPECT_EQ(t.caption, "C @ 3.60GHz (Overclock)");

  // Unknown stock clock, measured one known.
  t = ComposeCpuClockTexts("C", 2999.4f, 0, lang);
  EXPECT_EQ(t.caption, "C @ 3.00GHz");
  EXPECT_EQ(t.profile, "C @ 3.00GHz");

  // A stock clock under 100 MHz never counts as under-clocked.
  t = ComposeCpuClockTexts("C", 400.0f, 90, lang);
  EXPECT_EQ(t.caption, "C @ 90MHz");
}

TEST(HdwSummaryCpu, RowsCaptionAndCaches) {
  Page p;
  p.SetCpu(2400.0f, 3000, 333);
  auto& cpu = p.page.cpu;
  cpu.coreCount[0] = 4;
  cpu.texts[0][kCpuTextCodeName] = "Core";
  cpu.texts[0][kCpuTextProcessTechnology] = "45 nm";
  cpu.texts[0][kCpuTextStepping] = "B2";
  cpu.texts[0][kCpuTextPackage] = "LGA 775";
  cpu.busFrequency[0] = 333.0f;
  cpu.multiplier[0] = 7.2f;
  cpu.ratedBusFrequency[0] = 1333.0f;
  cpu.unlockedMultiplier[0] = 1;
  cpu.caches[0][0] = {48, 4, 12, 64};
  cpu.caches[0][1] = {32, 4, 8, 0};
  cpu.caches[0][3] = {256, 4, 0, 64};
  cpu.caches[0][4] = {8192, 1, 16, 64};
  p.Build(kCategoryCpu);
  ASSERT_EQ(p.page.panes[kCategoryCpu].controls.size(), 2u);
  EXPECT_EQ(p.Control(kCategoryCpu, 1).rows.size(), 7u);  // the L3 row exists
  p.page.RefreshValues(true);
  EXPECT_EQ(p.page.panes[kCategoryCpu].caption, "Test CPU @ 2.40GHz/3.00GHz");
  EXPECT_EQ(p.Row(kCategoryCpu, 0), "Test CPU @ 2.40GHz");
  EXPECT_EQ(p.Row(kCategoryCpu, 1), "Core (45 nm) / Stepping: B2");
  EXPECT_EQ(p.Row(kCategoryCpu, 2), "LGA 775 / CPU.Cores: 4");
  EXPECT_EQ(p.Row(kCategoryCpu, 5), "2400.0MHz ( 333.0MHz x 7.2 )");
  EXPECT_EQ(p.Row(kCategoryCpu, 0, 1), "No");
  EXPECT_EQ(p.Row(kCategoryCpu, 1, 1), "3000MHz ( 333MHz x 9.0 ) [Unlock Multipler Frequency]");
  EXPECT_EQ(p.Row(kCategoryCpu, 2, 1), "1333.0Mhz");
  // Instruction (the detector's second descriptor) before data (its first).
  EXPECT_EQ(p.Row(kCategoryCpu, 3, 1), "4 x 32 KB (8-Way)");
  EXPECT_EQ(p.Row(kCategoryCpu, 4, 1), "4 x 48 KB (12-Way, 64 Byte lines)");
  EXPECT_EQ(p.Row(kCategoryCpu, 5, 1), "4 x 256 KB");  // no ways: the short form
  EXPECT_EQ(p.Row(kCategoryCpu, 6, 1), "1 x 8192 KB (16-Way, 64 Byte lines)");
  EXPECT_EQ(p.page.GetSummary(0, 0), "Test CPU @ 2.40GHz/3.00GHz");
  EXPECT_EQ(p.page.GetSummary(0, 1), "Test CPU @ 3.00GHz");
}

TEST(HdwSummaryCpu, UnknownStockClockTexts) {
  Page p;
  p.SetCpu(4.0f, 0, 0);
  p.Build(kCategoryCpu);
  EXPECT_EQ(p.Control(kCategoryCpu, 1).rows.size(), 6u);  // no L3 row
  p.page.RefreshValues(true);
  EXPECT_EQ(p.Row(kCategoryCpu, 0), "Test CPU");
  EXPECT_EQ(p.page.panes[kCategoryCpu].caption, "Test CPU");
  EXPECT_EQ(p.Row(kCategoryCpu, 1, 1), "No Stock Clock Frequency");
  p.page.cpu.busClock[0] = 200;
  p.page.RefreshValues(true);
  EXPECT_EQ(p.Row(kCategoryCpu, 1, 1), "Unknown Stock Frequency");
}

TEST(HdwSummaryBoard, OemTextsAndFallback) {
  Page p;
  p.Build(kCategoryMainboard);
  p.page.RefreshValues(true);
  EXPECT_EQ(p.Row(kCategoryMainboard, 0), "Scan Failed");
  EXPECT_EQ(p.page.panes[kCategoryMainboard].caption, "Scan Failed");

  p.board.vendor = "TO BE FILLED BY O.E.M.";
  p.board.model = "to be filled by o.e.m.";
  p.board.chipsetVendor = "Intel";
  p.board.chipsetModel = "Q35";
  p.board.northRevision = "A2";
  p.board.biosVersion = "1.2";
  p.board.biosDate = "01/02/2009";
  p.board.sensorChip = "Winbond W83627HF";
  p.page.RefreshValues(true);
  EXPECT_EQ(p.Row(kCategoryMainboard, 0), "Vendor O.E.M. Model O.E.M. (Intel Q35)");
  EXPECT_EQ(p.Row(kCategoryMainboard, 1), "Intel Q35 (Revision: A2)");
  EXPECT_EQ(p.Row(kCategoryMainboard, 3), "Winbond W83627HF");
  EXPECT_EQ(p.Row(kCategoryMainboard, 5), "1.2 / BIOS.Date: 01/02/2009");
  EXPECT_EQ(p.Row(kCategoryMainboard, 6), "Vendor O.E.M.");
  EXPECT_EQ(p.page.GetSummary(2, 0), "Vendor O.E.M. Model O.E.M. (Intel Q35)");

  // The summary table keeps the last good text when a later pass has none.
  p.board = {};
  p.page.RefreshValues(true);
  EXPECT_EQ(p.page.GetSummary(2, 0), "Scan Failed");
}

TEST(HdwSummaryBoard, SensorChipWithoutSpaceAndUnknownAfterFirstPass) {
  Page p;
  p.Build(kCategoryMainboard);
  p.page.RefreshValues(true);
  EXPECT_EQ(p.Row(kCategoryMainboard, 3), "");  // the first pass waits for the chip
  p.page.RefreshValues(true);
  EXPECT_EQ(p.Row(kCategoryMainboard, 3), "Unknown");
}

TEST(HdwSummaryMemory, DerivedClockTypeAndTotals) {
  Page p;
  p.mem.type = 7;
  p.mem.sizeMB = 2048;
  p.mem.clock = 399.9f;
  p.mem.busClock = 200.0f;
  p.mem.channelMode = 2;
  p.mem.cl = 5.0f;
  p.mem.rcd = 5;
  p.mem.rp = 5;
  p.mem.ras = 15;
  p.mem.cr = 2;
  p.mem.slotCount = 4;
  p.mem.populatedMask = 0b0101;
  p.mem.modules = {{7, 1024, 0, "Kingston", "KVR800"}, {7, 1024, 0, "", "X"}};
  p.Build(kCategoryMemory);
  const auto& rows = p.Control(kCategoryMemory).rows;
  ASSERT_EQ(rows.size(), 11u);
  EXPECT_EQ(rows[9].key, "DIMM.0");
  EXPECT_EQ(rows[10].key, "DIMM.2");
  p.page.RefreshValues(true);
  EXPECT_EQ(p.Row(kCategoryMemory, 0), "Kingston KVR800 DDR2 800MHz");
  EXPECT_EQ(p.Row(kCategoryMemory, 1), "DDR2");
  EXPECT_EQ(p.Row(kCategoryMemory, 2), "2 GB (1G + 1G)");
  EXPECT_EQ(p.Row(kCategoryMemory, 3), "399.9 MHz");
  EXPECT_EQ(p.Row(kCategoryMemory, 4), "1:2");
  EXPECT_EQ(p.Row(kCategoryMemory, 5), "Dual Channel");
  EXPECT_EQ(p.Row(kCategoryMemory, 6), "5-5-5-15 CR2 (CL-RCD-RP-RAS-CR)");
  EXPECT_EQ(p.Row(kCategoryMemory, 7), std::string(31, '-'));
  EXPECT_EQ(p.Row(kCategoryMemory, 9), "Kingston KVR800 DDR2 800MHz (1GB)");
  EXPECT_EQ(p.Row(kCategoryMemory, 10), "Unknown Vendor X DDR2 800MHz (1GB)");
  EXPECT_EQ(p.page.panes[kCategoryMemory].caption, "Kingston KVR800 DDR2 800MHz ( 2 GB )");
  EXPECT_EQ(p.page.GetSummary(3, 0), "Kingston KVR800 DDR2 @ 399.9MHz (800MHz - 2GB)");
  EXPECT_EQ(p.page.GetSummary(3, 1), "Kingston KVR800 DDR2 800MHz ( 2GB ) @ 399.9MHz");
  EXPECT_EQ(p.page.GetSummary(3, 2), "Kingston KVR800 DDR2 800MHz ( 2 GB )");
  EXPECT_GT(TotalPhysicalMemoryMB(), 0);
}

TEST(HdwSummaryMemory, OneModuleKeepsTheTotalAndDdr4IsNamed) {
  Page p;
  p.mem.type = 10;
  p.mem.sizeMB = 16384;
  p.mem.clock = 1197.0f;
  p.mem.modules = {{10, 16384, 1200, "Samsung", "M378A2K43CB1-CTD"}};
  p.Build(kCategoryMemory);
  p.page.RefreshValues(true);
  EXPECT_EQ(p.Row(kCategoryMemory, 0), "Samsung M378A2K43CB1-CTD DDR4 2400MHz");
  EXPECT_EQ(p.Row(kCategoryMemory, 2), "16 GB");
  EXPECT_EQ(p.Row(kCategoryMemory, 9), "Samsung M378A2K43CB1-CTD DDR4 2400MHz (16GB)");
  EXPECT_EQ(p.Row(kCategoryMemory, 5), "Single Channel");  // unknown mode
}

TEST(HdwSummaryMemory, Ddr3ByPartNumber) {
  Page p;
  p.mem.type = 0;
  p.mem.modules = {{0, 2048, 0, "Hynix", "2GB 2Rx8 pc3-10600u"}};
  p.Build(kCategoryMemory);
  p.page.RefreshValues(true);
  // "pc3-" in lower case sets the type; the speed table is searched only for upper-case hits.
  EXPECT_EQ(p.Row(kCategoryMemory, 1), "DDR3");
  Page q;
  // Only a grade the plain search misses ("Pc3-") reaches the speed table.
  q.mem.modules = {{0, 2048, 0, "Hynix", "HMT125U6BFR8C-H9 Pc3-10600"}};
  q.Build(kCategoryMemory);
  q.page.RefreshValues(true);
  EXPECT_EQ(q.Row(kCategoryMemory, 0), "Hynix HMT125U6BFR8C-H9 Pc3-10600 DDR3 1332MHz");
  EXPECT_EQ(q.Row(kCategoryMemory, 2), "0B");  // no size from the library
}

TEST(ModuleSlots, PopulatedSlotsThenCountOn) {
  EXPECT_EQ(ModuleSlotNumbers(4, 0b1010, 2), (std::vector<int>{1, 3}));
  EXPECT_EQ(ModuleSlotNumbers(4, 0b0010, 3), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(ModuleSlotNumbers(0, 0, 2), (std::vector<int>{0, 1}));
  EXPECT_EQ(ModuleSlotNumbers(40, -1, 2), (std::vector<int>{0, 1}));  // slot count held to 32
}

TEST(HdwSummaryDisplay, PlaceholderWithoutAdapters) {
  Page p;
  p.Build(kCategoryDisplay);
  ASSERT_EQ(p.page.panes[kCategoryDisplay].controls.size(), 1u);
  EXPECT_EQ(p.Control(kCategoryDisplay).icon, kIconDisplayOther);
  p.page.RefreshValues(true);
  EXPECT_EQ(p.page.panes[kCategoryDisplay].caption, "(Standard VGA Card)");

  Page q;
  q.page.display.count = 1;
  auto& a = q.page.display.adapters[0];
  a.name = "NVIDIA GeForce GTX 1060 6GB";
  a.adapterCompatibility = "NVIDIA";
  a.adapterRam = "6144MB";
  q.Build(kCategoryDisplay);
  EXPECT_EQ(q.Control(kCategoryDisplay).icon, kIconNvidia);
  q.page.RefreshValues(true);
  EXPECT_EQ(q.Row(kCategoryDisplay, 0), "NVIDIA GeForce GTX 1060 6GB ( 6144MB )");
  EXPECT_EQ(q.page.GetSummary(4, 1), "NVIDIA GeForce GTX 1060 6GB ( 6144MB )");
}

TEST(HdwSummaryMonitor, RatiosModesAndPlaceholder) {
  Page p;
  p.page.monitor.count = 2;
  auto& m0 = p.page.monitor.monitors[0];
  m0.displayName = "DELL P2210";
  m0.screenWidth = 1680;
  m0.screenHeight = 1050;
  m0.bitsPerPixel = 32;
  m0.refreshRate = 60;
  auto& m1 = p.page.monitor.monitors[1];
  m1.displayName = "Old";
  m1.screenWidth = 1280;
  m1.screenHeight = 1024;
  p.Build(kCategoryMonitor);
  p.page.RefreshValues(true);
  EXPECT_EQ(p.Row(kCategoryMonitor, 3), "16 : 10");
  EXPECT_EQ(p.Row(kCategoryMonitor, 4), "1680 x 1050 x 32Status (60 Hz)");
  EXPECT_EQ(p.Row(kCategoryMonitor, 3, 1), "5 : 4");
  // Several monitors: each its own mode, without the desktop minimums.
  EXPECT_EQ(p.Row(kCategoryMonitor, 4, 1), "1280 x 1024 x 0Status (0 Hz)");
  EXPECT_EQ(p.page.panes[kCategoryMonitor].caption, "DELL P2210");

  Page q;
  q.page.monitor.count = 1;
  q.page.monitor.monitors[0].displayName = "Panel";
  q.Build(kCategoryMonitor);
  q.page.RefreshValues(true);
  EXPECT_EQ(q.Row(kCategoryMonitor, 4), "640 x 480 x 8Status (30 Hz)");

  Page none;
  none.Build(kCategoryMonitor);
  none.page.RefreshValues(true);
  EXPECT_EQ(none.Row(kCategoryMonitor, 0), "(Plug and Play)");
  EXPECT_EQ(none.Row(kCategoryMonitor, 2), "Default");
  EXPECT_EQ(none.Row(kCategoryMonitor, 5), "Normal");
}

TEST(HdwSummaryDisk, OnlyDisksWithModelAndSize) {
  Page p;
  p.page.hdd.count = 2;
  p.page.hdd.disks[0].model = "";  // no model: skipped
  p.page.hdd.disks[0].size = "100";
  auto& d = p.page.hdd.disks[1];
  d.model = "Samsung SSD 860 EVO 500GB";
  d.size = "500107862016";
  d.index = 1;
  d.interfaceType = "SCSI";
  d.partitions = 3;
  p.Build(kCategoryDisk);
  ASSERT_EQ(p.page.panes[kCategoryDisk].controls.size(), 1u);
  EXPECT_EQ(p.Control(kCategoryDisk).rows[4].key, "HDDSize");
  p.page.RefreshValues(true);
  EXPECT_EQ(p.Row(kCategoryDisk, 1), "1");
  EXPECT_EQ(p.Row(kCategoryDisk, 4), "500 GB");
  EXPECT_EQ(p.Row(kCategoryDisk, 5), "3");
  EXPECT_EQ(p.page.panes[kCategoryDisk].caption, "Samsung SSD 860 EVO 500GB ( 500 GB )");

  Page none;
  none.Build(kCategoryDisk);
  EXPECT_EQ(none.Control(kCategoryDisk).rows[4].key, "HDDTotalSize");
  none.page.RefreshValues(true);
  EXPECT_EQ(none.Row(kCategoryDisk, 2), "Unknown");
  EXPECT_EQ(none.Row(kCategoryDisk, 3), "IDE");
  EXPECT_EQ(none.Row(kCategoryDisk, 5), "1");
}

TEST(HdwSummaryNetworkSound, RowsAndPlaceholders) {
  Page p;
  p.page.network = {{"Intel I219-V", "Intel", "Ethernet", true, "00-1A-2B-3C-4D-5E\n", true,
                     "192.168.1.5", "255.255.255.0", "192.168.1.1", "192.168.1.1"}};
  p.page.sound = {{"", "HDA Intel PCH", "Realtek"}, {"  USB Audio  ", "", "C-Media"}};
  p.Build(kCategoryNetwork);
  p.Build(kCategorySound);
  p.page.RefreshValues(true);
  EXPECT_EQ(p.Row(kCategoryNetwork, 2), "Ethernet (Status: Used)");
  EXPECT_EQ(p.Row(kCategoryNetwork, 3), "00-1A-2B-3C-4D-5E");
  EXPECT_EQ(p.Row(kCategoryNetwork, 4), "Yes");
  EXPECT_EQ(p.page.GetSummary(7, 1), "Intel I219-V");
  ASSERT_EQ(p.Control(kCategorySound).rows.size(), 6u);
  EXPECT_EQ(p.Row(kCategorySound, 0), "HDA Intel PCH");
  EXPECT_EQ(p.Row(kCategorySound, 3), "USB Audio");
  EXPECT_EQ(p.Row(kCategorySound, 4), "C-Media");
  EXPECT_EQ(p.page.panes[kCategorySound].caption, "HDA Intel PCH");

  Page none;
  none.Build(kCategoryNetwork);
  none.Build(kCategorySound);
  none.page.RefreshValues(true);
  EXPECT_EQ(none.Row(kCategoryNetwork, 0), "(Dafault Standard Device)");
  EXPECT_EQ(none.Row(kCategoryNetwork, 3), "00-00-00-00-00-00");
  EXPECT_EQ(none.Row(kCategoryNetwork, 6), "255.0.0.0");
  EXPECT_EQ(none.Row(kCategorySound, 0), "(AC'97 Digital Audio Device)");
  EXPECT_EQ(none.Row(kCategorySound, 1), "Unknown");
}

TEST(HdwSummaryPage, CollapsedPanesKeepRowsButUpdateCaptions) {
  Page p;
  p.SetCpu(3000.0f, 3000);
  p.Build(kCategoryCpu);
  p.page.SetExpanded(kCategoryCpu, false);
  p.page.RefreshValues(false);
  EXPECT_EQ(p.Row(kCategoryCpu, 0), "");
  EXPECT_EQ(p.page.panes[kCategoryCpu].caption, "Test CPU @ 3.00GHz");
  p.page.RefreshValues(true);
  EXPECT_EQ(p.Row(kCategoryCpu, 0), "Test CPU @ 3.00GHz");
}

TEST(HdwSummaryPage, NothingBeforeReadyAndScoresInBadges) {
  Page p;
  p.page.SetReady(false);
  p.SetCpu(3000.0f, 3000);
  p.Build(kCategoryCpu);
  p.page.RefreshValues(true);
  EXPECT_EQ(p.page.panes[kCategoryCpu].caption, "");
  p.page.SetScores(345, 0);
  EXPECT_TRUE(p.Control(kCategoryCpu).hasScore);
  EXPECT_NEAR(p.Control(kCategoryCpu).score, 3.45, 1e-6);
  EXPECT_FALSE(p.Control(kCategoryCpu, 1).hasScore);  // control B carries no score badge
}

TEST(HdwSummaryPage, EmptyPageTitlesInChinese) {
  const CLanguageRes zh(LocaleSource::SystemWithLocale("zh_CN.UTF-8"));
  Page p(zh);
  EXPECT_EQ(p.page.panes[0].title, "处理器信息");
  EXPECT_EQ(p.page.panes[7].title, "声卡信息");
  EXPECT_TRUE(p.page.panes[0].controls.empty());
}

TEST(HdwSummaryPage, GetSummaryKindsWithoutText) {
  Page p;
  EXPECT_EQ(p.page.GetSummary(1, 0), "");
  EXPECT_EQ(p.page.GetSummary(9, 1), "");
  EXPECT_EQ(p.page.GetSummary(-3, 0), "");
  EXPECT_EQ(p.page.GetSummary(2, 1), "");
}

TEST(DetectorFacts, NetworkAndSoundRecordsInThePagesTerms) {
  CNetworkHelper net(NetworkSources{});
  net.count = 2;
  net.adapters[0].description = " Realtek PCIe GbE ";
  net.adapters[0].connectionStatus = kAdapterActive;
  net.adapters[0].dhcpEnabled = 1;
  net.adapters[1].description = "wlan";
  net.adapters[1].connectionStatus = kAdapterRegistryOnly;
  const auto facts = NetworkFactsOf(net);
  ASSERT_EQ(facts.size(), 2u);
  EXPECT_EQ(facts[0].name, "Realtek PCIe GbE");
  EXPECT_TRUE(facts[0].connected);
  EXPECT_TRUE(facts[0].dhcp);
  EXPECT_FALSE(facts[1].connected);
  EXPECT_FALSE(facts[1].dhcp);

  CSoundHelper sound(SoundSources{});
  sound.count = 20;  // more than the detector can hold: held to its capacity
  sound.devices[0].name = "HDA";
  EXPECT_EQ(SoundFactsOf(sound).size(), static_cast<std::size_t>(kMaxSoundDevices));
  EXPECT_EQ(SoundFactsOf(sound)[0].secondName, "HDA");
}
