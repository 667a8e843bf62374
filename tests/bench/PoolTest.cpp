#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "RecordingTarget.h"
#include "bench/CpuBench.h"
#include "bench/WorkThreadPool.h"
#include "platform/Clock.h"

namespace korvane {
namespace {

struct Counter {
  std::atomic<int> calls{0};
  std::atomic<int> running{0};
  std::atomic<unsigned> indexBits{0};
};

int CountingJob(Counter* c, int index) {
  c->running.fetch_add(1);
  c->calls.fetch_add(1);
  c->indexBits.fetch_or(1u << index);
  platform::SleepMs(5);
  c->running.fetch_sub(1);
  return 1;
}

TEST(TWorkThreadPool, StartsAtMostEightWorkersWithDistinctIndices) {
  const struct {
    int requested;
    int started;
  } cases[] = {{0, 0}, {1, 1}, {7, 7}, {8, 8}, {9, 8}, {100, 8}, {-1, 0}, {-100, 0}};
  for (const auto& c : cases) {
    Counter counter;
    {
      TWorkThreadPool<Counter> pool;
      EXPECT_EQ(pool.StartThreads(CountingJob, &counter, c.requested), 0);
      EXPECT_EQ(pool.Count(), c.started) << c.requested;
      for (int i = 0; i < c.started; ++i) EXPECT_NE(pool.State(i), kWorkerIdle);
    }  // the destructor waits for every worker
    EXPECT_EQ(counter.calls.load(), c.started) << c.requested;
    EXPECT_EQ(counter.running.load(), 0);
    EXPECT_EQ(counter.indexBits.load(), (1u << c.started) - 1) << c.requested;
  }
}

int InstantJob(Counter* c, int) {
  c->calls.fetch_add(1);
  return 1;
}

TEST(TWorkThreadPool, WorkersThatFinishAtOnceDoNotStallStartOrStop) {
  for (int round = 0; round < 20; ++round) {
    Counter counter;
    TWorkThreadPool<Counter> pool;
    pool.StartThreads(InstantJob, &counter, 8);
    pool.Destroy();
    EXPECT_EQ(counter.calls.load(), 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(pool.State(i), kWorkerIdle);
    EXPECT_EQ(pool.Count(), 0);
  }
}

// A worker that advances its slot in steps, consulting the cancel flag like the real jobs.
std::atomic<int> gActiveWorkers{0};

int SteppingWorker(_BENCH_JOB* job, int index) {
  gActiveWorkers.fetch_add(1);
  job->progress[index].store(0);
  int result = 1;
  for (int p = 10 * (index + 1); p <= 100; p += 10 * (index + 1)) {
    platform::SleepMs(15);
    if (BenchCancelled()) {
      job->progress[index].store(-1);
      result = 3;
      break;
    }
    job->progress[index].store(p);
  }
  gActiveWorkers.fetch_sub(1);
  return result;
}

int EndlessWorker(_BENCH_JOB* job, int index) {
  gActiveWorkers.fetch_add(1);
  job->progress[index].store(0);
  while (!BenchCancelled()) platform::SleepMs(2);
  job->progress[index].store(-1);
  platform::SleepMs(50);  // returning late: the runner must still wait for it
  gActiveWorkers.fetch_sub(1);
  return 3;
}

void InitJob(_BENCH_JOB& job, RecordingTarget* target, int testId, int threads) {
  job.target = target;
  job.group = 1;
  job.testId = testId;
  job.threadCount = threads;
}

TEST(RunOnPool, ReportsStartRisingProgressAndDoneThenScoresThePoolTime) {
  RecordingTarget target;
  _BENCH_JOB job{};
  InitJob(job, &target, 7, 4);
  EXPECT_EQ(RunOnPool(job, SteppingWorker, 10), 1);
  EXPECT_EQ(gActiveWorkers.load(), 0);
  const auto msgs = target.Messages();
  ASSERT_GE(msgs.size(), 3u);
  EXPECT_EQ(msgs.front().msg, WM_BENCH_START);
  EXPECT_EQ(msgs.back().msg, WM_BENCH_DONE);
  int last = -1;
  int progressCount = 0;
  for (const auto& m : msgs) {
    EXPECT_EQ(m.wParam, 7u);
    if (m.msg != WM_BENCH_PROGRESS) continue;
    ++progressCount;
    EXPECT_GT(m.lParam, last);
    EXPECT_LE(m.lParam, 100);
    last = static_cast<int>(m.lParam);
  }
  EXPECT_GE(progressCount, 2);
  EXPECT_EQ(job.done, 1);
  EXPECT_GE(job.elapsed, 0.15);  // the slowest worker takes ten 15 ms steps
  EXPECT_EQ(job.displayValue, job.elapsed);
  EXPECT_EQ(job.score, CalcTestScore(job.elapsed, 1, 7));
  EXPECT_EQ(job.checksum, 0);
}

TEST(RunOnPool, WorkersDoneBeforeTheFirstPollStillScore) {
  RecordingTarget target;
  _BENCH_JOB job{};
  InitJob(job, &target, 8, 2);
  job.checksum = 1234;
  EXPECT_EQ(RunOnPool(
                job, [](_BENCH_JOB*, int) { return 1; }, 100),
            1);
  const auto msgs = target.Messages();
  ASSERT_FALSE(msgs.empty());
  EXPECT_EQ(msgs.back().msg, WM_BENCH_DONE);
  EXPECT_EQ(job.done, 1);
  EXPECT_EQ(job.checksum, 0);
}

// The pool's time ends when its last worker does, not at the runner's next poll: otherwise a
// part of a poll interval, different on every run, lands in every measured time.
TEST(RunOnPool, TheTimeEndsWithTheLastWorkerNotWithTheNextPoll) {
  RecordingTarget target;
  _BENCH_JOB job{};
  InitJob(job, &target, 7, 3);
  const auto shortWork = [](_BENCH_JOB* j, int index) {
    j->progress[index].store(0);
    platform::SleepMs(20 * static_cast<std::uint32_t>(index + 1));
    j->progress[index].store(100);
    return 1;
  };
  EXPECT_EQ(RunOnPool(job, shortWork, 4000), 1);
  EXPECT_GE(job.elapsed, 0.06);
  EXPECT_LT(job.elapsed, 2.0);  // a poll interval of 4 s would have been counted whole
  EXPECT_EQ(target.Messages().back().msg, WM_BENCH_DONE);

  // Workers that could not all finish at once still end the wait only when the last one has.
  _BENCH_JOB second{};
  InitJob(second, &target, 8, 4);
  EXPECT_EQ(RunOnPool(second, SteppingWorker, 4000), 1);
  EXPECT_GE(second.elapsed, 0.15);
  EXPECT_EQ(gActiveWorkers.load(), 0);
}

TEST(RunOnPool, CancellationEndsWithCancelledAfterEveryWorkerReturned) {
  RecordingTarget target;
  _BENCH_JOB job{};
  InitJob(job, &target, 7, 4);
  std::thread stopper([] {
    platform::SleepMs(60);
    BenchCancelFlag().store(1);
  });
  const int result = RunOnPool(job, EndlessWorker, 10);
  stopper.join();
  BenchCancelFlag().store(0);
  EXPECT_EQ(result, 3);
  EXPECT_EQ(gActiveWorkers.load(), 0);
  const auto msgs = target.Messages();
  ASSERT_FALSE(msgs.empty());
  EXPECT_EQ(msgs.back().msg, WM_BENCH_CANCELLED);
  EXPECT_EQ(job.done, 0);
}

TEST(RunOnPool, ASlotMarkedCancelledStopsTheRun) {
  // A worker that saw the flag (slot -1) ends the run even if the flag is cleared again.
  RecordingTarget target;
  _BENCH_JOB job{};
  InitJob(job, &target, 4, 2);
  auto worker = [](_BENCH_JOB* j, int index) {
    if (index == 1) {
      j->progress[1].store(-1);
      return 3;
    }
    platform::SleepMs(30);
    return 1;
  };
  EXPECT_EQ(RunOnPool(job, worker, 5), 3);
  EXPECT_EQ(target.Messages().back().msg, WM_BENCH_CANCELLED);
}

TEST(RunOnPool, ManyRequestedThreadsRunOnEight) {
  static std::atomic<int> calls{0};
  calls = 0;
  _BENCH_JOB job{};
  InitJob(job, nullptr, 199, 12);
  EXPECT_EQ(RunOnPool(
                job,
                [](_BENCH_JOB*, int) {
                  calls.fetch_add(1);
                  return 1;
                },
                5),
            1);
  EXPECT_EQ(calls.load(), 8);
  EXPECT_EQ(job.done, 1);
}

TEST(RunOnPool, ClosedTargetGetsNoMessagesButTheRunCompletes) {
  RecordingTarget target;
  target.live = false;
  _BENCH_JOB job{};
  InitJob(job, &target, 6, 4);
  EXPECT_EQ(RunOnPool(job, SteppingWorker, 10), 1);
  EXPECT_TRUE(target.Messages().empty());
  EXPECT_EQ(job.done, 1);
}

TEST(FractalJob, FourWorkersCancelledMidRun) {
  // The real Julia job on the pool; cancelling during the run returns 3 once all have stopped.
  RecordingTarget target;
  _BENCH_JOB job{};
  InitJob(job, &target, 7, 4);
  std::thread stopper([] {
    platform::SleepMs(150);
    BenchCancelFlag().store(1);
  });
  const int result = RunOnPool(job, JuliaJob, 20);
  stopper.join();
  BenchCancelFlag().store(0);
  EXPECT_EQ(result, 3);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(job.progress[i].load(), -1) << i;
  EXPECT_EQ(target.Messages().back().msg, WM_BENCH_CANCELLED);
}

}  // namespace
}  // namespace korvane
