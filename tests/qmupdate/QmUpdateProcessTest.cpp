// The qmupdate program as a process: its report lines, its hand-over to the desktop's updater,
// and the update strip fed by its broadcasts over the session bus.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "online/UpdateTool.h"
#include "platform/Clock.h"
#include "platform/Messages.h"

extern char** environ;

namespace korvane {
namespace {

namespace fs = std::filesystem;
const std::string kData = QMUPDATE_TEST_DATA;
const std::string kTool = std::string(KORVANE_BIN_DIR) + "/qmupdate";
// Runs that must not reach the bus the strip listens on (other tests may run beside this one).
const char* kNoBus = "unix:path=/nonexistent/qmupdate-test-bus";

struct ToolRun {
  int exit = -1;
  std::string out, err;
};

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class QmUpdateProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(std::getenv("HOME")) / ("qmupdate-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The tool with some variables replaced (an empty value removes the variable).
  ToolRun Start(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                bool wait = true, pid_t* pidOut = nullptr) {
    std::vector<std::string> envs;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string kv = *e;
      if (env.count(kv.substr(0, kv.find('='))) == 0) envs.push_back(kv);
    }
    for (const auto& [k, v] : env) {
      if (!v.empty()) envs.push_back(k + "=" + v);
    }
    std::vector<char*> envp;
    for (auto& e : envs) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argv = {kTool};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp;
    for (auto& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    const std::string out = (dir_ / "out.txt").string(), err = (dir_ / "err.txt").string();
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    ToolRun r;
    if (posix_spawn(&pid, kTool.c_str(), &fa, nullptr, argp.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    if (pid <= 0) return r;
    if (pidOut != nullptr) *pidOut = pid;
    if (!wait) return r;
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadAll(out);
    r.err = ReadAll(err);
    return r;
  }
  fs::path dir_;
};

TEST_F(QmUpdateProcess, ScanReportsTheCountOrWhyItCouldNot) {
  ToolRun r = Start({}, {{"QMUPDATE_SOURCE", "apt-sim:" + kData + "/apt-sim-3.txt"},
                         {"DBUS_SESSION_BUS_ADDRESS", kNoBus}});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.out.find("3 update(s) pending"), std::string::npos) << r.out;

  r = Start({}, {{"QMUPDATE_SOURCE", "apt-list:" + kData + "/missing.txt"},
                 {"DBUS_SESSION_BUS_ADDRESS", kNoBus}});
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("qmupdate: cannot scan for updates:"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("missing.txt"), std::string::npos);

  r = Start({"/bogus"}, {{"DBUS_SESSION_BUS_ADDRESS", kNoBus}});
  EXPECT_EQ(r.exit, 2);
  r = Start({"--help"}, {});
  EXPECT_EQ(r.exit, 0);
  EXPECT_NE(r.out.find("/scannow"), std::string::npos);
}

TEST_F(QmUpdateProcess, ScanNowHandsOverToTheDesktopUpdater) {
  // A stand-in GNOME Software on a PATH of its own records how it was started.
  const fs::path bin = dir_ / "bin";
  fs::create_directories(bin);
  const fs::path seen = dir_ / "seen.txt";
  std::ofstream(bin / "gnome-software")
      << "#!/bin/sh\necho \"$@\" > '" << seen.string() << ".tmp'\n"
      << "mv '" << seen.string() << ".tmp' '" << seen.string() << "'\n";
  fs::permissions(bin / "gnome-software", fs::perms::owner_all);
  ToolRun r = Start(
      {"/scannow"},
      {{"PATH", bin.string() + ":/usr/bin:/bin"}, {"DISPLAY", ":99"}, {"WAYLAND_DISPLAY", ""}});
  EXPECT_EQ(r.exit, 0);
  EXPECT_NE(r.out.find("started: gnome-software --mode=updates"), std::string::npos) << r.out;
  for (int i = 0; i < 100 && !fs::exists(seen); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(ReadAll(seen), "--mode=updates\n");

  // Without a display nothing is started: the command is printed.
  fs::remove(seen);
  r = Start({"/scannow"},
            {{"PATH", bin.string() + ":/usr/bin:/bin"}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
  EXPECT_EQ(r.exit, 0);
  EXPECT_NE(r.out.find("To install the pending updates, run: "), std::string::npos) << r.out;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(fs::exists(seen));
}

// Starts a program with extra variables and returns its pid; its first line of output goes to
// `firstLine` (empty when it printed none within ten seconds).
pid_t SpawnWithFirstLine(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnv, std::string& firstLine) {
  int out[2];
  if (::pipe(out) != 0) return -1;
  std::vector<std::string> envs;
  for (char** e = environ; *e != nullptr; ++e) envs.emplace_back(*e);
  envs.insert(envs.end(), extraEnv.begin(), extraEnv.end());
  std::vector<char*> envp;
  for (auto& e : envs) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  for (auto& a : args) argp.push_back(a.data());
  argp.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addclose(&fa, out[0]);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0].c_str(), &fa, nullptr, argp.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  ::close(out[1]);
  firstLine.clear();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (pid > 0 && firstLine.find('\n') == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    pollfd pfd{out[0], POLLIN, 0};
    if (::poll(&pfd, 1, 200) <= 0) continue;
    char c;
    if (::read(out[0], &c, 1) != 1) break;
    firstLine.push_back(c);
  }
  ::close(out[0]);
  while (!firstLine.empty() && (firstLine.back() == '\n' || firstLine.back() == '\r')) {
    firstLine.pop_back();
  }
  return pid;
}

void EndProcess(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
}

// qmupdate's PackageKit client against a stand-in PackageKit on a private bus of the test's own.
TEST_F(QmUpdateProcess, PackageKitCountsWhenItIsOnTheSystemBus) {
  std::string address;
  const pid_t daemon = SpawnWithFirstLine(
      {"dbus-daemon", "--config-file=/usr/share/dbus-1/session.conf", "--nofork", "--print-address",
       "--address=unix:path=" + (dir_ / "system_bus").string()},
      {}, address);
  if (daemon <= 0 || address.empty()) {
    EndProcess(daemon);
    GTEST_SKIP() << "dbus-daemon cannot be started here";
  }
  const std::string bus = "DBUS_SYSTEM_BUS_ADDRESS=" + address;
  const std::string fake = std::string(KORVANE_BIN_DIR) + "/fake_packagekit";
  const std::map<std::string, std::string> env = {{"DBUS_SYSTEM_BUS_ADDRESS", address},
                                                  {"DBUS_SESSION_BUS_ADDRESS", kNoBus}};

  // Nobody owns the name yet: PackageKit is not there, and the scan says so.
  auto env1 = env;
  env1["QMUPDATE_SOURCE"] = "packagekit";
  ToolRun r = Start({}, env1);
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("PackageKit is not on the system bus"), std::string::npos) << r.err;

  std::string ready;
  pid_t service = SpawnWithFirstLine(
      {fake, "2:libc6;2.36;amd64;debian", "2:libc6;2.36;i386;debian", "9:tzdata;2024b;all;debian",
       "11:held;1;amd64;debian", "2:libc6;2.36;amd64;debian"},
      {bus}, ready);
  ASSERT_EQ(ready, "ready");
  r = Start({}, env1);
  EXPECT_EQ(r.exit, 0) << r.err;
  // Three packages: the duplicate counts once, the held-back one not at all.
  EXPECT_NE(r.out.find("3 update(s) pending (PackageKit)"), std::string::npos) << r.out;
  // Left to choose, the scan asks PackageKit first.
  auto env2 = env;
  env2["QMUPDATE_SOURCE"] = "";
  r = Start({}, env2);
  EXPECT_NE(r.out.find("3 update(s) pending (PackageKit)"), std::string::npos) << r.out << r.err;
  EndProcess(service);

  // A transaction that fails is a scan that could not run.
  service = SpawnWithFirstLine({fake, "2:a;1;amd64;d", "--error"}, {bus}, ready);
  ASSERT_EQ(ready, "ready");
  r = Start({}, env1);
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.err.find("cache is broken"), std::string::npos) << r.err;
  EndProcess(service);
  EndProcess(daemon);
}

// The strip in this process, the tool in another: only the session bus joins them.
TEST_F(QmUpdateProcess, StripShowsTheToolsCountThroughRealBroadcasts) {
  if (std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr) {
    GTEST_SKIP() << "no session bus (run under dbus-run-session)";
  }
  std::mutex lock;
  std::vector<platform::BroadcastEvent> events;
  platform::BroadcastSubscription subscription;
  ASSERT_TRUE(subscription.Start([&](const platform::BroadcastEvent& e) {
    std::lock_guard<std::mutex> guard(lock);
    events.push_back(e);
  }));

  std::vector<std::string> starts;
  CQMUpdateLogic strip({}, [&](std::string_view args) {
    starts.emplace_back(args);
    return true;
  });
  strip.OnCreate();
  pid_t tool = -1;
  Start({}, {{"QMUPDATE_SOURCE", "apt-sim:" + kData + "/apt-sim-3.txt"}}, false, &tool);
  ASSERT_GT(tool, 0);

  // The strip's window loop: broadcasts as they arrive, the timer every 500 ms.
  const auto begin = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point scanStarted{}, finished{};
  std::vector<int> statesSeen;
  while (std::chrono::steady_clock::now() - begin < std::chrono::seconds(30)) {
    std::vector<platform::BroadcastEvent> batch;
    {
      std::lock_guard<std::mutex> guard(lock);
      batch.swap(events);
    }
    for (const auto& e : batch) {
      // Only this test's tool: another test's may scan on the same bus meanwhile.
      if (e.wParam != static_cast<platform::WParam>(tool)) continue;
      if (strip.OnBroadcast(e.name, e.lParam) && strip.State() == CQMUpdateLogic::kScanning) {
        scanStarted = std::chrono::steady_clock::now();
      }
      statesSeen.push_back(strip.State());
    }
    strip.OnTimer(kUpdateTimerId);
    if (strip.State() == CQMUpdateLogic::kFinished) {
      finished = std::chrono::steady_clock::now();
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kUpdateTimerPeriodMs));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(tool, &status, 0), tool);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_EQ(strip.State(), CQMUpdateLogic::kFinished);
  EXPECT_EQ(statesSeen, (std::vector<int>{CQMUpdateLogic::kScanning, CQMUpdateLogic::kScanEnded}));
  EXPECT_EQ(strip.Count(), 3);
  EXPECT_EQ(strip.ActionTextId(), kTextInstall);
  // The count is shown only once the scanning picture has run its four seconds.
  EXPECT_GE(finished - scanStarted, std::chrono::milliseconds(kScanEndedShowMs - 600));
  strip.OnAction();
  EXPECT_EQ(starts, std::vector<std::string>{"/scannow"});
}

}  // namespace
}  // namespace korvane
