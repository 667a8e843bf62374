#include "app/logic/SplashProgress.h"

namespace korvane {

bool CSplashProgress::TickWaitsForThread(bool hasStartupThread, int startupStatus) {
  return hasStartupThread && startupStatus != kStartupFailed &&
         startupStatus != kStartupFailedShowingMessage;
}

SplashTickResult CSplashProgress::Tick(const SplashTickInput& in) {
  SplashTickResult r;
  if (!in.hasStartupThread || in.startupStatus == kStartupFailed) {
    r.action = SplashTickResult::Action::End;
    r.endResult = 2;
    return r;
  }
  // The failure message is open: the bar stands still until the user has read it.
  if (in.startupStatus == kStartupFailedShowingMessage) return r;

  r.needsWait = true;
  switch (in.wait) {
    case ThreadWait::Ended:
      current_ += kFinishStep;
      if (current_ > 100) {
        r.action = SplashTickResult::Action::End;
        r.endResult = 1;
      } else {
        r.action = SplashTickResult::Action::ShowPosition;
        r.position = current_;
      }
      return r;
    case ThreadWait::TimedOut: {
      if (current_ > kWaitCap) {
        current_ = kWaitCap;
      } else {
        const auto random = static_cast<unsigned>(in.randomValue);
        current_ += 3 + static_cast<int>(random % kRandomStep);
      }
      // A step may overshoot the cap; the bar then keeps its last shown position until the
      // next tick pulls the value back to the cap.
      if (current_ <= kWaitCap) {
        r.action = SplashTickResult::Action::ShowPosition;
        r.position = current_;
      }
      return r;
    }
    case ThreadWait::Failed:
      r.action = SplashTickResult::Action::End;
      r.endResult = 2;
      return r;
  }
  return r;
}

}  // namespace korvane
