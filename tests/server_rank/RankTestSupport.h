#pragma once
// What the ranking tests share: a private folder, a throwaway PostgreSQL cluster and the real
// korvane-server on a loopback port.
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../support/ServerSpawn.h"

extern char** environ;

namespace korvane::ranktest {

namespace fs = std::filesystem;

// A folder of the test's own under the test home, removed at the end.
class TempDir {
 public:
  TempDir() {
    std::string pattern = std::string(std::getenv("HOME")) + "/rank-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Runs argv and waits; the exit status, or -1 when it could not start.
inline int RunAndWait(std::vector<std::string> args, const std::string& log = "/dev/null") {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return -1;
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The PostgreSQL binaries of the installed server, "" when none is installed.
inline std::string PostgresBinDir() {
  std::error_code ec;
  std::string best;
  for (const auto& e : fs::directory_iterator("/usr/lib/postgresql", ec)) {
    if (fs::exists(e.path() / "bin" / "initdb") && fs::exists(e.path() / "bin" / "pg_ctl") &&
        e.path().string() > best)
      best = e.path().string();
  }
  return best.empty() ? best : best + "/bin";
}

// A cluster of its own in a fresh folder, reachable only over a Unix socket in that folder.
// initdb refuses to run as root, so the cluster belongs to the postgres account when the tests
// run as root.
class PgCluster {
 public:
  // Empty when it started; otherwise why not (a missing server is a skip, anything else a
  // failure).
  std::string Start(const fs::path& folder, bool* missing) {
    *missing = false;
    const std::string bin = PostgresBinDir();
    if (bin.empty()) {
      *missing = true;
      return "no PostgreSQL server installed (package postgresql)";
    }
    dir_ = folder / "pg";
    fs::create_directories(dir_);
    ::chmod(folder.c_str(), 0711);  // the cluster's owner must reach its folder
    log_ = (folder / "pg.log").string();
    std::vector<std::string> prefix;
    if (::geteuid() == 0) {
      const passwd* pw = ::getpwnam("postgres");
      if (pw == nullptr) {
        *missing = true;
        return "running as root and there is no postgres account to own the cluster";
      }
      if (::chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0) return "cannot hand the folder over";
      prefix = {"runuser", "-u", "postgres", "--"};
      asUser_ = prefix;
    }
    auto cmd = [&](std::vector<std::string> tail) {
      std::vector<std::string> all = prefix;
      all.insert(all.end(), tail.begin(), tail.end());
      return all;
    };
    if (RunAndWait(cmd({bin + "/initdb", "-D", (dir_ / "data").string(), "-U", "postgres", "-A",
                        "trust", "--no-sync"}),
                   log_) != 0)
      return "initdb failed (see " + log_ + ")";
    if (RunAndWait(cmd({bin + "/pg_ctl", "-D", (dir_ / "data").string(), "-w", "-l",
                        (dir_ / "server.log").string(), "-o",
                        "-c listen_addresses='' -c unix_socket_directories='" + dir_.string() +
                            "' -c fsync=on",
                        "start"}),
                   log_) != 0)
      return "pg_ctl start failed (see " + log_ + ")";
    bin_ = bin;
    return {};
  }
  ~PgCluster() { Stop(); }
  void Stop() {
    if (bin_.empty()) return;
    std::vector<std::string> all = asUser_;
    for (const std::string& a :
         {bin_ + "/pg_ctl", std::string("-D"), (dir_ / "data").string(), std::string("-m"),
          std::string("immediate"), std::string("-w"), std::string("stop")})
      all.push_back(a);
    RunAndWait(all, log_);
    bin_.clear();
  }
  std::string Uri(const std::string& database = "postgres") const {
    return "postgresql://postgres@/" + database + "?host=" + dir_.string();
  }

 private:
  fs::path dir_;
  std::string bin_, log_;
  std::vector<std::string> asUser_;
};

struct ServerProcess {
  pid_t pid = -1;
  std::string base;  // http://127.0.0.1:<port>
  ~ServerProcess() { Kill(SIGTERM); }
  void Kill(int sig) {
    if (pid <= 0) return;
    ::kill(pid, sig);
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid = -1;
  }
};

// Starts korvane-server on a free loopback port with an empty modules folder (a fast driver
// import) and waits until it names its address.
inline void StartServer(ServerProcess& p, const fs::path& data, std::vector<std::string> extra) {
  fs::create_directories(data / "modules");
  const testsupport::SpawnedServer spawned =
      testsupport::SpawnKorvaneServer(data, data / "modules", data / "server.log", extra);
  p.pid = spawned.pid;
  p.base = spawned.base;
}

}  // namespace korvane::ranktest
