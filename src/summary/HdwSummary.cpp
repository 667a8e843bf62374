#include "summary/HdwSummary.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>

#include "config/LanguageRes.h"
#include "hwlib/CpuidSdk.h"
#include "hwlib/HardwareLibrary.h"
#include "platform/Text.h"
#include "scores/ScoreStore.h"
#include "summary/SummaryArt.h"
#include "summary/SummaryFormat.h"

namespace korvane::summary {

using platform::Format;
using platform::Trim;

namespace {

struct RowSpec {
  const char* key;
  int label;  // language id; 0 = empty label
};

constexpr RowSpec kCpuRowsA[] = {{"ProcessorName", 130},  {"CodeName", 131},     {"Package", 132},
                                 {"Identification", 133}, {"Instructions", 135}, {"Frequency", 136},
                                 {"Voltage", 137}};
constexpr RowSpec kCpuRowsB[] = {{"CpuSpecification", 138},  {"StockCoreFrequency", 139},
                                 {"RatedBusFrequency", 140}, {"L1Cache Instruc", 141},
                                 {"L1Cache Data", 142},      {"L2Cache", 143}};
constexpr RowSpec kBoardRows[] = {
    {"MainBoardName", 160}, {"NorthBridge", 161},  {"SouthBridge", 162},     {"LPCIO", 163},
    {"FSB", 164},           {"BIOS Version", 165}, {"MainBoard Vendor", 166}};
constexpr RowSpec kMemoryRows[] = {
    {"MemoryName", 200},   {"MemoryType", 201},  {"TotalSize", 202},
    {"MemFrequency", 203}, {"FSB_VS_DRAM", 204}, {"Channels", 205},
    {"TimingsTable", 206}, {"Separator", 207},   {"MemorySlot", 208}};
constexpr RowSpec kDisplayRows[] = {{"DisplayAdapterName", 180}, {"Vendor", 181},
                                    {"AdapterDACType", 182},     {"AdapterRAM", 183},
                                    {"VideoMemoryType", 184},    {"DriverVersion", 185},
                                    {"DriverDate", 186},         {"DisplayDrivers", 187}};
constexpr RowSpec kMonitorRows[] = {{"MonitorName", 260},  {"Vendor", 261},
                                    {"MonitorType", 262},  {"MonitorScale", 263},
                                    {"ScreenStatus", 265}, {"ErrorCode", 266}};
constexpr RowSpec kNetworkRows[] = {
    {"DeviceName", 290},  {"Vendor", 291},      {"AdapterType", 292},
    {"MACAddress", 293},  {"DHCPEnable", 294},  {"IPAddress", 295},
    {"SubNetMasks", 296}, {"GatewayAddr", 297}, {"DnsServer", 298}};

std::string Lib(CPUIDSDK& sdk, bool (CPUIDSDK::*get)(char*, std::size_t)) {
  char buffer[kLibTextSize] = {};
  if (!(sdk.*get)(buffer, sizeof buffer)) return {};
  return Trim(platform::AnsiToUtf8(buffer));
}

std::string LibModule(CPUIDSDK& sdk, int module, bool (CPUIDSDK::*get)(int, char*, std::size_t)) {
  char buffer[kLibTextSize] = {};
  if (!(sdk.*get)(module, buffer, sizeof buffer)) return {};
  return Trim(platform::AnsiToUtf8(buffer));
}

std::int32_t NonNegative(std::optional<int> v) { return v && *v > 0 ? *v : 0; }

bool ContainsPc3(std::string_view part) {
  return part.find("PC3-") != std::string_view::npos || part.find("pc3-") != std::string_view::npos;
}

// The DDR3 rule of the part number: sets the type to DDR3 where the part number tells, and the
// rated clock from the speed grade when the table is searched.
void ApplyPartNumberRule(std::string_view part, std::int32_t& type, std::int32_t& rated,
                         bool searchTable) {
  if (type == 9) return;
  if (ContainsPc3(part)) {
    type = 9;
    return;
  }
  if (!searchTable) return;
  const std::string upper = platform::ToUpperAscii(part);
  static constexpr struct {
    const char* grade;
    std::int32_t clock;
  } kGrades[] = {{"PC3-8500", 533},  {"PC3-10600", 666}, {"PC3-10666", 666},
                 {"PC3-12800", 800}, {"PC3-14400", 900}, {"PC3-16000", 1000}};
  for (const auto& g : kGrades) {
    if (upper.find(g.grade) != std::string::npos) {
      type = 9;
      rated = g.clock;
      return;
    }
  }
  if (upper.find("PC3-") != std::string::npos && rated <= 10) {
    type = 9;
    rated = 666;
  }
}

}  // namespace

std::int32_t& TotalPhysicalMemoryMB() {
  static std::int32_t total = 0;
  return total;
}

// ---------------------------------------------------------------------------------------------
// Library readers.

std::string ReadSensorChipName(CPUIDSDK* sdk) {
  if (sdk == nullptr) return {};
  auto scan = [sdk]() -> std::string {
    const int devices = sdk->GetNumberOfDevices();
    for (int d = 0; d < devices; ++d) {
      const auto cls = sdk->GetDeviceClass(d);
      if (!cls || *cls != 1) continue;
      char name[kLibTextSize] = {};
      if (!sdk->GetDeviceName(d, name, sizeof name)) continue;
      return Trim(platform::AnsiToUtf8(name));
    }
    return {};
  };
  platform::ProcessMutex& mutex = SensorMutex();
  // Terminal modes run without the window's guard; they own their library instance alone.
  if (!mutex.IsValid()) return scan();
  SensorAccessGuard guard(mutex);
  if (!guard.MayRead()) return {};
  return scan();
}

BoardFacts ReadBoardFacts(CPUIDSDK* sdk) {
  BoardFacts b;
  if (sdk == nullptr) return b;
  b.vendor = Lib(*sdk, &CPUIDSDK::GetMainboardVendor);
  b.model = Lib(*sdk, &CPUIDSDK::GetMainboardModel);
  b.chipsetVendor = Lib(*sdk, &CPUIDSDK::GetNorthBridgeVendor);
  b.chipsetModel = Lib(*sdk, &CPUIDSDK::GetNorthBridgeModel);
  b.northRevision = Lib(*sdk, &CPUIDSDK::GetNorthBridgeRevision);
  b.southVendor = Lib(*sdk, &CPUIDSDK::GetSouthBridgeVendor);
  b.southModel = Lib(*sdk, &CPUIDSDK::GetSouthBridgeModel);
  b.biosVersion = Lib(*sdk, &CPUIDSDK::GetBIOSVersion);
  b.biosDate = Lib(*sdk, &CPUIDSDK::GetBIOSDate);
  return b;
}

MemoryFacts ReadMemoryFacts(CPUIDSDK* sdk) {
  MemoryFacts m;
  if (sdk == nullptr) return m;
  m.type = std::max(0, sdk->GetMemoryType());
  const auto size = sdk->GetMemorySize();
  if (size && *size > 0) m.sizeMB = *size;
  m.channelMode = NonNegative(sdk->GetMemoryChannelMode());
  m.clock = sdk->GetMemoryClockFrequency();
  const auto bus = sdk->GetBusFrequency();
  m.busClock = bus && *bus > 0 ? *bus : -1.0f;
  const auto cl = sdk->GetMemoryCASLatency();
  m.cl = cl && *cl > 0 ? *cl : 0.0f;
  m.rcd = NonNegative(sdk->GetMemoryRASToCASDelay());
  m.rp = NonNegative(sdk->GetMemoryRASPrecharge());
  m.ras = NonNegative(sdk->GetMemoryRASActive());
  m.trc = NonNegative(sdk->GetMemoryRowCycleTime());
  m.cr = NonNegative(sdk->GetMemoryCommandRate());
  int slots = 0, second = 0, mask = 0, fourth = 0;
  if (sdk->GetMemorySlotsLayout(&slots, &second, &mask, &fourth)) {
    m.slotCount = std::clamp(slots, 0, 32);
    m.populatedMask = mask;
  }
  const int count = std::clamp(sdk->GetMemoryModuleCount(), 0, 32);
  for (int j = 0; j < count; ++j) {
    MemoryModuleFacts mod;
    mod.type = std::max(0, sdk->GetMemoryModuleType(j));
    mod.sizeMB = NonNegative(sdk->GetMemoryModuleSize(j));
    mod.ratedClock = NonNegative(sdk->GetMemoryModuleMaxFrequency(j));
    mod.vendor = LibModule(*sdk, j, &CPUIDSDK::GetMemoryModuleManufacturer);
    mod.partNumber = LibModule(*sdk, j, &CPUIDSDK::GetMemoryModulePartNumber);
    m.modules.push_back(std::move(mod));
  }
  return m;
}

std::vector<NetworkAdapterFacts> NetworkFactsOf(const CNetworkHelper& helper) {
  std::vector<NetworkAdapterFacts> out;
  const int n = std::clamp(helper.count, 0, kMaxNetworkAdapters);
  for (int i = 0; i < n; ++i) {
    const auto& a = helper.adapters[static_cast<std::size_t>(i)];
    NetworkAdapterFacts f;
    f.name = Trim(a.description);
    f.vendor = a.provider;
    f.typeText = a.typeText;
    f.connected = a.connectionStatus == kAdapterActive;
    f.mac = a.hardwareAddress;
    f.dhcp = a.dhcpEnabled != 0;
    f.ip = a.addresses;
    f.mask = a.masks;
    f.gateway = a.gateways;
    f.dns = a.nameServers;
    out.push_back(std::move(f));
  }
  return out;
}

std::vector<SoundDeviceFacts> SoundFactsOf(const CSoundHelper& helper) {
  std::vector<SoundDeviceFacts> out;
  const int n = std::clamp(helper.count, 0, kMaxSoundDevices);
  for (int i = 0; i < n; ++i) {
    const auto& d = helper.devices[static_cast<std::size_t>(i)];
    out.push_back(SoundDeviceFacts{d.caption, d.name, d.manufacturer});
  }
  return out;
}

std::vector<std::int32_t> ModuleSlotNumbers(std::int32_t slotCount, std::int32_t populatedMask,
                                            std::size_t moduleCount) {
  std::array<std::int32_t, 32> table;
  table.fill(-1);
  std::size_t filled = 0;
  for (int i = 0; i < std::clamp(slotCount, 0, 32); ++i) {
    if ((static_cast<std::uint32_t>(populatedMask) >> i) & 1u) table[filled++] = i;
  }
  std::vector<std::int32_t> numbers;
  std::int32_t previous = -1;
  for (std::size_t j = 0; j < moduleCount; ++j) {
    const std::int32_t n = j < table.size() && table[j] >= 0 ? table[j] : previous + 1;
    numbers.push_back(n);
    previous = n;
  }
  return numbers;
}

CpuClockTexts ComposeCpuClockTexts(std::string_view nameView, float clock, std::int32_t stock,
                                   const CLanguageRes& lang) {
  const std::string name(nameView);
  const std::string f = FormatClockF(static_cast<float>(Round33(clock)));
  const std::string e = stock > 0 ? FormatClockI(stock) : std::string();
  CpuClockTexts t;
  std::string& g = t.caption;
  std::string& h = t.nameRow;
  if (clock <= 5.0f && stock < 1) {
    g = name;
  } else if (stock > 0 && clock - stock > 66.66f && stock > 100) {
    g = Format("%s @ %sHz (%s)", name.c_str(), f.c_str(), lang.Text(5000).c_str());
  } else if (stock > 0) {
    if (std::fabs(clock - static_cast<float>(stock)) < 66.66f || stock < 100 || e.empty()) {
      g = Format("%s @ %sHz", name.c_str(), e.c_str());
    } else {
      g = Format("%s @ %sHz/%sHz", name.c_str(), f.c_str(), e.c_str());
      h = Format("%s @ %sHz", name.c_str(), f.c_str());
    }
  } else {
    g = Format("%s @ %sHz", name.c_str(), f.c_str());
  }
  if (h.empty()) h = g;
  if (stock > 0) {
    t.profile = Format("%s @ %sHz", name.c_str(), e.c_str());
  } else if (clock <= 5.0f) {
    t.profile = name;
  } else {
    t.profile = Format("%s @ %sHz", name.c_str(), f.c_str());
  }
  if (t.profile.empty()) t.profile = h;
  return t;
}

// ---------------------------------------------------------------------------------------------
// The page.

CHdwSummary::CHdwSummary(const CLanguageRes& lang, SummarySources sources)
    : cpu([&sources] {
        CpuSources s;
        if (sources.library) s.library = sources.library;
        return s;
      }()),
      lang_(lang),
      sources_(std::move(sources)) {
  if (!sources_.library) sources_.library = [] { return HardwareLibrary(); };
  if (!sources_.board) {
    sources_.board = [this] { return ReadBoardFacts(sources_.library()); };
  }
  if (!sources_.memory) {
    sources_.memory = [this] { return ReadMemoryFacts(sources_.library()); };
  }
  sensors.SetLibrary([this] { return sources_.library(); });
  for (int k = 0; k < kCategoryCount; ++k) {
    panes[static_cast<std::size_t>(k)].category = k;
    expanded_[static_cast<std::size_t>(k)] = true;
  }
}

void CHdwSummary::EnsurePane(int k) {
  PaneModel& pane = panes[static_cast<std::size_t>(k)];
  pane.category = k;
  if (pane.title.empty()) pane.title = lang_.Text(110 + k);
}

void CHdwSummary::BuildPage(bool detect) {
  for (int k = 0; k < kCategoryCount; ++k) EnsurePane(k);
  if (!detect) return;
  DetectionPass pass;
  pass.processor = &cpu;
  pass.memory = &memory;
  pass.display = &display;
  pass.monitor = &monitor;
  pass.disk = &hdd;
  if (!sources_.network) pass.network = &networkHelper;
  if (!sources_.sound) pass.others = &others;
  pass.buildSection = [this](SummarySection s) {
    if (s == SummarySection::Network) {
      network = sources_.network ? sources_.network() : NetworkFactsOf(networkHelper);
    }
    if (s == SummarySection::Others) {
      sound = sources_.sound ? sources_.sound() : SoundFactsOf(others.sound);
    }
    BuildCategory(static_cast<int>(s));
  };
  RunDetectionPass(pass);
}

void CHdwSummary::BuildCategory(int k) {
  if (k < 0 || k >= kCategoryCount) return;
  EnsurePane(k);
  PaneModel& pane = panes[static_cast<std::size_t>(k)];
  pane.controls.clear();
  switch (k) {
    case kCategoryCpu:
      BuildCpu();
      break;
    case kCategoryMainboard:
      BuildMainboard();
      break;
    case kCategoryMemory:
      BuildMemory();
      break;
    case kCategoryDisplay:
      BuildDisplay();
      break;
    case kCategoryMonitor:
      BuildMonitor();
      break;
    case kCategoryDisk:
      BuildDisk();
      break;
    case kCategoryNetwork:
      BuildNetwork();
      break;
    case kCategorySound:
      BuildSound();
      break;
    default:
      break;
  }
  pane.built = true;
  ApplyScores();
}

namespace {

DeviceInfoModel MakeControl(int category, int icon, const RowSpec* rows, std::size_t n,
                            const CLanguageRes& lang) {
  DeviceInfoModel c;
  c.category = category;
  c.icon = icon;
  for (std::size_t i = 0; i < n; ++i) {
    c.AddRow(rows[i].key, rows[i].label ? lang.Text(rows[i].label) : std::string());
  }
  return c;
}

template <std::size_t N>
DeviceInfoModel MakeControl(int category, int icon, const RowSpec (&rows)[N],
                            const CLanguageRes& lang) {
  return MakeControl(category, icon, rows, N, lang);
}

}  // namespace

void CHdwSummary::BuildCpu() {
  auto& controls = panes[kCategoryCpu].controls;
  const int packages = std::clamp(cpu.processorCount, 1, kMaxProcessors);
  for (int i = 0; i < packages; ++i) {
    const auto& name = cpu.texts[static_cast<std::size_t>(i)][kCpuTextName];
    DeviceInfoModel a = MakeControl(kCategoryCpu, CpuIconIndex(name), kCpuRowsA, lang_);
    a.logo = CpuLogoBitmap(cpu.architectureCode[static_cast<std::size_t>(i)],
                           cpu.coreCount[static_cast<std::size_t>(i)]);
    a.AddBadge(kBadgeFan, lang_.Text(155));
    a.AddBadge(kBadgeTemperature, lang_.Text(156));
    a.AddBadge(kBadgeScore, lang_.Text(157));
    DeviceInfoModel b = MakeControl(kCategoryCpu, a.icon, kCpuRowsB, lang_);
    b.logo = a.logo;
    const auto& c5 = cpu.caches[0][4];
    if (c5.sizeKB != 0 && c5.count != 0) b.AddRow("L3Cache", lang_.Text(144));
    controls.push_back(std::move(a));
    controls.push_back(std::move(b));
  }
}

void CHdwSummary::BuildMainboard() {
  DeviceInfoModel c = MakeControl(kCategoryMainboard, kIconMainboard, kBoardRows, lang_);
  c.AddBadge(kBadgeFan, lang_.Text(175));
  c.AddBadge(kBadgeTemperature, lang_.Text(176));
  c.AddBadge(kBadgeScore, lang_.Text(177));
  panes[kCategoryMainboard].controls.push_back(std::move(c));
}

void CHdwSummary::BuildMemory() {
  memoryFacts_ = sources_.memory();
  memoryFactsRead_ = true;
  DeviceInfoModel c = MakeControl(kCategoryMemory, kIconMemory, kMemoryRows, lang_);
  const auto slots = ModuleSlotNumbers(memoryFacts_.slotCount, memoryFacts_.populatedMask,
                                       memoryFacts_.modules.size());
  for (const auto n : slots) {
    const std::string key = Format("DIMM.%d", n);
    c.AddRow(key, key);
  }
  c.AddBadge(kBadgeUsage, lang_.Text(220));
  c.AddBadge(kBadgeScore, lang_.Text(221));
  panes[kCategoryMemory].controls.push_back(std::move(c));
}

void CHdwSummary::BuildDisplay() {
  auto& controls = panes[kCategoryDisplay].controls;
  const int n = std::clamp(display.count, 0, kMaxDisplayAdapters);
  for (int i = 0; i < std::max(n, 1); ++i) {
    int icon = kIconDisplayOther;
    if (i < n) {
      const auto& a = display.adapters[static_cast<std::size_t>(i)];
      icon = DisplayIconIndex(a.adapterCompatibility, a.name.empty() ? a.caption : a.name);
    }
    DeviceInfoModel c = MakeControl(kCategoryDisplay, icon, kDisplayRows, lang_);
    c.AddBadge(kBadgeFan, lang_.Text(194));
    c.AddBadge(kBadgeTemperature, lang_.Text(195));
    c.AddBadge(kBadgeScore, lang_.Text(196));
    controls.push_back(std::move(c));
  }
}

void CHdwSummary::BuildMonitor() {
  const int n = std::clamp(monitor.count, 0, kMaxMonitors);
  for (int i = 0; i < std::max(n, 1); ++i) {
    DeviceInfoModel c = MakeControl(kCategoryMonitor, kIconMonitor, kMonitorRows, lang_);
    c.AddBadge(kBadgeScore, lang_.Text(281));
    panes[kCategoryMonitor].controls.push_back(std::move(c));
  }
}

std::vector<int> CHdwSummary::DiskSlots() const {
  std::vector<int> slots;
  const int n = std::clamp(hdd.count, 0, kMaxDisks);
  for (int i = 0; i < n; ++i) {
    const auto& d = hdd.disks[static_cast<std::size_t>(i)];
    if (!Trim(d.model).empty() && !Trim(d.size).empty()) slots.push_back(i);
  }
  return slots;
}

void CHdwSummary::BuildDisk() {
  const auto slots = DiskSlots();
  for (std::size_t i = 0; i < std::max<std::size_t>(slots.size(), 1); ++i) {
    DeviceInfoModel c;
    c.category = kCategoryDisk;
    c.icon = kIconDisk;
    c.AddRow("HDDName", lang_.Text(230));
    c.AddRow("HDDIndex", lang_.Text(231));
    c.AddRow("HDDVendor", lang_.Text(232));
    c.AddRow("HDDInterface", lang_.Text(233));
    c.AddRow(slots.empty() ? "HDDTotalSize" : "HDDSize", lang_.Text(234));
    c.AddRow("HDDPartitions", lang_.Text(235));
    c.AddBadge(kBadgeTemperature, lang_.Text(250));
    c.AddBadge(kBadgeScore, lang_.Text(253));
    panes[kCategoryDisk].controls.push_back(std::move(c));
  }
}

void CHdwSummary::BuildNetwork() {
  const std::size_t n = std::min<std::size_t>(network.size(), 10);
  for (std::size_t i = 0; i < std::max<std::size_t>(n, 1); ++i) {
    panes[kCategoryNetwork].controls.push_back(
        MakeControl(kCategoryNetwork, kIconNetwork, kNetworkRows, lang_));
  }
}

void CHdwSummary::BuildSound() {
  DeviceInfoModel c;
  c.category = kCategorySound;
  c.icon = kIconSound;
  const std::size_t n = std::min<std::size_t>(sound.size(), 16);
  for (std::size_t i = 0; i < std::max<std::size_t>(n, 1); ++i) {
    c.AddRow("DeviceName", lang_.Text(320));
    c.AddRow("Vendor", lang_.Text(321));
    c.AddRow("BlankLine", "");
  }
  panes[kCategorySound].controls.push_back(std::move(c));
}

// ---------------------------------------------------------------------------------------------
// Values.

void CHdwSummary::SetExpanded(int k, bool e) {
  if (k >= 0 && k < kCategoryCount) expanded_[static_cast<std::size_t>(k)] = e;
}
bool CHdwSummary::Expanded(int k) const {
  return k >= 0 && k < kCategoryCount && expanded_[static_cast<std::size_t>(k)];
}

void CHdwSummary::SetScores(std::int32_t cpuInteger, std::int32_t memoryInteger) {
  cpuScore_ = cpuInteger;
  memoryScore_ = memoryInteger;
  ApplyScores();
}

void CHdwSummary::ApplyScores() {
  auto apply = [](PaneModel& pane, std::int32_t integer) {
    for (auto& c : pane.controls) {
      if (c.FindBadge(kBadgeScore) == nullptr) continue;
      c.hasScore = integer > 0;
      c.score = integer > 0 ? ScoreFromStoredInteger(integer) : -1.0;
    }
  };
  apply(panes[kCategoryCpu], cpuScore_);
  apply(panes[kCategoryMemory], memoryScore_);
}

void CHdwSummary::SetSummary(int k, const std::string& caption, const std::string& profile) {
  auto& table = CaptionAndProfileSummary();
  HardwareSummaryTable::Replace(table.caption[static_cast<std::size_t>(k)], caption);
  HardwareSummaryTable::Replace(table.profile[static_cast<std::size_t>(k)], profile);
  panes[static_cast<std::size_t>(k)].caption = Trim(caption);
}

void CHdwSummary::BuildHeader() {
  if (header.HasSystemInfo()) return;
  header.SetSystemInfo(systemInfoSource_ ? systemInfoSource_() : ReadSystemInfoFacts());
}

void CHdwSummary::ShowScore(int kind, float score) {
  // The panes keep their scores as the store does, in hundredths.
  auto integer = [](float s) {
    return s > 0 ? static_cast<std::int32_t>(std::lround(std::min(s, 1000.0f) * 100.0f)) : 0;
  };
  switch (header.ShowScore(kind, score)) {
    case ScoreRoute::kCpuPane:
      SetScores(integer(score), memoryScore_);
      break;
    case ScoreRoute::kMemoryPane:
      SetScores(cpuScore_, integer(score));
      break;
    default:
      break;
  }
}

void CHdwSummary::OnFirstShow(std::int32_t storedCpuScore, std::int32_t storedMemoryScore) {
  ready_ = true;
  BuildHeader();
  for (auto& p : panes) p.controls.clear();
  BuildPage(true);
  SetScores(storedCpuScore, storedMemoryScore);
  sensors.SetUpSensors();
  RefreshValues(true);
}

void CHdwSummary::RefreshValues(bool force) {
  if (!ready_) return;
  ++refreshPasses;
  try {
    UpdateUsageBadge();
    for (int k = 0; k < kCategoryCount; ++k) {
      if (!panes[static_cast<std::size_t>(k)].built) continue;
      const bool rows = force || Expanded(k);
      switch (k) {
        case kCategoryCpu:
          FillCpu(rows);
          break;
        case kCategoryMainboard:
          FillMainboard(rows);
          break;
        case kCategoryMemory:
          FillMemory(rows);
          break;
        case kCategoryDisplay:
          FillDisplay(rows);
          break;
        case kCategoryMonitor:
          FillMonitor(rows);
          break;
        case kCategoryDisk:
          FillDisk(rows);
          break;
        case kCategoryNetwork:
          FillNetwork(rows);
          break;
        case kCategorySound:
          FillSound(rows);
          break;
        default:
          break;
      }
    }
    // After the rows, so a sensor's core voltage is what the voltage row ends up showing.
    if (panes[kCategoryCpu].built) sensors.UpdateSensors();
  } catch (const std::exception&) {
    // A failed pass leaves the previous values; the next tick starts afresh.
  }
}

void CHdwSummary::UpdateUsageBadge() {
  if (!panes[kCategoryMemory].built) return;
  memory.vRefresh();
  for (auto& c : panes[kCategoryMemory].controls) {
    c.usage.usedMB = memory.usedMiB;
    c.usage.totalMB = memory.totalMiB;
    c.usage.loadPercent = static_cast<std::int32_t>(memory.status.dwMemoryLoad);
  }
}

void CHdwSummary::FillCpu(bool rows) {
  if (rows) cpu.vRefresh();
  auto& controls = panes[kCategoryCpu].controls;
  std::string caption, profile;
  const int packages = static_cast<int>(controls.size() / 2);
  for (int i = 0; i < packages; ++i) {
    const auto u = static_cast<std::size_t>(i);
    const auto& text = cpu.texts[u];
    const auto t =
        ComposeCpuClockTexts(text[kCpuTextName], cpu.coreClock[u], cpu.stockClock[u], lang_);
    if (i == 0) {
      caption = t.caption;
      profile = t.profile;
    }
    if (!rows) continue;
    DeviceInfoModel& a = controls[2 * u];
    DeviceInfoModel& b = controls[2 * u + 1];
    a.SetRowValue(0, Trim(t.nameRow));
    a.SetRowValue(1, Format("%s (%s) / %s: %s", text[kCpuTextCodeName].c_str(),
                            text[kCpuTextProcessTechnology].c_str(), lang_.Text(134).c_str(),
                            text[kCpuTextStepping].c_str()));
    a.SetRowValue(2, Format("%s / %s: %d", text[kCpuTextPackage].c_str(), lang_.Text(145).c_str(),
                            cpu.coreCount[u]));
    a.SetRowValue(3, text[kCpuTextIdentification]);
    a.SetRowValue(4, text[kCpuTextInstructionSets]);
    a.SetRowValue(
        5,
        Format("%0.01fMHz ( %0.01fMHz x %0.01f )", static_cast<double>(cpu.coreClock[u]),
               static_cast<double>(cpu.busFrequency[u]), static_cast<double>(cpu.multiplier[u])));
    if (cpu.coreVoltage[u] > 0) {
      a.SetRowValue(6, Format("%0.3f V", static_cast<double>(cpu.coreVoltage[u])));
    }

    b.SetRowValue(
        0, text[kCpuTextSpecification].empty() ? lang_.Text(5001) : text[kCpuTextSpecification]);
    const std::int32_t stock = cpu.stockClock[u];
    const std::int32_t bus = cpu.busClock[u];
    std::string stockText;
    if (stock > 0) {
      stockText = bus != 0
                      ? Format("%dMHz ( %dMHz x %0.01f )", stock, bus, StockMultiplier(stock, bus))
                      : Format("%dMHz", stock);
      if (cpu.unlockedMultiplier[u] != 0 && !stockText.empty()) stockText += " " + lang_.Text(5004);
    } else if (bus != 0) {
      stockText = FillTemplate(lang_.Text(5002), {Format("%d", bus)});
    } else {
      stockText = lang_.Text(5003);
    }
    b.SetRowValue(1, stockText);
    b.SetRowValue(2, Format("%0.01fMhz", static_cast<double>(cpu.ratedBusFrequency[u])));
    int row = 3;
    // The detector keeps the level-1 data cache first; the rows are labelled instruction
    // first, so the two level-1 descriptors are written in that order.
    static constexpr int kRowOrder[kCacheKinds] = {1, 0, 2, 3, 4};
    for (const int k : kRowOrder) {
      const auto& c = cpu.caches[u][static_cast<std::size_t>(k)];
      if (c.sizeKB == 0) continue;
      const int count = c.count, size = c.sizeKB, ways = c.ways, line = c.lineSize;
      std::string v;
      const bool full = (k == 0 || k == 4) || ((k == 1 || k == 2) && line != 0) ||
                        (k == 3 && line != 0 && ways != 0);
      if (full) {
        v = Format("%d x %d KB (%d-Way, %d Byte lines)", count, size, ways, line);
      } else if (k == 1 || k == 2) {
        v = Format("%d x %d KB (%d-Way)", count, size, ways);
      } else {
        v = Format("%d x %d KB", count, size);
      }
      b.SetRowValue(row++, v);
    }
  }
  SetSummary(kCategoryCpu, caption, profile);
}

void CHdwSummary::FillMainboard(bool rows) {
  const BoardFacts f = sources_.board();
  const std::string shortVendor = BoardVendorShort(f.vendor);
  const std::string model = BoardModelText(f.model);
  std::string s;
  if (!shortVendor.empty() || !model.empty() || !f.chipsetVendor.empty() ||
      !f.chipsetModel.empty()) {
    s = Format("%s %s (%s %s)", shortVendor.c_str(), model.c_str(), f.chipsetVendor.c_str(),
               f.chipsetModel.c_str());
  } else {
    s = lang_.Text(5020);
  }
  if (rows) {
    if (sensorChip.empty()) {
      std::string chip =
          f.sensorChip.empty() ? ReadSensorChipName(sources_.library()) : f.sensorChip;
      if (!chip.empty()) {
        const auto space = chip.find(' ');
        const std::string first =
            space == std::string::npos ? std::string() : chip.substr(0, space);
        const std::string rest = space == std::string::npos ? chip : chip.substr(space + 1);
        sensorChip = Trim(Format("%s %s", first.c_str(), rest.c_str()));
        if (IsSwappedBoardChip(sensorChip)) SensorsProcessState().swappedBoardChip = true;
      } else if (refreshPasses > 1) {
        sensorChip = lang_.Text(5021);
      }
    }
    DeviceInfoModel& c = panes[kCategoryMainboard].controls.front();
    c.SetRowValue(0, Trim(s));
    c.SetRowValue(1, f.northRevision.empty()
                         ? Format("%s %s", f.chipsetVendor.c_str(), f.chipsetModel.c_str())
                         : Format("%s %s (%s: %s)", f.chipsetVendor.c_str(), f.chipsetModel.c_str(),
                                  lang_.Text(167).c_str(), f.northRevision.c_str()));
    c.SetRowValue(2, Format("%s %s", f.southVendor.c_str(), f.southModel.c_str()));
    c.SetRowValue(3, sensorChip);
    c.SetRowValue(4, Format("%0.01fMhz", static_cast<double>(cpu.ratedBusFrequency[0])));
    c.SetRowValue(5, Format("%s / %s: %s", f.biosVersion.c_str(), lang_.Text(168).c_str(),
                            f.biosDate.c_str()));
    c.SetRowValue(6, BoardVendorText(f.vendor));
  }
  SetSummary(kCategoryMainboard, s, s);
}

void CHdwSummary::FillMemory(bool rows) {
  if (!memoryFactsRead_) memoryFacts_ = sources_.memory();
  // The clock and the sizes can change between passes (the library refreshes them).
  else
    memoryFacts_ = sources_.memory();
  const MemoryFacts& m = memoryFacts_;
  const MemoryModuleFacts first = m.modules.empty() ? MemoryModuleFacts{} : m.modules.front();
  std::int32_t type = m.type;
  std::int32_t J = first.ratedClock;
  ApplyPartNumberRule(first.partNumber, type, J, true);
  const std::string typeName = MemoryTypeName(type);
  const std::int32_t N = DataRateFactor(type);
  std::string sizeS = "0", sizeC = "0";
  if (m.sizeMB && *m.sizeMB > 0) {
    sizeS = FormatMBSpaced(static_cast<std::uint64_t>(*m.sizeMB));
    sizeC = FormatMBCompact(static_cast<std::uint64_t>(*m.sizeMB));
    if (TotalPhysicalMemoryMB() <= 0) TotalPhysicalMemoryMB() = *m.sizeMB;
  }
  const int channelIds[] = {5040, 5041, 5042, 5043};
  const std::string channel =
      lang_.Text(m.channelMode >= 1 && m.channelMode <= 4 ? channelIds[m.channelMode - 1] : 5040);
  const double w = m.clock;
  if (w > 0 && J < 1) J = RatedClockFromCurrent(w);
  const char* vendor = first.vendor.c_str();
  const char* part = first.partNumber.c_str();
  memoryCaption =
      Format("%s %s %s %dMHz ( %sB )", vendor, part, typeName.c_str(), N * J, sizeS.c_str());
  CaptionAndProfileSummary().memoryCaption = memoryCaption;
  const std::string row0 = Trim(Format("%s %s %s %dMHz", vendor, part, typeName.c_str(), N * J));
  const std::string caption = Format("%s %s %s @ %0.1fMHz (%dMHz - %sB)", vendor, part,
                                     typeName.c_str(), w, N * J, Trim(sizeC).c_str());
  const std::string profile = Format("%s %s %s %dMHz ( %sB ) @ %0.1fMHz", vendor, part,
                                     typeName.c_str(), N * J, Trim(sizeC).c_str(), w);
  // The pane shows the memory caption string; the table keeps the clock-carrying text.
  auto& table = CaptionAndProfileSummary();
  HardwareSummaryTable::Replace(table.caption[kCategoryMemory], caption);
  HardwareSummaryTable::Replace(table.profile[kCategoryMemory], profile);
  panes[kCategoryMemory].caption = Trim(memoryCaption);
  if (!rows) return;

  DeviceInfoModel& c = panes[kCategoryMemory].controls.front();
  c.SetRowValue(0, row0);
  c.SetRowValue(1, typeName);
  c.SetRowValue(2, sizeS + "B");
  c.SetRowValue(3, Format("%0.1f MHz", w > 0 ? w : 0.0));
  c.SetRowValue(4, FsbDramRatio(m.busClock, w));
  c.SetRowValue(5, FillTemplate(lang_.Text(5044), {channel}));
  c.SetRowValue(6, TimingsText(m.cl, m.rcd, m.rp, m.ras, m.trc, m.cr));
  c.SetRowValue(7, std::string(31, '-'));
  c.SetRowValue(8, lang_.Text(5045));
  std::string list;
  for (std::size_t j = 0; j < m.modules.size(); ++j) {
    const auto& mod = m.modules[j];
    std::int32_t jType = mod.type;
    std::int32_t Jj = mod.ratedClock;
    ApplyPartNumberRule(mod.partNumber, jType, Jj, Jj <= 10);
    if (Jj < 1 && w > 0) Jj = RatedClockFromCurrent(w);
    const std::string compact = FormatMBCompact(static_cast<std::uint64_t>(mod.sizeMB));
    if (!list.empty()) list += " + ";
    list += compact;
    const std::string vendorText = mod.vendor.empty() ? lang_.Text(5046) : mod.vendor;
    c.SetRowValue(static_cast<int>(9 + j),
                  Format("%s %s %s %dMHz (%sB)", vendorText.c_str(), mod.partNumber.c_str(),
                         MemoryTypeName(jType).c_str(), Jj * N, compact.c_str()));
  }
  if (m.modules.size() > 1 && !list.empty()) {
    c.SetRowValueByKey("TotalSize", Format("%sB (%s)", sizeS.c_str(), list.c_str()));
  }
}

void CHdwSummary::FillDisplay(bool rows) {
  auto& controls = panes[kCategoryDisplay].controls;
  const int n = std::clamp(display.count, 0, kMaxDisplayAdapters);
  std::string summaryText;
  for (int i = 0; i < n && i < static_cast<int>(controls.size()); ++i) {
    const auto& a = display.adapters[static_cast<std::size_t>(i)];
    const std::string& name = a.name.empty() ? a.caption : a.name;
    const std::string row0 =
        Trim(a.adapterRam.empty() ? name : Format("%s ( %s )", name.c_str(), a.adapterRam.c_str()));
    if (i == 0) summaryText = row0;
    if (!rows) continue;
    auto& c = controls[static_cast<std::size_t>(i)];
    c.SetRowValue(0, row0);
    c.SetRowValue(1, a.adapterCompatibility);
    c.SetRowValue(2, a.dacType);
    c.SetRowValue(3, a.adapterRam);
    c.SetRowValue(4, a.memoryType);
    c.SetRowValue(5, a.driverVersion);
    c.SetRowValue(6, a.driverDate);
    c.SetRowValue(7, a.installedDisplayDrivers);
  }
  if (n == 0) summaryText = lang_.Text(5080);
  SetSummary(kCategoryDisplay, summaryText, summaryText);
}

void CHdwSummary::FillMonitor(bool rows) {
  auto& controls = panes[kCategoryMonitor].controls;
  const int n = std::clamp(monitor.count, 0, kMaxMonitors);
  std::string summaryText = lang_.Text(5100);
  for (int i = 0; i < n && i < static_cast<int>(controls.size()); ++i) {
    const auto& mon = monitor.monitors[static_cast<std::size_t>(i)];
    const std::string name = !mon.displayName.empty() ? mon.displayName
                             : !mon.name.empty()      ? mon.name
                                                      : mon.caption;
    if (i == 0 && !Trim(name).empty()) summaryText = name;
    if (!rows) continue;
    auto& c = controls[static_cast<std::size_t>(i)];
    c.SetRowValue(0, name);
    c.SetRowValue(1, mon.manufacturer);
    c.SetRowValue(2, mon.monitorType);
    c.SetRowValue(3, AspectRatioText(mon.screenWidth, mon.screenHeight));
    // One monitor shows the desktop's mode, held to the least any desktop runs at.
    const bool single = n == 1;
    const int width = single ? std::max(mon.screenWidth, 640) : mon.screenWidth;
    const int height = single ? std::max(mon.screenHeight, 480) : mon.screenHeight;
    const int bits = single ? std::max(mon.bitsPerPixel, 8) : mon.bitsPerPixel;
    const int hz = single ? std::max(mon.refreshRate, 30) : mon.refreshRate;
    c.SetRowValue(4, FillTemplate(lang_.Text(5101), {Format("%d", width), Format("%d", height),
                                                     Format("%d", bits), Format("%d", hz)}));
    c.SetRowValue(5, !mon.problemText.empty() ? mon.problemText : mon.status);
  }
  if (n == 0 && rows && !controls.empty()) {
    auto& c = controls.front();
    c.SetRowValue(0, lang_.Text(5100));
    c.SetRowValue(1, lang_.Text(5102));
    c.SetRowValue(2, lang_.Text(5103));
    c.SetRowValue(5, lang_.Text(5104));
  }
  SetSummary(kCategoryMonitor, summaryText, summaryText);
}

void CHdwSummary::FillDisk(bool rows) {
  auto& controls = panes[kCategoryDisk].controls;
  const auto slots = DiskSlots();
  std::string summaryText;
  if (!slots.empty()) {
    const auto& d = hdd.disks[static_cast<std::size_t>(slots.front())];
    summaryText = Format("%s ( %sB )", Trim(d.model).c_str(), FormatDecimal(d.size).c_str());
  }
  if (rows) {
    for (std::size_t i = 0; i < slots.size() && i < controls.size(); ++i) {
      const auto& d = hdd.disks[static_cast<std::size_t>(slots[i])];
      auto& c = controls[i];
      c.SetRowValue(0, Trim(d.model));
      c.SetRowValue(1, Format("%d", d.index));
      c.SetRowValue(2, d.manufacturer);
      c.SetRowValue(3, d.interfaceType);
      c.SetRowValue(4, FormatDecimal(d.size) + "B");
      c.SetRowValue(5, Format("%d", d.partitions));
    }
    if (slots.empty() && !controls.empty()) {
      // No disk with a model and a size: the first listed disk's texts, if any, in the
      // placeholder's fixed shape.
      const bool any = hdd.count > 0;
      const auto& d = hdd.disks[0];
      auto& c = controls.front();
      c.SetRowValue(0, any ? Trim(d.model) : std::string());
      c.SetRowValue(1, "0");
      c.SetRowValue(2, lang_.Text(5060));
      c.SetRowValue(3, "IDE");
      c.SetRowValue(4, FormatDecimal(any ? d.size : std::string()) + "B");
      c.SetRowValue(5, "1");
    }
  }
  SetSummary(kCategoryDisk, summaryText, summaryText);
}

void CHdwSummary::FillNetwork(bool rows) {
  auto& controls = panes[kCategoryNetwork].controls;
  const std::string summaryText = network.empty() ? lang_.Text(5120) : network.front().name;
  if (rows) {
    for (std::size_t i = 0; i < network.size() && i < controls.size(); ++i) {
      const auto& a = network[i];
      auto& c = controls[i];
      c.SetRowValue(0, a.name);
      c.SetRowValue(1, a.vendor);
      c.SetRowValue(
          2, FillTemplate(lang_.Text(5130), {a.typeText, lang_.Text(a.connected ? 5131 : 5132)}));
      c.SetRowValue(3, Trim(a.mac));
      c.SetRowValue(4, lang_.Text(a.dhcp ? 5133 : 5134));
      c.SetRowValue(5, a.ip);
      c.SetRowValue(6, a.mask);
      c.SetRowValue(7, a.gateway);
      c.SetRowValue(8, a.dns);
    }
    if (network.empty() && !controls.empty()) {
      auto& c = controls.front();
      c.SetRowValue(0, lang_.Text(5120));
      c.SetRowValue(1, lang_.Text(5121));
      c.SetRowValue(2, lang_.Text(5122));
      c.SetRowValue(3, "00-00-00-00-00-00");
      c.SetRowValue(4, lang_.Text(5123));
      c.SetRowValue(5, lang_.Text(5125));
      c.SetRowValue(6, "255.0.0.0");
      c.SetRowValue(7, lang_.Text(5126));
      c.SetRowValue(8, lang_.Text(5127));
    }
  }
  SetSummary(kCategoryNetwork, summaryText, summaryText);
}

void CHdwSummary::FillSound(bool rows) {
  auto& controls = panes[kCategorySound].controls;
  auto nameOf = [](const SoundDeviceFacts& d) {
    return Trim(d.name.empty() ? d.secondName : d.name);
  };
  const std::string summaryText = sound.empty() ? lang_.Text(5150) : nameOf(sound.front());
  if (rows && !controls.empty()) {
    auto& c = controls.front();
    if (sound.empty()) {
      c.SetRowValue(0, lang_.Text(5150));
      c.SetRowValue(1, lang_.Text(5151));
      c.SetRowValue(2, "");
    }
    for (std::size_t i = 0; i < sound.size(); ++i) {
      const int r = static_cast<int>(3 * i);
      c.SetRowValue(r, nameOf(sound[i]));
      c.SetRowValue(r + 1, sound[i].vendor);
      c.SetRowValue(r + 2, "");
    }
  }
  SetSummary(kCategorySound, summaryText, summaryText);
}

std::string CHdwSummary::GetSummary(int kind, int which) const {
  return summary::GetSummary(kind, which);
}

}  // namespace korvane::summary
