#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "sysinfo/DeviceEnum.h"

namespace korvane {
namespace {

class DeviceEnumeration : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDeviceSourceForTesting([this] { return devices; });
  }
  void TearDown() override { SetDeviceSourceForTesting(nullptr); }

  std::vector<PresentDevice> devices{
      {"Computer", "ROOT\\ACPI_HAL\\0000", "ACPI x64-based PC"},
      {"Display", "PCI\\VEN_10DE&DEV_1B81&SUBSYS_37721458&REV_A1\\3&1&0&00",
       "GP104 [GeForce GTX 1070]"},
      {"MEDIA", "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0887\\4&1&0&0001", "Realtek ID 887"},
      {"MEDIA", "USB\\VID_046D&PID_0825&MI_02\\6&1&0&0002", "Webcam C270 audio"},
      {"Display", "PCI\\VEN_1002&DEV_67DF\\3&2&0&00", "Ellesmere"},
      {"", "PCI\\VEN_8086&DEV_0000\\3&3&0&00", "no class: skipped"},
      {"System", "", "no id: skipped"},
  };
};

TEST_F(DeviceEnumeration, RecordLayoutIsFixed) {
  DeviceRecord record;
  EXPECT_EQ(record.size, 2168u);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
  for (std::size_t i = 4; i < sizeof record; ++i) ASSERT_EQ(bytes[i], 0) << i;
}

TEST_F(DeviceEnumeration, StatusCodesOfTheTwoCallProtocol) {
  EXPECT_EQ(EnumerateDevices(nullptr, nullptr, nullptr, nullptr), kEnumNoCount);

  std::uint32_t count = 0;
  EXPECT_EQ(EnumerateDevices(nullptr, nullptr, nullptr, &count), kEnumMoreData);
  EXPECT_EQ(count, 5u);

  std::vector<DeviceRecord> records(count);
  EXPECT_EQ(EnumerateDevices(records.data(), nullptr, nullptr, &count), kEnumOk);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(RecordText(records[0].className), "Computer");
  EXPECT_EQ(RecordText(records[4].instanceId), "PCI\\VEN_1002&DEV_67DF\\3&2&0&00");

  count = 0;
  DeviceRecord none;
  EXPECT_EQ(EnumerateDevices(&none, nullptr, "NoSuchClass", &count), kEnumNoDevice);
  EXPECT_EQ(count, 0u);
  count = 5;
  EXPECT_EQ(EnumerateDevices(nullptr, nullptr, "NoSuchClass", &count),
            kEnumMoreData);  // no buffer wins
  EXPECT_EQ(count, 0u);
}

TEST_F(DeviceEnumeration, ASmallBufferIsFilledToItsCapacityOnly) {
  std::vector<DeviceRecord> records(3);
  std::memset(static_cast<void*>(&records[2]), 0xAB, sizeof(DeviceRecord));
  std::uint32_t count = 2;
  EXPECT_EQ(EnumerateDevices(records.data(), nullptr, nullptr, &count), kEnumMoreData);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(RecordText(records[1].className), "Display");
  const auto* guard = reinterpret_cast<const unsigned char*>(&records[2]);
  for (std::size_t i = 0; i < sizeof(DeviceRecord); ++i) ASSERT_EQ(guard[i], 0xAB) << i;
}

TEST_F(DeviceEnumeration, ClassAndPrefixFiltersIgnoreCase) {
  const auto display = EnumerateDeviceRecords("pci", "DISPLAY");
  ASSERT_EQ(display.size(), 2u);
  EXPECT_EQ(RecordText(display[0].name), "GP104 [GeForce GTX 1070]");
  EXPECT_EQ(RecordText(display[0].name2), "GP104 [GeForce GTX 1070]");

  const auto hda = EnumerateDeviceRecords("HDAUDIO", "media");
  ASSERT_EQ(hda.size(), 1u);
  EXPECT_EQ(RecordText(hda[0].name), "Realtek ID 887");
  // A prefix longer than the id never matches.
  EXPECT_TRUE(EnumerateDeviceRecords("ROOT\\ACPI_HAL\\0000\\MORE", nullptr).empty());
}

TEST_F(DeviceEnumeration, LongTextsAreCutToTheirFields) {
  devices = {
      {"System", "PCI\\" + std::string(300, 'A'), std::string(400, 'n')},
      {"System", "PCI\\X", std::string(254, 'x') + "\xF0\x9F\x98\x80"}};  // pair would end at 256
  const auto records = EnumerateDeviceRecords(nullptr, nullptr);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(RecordText(records[0].instanceId).size(), 199u);
  EXPECT_EQ(records[0].instanceId[199], 0);
  EXPECT_EQ(RecordText(records[0].name).size(), 255u);
  EXPECT_EQ(records[0].name[255], 0);
  EXPECT_EQ(RecordText(records[1].name), std::string(254, 'x'));  // the pair is dropped, not split
  EXPECT_EQ(records[1].name[254], 0);
}

TEST_F(DeviceEnumeration, AFailingSourceReportsEnumerationFailure) {
  SetDeviceSourceForTesting(
      []() -> std::vector<PresentDevice> { throw std::runtime_error("unreadable"); });
  std::uint32_t count = 9;
  EXPECT_EQ(EnumerateDevices(nullptr, nullptr, nullptr, &count), kEnumFailed);
  EXPECT_EQ(count, 9u);
  EXPECT_TRUE(EnumerateDeviceRecords(nullptr, nullptr).empty());
}

// The shortcut for the computer's own entry must give what a walk of the whole list gives, on
// this machine and on a replaced source, and other classes still walk the list.
TEST_F(DeviceEnumeration, FirstDeviceOfAClassIsWhatAWalkFinds) {
  auto first = FirstPresentDevice("display");
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->name, "GP104 [GeForce GTX 1070]");
  EXPECT_FALSE(FirstPresentDevice("Keyboard").has_value());

  devices.erase(devices.begin());  // a source without a computer entry has none
  EXPECT_FALSE(FirstPresentDevice("Computer").has_value());
  devices.insert(devices.begin() + 1, {"COMPUTER", "ROOT\\X\\0000", "Test PC"});
  ASSERT_TRUE(FirstPresentDevice("Computer").has_value());
  EXPECT_EQ(FirstPresentDevice("Computer")->name, "Test PC");

  SetDeviceSourceForTesting(nullptr);
  const std::vector<PresentDevice> machine = ListPresentDevices();
  ASSERT_FALSE(machine.empty());
  auto computer = FirstPresentDevice("Computer");
  ASSERT_TRUE(computer.has_value());
  EXPECT_EQ(computer->className, machine.front().className);
  EXPECT_EQ(computer->instanceId, machine.front().instanceId);
  EXPECT_EQ(computer->name, machine.front().name);
}

}  // namespace
}  // namespace korvane
