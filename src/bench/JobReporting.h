#pragma once
// The start / progress / end protocol shared by the jobs: a single-thread run posts messages
// itself, a pool worker only writes its progress slot and the runner posts for the pool.
#include "bench/BenchJob.h"

namespace korvane {

class JobReporter {
 public:
  JobReporter(_BENCH_JOB& job, int workerIndex) : job_(job), index_(workerIndex) {}

  bool SingleThread() const { return job_.threadCount == 1; }
  bool HasSlot() const { return index_ >= 0 && index_ < kBenchMaxWorkers; }

  void Begin() {
    if (!JobTargetLive(job_)) return;
    if (SingleThread()) {
      PostJobMessage(job_, WM_BENCH_START, 0);
    } else if (HasSlot()) {
      job_.progress[index_].store(0);
    }
  }

  // False when the run must stop because of the cancel flag (the cancellation is reported).
  bool Progress(int percent) {
    if (!JobTargetLive(job_)) return true;
    if (BenchCancelled()) {
      if (SingleThread()) {
        PostJobMessage(job_, WM_BENCH_CANCELLED, 0);
      } else if (HasSlot()) {
        job_.progress[index_].store(-1);
      }
      return false;
    }
    if (SingleThread()) {
      PostJobMessage(job_, WM_BENCH_PROGRESS, percent);
    } else if (HasSlot()) {
      job_.progress[index_].store(percent);
    }
    return true;
  }

  // Stores the result. Pool workers leave the result fields alone: the runner writes the
  // pool-wide result, and several workers writing the same doubles at once would race.
  void Finish(double elapsed, double score, std::int32_t checksum) {
    if (SingleThread()) {
      job_.elapsed = elapsed;
      job_.score = score;
      job_.done = 1;
      job_.displayValue = elapsed;
      job_.reserved = 0;
      job_.checksum = checksum;
      if (JobTargetLive(job_)) PostJobMessage(job_, WM_BENCH_DONE, 0);
    } else if (HasSlot()) {
      job_.progress[index_].store(100);
    }
  }

 private:
  _BENCH_JOB& job_;
  int index_;
};

}  // namespace korvane
