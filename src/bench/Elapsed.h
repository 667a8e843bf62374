#pragma once
// Wall-clock stopwatch over the performance counter, and the processor clock measured against
// the time-stamp counter.
#include <cstdint>

namespace korvane {

class CElapsed {
 public:
  CElapsed();
  virtual ~CElapsed() = default;
  void Start();
  // Seconds since Start; reading neither stops nor resets the stopwatch. 0.0 without a counter.
  double GetElapsed() const;

 private:
  std::int32_t available_ = 0;
  std::int64_t frequency_ = 0;
  std::int64_t startCount_ = 0;
};

class CCPUSpeed {
 public:
  CCPUSpeed();
  virtual ~CCPUSpeed() = default;
  std::int64_t mhz = 0;
  std::int64_t hz = 0;
};

// Spins on the performance counter for the given milliseconds; returns at once without one.
void BusyWaitMs(std::int64_t ms);

}  // namespace korvane
