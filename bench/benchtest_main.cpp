// `korvane-benchtest ID [--json]`: the headless benchmark runner on its own, for scripts.
#include <string>
#include <vector>

#include "bench/BenchCli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  if (!args.empty() && args[0] != "--bench-test" && args[0].rfind("--bench-test=", 0) != 0) {
    args.insert(args.begin(), "--bench-test");
  }
  return korvane::RunBenchTestCli(args);
}
