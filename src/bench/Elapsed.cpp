#include "bench/Elapsed.h"

#include "platform/Clock.h"

namespace korvane {

CElapsed::CElapsed() {
  frequency_ = platform::PerformanceFrequency();
  available_ = frequency_ > 0 ? 1 : 0;
}

void CElapsed::Start() {
  if (!available_) return;
  frequency_ = platform::PerformanceFrequency();
  startCount_ = platform::PerformanceCounter();
}

double CElapsed::GetElapsed() const {
  if (!available_ || frequency_ <= 0) return 0.0;
  return static_cast<double>(platform::PerformanceCounter() - startCount_) /
         static_cast<double>(frequency_);
}

void BusyWaitMs(std::int64_t ms) {
  const std::int64_t frequency = platform::PerformanceFrequency();
  if (frequency <= 0) return;
  const std::int64_t target = (frequency / 1000) * ms;
  const std::int64_t start = platform::PerformanceCounter();
  while (platform::PerformanceCounter() - start < target) {
  }
}

CCPUSpeed::CCPUSpeed() {
  // A: the time-stamp counter across a 50 ms busy wait. B: the same calls without the wait, so
  // their own cost drops out of the figure.
  const std::uint64_t a0 = platform::Rdtsc();
  BusyWaitMs(50);
  const std::uint64_t a = platform::Rdtsc() - a0;

  const std::uint64_t b0 = platform::Rdtsc();
  const std::int64_t frequency = platform::PerformanceFrequency();
  if (frequency > 0) {
    const std::int64_t target = (frequency / 1000) * 50;
    const std::int64_t start = platform::PerformanceCounter();
    while (platform::PerformanceCounter() - start == target) {
    }
  }
  const std::uint64_t b = platform::Rdtsc() - b0;

  const std::int64_t cyclesPerMs = static_cast<std::int64_t>(a - b) / 50;
  hz = cyclesPerMs * 1000;
  mhz = cyclesPerMs / 1000;
}

}  // namespace korvane
