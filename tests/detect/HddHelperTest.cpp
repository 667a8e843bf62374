// The disk detector over a scripted management interface and this machine's own, and the
// matching of library drives to detected disks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "FakeWmi.h"
#include "detect/HddHelper.h"
#include "platform/Text.h"

namespace {

using namespace korvane;

WmiObject DiskObject(int i, const std::string& caption) {
  WmiObject o("Win32_DiskDrive");
  o.Put("Caption", Variant::String(caption));
  o.Put("Name", Variant::String(platform::Format("\\\\.\\PHYSICALDRIVE%d", i)));
  o.Put("PNPDeviceID",
        Variant::String(platform::Format("SCSI\\DISK&VEN_&PROD_D%d\\4&1&0&%06d", i, i)));
  o.Put("Manufacturer", Variant::String("(Standard disk drives)"));
  o.Put("Size", Variant::String(std::to_string(1000204886016ull + static_cast<unsigned>(i))));
  o.Put("InterfaceType", Variant::String("IDE"));
  o.Put("Model", Variant::String(caption));
  o.Put("Status", Variant::String("OK"));
  o.Put("Index", Variant::Int32(i));
  o.Put("Partitions", Variant::Int32(2));
  o.Put("BytesPerSector", Variant::Int32(512));
  o.Put("SectorsPerTrack", Variant::Int32(63));
  o.Put("TotalCylinders", Variant::String("121601"));
  o.Put("TotalHeads", Variant::Int32(255));
  o.Put("TotalSectors", Variant::String("1953520065"));
  o.Put("TotalTracks", Variant::String("31008255"));
  o.Put("TracksPerCylinder", Variant::Int32(255));
  return o;
}

TEST(HddDetection, SixteenOfTwentyInEnumerationOrderAndOnlyOnce) {
  FakeWmiScope scope;
  for (int i = 0; i < 20; ++i)
    scope.wmi->objects["Win32_DiskDrive"].push_back(DiskObject(i, "Disk " + std::to_string(i)));
  CHddHelper hdd;
  EXPECT_EQ(hdd.vGetMaxItems(), 16);
  hdd.vUpdate();
  EXPECT_EQ(hdd.detected, 1);
  EXPECT_EQ(hdd.count, 16);
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(hdd.disks[static_cast<std::size_t>(i)].caption, "Disk " + std::to_string(i));
  const auto& d = hdd.disks[15];
  EXPECT_EQ(d.name, "\\\\.\\PHYSICALDRIVE15");
  EXPECT_EQ(d.size, "1000204886031");
  EXPECT_EQ(d.index, 15);
  EXPECT_EQ(d.partitions, 2);
  EXPECT_EQ(d.bytesPerSector, 512);
  EXPECT_EQ(d.sectorsPerTrack, 63);
  EXPECT_EQ(d.totalCylinders, "121601");
  EXPECT_EQ(d.totalHeads, 255);
  EXPECT_EQ(d.totalSectors, "1953520065");
  EXPECT_EQ(d.totalTracks, "31008255");
  EXPECT_EQ(d.tracksPerCylinder, 255);
  EXPECT_EQ(d.interfaceType, "IDE");
  EXPECT_EQ(d.status, "OK");
  EXPECT_EQ(d.detail.reading, -100);
  EXPECT_EQ(d.detail.sourceIndex[0], -1);

  scope.wmi->objects["Win32_DiskDrive"].clear();
  hdd.vUpdate();  // already detected: the interface is not asked again
  EXPECT_EQ(scope.wmi->asked["Win32_DiskDrive"], 1);
  EXPECT_EQ(hdd.count, 16);
}

TEST(HddDetection, NullAndWronglyTypedPropertiesLeaveTheirFields) {
  FakeWmiScope scope;
  WmiObject o = DiskObject(0, "Generic Card Reader");
  o.Put("Size", Variant::Null());
  o.Put("Partitions", Variant::String("2"));   // a text where a number belongs
  o.Put("TotalCylinders", Variant::Int32(5));  // a number where a text belongs
  scope.wmi->objects["Win32_DiskDrive"] = {o};
  CHddHelper hdd;
  hdd.vUpdate();
  ASSERT_EQ(hdd.count, 1);
  EXPECT_EQ(hdd.disks[0].size, "");
  EXPECT_EQ(hdd.disks[0].partitions, 0);
  EXPECT_EQ(hdd.disks[0].totalCylinders, "");
  EXPECT_EQ(hdd.disks[0].caption, "Generic Card Reader");
  EXPECT_EQ(hdd.disks[0].totalHeads, 255);
}

TEST(HddDetection, FailedOrEmptyQueryIsTriedAgain) {
  FakeWmiScope scope;
  scope.wmi->objects["Win32_DiskDrive"] = {DiskObject(0, "Samsung SSD 970 EVO Plus 1TB")};
  CHddHelper hdd;
  for (int step = 2; step <= 5; ++step) {  // locator, connection, blanket, query
    SetWmiFailureStepForTesting(step);
    hdd.vUpdate();
    EXPECT_EQ(hdd.detected, 0) << step;
    EXPECT_EQ(hdd.count, 0) << step;
  }
  SetWmiFailureStepForTesting(0);
  scope.wmi->objects["Win32_DiskDrive"].clear();
  hdd.vUpdate();
  EXPECT_EQ(hdd.detected, 0);  // no disk object read is no detection
  scope.wmi->objects["Win32_DiskDrive"] = {DiskObject(0, "Samsung SSD 970 EVO Plus 1TB")};
  hdd.vUpdate();
  EXPECT_EQ(hdd.detected, 1);
  EXPECT_EQ(hdd.count, 1);
}

std::unique_ptr<CHddHelper> WithCaptions(std::initializer_list<const char*> captions) {
  auto hdd = std::make_unique<CHddHelper>();
  for (const char* c : captions) hdd->disks[static_cast<std::size_t>(hdd->count++)].caption = c;
  return hdd;
}

TEST(FindDeviceForSensor, NamesCasesAndSpaces) {
  auto owned_hdd =
      WithCaptions({"ST1000DM003-1CH162", "Samsung SSD 850 EVO 250GB", "WDC WD10EZEX-00BN5A0"});
  CHddHelper& hdd = *owned_hdd;
  EXPECT_EQ(hdd.FindDeviceForSensor(-1, "samsung ssd 850 evo 250gb", 2), 1);
  EXPECT_EQ(hdd.FindDeviceForSensor(-1, "SamsungSSD 850EVO 250GB", 2), 1);
  EXPECT_EQ(hdd.FindDeviceForSensor(-1, "ST1000DM003-1CH16", 2), 0);  // one edit away
  // An appended " ATA Device" is 11 edits, 9 without spaces: still the nearest disk.
  auto owned_ata = WithCaptions({"Samsung SSD 850 EVO 250GB", "WDC WD10EZEX-00BN5A0 ATA Device"});
  CHddHelper& ata = *owned_ata;
  EXPECT_EQ(ata.FindDeviceForSensor(-1, "WDC WD10EZEX-00BN5A0", 2), 1);
  // Far from every caption: the nearest one all the same; no disks: nothing.
  EXPECT_EQ(hdd.FindDeviceForSensor(-1, "Samsung SSD 860 QVO 1TB", 2), 1);
  EXPECT_EQ(hdd.FindDeviceForSensor(-1, "WDC WD20EZRZ", 2), 2);
  CHddHelper none;
  EXPECT_EQ(none.FindDeviceForSensor(-1, "Samsung SSD 850 EVO 250GB", 2), -1);
}

TEST(FindDeviceForSensor, LinkedIndexWinsAndLinkedSlotsAreSkipped) {
  auto owned_hdd =
      WithCaptions({"KINGSTON SA400S37240G", "KINGSTON SA400S37240G", "TOSHIBA DT01ACA100"});
  CHddHelper& hdd = *owned_hdd;
  ASSERT_TRUE(hdd.disks[2].detail.Link(kSensorSourceDisk, 5));
  EXPECT_EQ(hdd.FindDeviceForSensor(5, "some other name entirely", kSensorSourceDisk), 2);
  // The link is per source: another source code sees slot 2 as free.
  EXPECT_EQ(hdd.FindDeviceForSensor(5, "TOSHIBA DT01ACA100", kSensorSourceDisplay1), 2);

  // Two drives of one model fill the two disks in order once the first is linked.
  const int first = hdd.FindDeviceForSensor(0, "KINGSTON SA400S37240G", kSensorSourceDisk);
  EXPECT_EQ(first, 0);
  hdd.disks[0].detail.Link(kSensorSourceDisk, 0);
  EXPECT_EQ(hdd.FindDeviceForSensor(1, "KINGSTON SA400S37240G", kSensorSourceDisk), 1);
  hdd.disks[1].detail.Link(kSensorSourceDisk, 1);
  // Every disk linked: nothing left for a new drive.
  EXPECT_EQ(hdd.FindDeviceForSensor(9, "KINGSTON SA400S37240G", kSensorSourceDisk), -1);
  EXPECT_EQ(hdd.FindDeviceForSensor(1, "", kSensorSourceDisk), 1);
}

TEST(DeviceDetail, SourceCodesSelectTheirSlots) {
  CDeviceDetail d;
  EXPECT_EQ(d.reading, -100);
  EXPECT_EQ(d.secondValue, -1);
  EXPECT_EQ(d.counters[0], 0);
  EXPECT_EQ(d.furtherValues[1], -1);
  EXPECT_TRUE(d.Link(2, 10));
  EXPECT_TRUE(d.Link(1, 11));
  EXPECT_TRUE(d.Link(8, 12));
  EXPECT_TRUE(d.Link(4, 13));
  EXPECT_FALSE(d.Link(3, 14));
  EXPECT_EQ(d.sourceIndex[0], 10);
  EXPECT_EQ(d.sourceIndex[1], 11);
  EXPECT_EQ(d.sourceIndex[2], 12);
  EXPECT_EQ(d.sourceIndex[3], 13);
  EXPECT_EQ(d.SourceIndex(3), -1);
  EXPECT_EQ(d.SourceSlot(16), nullptr);
}

// The machine's own interface lists its real disks with the kernel's sizes.
TEST(HddOnThisMachine, DisksCarryTheKernelsSizes) {
  SetWmiProviderForTesting(nullptr);
  CHddHelper hdd;
  hdd.vUpdate();
  namespace fs = std::filesystem;
  int wholeDisks = 0;
  for (const auto& e : fs::directory_iterator("/sys/block")) {
    const std::string name = e.path().filename();
    if (name.rfind("sd", 0) == 0 || name.rfind("vd", 0) == 0 || name.rfind("nvme", 0) == 0) {
      std::ifstream size(e.path() / "size");
      unsigned long long sectors = 0;
      if (size >> sectors && sectors > 0) ++wholeDisks;
    }
  }
  if (wholeDisks == 0) GTEST_SKIP() << "no disks on this machine";
  EXPECT_EQ(hdd.detected, 1);
  EXPECT_GE(hdd.count, std::min(wholeDisks, 16));
  for (int i = 0; i < hdd.count; ++i) {
    const auto& d = hdd.disks[static_cast<std::size_t>(i)];
    EXPECT_FALSE(d.caption.empty()) << i;
    EXPECT_FALSE(d.size.empty()) << d.caption;
    EXPECT_GT(std::stoull(d.size), 0u) << d.caption;
  }
}

}  // namespace
