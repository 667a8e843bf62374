// The windowed program run as users run it: two processes, signals, files left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
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
    for (const char* d : {"tmp", "run", "config", "state", "cache"})
      fs::create_directories(root / d);
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

  // `env` entries "NAME=value" are set after the usual ones ("NAME=" removes NAME).
  pid_t Start(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
              rlim_t maxFileSize = RLIM_INFINITY) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      ::setenv("TMPDIR", (root / "tmp").c_str(), 1);
      ::setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
      ::setenv("XDG_STATE_HOME", (root / "state").c_str(), 1);
      ::setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
      ::setenv("HOME", root.c_str(), 1);
      ::unsetenv("KORVANE_UPDATE_BASE");
      for (const std::string& e : env) {
        const auto eq = e.find('=');
        if (eq + 1 == e.size()) {
          ::unsetenv(e.substr(0, eq).c_str());
        } else {
          ::setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
        }
      }
      if (maxFileSize != RLIM_INFINITY) {
        // Writing past the limit then fails with EFBIG instead of ending the process.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{maxFileSize, maxFileSize};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
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
    return key.Open(platform::RegRoot::CurrentUser, "Software\\Quillmark\\Tovix2",
                    platform::RegAccess::Read) == platform::kRegOk &&
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
  EXPECT_TRUE(fs::is_regular_file(root / "run" / "Tovix2Dir" / "qmhdwlib.so"));

  const pid_t second = Start({"/CPUSCORE"});
  EXPECT_EQ(WaitExit(second, 20s), 0);
  EXPECT_TRUE(Running(first));
  // The second process must not have removed the first one's library.
  EXPECT_TRUE(fs::is_regular_file(root / "run" / "Tovix2Dir" / "qmhdwlib.so"));

  ASSERT_EQ(::kill(first, SIGTERM), 0);
  EXPECT_EQ(WaitExit(first, 20s), 0);
  EXPECT_FALSE(fs::exists(root / "run" / "Tovix2Dir"));
  const std::string log = UsageLog();
  EXPECT_NE(log.find("\"kind\":4"), std::string::npos) << log;
  EXPECT_NE(log.find("\"kind\":5"), std::string::npos) << log;
}

// A closed terminal ends the window as a termination request does.
TEST_F(WindowProcess, HangUpRunsTheExitSequence) {
  const pid_t p = Start({});
  ASSERT_TRUE(WaitForInstallationRecord(30s)) << "the window never came up";
  ASSERT_TRUE(fs::exists(root / "run" / "Tovix2Dir"));
  ASSERT_EQ(::kill(p, SIGHUP), 0);
  EXPECT_EQ(WaitExit(p, 20s), 0);
  EXPECT_FALSE(fs::exists(root / "run" / "Tovix2Dir"));
  EXPECT_NE(UsageLog().find("\"kind\":5"), std::string::npos) << UsageLog();
}

TEST_F(WindowProcess, LibraryThatCannotBeWrittenEndsWithoutTheWindowAndAFailureStatus) {
  // Too small a file-size limit for the library (about half a megabyte): extraction fails, and what may lie in the usual
  // place is not loaded instead.
  fs::create_directories(root / "run" / "Tovix2Dir");
  fs::copy_file(KORVANE_BIN_DIR "/qmhdwlib.so", root / "run" / "Tovix2Dir" / "qmhdwlib.so");
  const pid_t p = Start({}, {}, 256 << 10);
  // The failure message waits for the user; an interrupt answers it the way closing does.
  std::this_thread::sleep_for(3s);
  ASSERT_TRUE(Running(p));
  ASSERT_EQ(::kill(p, SIGINT), 0);
  EXPECT_EQ(WaitExit(p, 20s), 1);
  EXPECT_NE(UsageLog().find("\"kind\":5"), std::string::npos);
  // The summary never started, so nothing was recorded.
  EXPECT_FALSE(InstallationRecorded());
}

TEST_F(WindowProcess, EditionRefusalEndsOnTerminationWithAFailureStatus) {
  const pid_t p = Start({}, {"LC_ALL=zh_TW.UTF-8", "LANG=zh_TW.UTF-8"});
  std::this_thread::sleep_for(3s);
  ASSERT_TRUE(Running(p)) << "the refusal is a message the user answers";
  ASSERT_EQ(::kill(p, SIGTERM), 0);
  EXPECT_EQ(WaitExit(p, 20s), 1);
  EXPECT_FALSE(fs::exists(root / "run" / "Tovix2Dir"));
}

// The X server goes away under the window: the toolkit ends the process, and the library copy
// and the exit record must not be lost with it.
TEST_F(WindowProcess, LostDisplayStillRemovesTheLibraryAndRecordsTheExit) {
  if (::access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "no Xvfb";
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t xvfb = ::fork();
  if (xvfb == 0) {
    ::close(fds[0]);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 2);
    const std::string fd = std::to_string(fds[1]);
    ::execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
            "1024x768x24", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  std::string display;
  char c;
  while (::read(fds[0], &c, 1) == 1 && c != '\n') display += c;
  ::close(fds[0]);
  if (display.empty()) {
    ::kill(xvfb, SIGKILL);
    ::waitpid(xvfb, nullptr, 0);
    GTEST_SKIP() << "Xvfb did not start";
  }
  std::vector<std::string> env = {"QT_QPA_PLATFORM=", "DISPLAY=:" + display, "WAYLAND_DISPLAY="};
  // With a display but no session bus, the bus library would start one that outlives the test.
  if (std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr) {
    env.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" + (root / "no-bus").string());
  }
  const pid_t p = Start({}, env);
  const bool up = WaitForInstallationRecord(30s);
  ::kill(xvfb, SIGTERM);
  ::waitpid(xvfb, nullptr, 0);
  ASSERT_TRUE(up) << "the window never came up";
  EXPECT_NE(WaitExit(p, 20s), -1) << "the program outlived its display";
  EXPECT_FALSE(fs::exists(root / "run" / "Tovix2Dir"));
  EXPECT_NE(UsageLog().find("\"kind\":5"), std::string::npos) << UsageLog();
}

}  // namespace
