// The display adapter detector over a scripted management interface, a scripted device list and
// a scripted driver database.
#include <gtest/gtest.h>

#include <map>

#include "../detect/FakeWmi.h"
#include "config/LanguageRes.h"
#include "detect/DisplayHelper.h"
#include "sysinfo/DeviceEnum.h"

namespace {

using namespace korvane;

WmiObject Adapter(const std::string& caption, const std::string& name = "") {
  WmiObject o("Win32_VideoController");
  o.Put("Caption", Variant::String(caption));
  o.Put("Name", Variant::String(name.empty() ? caption : name));
  return o;
}

struct FakeDatabase : IDriverDatabase {
  bool Query(std::string_view instanceId, DeviceRecord& record) override {
    asked.emplace_back(instanceId);
    const auto it = answers.find(std::string(instanceId));
    if (it == answers.end()) return false;
    SetRecordText(record.name, it->second);
    SetRecordText(record.name2, it->second);
    SetRecordText(record.instanceId, "PCI\\HW_" + it->second);
    SetRecordText(record.manufacturer, "Maker of " + it->second);
    SetRecordText(record.driverVersion, "31.0.15.3713");
    SetRecordText(record.releaseDate, "2023-08-21");
    return true;
  }
  std::map<std::string, std::string> answers;
  std::vector<std::string> asked;
};

struct DeviceSourceScope {
  explicit DeviceSourceScope(std::vector<PresentDevice> devices) {
    SetDeviceSourceForTesting([devices] { return devices; });
  }
  ~DeviceSourceScope() { SetDeviceSourceForTesting(nullptr); }
};

TEST(DisplayValueTexts, TablesDatesAndMemory) {
  EXPECT_EQ(VideoArchitectureText(160), "PC-98");
  EXPECT_EQ(VideoArchitectureText(12), "Linear Frame Buffer");
  EXPECT_EQ(VideoArchitectureText(13), LangText(5087));
  EXPECT_EQ(VideoArchitectureText(1), LangText(5085));
  EXPECT_EQ(VideoMemoryTypeText(12), "SDRAM");
  EXPECT_EQ(VideoMemoryTypeText(2), LangText(5086));
  EXPECT_EQ(VideoMemoryTypeText(14), LangText(5087));
  EXPECT_EQ(VideoMemoryTypeText(0), LangText(5087));
  EXPECT_EQ(ScanModeText(3), LangText(5088));
  EXPECT_EQ(ScanModeText(4), LangText(5089));
  EXPECT_EQ(ScanModeText(-1), LangText(5087));

  EXPECT_EQ(AdapterRamText(268435456), "256MB");
  EXPECT_EQ(AdapterRamText(static_cast<std::int32_t>(4294967295u)), "4095MB");
  EXPECT_EQ(AdapterRamText(static_cast<std::int32_t>(0x80000000u)), "2048MB");
  EXPECT_EQ(AdapterRamText(1048575), "0MB");

  EXPECT_EQ(ReformatDriverDate("20100412000000.000000-000"), "2010-04-12 00:00:00");
  EXPECT_EQ(ReformatDriverDate("20231107153045.000000-000"), "2023-11-07 15:30:45");
  // Nothing is checked: short texts give short pieces, never a failure.
  EXPECT_EQ(ReformatDriverDate("201004"), "2010-04- ::");
  EXPECT_EQ(ReformatDriverDate(""), "-- ::");
}

TEST(DisplayDetection, ReadsEveryFieldOnceAndSkipsWrongTypes) {
  FakeWmiScope scope;
  WmiObject a = Adapter("NVIDIA GeForce GTX 1070");
  a.Put("PNPDeviceID",
        Variant::String("PCI\\VEN_10DE&DEV_1B81&SUBSYS_37721458&REV_A1\\4&1&0&0008"));
  a.Put("AdapterCompatibility", Variant::String("NVIDIA"));
  a.Put("AdapterDACType", Variant::String("Integrated RAMDAC"));
  a.Put("AdapterRAM", Variant::Int32(static_cast<std::int32_t>(4294967295u)));
  a.Put("DriverDate", Variant::String("20100412000000.000000-000"));
  a.Put("DriverVersion", Variant::String("31.0.15.3713"));
  a.Put("VideoMemoryType", Variant::Int32(12));
  a.Put("VideoArchitecture", Variant::Int32(160));
  a.Put("CurrentScanMode", Variant::Int32(4));
  a.Put("InstalledDisplayDrivers", Variant::String("nvldumd.dll"));
  WmiObject b = Adapter("Intel(R) HD Graphics 4600");
  b.Put("AdapterRAM", Variant::String("268435456"));  // wrong type: left empty
  b.Put("VideoArchitecture", Variant::Null());
  b.Put("DriverDate", Variant::Int32(20100412));
  scope.wmi->objects["Win32_VideoController"] = {a, b};

  CDisplayHelper display;
  EXPECT_EQ(display.vGetMaxItems(), 8);
  display.vUpdate();
  EXPECT_EQ(display.detected, 1);
  ASSERT_EQ(display.count, 2);
  const auto& first = display.adapters[0];
  EXPECT_EQ(first.caption, "NVIDIA GeForce GTX 1070");
  EXPECT_EQ(first.pnpDeviceId, "PCI\\VEN_10DE&DEV_1B81&SUBSYS_37721458&REV_A1\\4&1&0&0008");
  EXPECT_EQ(first.adapterCompatibility, "NVIDIA");
  EXPECT_EQ(first.dacType, "Integrated RAMDAC");
  EXPECT_EQ(first.adapterRam, "4095MB");
  EXPECT_EQ(first.driverDate, "2010-04-12 00:00:00");
  EXPECT_EQ(first.driverVersion, "31.0.15.3713");
  EXPECT_EQ(first.memoryType, "SDRAM");
  EXPECT_EQ(first.videoArchitecture, "PC-98");
  EXPECT_EQ(first.scanMode, LangText(5089));
  EXPECT_EQ(first.installedDisplayDrivers, "nvldumd.dll");
  const auto& second = display.adapters[1];
  EXPECT_EQ(second.name, "Intel(R) HD Graphics 4600");
  EXPECT_EQ(second.adapterRam, "");
  EXPECT_EQ(second.videoArchitecture, "");
  EXPECT_EQ(second.driverDate, "");

  // Detected once: the interface is not asked again.
  display.vUpdate();
  EXPECT_EQ(scope.wmi->asked["Win32_VideoController"], 1);
}

TEST(DisplayDetection, SecondHeadOfADualHeadCardIsDropped) {
  FakeWmiScope scope;
  scope.wmi->objects["Win32_VideoController"] = {
      Adapter("NVIDIA GeForce 7950 GX2"), Adapter("NVIDIA GeForce 7950 GX2 Secondary"),
      // A name whose "secondary" comes early is a name, not a second head.
      Adapter("Matrox Secondary"), Adapter("Matrox Secondary"),
      // The second head of a card not seen yet is kept.
      Adapter("ATI Radeon X1950 Pro Series Secondary")};
  CDisplayHelper display;
  display.vUpdate();
  EXPECT_EQ(display.detected, 1);
  ASSERT_EQ(display.count, 4);
  EXPECT_EQ(display.adapters[0].caption, "NVIDIA GeForce 7950 GX2");
  EXPECT_EQ(display.adapters[1].caption, "Matrox Secondary");
  EXPECT_EQ(display.adapters[2].caption, "Matrox Secondary");
  EXPECT_EQ(display.adapters[3].caption, "ATI Radeon X1950 Pro Series Secondary");
  EXPECT_EQ(display.adapters[4].caption, "");

  // The test also catches a second head by its name, and against a stored name when the
  // stored caption is empty.
  EXPECT_TRUE(display.IsSecondaryHead("nvidia geforce 7950 gx2   SECONDARY", 1));
  EXPECT_FALSE(display.IsSecondaryHead("NVIDIA GeForce 7950 GX2 Secondary", 0));
  // "secondary" must start after the sixteenth character.
  display.adapters[4].caption = "ABCDEFGHIJKLMNOP";
  EXPECT_FALSE(display.IsSecondaryHead("ABCDEFGHIJKLMNOPsecondary", 5));
  display.adapters[4].caption = "ABCDEFGHIJKLMNOPQ";
  EXPECT_TRUE(display.IsSecondaryHead("ABCDEFGHIJKLMNOPQsecondary", 5));
  display.adapters[5].name = "Quadro FX 4500 X2 Graphics";
  EXPECT_TRUE(display.IsSecondaryHead("Quadro FX 4500 X2 Graphics Secondary", 6));
}

TEST(DisplayDetection, SecondHeadDroppedByNameAloneLeavesNothingBehind) {
  FakeWmiScope scope;
  WmiObject secondHead("Win32_VideoController");
  secondHead.Put("Name", Variant::String("NVIDIA GeForce 7950 GX2 Secondary"));
  secondHead.Put("Caption", Variant::String("NVIDIA GeForce 7950 GX2 (second head)"));
  WmiObject last("Win32_VideoController");
  last.Put("Name", Variant::String("Radeon HD 5450"));
  scope.wmi->objects["Win32_VideoController"] = {Adapter("NVIDIA GeForce 7950 GX2"), secondHead,
                                                 last};
  CDisplayHelper display;
  display.vUpdate();
  ASSERT_EQ(display.count, 2);
  EXPECT_EQ(display.adapters[1].name, "Radeon HD 5450");
  EXPECT_EQ(display.adapters[1].caption, "");
}

TEST(DisplayDetection, AtMostEightAdapters) {
  FakeWmiScope scope;
  for (int i = 0; i < 11; ++i)
    scope.wmi->objects["Win32_VideoController"].push_back(Adapter("Adapter " + std::to_string(i)));
  CDisplayHelper display;
  display.vUpdate();
  EXPECT_EQ(display.count, 8);
  EXPECT_EQ(display.adapters[7].caption, "Adapter 7");
}

std::vector<PresentDevice> DisplayDevices() {
  return {{"Display", "PCI\\VEN_10DE&DEV_0611&SUBSYS_C7723842&REV_A2\\4&2A1B3C4D&0&0008",
           "GeForce 8800 GT"},
          {"Net", "PCI\\VEN_8086&DEV_10D3&SUBSYS_0000&REV_00\\3&1&0&C8", "Intel NIC"},
          {"Display", "ROOT\\BASICDISPLAY\\0000", "Basic Display"},
          {"Display", "PCI\\VEN_10DE&DEV_0611&SUBSYS_C7723842&REV_A2\\4&2A1B3C4D&0&0009",
           "GeForce 8800 GT"},
          {"Display", "PCI\\VEN_1002&DEV_67DF&SUBSYS_8A921462&REV_E7\\4&1&0&0010", "Radeon"}};
}

TEST(DisplayFallback, AsksTheDatabaseForEachPciDisplayDevice) {
  FakeWmiScope scope;  // no adapters
  DeviceSourceScope devices(DisplayDevices());
  auto db = std::make_shared<FakeDatabase>();
  db->answers["PCI\\VEN_10DE&DEV_0611&SUBSYS_C7723842&REV_A2\\4&2A1B3C4D&0&0008"] =
      "GeForce 8800 GT Dual Head Card";
  db->answers["PCI\\VEN_10DE&DEV_0611&SUBSYS_C7723842&REV_A2\\4&2A1B3C4D&0&0009"] =
      "GeForce 8800 GT Dual Head Card Secondary";
  CDisplayHelper display(db);
  display.vUpdate();
  EXPECT_EQ(display.detected, 1);
  ASSERT_EQ(display.count, 1);
  // Only PCI devices of the display class are asked about; the one without an answer is skipped.
  ASSERT_EQ(db->asked.size(), 3u);
  EXPECT_EQ(db->asked[2], "PCI\\VEN_1002&DEV_67DF&SUBSYS_8A921462&REV_E7\\4&1&0&0010");
  const auto& a = display.adapters[0];
  EXPECT_EQ(a.caption, "GeForce 8800 GT Dual Head Card");
  EXPECT_EQ(a.name, "GeForce 8800 GT Dual Head Card");
  EXPECT_EQ(a.pnpDeviceId, "PCI\\HW_GeForce 8800 GT Dual Head Card");
  EXPECT_EQ(a.adapterCompatibility, "Maker of GeForce 8800 GT Dual Head Card");
  EXPECT_EQ(a.driverVersion, "31.0.15.3713");
  EXPECT_EQ(a.driverDate, "2023-08-21");
  EXPECT_EQ(a.adapterRam, "");
}

TEST(DisplayFallback, NothingWithoutDatabaseOrAnswers) {
  FakeWmiScope scope;
  DeviceSourceScope devices(DisplayDevices());
  CDisplayHelper none;
  none.vUpdate();
  EXPECT_EQ(none.detected, 0);
  EXPECT_EQ(none.count, 0);

  auto db = std::make_shared<FakeDatabase>();
  CDisplayHelper unanswered(db);
  unanswered.vUpdate();
  EXPECT_EQ(unanswered.detected, 0);
  EXPECT_EQ(unanswered.count, 0);
  EXPECT_EQ(db->asked.size(), 3u);
  // Not detected: the next call tries again.
  db->answers["PCI\\VEN_1002&DEV_67DF&SUBSYS_8A921462&REV_E7\\4&1&0&0010"] = "Radeon RX 580";
  unanswered.vUpdate();
  EXPECT_EQ(unanswered.detected, 1);
  EXPECT_EQ(unanswered.count, 1);
}

TEST(DisplayFallback, UsedWhenTheInterfaceFailsButNotWhenItAnswers) {
  auto db = std::make_shared<FakeDatabase>();
  db->answers["PCI\\VEN_1002&DEV_67DF&SUBSYS_8A921462&REV_E7\\4&1&0&0010"] = "Radeon RX 580";
  DeviceSourceScope devices(DisplayDevices());
  {
    FakeWmiScope scope;
    scope.wmi->objects["Win32_VideoController"] = {Adapter("Radeon RX 580 Series")};
    CDisplayHelper display(db);
    display.vUpdate();
    EXPECT_EQ(display.count, 1);
    EXPECT_EQ(display.adapters[0].caption, "Radeon RX 580 Series");
    EXPECT_TRUE(db->asked.empty());
  }
  FakeWmiScope scope;
  SetWmiFailureStepForTesting(3);
  CDisplayHelper display;
  display.SetDriverDatabase(db);
  display.vUpdate();
  EXPECT_EQ(display.detected, 1);
  EXPECT_EQ(display.adapters[0].caption, "Radeon RX 580");
}

TEST(DisplaySensors, LibraryDevicesMatchAdapterCaptions) {
  FakeWmiScope scope;
  scope.wmi->objects["Win32_VideoController"] = {Adapter("Intel(R) UHD Graphics 630"),
                                                 Adapter("NVIDIA GeForce RTX 3070")};
  CDisplayHelper display;
  display.vUpdate();
  EXPECT_EQ(display.FindDeviceForSensor(0, "NVIDIA GeForce RTX 3070", 8), 1);
  EXPECT_EQ(display.FindDeviceForSensor(1, "intel(r) uhd  graphics 630", 8), 0);
  // An adapter linked to a library device is found by the index alone.
  ASSERT_TRUE(display.details[1].Link(8, 5));
  EXPECT_EQ(display.FindDeviceForSensor(5, "something else", 8), 1);
  CDisplayHelper empty;
  EXPECT_EQ(empty.FindDeviceForSensor(0, "NVIDIA GeForce RTX 3070", 8), -1);
}

}  // namespace
