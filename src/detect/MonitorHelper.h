#pragma once
// The monitor detector: the monitors of the desktop's display devices that the Plug and Play
// manager knows, else the monitors of the management interface, at most eight.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "detect/DeviceDetail.h"
#include "detect/DeviceHelper.h"
#include "sysinfo/DrmDisplay.h"

namespace korvane {

inline constexpr int kMaxMonitors = 8;
inline constexpr int kMaxPnpMonitors = 8;

inline constexpr int kTextPlugAndPlay = 5100;
inline constexpr int kTextDefaultMonitor = 5103;
inline constexpr int kTextMonitorStatus = 5105;
inline constexpr int kTextProblemBase = 5200;
inline constexpr int kTextUnknownError = 5299;

// The display-device calls the walk uses. A table with any call missing walks nothing.
struct DisplayDeviceApi {
  std::function<int(int)> getSystemMetrics;
  std::function<bool(const char*, std::uint32_t, DISPLAY_DEVICEW*, std::uint32_t)>
      enumDisplayDevices;
  std::function<bool(const char*, std::uint32_t, DEVMODEW*)> enumDisplaySettings;

  bool Complete() const { return getSystemMetrics && enumDisplayDevices && enumDisplaySettings; }
  // The machine's calls, looked up once per process.
  static const DisplayDeviceApi& System();
};

// The display name of a monitor from an id (its model is the part between the first two
// backslashes), a description and a fallback for generic descriptions.
std::string FormatMonitorName(std::string_view idSource, std::string_view description,
                              std::string_view fallback);
// The model part of FormatMonitorName: "DEFAULT_MONITOR" for an empty id, "" when the id has no
// part between its first two backslashes.
std::string MonitorModelOf(std::string_view idSource);
// The problem text of a configuration-manager code.
std::string MonitorProblemText(std::int32_t code);

class CMonitorHelper : public CDeviceHelper {
 public:
  struct Monitor {
    std::string displayName;
    std::string modelId;
    std::string caption;
    std::string name;
    std::string pnpDeviceId;
    std::string manufacturer;
    std::string monitorType;
    std::string screenWidthText;
    std::string screenHeightText;
    std::string status;
    std::string problemText;
    std::string pixelsPerXText;
    std::string pixelsPerYText;
    std::int32_t screenWidth = 0;
    std::int32_t screenHeight = 0;
    std::int32_t bitsPerPixel = 0;
    std::int32_t refreshRate = 0;
    std::int32_t problemCode = 0;
    std::int32_t pixelsPerX = 0;
    std::int32_t pixelsPerY = 0;
    CDeviceDetail detail;
    std::int32_t confirmed = 0;
  };

  struct PnpMonitor {
    std::string driverKey;
    std::string hardwareId;
  };

  CMonitorHelper() : api_(DisplayDeviceApi::System()) {}
  explicit CMonitorHelper(DisplayDeviceApi api) : api_(std::move(api)) {}

  // The WMI path detects once; after a successful walk every call walks again.
  void vUpdate() override;
  std::int32_t vGetMaxItems() override { return kMaxMonitors; }

  // Monitors among the first `count` slots with a display name, a model id and a confirmation.
  int CountNamedMonitors() const;

  std::array<Monitor, kMaxMonitors> monitors{};
  std::array<PnpMonitor, kMaxPnpMonitors> pnpMonitors{};
  int pnpMonitorCount = 0;

 private:
  void BuildPnpMonitorList();
  int WalkDisplayDevices();
  int QueryWmiMonitors();
  int QueryWmiDisplayConfiguration();
  void CheckEdidPresence();
  bool InPnpList(std::string_view hardwareId, std::string_view driverKey) const;
  void FillFromWalk(int slot, const std::string& description, const std::string& deviceId,
                    std::string modelId, const DEVMODEW& mode);

  DisplayDeviceApi api_;
};

}  // namespace korvane
