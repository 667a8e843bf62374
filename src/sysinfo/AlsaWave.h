#pragma once
// The machine's wave devices as the sound system lists them: one name per ALSA PCM device
// that can capture (inputs) or play (outputs), in card and device order.
#include <string>
#include <string_view>
#include <vector>

#include "sysinfo/LinuxHardware.h"

namespace korvane {

// Product names hold at most this many UTF-16 units, as the wave interface's do.
inline constexpr std::size_t kWaveNameUnits = 31;

struct AlsaPcm {
  int card = -1;
  int device = -1;
  std::string id;
  std::string name;
  int playback = 0;  // substreams
  int capture = 0;
};

// /proc/asound/pcm: "00-00: ALC887-VD Analog : ALC887-VD Analog : playback 1 : capture 1".
std::vector<AlsaPcm> ParseAsoundPcm(std::string_view text);

struct WaveDevices {
  std::vector<std::string> inputs;
  std::vector<std::string> outputs;
};

// "<PCM name> (<device>)", where the device is the codec that drives the PCM when the card
// says which one (else the card's name), cut to kWaveNameUnits.
std::string WaveDeviceName(const AlsaPcm& pcm, const SoundCardInfo* card);
WaveDevices BuildWaveDevices(const std::vector<AlsaPcm>& pcms,
                             const std::vector<SoundCardInfo>& cards);

// The machine's lists (through the sysroot).
WaveDevices ListWaveDevices();

}  // namespace korvane
