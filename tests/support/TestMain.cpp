// The main() of every GoogleTest binary: each binary gets its own home and XDG folders under the
// build tree before any test runs, so no test ever reads or writes the real user's files, and
// child processes the tests start inherit the same folders.
//
// The temporary folder ($TMPDIR) is a fresh one per run, removed at the end. Whatever a test or
// the code under test leaves in it fails the run: the program must tidy up after itself, and a
// test that leaves folders behind fills the machine's /tmp a run at a time.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

// Mode 1777 as /tmp has, so that tests which run a child as another user see the same rules
// as in /tmp itself.
std::string MakeRunTempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/korvane-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  ::chmod(pattern.c_str(), 01777);
  return pattern;
}

// The runtime folders stay on purpose (the program keeps its lock files there between runs, as
// in /run/user); everything else is litter.
std::vector<std::string> Leftovers(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name == "runtime" || name.rfind("korvane-runtime-", 0) == 0) continue;
    names.push_back(name);
  }
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string home = KORVANE_TEST_HOME;
  std::filesystem::create_directories(home);
  ::setenv("HOME", home.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
  ::setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
  ::setenv("XDG_STATE_HOME", (home + "/state").c_str(), 1);
  // A test binary started by another one (a re-run of itself) works in its parent's folder,
  // which the parent checks and removes.
  const char* parentTemp = std::getenv("KORVANE_TEST_TMPDIR");
  const char* currentTemp = std::getenv("TMPDIR");
  const bool nested =
      parentTemp != nullptr && currentTemp != nullptr && std::string(parentTemp) == currentTemp;
  const std::string temp = nested ? std::string() : MakeRunTempFolder();
  if (!temp.empty()) {
    ::setenv("TMPDIR", temp.c_str(), 1);
    ::setenv("KORVANE_TEST_TMPDIR", temp.c_str(), 1);
    // A runtime folder of this run's own, so lock files and sockets of one test binary never
    // meet those of another running beside it.
    const std::string runtime = temp + "/runtime";
    if (::mkdir(runtime.c_str(), 0700) == 0) ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  ::testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  if (!temp.empty()) {
    const std::vector<std::string> left = Leftovers(temp);
    if (!left.empty()) {
      std::fprintf(stderr,
                   "FAILED: the tests left %zu entries in the temporary folder:", left.size());
      for (const std::string& name : left) std::fprintf(stderr, " %s", name.c_str());
      std::fprintf(stderr, "\n");
      result = 1;
    }
    std::error_code ec;
    std::filesystem::remove_all(temp, ec);
  }
  return result;
}
