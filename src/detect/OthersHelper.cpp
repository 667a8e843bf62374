#include "detect/OthersHelper.h"

namespace korvane {

void COthersHelper::vUpdate() {
  if (detected != 0) return;
  count = 0;
  try {
    sound.vUpdate();
    detected = sound.detected;
  } catch (...) {
    // The sound detector contains its own failures; anything else only means "not detected".
    detected = 0;
  }
}

void COthersHelper::vRefresh() {
  if (detected == 0) {
    vUpdate();
    if (detected == 0) return;
  }
  sound.vRefresh();
}

}  // namespace korvane
