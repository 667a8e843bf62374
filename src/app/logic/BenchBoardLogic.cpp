#include "app/logic/BenchBoardLogic.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

#include "bench/BenchCli.h"

namespace korvane {

platform::WParam PackScoreWParam(double score, std::int32_t testId) {
  const auto hundredths = static_cast<std::uint32_t>(std::floor(score * 100.0 + 0.5));
  return (static_cast<platform::WParam>(hundredths) << 16) |
         static_cast<platform::WParam>(testId & 0xFFFF);
}

int RunBenchmark(platform::IMessageTarget& window, std::int32_t mask,
                 const BenchDispatchHooks& hooks) {
  const auto run = hooks.runTest ? hooks.runTest : [](_BENCH_JOB& j) { return RunBenchTest(j); };
  if (hooks.warmUpRunning) hooks.warmUpRunning(true);
  {
    _BENCH_JOB warm{};
    warm.target = &window;
    warm.group = mask;
    warm.testId = 199;
    warm.threadCount = std::max(1, hooks.processors);
    run(warm);
  }
  window.Send(WM_BENCH_WARMUP, static_cast<platform::WParam>(mask), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  window.Send(WM_BENCH_WARMUP, static_cast<platform::WParam>(mask), 0);
  if (hooks.warmUpRunning) hooks.warmUpRunning(false);

  int last = kBenchNotRun;
  for (const BenchTestEntry& e : kBenchTests) {
    if (!MaskContains(mask, e.groupMask)) continue;
    _BENCH_JOB job{};
    job.target = &window;
    job.group = e.groupMask;
    job.testId = e.testId;
    job.threadCount = BenchTestSetupFor(e.testId).threadCount;
    // Only the measuring tests run here; the warm-up's row (199) ends as "not run".
    const bool measuring = (e.testId >= 0 && e.testId <= 8) || e.testId == 11 || e.testId == 12;
    last = measuring && job.threadCount > 0 ? run(job) : kBenchNotRun;
    if (window.IsLive()) {
      if (last == kBenchSuccess) {
        const float value = static_cast<float>(job.displayValue);
        platform::LParam bits = 0;
        std::uint32_t raw = 0;
        std::memcpy(&raw, &value, sizeof raw);
        bits = static_cast<platform::LParam>(raw);
        window.Post(WM_BENCH_SCORE, PackScoreWParam(job.score, e.testId), bits);
      }
      window.Post(WM_BENCH_TESTEND, static_cast<platform::WParam>(e.testId), last);
    }
    if (last == kBenchCancelled) return last;
  }
  window.Post(WM_BENCH_ALLDONE, static_cast<platform::WParam>(mask), 0);
  return last;
}

BenchBoardModel::BenchBoardModel() {
  for (const BenchTestEntry& e : kBenchTests) rows_.push_back({e.groupMask, e.testId});
}

void BenchBoardModel::Reset() {
  for (BenchRow& r : rows_) {
    if (MaskContains(mask_, r.groupMask)) r.state = kRowWaiting;
  }
}

BenchRow* BenchBoardModel::Find(std::int32_t testId) {
  for (BenchRow& r : rows_) {
    if (r.testId == testId) return &r;
  }
  return nullptr;
}

void BenchBoardModel::OnScore(platform::WParam wParam, platform::LParam lParam) {
  BenchRow* r = Find(static_cast<std::int32_t>(wParam & 0xFFFF));
  if (r == nullptr) return;
  const auto raw = static_cast<std::uint32_t>(lParam);
  float value = 0;
  std::memcpy(&value, &raw, sizeof value);
  r->score = static_cast<float>((wParam >> 16) & 0xFFFF) / 100.0f;
  r->value = value;
}

void BenchBoardModel::OnTestEnd(std::int32_t testId, std::int32_t result) {
  if (BenchRow* r = Find(testId)) r->state = result;
}

void BenchBoardModel::OnCancelled(std::int32_t testId) {
  if (BenchRow* r = Find(testId)) r->state = kRowStopped;
}

GroupCompletion BenchBoardModel::Evaluate() const {
  GroupCompletion c;
  float sum = 0.0f;
  int listed = 0, finished = 0;
  for (const BenchRow& r : rows_) {
    if (!MaskContains(mask_, r.groupMask)) continue;
    ++listed;
    if (r.state == kRowFinished) {
      ++finished;
      sum += r.score;
    }
  }
  if (listed > 0 && finished == listed) {
    c.averaged = true;
    c.average = sum / static_cast<float>(finished);
    for (const BenchGroupEntry& g : kBenchGroups) {
      if (g.mask == mask_) c.groupKey = g.key;
    }
    if (c.groupKey != 0) c.integer = StoredIntegerFromScore(c.average);
  }
  const float sent = c.average >= 7.0f ? 0.0f : c.average;
  if (mask_ == 1) c.cpuScore = sent;
  if (mask_ == 2) c.memScore = sent;
  return c;
}

std::string BenchBoardModel::SummaryText() const {
  bool pending = false;
  int finished = 0;
  float sum = 0.0f;
  for (const BenchRow& r : rows_) {
    if (!MaskContains(mask_, r.groupMask)) continue;
    if (r.state == 0 || r.state == kRowWaiting || r.state == kRowStopped) pending = true;
    if (r.state == kRowFinished) {
      ++finished;
      sum += r.score;
    }
  }
  if (pending || finished == 0) return "----";
  char buf[32];
  std::snprintf(buf, sizeof buf, "+ %0.2f",
                static_cast<double>(sum / static_cast<float>(finished)));
  return buf;
}

GroupCompletion BenchBoardModel::Complete(IScoreBroadcaster& broadcaster,
                                          const std::function<bool(int, int)>& store) {
  const GroupCompletion c = Evaluate();
  if (c.averaged && c.groupKey != 0) {
    BroadcastGroupScore(c.groupKey, c.integer, broadcaster);
    if (store) store(c.groupKey, c.integer);
  }
  return c;
}

ScoreMessageIds ScoreMessageIdsWith(const std::function<std::uint32_t(std::string_view)>& reg) {
  auto one = [&](const char* name, std::uint32_t fallback) {
    const std::uint32_t n = reg ? reg(name) : 0;
    return n >= 0xC000 && n <= 0xFFFF ? n : fallback;
  };
  ScoreMessageIds ids;
  ids.cpuStart = one(kCpuScoreStartMessage, 1344);
  ids.cpuEnd = one(kCpuScoreEndMessage, 1345);
  ids.memStart = one(kMemScoreStartMessage, 1346);
  ids.memEnd = one(kMemScoreEndMessage, 1347);
  return ids;
}

}  // namespace korvane
