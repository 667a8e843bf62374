#include "detect/MonitorHelper.h"

#include <cctype>
#include <exception>
#include <memory>

#include "config/LanguageRes.h"
#include "platform/Text.h"
#include "sysinfo/Wmi.h"

namespace korvane {

namespace {

constexpr std::size_t kPropertyUnits = 256;
constexpr std::size_t kDeviceIdUnits = 200;
constexpr const char* kDefaultMonitorModel = "DEFAULT_MONITOR";

// The text between the first and the second backslash, "" when there is no second one.
std::string BetweenFirstBackslashes(std::string_view id) {
  const auto first = id.find('\\');
  if (first == std::string_view::npos) return {};
  const auto second = id.find('\\', first + 1);
  if (second == std::string_view::npos) return {};
  return std::string(id.substr(first + 1, second - first - 1));
}

bool SameId(std::string_view a, std::string_view b) {
  return platform::EqualsIgnoreCase(platform::Trim(a), platform::Trim(b));
}

// The number after "\\.\DISPLAY" as the C library reads it: leading digits, 0 without any.
long AdapterNumber(std::string_view rest) {
  long n = 0;
  for (const char c : rest) {
    if (!std::isdigit(static_cast<unsigned char>(c))) break;
    n = n * 10 + (c - '0');
    if (n > 1000000) break;
  }
  return n;
}

}  // namespace

const DisplayDeviceApi& DisplayDeviceApi::System() {
  static const DisplayDeviceApi api{
      [](int index) { return GetSystemMetrics(index); },
      [](const char* device, std::uint32_t n, DISPLAY_DEVICEW* out, std::uint32_t flags) {
        return EnumDisplayDevicesW(device, n, out, flags);
      },
      [](const char* device, std::uint32_t mode, DEVMODEW* out) {
        return EnumDisplaySettingsW(device, mode, out);
      }};
  return api;
}

std::string MonitorModelOf(std::string_view idSource) {
  const std::string id = platform::Trim(idSource);
  if (id.empty()) return kDefaultMonitorModel;
  return platform::Trim(BetweenFirstBackslashes(id));
}

std::string FormatMonitorName(std::string_view idSource, std::string_view description,
                              std::string_view fallback) {
  const std::string model = MonitorModelOf(idSource);
  const auto close = description.find(')');
  const bool generic = (!description.empty() && description.front() == '(' &&
                        close != std::string_view::npos && close >= 2) ||
                       description == LangText(kTextDefaultMonitor);
  if (generic) {
    return model.empty() ? std::string(fallback) : model + " (" + std::string(fallback) + ")";
  }
  return model.empty() ? std::string(description) : std::string(description) + " (" + model + ")";
}

std::string MonitorProblemText(std::int32_t code) {
  const bool known = (code >= 0 && code <= 20) || code == 22 || (code >= 24 && code <= 29) ||
                     (code >= 31 && code <= 36);
  return LangText(known ? kTextProblemBase + code : kTextUnknownError);
}

void CMonitorHelper::vUpdate() {
  if (detected != 0) return;
  // Nothing a source throws leaves the detector: it only means "not detected this time".
  try {
    BuildPnpMonitorList();
    const int walked = WalkDisplayDevices();
    if (walked > 0) {
      count = walked;
      return;
    }
    count = 0;
    const int monitorsFound = QueryWmiMonitors();
    const int configurationFound = QueryWmiDisplayConfiguration();
    detected = (monitorsFound != 0 && configurationFound != 0) ? 1 : 0;
    const int n = count < 0 ? 0 : (count > kMaxMonitors ? kMaxMonitors : count);
    for (int i = 0; i < n; ++i) monitors[static_cast<std::size_t>(i)].confirmed = 1;
    if (n > 0) CheckEdidPresence();
  } catch (...) {
    detected = 0;
  }
}

void CMonitorHelper::BuildPnpMonitorList() {
  pnpMonitorCount = 0;
  try {
    const auto set = DeviceInfoSet::GetClassDevs(kMonitorClassGuid, DIGCF_PRESENT);
    if (!set) return;
    for (std::uint32_t index = 0; index < set->Size() && pnpMonitorCount < kMaxPnpMonitors;
         ++index) {
      std::vector<std::string> driver;
      std::vector<std::string> hardware;
      if (!set->GetDeviceRegistryProperty(index, SPDRP_DRIVER, &driver, kPropertyUnits))
        driver.clear();
      if (!set->GetDeviceRegistryProperty(index, SPDRP_HARDWAREID, &hardware, kPropertyUnits))
        hardware.clear();
      if (driver.empty() || hardware.empty() || driver.front().empty() || hardware.front().empty())
        continue;
      pnpMonitors[static_cast<std::size_t>(pnpMonitorCount)] = {driver.front(), hardware.front()};
      ++pnpMonitorCount;
    }
  } catch (const std::exception&) {
    // The devices read so far stay in the list.
  }
}

bool CMonitorHelper::InPnpList(std::string_view hardwareId, std::string_view driverKey) const {
  for (int i = 0; i < pnpMonitorCount && i < kMaxPnpMonitors; ++i) {
    const PnpMonitor& p = pnpMonitors[static_cast<std::size_t>(i)];
    if (SameId(p.hardwareId, hardwareId) && SameId(p.driverKey, driverKey)) return true;
  }
  return false;
}

void CMonitorHelper::FillFromWalk(int slot, const std::string& description,
                                  const std::string& deviceId, std::string modelId,
                                  const DEVMODEW& mode) {
  Monitor& m = monitors[static_cast<std::size_t>(slot)];
  const CDeviceDetail detail = m.detail;  // links made by the sensor report outlive a re-walk
  m = Monitor{};
  m.detail = detail;
  m.displayName = FormatMonitorName(deviceId, LangText(kTextDefaultMonitor), description);
  m.modelId = std::move(modelId);
  m.caption = description;
  m.name = description;
  m.monitorType = description;
  m.pnpDeviceId = deviceId;
  m.manufacturer = LangText(kTextDefaultMonitor);
  m.screenWidth = static_cast<std::int32_t>(mode.dmPelsWidth);
  m.screenHeight = static_cast<std::int32_t>(mode.dmPelsHeight);
  m.screenWidthText = std::to_string(mode.dmPelsWidth);
  m.screenHeightText = std::to_string(mode.dmPelsHeight);
  m.bitsPerPixel = static_cast<std::int32_t>(mode.dmBitsPerPel);
  m.refreshRate = static_cast<std::int32_t>(mode.dmDisplayFrequency);
  m.status = LangText(kTextMonitorStatus);
  m.problemText = LangText(kTextProblemBase);
  m.confirmed = 1;
}

int CMonitorHelper::WalkDisplayDevices() {
  if (!api_.Complete()) return 0;
  int stored = 0;
  // The bounds only guard against a source that never says "no more".
  for (std::uint32_t adapterIndex = 0; adapterIndex < 256; ++adapterIndex) {
    DISPLAY_DEVICEW adapter;
    if (!api_.enumDisplayDevices(nullptr, adapterIndex, &adapter, EDD_GET_DEVICE_INTERFACE_NAME))
      break;
    const std::string adapterName = platform::Trim(adapter.DeviceName);
    if (adapterName.empty()) break;
    const std::string upper = platform::ToUpperAscii(adapterName);
    if (upper.size() < 11 || upper.compare(0, 11, "\\\\.\\DISPLAY") != 0) continue;
    if (AdapterNumber(std::string_view(upper).substr(11)) <= 0) continue;
    if ((adapter.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) == 0) continue;
    if ((adapter.StateFlags & DISPLAY_DEVICE_MIRRORING_DRIVER) != 0) continue;

    DEVMODEW mode;
    if (!api_.enumDisplaySettings(adapterName.c_str(), ENUM_CURRENT_SETTINGS, &mode)) {
      mode = DEVMODEW{};
      if (!api_.enumDisplaySettings(adapterName.c_str(), ENUM_REGISTRY_SETTINGS, &mode))
        mode = DEVMODEW{};
    }

    bool storedOnAdapter = false;
    DISPLAY_DEVICEW monitor;
    for (std::uint32_t monitorIndex = 0; monitorIndex < 256; ++monitorIndex) {
      if (!api_.enumDisplayDevices(adapterName.c_str(), monitorIndex, &monitor,
                                   EDD_GET_DEVICE_INTERFACE_NAME))
        break;
      if (monitor.DeviceString.empty()) continue;
      const std::uint32_t state = monitor.StateFlags;
      if ((state & DISPLAY_DEVICE_ACTIVE) == 0 || (state & DISPLAY_DEVICE_ATTACHED) == 0 ||
          (state & DISPLAY_DEVICE_MIRRORING_DRIVER) != 0) {
        continue;
      }
      if (stored >= kMaxMonitors) continue;
      const std::string& id = monitor.DeviceID;
      std::string model = BetweenFirstBackslashes(id);
      if (model.empty()) model = kDefaultMonitorModel;
      const auto first = id.find('\\');
      const auto second = first == std::string::npos ? std::string::npos : id.find('\\', first + 1);
      const std::string hardwareId = second == std::string::npos ? id : id.substr(0, second);
      const std::string driverKey =
          second == std::string::npos ? std::string() : id.substr(second + 1);
      // A monitor the Plug and Play manager does not know is a leftover of the display driver.
      if (!InPnpList(hardwareId, driverKey)) continue;
      FillFromWalk(stored, monitor.DeviceString, id, std::move(model), mode);
      ++stored;
      storedOnAdapter = true;
    }

    if (!storedOnAdapter && monitor.DeviceString.empty() && stored < kMaxMonitors) {
      DISPLAY_DEVICEW plain;
      if (api_.enumDisplayDevices(adapterName.c_str(), 0, &plain, 0)) {
        const std::string description =
            plain.DeviceString.empty() ? LangText(kTextPlugAndPlay) : plain.DeviceString;
        const std::string& id = plain.DeviceID;
        // MONITOR\<code>\...: the code starts after the fixed eight-character head.
        std::string model;
        if (id.size() > 8) {
          const auto end = id.size() > 9 ? id.find('\\', 9) : std::string::npos;
          model = id.substr(8, end == std::string::npos ? std::string::npos : end - 8);
        }
        if (model.empty()) model = kDefaultMonitorModel;
        FillFromWalk(stored, description, id, std::move(model), mode);
        ++stored;
      }
    }
  }
  return stored;
}

int CMonitorHelper::QueryWmiMonitors() {
  WmiQuery query("Select * From Win32_DesktopMonitor");
  if (!query.Ok()) return 0;
  int result = 0;
  int i = 0;
  while (i < kMaxMonitors) {
    std::unique_ptr<WmiObject> object = query.Next();
    if (!object) break;
    result = 1;
    ++count;
    Monitor& m = monitors[static_cast<std::size_t>(i)];
    const CDeviceDetail detail = m.detail;
    m = Monitor{};
    m.detail = detail;
    auto text = [&](const char* property, std::string& field) {
      std::string v;
      if (GetStringProperty(*object, property, &v)) field = std::move(v);
    };
    auto number = [&](const char* property, std::int32_t& value, std::string* decimal) {
      std::int32_t v = 0;
      if (!GetInt32Property(*object, property, &v)) return false;
      value = v;
      if (decimal != nullptr) *decimal = std::to_string(v);
      return true;
    };
    text("Caption", m.caption);
    text("Name", m.name);
    text("MonitorManufacturer", m.manufacturer);
    text("MonitorType", m.monitorType);
    text("PNPDeviceID", m.pnpDeviceId);
    number("ScreenWidth", m.screenWidth, &m.screenWidthText);
    number("ScreenHeight", m.screenHeight, &m.screenHeightText);
    text("Status", m.status);
    if (number("ConfigManagerErrorCode", m.problemCode, nullptr))
      m.problemText = MonitorProblemText(m.problemCode);
    number("PixelsPerXLogicalInch", m.pixelsPerX, &m.pixelsPerXText);
    number("PixelsPerYLogicalInch", m.pixelsPerY, &m.pixelsPerYText);
    m.displayName = FormatMonitorName(m.pnpDeviceId, m.manufacturer, m.monitorType);
    m.modelId = MonitorModelOf(m.pnpDeviceId);
    ++i;
  }
  count = i;
  return result;
}

int CMonitorHelper::QueryWmiDisplayConfiguration() {
  WmiQuery query("Select * From Win32_DisplayConfiguration");
  if (!query.Ok()) return 0;
  int result = 0;
  while (count >= 1) {
    std::unique_ptr<WmiObject> object = query.Next();
    if (!object) break;
    result = 1;
    std::int32_t bits = 0;
    std::int32_t frequency = 0;
    const bool haveBits = GetInt32Property(*object, "BitsPerPel", &bits);
    const bool haveFrequency = GetInt32Property(*object, "DisplayFrequency", &frequency);
    const int n = count > kMaxMonitors ? kMaxMonitors : count;
    for (int i = 0; i < n; ++i) {
      Monitor& m = monitors[static_cast<std::size_t>(i)];
      if (haveBits) m.bitsPerPixel = bits;
      if (haveFrequency) m.refreshRate = frequency;
    }
  }
  return result;
}

void CMonitorHelper::CheckEdidPresence() {
  for (Monitor& m : monitors) m.confirmed = 1;
  try {
    const auto set = DeviceInfoSet::GetClassDevs(kMonitorClassGuid, DIGCF_PRESENT);
    if (!set) return;
    const int n = count < 0 ? 0 : (count > kMaxMonitors ? kMaxMonitors : count);
    for (std::uint32_t index = 0; index < set->Size(); ++index) {
      std::string id;
      if (!set->GetDeviceId(index, &id, kDeviceIdUnits)) id.clear();
      int slot = -1;
      // A device without an id says nothing about any monitor, not even one without an id.
      if (!platform::Trim(id).empty()) {
        for (int i = 0; i < n; ++i) {
          if (SameId(monitors[static_cast<std::size_t>(i)].pnpDeviceId, id)) {
            slot = i;
            break;
          }
        }
      }
      bool found = false;
      if (const auto key = set->OpenDevRegKey(index)) {
        std::string name;
        for (std::uint32_t v = 0; key->EnumValue(v, &name); ++v) {
          if (platform::EqualsIgnoreCase(name, "EDID")) {
            found = true;
            break;
          }
          if (platform::EqualsIgnoreCase(name, "BAD_EDID")) break;
        }
      }
      if (slot >= 0) monitors[static_cast<std::size_t>(slot)].confirmed = found ? 1 : 0;
    }
  } catch (const std::exception&) {
    // Slots not reached keep their confirmation.
  }
}

int CMonitorHelper::CountNamedMonitors() const {
  const int n = count < 0 ? 0 : (count > kMaxMonitors ? kMaxMonitors : count);
  int named = 0;
  for (int i = 0; i < n; ++i) {
    const Monitor& m = monitors[static_cast<std::size_t>(i)];
    if (!m.displayName.empty() && !m.modelId.empty() && m.confirmed != 0) ++named;
  }
  return named;
}

}  // namespace korvane
