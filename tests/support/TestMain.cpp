// The main() of every GoogleTest binary: each binary gets its own home and XDG folders under the
// build tree before any test runs, so no test ever reads or writes the real user's files, and
// child processes the tests start inherit the same folders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  const std::string home = KORVANE_TEST_HOME;
  std::filesystem::create_directories(home);
  ::setenv("HOME", home.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
  ::setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
  ::setenv("XDG_STATE_HOME", (home + "/state").c_str(), 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
