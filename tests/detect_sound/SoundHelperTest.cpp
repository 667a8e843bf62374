// The sound detector over a scripted management interface, scripted wave devices and a fake
// driver database: the name rules, the sixteen-device limit, the fallback to the audio codecs
// and the reordering by wave device names; and the other-devices category around it.
#include <gtest/gtest.h>

#include <stdexcept>

#include "../detect/FakeWmi.h"
#include "detect/OthersHelper.h"
#include "detect/SoundHelper.h"
#include "sysinfo/DeviceEnum.h"

namespace {

using namespace korvane;

WmiObject Sound(const std::string& caption, const std::string& manufacturer,
                const std::string& name = "") {
  WmiObject o("Win32_SoundDevice");
  o.Put("Caption", Variant::String(caption));
  o.Put("Name", Variant::String(name.empty() ? caption : name));
  o.Put("Manufacturer", Variant::String(manufacturer));
  o.Put("DeviceID", Variant::String("HDAUDIO\\" + caption));
  o.Put("PNPDeviceID", Variant::String("HDAUDIO\\" + caption));
  return o;
}

SoundSources Waves(std::vector<std::string> inputs, std::vector<std::string> outputs,
                   int* asked = nullptr) {
  SoundSources s;
  s.waveDevices = [inputs, outputs, asked] {
    if (asked != nullptr) ++*asked;
    return WaveDevices{inputs, outputs};
  };
  return s;
}

// Answers like the on-line database for the ids it knows.
struct FakeDatabase : detect::IDriverDatabase {
  bool Query(std::string_view instanceId, DeviceRecord& rec) override {
    const std::string id(instanceId);
    asked.push_back(id);
    if (id.find("VEN_10EC") == std::string::npos) return false;
    SetRecordText(rec.name, "Realtek High Definition Audio");
    SetRecordText(rec.name2, "Realtek High Definition Audio");
    SetRecordText(rec.instanceId, "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0887");
    SetRecordText(rec.manufacturer, "Realtek");
    return true;
  }
  std::vector<std::string> asked;
};

struct DeviceSourceScope {
  explicit DeviceSourceScope(std::vector<PresentDevice> devices) {
    SetDeviceSourceForTesting([devices] { return devices; });
  }
  ~DeviceSourceScope() { SetDeviceSourceForTesting(nullptr); }
};

TEST(SoundDetection, LogitechMicrophonesAndLogitechDevicesAreLeftOut) {
  FakeWmiScope scope;
  auto& list = scope.wmi->objects["Win32_SoundDevice"];
  list.push_back(Sound("Realtek High Definition Audio", "Realtek"));
  list.push_back(Sound("USB Audio Device", "LOGITECH Inc."));
  list.push_back(Sound("Logitech Mic (Pro 9000)", "(Generic USB Audio)"));
  list.push_back(Sound("USB Headset", "(Generic USB Audio)", "LOGITECH MIC (QuickCam)"));
  WmiObject noStrings("Win32_SoundDevice");
  noStrings.Put("Caption", Variant::Int32(5));
  list.push_back(noStrings);
  list.push_back(Sound("NVIDIA High Definition Audio", "NVIDIA"));
  // A Logitech webcam's own sound device without "mic" in its names stays.
  list.push_back(Sound("Logitech USB Speaker", "(Generic USB Audio)"));
  CSoundHelper sound(Waves({}, {}));
  EXPECT_EQ(sound.vGetMaxItems(), 16);
  sound.vUpdate();
  EXPECT_EQ(sound.detected, 1);
  ASSERT_EQ(sound.count, 4);
  EXPECT_EQ(sound.devices[0].caption, "Realtek High Definition Audio");
  EXPECT_EQ(sound.devices[0].manufacturer, "Realtek");
  EXPECT_EQ(sound.devices[0].pnpDeviceId, "HDAUDIO\\Realtek High Definition Audio");
  EXPECT_EQ(sound.devices[0].deviceName, "");
  // Nothing of the dropped objects is left in the slot the next one takes.
  EXPECT_EQ(sound.devices[1].caption, "");
  EXPECT_EQ(sound.devices[1].name, "");
  EXPECT_EQ(sound.devices[1].manufacturer, "");
  EXPECT_EQ(sound.devices[2].caption, "NVIDIA High Definition Audio");
  EXPECT_EQ(sound.devices[3].caption, "Logitech USB Speaker");
  EXPECT_EQ(sound.devices[4].caption, "");
}

TEST(SoundDetection, SixteenDevicesAtMostAndDetectedOnce) {
  FakeWmiScope scope;
  for (int i = 0; i < 20; ++i)
    scope.wmi->objects["Win32_SoundDevice"].push_back(
        Sound("Device " + std::to_string(i), "Maker"));
  CSoundHelper sound(Waves({}, {}));
  sound.vUpdate();
  EXPECT_EQ(sound.count, 16);
  EXPECT_EQ(sound.devices[15].caption, "Device 15");
  scope.wmi->objects.clear();
  sound.vUpdate();
  EXPECT_EQ(sound.count, 16);
  EXPECT_EQ(scope.wmi->asked["Win32_SoundDevice"], 1);
}

TEST(SoundReordering, DeviceMatchingTheWaveInputGoesFirst) {
  FakeWmiScope scope;
  auto& list = scope.wmi->objects["Win32_SoundDevice"];
  list.push_back(Sound("NVIDIA High Definition Audio", "NVIDIA"));
  list.push_back(Sound("Realtek High Definition Audio", "Realtek"));
  CSoundHelper sound(Waves({"Realtek High Definition Audio"}, {"NVIDIA High Definition Audio"}));
  sound.vUpdate();
  ASSERT_EQ(sound.count, 2);
  EXPECT_EQ(sound.devices[0].caption, "Realtek High Definition Audio");
  EXPECT_EQ(sound.devices[0].manufacturer, "Realtek");
  EXPECT_EQ(sound.devices[0].deviceId, "HDAUDIO\\Realtek High Definition Audio");
  EXPECT_EQ(sound.devices[1].caption, "NVIDIA High Definition Audio");
  EXPECT_EQ(sound.waveInCount, 1);
  EXPECT_EQ(sound.waveOutCount, 1);
}

TEST(SoundReordering, OutputsWhenNoInputAndNothingForOneDeviceOrNoMatch) {
  {
    FakeWmiScope scope;
    auto& list = scope.wmi->objects["Win32_SoundDevice"];
    list.push_back(Sound("ATI HDMI Audio", "ATI"));
    list.push_back(Sound("", "C-Media", "C-Media USB Headphone Set"));
    CSoundHelper sound(Waves({}, {"C-Media USB Headphone Set"}));
    sound.vUpdate();
    ASSERT_EQ(sound.count, 2);
    // An empty caption is matched by the name.
    EXPECT_EQ(sound.devices[0].name, "C-Media USB Headphone Set");
  }
  {
    FakeWmiScope scope;
    auto& list = scope.wmi->objects["Win32_SoundDevice"];
    list.push_back(Sound("ATI HDMI Audio", "ATI"));
    list.push_back(Sound("Realtek High Definition Audio", "Realtek"));
    CSoundHelper sound(Waves({"Line In (Creative SB X-Fi)"}, {}));
    sound.vUpdate();
    EXPECT_EQ(sound.devices[0].caption, "ATI HDMI Audio");
  }
  {
    FakeWmiScope scope;
    scope.wmi->objects["Win32_SoundDevice"].push_back(Sound("Realtek HD Audio", "Realtek"));
    int asked = 0;
    CSoundHelper sound(Waves({"Realtek HD Audio"}, {}, &asked));
    sound.vUpdate();
    EXPECT_EQ(sound.count, 1);
    EXPECT_EQ(asked, 0);  // one device needs no order
  }
}

TEST(SoundReordering, SmallestDistanceOverAllWaveNamesWins) {
  CSoundHelper sound(Waves({}, {}));
  sound.count = 3;
  sound.devices[0].caption = "Realtek HD Audio";
  sound.devices[1].caption = "USB Audio CODEC";
  sound.devices[2].caption = "Realtek HD Audio 2nd output";
  sound.waveInCount = 2;
  sound.waveInNames[0] = "  Realtek HD Audio 2nd outpu ";
  sound.waveInNames[1] = "USB Audio CODEC";
  EXPECT_EQ(sound.FindBestDevice(), 1);
  sound.waveInNames[1] = "";
  EXPECT_EQ(sound.FindBestDevice(), 2);
  // Short names only match when nearly the same.
  sound.devices[0].caption = "HDMI";
  sound.devices[1].caption = "USB";
  sound.count = 2;
  sound.waveInCount = 1;
  sound.waveInNames[0] = "UAC";
  EXPECT_EQ(sound.FindBestDevice(), -1);
  sound.waveInNames[0] = "USB2";
  EXPECT_EQ(sound.FindBestDevice(), 1);
}

TEST(SoundFallback, CodecsNamedByTheDriverDatabase) {
  FakeWmiScope scope;  // no sound devices listed
  DeviceSourceScope devices({
      {"MEDIA", "HDAUDIO\\FUNC_01&VEN_1002&DEV_AA01&SUBSYS_00AA0100&REV_1000\\4&1&0&0001", "ATI"},
      {"Display", "PCI\\VEN_1002&DEV_67DF\\4&2&0&0008", "Radeon"},
      {"MEDIA", "USB\\VID_046D&PID_0825&MI_02\\6&1&0&0002", "Webcam"},
      {"MEDIA", "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0887&SUBSYS_1458A002&REV_1003\\4&3&0&0001", "ALC"},
  });
  auto database = std::make_shared<FakeDatabase>();
  SoundSources sources = Waves({}, {});
  sources.database = database;
  CSoundHelper sound(sources);
  sound.vUpdate();
  EXPECT_EQ(sound.detected, 1);
  ASSERT_EQ(sound.count, 1);
  EXPECT_EQ(database->asked.size(), 2u);
  const auto& d = sound.devices[0];
  EXPECT_EQ(d.deviceName, "Realtek High Definition Audio");
  EXPECT_EQ(d.caption, d.deviceName);
  EXPECT_EQ(d.name, d.deviceName);
  EXPECT_EQ(d.deviceId, "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0887");
  EXPECT_EQ(d.pnpDeviceId, d.deviceId);
  EXPECT_EQ(d.manufacturer, "Realtek");
  EXPECT_EQ(d.reserved, "");
}

TEST(SoundFallback, NoDatabaseOrNoAnswerLeavesItUndetected) {
  FakeWmiScope scope;
  DeviceSourceScope devices(
      {{"MEDIA", "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0887&SUBSYS_1458A002&REV_1003\\4&3&0&0001",
        "ALC"}});
  CSoundHelper none(Waves({}, {}));
  none.vUpdate();
  EXPECT_EQ(none.detected, 0);
  EXPECT_EQ(none.count, 0);

  struct Throwing : detect::IDriverDatabase {
    bool Query(std::string_view, DeviceRecord&) override { throw std::runtime_error("offline"); }
  };
  SoundSources sources = Waves({}, {});
  sources.database = std::make_shared<Throwing>();
  CSoundHelper throwing(sources);
  EXPECT_NO_THROW(throwing.vUpdate());
  EXPECT_EQ(throwing.detected, 0);
}

TEST(OtherDevices, DelegatesToTheSoundDetector) {
  FakeWmiScope scope;
  scope.wmi->objects["Win32_SoundDevice"].push_back(Sound("Realtek HD Audio", "Realtek"));
  COthersHelper others(Waves({}, {}));
  EXPECT_EQ(others.vGetMaxItems(), 16);
  others.vRefresh();  // not yet detected: detects first
  EXPECT_EQ(others.detected, 1);
  EXPECT_EQ(others.sound.detected, 1);
  EXPECT_EQ(others.sound.count, 1);
  EXPECT_EQ(others.count, 0);
  others.vUpdate();
  others.vRefresh();
  EXPECT_EQ(scope.wmi->asked["Win32_SoundDevice"], 1);

  FakeWmiScope empty;
  COthersHelper nothing(Waves({}, {}));
  nothing.vUpdate();
  EXPECT_EQ(nothing.detected, 0);
  nothing.vRefresh();
  EXPECT_EQ(nothing.detected, 0);
  EXPECT_EQ(empty.wmi->asked["Win32_SoundDevice"], 2);
}

}  // namespace
