// The monitor detector over a scripted desktop (display devices), a scripted monitor device
// class and a scripted management interface.
#include <gtest/gtest.h>

#include <optional>

#include "../detect/FakeWmi.h"
#include "config/LanguageRes.h"
#include "detect/MonitorHelper.h"
#include "platform/Text.h"

namespace {

using namespace korvane;

constexpr const char* kKey0 = "{4d36e96e-e325-11ce-bfc1-08002be10318}\\0000";
constexpr const char* kKey1 = "{4d36e96e-e325-11ce-bfc1-08002be10318}\\0001";
constexpr const char* kKey2 = "{4d36e96e-e325-11ce-bfc1-08002be10318}\\0002";

struct FakeMonitor {
  std::string description;
  std::uint32_t flags = DISPLAY_DEVICE_ACTIVE | DISPLAY_DEVICE_ATTACHED;
  std::string id;
};

struct FakeAdapter {
  std::string name;
  std::uint32_t flags = DISPLAY_DEVICE_ATTACHED_TO_DESKTOP;
  std::optional<DEVMODEW> current;
  std::optional<DEVMODEW> registry;
  std::vector<FakeMonitor> monitors;
  std::optional<FakeMonitor> plain;  // what a query without the interface-name flag gives
};

// Adapter names compare as the system compares them: trimmed, in any case.
bool Named(const FakeAdapter& a, const char* device) {
  return platform::EqualsIgnoreCase(platform::Trim(a.name), device);
}

struct FakeDesktop {
  std::vector<FakeAdapter> adapters;
  int adapterQueries = 0;

  DisplayDeviceApi Api() {
    DisplayDeviceApi api;
    api.getSystemMetrics = [](int) { return 0; };
    api.enumDisplayDevices = [this](const char* device, std::uint32_t n, DISPLAY_DEVICEW* out,
                                    std::uint32_t flags) {
      if (device == nullptr) {
        ++adapterQueries;
        if (n >= adapters.size()) return false;
        out->DeviceName = adapters[n].name;
        out->StateFlags = adapters[n].flags;
        return true;
      }
      for (const FakeAdapter& a : adapters) {
        if (!Named(a, device)) continue;
        if ((flags & EDD_GET_DEVICE_INTERFACE_NAME) == 0) {
          if (n != 0 || !a.plain) return false;
          out->DeviceString = a.plain->description;
          out->DeviceID = a.plain->id;
          out->StateFlags = a.plain->flags;
          return true;
        }
        if (n >= a.monitors.size()) return false;
        out->DeviceString = a.monitors[n].description;
        out->DeviceID = a.monitors[n].id;
        out->StateFlags = a.monitors[n].flags;
        return true;
      }
      return false;
    };
    api.enumDisplaySettings = [this](const char* device, std::uint32_t mode, DEVMODEW* out) {
      for (const FakeAdapter& a : adapters) {
        if (!Named(a, device)) continue;
        const auto& m = mode == ENUM_CURRENT_SETTINGS ? a.current : a.registry;
        if (!m) return false;
        *out = *m;
        return true;
      }
      return false;
    };
    return api;
  }
};

DEVMODEW Mode(std::uint32_t w, std::uint32_t h, std::uint32_t hz, std::uint32_t bpp = 32) {
  DEVMODEW m;
  m.dmPelsWidth = w;
  m.dmPelsHeight = h;
  m.dmDisplayFrequency = hz;
  m.dmBitsPerPel = bpp;
  return m;
}

MonitorClassDevice PnpDevice(const std::string& instanceId, const std::string& hardwareId,
                             const std::string& key, std::vector<std::string> values = {"EDID"}) {
  MonitorClassDevice d;
  d.instanceId = instanceId;
  d.hardwareIds = {hardwareId};
  d.driverKey = key;
  d.registryValues = std::move(values);
  return d;
}

struct MonitorClassScope {
  explicit MonitorClassScope(std::vector<MonitorClassDevice> devices) {
    SetMonitorClassSourceForTesting([devices] { return devices; });
  }
  ~MonitorClassScope() { SetMonitorClassSourceForTesting(nullptr); }
};

TEST(MonitorNames, FormatMonitorName) {
  const std::string id = "DISPLAY\\DEL4014\\5&2A1B3C4D&0&UID4353";
  EXPECT_EQ(FormatMonitorName(id, "(Standard monitor types)", "Plug and Play Monitor"),
            "DEL4014 (Plug and Play Monitor)");
  EXPECT_EQ(FormatMonitorName(id, "Dell Inc.", "Plug and Play Monitor"), "Dell Inc. (DEL4014)");
  EXPECT_EQ(FormatMonitorName(id, LangText(5103), "DELL U2715H"), "DEL4014 (DELL U2715H)");
  // Without a model the description alone, or the fallback for a generic one.
  EXPECT_EQ(FormatMonitorName("DISPLAY\\\\x", "Dell Inc.", "Monitor"), "Dell Inc.");
  EXPECT_EQ(FormatMonitorName("DISPLAY", "(Standard monitor types)", "Monitor"), "Monitor");
  EXPECT_EQ(FormatMonitorName("  ", "(Standard monitor types)", "Monitor"),
            "DEFAULT_MONITOR (Monitor)");
  EXPECT_EQ(FormatMonitorName("MONITOR\\ DEL4014 \\x", "Dell Inc.", "Monitor"),
            "Dell Inc. (DEL4014)");
  // Parentheses make a description generic only when the closing one is not at its start.
  EXPECT_EQ(FormatMonitorName(id, "()", "Fallback"), "() (DEL4014)");
  EXPECT_EQ(FormatMonitorName(id, "(no close", "Fallback"), "(no close (DEL4014)");
  EXPECT_EQ(FormatMonitorName(id, "(x)", "Fallback"), "DEL4014 (Fallback)");

  EXPECT_EQ(MonitorModelOf(""), "DEFAULT_MONITOR");
  EXPECT_EQ(MonitorModelOf("MONITOR\\GSM5B7F\\{4d36e96e}\\0001"), "GSM5B7F");
  EXPECT_EQ(MonitorModelOf("MONITOR\\GSM5B7F"), "");
}

TEST(MonitorNames, ProblemTexts) {
  EXPECT_EQ(MonitorProblemText(0), LangText(5200));
  EXPECT_EQ(MonitorProblemText(22), LangText(5222));
  EXPECT_EQ(MonitorProblemText(36), LangText(5236));
  for (int code : {21, 23, 30, 37, 1000, -1})
    EXPECT_EQ(MonitorProblemText(code), LangText(5299)) << code;
}

WmiObject DesktopMonitor(const std::string& pnp, const std::string& type, int w, int h) {
  WmiObject o("Win32_DesktopMonitor");
  o.Put("Caption", Variant::String(type));
  o.Put("Name", Variant::String(type));
  o.Put("MonitorManufacturer", Variant::String("(Standard monitor types)"));
  o.Put("MonitorType", Variant::String(type));
  o.Put("PNPDeviceID", Variant::String(pnp));
  o.Put("ScreenWidth", Variant::Int32(w));
  o.Put("ScreenHeight", Variant::Int32(h));
  o.Put("Status", Variant::String("OK"));
  o.Put("ConfigManagerErrorCode", Variant::Int32(0));
  o.Put("PixelsPerXLogicalInch", Variant::Int32(96));
  o.Put("PixelsPerYLogicalInch", Variant::Int32(120));
  return o;
}

WmiObject Configuration(int bits, int hz) {
  WmiObject o("Win32_DisplayConfiguration");
  o.Put("BitsPerPel", Variant::Int32(bits));
  o.Put("DisplayFrequency", Variant::Int32(hz));
  return o;
}

TEST(MonitorWmi, TwoMonitorsShareOneConfigurationAndABadEdidUnconfirms) {
  FakeWmiScope scope;
  const std::string dell = "DISPLAY\\DEL4014\\5&1&0&UID1";
  const std::string lg = "DISPLAY\\GSM5B7F\\5&1&0&UID2";
  scope.wmi->objects["Win32_DesktopMonitor"] = {DesktopMonitor(dell, "Dell 2001FP", 1600, 1200),
                                                DesktopMonitor(lg, "LG ULTRAWIDE", 2560, 1080)};
  scope.wmi->objects["Win32_DisplayConfiguration"] = {Configuration(32, 60)};
  MonitorClassScope devices(
      {PnpDevice(" display\\del4014\\5&1&0&uid1 ", "MONITOR\\DEL4014", kKey0,
                 {"UpperFilters", "BAD_EDID", "EDID"}),
       PnpDevice(lg, "MONITOR\\GSM5B7F", kKey1, {"BAD_EDID"}),
       PnpDevice("DISPLAY\\UNKNOWN\\1", "MONITOR\\UNKNOWN", kKey2, {"BAD_EDID"}),
       // A later device of the same id decides; its EDID (any case) comes before BAD_EDID.
       PnpDevice(lg, "MONITOR\\GSM5B7F", kKey1, {"Other", "edid", "BAD_EDID"})});
  CMonitorHelper monitor{DisplayDeviceApi{}};  // no display-device calls: the walk finds nothing
  monitor.vUpdate();
  EXPECT_EQ(monitor.detected, 1);
  ASSERT_EQ(monitor.count, 2);
  for (int i = 0; i < 2; ++i) {
    const auto& m = monitor.monitors[static_cast<std::size_t>(i)];
    EXPECT_EQ(m.bitsPerPixel, 32);
    EXPECT_EQ(m.refreshRate, 60);
    EXPECT_EQ(m.pixelsPerXText, "96");
    EXPECT_EQ(m.pixelsPerY, 120);
    EXPECT_EQ(m.problemText, LangText(5200));
    EXPECT_EQ(m.status, "OK");
  }
  const auto& first = monitor.monitors[0];
  EXPECT_EQ(first.displayName, "DEL4014 (Dell 2001FP)");
  EXPECT_EQ(first.modelId, "DEL4014");
  EXPECT_EQ(first.screenWidth, 1600);
  EXPECT_EQ(first.screenHeightText, "1200");
  EXPECT_EQ(monitor.monitors[1].displayName, "GSM5B7F (LG ULTRAWIDE)");
  // BAD_EDID ahead of EDID: not confirmed, so not counted.
  EXPECT_EQ(first.confirmed, 0);
  EXPECT_EQ(monitor.monitors[1].confirmed, 1);
  EXPECT_EQ(monitor.CountNamedMonitors(), 1);
  // The Plug and Play list was read on the way.
  EXPECT_EQ(monitor.pnpMonitorCount, 4);
  EXPECT_EQ(monitor.pnpMonitors[0].hardwareId, "MONITOR\\DEL4014");
  // Detected through the interface: the next call does nothing.
  monitor.vUpdate();
  EXPECT_EQ(scope.wmi->asked["Win32_DesktopMonitor"], 1);
}

TEST(MonitorWmi, LaterConfigurationWinsAndNoConfigurationMeansNotDetected) {
  FakeWmiScope scope;
  scope.wmi->objects["Win32_DesktopMonitor"] = {DesktopMonitor("DISPLAY\\A\\1", "A", 800, 600)};
  scope.wmi->objects["Win32_DisplayConfiguration"] = {Configuration(16, 75),
                                                      Configuration(32, 144)};
  CMonitorHelper monitor{DisplayDeviceApi{}};
  monitor.vUpdate();
  EXPECT_EQ(monitor.monitors[0].bitsPerPixel, 32);
  EXPECT_EQ(monitor.monitors[0].refreshRate, 144);
  // No device-class entry for it: it stays confirmed.
  EXPECT_EQ(monitor.CountNamedMonitors(), 1);

  scope.wmi->objects.erase("Win32_DisplayConfiguration");
  CMonitorHelper again{DisplayDeviceApi{}};
  again.vUpdate();
  EXPECT_EQ(again.count, 1);
  EXPECT_EQ(again.detected, 0);
  EXPECT_EQ(again.monitors[0].bitsPerPixel, 0);
}

TEST(MonitorWmi, EmptyMachine) {
  FakeWmiScope scope;
  MonitorClassScope devices({});
  CMonitorHelper monitor{DisplayDeviceApi{}};
  monitor.vUpdate();
  EXPECT_EQ(monitor.detected, 0);
  EXPECT_EQ(monitor.count, 0);
  EXPECT_EQ(monitor.CountNamedMonitors(), 0);
  EXPECT_EQ(monitor.monitors[0].confirmed, 0);
}

FakeDesktop TwoAdapterDesktop() {
  FakeDesktop desktop;
  FakeAdapter first;
  first.name = "\\\\.\\DISPLAY1";
  first.current = Mode(2560, 1440, 144);
  first.monitors = {
      {"DELL U2715H", DISPLAY_DEVICE_ACTIVE | DISPLAY_DEVICE_ATTACHED,
       std::string("MONITOR\\DELD066\\") + kKey0},
      // Known to the display driver only: no Plug and Play device with this key.
      {"Ghost", DISPLAY_DEVICE_ACTIVE | DISPLAY_DEVICE_ATTACHED,
       "MONITOR\\GHO0001\\{4d36e96e}\\0009"},
      {"Asleep", DISPLAY_DEVICE_ATTACHED, std::string("MONITOR\\DELD066\\") + kKey0},
      {"", DISPLAY_DEVICE_ACTIVE | DISPLAY_DEVICE_ATTACHED,
       std::string("MONITOR\\DELD066\\") + kKey0},
  };
  FakeAdapter mirror;
  mirror.name = "\\\\.\\DISPLAYV1";
  mirror.flags = DISPLAY_DEVICE_ATTACHED_TO_DESKTOP | DISPLAY_DEVICE_MIRRORING_DRIVER;
  mirror.current = Mode(1024, 768, 60);
  mirror.monitors = {{"Mirror", DISPLAY_DEVICE_ACTIVE | DISPLAY_DEVICE_ATTACHED,
                      std::string("MONITOR\\X\\") + kKey1}};
  FakeAdapter mirrorByFlag = mirror;
  mirrorByFlag.name = "\\\\.\\DISPLAY3";
  FakeAdapter detached;
  detached.name = "\\\\.\\DISPLAY4";
  detached.flags = 0;
  detached.current = Mode(1024, 768, 60);
  detached.monitors = mirror.monitors;
  FakeAdapter second;
  second.name = "\\\\.\\display2 ";
  second.registry = Mode(1920, 1080, 60, 24);  // the current mode cannot be read
  second.monitors = {
      {"BenQ XL2411Z", DISPLAY_DEVICE_ACTIVE | DISPLAY_DEVICE_ATTACHED,
       std::string("monitor\\bnq7f31\\") + "{4D36E96E-E325-11CE-BFC1-08002BE10318}\\0001"}};
  desktop.adapters = {first, mirror, mirrorByFlag, detached, second};
  return desktop;
}

TEST(MonitorWalk, ListsAttachedMonitorsThatThePnpManagerKnows) {
  FakeWmiScope scope;
  MonitorClassScope devices({PnpDevice("DISPLAY\\DELD066\\1", "MONITOR\\DELD066", kKey0),
                             PnpDevice("DISPLAY\\BNQ7F31\\1", "MONITOR\\BNQ7F31", kKey1),
                             PnpDevice("DISPLAY\\X\\1", "MONITOR\\X", kKey1)});
  FakeDesktop desktop = TwoAdapterDesktop();
  CMonitorHelper monitor(desktop.Api());
  monitor.vUpdate();
  EXPECT_EQ(monitor.detected, 0);
  ASSERT_EQ(monitor.count, 2);
  const auto& dell = monitor.monitors[0];
  EXPECT_EQ(dell.displayName, "DELD066 (DELL U2715H)");
  EXPECT_EQ(dell.modelId, "DELD066");
  EXPECT_EQ(dell.caption, "DELL U2715H");
  EXPECT_EQ(dell.monitorType, "DELL U2715H");
  EXPECT_EQ(dell.pnpDeviceId, std::string("MONITOR\\DELD066\\") + kKey0);
  EXPECT_EQ(dell.manufacturer, LangText(5103));
  EXPECT_EQ(dell.status, LangText(5105));
  EXPECT_EQ(dell.problemText, LangText(5200));
  EXPECT_EQ(dell.screenWidth, 2560);
  EXPECT_EQ(dell.screenWidthText, "2560");
  EXPECT_EQ(dell.screenHeightText, "1440");
  EXPECT_EQ(dell.refreshRate, 144);
  EXPECT_EQ(dell.bitsPerPixel, 32);
  EXPECT_EQ(dell.confirmed, 1);
  const auto& benq = monitor.monitors[1];
  EXPECT_EQ(benq.displayName, "bnq7f31 (BenQ XL2411Z)");
  EXPECT_EQ(benq.screenWidth, 1920);
  EXPECT_EQ(benq.bitsPerPixel, 24);
  EXPECT_EQ(monitor.CountNamedMonitors(), 2);
  EXPECT_EQ(scope.wmi->asked["Win32_DesktopMonitor"], 0);

  // Found by the walk: every call walks again and starts from slot 0.
  const int queries = desktop.adapterQueries;
  desktop.adapters[0].monitors.clear();
  monitor.vUpdate();
  EXPECT_GT(desktop.adapterQueries, queries);
  EXPECT_EQ(monitor.count, 1);
  EXPECT_EQ(monitor.monitors[0].modelId, "bnq7f31");
}

TEST(MonitorWalk, AdapterNamesOutsideTheDisplayFormAreSkippedAndAnEmptyNameEndsTheWalk) {
  FakeWmiScope scope;
  MonitorClassScope devices({PnpDevice("DISPLAY\\BNQ7F31\\1", "MONITOR\\BNQ7F31", kKey1)});
  FakeDesktop desktop = TwoAdapterDesktop();
  FakeAdapter blank;
  blank.name = "   ";
  // The trailing space of "\\.\display2 " is trimmed before the checks; DISPLAY0 is no adapter.
  FakeAdapter zero = desktop.adapters[4];
  zero.name = "\\\\.\\DISPLAY0";
  FakeAdapter later = desktop.adapters[4];
  later.name = "\\\\.\\DISPLAY7";
  desktop.adapters = {zero, desktop.adapters[4], blank, later};
  CMonitorHelper monitor(desktop.Api());
  monitor.vUpdate();
  ASSERT_EQ(monitor.count, 1);  // DISPLAY7 comes after the end of the walk
  EXPECT_EQ(monitor.monitors[0].caption, "BenQ XL2411Z");
  EXPECT_EQ(monitor.monitors[0].screenHeight, 1080);
}

TEST(MonitorWalk, PlainQueryFillsAnAdapterWhoseMonitorHasNoDescription) {
  FakeWmiScope scope;
  MonitorClassScope devices({});
  FakeDesktop desktop;
  FakeAdapter a;
  a.name = "\\\\.\\DISPLAY1";
  a.current = Mode(1280, 1024, 75);
  a.monitors = {
      {"", DISPLAY_DEVICE_ACTIVE | DISPLAY_DEVICE_ATTACHED, "\\\\?\\DISPLAY#SAM0D2D#..."}};
  a.plain = FakeMonitor{"", DISPLAY_DEVICE_ACTIVE,
                        "MONITOR\\SAM0D2D\\{4d36e96e-e325-11ce-bfc1-08002be10318}\\0003"};
  FakeAdapter b = a;
  b.name = "\\\\.\\DISPLAY2";
  b.plain = FakeMonitor{"Generic PnP Monitor", DISPLAY_DEVICE_ACTIVE, "MONITOR\\"};
  desktop.adapters = {a, b};
  CMonitorHelper monitor(desktop.Api());
  monitor.vUpdate();
  ASSERT_EQ(monitor.count, 2);
  EXPECT_EQ(monitor.monitors[0].caption, LangText(5100));
  EXPECT_EQ(monitor.monitors[0].modelId, "SAM0D2D");
  EXPECT_EQ(monitor.monitors[0].displayName, "SAM0D2D (" + LangText(5100) + ")");
  EXPECT_EQ(monitor.monitors[0].refreshRate, 75);
  EXPECT_EQ(monitor.monitors[1].modelId, "DEFAULT_MONITOR");
  EXPECT_EQ(monitor.monitors[1].displayName, "Generic PnP Monitor");
}

TEST(MonitorWalk, AtMostEightMonitors) {
  FakeWmiScope scope;
  std::vector<MonitorClassDevice> pnp;
  FakeDesktop desktop;
  for (int adapter = 1; adapter <= 4; ++adapter) {
    FakeAdapter a;
    a.name = "\\\\.\\DISPLAY" + std::to_string(adapter);
    a.current = Mode(1920, 1080, 60);
    for (int i = 0; i < 3; ++i) {
      const std::string key = "{4d36e96e-e325-11ce-bfc1-08002be10318}\\00" +
                              std::to_string(adapter) + std::to_string(i);
      a.monitors.push_back({"M" + std::to_string(adapter) + std::to_string(i),
                            DISPLAY_DEVICE_ACTIVE | DISPLAY_DEVICE_ATTACHED,
                            "MONITOR\\ABC0001\\" + key});
      pnp.push_back(PnpDevice("DISPLAY\\ABC0001\\" + key, "MONITOR\\ABC0001", key));
    }
    desktop.adapters.push_back(a);
  }
  MonitorClassScope devices(pnp);
  CMonitorHelper monitor(desktop.Api());
  monitor.vUpdate();
  EXPECT_EQ(monitor.pnpMonitorCount, 8);  // the list keeps eight as well
  // Eight Plug and Play entries cover the first eight monitors.
  EXPECT_EQ(monitor.count, 8);
  EXPECT_EQ(monitor.monitors[7].caption, "M31");
}

TEST(MonitorWalk, IncompleteCallTableFallsBackToTheInterface) {
  FakeWmiScope scope;
  scope.wmi->objects["Win32_DesktopMonitor"] = {DesktopMonitor("DISPLAY\\A\\1", "A", 800, 600)};
  FakeDesktop desktop = TwoAdapterDesktop();
  DisplayDeviceApi api = desktop.Api();
  api.getSystemMetrics = nullptr;
  CMonitorHelper monitor(api);
  monitor.vUpdate();
  EXPECT_EQ(desktop.adapterQueries, 0);
  EXPECT_EQ(monitor.count, 1);
  EXPECT_EQ(monitor.monitors[0].caption, "A");
}

}  // namespace
