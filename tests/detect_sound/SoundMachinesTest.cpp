// The sound detector on recorded machines and on real codec listings: every audio codec of a
// machine is one sound device named as its listing names it, and the device behind the wave
// input goes first.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "../detect_network/TempMachine.h"
#include "detect/OthersHelper.h"
#include "detect/SoundHelper.h"

namespace {

using namespace korvane;
namespace fs = std::filesystem;

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// One codec of a listing, as the listing itself says.
struct CodecText {
  std::string name;
  bool modemOnly = false;
  std::string text;
};

// Splits a listing at its "Codec:" lines.
std::vector<CodecText> SplitCodecs(const std::string& listing) {
  std::vector<CodecText> codecs;
  std::istringstream in(listing);
  std::string line;
  bool audio = false, modem = false;
  auto close = [&] {
    if (!codecs.empty()) codecs.back().modemOnly = modem && !audio;
  };
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("Codec:", 0) == 0) {
      close();
      audio = modem = false;
      std::string name = line.substr(6);
      name.erase(0, name.find_first_not_of(' '));
      name.erase(name.find_last_not_of(' ') + 1);
      codecs.push_back({name, false, ""});
    }
    if (codecs.empty()) continue;
    audio = audio || line.rfind("AFG Function Id:", 0) == 0;
    modem = modem || line.rfind("MFG Function Id:", 0) == 0;
    codecs.back().text += line + "\n";
  }
  close();
  return codecs;
}

std::vector<std::string> Captions(const CSoundHelper& sound) {
  std::vector<std::string> names;
  for (int i = 0; i < sound.count; ++i)
    names.push_back(sound.devices[static_cast<std::size_t>(i)].caption);
  return names;
}

TEST(SoundMachines, EveryRecordedCodecIsADeviceNamedAfterIt) {
  const fs::path machines = fs::path(KORVANE_FIXTURES_DIR) / "machines";
  int checked = 0;
  for (const auto& entry : fs::directory_iterator(machines)) {
    const fs::path asound = entry.path() / "proc/asound";
    if (!fs::exists(asound / "cards")) continue;
    SCOPED_TRACE(entry.path().filename().string());
    std::vector<std::string> expected;
    for (int card = 0; card < 32; ++card) {
      const fs::path dir = asound / ("card" + std::to_string(card));
      if (!fs::is_directory(dir)) continue;
      for (int codec = 0; codec < 16; ++codec) {
        const fs::path file = dir / ("codec#" + std::to_string(codec));
        if (!fs::exists(file)) continue;
        for (const CodecText& c : SplitCodecs(ReadFile(file))) {
          if (!c.modemOnly) expected.push_back(c.name);
        }
      }
    }
    platform::SetSysrootPrefixForTesting(entry.path().string());
    CSoundHelper sound;
    sound.vUpdate();
    platform::SetSysrootPrefixForTesting("");
    EXPECT_EQ(sound.detected, expected.empty() ? 0 : 1);
    std::vector<std::string> found = Captions(sound);
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
    for (int i = 0; i < sound.count; ++i) {
      const auto& d = sound.devices[static_cast<std::size_t>(i)];
      EXPECT_EQ(d.pnpDeviceId.rfind("HDAUDIO\\FUNC_01&VEN_", 0), 0u) << d.pnpDeviceId;
      EXPECT_FALSE(d.manufacturer.empty()) << d.caption;
    }
    ++checked;
  }
  EXPECT_GE(checked, 4);
}

TEST(SoundMachines, HdmiCardFirstStillPutsTheAnalogCodecFirst) {
  TempMachine scratch;  // restores the real machine afterwards
  platform::SetSysrootPrefixForTesting(std::string(KORVANE_FIXTURES_DIR) + "/machines/hdmi-first");
  COthersHelper others;
  others.vUpdate();
  EXPECT_EQ(others.detected, 1);
  const CSoundHelper& sound = others.sound;
  EXPECT_EQ(Captions(sound), (std::vector<std::string>{"Realtek ID 887", "ATI ATI R6xx HDMI"}));
  ASSERT_EQ(sound.waveInCount, 2);
  EXPECT_EQ(sound.waveInNames[0], "ID 887 Analog (Realtek ID 887)");
  ASSERT_EQ(sound.waveOutCount, 3);
  EXPECT_EQ(sound.waveOutNames[0], "HDMI 0 (ATI ATI R6xx HDMI)");
}

TEST(SoundMachines, RealCodecListingsGiveTheirCodecNames) {
  int checked = 0;
  for (const auto& entry : fs::directory_iterator(KORVANE_CODECS_DIR)) {
    if (entry.path().extension() != ".txt") continue;
    SCOPED_TRACE(entry.path().filename().string());
    const std::vector<CodecText> codecs = SplitCodecs(ReadFile(entry.path()));
    ASSERT_FALSE(codecs.empty());
    TempMachine machine;
    machine.Write("/proc/asound/cards",
                  " 0 [PCH            ]: HDA-Intel - HDA Intel PCH\n"
                  "                      HDA Intel PCH at 0xf7f10000 irq 32\n");
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < codecs.size(); ++i) {
      machine.Write("/proc/asound/card0/codec#" + std::to_string(i), codecs[i].text);
      if (!codecs[i].modemOnly) expected.push_back(codecs[i].name);
    }
    CSoundHelper sound;
    sound.vUpdate();
    EXPECT_EQ(Captions(sound), expected);
    ++checked;
  }
  EXPECT_GE(checked, 9);
}

}  // namespace

namespace {

// A webcam's microphone on USB next to an HD-audio codec: the USB function under the generic
// USB audio driver, not the USB controller it hangs from.
TEST(SoundMachines, UsbAudioCardIsTheUsbFunction) {
  TempMachine machine;
  machine.Write("/proc/asound/cards",
                " 0 [PCH            ]: HDA-Intel - HDA Intel PCH\n"
                "                      HDA Intel PCH at 0xf7f10000 irq 32\n"
                " 1 [C270           ]: USB-Audio - USB Device 0x46d:0x825\n"
                "                      USB Device 0x46d:0x825 at usb-0000:00:14.0-2, high speed\n");
  machine.Write("/proc/asound/card0/codec#0",
                "Codec: Realtek ALC887-VD\nAddress: 0\n"
                "AFG Function Id: 0x1 (unsol 1)\n"
                "Vendor Id: 0x10ec0887\nSubsystem Id: 0x1458a002\n"
                "Revision Id: 0x100302\n");
  const std::string usb = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";
  machine.Write(usb + "/idVendor", "046d\n");
  machine.Write(usb + "/idProduct", "0825\n");
  machine.Write(usb + "/product", "C270 HD WEBCAM\n");
  machine.Write(usb + "/1-2:1.2/bInterfaceNumber", "02\n");
  machine.Mkdir(usb + "/1-2:1.2/sound/card1");
  machine.Link(usb + "/1-2:1.2/sound/card1/device", "../../../1-2:1.2");
  machine.Link("/sys/class/sound/card1",
               "../../devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.2/sound/card1");
  machine.Write("/proc/asound/pcm",
                "00-00: ALC887-VD Analog : ALC887-VD Analog : playback 1 : capture 1\n"
                "01-00: USB Audio : USB Audio : capture 1\n");
  CSoundHelper sound;
  sound.vUpdate();
  ASSERT_EQ(sound.count, 2);
  // The analog codec matches the first wave input and stays first.
  EXPECT_EQ(sound.devices[0].caption, "Realtek ALC887-VD");
  EXPECT_EQ(sound.waveInNames[0], "ALC887-VD Analog (Realtek ALC88");
  EXPECT_EQ(sound.waveInNames[1], "USB Audio (USB Device 0x46d:0x8");
  const auto& cam = sound.devices[1];
  EXPECT_EQ(cam.caption, "C270 HD WEBCAM");
  EXPECT_EQ(cam.manufacturer, "(Generic USB Audio)");
  EXPECT_EQ(cam.pnpDeviceId.rfind("USB\\VID_046D&PID_0825&MI_02\\6&", 0), 0u) << cam.pnpDeviceId;
  EXPECT_EQ(cam.pnpDeviceId.substr(cam.pnpDeviceId.size() - 4), "0002");
}

}  // namespace
