// How long a 5 ms wait on the sensor mutex really takes while another process holds it, and
// what an uncontended take-and-give costs. Exits non-zero when a wait returns before 5 ms or
// the median wait reaches 20 ms. With a session bus it also times a broadcast from sending to
// the subscriber's callback.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <condition_variable>
#include <mutex>

#include "platform/Messages.h"
#include "platform/NamedMutex.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform::ProcessMutex;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void TimeBroadcasts(int rounds) {
  std::mutex lock;
  std::condition_variable arrived;
  int received = 0;
  const std::string name = "WM_KORVANE_BENCH_" + std::to_string(getpid());
  platform::BroadcastSubscription subscription;
  if (!subscription.Start([&](const platform::BroadcastEvent& e) {
        if (e.name != name) return;
        std::lock_guard guard(lock);
        ++received;
        arrived.notify_all();
      })) {
    std::printf("broadcast: no session bus\n");
    return;
  }
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    const auto start = Clock::now();
    if (!platform::BroadcastMessage(name, 1, i)) break;
    std::unique_lock guard(lock);
    if (!arrived.wait_for(guard, std::chrono::seconds(5), [&] { return received > i; })) break;
    times.push_back(Ms(Clock::now() - start));
  }
  subscription.Stop();
  if (times.empty()) {
    std::printf("broadcast: nothing arrived\n");
    return;
  }
  std::sort(times.begin(), times.end());
  std::printf("broadcast send to callback over %zu rounds: median %.2f ms, max %.2f ms\n",
              times.size(), times[times.size() / 2], times.back());
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  const std::string name = "HWMonitor2-bench-" + std::to_string(getpid());

  int ready[2];
  int release[2];
  if (pipe(ready) != 0 || pipe(release) != 0) return 2;
  const pid_t child = fork();
  if (child < 0) return 2;
  if (child == 0) {
    ProcessMutex held;
    char c = 'x';
    if (!held.Create(name) || held.Wait(1000) != ProcessMutex::WaitResult::Acquired) _exit(3);
    if (write(ready[1], &c, 1) != 1) _exit(4);
    [[maybe_unused]] ssize_t n = read(release[0], &c, 1);
    held.Release();
    _exit(0);
  }
  char c;
  if (read(ready[0], &c, 1) != 1) return 2;

  ProcessMutex mutex;
  if (!mutex.Create(name)) return 2;
  std::vector<double> waits;
  int wrong = 0;
  for (int i = 0; i < rounds; ++i) {
    const auto start = Clock::now();
    const auto result = mutex.Wait(5);
    waits.push_back(Ms(Clock::now() - start));
    if (result != ProcessMutex::WaitResult::Timeout) ++wrong;
  }
  c = 'x';
  [[maybe_unused]] ssize_t n = write(release[1], &c, 1);
  waitpid(child, nullptr, 0);

  const auto start = Clock::now();
  for (int i = 0; i < rounds * 100; ++i) {
    if (mutex.Wait(5) != ProcessMutex::WaitResult::Acquired) ++wrong;
    mutex.Release();
  }
  const double uncontendedUs = Ms(Clock::now() - start) * 1000.0 / (rounds * 100);
  mutex.Close();
  ProcessMutex::Remove(name);

  std::sort(waits.begin(), waits.end());
  const double median = waits[waits.size() / 2];
  const double p95 = waits[waits.size() * 95 / 100];
  std::printf("contended 5 ms wait over %d rounds: min %.2f ms, median %.2f ms, p95 %.2f ms, "
              "max %.2f ms\n",
              rounds, waits.front(), median, p95, waits.back());
  std::printf("uncontended wait+release: %.3f us\n", uncontendedUs);
  TimeBroadcasts(std::min(rounds, 50));
  if (wrong != 0) std::printf("FAIL: %d waits gave the wrong result\n", wrong);
  if (waits.front() < 5.0) std::printf("FAIL: a wait returned before 5 ms\n");
  if (median >= 20.0) std::printf("FAIL: median wait is not below 20 ms\n");
  return wrong == 0 && waits.front() >= 5.0 && median < 20.0 ? 0 : 1;
}
