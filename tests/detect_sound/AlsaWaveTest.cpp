// Wave device names from the ALSA PCM listing: which PCMs capture and play, and which codec of
// the card drives each one.
#include <gtest/gtest.h>

#include "platform/Text.h"
#include "sysinfo/AlsaWave.h"

namespace {

using namespace korvane;

SoundCardInfo Card(int index, const std::string& shortName, std::vector<std::string> codecs) {
  SoundCardInfo card;
  card.index = index;
  card.id = "Card" + std::to_string(index);
  card.shortName = shortName;
  for (const std::string& name : codecs) {
    HdaCodecInfo c;
    c.name = name;
    c.audioFunction = true;
    card.codecs.push_back(c);
  }
  return card;
}

TEST(AlsaPcm, ListingWithPlaybackAndCaptureCounts) {
  const auto pcms = ParseAsoundPcm(
      "00-00: ALC898 Analog : ALC898 Analog : playback 1 : capture 1\n"
      "00-01: ALC898 Digital : ALC898 Digital : playback 1\n"
      "00-02: ALC898 Alt Analog : ALC898 Alt Analog : capture 2\n"
      "01-07: HDMI 1 : HDMI 1 : playback 1\n"
      "02-00: USB Audio : USB Audio : playback 1 : capture 1\n"
      "garbage\n"
      "xx-00: A : A : playback 1\n");
  ASSERT_EQ(pcms.size(), 5u);
  EXPECT_EQ(pcms[0].card, 0);
  EXPECT_EQ(pcms[0].device, 0);
  EXPECT_EQ(pcms[0].name, "ALC898 Analog");
  EXPECT_EQ(pcms[0].playback, 1);
  EXPECT_EQ(pcms[0].capture, 1);
  EXPECT_EQ(pcms[1].capture, 0);
  EXPECT_EQ(pcms[2].playback, 0);
  EXPECT_EQ(pcms[2].capture, 2);
  EXPECT_EQ(pcms[3].card, 1);
  EXPECT_EQ(pcms[3].device, 7);
}

TEST(AlsaPcm, NamesCarryTheDrivingCodecAndAreCut) {
  const std::vector<SoundCardInfo> cards{
      Card(0, "HDA Intel PCH", {"Realtek ALC255", "Intel Kabylake HDMI"}),
      Card(1, "HDA NVidia", {"Nvidia GPU 40 HDMI/DP"}), Card(2, "USB Audio Device", {}),
      Card(3, "HDA Intel", {"Realtek ALC888", "Conexant CX20561"})};
  const auto pcms = ParseAsoundPcm(
      "00-00: ALC255 Analog : ALC255 Analog : playback 1 : capture 1\n"
      "00-03: HDMI 0 : HDMI 0 : playback 1\n"
      "01-03: HDMI 0 : HDMI 0 : playback 1\n"
      "02-00: USB Audio : USB Audio : playback 1 : capture 1\n"
      "03-05: Generic Analog : Generic Analog : capture 1\n"
      "04-00: Loopback PCM : Loopback PCM : playback 8 : capture 8\n");
  const WaveDevices waves = BuildWaveDevices(pcms, cards);
  EXPECT_EQ(waves.inputs, (std::vector<std::string>{"ALC255 Analog (Realtek ALC255)",
                                                    "USB Audio (USB Audio Device)",
                                                    "Generic Analog (HDA Intel)", "Loopback PCM"}));
  ASSERT_EQ(waves.outputs.size(), 5u);
  EXPECT_EQ(waves.outputs[1], "HDMI 0 (Intel Kabylake HDMI)");
  // Thirty-one units at most, as wave device names are.
  EXPECT_EQ(waves.outputs[2], "HDMI 0 (Nvidia GPU 40 HDMI/DP)");
  AlsaPcm longName;
  longName.card = 0;
  longName.name = "ALC255 Alt Analog";
  const std::string cut = WaveDeviceName(longName, &cards[0]);
  EXPECT_EQ(cut, "ALC255 Alt Analog (Realtek ALC2");
  EXPECT_EQ(platform::Utf16Length(cut), kWaveNameUnits);
}

}  // namespace
