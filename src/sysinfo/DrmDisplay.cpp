#include "sysinfo/DrmDisplay.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <mutex>
#include <optional>

#include "platform/Sysroot.h"
#include "platform/Text.h"
#include "sysinfo/Edid.h"
#include "sysinfo/LinuxWmiProvider.h"
#include "sysinfo/TextLines.h"
#include "sysinfo/WindowsIds.h"

namespace korvane {

namespace {

std::mutex gMonitorSourceMutex;
std::function<std::vector<MonitorClassDevice>()> gMonitorTestSource;

// "card12" -> 12; -1 for anything else (connectors "card0-DP-1", render nodes "renderD128").
int CardNumber(std::string_view name) {
  if (name.size() <= 4 || name.substr(0, 4) != "card") return -1;
  int number = -1;
  const char* begin = name.data() + 4;
  const char* end = name.data() + name.size();
  const auto [ptr, ec] = std::from_chars(begin, end, number);
  if (ec != std::errc() || ptr != end) return -1;
  return number;
}

std::string AdapterName(std::size_t index) {
  return platform::Format("\\\\.\\DISPLAY%zu", index + 1);
}

// The desktop's display devices: one per connector, as the desktop has one per output of an
// adapter, so that every monitor reports the mode of its own output.
struct Head {
  const DrmCard* card;
  const DrmOutput* output;
};

std::vector<Head> Heads(const std::vector<DrmCard>& cards) {
  std::vector<Head> heads;
  for (const DrmCard& card : cards) {
    for (const DrmOutput& o : card.outputs) heads.push_back({&card, &o});
  }
  return heads;
}

// The head an adapter name stands for, or nullopt.
std::optional<Head> HeadFor(const std::vector<DrmCard>& cards, std::string_view deviceName) {
  const std::string name = platform::Trim(deviceName);
  const std::vector<Head> heads = Heads(cards);
  for (std::size_t i = 0; i < heads.size(); ++i) {
    if (platform::EqualsIgnoreCase(name, AdapterName(i))) return heads[i];
  }
  return std::nullopt;
}

std::string MonitorDeviceId(const DrmOutput& o) {
  return "MONITOR\\" + MonitorPnpCode(o.connector) + "\\" + o.driverKey;
}

}  // namespace

bool EdidValid(const std::vector<std::uint8_t>& edid) {
  const auto info = ParseEdid(edid);
  return info && info->checksumOk;
}

std::string MonitorPnpCode(const DrmConnectorInfo& connector) {
  const auto info = ParseEdid(connector.edid);
  return info ? info->PnpId() : std::string("Default_Monitor");
}

std::optional<PciDeviceInfo> ReadCardPciFunction(std::string_view card) {
  if (CardNumber(card) < 0) return std::nullopt;
  const std::string dir = "/sys/class/drm/" + std::string(card) + "/device";
  // The link is relative to wherever the card's folder really is ("../.." on the machine,
  // "../../../0000:01:00.0" elsewhere): resolve it, then drop the machine root again.
  std::error_code ec;
  std::string real = std::filesystem::canonical(platform::SysPath(dir), ec).string();
  if (ec) return std::nullopt;
  if (!platform::SysrootPrefix().empty()) {
    const std::string root = std::filesystem::canonical(platform::SysrootPrefix(), ec).string();
    if (!ec && real.compare(0, root.size(), root) == 0) real.erase(0, root.size());
  }
  const std::string address = PciAddressInPath(real);
  if (address.empty()) return std::nullopt;
  auto number = [&](const char* file, int base) -> std::optional<std::uint64_t> {
    const auto line = platform::ReadSysLine(dir + "/" + file);
    if (!line) return std::nullopt;
    std::string_view v = *line;
    if (base == 16 && v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X'))
      v.remove_prefix(2);
    std::uint64_t value = 0;
    const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), value, base);
    if (ec != std::errc() || ptr == v.data()) return std::nullopt;
    return value;
  };
  const auto vendor = number("vendor", 16);
  const auto device = number("device", 16);
  if (!vendor || !device) return std::nullopt;
  PciDeviceInfo p;
  p.address = address;
  auto field = [&](std::size_t pos, std::size_t length) {
    unsigned value = 0;
    std::from_chars(address.data() + pos, address.data() + pos + length, value, 16);
    return value;
  };
  p.bus = field(5, 2);
  p.slot = field(8, 2);
  p.function = field(11, 1);
  p.vendor = static_cast<std::uint16_t>(*vendor);
  p.device = static_cast<std::uint16_t>(*device);
  p.subVendor = static_cast<std::uint16_t>(number("subsystem_vendor", 16).value_or(0));
  p.subDevice = static_cast<std::uint16_t>(number("subsystem_device", 16).value_or(0));
  p.revision = static_cast<std::uint8_t>(number("revision", 16).value_or(0));
  p.classCode = static_cast<std::uint32_t>(number("class", 16).value_or(0) & 0xFFFFFF);
  if (const auto resource = platform::ReadSysFile(dir + "/resource", 64 * 1024))
    p.bars = ParsePciResource(*resource);
  if (const auto vram = number("mem_info_vram_total", 10)) p.vramTotal = *vram;
  if (const auto uevent = platform::ReadSysFile(dir + "/uevent", 64 * 1024)) {
    ForEachLine(*uevent, [&](std::string_view line) {
      if (line.size() > 7 && line.substr(0, 7) == "DRIVER=")
        p.driver = platform::Trim(line.substr(7));
    });
  }
  if (p.driver.empty()) {
    if (const auto driver = platform::ReadSysLink(dir + "/driver")) {
      p.driver =
          driver->substr(driver->rfind('/') == std::string::npos ? 0 : driver->rfind('/') + 1);
    }
  }
  p.sysPath = real;
  return p;
}

void AddDrmCardPciDevices(std::vector<PciDeviceInfo>& pci) {
  std::vector<std::string> cards;
  for (const std::string& e : platform::ListSysDir("/sys/class/drm")) {
    if (CardNumber(e) >= 0) cards.push_back(e);
  }
  for (const DrmCard& card : BuildDrmCards(cards, {}, {})) {
    const auto p = ReadCardPciFunction(card.name);
    if (!p) continue;
    const bool known = std::any_of(pci.begin(), pci.end(),
                                   [&](const PciDeviceInfo& q) { return q.address == p->address; });
    if (!known) pci.push_back(*p);
  }
}

std::vector<DrmCard> BuildDrmCards(const std::vector<std::string>& cardNames,
                                   const std::vector<DrmConnectorInfo>& connectors,
                                   const std::vector<std::string>& enabledConnectors) {
  std::vector<std::pair<int, std::string>> numbered;
  for (const std::string& name : cardNames) {
    const int n = CardNumber(name);
    if (n >= 0) numbered.emplace_back(n, name);
  }
  // "card10" comes after "card2".
  std::sort(numbered.begin(), numbered.end());
  numbered.erase(std::unique(numbered.begin(), numbered.end()), numbered.end());

  std::vector<DrmCard> cards;
  int monitorNumber = 0;
  for (const auto& [number, name] : numbered) {
    DrmCard card;
    card.name = name;
    std::vector<const DrmConnectorInfo*> own;
    for (const DrmConnectorInfo& c : connectors) {
      if (c.card == name) own.push_back(&c);
    }
    std::sort(own.begin(), own.end(),
              [](const auto* a, const auto* b) { return a->name < b->name; });
    for (const DrmConnectorInfo* c : own) {
      DrmOutput o;
      o.connector = *c;
      o.enabled = std::find(enabledConnectors.begin(), enabledConnectors.end(), c->name) !=
                  enabledConnectors.end();
      // Only a monitor that identified itself becomes a Plug and Play device; the key numbers
      // count those devices over the whole machine, as the class installer numbers them.
      if (c->connected && !c->edid.empty()) {
        o.driverKey =
            platform::ToLowerAscii(kMonitorClassGuid) + platform::Format("\\%04d", monitorNumber++);
      }
      card.outputs.push_back(std::move(o));
    }
    cards.push_back(std::move(card));
  }
  return cards;
}

std::vector<DrmCard> ScanDrmCards() {
  const std::vector<std::string> entries = platform::ListSysDir("/sys/class/drm");
  std::vector<std::string> cardNames;
  for (const std::string& e : entries) {
    if (CardNumber(e) >= 0) cardNames.push_back(e);
  }
  if (cardNames.empty()) return {};
  const std::vector<DrmConnectorInfo> connectors = ScanDrmConnectors();
  std::vector<std::string> enabled;
  for (const DrmConnectorInfo& c : connectors) {
    if (platform::ReadSysLine("/sys/class/drm/" + c.name + "/enabled").value_or("") == "enabled") {
      enabled.push_back(c.name);
    }
  }
  return BuildDrmCards(cardNames, connectors, enabled);
}

bool EnumDisplayDevicesIn(const std::vector<DrmCard>& cards, const char* deviceName,
                          std::uint32_t devNum, DISPLAY_DEVICEW* out, std::uint32_t /*flags*/) {
  // The interface-name flag changes only the form of a monitor's id on the desktop this copies;
  // here both forms carry the same parts (code and driver key), so one form serves both.
  if (out == nullptr) return false;
  if (deviceName == nullptr || *deviceName == '\0') {
    const std::vector<Head> heads = Heads(cards);
    if (devNum >= heads.size()) return false;
    const Head& head = heads[devNum];
    DISPLAY_DEVICEW d;
    d.DeviceName = AdapterName(devNum);
    if (const auto pci = ReadCardPciFunction(head.card->name)) {
      d.DeviceString = PciFriendlyName(*pci);
      d.DeviceID = PciHardwareId(*pci);
    } else {
      d.DeviceString = head.card->name;
    }
    if (head.output->enabled) {
      d.StateFlags |= DISPLAY_DEVICE_ATTACHED_TO_DESKTOP;
      const auto first =
          std::find_if(heads.begin(), heads.end(), [](const Head& h) { return h.output->enabled; });
      if (first->output == head.output) d.StateFlags |= DISPLAY_DEVICE_PRIMARY_DEVICE;
    }
    *out = std::move(d);
    return true;
  }
  const auto head = HeadFor(cards, deviceName);
  if (!head || devNum != 0) return false;
  const DrmOutput& o = *head->output;
  if (!o.connector.connected) return false;
  DISPLAY_DEVICEW d;
  d.DeviceName = platform::Trim(deviceName) + "\\Monitor0";
  d.DeviceString = MonitorFriendlyName(o.connector);
  d.StateFlags = DISPLAY_DEVICE_ATTACHED | (o.enabled ? DISPLAY_DEVICE_ACTIVE : 0u);
  d.DeviceID = MonitorDeviceId(o);
  if (!o.driverKey.empty())
    d.DeviceKey = "\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\" + o.driverKey;
  *out = std::move(d);
  return true;
}

bool EnumDisplaySettingsIn(const std::vector<DrmCard>& cards, const char* deviceName,
                           std::uint32_t modeNum, DEVMODEW* out) {
  if (out == nullptr || deviceName == nullptr) return false;
  if (modeNum != ENUM_CURRENT_SETTINGS && modeNum != ENUM_REGISTRY_SETTINGS) return false;
  const auto head = HeadFor(cards, deviceName);
  if (!head) return false;
  const DrmOutput& o = *head->output;
  // The current mode exists only while the output is driven; the stored one is the monitor's
  // preferred mode.
  if (!o.connector.connected || (modeNum == ENUM_CURRENT_SETTINGS && !o.enabled)) return false;
  const DisplayMode mode = CurrentDisplayMode(o.connector);
  if (mode.width <= 0 || mode.height <= 0) return false;
  out->dmBitsPerPel = 32;
  out->dmPelsWidth = static_cast<std::uint32_t>(mode.width);
  out->dmPelsHeight = static_cast<std::uint32_t>(mode.height);
  out->dmDisplayFrequency = static_cast<std::uint32_t>(std::max(mode.refreshHz, 0));
  return true;
}

bool EnumDisplayDevicesW(const char* deviceName, std::uint32_t devNum, DISPLAY_DEVICEW* out,
                         std::uint32_t flags) {
  return EnumDisplayDevicesIn(ScanDrmCards(), deviceName, devNum, out, flags);
}

bool EnumDisplaySettingsW(const char* deviceName, std::uint32_t modeNum, DEVMODEW* out) {
  return EnumDisplaySettingsIn(ScanDrmCards(), deviceName, modeNum, out);
}

int GetSystemMetrics(int index) {
  const std::vector<DrmCard> cards = ScanDrmCards();
  const std::vector<Head> heads = Heads(cards);
  if (index == SM_CMONITORS) {
    return static_cast<int>(std::count_if(heads.begin(), heads.end(), [](const Head& h) {
      return h.output->connector.connected && h.output->enabled;
    }));
  }
  if (index == SM_CXSCREEN || index == SM_CYSCREEN) {
    const auto primary =
        std::find_if(heads.begin(), heads.end(), [](const Head& h) { return h.output->enabled; });
    if (primary == heads.end()) return 0;
    DEVMODEW mode;
    const std::string name = AdapterName(static_cast<std::size_t>(primary - heads.begin()));
    if (!EnumDisplaySettingsIn(cards, name.c_str(), ENUM_CURRENT_SETTINGS, &mode)) return 0;
    return static_cast<int>(index == SM_CXSCREEN ? mode.dmPelsWidth : mode.dmPelsHeight);
  }
  return 0;
}

std::vector<MonitorClassDevice> BuildMonitorClassDevices(const std::vector<DrmCard>& cards) {
  std::vector<MonitorClassDevice> devices;
  for (const DrmCard& card : cards) {
    for (const DrmOutput& o : card.outputs) {
      if (o.driverKey.empty()) continue;
      MonitorClassDevice d;
      d.instanceId = MonitorInstanceId(o.connector);
      d.driverKey = o.driverKey;
      d.hardwareIds.push_back("MONITOR\\" + MonitorPnpCode(o.connector));
      d.description = MonitorFriendlyName(o.connector);
      // A block that fails its header or checksum is kept under another name, so that nothing
      // reading "EDID" takes broken bytes for the monitor's.
      d.registryValues.push_back(EdidValid(o.connector.edid) ? "EDID" : "BAD_EDID");
      devices.push_back(std::move(d));
    }
  }
  return devices;
}

std::vector<MonitorClassDevice> ListMonitorClassDevices() {
  {
    std::lock_guard lock(gMonitorSourceMutex);
    if (gMonitorTestSource) return gMonitorTestSource();
  }
  return BuildMonitorClassDevices(ScanDrmCards());
}

void SetMonitorClassSourceForTesting(std::function<std::vector<MonitorClassDevice>()> source) {
  std::lock_guard lock(gMonitorSourceMutex);
  gMonitorTestSource = std::move(source);
}

bool DeviceRegistryKey::EnumValue(std::uint32_t index, std::string* name) const {
  if (name == nullptr || index >= names_.size()) return false;
  *name = names_[index];
  return true;
}

std::unique_ptr<DeviceInfoSet> DeviceInfoSet::GetClassDevs(std::string_view classGuid,
                                                           std::uint32_t /*flags*/) {
  const std::string guid = platform::Trim(classGuid);
  if (guid.size() != 38 || guid.front() != '{' || guid.back() != '}') return nullptr;
  auto set = std::make_unique<DeviceInfoSet>();
  // Every device listed here is present; other classes have no devices in this source.
  if (platform::EqualsIgnoreCase(guid, kMonitorClassGuid))
    set->devices_ = ListMonitorClassDevices();
  return set;
}

bool DeviceInfoSet::GetDeviceRegistryProperty(std::uint32_t index, std::uint32_t property,
                                              std::vector<std::string>* out,
                                              std::size_t capacity) const {
  if (out == nullptr || index >= devices_.size() || capacity == 0) return false;
  const MonitorClassDevice& d = devices_[index];
  std::vector<std::string> values;
  switch (property) {
    case SPDRP_DEVICEDESC:
      values.push_back(d.description);
      break;
    case SPDRP_HARDWAREID:
      values = d.hardwareIds;
      break;
    case SPDRP_DRIVER:
      values.push_back(d.driverKey);
      break;
    default:
      return false;
  }
  if (values.empty()) return false;
  for (std::string& v : values) v = platform::TruncateUtf16Units(v, capacity - 1);
  *out = std::move(values);
  return true;
}

bool DeviceInfoSet::GetDeviceId(std::uint32_t index, std::string* out, std::size_t capacity) const {
  if (out == nullptr || index >= devices_.size()) return false;
  const std::string& id = devices_[index].instanceId;
  if (platform::Utf8ToUtf16(id).size() + 1 > capacity) return false;
  *out = id;
  return true;
}

std::unique_ptr<DeviceRegistryKey> DeviceInfoSet::OpenDevRegKey(std::uint32_t index) const {
  if (index >= devices_.size()) return nullptr;
  return std::make_unique<DeviceRegistryKey>(devices_[index].registryValues);
}

}  // namespace korvane
