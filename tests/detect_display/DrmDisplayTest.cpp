// The display stand-ins over DRM: cards and connectors, the display-device calls, the monitor
// device class and the driver facts, on recorded machines and on made-up scans.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <fstream>

#include "platform/Sysroot.h"
#include "sysinfo/DrmDisplay.h"
#include "sysinfo/DrmDriverInfo.h"
#include "sysinfo/Edid.h"
#include "sysinfo/LinuxWmiProvider.h"
#include "sysinfo/Wmi.h"

namespace fs = std::filesystem;

namespace {

using namespace korvane;

constexpr const char* kKey = "{4d36e96e-e325-11ce-bfc1-08002be10318}\\";

struct MachineScope {
  explicit MachineScope(const std::string& name) {
    platform::SetSysrootPrefixForTesting(std::string(KORVANE_FIXTURES_DIR) + "/machines/" + name);
  }
  ~MachineScope() { platform::SetSysrootPrefixForTesting(""); }
};

std::vector<std::uint8_t> EdidOf(const std::string& machine, const std::string& connector) {
  std::ifstream in(std::string(KORVANE_FIXTURES_DIR) + "/machines/" + machine + "/sys/class/drm/" +
                       connector + "/edid",
                   std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

DrmConnectorInfo Connector(const std::string& name, bool connected,
                           std::vector<std::uint8_t> edid = {}) {
  DrmConnectorInfo c;
  c.name = name;
  c.card = name.substr(0, name.find('-'));
  c.connected = connected;
  c.edid = std::move(edid);
  return c;
}

TEST(DrmCards, NumberOrderAndMonitorKeysOverTheWholeMachine) {
  const auto edid = EdidOf("display-dual-head", "card0-DP-1");
  ASSERT_EQ(edid.size(), 128u);
  const std::vector<DrmCard> cards =
      BuildDrmCards({"card10", "renderD128", "card2", "card2-DP-1", "cardX", "card2"},
                    {Connector("card10-DP-1", true, edid), Connector("card2-HDMI-A-1", true, edid),
                     Connector("card2-DP-1", true), Connector("card2-DP-2", false, edid),
                     Connector("card2-DP-3", true, {0x00, 0xFF})},
                    {"card2-DP-1", "card10-DP-1"});
  ASSERT_EQ(cards.size(), 2u);
  EXPECT_EQ(cards[0].name, "card2");
  EXPECT_EQ(cards[1].name, "card10");
  ASSERT_EQ(cards[0].outputs.size(), 4u);
  EXPECT_EQ(cards[0].outputs[0].connector.name, "card2-DP-1");
  EXPECT_TRUE(cards[0].outputs[0].enabled);
  EXPECT_FALSE(cards[0].outputs[3].enabled);
  // Keys go to connected connectors with any EDID bytes (broken ones too), counted across cards.
  EXPECT_EQ(cards[0].outputs[3].connector.name, "card2-HDMI-A-1");
  EXPECT_EQ(cards[0].outputs[0].driverKey, "");  // no EDID
  EXPECT_EQ(cards[0].outputs[1].driverKey, "");  // not connected
  EXPECT_EQ(cards[0].outputs[2].driverKey, std::string(kKey) + "0000");
  EXPECT_EQ(cards[0].outputs[3].driverKey, std::string(kKey) + "0001");
  EXPECT_EQ(cards[1].outputs[0].driverKey, std::string(kKey) + "0002");

  const auto devices = BuildMonitorClassDevices(cards);
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0].hardwareIds, std::vector<std::string>{"MONITOR\\Default_Monitor"});
  EXPECT_EQ(devices[0].registryValues, std::vector<std::string>{"BAD_EDID"});
  EXPECT_EQ(devices[1].hardwareIds, std::vector<std::string>{"MONITOR\\DELD0D9"});
  EXPECT_EQ(devices[1].registryValues, std::vector<std::string>{"EDID"});
  EXPECT_EQ(devices[2].driverKey, std::string(kKey) + "0002");
}

TEST(DrmCards, EdidValidity) {
  auto edid = EdidOf("display-dual-head", "card0-HDMI-A-1");
  ASSERT_EQ(edid.size(), 384u);
  EXPECT_TRUE(EdidValid(edid));
  edid[127] ^= 1;
  EXPECT_FALSE(EdidValid(edid));
  EXPECT_FALSE(EdidValid({}));
  EXPECT_FALSE(EdidValid(std::vector<std::uint8_t>(edid.begin(), edid.begin() + 100)));
}

TEST(DrmDisplayCalls, DisplayDevicesOfTheDualHeadMachine) {
  MachineScope machine("display-dual-head");
  // card0: DP-1, DVI-D-1, HDMI-A-1; card1: HDMI-A-2, VGA-1.
  std::vector<DISPLAY_DEVICEW> heads;
  DISPLAY_DEVICEW d;
  for (std::uint32_t i = 0; EnumDisplayDevicesW(nullptr, i, &d, EDD_GET_DEVICE_INTERFACE_NAME); ++i)
    heads.push_back(d);
  ASSERT_EQ(heads.size(), 5u);
  EXPECT_EQ(heads[0].DeviceName, "\\\\.\\DISPLAY1");
  EXPECT_EQ(heads[0].StateFlags,
            DISPLAY_DEVICE_ATTACHED_TO_DESKTOP | DISPLAY_DEVICE_PRIMARY_DEVICE);
  EXPECT_EQ(heads[0].DeviceID.rfind("PCI\\VEN_1002&DEV_67DF&SUBSYS_8A921462&REV_E7", 0), 0u);
  EXPECT_EQ(heads[1].StateFlags, 0u);  // DVI-D-1: nothing plugged in
  EXPECT_EQ(heads[2].StateFlags, DISPLAY_DEVICE_ATTACHED_TO_DESKTOP);
  EXPECT_EQ(heads[4].DeviceName, "\\\\.\\DISPLAY5");
  EXPECT_EQ(heads[4].StateFlags, 0u);  // VGA-1: plugged in, not enabled
  EXPECT_EQ(heads[4].DeviceID.rfind("PCI\\VEN_8086&DEV_0412", 0), 0u);

  DISPLAY_DEVICEW m;
  ASSERT_TRUE(EnumDisplayDevicesW("\\\\.\\display3 ", 0, &m, EDD_GET_DEVICE_INTERFACE_NAME));
  EXPECT_EQ(m.DeviceString, "DELL U4021QW");
  EXPECT_EQ(m.DeviceID, std::string("MONITOR\\DEL4206\\") + kKey + "0001");
  EXPECT_EQ(m.StateFlags, DISPLAY_DEVICE_ACTIVE | DISPLAY_DEVICE_ATTACHED);
  EXPECT_FALSE(EnumDisplayDevicesW("\\\\.\\DISPLAY3", 1, &m, 0));
  EXPECT_FALSE(EnumDisplayDevicesW("\\\\.\\DISPLAY2", 0, &m, 0));
  ASSERT_TRUE(EnumDisplayDevicesW("\\\\.\\DISPLAY5", 0, &m, 0));
  EXPECT_EQ(m.DeviceID, std::string("MONITOR\\ACR000E\\") + kKey + "0002");
  EXPECT_EQ(m.StateFlags, DISPLAY_DEVICE_ATTACHED);

  DEVMODEW mode;
  ASSERT_TRUE(EnumDisplaySettingsW("\\\\.\\DISPLAY3", ENUM_CURRENT_SETTINGS, &mode));
  EXPECT_EQ(mode.dmPelsWidth, 2560u);
  EXPECT_EQ(mode.dmPelsHeight, 1080u);
  EXPECT_EQ(mode.dmDisplayFrequency, 60u);
  EXPECT_EQ(mode.dmBitsPerPel, 32u);
  EXPECT_FALSE(EnumDisplaySettingsW("\\\\.\\DISPLAY5", ENUM_CURRENT_SETTINGS, &mode));
  ASSERT_TRUE(EnumDisplaySettingsW("\\\\.\\DISPLAY5", ENUM_REGISTRY_SETTINGS, &mode));
  EXPECT_EQ(mode.dmPelsWidth, 1680u);
  EXPECT_FALSE(EnumDisplaySettingsW("\\\\.\\DISPLAY2", ENUM_REGISTRY_SETTINGS, &mode));
  EXPECT_FALSE(EnumDisplaySettingsW("\\\\.\\DISPLAY9", ENUM_CURRENT_SETTINGS, &mode));

  EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 2);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);
}

TEST(DrmDisplayCalls, NothingWithoutDrm) {
  MachineScope machine("vm");
  DISPLAY_DEVICEW d;
  EXPECT_FALSE(EnumDisplayDevicesW(nullptr, 0, &d, 0));
  EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 0);
  EXPECT_TRUE(ListMonitorClassDevices().empty());
}

TEST(MonitorClass, DeviceSetOfTheBrokenEdidMachineAgreesWithTheInterface) {
  MachineScope machine("display-broken-edid");
  const auto set =
      DeviceInfoSet::GetClassDevs("{4d36e96e-e325-11ce-bfc1-08002be10318}", DIGCF_PRESENT);
  ASSERT_TRUE(set);
  ASSERT_EQ(set->Size(), 3u);
  const std::vector<WmiObject> monitors = LinuxWmiProvider().Instances("Win32_DesktopMonitor");
  ASSERT_EQ(monitors.size(), 3u);
  const std::vector<std::string> values[] = {{"EDID"}, {"BAD_EDID"}, {"BAD_EDID"}};
  const std::string hardware[] = {"MONITOR\\SAM0D2D", "MONITOR\\VSCBB31",
                                  "MONITOR\\Default_Monitor"};
  for (std::uint32_t i = 0; i < 3; ++i) {
    std::string id;
    ASSERT_TRUE(set->GetDeviceId(i, &id, 200));
    Variant pnp;
    ASSERT_EQ(monitors[i].Get("PNPDeviceID", &pnp), kS_OK);
    EXPECT_EQ(id, pnp.bstrVal);
    std::vector<std::string> ids;
    ASSERT_TRUE(set->GetDeviceRegistryProperty(i, SPDRP_HARDWAREID, &ids, 256));
    EXPECT_EQ(ids.front(), hardware[i]);
    ASSERT_TRUE(set->GetDeviceRegistryProperty(i, SPDRP_DRIVER, &ids, 256));
    EXPECT_EQ(ids.front(), std::string(kKey) + "000" + std::to_string(i));
    const auto key = set->OpenDevRegKey(i);
    ASSERT_TRUE(key);
    std::vector<std::string> names;
    std::string name;
    for (std::uint32_t v = 0; key->EnumValue(v, &name); ++v) names.push_back(name);
    EXPECT_EQ(names, values[i]);
  }
  std::vector<std::string> cut;
  ASSERT_TRUE(set->GetDeviceRegistryProperty(0, SPDRP_HARDWAREID, &cut, 8));
  EXPECT_EQ(cut.front(), "MONITOR");
  std::string id;
  EXPECT_FALSE(set->GetDeviceId(0, &id, 10));
  EXPECT_FALSE(set->GetDeviceId(3, &id, 200));
  EXPECT_FALSE(set->OpenDevRegKey(3));
  EXPECT_FALSE(set->GetDeviceRegistryProperty(0, 0x1234, &cut, 256));

  EXPECT_FALSE(DeviceInfoSet::GetClassDevs("4d36e96e", DIGCF_PRESENT));
  const auto other =
      DeviceInfoSet::GetClassDevs("{4d36e972-e325-11ce-bfc1-08002be10318}", DIGCF_PRESENT);
  ASSERT_TRUE(other);
  EXPECT_EQ(other->Size(), 0u);
}

TEST(DisplayDriver, ModuleFilesAndDates) {
  const std::string dep =
      "kernel/drivers/gpu/drm/amd/amdgpu/amdgpu_dm_helper.ko.xz: kernel/x.ko\n"
      "kernel/drivers/gpu/drm/amd/amdgpu/amdgpu.ko.xz: kernel/drivers/gpu/drm/drm.ko.xz\n"
      "kernel/drivers/gpu/drm/i915/i915.ko:\n"
      "updates/dkms/nvidia-drm.ko.zst: updates/dkms/nvidia.ko.zst\n";
  EXPECT_EQ(FindModuleInDep(dep, "amdgpu"), "kernel/drivers/gpu/drm/amd/amdgpu/amdgpu.ko.xz");
  EXPECT_EQ(FindModuleInDep(dep, "i915"), "kernel/drivers/gpu/drm/i915/i915.ko");
  EXPECT_EQ(FindModuleInDep(dep, "nvidia_drm"), "updates/dkms/nvidia-drm.ko.zst");
  EXPECT_EQ(FindModuleInDep(dep, "nvidia"), "");  // named only as a dependency
  EXPECT_EQ(FindModuleInDep(dep, "amdgpu_dm"), "");
  EXPECT_EQ(FindModuleInDep(dep, ""), "");

  EXPECT_EQ(DateOfUnixTime(0), "19700101");
  EXPECT_EQ(DateOfUnixTime(1700000000), "20231114");
  EXPECT_EQ(DateOfUnixTime(-1), "");

  // A machine whose module file carries its own date.
  const fs::path root = fs::path(KORVANE_TEST_HOME) / "drm-driver";
  struct Cleanup {
    fs::path dir;
    ~Cleanup() {
      platform::SetSysrootPrefixForTesting("");
      std::error_code ec;
      fs::remove_all(dir, ec);
    }
  } cleanup{root};
  fs::create_directories(root / "lib/modules/6.1.0-28-amd64/kernel/drm");
  std::ofstream(root / "lib/modules/6.1.0-28-amd64/modules.dep")
      << "kernel/drm/amdgpu.ko.xz: kernel/drm/drm.ko.xz\n";
  const fs::path module = root / "lib/modules/6.1.0-28-amd64/kernel/drm/amdgpu.ko.xz";
  std::ofstream(module) << "x";
  utimbuf times{1700000000, 1700000000};
  ASSERT_EQ(utime(module.c_str(), &times), 0);
  platform::SetSysrootPrefixForTesting(root.string());
  EXPECT_EQ(ModuleFileDate("amdgpu", "6.1.0-28-amd64"), "20231114");
  EXPECT_EQ(ModuleFileDate("i915", "6.1.0-28-amd64"), "");
  EXPECT_EQ(ModuleFileDate("amdgpu", "../../etc"), "");
  EXPECT_EQ(ModuleFileDate("amdgpu", "6.1.0-99-amd64"), "");
}

TEST(DisplayDriver, InterfaceAdaptersOfTheRecordedMachines) {
  {
    MachineScope machine("display-dual-head");
    EXPECT_EQ(BoundModuleName("0000:01:00.0", "amdgpu"), "amdgpu");
    EXPECT_EQ(BoundModuleName("0000:09:00.0", "fallback"), "fallback");
    EXPECT_EQ(BoundModuleName("../..", "fallback"), "fallback");
    const auto video = LinuxWmiProvider().Instances("Win32_VideoController");
    ASSERT_EQ(video.size(), 2u);
    Variant v;
    ASSERT_EQ(video[1].Get("AdapterRAM", &v), kS_OK);  // 8 GiB of VRAM, as far as 32 bits go
    EXPECT_EQ(v, Variant::Int32(-1));
    ASSERT_EQ(video[0].Get("AdapterRAM", &v), kS_OK);  // the iGPU's aperture
    EXPECT_EQ(v, Variant::Int32(256 << 20));
    ASSERT_EQ(video[1].Get("DriverVersion", &v), kS_OK);
    EXPECT_EQ(v, Variant::String("6.1.0-28-amd64"));
    ASSERT_EQ(video[1].Get("DriverDate", &v), kS_OK);
    EXPECT_EQ(v, Variant::String("20241122000000.000000-000"));
  }
  MachineScope machine("display-broken-edid");
  const auto video = LinuxWmiProvider().Instances("Win32_VideoController");
  ASSERT_EQ(video.size(), 1u);
  Variant v;
  ASSERT_EQ(video[0].Get("DriverVersion", &v), kS_OK);
  EXPECT_EQ(v, Variant::String("535.183.01"));
  ASSERT_EQ(video[0].Get("InstalledDisplayDrivers", &v), kS_OK);
  EXPECT_EQ(v, Variant::String("nvidia"));
}

}  // namespace
