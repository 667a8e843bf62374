#pragma once
// korvane-server for tests: started on 127.0.0.1 with a port the kernel picks, so parallel runs
// never collide, and stopped again.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace korvane {

struct Server {
  pid_t pid = -1;
  std::string base;
};

// The first line the server prints names the address it listens on.
inline Server StartServer(const std::filesystem::path& dir) {
  Server s;
  std::filesystem::create_directories(dir / "modules");
  int out[2];
  if (::pipe(out) != 0) return s;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addclose(&fa, out[0]);
  const std::string log = (dir / "server.log").string();
  posix_spawn_file_actions_addopen(&fa, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  const std::string exe = std::string(KORVANE_BIN_DIR) + "/korvane-server";
  std::vector<std::string> args = {exe,
                                   "--listen",
                                   "127.0.0.1:0",
                                   "--data",
                                   (dir / "data").string(),
                                   "--modules",
                                   (dir / "modules").string()};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (posix_spawn(&s.pid, exe.c_str(), &fa, nullptr, argv.data(), environ) != 0) s.pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  ::close(out[1]);
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (s.pid > 0 && line.find('\n') == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    pollfd pfd{out[0], POLLIN, 0};
    if (::poll(&pfd, 1, 1000) <= 0) continue;
    char buf[256];
    const ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  const std::size_t at = line.find("http://");
  if (at != std::string::npos) s.base = line.substr(at, line.find('/', at + 7) - at);
  return s;
}

inline void StopServer(Server& s) {
  if (s.pid <= 0) return;
  ::kill(s.pid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(s.pid, &status, WNOHANG) == s.pid) {
      s.pid = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ::kill(s.pid, SIGKILL);
  ::waitpid(s.pid, &status, 0);
  s.pid = -1;
}

}  // namespace korvane
