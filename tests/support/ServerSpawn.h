#pragma once
// Starts the real korvane-server for a test: on 127.0.0.1 with a port the kernel picks (so
// parallel test processes never collide), its standard error appended to a log file, and waits
// until its first line names the address it listens on.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace korvane::testsupport {

struct SpawnedServer {
  pid_t pid = -1;
  std::string base;  // http://127.0.0.1:<port>; empty when it never said
};

inline SpawnedServer SpawnKorvaneServer(const std::filesystem::path& data,
                                        const std::filesystem::path& modules,
                                        const std::filesystem::path& log,
                                        const std::vector<std::string>& extra = {}) {
  SpawnedServer s;
  int out[2];
  if (::pipe(out) != 0) return s;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addclose(&fa, out[0]);
  posix_spawn_file_actions_addopen(&fa, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  const std::string exe = std::string(KORVANE_BIN_DIR) + "/korvane-server";
  std::vector<std::string> args = {exe,           "--listen",  "127.0.0.1:0",   "--data",
                                   data.string(), "--modules", modules.string()};
  args.insert(args.end(), extra.begin(), extra.end());
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

}  // namespace korvane::testsupport
