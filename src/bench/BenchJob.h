#pragma once
// The record a benchmark test receives and fills, the messages a running test posts to the
// benchmark page, and the process-wide cancel flag.
#include <atomic>
#include <cstdint>

#include "platform/Messages.h"

namespace korvane {

inline constexpr std::uint32_t WM_BENCH_START = 0x509;
inline constexpr std::uint32_t WM_BENCH_PROGRESS = 0x50A;
inline constexpr std::uint32_t WM_BENCH_DONE = 0x50B;
inline constexpr std::uint32_t WM_BENCH_ALLDONE = 0x50C;
inline constexpr std::uint32_t WM_BENCH_CANCELLED = 0x50D;
inline constexpr std::uint32_t WM_BENCH_SCORE = 0x50E;
inline constexpr std::uint32_t WM_BENCH_TESTEND = 0x50F;
inline constexpr std::uint32_t WM_BENCH_WARMUP = 0x510;

// Result codes of every test function.
inline constexpr int kBenchSuccess = 1;
inline constexpr int kBenchCancelled = 3;
inline constexpr int kBenchFailed = -1;
inline constexpr int kBenchNotRun = 0;

inline constexpr int kBenchGroupCpu = 1;
inline constexpr int kBenchGroupMemory = 2;

inline constexpr int kBenchMaxWorkers = 8;

// Value-initialise (`_BENCH_JOB job{};`) before setting the fields. Workers write only their
// own progress slot while a pool runs; the slots are atomics because the runner reads them
// from another thread.
struct _BENCH_JOB {
  platform::IMessageTarget* target = nullptr;
  std::int32_t group = 0;
  std::int32_t testId = 0;
  std::int32_t done = 0;
  std::int32_t threadCount = 0;
  std::atomic<std::int32_t> progress[kBenchMaxWorkers] = {};
  double elapsed = 0.0;
  double score = 0.0;
  double displayValue = 0.0;
  double reserved = 0.0;
  std::int32_t checksum = 0;
};

// Set to 1 by the page's Stop, back to 0 before a new run; tests read it at progress points.
std::atomic<std::int32_t>& BenchCancelFlag();
inline bool BenchCancelled() { return BenchCancelFlag().load(std::memory_order_relaxed) != 0; }

// Messages go out only while the target exists and is live; a missing target never stops a run.
bool JobTargetLive(const _BENCH_JOB& job);
void PostJobMessage(const _BENCH_JOB& job, std::uint32_t msg, platform::LParam lParam);

// Scores are always within 0.01..7, the lower bound being the single-precision 0.01.
double ClampTestScore(double score);

}  // namespace korvane
