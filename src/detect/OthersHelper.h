#pragma once
// The summary's category of other devices: the sound devices, through an owned sound detector.
#include "detect/SoundHelper.h"

namespace korvane {

class COthersHelper : public CDeviceHelper {
 public:
  COthersHelper() = default;
  explicit COthersHelper(SoundSources sources) : sound(std::move(sources)) {}

  void vUpdate() override;
  void vRefresh() override;
  std::int32_t vGetMaxItems() override { return kMaxSoundDevices; }

  CSoundHelper sound;
};

}  // namespace korvane
