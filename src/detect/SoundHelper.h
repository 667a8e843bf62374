#pragma once
// The sound detector: up to sixteen sound devices from the management interface, or, when it
// lists none, the high-definition-audio devices as the driver database names them. The device
// that best matches the system's wave devices is put first.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "detect/DeviceHelper.h"
#include "detect/DriverDatabase.h"
#include "sysinfo/AlsaWave.h"

namespace korvane {

inline constexpr int kMaxSoundDevices = 16;
inline constexpr int kMaxWaveDevices = 16;

struct SoundSources {
  // The driver database of the fallback; null means none.
  std::shared_ptr<detect::IDriverDatabase> database;
  std::function<WaveDevices()> waveDevices;

  static SoundSources Machine();
};

class CSoundHelper : public CDeviceHelper {
 public:
  struct Device {
    std::string deviceName;  // only from the driver-database fallback
    std::string caption;
    std::string name;
    std::string deviceId;
    std::string pnpDeviceId;
    std::string manufacturer;
    std::string reserved;  // always empty
  };

  CSoundHelper();
  explicit CSoundHelper(SoundSources sources);

  // Detects once per lifetime.
  void vUpdate() override;
  std::int32_t vGetMaxItems() override { return kMaxSoundDevices; }

  int QuerySoundDevices();
  int AudioFallback();
  // Fills the wave lists; true when at least one name was kept.
  bool ReadWaveDevices();
  // The slot that best matches a wave device name, -1 when none does.
  int FindBestDevice() const;
  void Reorder();

  std::array<Device, kMaxSoundDevices> devices{};
  std::array<std::string, kMaxWaveDevices> waveInNames{};
  std::array<std::string, kMaxWaveDevices> waveOutNames{};
  int waveInCount = 0;
  int waveOutCount = 0;

 private:
  SoundSources sources_;
};

}  // namespace korvane
