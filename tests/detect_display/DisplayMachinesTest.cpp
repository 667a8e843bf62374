// Both detectors over the machine's own sources: the recorded machines with DRM displays, and
// the machine the tests run on.
#include <gtest/gtest.h>

#include "config/LanguageRes.h"
#include "detect/DetectDiagnose.h"
#include "detect/DisplayHelper.h"
#include "detect/MonitorHelper.h"
#include "platform/Sysroot.h"
#include "sysinfo/LinuxWmiProvider.h"
#include "sysinfo/Wmi.h"

namespace {

using namespace korvane;

struct MachineScope {
  explicit MachineScope(const std::string& name) {
    platform::SetSysrootPrefixForTesting(std::string(KORVANE_FIXTURES_DIR) + "/machines/" + name);
  }
  ~MachineScope() { platform::SetSysrootPrefixForTesting(""); }
};

TEST(DisplayMachines, DualHeadRadeonBesideAnIdleIntelChip) {
  MachineScope machine("display-dual-head");
  CDisplayHelper display;
  display.vUpdate();
  EXPECT_EQ(display.detected, 1);
  ASSERT_EQ(display.count, 2);
  const auto& intel = display.adapters[0];
  const auto& radeon = display.adapters[1];
  EXPECT_NE(radeon.caption.find("RX 580"), std::string::npos) << radeon.caption;
  EXPECT_EQ(radeon.adapterCompatibility, "Advanced Micro Devices, Inc.");
  EXPECT_EQ(radeon.adapterRam, "4095MB");
  EXPECT_EQ(radeon.driverDate, "2024-11-22 00:00:00");
  EXPECT_EQ(radeon.driverVersion, "6.1.0-28-amd64");
  EXPECT_EQ(radeon.installedDisplayDrivers, "amdgpu");
  EXPECT_EQ(radeon.videoArchitecture, "VGA");
  EXPECT_EQ(radeon.scanMode, LangText(5089));
  EXPECT_EQ(radeon.pnpDeviceId.rfind("PCI\\VEN_1002&DEV_67DF&SUBSYS_8A921462&REV_E7\\", 0), 0u);
  EXPECT_EQ(intel.adapterCompatibility, "Intel Corporation");
  EXPECT_EQ(intel.adapterRam, "256MB");
  EXPECT_EQ(intel.dacType, "Internal");
  EXPECT_EQ(display.FindDeviceForSensor(-1, radeon.caption, 8), 1);

  CMonitorHelper monitor;
  monitor.vUpdate();
  EXPECT_EQ(monitor.detected, 0);  // found by the walk
  EXPECT_EQ(monitor.pnpMonitorCount, 3);
  ASSERT_EQ(monitor.count, 2);  // the Acer on the Intel chip is plugged in but not driven
  const auto& p2419h = monitor.monitors[0];
  EXPECT_EQ(p2419h.displayName, "DELD0D9 (DELL P2419H)");
  EXPECT_EQ(p2419h.modelId, "DELD0D9");
  EXPECT_EQ(p2419h.caption, "DELL P2419H");
  EXPECT_EQ(p2419h.manufacturer, LangText(5103));
  EXPECT_EQ(p2419h.screenWidth, 1920);
  EXPECT_EQ(p2419h.screenHeight, 1080);
  EXPECT_EQ(p2419h.refreshRate, 60);
  EXPECT_EQ(p2419h.bitsPerPixel, 32);
  const auto& u4021qw = monitor.monitors[1];
  EXPECT_EQ(u4021qw.displayName, "DEL4206 (DELL U4021QW)");
  EXPECT_EQ(u4021qw.screenWidthText, "2560");
  EXPECT_EQ(u4021qw.screenHeightText, "1080");
  EXPECT_EQ(u4021qw.refreshRate, 60);
  EXPECT_EQ(u4021qw.pnpDeviceId, "MONITOR\\DEL4206\\{4d36e96e-e325-11ce-bfc1-08002be10318}\\0001");
  EXPECT_EQ(monitor.CountNamedMonitors(), 2);

  // A walk is repeated at every call, with the same answer.
  monitor.vUpdate();
  EXPECT_EQ(monitor.count, 2);
  EXPECT_EQ(monitor.monitors[1].displayName, "DEL4206 (DELL U4021QW)");
}

TEST(DisplayMachines, UndrivenMonitorsWithBrokenEdidsComeFromTheInterface) {
  MachineScope machine("display-broken-edid");
  CDisplayHelper display;
  display.vUpdate();
  ASSERT_EQ(display.count, 1);
  EXPECT_EQ(display.adapters[0].caption, "NVIDIA GeForce GTX 1070");
  EXPECT_EQ(display.adapters[0].driverVersion, "535.183.01");
  EXPECT_EQ(display.adapters[0].driverDate, "2024-11-22 00:00:00");

  CMonitorHelper monitor;
  monitor.vUpdate();
  // No connector is enabled, so the walk finds nothing.
  EXPECT_EQ(monitor.detected, 1);
  ASSERT_EQ(monitor.count, 3);
  EXPECT_EQ(monitor.monitors[0].displayName, "SAM0D2D (C24F390)");
  EXPECT_EQ(monitor.monitors[0].screenWidth, 1920);
  EXPECT_EQ(monitor.monitors[0].confirmed, 1);
  EXPECT_EQ(monitor.monitors[1].displayName, "VSCBB31 (XG2401 SERIES)");
  EXPECT_EQ(monitor.monitors[1].confirmed, 0);  // checksum fails
  EXPECT_EQ(monitor.monitors[2].modelId, "Default_Monitor");
  EXPECT_EQ(monitor.monitors[2].confirmed, 0);  // header lost
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(monitor.monitors[static_cast<std::size_t>(i)].bitsPerPixel, 32);
    EXPECT_EQ(monitor.monitors[static_cast<std::size_t>(i)].problemText, LangText(5200));
  }
  EXPECT_EQ(monitor.CountNamedMonitors(), 1);
}

TEST(DisplayMachines, CardReachedOnlyThroughItsDeviceLink) {
  MachineScope machine("display-plain-sysfs");
  CDisplayHelper display;
  display.vUpdate();
  ASSERT_EQ(display.count, 1);
  const auto& iris = display.adapters[0];
  EXPECT_NE(iris.caption.find("Iris Xe"), std::string::npos) << iris.caption;
  EXPECT_EQ(iris.pnpDeviceId.rfind("PCI\\VEN_8086&DEV_9A49&SUBSYS_22D817AA&REV_01\\", 0), 0u);
  EXPECT_EQ(iris.installedDisplayDrivers, "i915");
  EXPECT_EQ(iris.adapterRam, "256MB");
  EXPECT_EQ(iris.driverVersion, "6.8.9-200.fc39.x86_64");
  EXPECT_EQ(iris.driverDate, "2024-05-02 00:00:00");

  CMonitorHelper monitor;
  monitor.vUpdate();
  ASSERT_EQ(monitor.count, 2);
  EXPECT_EQ(monitor.monitors[0].displayName, "GSM7707 (LG HDR 4K)");
  EXPECT_EQ(monitor.monitors[0].screenWidth, 3840);
  EXPECT_EQ(monitor.monitors[0].screenHeight, 2160);
  // A panel without a name in its EDID is named by its id and the generic description.
  EXPECT_EQ(monitor.monitors[1].displayName, "LGD0582 (Generic PnP Monitor)");
  EXPECT_EQ(monitor.monitors[1].screenWidth, 3000);
  EXPECT_EQ(monitor.monitors[1].screenHeight, 2000);
  EXPECT_EQ(monitor.monitors[1].refreshRate, 60);
  EXPECT_EQ(monitor.CountNamedMonitors(), 2);
}

TEST(DisplayMachines, ThisMachineAnswersAsItsInterfaceDoes) {
  // Through the same sources as the program: the adapters the interface lists, the monitors of
  // the walk or else of the interface.
  const std::size_t adapters = LinuxWmiProvider().Instances("Win32_VideoController").size();
  CDisplayHelper display;
  display.vUpdate();
  EXPECT_EQ(display.count, static_cast<int>(std::min<std::size_t>(adapters, 8)));
  EXPECT_EQ(display.detected, adapters > 0 ? 1 : 0);

  const std::size_t monitors = LinuxWmiProvider().Instances("Win32_DesktopMonitor").size();
  CMonitorHelper monitor;
  monitor.vUpdate();
  if (GetSystemMetrics(SM_CMONITORS) == 0 && monitors == 0) {
    // An empty machine: nothing found and nothing detected, so the next call asks again.
    EXPECT_EQ(monitor.count, 0);
    EXPECT_EQ(monitor.detected, 0);
    EXPECT_EQ(monitor.CountNamedMonitors(), 0);
  } else {
    EXPECT_GT(monitor.count, 0);
  }

  const auto out = DiagnoseDetectors(nullptr);
  EXPECT_EQ(out["display"]["count"], display.count);
  EXPECT_EQ(out["display"]["adapters"].size(), static_cast<std::size_t>(display.count));
  EXPECT_EQ(out["monitors"]["count"], monitor.count);
  EXPECT_EQ(out["monitors"]["maxItems"], 8);
}

}  // namespace
