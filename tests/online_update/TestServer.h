#pragma once
// korvane-server for tests: started on 127.0.0.1 with a port the kernel picks, so parallel runs
// never collide, and stopped again.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "../support/ServerSpawn.h"


namespace korvane {

struct Server {
  pid_t pid = -1;
  std::string base;
};

inline Server StartServer(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir / "modules");
  const testsupport::SpawnedServer spawned =
      testsupport::SpawnKorvaneServer(dir / "data", dir / "modules", dir / "server.log");
  return Server{spawned.pid, spawned.base};
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
