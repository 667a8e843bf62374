// The windowed program run as users run it: two processes, signals, files left behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Registry.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class WindowProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::path(::testing::TempDir()) / ("korvane-process-" + std::to_string(::getpid()));
    fs::remove_all(root);
    for (const char* d : {"tmp", "run", "config", "state", "cache"}) fs::create_directories(root / d);
    fs::permissions(root / "run", fs::perms::owner_all, fs::perm_options::replace);
    // The registry read below must see the children's store.
    ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  }
  void TearDown() override {
    for (pid_t pid : started) {
      if (::waitpid(pid, nullptr, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
      }
    }
    fs::remove_all(root);
  }

  pid_t Start(const std::vector<std::string>& args) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      ::setenv("TMPDIR", (root / "tmp").c_str(), 1);
      ::setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
      ::setenv("XDG_STATE_HOME", (root / "state").c_str(), 1);
      ::setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
      ::setenv("HOME", root.c_str(), 1);
      ::unsetenv("KORVANE_UPDATE_BASE");
      std::vector<char*> argv;
      std::string program = KORVANE_BIN_DIR "/korvane";
      argv.push_back(program.data());
      std::vector<std::string> copies = args;
      for (auto& a : copies) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    started.push_back(pid);
    return pid;
  }

  // Exit status, or -1 when the process did not end in time (or ended by a signal).
  static int WaitExit(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
      const pid_t r = ::waitpid(pid, &status, WNOHANG);
      if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      std::this_thread::sleep_for(20ms);
    }
    return -1;
  }

  static bool Running(pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) == 0; }

  static bool InstallationRecorded() {
    platform::RegistryKey key;
    std::string version;
    return key.Open(platform::RegRoot::CurrentUser, "Software\\Quillmark\\Tovix2", platform::RegAccess::Read) ==
               platform::kRegOk &&
           key.QueryString("Version", version) == platform::kRegOk && version == "3.0.603";
  }

  static bool WaitForInstallationRecord(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!InstallationRecorded()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      std::this_thread::sleep_for(50ms);
    }
    return true;
  }

  std::string UsageLog() const {
    std::ifstream in(root / "state" / "korvane" / "usage.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path root;
  std::vector<pid_t> started;
};

TEST_F(WindowProcess, SecondStartHandsOverAndTerminationRunsTheExitSequence) {
  const pid_t first = Start({});
  ASSERT_TRUE(WaitForInstallationRecord(30s)) << "the first window never came up";
  EXPECT_TRUE(fs::is_directory(root / "tmp" / "Tovix2Dir"));

  const pid_t second = Start({"/CPUSCORE"});
  EXPECT_EQ(WaitExit(second, 20s), 0);
  EXPECT_TRUE(Running(first));
  // The second process must not have removed the first one's library.
  EXPECT_TRUE(fs::is_directory(root / "tmp" / "Tovix2Dir"));

  ASSERT_EQ(::kill(first, SIGTERM), 0);
  EXPECT_EQ(WaitExit(first, 20s), 0);
  EXPECT_FALSE(fs::exists(root / "tmp" / "Tovix2Dir"));
  const std::string log = UsageLog();
  EXPECT_NE(log.find("\"kind\":4"), std::string::npos) << log;
  EXPECT_NE(log.find("\"kind\":5"), std::string::npos) << log;
}

TEST_F(WindowProcess, UnstartableLibraryEndsWithoutTheWindow) {
  // A file where the library folder belongs: nothing can be written or loaded.
  std::ofstream(root / "tmp" / "Tovix2Dir") << "in the way";
  const pid_t p = Start({});
  // The failure message waits for the user; an interrupt answers it the way closing does.
  std::this_thread::sleep_for(3s);
  ASSERT_TRUE(Running(p));
  ASSERT_EQ(::kill(p, SIGINT), 0);
  EXPECT_EQ(WaitExit(p, 20s), 0);
  EXPECT_NE(UsageLog().find("\"kind\":5"), std::string::npos);
  // The summary never started, so nothing was recorded; the stray file was left alone.
  EXPECT_FALSE(InstallationRecorded());
  EXPECT_TRUE(fs::is_regular_file(root / "tmp" / "Tovix2Dir"));
}

}  // namespace
