#include "detect/SoundHelper.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>

#include "platform/Text.h"
#include "sysinfo/DeviceEnum.h"
#include "sysinfo/SysUtil.h"
#include "sysinfo/Wmi.h"

namespace korvane {

namespace {

bool Contains(const std::string& text, const char* lowerPart) {
  return platform::ToLowerAscii(text).find(lowerPart) != std::string::npos;
}

void SwapTexts(CSoundHelper::Device& a, CSoundHelper::Device& b) {
  std::swap(a.deviceName, b.deviceName);
  std::swap(a.caption, b.caption);
  std::swap(a.name, b.name);
  std::swap(a.deviceId, b.deviceId);
  std::swap(a.pnpDeviceId, b.pnpDeviceId);
  std::swap(a.manufacturer, b.manufacturer);
  std::swap(a.reserved, b.reserved);
}

}  // namespace

SoundSources SoundSources::Machine() {
  SoundSources s;
  s.database = std::make_shared<detect::NoDriverDatabase>();
  s.waveDevices = [] { return ListWaveDevices(); };
  return s;
}

CSoundHelper::CSoundHelper() : CSoundHelper(SoundSources::Machine()) {}

CSoundHelper::CSoundHelper(SoundSources sources) : sources_(std::move(sources)) {
  if (!sources_.database) sources_.database = std::make_shared<detect::NoDriverDatabase>();
  if (!sources_.waveDevices) sources_.waveDevices = [] { return ListWaveDevices(); };
}

void CSoundHelper::vUpdate() {
  DetectOnce(
      [this] {
        const int found = QuerySoundDevices();
        Reorder();
        return found;
      },
      [this] {
        count = 0;
        const int found = AudioFallback();
        Reorder();
        return found;
      });
}

int CSoundHelper::QuerySoundDevices() {
  WmiQuery query("Select * From Win32_SoundDevice");
  if (!query.Ok()) return 0;
  int result = 0;
  int i = 0;
  while (i < kMaxSoundDevices) {
    std::unique_ptr<WmiObject> object = query.Next();
    if (!object) break;
    result = 1;
    Device& d = devices[static_cast<std::size_t>(i)];
    // A dropped object must not leave its texts behind for the next one.
    d = Device();
    std::string text;
    if (GetStringProperty(*object, "Caption", &text)) d.caption = text;
    // Logitech webcams list their microphones as sound devices; they are not the machine's.
    if (Contains(d.caption, "logitech mic")) continue;
    if (GetStringProperty(*object, "Name", &text)) d.name = text;
    if (Contains(d.name, "logitech mic")) continue;
    if (GetStringProperty(*object, "Manufacturer", &text)) d.manufacturer = text;
    if (Contains(d.manufacturer, "logitech")) continue;
    if (GetStringProperty(*object, "DeviceID", &text)) d.deviceId = text;
    if (GetStringProperty(*object, "PNPDeviceID", &text)) d.pnpDeviceId = text;
    ++i;
  }
  // Texts of a dropped last object stay out of the listed slots.
  if (i < kMaxSoundDevices) devices[static_cast<std::size_t>(i)] = Device();
  count = i;
  return result;
}

int CSoundHelper::AudioFallback() {
  const std::vector<DeviceRecord> records = EnumerateDeviceRecords("HDAUDIO", "MEDIA");
  int a = 0;
  for (const DeviceRecord& record : records) {
    if (a >= kMaxSoundDevices) break;
    const std::string id = platform::Trim(RecordText(record.instanceId));
    if (id.empty()) continue;
    auto answer = std::make_unique<DeviceRecord>();
    if (!sources_.database->Query(id, *answer)) continue;
    Device& d = devices[static_cast<std::size_t>(a)];
    d = Device();
    d.deviceName = RecordText(answer->name);
    d.caption = d.deviceName;
    d.name = d.deviceName;
    d.deviceId = RecordText(answer->instanceId);
    d.pnpDeviceId = d.deviceId;
    d.manufacturer = RecordText(answer->manufacturer);
    ++a;
  }
  if (a == 0) return 0;
  count = a;
  return 1;
}

bool CSoundHelper::ReadWaveDevices() {
  waveInCount = 0;
  waveOutCount = 0;
  const WaveDevices list = sources_.waveDevices();
  for (const std::string& name : list.inputs) {
    if (waveInCount >= kMaxWaveDevices) break;
    waveInNames[static_cast<std::size_t>(waveInCount++)] = name;
  }
  for (const std::string& name : list.outputs) {
    if (waveOutCount >= kMaxWaveDevices) break;
    waveOutNames[static_cast<std::size_t>(waveOutCount++)] = name;
  }
  return waveInCount > 0 || waveOutCount > 0;
}

int CSoundHelper::FindBestDevice() const {
  const bool inputs = waveInCount > 0;
  const auto& names = inputs ? waveInNames : waveOutNames;
  const int nameCount = std::min(inputs ? waveInCount : waveOutCount, kMaxWaveDevices);
  const int slots = std::clamp(count, 0, kMaxSoundDevices);
  int best = -1;
  long bestDistance = 10000000;
  for (int w = 0; w < nameCount; ++w) {
    const std::u16string wave =
        platform::Utf8ToUtf16(platform::Trim(names[static_cast<std::size_t>(w)]));
    if (wave.empty()) continue;
    int bestForWave = -1;
    long distanceForWave = 10000000;
    for (int s = 0; s < slots; ++s) {
      const Device& d = devices[static_cast<std::size_t>(s)];
      const std::u16string candidate =
          platform::Utf8ToUtf16(platform::Trim(d.caption.empty() ? d.name : d.caption));
      if (candidate.empty()) continue;
      const long f = EditDistance(candidate, wave);
      if (f < 0) continue;
      const long lc = static_cast<long>(candidate.size());
      const long lw = static_cast<long>(wave.size());
      const long d2 = std::labs(lc - lw);
      const long longest = std::max(lc, lw);
      const long shortest = std::min(lc, lw);
      if ((f - d2) * 100 / shortest < 40 ||
          (f < distanceForWave && lc > 5 && lw > 5 && f * 100 / longest < 65)) {
        bestForWave = s;
        distanceForWave = f;
      }
    }
    if (bestForWave >= 0 && distanceForWave < bestDistance) {
      best = bestForWave;
      bestDistance = distanceForWave;
    }
  }
  return best;
}

void CSoundHelper::Reorder() {
  if (count <= 1 || !ReadWaveDevices()) return;
  const int best = FindBestDevice();
  if (best > 0) SwapTexts(devices[static_cast<std::size_t>(best)], devices[0]);
}

}  // namespace korvane
