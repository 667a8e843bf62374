// `korvane --sensors` as a terminal user and a script run it, on a recorded machine.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Child {
  pid_t pid = -1;
  int out = -1;
  int err = -1;
};

// Starts korvane with the machine's root; its output is read through pipes.
Child Start(const std::vector<std::string>& args, const std::string& machine) {
  const std::string root = std::string(KORVANE_FIXTURES_DIR) + "/machines/" + machine;
  const std::string program = std::string(KORVANE_BIN_DIR) + "/korvane";
  std::vector<std::string> envStore;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string(*e).rfind("KORVANE_SYSROOT=", 0) != 0) envStore.emplace_back(*e);
  }
  envStore.push_back("KORVANE_SYSROOT=" + root);
  envStore.push_back("LC_ALL=C");
  std::vector<char*> env;
  for (auto& e : envStore) env.push_back(e.data());
  env.push_back(nullptr);
  std::vector<std::string> argStore{program};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out[2], err[2];
  Child r;
  if (pipe(out) != 0) return r;
  if (pipe(err) != 0) return r;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, err[0]);
  if (posix_spawn(&r.pid, program.c_str(), &actions, nullptr, argv.data(), env.data()) != 0)
    r.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  r.out = out[0];
  r.err = err[0];
  return r;
}

std::string ReadAll(int fd) {
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
  close(fd);
  return text;
}

int Wait(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Reads one line from the pipe, giving up after `seconds`.
std::string ReadLine(int fd, int seconds) {
  std::string line;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char c;
    if (read(fd, &c, 1) != 1) break;
    if (c == '\n') return line;
    line += c;
  }
  return line;
}

}  // namespace

TEST(SensorsCli, PrintsPlacedReadingsOnceAsTextAndJson) {
  Child r = Start({"--sensors", "--json"}, "intel-desktop");
  ASSERT_GT(r.pid, 0);
  const std::string out = ReadAll(r.out);
  const std::string err = ReadAll(r.err);
  ASSERT_EQ(Wait(r.pid), 0) << err;
  const auto doc = nlohmann::json::parse(out);
  EXPECT_EQ(doc["schema"], "korvane-sensors/1");
  bool cpu = false, fan = false, volts = false, disk = false;
  for (const auto& s : doc["readings"]) {
    if (s["category"] == 0 && s["device"] == 0 && s["kind"] == "temperature") {
      cpu = s["value"] == 41 && s["sensor"] == "CPUTIN" && s["unit"] == "\u2103";
    }
    if (s["category"] == 0 && s["kind"] == "fan") fan = s["value"] == 1197 && s["unit"] == "RPM";
    if (s["kind"] == "voltage") volts = s["value"] == 0.672 && s["unit"] == "V";
    if (s["category"] == 5 && s["device"].is_number()) {
      disk = s["deviceName"] == "Samsung SSD 970 EVO Plus 1TB" && s["value"] == 32;
    }
  }
  EXPECT_TRUE(cpu);
  EXPECT_TRUE(fan);
  EXPECT_TRUE(volts);
  EXPECT_TRUE(disk);

  Child t = Start({"--sensors"}, "intel-desktop");
  const std::string text = ReadAll(t.out);
  ReadAll(t.err);
  ASSERT_EQ(Wait(t.pid), 0);
  EXPECT_NE(text.find("CPU Fan Speed     1197 RPM  Nuvoton NCT6779: CPUFANIN\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("Voltage          0.672 V"), std::string::npos) << text;
}

TEST(SensorsCli, WatchRepeatsUntilCtrlCAndEndsCleanly) {
  Child r = Start({"--sensors", "--json", "--watch", "1"}, "laptop");
  ASSERT_GT(r.pid, 0);
  const std::string first = ReadLine(r.out, 20);
  const std::string second = ReadLine(r.out, 5);
  kill(r.pid, SIGINT);
  const int rc = Wait(r.pid);
  ReadAll(r.out);
  const std::string err = ReadAll(r.err);
  EXPECT_EQ(rc, 0) << err;
  for (const auto& line : {first, second}) {
    const auto doc = nlohmann::json::parse(line, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << line;
    ASSERT_FALSE(doc["readings"].empty());
    EXPECT_EQ(doc["readings"][0]["value"], 52);
  }
}

TEST(SensorsCli, BadWatchIntervalIsRefused) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--sensors", "--watch", "0"},
        std::vector<std::string>{"--sensors", "--watch", "1.5"},
        std::vector<std::string>{"--sensors", "--watch=-3"},
        std::vector<std::string>{"--sensors", "--watch"},
        std::vector<std::string>{"--sensors", "--loud"}}) {
    Child r = Start(args, "vm");
    ASSERT_GT(r.pid, 0);
    const std::string out = ReadAll(r.out);
    const std::string err = ReadAll(r.err);
    EXPECT_EQ(Wait(r.pid), 2) << args.back();
    EXPECT_TRUE(out.empty());
    EXPECT_NE(err.find("Usage: korvane --sensors"), std::string::npos) << err;
  }
}
