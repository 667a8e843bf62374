#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>

#include "platform/Clock.h"

namespace {

namespace fs = std::filesystem;

struct Run {
  int status = -1;
  std::string out;
};

// Runs the built program the way a user does, so the test covers main() and the mode table.
Run RunKorvane(const std::string& args, const std::string& env = "") {
  Run r;
  const std::string cmd = env + " " KORVANE_BIN_DIR "/korvane " + args + " 2>/dev/null";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = ::pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

long long MemTotalMiB() {
  std::ifstream in("/proc/meminfo");
  std::string key;
  long long kb = 0;
  std::string unit;
  while (in >> key >> kb >> unit) {
    if (key == "MemTotal:") return kb / 1024;
  }
  return -1;
}

TEST(Cli, VersionHelpAndUnknownOptions) {
  auto v = RunKorvane("--version");
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out, "Korvane 3.0.603\n");

  auto h = RunKorvane("--help");
  EXPECT_EQ(h.status, 0);
  EXPECT_NE(h.out.find("--diagnose"), std::string::npos);

  auto bad = RunKorvane("--no-such-mode");
  EXPECT_EQ(bad.status, 2);
  EXPECT_TRUE(bad.out.empty()) << "usage errors go to standard error";
}

TEST(Cli, DiagnosisDescribesThisMachine) {
  auto r = RunKorvane("--diagnose --json");
  ASSERT_EQ(r.status, 0);
  const auto doc = nlohmann::json::parse(r.out, nullptr, false);
  ASSERT_FALSE(doc.is_discarded()) << r.out;
  ASSERT_TRUE(doc["sysinfo"]["os"]["longName"].is_string());

  // The embedded hardware library answers for the same machine.
  const auto& lib = doc["hardwareLibrary"];
  ASSERT_FALSE(lib.contains("error")) << lib.dump();
  EXPECT_EQ(lib["Init"].get<int>(), 1);
  // With readable SMBIOS tables the library counts the installed modules, which the kernel's
  // total (less what firmware and kernel keep) never exceeds; without them it is that total.
  const bool smbios = ::access("/sys/firmware/dmi/tables/DMI", R_OK) == 0;
  if (smbios) {
    EXPECT_GE(lib["GetMemorySize()"].get<long long>(), MemTotalMiB());
  } else {
    EXPECT_EQ(lib["GetMemorySize()"].get<long long>(), MemTotalMiB());
  }
  int threads = 0;
  for (int p = 0; p < lib["GetProcessorCount()"].get<int>(); ++p) {
    threads += lib["GetProcessorThreadCount(" + std::to_string(p) + ")"].get<int>();
  }
  EXPECT_EQ(threads, platform::ProcessorCount());

  auto text = RunKorvane("--diagnose");
  ASSERT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("GetMemorySize() = " +
                          (smbios ? lib["GetMemorySize()"].dump() : std::to_string(MemTotalMiB()))),
            std::string::npos)
      << text.out;
}

TEST(Cli, DiagnosisOfAnEmptyRecordedMachineMarksEverythingUnavailable) {
  auto r = RunKorvane("--diagnose", "KORVANE_SYSROOT=/nonexistent-machine");
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("GetMemorySize() = -1"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("GetProcessorCount() = -1"), std::string::npos) << r.out;
}

// Standard error only, with no display at all.
Run RunWithoutDisplay(const std::string& args) {
  Run r;
  const std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " KORVANE_BIN_DIR
                          "/korvane " +
                          args + " 2>&1 >/dev/null";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = ::pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : (WIFSIGNALED(st) ? 128 + WTERMSIG(st) : -1);
  return r;
}

TEST(Cli, ArgumentsTheWindowDoesNotKnowGetTheUsageWithoutADisplay) {
  for (const char* args :
       {"-h", "-help", "-x", "--", "cpuscore", "/cpuscore extra", "-- --diagnose"}) {
    SCOPED_TRACE(args);
    const auto r = RunWithoutDisplay(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("Usage: korvane"), std::string::npos) << r.out;
  }
  // Standard output stays empty: the usage is an error answer.
  EXPECT_EQ(RunKorvane("-h", "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM").out, "");
}

class DiagnoseFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("korvane-cli-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "run");
    fs::create_directories(root_ / "tmp");
    fs::permissions(root_ / "run", fs::perms::owner_all, fs::perm_options::replace);
  }
  void TearDown() override { fs::remove_all(root_); }

  pid_t StartDiagnose() {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("XDG_RUNTIME_DIR", (root_ / "run").c_str(), 1);
      ::setenv("TMPDIR", (root_ / "tmp").c_str(), 1);
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::execl(KORVANE_BIN_DIR "/korvane", "korvane", "--diagnose", "--json",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return pid;
  }

  bool NothingLeft() const { return fs::is_empty(root_ / "run") && fs::is_empty(root_ / "tmp"); }

  fs::path root_;
};

// The interrupt arrives as soon as the dump's library folder exists, or a little later while
// the library is written or in use: either way nothing stays behind.
TEST_F(DiagnoseFolders, InterruptedDumpLeavesNothingBehind) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    for (int delayMs : {0, 20}) {
      SCOPED_TRACE(std::to_string(sig) + " after " + std::to_string(delayMs) + " ms");
      const int watch = ::inotify_init1(IN_CLOEXEC);
      ASSERT_GE(watch, 0);
      ASSERT_GE(::inotify_add_watch(watch, (root_ / "run").c_str(), IN_CREATE), 0);
      const pid_t pid = StartDiagnose();
      alignas(inotify_event) char buf[4096];
      pollfd pfd{watch, POLLIN, 0};
      ASSERT_EQ(::poll(&pfd, 1, 20000), 1) << "the dump never made its folder";
      ASSERT_GT(::read(watch, buf, sizeof buf), 0);
      ::close(watch);
      if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
      ::kill(pid, sig);
      int status = 0;
      ASSERT_EQ(::waitpid(pid, &status, 0), pid);
      // A dump that finished before the signal arrived has cleaned up the ordinary way.
      if (WIFSIGNALED(status)) {
        EXPECT_EQ(WTERMSIG(status), sig);
      }
      EXPECT_TRUE(NothingLeft());
      for (const auto& e : fs::directory_iterator(root_ / "run")) ADD_FAILURE() << e.path();
    }
  }
}

TEST_F(DiagnoseFolders, FoldersOfEndedDumpsAreRemoved) {
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const fs::path stale = root_ / "run" / ("korvane-diagnose-" + std::to_string(gone) + "-Ab12Cd");
  fs::create_directories(stale);
  std::ofstream(stale / "qmhdwlib.so") << std::string(1 << 20, 'x');
  const pid_t pid = StartDiagnose();
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(NothingLeft());
}

}  // namespace
