#include "bench/BenchCli.h"

#include <signal.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "bench/BenchJob.h"
#include "bench/CpuBench.h"
#include "bench/MemBench.h"
#include "platform/Clock.h"

namespace korvane {

BenchTestSetup BenchTestSetupFor(int testId) {
  switch (testId) {
    case 0: case 1: case 2: return {1, kBenchGroupCpu};
    case 3: case 4: case 5: return {2, kBenchGroupCpu};
    case 6: case 7: case 8: return {4, kBenchGroupCpu};
    case 199: return {platform::ProcessorCount(), kBenchGroupCpu};
    case 11: case 12: return {1, kBenchGroupMemory};
    default: return {};
  }
}

int RunBenchTest(_BENCH_JOB& job) {
  switch (job.testId) {
    case 11: return BandwidthTest(&job);
    case 12: return LatencyTest(&job);
    default: return RunCpuTest(job);
  }
}

namespace {

// The terminal as the job's window: a progress bar on stderr.
class TerminalTarget final : public platform::IMessageTarget {
 public:
  bool IsLive() const override { return true; }

  bool Post(std::uint32_t msg, platform::WParam wParam, platform::LParam lParam) override {
    std::lock_guard<std::mutex> lock(mutex_);
    switch (msg) {
      case WM_BENCH_START:
        std::fprintf(stderr, "test %u: started\n", static_cast<unsigned>(wParam));
        Bar(0);
        break;
      case WM_BENCH_PROGRESS:
        Bar(static_cast<int>(lParam));
        break;
      case WM_BENCH_DONE:
        Bar(100);
        std::fputs(" done\n", stderr);
        break;
      case WM_BENCH_CANCELLED:
        std::fputs(" cancelled\n", stderr);
        break;
      default:
        break;
    }
    std::fflush(stderr);
    return true;
  }

  platform::LParam Send(std::uint32_t msg, platform::WParam wParam, platform::LParam lParam) override {
    Post(msg, wParam, lParam);
    return 0;
  }

 private:
  static void Bar(int percent) {
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    char bar[41];
    const int filled = percent * 40 / 100;
    for (int i = 0; i < 40; ++i) bar[i] = i < filled ? '#' : '.';
    bar[40] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%%", bar, percent);
  }

  std::mutex mutex_;
};

void OnInterrupt(int) { BenchCancelFlag().store(1); }

bool ParseId(const std::string& text, int* id) {
  if (text.empty() || text.size() > 9) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  *id = value;
  return true;
}

double Finite(double v) { return std::isfinite(v) ? v : 0.0; }

void Usage() { std::fputs("usage: korvane --bench-test ID [--json] [--verbose]   (ID: 0-8, 11, 12, 199)\n", stderr); }

}  // namespace

int RunBenchTestCli(const std::vector<std::string>& args) {
  int id = -1;
  bool json = false;
  bool verbose = false;
  bool haveId = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--json") {
      json = true;
    } else if (a == "--verbose") {
      verbose = true;
    } else if (a == "--bench-test") {
      if (i + 1 >= args.size() || !ParseId(args[i + 1], &id)) {
        Usage();
        return 2;
      }
      haveId = true;
      ++i;
    } else if (a.rfind("--bench-test=", 0) == 0) {
      if (!ParseId(a.substr(13), &id)) {
        Usage();
        return 2;
      }
      haveId = true;
    } else if (i == 0 && !a.empty() && a[0] != '-') {
      continue;  // program path
    } else {
      Usage();
      return 2;
    }
  }
  if (!haveId) {
    Usage();
    return 2;
  }

  const BenchTestSetup setup = BenchTestSetupFor(id);
  if (setup.threadCount <= 0) {
    std::fprintf(stderr, "korvane: %d is not a benchmark test\n", id);
    Usage();
    return 2;
  }
  TerminalTarget terminal;
  _BENCH_JOB job{};
  job.target = &terminal;
  job.group = setup.group;
  job.testId = id;
  job.threadCount = setup.threadCount;

  BenchCancelFlag().store(0);
  // Ctrl-C only raises the cancel flag; the test stops at its next progress point and every
  // worker has returned before we print.
  struct sigaction action = {};
  struct sigaction previous = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous);
  // Standard output carries only the result (one line, or one JSON document); the latency
  // table goes beside it in text mode and to standard error under --json.
  if (id == 12) SetLatencyConsole(json ? stderr : stdout);
  if (verbose) SetBandwidthConsole(stderr);
  const int result = RunBenchTest(job);
  SetLatencyConsole(nullptr);
  SetBandwidthConsole(nullptr);
  sigaction(SIGINT, &previous, nullptr);

  if (json) {
    std::printf(
        "{\"test\":%d,\"result\":%d,\"elapsed\":%.6f,\"score\":%.6f,\"value\":%.6f,\"checksum\":%" PRId32 "}\n", id,
        result, Finite(job.elapsed), Finite(job.score), Finite(job.displayValue), job.checksum);
  } else {
    std::printf("test=%d result=%d elapsed=%.3f score=%.4f value=%.3f checksum=%" PRId32 "\n", id, result,
                Finite(job.elapsed), Finite(job.score), Finite(job.displayValue), job.checksum);
  }
  std::fflush(stdout);
  if (result == kBenchSuccess) return 0;
  if (result == kBenchCancelled) return 130;
  return 1;
}

}  // namespace korvane
