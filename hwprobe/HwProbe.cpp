#include "HwProbe.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <set>
#include <system_error>

#include "QmHdwApi.h"
#include "TextUtil.h"
#include "platform/PciIds.h"
#include "platform/Sysroot.h"

namespace korvane::hwprobe {
namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

int ChannelFromText(const std::string& u) {
  auto channelChar = [](char c) -> int {
    if (c >= 'A' && c <= 'H') return c - 'A';
    if (c >= '0' && c <= '7') return c - '0';
    return -1;
  };
  for (const char* word : {"CHANNEL", "CHAN"}) {
    std::size_t p = u.find(word);
    if (p == std::string::npos) continue;
    p += std::string_view(word).size();
    while (p < u.size() && (u[p] == ' ' || u[p] == '-' || u[p] == '_' || u[p] == ':')) ++p;
    if (p < u.size()) return channelChar(u[p]);
  }
  // "DIMM_A1", "DIMM A2", "DIMMB1"
  for (std::size_t p = u.find("DIMM"); p != std::string::npos; p = u.find("DIMM", p + 1)) {
    std::size_t q = p + 4;
    while (q < u.size() && (u[q] == ' ' || u[q] == '_' || u[q] == '-')) ++q;
    if (q + 1 < u.size() && u[q] >= 'A' && u[q] <= 'H' &&
        std::isdigit(static_cast<unsigned char>(u[q + 1])))
      return u[q] - 'A';
  }
  // "A1_DIMM0", "B2"
  if (u.size() >= 2 && u[0] >= 'A' && u[0] <= 'H' &&
      std::isdigit(static_cast<unsigned char>(u[1])) &&
      (u.size() == 2 || u[2] == '_' || u[2] == ' '))
    return u[0] - 'A';
  // "CHA_DIMM0", "CH0"
  if (u.size() >= 3 && u.compare(0, 2, "CH") == 0) return channelChar(u[2]);
  return -1;
}

bool MeaningfulVendor(const std::string& s) {
  const std::string u = Upper(s);
  if (u.empty() || StartsWith(u, "UNKNOWN") || StartsWith(u, "UNDEFINED") || u == "NOT SPECIFIED" ||
      u.find("MANUFACTURER") != std::string::npos || u == "NO DIMM" || u == "[EMPTY]" ||
      u == "DEFAULT STRING" || StartsWith(u, "TO BE FILLED") || u == "N/A" || u == "NONE")
    return false;
  // Bare JEDEC id codes ("80CE000080CE") tell nothing to a reader.
  return !std::all_of(u.begin(), u.end(),
                      [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

// SMBIOS gives transfer rates; the memory clock is half of that only for double-data-rate
// memory. SDRAM at 133 MT/s runs at 133 MHz.
int TransfersPerClock(int smbiosType, int mts) {
  switch (smbiosType) {
    case 0x11:
    case 0x12:
    case 0x13:
    case 0x14:
    case 0x18:
    case 0x19:
    case 0x1A:
    case 0x1B:
    case 0x1C:
    case 0x1D:
    case 0x1E:
    case 0x20:
    case 0x21:
    case 0x22:
    case 0x23:
    case 0x24:
      return 2;
    case 0x00:
    case 0x01:
    case 0x02:
      // Other or unknown: no single-data-rate module ever ran faster than 200 MT/s.
      return mts > 200 ? 2 : 1;
    default:
      return 1;
  }
}

std::string StripSerial(std::string s) {
  s = Upper(s);
  if (StartsWith(s, "0X")) s = s.substr(2);
  return s;
}

// Chipset and display names from the distribution's PCI id list. Names only: nothing here asks
// the machine, so nothing needs privileges, and a recorded machine gets the names of its ids,
// not of the machine running the tests (udev's hardware database would answer for that one).
// The list is read where the names are, not loaded whole: the program beside this library
// names devices from the same file, and two full copies of it were most of a terminal report's
// memory.
struct PciNames {
  platform::PciIdList list{platform::PciIdList::SystemPath()};
  std::string Vendor(unsigned vendor) {
    return CleanText(list.Vendor(static_cast<std::uint16_t>(vendor)));
  }
  std::string Device(unsigned vendor, unsigned device) {
    return CleanText(
        list.Device(static_cast<std::uint16_t>(vendor), static_cast<std::uint16_t>(device)));
  }
};

std::string NamePciDevice(void* context, std::uint16_t vendor, std::uint16_t device) {
  auto* names = static_cast<PciNames*>(context);
  std::string v = names->Vendor(vendor), d = names->Device(vendor, device);
  if (v.empty() && d.empty()) return {};
  // pci.ids names vendors in full ("NVIDIA Corporation", "Advanced Micro Devices, Inc.
  // [AMD/ATI]"): keep the short name in brackets, or else the first word.
  std::string shortVendor = v.substr(0, v.find(' '));
  if (const std::size_t open = v.rfind('['), close = v.rfind(']');
      open != std::string::npos && close > open + 1)
    shortVendor = v.substr(open + 1, close - open - 1);
  return d.empty() ? v : shortVendor.empty() ? d : shortVendor + " " + d;
}

std::optional<unsigned> ReadHex(const std::string& path) {
  auto line = platform::ReadSysLine(path);
  if (!line) return std::nullopt;
  char* end = nullptr;
  unsigned long v = std::strtoul(line->c_str(), &end, 16);
  if (end == line->c_str()) return std::nullopt;
  return static_cast<unsigned>(v);
}

PciIds ReadPciIds(const std::string& dev) {
  PciIds ids;
  if (dev.empty()) return ids;
  const std::string d = "/sys/bus/pci/devices/" + dev;
  auto v = ReadHex(d + "/vendor"), id = ReadHex(d + "/device");
  if (!v || !id) return ids;
  ids.vendor = *v & 0xFFFF;
  ids.device = *id & 0xFFFF;
  ids.revision = ReadHex(d + "/revision").value_or(0) & 0xFF;
  ids.present = true;
  return ids;
}

// North bridge: the host bridge at 00:00.0 (or the first host bridge of bus 0); south
// bridge: the first ISA/LPC bridge.
void FindChipset(BoardFacts& b) {
  std::string north, south;
  for (const std::string& dev : platform::ListSysDir("/sys/bus/pci/devices")) {
    auto cls = ReadHex("/sys/bus/pci/devices/" + dev + "/class");
    if (!cls) continue;
    const unsigned sub = *cls >> 8;
    const bool bus0 = dev.find(":00:") != std::string::npos;
    if (sub == 0x0600 && bus0 && (north.empty() || dev.find(":00:00.0") != std::string::npos))
      north = dev;
    if (sub == 0x0601 && south.empty()) south = dev;
  }
  b.north = ReadPciIds(north);
  b.south = ReadPciIds(south);
}

void NameChipset(BoardFacts& b, PciNames& names) {
  auto fill = [&](const PciIds& ids, std::string& vendor, std::string& model,
                  std::string* revision) {
    if (!ids.present) return;
    vendor = names.Vendor(ids.vendor);
    model = names.Device(ids.vendor, ids.device);
    if (vendor.empty()) vendor = Format("%04X", ids.vendor);
    if (model.empty()) model = Format("%04X", ids.device);
    if (revision != nullptr) *revision = Format("%02X", ids.revision);
  };
  fill(b.north, b.northVendor, b.northModel, &b.northRevision);
  fill(b.south, b.southVendor, b.southModel, nullptr);
}

BoardFacts ReadBoard(const SmbiosInfo& smbios) {
  BoardFacts b;
  auto dmi = [](const char* attr, const std::string& fallback) {
    if (auto v = platform::ReadSysLine(std::string("/sys/class/dmi/id/") + attr)) {
      std::string t = CleanText(*v);
      if (!t.empty()) return t;
    }
    return fallback;
  };
  b.biosVendor = dmi("bios_vendor", smbios.biosVendor);
  b.biosVersion = dmi("bios_version", smbios.biosVersion);
  b.biosDate = dmi("bios_date", smbios.biosDate);
  b.boardVendor = dmi("board_vendor", smbios.boardVendor);
  b.boardModel = dmi("board_name", smbios.boardProduct);
  b.boardVersion = dmi("board_version", smbios.boardVersion);
  b.boardSerial = dmi("board_serial", smbios.boardSerial);
  b.systemVendor = dmi("sys_vendor", smbios.systemVendor);
  b.systemProduct = dmi("product_name", smbios.systemProduct);
  b.systemVersion = dmi("product_version", smbios.systemVersion);
  FindChipset(b);
  return b;
}

std::vector<std::pair<int, SpdModule>> ReadSpds() {
  std::vector<std::pair<int, SpdModule>> out;
  for (const std::string& dev : platform::ListSysDir("/sys/bus/i2c/devices")) {
    // "<bus>-00<addr>": SPD EEPROMs sit at 0x50..0x57.
    const std::size_t dash = dev.find('-');
    if (dash == std::string::npos) continue;
    const unsigned long addr = std::strtoul(dev.c_str() + dash + 1, nullptr, 16);
    if (addr < 0x50 || addr > 0x57) continue;
    const std::string d = "/sys/bus/i2c/devices/" + dev;
    auto driver = platform::ReadSysLine(d + "/name");
    if (!driver) continue;
    if (*driver != "ee1004" && *driver != "spd5118" && *driver != "eeprom" && *driver != "spd" &&
        !StartsWith(*driver, "24c") && *driver != "at24")
      continue;
    std::optional<std::vector<std::uint8_t>> bytes;
    for (const char* f : {"/eeprom", "/nvmem"})
      if (!bytes) bytes = platform::ReadSysBinary(d + f, 4096);
    if (!bytes)
      for (const std::string& sub : platform::ListSysDir(d))
        if (!bytes && sub.find('-') != std::string::npos)
          bytes = platform::ReadSysBinary(d + "/" + sub + "/nvmem", 4096);
    if (!bytes) continue;
    if (auto m = DecodeSpd(*bytes)) out.emplace_back(static_cast<int>(addr - 0x50), std::move(*m));
  }
  return out;
}

}  // namespace

int ChannelOfLocator(const std::string& locator, const std::string& bankLocator) {
  int c = ChannelFromText(Upper(bankLocator));
  if (c < 0) c = ChannelFromText(Upper(locator));
  return c;
}

MemoryFacts BuildMemoryFacts(const SmbiosInfo& smbios,
                             const std::vector<std::pair<int, SpdModule>>& spds,
                             long long memTotalKB) {
  MemoryFacts m;
  std::set<int> channels;
  bool channelsKnown = true;
  std::vector<bool> spdUsed(spds.size(), false);
  auto takeSpd = [&](const SmbiosMemoryDevice* d, std::size_t ordinal) -> std::optional<SpdModule> {
    if (d != nullptr && !d->serialNumber.empty()) {
      for (std::size_t i = 0; i < spds.size(); ++i)
        if (!spdUsed[i] && !spds[i].second.serialNumber.empty() &&
            StripSerial(d->serialNumber) == spds[i].second.serialNumber) {
          spdUsed[i] = true;
          return spds[i].second;
        }
    }
    // Otherwise the n-th populated slot gets the n-th EEPROM, in address order.
    if (ordinal < spds.size() && !spdUsed[ordinal]) {
      spdUsed[ordinal] = true;
      return spds[ordinal].second;
    }
    return std::nullopt;
  };

  if (!smbios.devices.empty()) {
    m.slotCount = static_cast<int>(smbios.devices.size());
    m.arrays = smbios.arrays;
    long long total = 0;
    std::size_t ordinal = 0;
    for (std::size_t i = 0; i < smbios.devices.size(); ++i) {
      const SmbiosMemoryDevice& d = smbios.devices[i];
      if (d.sizeMB <= 0) continue;
      if (i < 32) m.populatedMask |= 1u << i;
      total += d.sizeMB;
      MemoryModule mod;
      mod.slot = static_cast<int>(i);
      mod.spd = takeSpd(&d, ordinal++);
      mod.typeCode = MemoryTypeFromSmbios(d.smbiosType);
      mod.sizeMB = d.sizeMB;
      mod.maxClockMHz =
          d.speedMTs > 0 ? d.speedMTs / TransfersPerClock(d.smbiosType, d.speedMTs) : -1;
      mod.manufacturer = Jep106NameFromText(d.manufacturer);
      if (mod.manufacturer.empty() && MeaningfulVendor(d.manufacturer))
        mod.manufacturer = d.manufacturer;
      mod.partNumber = Upper(d.partNumber) == "UNKNOWN" ? "" : d.partNumber;
      mod.serialNumber = Upper(d.serialNumber) == "UNKNOWN" ? "" : d.serialNumber;
      const int ch = ChannelOfLocator(d.locator, d.bankLocator);
      if (ch < 0)
        channelsKnown = false;
      else
        channels.insert(ch);
      m.modules.push_back(std::move(mod));
    }
    if (total > 0) m.totalMB = static_cast<int>(std::min<long long>(total, 0x7FFFFFFF));
    for (const SmbiosMemoryDevice& d : smbios.devices)
      if (d.sizeMB > 0) {
        const int mts = d.configuredMTs > 0 ? d.configuredMTs : d.speedMTs;
        if (mts > 0) m.clockMHz = static_cast<double>(mts) / TransfersPerClock(d.smbiosType, mts);
        break;
      }
  } else {
    int highest = -1;
    for (const auto& [slot, spd] : spds) {
      MemoryModule mod;
      mod.slot = slot;
      mod.spd = spd;
      if (slot < 32) m.populatedMask |= 1u << slot;
      highest = std::max(highest, slot);
      m.modules.push_back(std::move(mod));
    }
    // EEPROM addresses follow the slots; boards have slots in pairs.
    if (highest >= 0) m.slotCount = (highest + 2) & ~1;
    channelsKnown = false;
  }
  // The module's own EEPROM knows better than the firmware's summary.
  long long spdTotal = 0;
  for (MemoryModule& mod : m.modules) {
    if (!mod.spd) continue;
    const SpdModule& s = *mod.spd;
    if (s.typeCode > 0) mod.typeCode = s.typeCode;
    if (s.sizeMB > 0) mod.sizeMB = s.sizeMB;
    if (s.maxClockMHz > 0) mod.maxClockMHz = s.maxClockMHz;
    if (!s.manufacturer.empty()) mod.manufacturer = s.manufacturer;
    if (!s.partNumber.empty()) mod.partNumber = s.partNumber;
    if (!s.serialNumber.empty()) mod.serialNumber = s.serialNumber;
    spdTotal += std::max(0, mod.sizeMB);
  }
  if (m.totalMB <= 0 && spdTotal > 0)
    m.totalMB = static_cast<int>(std::min<long long>(spdTotal, 0x7FFFFFFF));
  if (m.totalMB <= 0 && memTotalKB > 0) m.totalMB = static_cast<int>(memTotalKB / 1024);
  if (!m.modules.empty()) {
    m.typeCode = m.modules.front().typeCode;
    // Only the firmware knows the speed it set up; a module's rated clock is not the current one.
    if (m.modules.front().spd && m.clockMHz > 0)
      m.timings = TimingsAt(*m.modules.front().spd, m.clockMHz);
  }
  if (channelsKnown && !channels.empty())
    m.channels = std::min<int>(static_cast<int>(channels.size()), 4);
  else if (m.modules.size() == 1)
    m.channels = 1;
  return m;
}

namespace {

// Without the whole table (older kernels, or a table the kernel would not export), the kernel
// still lists each structure under entries/<type>-<instance>/raw; in table order within a type.
std::optional<std::vector<std::uint8_t>> ReadSmbiosEntries() {
  std::vector<std::pair<std::pair<long long, long long>, std::string>> names;
  for (const std::string& e : platform::ListSysDir("/sys/firmware/dmi/entries")) {
    const std::size_t dash = e.find('-');
    long long type = 0, instance = 0;
    if (dash == std::string::npos || !ParseInt(e.substr(0, dash), type) ||
        !ParseInt(e.substr(dash + 1), instance))
      continue;
    names.push_back({{type, instance}, e});
  }
  std::sort(names.begin(), names.end());
  std::vector<std::uint8_t> table;
  for (const auto& [key, e] : names) {
    auto raw = platform::ReadSysBinary("/sys/firmware/dmi/entries/" + e + "/raw", 64 * 1024);
    if (!raw || raw->size() < 6 || (*raw)[1] < 4 || (*raw)[1] > raw->size()) continue;
    // Each entry must end with its own string-set terminator, so one damaged entry cannot
    // swallow the next.
    if ((*raw)[raw->size() - 1] != 0 || (*raw)[raw->size() - 2] != 0) continue;
    if (table.size() + raw->size() > (1u << 20)) break;
    table.insert(table.end(), raw->begin(), raw->end());
  }
  if (table.empty()) return std::nullopt;
  return table;
}

}  // namespace

bool HardwareProbe::Init() {
  CpuFacts cpu = ProbeCpu();
  std::vector<CpuinfoEntry> cpuinfo;
  if (auto text = platform::ReadSysFile("/proc/cpuinfo", 4 << 20)) cpuinfo = ParseCpuinfo(*text);

  SmbiosInfo smbios;
  auto table = platform::ReadSysBinary("/sys/firmware/dmi/tables/DMI", 1 << 20);
  if (!table || table->empty()) table = ReadSmbiosEntries();
  if (table) smbios = ParseSmbiosTable(*table);
  long long memTotalKB = -1;
  if (auto meminfo = platform::ReadSysFile("/proc/meminfo", 1 << 16)) {
    for (const std::string& line : SplitLines(*meminfo)) {
      if (!StartsWith(line, "MemTotal:")) continue;
      long long kb = 0;
      std::string v = Trim(std::string_view(line).substr(9));
      if (std::size_t sp = v.find(' '); sp != std::string::npos) v.resize(sp);
      if (ParseInt(v, kb) && kb > 0) memTotalKB = kb;
    }
  }
  MemoryFacts memory = BuildMemoryFacts(smbios, ReadSpds(), memTotalKB);
  BoardFacts board = ReadBoard(smbios);
  std::vector<HwmonChip> chips = ScanHwmon(nullptr, nullptr);
  WaitForNames();  // a second Init must not race the first one's naming

  {
    std::lock_guard lock(mutex_);
    cpu_ = std::move(cpu);
    cpuinfo_ = std::move(cpuinfo);
    memory_ = std::move(memory);
    board_ = std::move(board);
    chips_ = std::move(chips);
    clocks_.assign(cpu_.packages.size(), {});
    for (std::size_t p = 0; p < cpu_.packages.size(); ++p)
      for (int c : cpu_.packages[p].coreCpus) clocks_[p].push_back(ReadCpuClock(c, cpuinfo_));
    initialised_ = true;
  }
  std::lock_guard names(namesMutex_);
  try {
    namesThread_ = std::thread([this] {
      try {
        NameDevices();
      } catch (...) {
        // Out of memory while naming: the devices keep their driver names.
      }
    });
  } catch (const std::system_error&) {
    NameDevices();  // no thread to be had: name them now
  }
  return true;
}

HardwareProbe::~HardwareProbe() { WaitForNames(); }

void HardwareProbe::WaitForNames() const {
  std::lock_guard names(namesMutex_);
  if (namesThread_.joinable()) namesThread_.join();
}

void HardwareProbe::NameDevices() {
  PciNames names;
  BoardFacts board;
  std::vector<std::pair<std::uint16_t, std::uint16_t>> gpus;
  {
    std::lock_guard lock(mutex_);
    board = board_;
    for (const HwmonChip& c : chips_) gpus.emplace_back(c.pciVendor, c.pciDevice);
  }
  NameChipset(board, names);
  std::vector<std::string> gpuNames;
  for (auto [v, d] : gpus) gpuNames.push_back(v != 0 ? NamePciDevice(&names, v, d) : std::string());
  std::lock_guard lock(mutex_);
  board_.northVendor = board.northVendor;
  board_.northModel = board.northModel;
  board_.northRevision = board.northRevision;
  board_.southVendor = board.southVendor;
  board_.southModel = board.southModel;
  for (std::size_t i = 0; i < chips_.size() && i < gpuNames.size(); ++i)
    if (!gpuNames[i].empty()) chips_[i].name = gpuNames[i];
}

void HardwareProbe::Close() {
  std::lock_guard lock(mutex_);
  chips_.clear();
  initialised_ = false;
}

void HardwareProbe::RefreshSensors() {
  std::lock_guard lock(mutex_);
  RefreshHwmon(chips_);
}

void HardwareProbe::RefreshClocks() {
  std::lock_guard lock(mutex_);
  for (std::size_t p = 0; p < cpu_.packages.size() && p < clocks_.size(); ++p)
    for (std::size_t c = 0; c < cpu_.packages[p].coreCpus.size() && c < clocks_[p].size(); ++c)
      clocks_[p][c] = ReadCpuClock(cpu_.packages[p].coreCpus[c], cpuinfo_);
}

CpuFacts HardwareProbe::Cpu() const {
  std::lock_guard lock(mutex_);
  return cpu_;
}

std::vector<double> HardwareProbe::CoreClocks(int package) const {
  std::lock_guard lock(mutex_);
  if (package < 0 || static_cast<std::size_t>(package) >= clocks_.size()) return {};
  return clocks_[static_cast<std::size_t>(package)];
}

MemoryFacts HardwareProbe::Memory() const {
  std::lock_guard lock(mutex_);
  return memory_;
}

BoardFacts HardwareProbe::Board() const {
  WaitForNames();
  std::lock_guard lock(mutex_);
  return board_;
}

BoardFacts HardwareProbe::BoardIdentity() const {
  std::lock_guard lock(mutex_);
  return board_;
}

std::vector<HwmonChip> HardwareProbe::Chips() const {
  WaitForNames();
  std::lock_guard lock(mutex_);
  return chips_;
}

float HardwareProbe::CoreVoltage() const {
  std::lock_guard lock(mutex_);
  for (const HwmonChip& chip : chips_) {
    if (chip.kind != qmhdw::kDeviceBoard) continue;
    for (const HwmonSensor& s : chip.sensors)
      if (s.sensorClass == qmhdw::kSensorVoltage && s.name == "CPU VCORE" && s.valid)
        return s.value;
    break;
  }
  return -1.0f;
}

}  // namespace korvane::hwprobe
