#include "qmupdate/UpdateScan.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

extern char** environ;

namespace qmupdate {
namespace {

template <typename Fn>
void ForEachLine(std::string_view text, Fn&& fn) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    fn(line);
    start = end + 1;
  }
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ScanResult FromApt(bool listForm, std::optional<std::string> output, std::string source,
                   std::string error) {
  ScanResult r;
  r.source = std::move(source);
  if (!output) {
    r.error = std::move(error);
    return r;
  }
  r.ok = true;
  r.count = listForm ? CountAptListUpgradable(*output) : CountAptSimulation(*output);
  return r;
}

ScanResult ScanAptLive() {
  if (!ProgramOnPath("apt-get")) {
    return FromApt(false, std::nullopt, "apt-get", "apt-get is not installed");
  }
  // A simulation needs no root and takes no lock.
  auto out = CaptureOutput({"apt-get", "-s", "-q", "upgrade"}, 300000);
  return FromApt(false, std::move(out), "apt-get -s upgrade", "apt-get -s upgrade failed");
}

ScanResult ScanPackageKit() {
  ScanResult r;
  r.source = "PackageKit";
  const auto count = CountPackageKitUpdates(r.error);
  if (count) {
    r.ok = true;
    r.count = *count;
  }
  return r;
}

}  // namespace

int CountAptSimulation(std::string_view output) {
  int count = 0;
  ForEachLine(output, [&](std::string_view line) {
    if (line.size() > 5 && line.substr(0, 5) == "Inst ") ++count;
  });
  return count;
}

int CountAptListUpgradable(std::string_view output) {
  // "<name>/<suites> <version> <arch> [upgradable from: <old>]": a package of two architectures
  // is two upgrades, one listed twice is one.
  std::set<std::string> packages;
  ForEachLine(output, [&](std::string_view line) {
    if (line.find("[upgradable from:") == std::string_view::npos) return;
    const std::size_t slash = line.find('/');
    const std::size_t sp1 = line.find(' ');
    if (slash == 0 || slash == std::string_view::npos || sp1 == std::string_view::npos ||
        slash > sp1) {
      return;
    }
    const std::size_t archStart = line.find(' ', sp1 + 1);
    if (archStart == std::string_view::npos) return;
    const std::size_t archEnd = line.find(' ', archStart + 1);
    std::string key(line.substr(0, slash));
    key += ':';
    key += line.substr(archStart + 1, archEnd - archStart - 1);
    packages.insert(std::move(key));
  });
  return static_cast<int>(packages.size());
}

ScanResult Scan(const std::optional<std::string>& sourceSetting) {
  const std::string s = sourceSetting.value_or("auto");
  if (s.rfind("apt-sim:", 0) == 0 || s.rfind("apt-list:", 0) == 0) {
    const bool list = s.rfind("apt-list:", 0) == 0;
    const std::string file = s.substr(list ? 9 : 8);
    std::string error;
    auto text = ReadWholeFile(file, error);
    return FromApt(list, std::move(text), "saved output " + file, error);
  }
  if (s == "apt") return ScanAptLive();
  if (s == "packagekit") return ScanPackageKit();
  if (s == "auto" || s.empty()) {
    ScanResult pk = ScanPackageKit();
    if (pk.ok) return pk;
    ScanResult apt = ScanAptLive();
    if (!apt.ok) apt.error = pk.error + "; " + apt.error;
    return apt;
  }
  ScanResult r;
  r.error = "unknown QMUPDATE_SOURCE \"" + s + "\"";
  return r;
}

std::optional<std::string> CaptureOutput(const std::vector<std::string>& argv, int timeoutMs) {
  if (argv.empty()) return std::nullopt;
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  // The parsers read apt's own English words.
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "LC_ALL=", 7) != 0 && std::strncmp(*e, "LANGUAGE=", 9) != 0)
      env.emplace_back(*e);
  }
  env.emplace_back("LC_ALL=C");
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  for (auto& a : args) argp.push_back(a.data());
  argp.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, args[0].c_str(), &fa, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&fa);
  ::close(out[1]);
  if (rc != 0) {
    ::close(out[0]);
    return std::nullopt;
  }
  std::string text;
  bool timedOut = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
      timedOut = true;
      break;
    }
    pollfd pfd{out[0], POLLIN, 0};
    const int p = ::poll(&pfd, 1, static_cast<int>(std::min<long long>(left, 1000)));
    if (p < 0 && errno == EINTR) continue;
    if (p <= 0) continue;
    char buf[4096];
    const ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    // Far more than any update list; a runaway program is cut off.
    if (text.size() < (16u << 20)) text.append(buf, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  if (timedOut) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return text;
}

bool ProgramOnPath(std::string_view name) {
  if (name.empty()) return false;
  if (name.find('/') != std::string_view::npos) {
    return ::access(std::string(name).c_str(), X_OK) == 0;
  }
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::string_view rest(path);
  while (true) {
    const std::size_t colon = rest.find(':');
    std::string dir(rest.substr(0, colon));
    if (!dir.empty()) {
      const std::string file = dir + "/" + std::string(name);
      struct stat st {};
      if (::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
          ::access(file.c_str(), X_OK) == 0) {
        return true;
      }
    }
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return false;
}

UpdaterChoice ChooseUpdater(bool hasDisplay, const std::function<bool(std::string_view)>& exists) {
  UpdaterChoice c;
  const bool pkcon = exists("pkcon");
  c.printCommand = pkcon ? "pkcon update" : "sudo apt-get upgrade";
  if (!hasDisplay) return c;
  if (exists("gnome-software")) {
    c.argv = {"gnome-software", "--mode=updates"};
  } else if (exists("plasma-discover")) {
    c.argv = {"plasma-discover", "--mode", "update"};
  } else if (pkcon) {
    // pkcon asks for confirmation and a password: it needs a terminal of its own.
    if (exists("x-terminal-emulator")) {
      c.argv = {"x-terminal-emulator", "-e", "pkcon", "update"};
    } else if (exists("gnome-terminal")) {
      c.argv = {"gnome-terminal", "--", "pkcon", "update"};
    } else if (exists("konsole")) {
      c.argv = {"konsole", "-e", "pkcon", "update"};
    } else if (exists("xterm")) {
      c.argv = {"xterm", "-e", "pkcon", "update"};
    }
  }
  return c;
}

}  // namespace qmupdate
