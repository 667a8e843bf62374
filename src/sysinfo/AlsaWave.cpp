#include "sysinfo/AlsaWave.h"

#include <algorithm>
#include <charconv>

#include "platform/Sysroot.h"
#include "platform/Text.h"
#include "sysinfo/TextLines.h"

namespace korvane {

namespace {

std::vector<std::string> SplitFields(std::string_view line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t sep = line.find(" : ", start);
    fields.push_back(platform::Trim(
        line.substr(start, sep == std::string_view::npos ? line.npos : sep - start)));
    if (sep == std::string_view::npos) break;
    start = sep + 3;
  }
  return fields;
}

int Number(std::string_view text) {
  int value = -1;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size()) return -1;
  return value;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return !prefix.empty() && text.size() >= prefix.size() &&
         platform::EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

bool ContainsIgnoreCase(std::string_view text, std::string_view part) {
  return platform::ToLowerAscii(text).find(platform::ToLowerAscii(part)) != std::string::npos;
}

bool IsDigitalVideo(std::string_view name) {
  return ContainsIgnoreCase(name, "HDMI") || ContainsIgnoreCase(name, "DP");
}

// The codec of the card that drives a PCM. The HD-audio driver names a codec's PCMs after its
// chip ("ALC887-VD Analog" for "Realtek ALC887-VD") and its display outputs "HDMI n".
const HdaCodecInfo* CodecOf(const AlsaPcm& pcm, const SoundCardInfo& card) {
  std::vector<const HdaCodecInfo*> audio;
  for (const HdaCodecInfo& c : card.codecs) {
    if (c.audioFunction || !c.modemFunction) audio.push_back(&c);
  }
  for (const HdaCodecInfo* c : audio) {
    const std::string& name = c->name;
    const std::size_t space = name.find(' ');
    const std::string chip = space == std::string::npos ? name : name.substr(space + 1);
    if (StartsWithIgnoreCase(pcm.name, name) || StartsWithIgnoreCase(pcm.name, chip)) return c;
  }
  if (IsDigitalVideo(pcm.name)) {
    for (const HdaCodecInfo* c : audio) {
      if (IsDigitalVideo(c->name)) return c;
    }
  }
  return audio.size() == 1 ? audio.front() : nullptr;
}

}  // namespace

std::vector<AlsaPcm> ParseAsoundPcm(std::string_view text) {
  std::vector<AlsaPcm> pcms;
  ForEachLine(text, [&](std::string_view line) {
    const std::size_t colon = line.find(": ");
    if (colon == std::string_view::npos) return;
    const std::string_view address = line.substr(0, colon);
    const std::size_t dash = address.find('-');
    if (dash == std::string_view::npos) return;
    AlsaPcm pcm;
    pcm.card = Number(address.substr(0, dash));
    pcm.device = Number(address.substr(dash + 1));
    if (pcm.card < 0 || pcm.device < 0) return;
    const std::vector<std::string> fields = SplitFields(line.substr(colon + 2));
    if (fields.size() < 2) return;
    pcm.id = fields[0];
    pcm.name = fields[1];
    for (std::size_t i = 2; i < fields.size(); ++i) {
      const std::string& f = fields[i];
      if (f.rfind("playback ", 0) == 0)
        pcm.playback = std::max(0, Number(std::string_view(f).substr(9)));
      if (f.rfind("capture ", 0) == 0)
        pcm.capture = std::max(0, Number(std::string_view(f).substr(8)));
    }
    pcms.push_back(std::move(pcm));
  });
  return pcms;
}

std::string WaveDeviceName(const AlsaPcm& pcm, const SoundCardInfo* card) {
  std::string pcmName = pcm.name.empty() ? pcm.id : pcm.name;
  std::string owner;
  if (card != nullptr) {
    if (const HdaCodecInfo* codec = CodecOf(pcm, *card); codec != nullptr && !codec->name.empty()) {
      owner = codec->name;
    } else {
      owner = card->shortName.empty() ? card->id : card->shortName;
    }
  }
  const std::string name = owner.empty() ? pcmName : pcmName + " (" + owner + ")";
  return platform::TruncateUtf16Units(name, kWaveNameUnits);
}

WaveDevices BuildWaveDevices(const std::vector<AlsaPcm>& pcms,
                             const std::vector<SoundCardInfo>& cards) {
  WaveDevices devices;
  for (const AlsaPcm& pcm : pcms) {
    const SoundCardInfo* card = nullptr;
    for (const SoundCardInfo& c : cards) {
      if (c.index == pcm.card) card = &c;
    }
    const std::string name = WaveDeviceName(pcm, card);
    if (pcm.capture > 0) devices.inputs.push_back(name);
    if (pcm.playback > 0) devices.outputs.push_back(name);
  }
  return devices;
}

WaveDevices ListWaveDevices() {
  const auto text = platform::ReadSysFile("/proc/asound/pcm", 256 * 1024);
  if (!text) return {};
  return BuildWaveDevices(ParseAsoundPcm(*text), ScanSoundCards());
}

}  // namespace korvane
