#include "bench/BenchJob.h"

namespace korvane {

std::atomic<std::int32_t>& BenchCancelFlag() {
  static std::atomic<std::int32_t> flag{0};
  return flag;
}

bool JobTargetLive(const _BENCH_JOB& job) { return job.target != nullptr && job.target->IsLive(); }

void PostJobMessage(const _BENCH_JOB& job, std::uint32_t msg, platform::LParam lParam) {
  if (!JobTargetLive(job)) return;
  job.target->Post(msg, static_cast<platform::WParam>(static_cast<std::uint32_t>(job.testId)), lParam);
}

}  // namespace korvane
