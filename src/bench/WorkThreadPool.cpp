#include "bench/WorkThreadPool.h"

#include "bench/CpuBench.h"
#include "bench/Elapsed.h"

namespace korvane {

int RunOnPool(_BENCH_JOB& job, BenchJobFunction perWorker, std::uint32_t pollMs) {
  CElapsed stopwatch;
  stopwatch.Start();
  if (perWorker == PiJob3) platform::SetCurrentThreadPriority(platform::ThreadPriority::Normal);
  const bool multi = job.threadCount > 1;
  if (multi) PostJobMessage(job, WM_BENCH_START, 0);

  TWorkThreadPool<_BENCH_JOB> pool;
  pool.StartThreads(perWorker, &job, job.threadCount);
  const int n = TWorkThreadPool<_BENCH_JOB>::ClampCount(job.threadCount);

  bool cancelled = false;
  int lastPosted = -1;
  for (;;) {
    bool allDone = true;
    for (int i = 0; i < n; ++i) {
      if (pool.State(i) != kWorkerExiting) allDone = false;
    }
    if (BenchCancelled()) {
      cancelled = true;
      break;
    }
    int progress = 0;
    if (n > 0) {
      int sum = 0;
      for (int i = 0; i < n; ++i) {
        const int slot = job.progress[i].load();
        if (slot == -1) {
          progress = -1;
          break;
        }
        sum += slot;
      }
      if (progress == 0) progress = sum / n;
    }
    if (progress < 0) {
      cancelled = true;
      break;
    }
    if (allDone) break;
    // No message pump to run here: the target queues posted messages on its own thread.
    if (multi && progress > lastPosted) {
      PostJobMessage(job, WM_BENCH_PROGRESS, progress);
      lastPosted = progress;
    }
    pool.WaitForAllExited(pollMs);
  }

  int result;
  if (cancelled) {
    if (multi) PostJobMessage(job, WM_BENCH_CANCELLED, 0);
    result = kBenchCancelled;
  } else if (pool.FailedCount() > 0) {
    // A worker that never ran would make the pool's time a lie; report failure instead.
    result = kBenchFailed;
  } else {
    const double elapsed = stopwatch.GetElapsed();
    job.elapsed = elapsed;
    job.done = 1;
    job.score = ClampTestScore(CalcTestScore(elapsed, job.group, job.testId));
    job.checksum = 0;
    job.displayValue = elapsed;
    job.reserved = 0;
    if (multi) PostJobMessage(job, WM_BENCH_DONE, 0);
    result = kBenchSuccess;
  }
  pool.Destroy();
  return result;
}

}  // namespace korvane
