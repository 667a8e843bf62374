#pragma once
// The splash bar's progress rule, driven by a 300 ms timer: it creeps towards the wait cap
// while the hardware library starts, then runs to the end in steps of 5 once the start-up
// thread has ended. Kept free of any window so every tick can be checked.
#include "hwlib/HardwareLibrary.h"

namespace korvane {

struct SplashTickInput {
  bool hasStartupThread = false;
  int startupStatus = kStartupRunning;
  // Consulted only when the status lets the tick wait for the thread.
  ThreadWait wait = ThreadWait::TimedOut;
  int randomValue = 0;  // a fresh rand() value
};

struct SplashTickResult {
  enum class Action { None, ShowPosition, End };
  Action action = Action::None;
  int position = 0;  // ShowPosition: what the bar shows
  int endResult = 0; // End: 1 success, 2 failure
  bool needsWait = false;  // the tick waited for the thread (the caller supplies `wait`)
};

class CSplashProgress {
 public:
  static constexpr int kTimerPeriodMs = 300;
  static constexpr int kInitialPosition = 10;
  static constexpr int kWaitCap = 80;
  static constexpr int kRandomStep = 9;
  static constexpr int kFinishStep = 5;
  static constexpr int kWaitTimeoutMs = 50;

  // Whether this tick has to wait for the start-up thread before Tick can decide.
  static bool TickWaitsForThread(bool hasStartupThread, int startupStatus);
  SplashTickResult Tick(const SplashTickInput& in);
  int CurrentPosition() const { return current_; }

 private:
  int current_ = kInitialPosition;
};

}  // namespace korvane
