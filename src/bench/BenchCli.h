#pragma once
// Headless benchmark runner: `korvane --bench-test ID [--json] [--verbose]`.
#include <string>
#include <vector>

namespace korvane {

// args: the command-line arguments after the program name (a leading program path that does
// not start with "-" is skipped too). Runs one test (0-8, 11, 12, 199) with the terminal as its
// message target: progress on stderr, Ctrl-C cancels, one result line (or JSON object) on stdout.
// --verbose also shows the bandwidth test's per-routine lines on stderr. "--bench-test=ID" is
// the same as "--bench-test ID". Under --json standard output holds nothing but the JSON object.
// Exit status: 0 success, 130 cancelled, 1 failure, 2 usage error (an id that is not a test
// included).
int RunBenchTestCli(const std::vector<std::string>& args);

// The worker count and group a test id runs with in the headless runner; 0 threads for an id
// that is not a test.
struct BenchTestSetup {
  int threadCount = 0;
  int group = 0;
};
BenchTestSetup BenchTestSetupFor(int testId);

// Runs test `testId` on a job prepared with BenchTestSetupFor; returns the result code.
struct _BENCH_JOB;
int RunBenchTest(_BENCH_JOB& job);

}  // namespace korvane
