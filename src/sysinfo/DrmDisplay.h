#pragma once
// The display devices of the machine as the desktop's display API lists them, built from the
// kernel's DRM cards and connectors. The monitor device class of the Plug and Play
// manager (driver key, hardware id, the EDID values of the device key) is built from the same
// scan, so the two always agree.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sysinfo/LinuxHardware.h"

namespace korvane {

inline constexpr std::string_view kMonitorClassGuid = "{4D36E96E-E325-11CE-BFC1-08002BE10318}";

// One connector of a card with what the display stand-ins add to it.
struct DrmOutput {
  DrmConnectorInfo connector;
  bool enabled = false;   // the kernel drives it (sysfs "enabled")
  std::string driverKey;  // "{4d36e96e-...}\0000"; "" when it is no monitor-class device
};

struct DrmCard {
  std::string name;  // "card0"
  std::vector<DrmOutput> outputs;
};

// The EDID is usable: whole base block, fixed header, right checksum.
bool EdidValid(const std::vector<std::uint8_t>& edid);
// "DEL40A3", or "Default_Monitor" when the EDID does not identify the monitor.
std::string MonitorPnpCode(const DrmConnectorInfo& connector);

// Groups connectors under their cards (cards in number order, connectors in name order) and
// numbers the monitor-class devices: the connected connectors that have an EDID at all.
std::vector<DrmCard> BuildDrmCards(const std::vector<std::string>& cardNames,
                                   const std::vector<DrmConnectorInfo>& connectors,
                                   const std::vector<std::string>& enabledConnectors);
// The same over the sysroot.
std::vector<DrmCard> ScanDrmCards();

// The PCI function behind a card, read through the card's device link; nullopt when the card
// is not on PCI.
std::optional<PciDeviceInfo> ReadCardPciFunction(std::string_view card);
// Adds the cards' PCI functions that the list does not hold yet (a machine whose PCI bus folder
// does not list its graphics device still shows it).
void AddDrmCardPciDevices(std::vector<PciDeviceInfo>& pci);

// ---- The display-device calls ----
// One display device "\\.\DISPLAY<n>" per connector (cards in number order), as the desktop has
// one per output of an adapter: attached while the connector is enabled, with the connector's
// monitor as its monitor 0 while one is connected.

inline constexpr std::uint32_t DISPLAY_DEVICE_ATTACHED_TO_DESKTOP = 0x1;
inline constexpr std::uint32_t DISPLAY_DEVICE_PRIMARY_DEVICE = 0x4;
inline constexpr std::uint32_t DISPLAY_DEVICE_MIRRORING_DRIVER = 0x8;
// Monitor state flags.
inline constexpr std::uint32_t DISPLAY_DEVICE_ACTIVE = 0x1;
inline constexpr std::uint32_t DISPLAY_DEVICE_ATTACHED = 0x2;
inline constexpr std::uint32_t EDD_GET_DEVICE_INTERFACE_NAME = 0x1;
inline constexpr std::uint32_t ENUM_CURRENT_SETTINGS = 0xFFFFFFFFu;
inline constexpr std::uint32_t ENUM_REGISTRY_SETTINGS = 0xFFFFFFFEu;
inline constexpr int SM_CXSCREEN = 0;
inline constexpr int SM_CYSCREEN = 1;
inline constexpr int SM_CMONITORS = 80;

struct DISPLAY_DEVICEW {
  std::string DeviceName;    // "\\.\DISPLAY1", "\\.\DISPLAY1\Monitor0"
  std::string DeviceString;  // description
  std::uint32_t StateFlags = 0;
  std::string DeviceID;  // adapters: PCI hardware id; monitors: MONITOR\<code>\<driver key>
  std::string DeviceKey;
};

struct DEVMODEW {
  std::uint32_t dmBitsPerPel = 0;
  std::uint32_t dmPelsWidth = 0;
  std::uint32_t dmPelsHeight = 0;
  std::uint32_t dmDisplayFrequency = 0;
};

// deviceName null or empty: display device number devNum; else monitor number devNum of that
// device. False past the last one.
bool EnumDisplayDevicesW(const char* deviceName, std::uint32_t devNum, DISPLAY_DEVICEW* out,
                         std::uint32_t flags);
// The output's current mode (while it is enabled) or, for the registry settings, its monitor's
// preferred mode; 32 bits per pixel. False without a connected monitor.
bool EnumDisplaySettingsW(const char* deviceName, std::uint32_t modeNum, DEVMODEW* out);
int GetSystemMetrics(int index);

// The same three over an already-made scan (tested directly).
bool EnumDisplayDevicesIn(const std::vector<DrmCard>& cards, const char* deviceName,
                          std::uint32_t devNum, DISPLAY_DEVICEW* out, std::uint32_t flags);
bool EnumDisplaySettingsIn(const std::vector<DrmCard>& cards, const char* deviceName,
                           std::uint32_t modeNum, DEVMODEW* out);

// ---- The monitor device class ----

struct MonitorClassDevice {
  std::string instanceId;                // DISPLAY\DEL40A3\<suffix>, as the other sources name it
  std::string driverKey;                 // SPDRP_DRIVER
  std::vector<std::string> hardwareIds;  // SPDRP_HARDWAREID: "MONITOR\DEL40A3"
  std::string description;               // SPDRP_DEVICEDESC
  std::vector<std::string> registryValues;  // value names of the device's hardware key, in order
};

std::vector<MonitorClassDevice> BuildMonitorClassDevices(const std::vector<DrmCard>& cards);
// The machine's monitor devices unless a test replaced them.
std::vector<MonitorClassDevice> ListMonitorClassDevices();
// Tests: replace the source (nullptr restores the machine's).
void SetMonitorClassSourceForTesting(std::function<std::vector<MonitorClassDevice>()> source);

inline constexpr std::uint32_t DIGCF_PRESENT = 0x2;
inline constexpr std::uint32_t SPDRP_DEVICEDESC = 0x0;
inline constexpr std::uint32_t SPDRP_HARDWAREID = 0x1;
inline constexpr std::uint32_t SPDRP_DRIVER = 0x9;

// The open key of one device: its values by index.
class DeviceRegistryKey {
 public:
  explicit DeviceRegistryKey(std::vector<std::string> valueNames) : names_(std::move(valueNames)) {}
  // False past the last value.
  bool EnumValue(std::uint32_t index, std::string* name) const;

 private:
  std::vector<std::string> names_;
};

// The present devices of one setup class (only the monitor class has any here).
class DeviceInfoSet {
 public:
  // Null for a malformed class GUID.
  static std::unique_ptr<DeviceInfoSet> GetClassDevs(std::string_view classGuid,
                                                     std::uint32_t flags);

  std::uint32_t Size() const { return static_cast<std::uint32_t>(devices_.size()); }
  // False past the last device. Properties: REG_SZ as one text, REG_MULTI_SZ as several, each cut
  // to capacity - 1 UTF-16 units; false when the device has no such property.
  bool GetDeviceRegistryProperty(std::uint32_t index, std::uint32_t property,
                                 std::vector<std::string>* out, std::size_t capacity) const;
  // CM_Get_Device_ID: the instance id, false when it does not fit capacity units with its end mark.
  bool GetDeviceId(std::uint32_t index, std::string* out, std::size_t capacity) const;
  // The device's hardware key; null when it cannot be opened.
  std::unique_ptr<DeviceRegistryKey> OpenDevRegKey(std::uint32_t index) const;

 private:
  std::vector<MonitorClassDevice> devices_;
};

}  // namespace korvane
