#pragma once
// Up to eight worker threads that each run one job function once, and the runner that starts
// a test on them, watches their progress slots and turns the pool's time into a score.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>

#include "bench/BenchJob.h"
#include "platform/Clock.h"

namespace korvane {

// Worker states, changed only by atomic exchange.
enum : std::int32_t {
  kWorkerIdle = 0,
  kWorkerStarted = 1,
  kWorkerRunning = 2,
  kWorkerReturned = 3,
  kWorkerExiting = 5,
};

template <typename Arg>
class TWorkThreadPool;

template <typename Arg>
class TWorkThread {
 public:
  using JobFunction = int (*)(Arg* argument, int workerIndex);
  virtual ~TWorkThread() = default;

  std::thread thread;
  std::atomic<std::int32_t> state{kWorkerIdle};
  JobFunction job = nullptr;
  Arg* argument = nullptr;
  TWorkThreadPool<Arg>* pool = nullptr;
  std::int32_t index = 0;
  // The thread could not be created; nobody may wait for it.
  bool failed = false;
};

template <typename Arg>
class TWorkThreadPool {
 public:
  using JobFunction = typename TWorkThread<Arg>::JobFunction;

  TWorkThreadPool() = default;
  TWorkThreadPool(const TWorkThreadPool&) = delete;
  TWorkThreadPool& operator=(const TWorkThreadPool&) = delete;
  virtual ~TWorkThreadPool() { Destroy(); }

  static int ClampCount(int count) {
    if (count < 0) return 0;
    return count > kBenchMaxWorkers - 1 ? kBenchMaxWorkers : count;
  }

  // Starts min(max(count, 0), 8) workers running job(argument, index) and returns once every
  // one of them has left the idle state. Always 0.
  int StartThreads(JobFunction job, Arg* argument, int count) {
    count = ClampCount(count);
    {
      std::lock_guard lock(exitMutex_);
      exited_ = 0;
    }
    for (int i = 0; i < count; ++i) {
      TWorkThread<Arg>& w = workers_[i];
      w.job = job;
      w.argument = argument;
      w.pool = this;
      w.index = i;
      w.failed = false;
      w.state.exchange(kWorkerIdle);
      try {
        w.thread = std::thread(&TWorkThreadPool::WorkerEntry, &w);
      } catch (const std::system_error&) {
        // Out of threads: the worker counts as finished so neither wait blocks on it.
        w.failed = true;
        w.state.exchange(kWorkerExiting);
        NoteExit();
      }
    }
    count_ = count;
    for (int i = 0; i < count; ++i) {
      while (workers_[i].state.load() == kWorkerIdle) platform::SleepMs(1);
    }
    return 0;
  }

  // Waits until every worker has returned, then clears all records.
  void Destroy() {
    for (TWorkThread<Arg>& w : workers_) {
      for (;;) {
        const std::int32_t s = w.state.load();
        if (s == kWorkerIdle || s == kWorkerExiting) break;
        platform::SleepMs(1);
      }
    }
    for (TWorkThread<Arg>& w : workers_) {
      if (w.state.load() == kWorkerExiting) w.state.exchange(kWorkerIdle);
      if (w.thread.joinable()) w.thread.join();
      w.job = nullptr;
      w.argument = nullptr;
      w.pool = nullptr;
      w.index = 0;
      w.failed = false;
    }
    count_ = 0;
    std::lock_guard lock(exitMutex_);
    exited_ = 0;
  }

  // Sleeps for up to ms, but wakes as soon as every started worker has reached its exit
  // state. A runner that only slept would add up to a whole poll interval to the time it
  // measures, and a different part of one on every run.
  void WaitForAllExited(std::uint32_t ms) {
    std::unique_lock lock(exitMutex_);
    exitCv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return exited_ >= count_; });
  }

  int Count() const { return count_; }
  std::int32_t State(int i) const { return workers_[i].state.load(); }
  int FailedCount() const {
    int n = 0;
    for (int i = 0; i < count_; ++i) n += workers_[i].failed ? 1 : 0;
    return n;
  }

 private:
  static void WorkerEntry(TWorkThread<Arg>* w) {
    platform::SetCurrentThreadPriority(platform::ThreadPriority::AboveNormal);
    w->state.exchange(kWorkerStarted);
    w->state.exchange(kWorkerRunning);
    if (w->job) w->job(w->argument, w->index);
    platform::SetCurrentThreadPriority(platform::ThreadPriority::Normal);
    w->state.exchange(kWorkerReturned);
    w->state.exchange(kWorkerExiting);
    // The pool outlives this: Destroy joins every thread before it clears anything.
    w->pool->NoteExit();
  }

  void NoteExit() {
    std::lock_guard lock(exitMutex_);
    ++exited_;
    exitCv_.notify_all();
  }

  TWorkThread<Arg> workers_[kBenchMaxWorkers];
  int count_ = 0;
  std::mutex exitMutex_;
  std::condition_variable exitCv_;
  int exited_ = 0;  // workers that reached their exit state since StartThreads
};

using BenchJobFunction = int (*)(_BENCH_JOB* job, int workerIndex);

// Runs the test on job.threadCount workers (each doing the whole workload) and scores the
// pool's wall-clock time. Returns 1, 3 (cancelled) or -1 (a worker thread could not be made).
int RunOnPool(_BENCH_JOB& job, BenchJobFunction perWorker, std::uint32_t pollMs);

}  // namespace korvane
