// The management classes and the device list of recorded machines, checked against what is
// known about each machine's hardware.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "platform/Sysroot.h"
#include "sysinfo/DeviceEnum.h"
#include "sysinfo/SysinfoDiagnose.h"
#include "sysinfo/Wmi.h"

namespace korvane {
namespace {

using Props = std::map<std::string, Variant>;

std::vector<Props> Objects(const std::string& className) {
  std::vector<Props> out;
  WmiQuery query("Select * From " + className);
  while (auto object = query.Next()) {
    Props props;
    for (const auto& [name, value] : object->Properties()) props[name] = value;
    out.push_back(std::move(props));
  }
  return out;
}

Variant S(const char* text) { return Variant::String(text); }
Variant I(std::int32_t value) { return Variant::Int32(value); }

class FixtureMachine : public ::testing::Test {
 protected:
  void Use(const std::string& name) {
    platform::SetSysrootPrefixForTesting(std::string(KORVANE_FIXTURES_DIR) + "/machines/" + name);
  }
  void TearDown() override { platform::SetSysrootPrefixForTesting(""); }
};

TEST_F(FixtureMachine, IntelDesktopDisksIncludeTheUsbStick) {
  Use("intel-desktop");
  const auto disks = Objects("Win32_DiskDrive");
  ASSERT_EQ(disks.size(), 3u);
  EXPECT_EQ(disks[0].at("Model"), S("Samsung SSD 970 EVO Plus 1TB"));
  EXPECT_EQ(disks[0].at("Size"), S("1000204886016"));
  EXPECT_EQ(disks[0].at("InterfaceType"), S("SCSI"));
  EXPECT_EQ(disks[0].at("Partitions"), I(3));
  EXPECT_EQ(disks[0].at("Index"), I(0));
  EXPECT_EQ(disks[0].at("Name"), S("\\\\.\\PHYSICALDRIVE0"));
  // Geometry as Windows fakes it: whole cylinders of 255 heads x 63 sectors.
  EXPECT_EQ(disks[0].at("TotalCylinders"), S("121601"));
  EXPECT_EQ(disks[0].at("TotalTracks"), S("31008255"));
  EXPECT_EQ(disks[0].at("TotalSectors"), S("1953520065"));
  EXPECT_EQ(disks[0].at("TotalHeads"), I(255));
  EXPECT_EQ(disks[0].at("SectorsPerTrack"), I(63));
  EXPECT_EQ(disks[0].at("BytesPerSector"), I(512));

  EXPECT_EQ(disks[1].at("Model"), S("ST2000DM008-2FR102"));  // the full model, not the 16-character one
  EXPECT_EQ(disks[1].at("InterfaceType"), S("IDE"));
  EXPECT_EQ(disks[1].at("Size"), S("2000398934016"));
  EXPECT_EQ(disks[1].at("Manufacturer"), S("(Standard disk drives)"));

  EXPECT_EQ(disks[2].at("Model"), S("SanDisk Cruzer Blade USB Device"));
  EXPECT_EQ(disks[2].at("InterfaceType"), S("USB"));
  EXPECT_EQ(disks[2].at("MediaType"), S("Removable Media"));
  EXPECT_EQ(disks[2].at("PNPDeviceID").bstrVal.rfind("USBSTOR\\DISK&VEN_SANDISK&PROD_CRUZER_BLADE&REV_1.00\\", 0), 0u);
}

TEST_F(FixtureMachine, IntelDesktopDisplayMonitorAndSound) {
  Use("intel-desktop");
  const auto video = Objects("Win32_VideoController");
  ASSERT_EQ(video.size(), 1u);
  EXPECT_EQ(video[0].at("Caption"), S("NVIDIA GeForce GTX 1070"));
  EXPECT_EQ(video[0].at("Name"), S("NVIDIA GeForce GTX 1070"));
  EXPECT_EQ(video[0].at("AdapterCompatibility"), S("NVIDIA Corporation"));
  EXPECT_EQ(video[0].at("AdapterDACType"), S("Integrated RAMDAC"));
  EXPECT_EQ(video[0].at("AdapterRAM"), I(256 << 20));  // the frame-buffer window
  EXPECT_EQ(video[0].at("InstalledDisplayDrivers"), S("nvidia"));
  EXPECT_EQ(video[0].at("DriverVersion"), S("6.1.0-28-amd64"));
  EXPECT_EQ(video[0].at("VideoArchitecture"), I(5));
  EXPECT_EQ(video[0].at("VideoMemoryType"), I(2));
  EXPECT_EQ(video[0].at("CurrentScanMode"), I(4));
  EXPECT_EQ(video[0].at("PNPDeviceID").bstrVal.rfind("PCI\\VEN_10DE&DEV_1B81&SUBSYS_37721458&REV_A1\\", 0), 0u);

  const auto monitors = Objects("Win32_DesktopMonitor");
  ASSERT_EQ(monitors.size(), 1u);  // the two disconnected connectors are not monitors
  EXPECT_EQ(monitors[0].at("Name"), S("DELL U2715H"));
  EXPECT_EQ(monitors[0].at("MonitorManufacturer"), S("(Standard monitor types)"));
  EXPECT_EQ(monitors[0].at("ScreenWidth"), I(2560));
  EXPECT_EQ(monitors[0].at("ScreenHeight"), I(1440));
  EXPECT_EQ(monitors[0].at("ConfigManagerErrorCode"), I(0));
  EXPECT_EQ(monitors[0].at("PNPDeviceID").bstrVal.rfind("DISPLAY\\DELD066\\", 0), 0u);

  const auto config = Objects("Win32_DisplayConfiguration");
  ASSERT_EQ(config.size(), 1u);
  EXPECT_EQ(config[0].at("BitsPerPel"), I(32));
  EXPECT_EQ(config[0].at("DisplayFrequency"), I(60));

  const auto sound = Objects("Win32_SoundDevice");
  ASSERT_EQ(sound.size(), 2u);
  EXPECT_EQ(sound[0].at("Caption"), S("Realtek ALC898"));
  EXPECT_EQ(sound[0].at("Manufacturer"), S("Realtek Semiconductor Co., Ltd."));
  EXPECT_EQ(sound[0].at("PNPDeviceID").bstrVal.rfind(
                "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0899&SUBSYS_102805D7&REV_1000\\", 0),
            0u);
  EXPECT_EQ(sound[1].at("Caption"), S("Nvidia GPU 40 HDMI/DP"));
  EXPECT_EQ(sound[1].at("DeviceID"), sound[1].at("PNPDeviceID"));
}

TEST_F(FixtureMachine, AmdDesktopClampsLargeVideoMemory) {
  Use("amd-desktop");
  const auto video = Objects("Win32_VideoController");
  ASSERT_EQ(video.size(), 1u);
  EXPECT_EQ(video[0].at("Caption"), S("AMD Radeon RX 580"));
  EXPECT_EQ(video[0].at("AdapterCompatibility"), S("Advanced Micro Devices, Inc."));
  // 8 GiB does not fit the 32-bit property: it holds 0xFFFFFFFF, which reads as 4095 MB.
  ASSERT_EQ(video[0].at("AdapterRAM").vt, VT_I4);
  EXPECT_EQ(static_cast<std::uint32_t>(video[0].at("AdapterRAM").lVal), 0xFFFFFFFFu);

  const auto monitors = Objects("Win32_DesktopMonitor");
  ASSERT_EQ(monitors.size(), 1u);
  EXPECT_EQ(monitors[0].at("Caption"), S("BenQ XL2411Z"));
  EXPECT_EQ(monitors[0].at("ScreenWidth"), I(1920));

  const auto disks = Objects("Win32_DiskDrive");
  ASSERT_EQ(disks.size(), 1u);
  EXPECT_EQ(disks[0].at("Model"), S("WD Blue SN570 1TB"));
  EXPECT_EQ(disks[0].at("Size"), S("1000204886016"));

  const auto sound = Objects("Win32_SoundDevice");
  ASSERT_EQ(sound.size(), 2u);
  EXPECT_EQ(sound[1].at("Name"), S("Realtek ID 887"));
  EXPECT_EQ(sound[1].at("PNPDeviceID").bstrVal.rfind(
                "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0887&SUBSYS_1458A002&REV_1003\\", 0),
            0u);
}

TEST_F(FixtureMachine, LaptopPanelIntegratedGraphicsAndSataSsd) {
  Use("laptop");
  const auto video = Objects("Win32_VideoController");
  ASSERT_EQ(video.size(), 1u);
  EXPECT_EQ(video[0].at("Caption"), S("Intel Alder Lake-P Integrated Graphics Controller"));
  EXPECT_EQ(video[0].at("AdapterDACType"), S("Internal"));
  EXPECT_EQ(video[0].at("CurrentHorizontalResolution"), I(1366));

  const auto monitors = Objects("Win32_DesktopMonitor");
  ASSERT_EQ(monitors.size(), 1u);
  EXPECT_EQ(monitors[0].at("Name"), S("Generic PnP Monitor"));  // the panel's EDID carries no name
  EXPECT_EQ(monitors[0].at("PNPDeviceID").bstrVal.rfind("DISPLAY\\AUO305C\\", 0), 0u);
  EXPECT_EQ(monitors[0].at("ScreenHeight"), I(768));

  const auto disks = Objects("Win32_DiskDrive");
  ASSERT_EQ(disks.size(), 1u);
  EXPECT_EQ(disks[0].at("Model"), S("Samsung SSD 860 EVO 500GB"));
  EXPECT_EQ(disks[0].at("InterfaceType"), S("IDE"));
  EXPECT_EQ(disks[0].at("Size"), S("500107862016"));
  EXPECT_EQ(disks[0].at("Partitions"), I(2));
  EXPECT_EQ(disks[0].at("SerialNumber"), S("S3Z2NB0K123456X"));

  const auto sound = Objects("Win32_SoundDevice");
  ASSERT_EQ(sound.size(), 2u);
  EXPECT_EQ(sound[0].at("Caption"), S("Realtek ALC255"));
  EXPECT_EQ(sound[1].at("Caption"), S("Intel Haswell HDMI"));
  EXPECT_NE(sound[0].at("PNPDeviceID"), sound[1].at("PNPDeviceID"));
}

TEST_F(FixtureMachine, VmHasOnlyItsVirtioDisk) {
  Use("vm");
  const auto disks = Objects("Win32_DiskDrive");
  ASSERT_EQ(disks.size(), 1u);  // loop and zram devices are not disks
  EXPECT_EQ(disks[0].at("Caption"), S("Red Hat VirtIO SCSI Disk Device"));
  EXPECT_EQ(disks[0].at("InterfaceType"), S("SCSI"));
  ASSERT_EQ(disks[0].at("Size").vt, VT_BSTR);
  EXPECT_EQ(disks[0].at("Size"), S("274877906944"));
  for (const char* cls : {"Win32_VideoController", "Win32_DesktopMonitor", "Win32_DisplayConfiguration",
                          "Win32_SoundDevice"}) {
    EXPECT_TRUE(Objects(cls).empty()) << cls;
  }
}

TEST_F(FixtureMachine, DeviceListsAgreeWithTheManagementClasses) {
  for (const char* machine : {"intel-desktop", "amd-desktop", "laptop"}) {
    SCOPED_TRACE(machine);
    Use(machine);
    const auto all = EnumerateDeviceRecords(nullptr, nullptr);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(RecordText(all[0].className), "Computer");

    // The monitor check matches the monitor class's ids against the monitor objects' ids.
    const auto monitorsPnp = EnumerateDeviceRecords(nullptr, "Monitor");
    const auto monitors = Objects("Win32_DesktopMonitor");
    ASSERT_EQ(monitorsPnp.size(), monitors.size());
    for (std::size_t i = 0; i < monitors.size(); ++i) {
      EXPECT_EQ(RecordText(monitorsPnp[i].instanceId), monitors[i].at("PNPDeviceID").bstrVal);
    }
    const auto displays = EnumerateDeviceRecords("PCI", "Display");
    ASSERT_EQ(displays.size(), 1u);
    EXPECT_EQ(RecordText(displays[0].instanceId), Objects("Win32_VideoController")[0].at("PNPDeviceID").bstrVal);
    const auto codecs = EnumerateDeviceRecords("HDAUDIO", "MEDIA");
    EXPECT_EQ(codecs.size(), Objects("Win32_SoundDevice").size());
    EXPECT_EQ(EnumerateDeviceRecords(nullptr, "DiskDrive").size(), Objects("Win32_DiskDrive").size());
  }
}

TEST_F(FixtureMachine, PciClassesAndHostBridges) {
  Use("intel-desktop");
  std::map<std::string, std::string> classOf;
  for (const DeviceRecord& r : EnumerateDeviceRecords("PCI\\", nullptr)) {
    const std::string id = RecordText(r.instanceId);
    classOf[id.substr(4, 17)] = RecordText(r.className);
  }
  EXPECT_EQ(classOf["VEN_10DE&DEV_1B81"], "Display");
  EXPECT_EQ(classOf["VEN_8086&DEV_1E02"], "hdc");
  EXPECT_EQ(classOf["VEN_144D&DEV_A808"], "SCSIAdapter");
  EXPECT_EQ(classOf["VEN_8086&DEV_1E2D"], "USB");
  EXPECT_EQ(classOf["VEN_8086&DEV_1E44"], "System");
  EXPECT_EQ(classOf["VEN_8086&DEV_1E20"], "System");
  const auto lan = EnumerateDeviceRecords("PCI", "Net");
  EXPECT_TRUE(lan.empty());

  Use("laptop");
  const auto net = EnumerateDeviceRecords("PCI", "Net");
  ASSERT_EQ(net.size(), 1u);
  EXPECT_EQ(RecordText(net[0].name), "Alder Lake-P PCH CNVi WiFi");
  const auto usb = EnumerateDeviceRecords("USB\\", nullptr);
  ASSERT_EQ(usb.size(), 3u);
  EXPECT_EQ(RecordText(usb[0].className), "Bluetooth");
}

TEST_F(FixtureMachine, DiagnosisOfTheVm) {
  Use("vm");
  const auto d = DiagnoseSysinfo();
  EXPECT_EQ(d["os"]["longName"], "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(d["os"]["result"], 1);
  EXPECT_EQ(d["wmi"]["Win32_DiskDrive"][0]["Size"], "274877906944");
  EXPECT_EQ(d["wmi"]["Win32_DiskDrive"][0]["Index"], 0);
  EXPECT_TRUE(d["wmi"]["Win32_SoundDevice"].empty());
  EXPECT_EQ(d["devices"][0]["class"], "Computer");
  EXPECT_EQ(d["devices"][0]["name"], "ACPI x64-based PC");
  bool sawBlock = false;
  for (const auto& dev : d["devices"]) {
    if (dev["instanceId"].get<std::string>().rfind("PCI\\VEN_1AF4&DEV_1042&SUBSYS_10421AF4&REV_01\\", 0) == 0) {
      sawBlock = true;
      EXPECT_EQ(dev["class"], "SCSIAdapter");
      EXPECT_EQ(dev["name"], "Virtio 1.0 block device");
    }
  }
  EXPECT_TRUE(sawBlock);
}

}  // namespace
}  // namespace korvane
