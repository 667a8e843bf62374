#include "platform/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "platform/Paths.h"

extern char** environ;

namespace platform {
namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The program to run: a name with a slash is a path (relative ones against our own current
// folder, even when the child starts elsewhere); a bare name is looked up along PATH.
std::string FindProgram(std::string_view path) {
  if (path.empty()) return {};
  std::string file = MapFileName(path);
  if (file.find('/') != std::string::npos) {
    if (file[0] != '/') {
      char* cwd = getcwd(nullptr, 0);
      if (cwd == nullptr) return {};
      file = std::string(cwd) + "/" + file;
      std::free(cwd);
    }
    return IsExecutableFile(file) ? file : std::string();
  }
  const char* searchPath = std::getenv("PATH");
  std::string_view dirs = searchPath != nullptr ? searchPath : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    const std::size_t colon = dirs.find(':');
    std::string_view dir = dirs.substr(0, colon);
    // An empty PATH entry means the current folder, an old and surprising rule that would
    // let a planted file in the working folder shadow a system program; skipped.
    if (!dir.empty() && dir[0] == '/') {
      std::string candidate(dir);
      if (candidate.back() != '/') candidate += '/';
      candidate += file;
      if (IsExecutableFile(candidate)) return candidate;
    }
    if (colon == std::string_view::npos) break;
    dirs.remove_prefix(colon + 1);
  }
  return {};
}

// Programs started without waiting are reaped here, a little later, so they do not linger as
// zombies for the life of a long-running GUI.
struct Unwaited {
  std::mutex lock;
  std::vector<pid_t> pids;
};

Unwaited& GetUnwaited() {
  static Unwaited unwaited;
  return unwaited;
}

void ReapFinished() {
  Unwaited& unwaited = GetUnwaited();
  std::lock_guard guard(unwaited.lock);
  std::erase_if(unwaited.pids, [](pid_t pid) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    return r == pid || (r < 0 && errno == ECHILD);
  });
}

void RememberUnwaited(pid_t pid) {
  Unwaited& unwaited = GetUnwaited();
  std::lock_guard guard(unwaited.lock);
  unwaited.pids.push_back(pid);
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            std::string_view workingDirectory, bool newSession) {
  std::vector<char*> argv;
  argv.reserve(args.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&actions) != 0) return -1;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return -1;
  }
  bool ok = true;
  const std::string dir(workingDirectory);
  if (!dir.empty()) ok = posix_spawn_file_actions_addchdir_np(&actions, dir.c_str()) == 0;
  // The child starts clean: our threads may block signals or ignore SIGPIPE, and a started
  // program must not inherit that.
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (newSession) flags |= POSIX_SPAWN_SETSID;
  ok = ok && posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
       posix_spawnattr_setsigdefault(&attributes, &all) == 0 &&
       posix_spawnattr_setflags(&attributes, flags) == 0;
  pid_t pid = -1;
  if (ok && posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ) != 0) {
    pid = -1;
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return ok ? pid : -1;
}

bool HasNul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

bool ArgsUsable(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (HasNul(arg)) return false;
  }
  return true;
}

// "http://…", "mailto:…", "file:…": a scheme of two or more letters before a colon. One
// letter before the colon is a Windows drive, not a scheme.
bool LooksLikeUrl(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon < 2) return false;
  if (!std::isalpha(static_cast<unsigned char>(text[0]))) return false;
  for (std::size_t i = 1; i < colon; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

constexpr int kShellOk = 42;  // any value above 32 means success
constexpr int kShellFileNotFound = 2;
constexpr int kShellAccessDenied = 5;
constexpr int kShellNoAssociation = 31;

}  // namespace

int StartProgram(std::string_view path, const std::vector<std::string>& args,
                 std::string_view workingDirectory) {
  ReapFinished();
  if (HasNul(path) || HasNul(workingDirectory) || !ArgsUsable(args)) return -1;
  const std::string program = FindProgram(path);
  if (program.empty()) return -1;
  const pid_t pid = Spawn(program, args, workingDirectory, false);
  if (pid > 0) RememberUnwaited(pid);
  return pid > 0 ? static_cast<int>(pid) : -1;
}

int RunProgramAndWait(std::string_view path, const std::vector<std::string>& args) {
  if (HasNul(path) || !ArgsUsable(args)) return -1;
  const std::string program = FindProgram(path);
  if (program.empty()) return -1;
  const pid_t pid = Spawn(program, args, {}, false);
  if (pid <= 0) return -1;
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid, &status, 0);
  } while (r < 0 && errno == EINTR);
  if (r != pid) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

bool OpenWithDesktop(std::string_view urlOrPath) {
  ReapFinished();
  if (urlOrPath.empty() || HasNul(urlOrPath)) return false;
  const std::string opener = FindProgram("xdg-open");
  if (opener.empty()) return false;
  std::string target(urlOrPath);
  // The opener would read a leading dash as an option of its own.
  if (target[0] == '-') target = "./" + target;
  // Its own session: the opener (and the browser it may become) must survive us and not get
  // our terminal's signals.
  const pid_t pid = Spawn(opener, {target}, {}, true);
  if (pid <= 0) return false;
  RememberUnwaited(pid);
  return true;
}

int ShellOpen(std::string_view file, std::string_view parameters) {
  if (file.empty() || HasNul(file) || HasNul(parameters)) return kShellFileNotFound;
  if (LooksLikeUrl(file)) return OpenWithDesktop(file) ? kShellOk : kShellNoAssociation;

  const std::string mapped = MapFileName(file);
  struct stat info {};
  const bool exists = stat(mapped.c_str(), &info) == 0;
  if (exists && !S_ISREG(info.st_mode)) {
    return OpenWithDesktop(mapped) ? kShellOk : kShellNoAssociation;
  }
  if (exists && access(mapped.c_str(), X_OK) != 0) {
    // A document: it opens with whatever the desktop associates with it.
    return OpenWithDesktop(mapped) ? kShellOk : kShellNoAssociation;
  }
  // An executable path, or a bare program name to be found along PATH.
  std::string program = exists && mapped.find('/') == std::string::npos ? "./" + mapped : mapped;
  if (!exists && program.find('/') != std::string::npos) return kShellFileNotFound;
  if (FindProgram(program).empty()) return kShellFileNotFound;
  return StartProgram(program, SplitCommandLine(parameters)) > 0 ? kShellOk : kShellAccessDenied;
}

// The Windows rule for arguments: white space separates them outside double quotes; quotes
// group and are dropped; 2n backslashes before a quote give n backslashes and the quote
// still counts, 2n+1 give n backslashes and a literal quote; other backslashes are literal;
// inside quotes a doubled quote is a literal quote.
std::vector<std::string> SplitCommandLine(std::string_view text) {
  std::vector<std::string> parts;
  std::string current;
  bool inQuotes = false;
  bool haveToken = false;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\\') {
      std::size_t run = 0;
      while (i < text.size() && text[i] == '\\') {
        ++run;
        ++i;
      }
      if (i < text.size() && text[i] == '"') {
        current.append(run / 2, '\\');
        if (run % 2 == 1) {
          current += '"';
          ++i;
        }
      } else {
        current.append(run, '\\');
      }
      haveToken = true;
      continue;
    }
    if (c == '"') {
      if (inQuotes && i + 1 < text.size() && text[i + 1] == '"') {
        current += '"';
        i += 2;
        continue;
      }
      inQuotes = !inQuotes;
      haveToken = true;
      ++i;
      continue;
    }
    if (!inQuotes && (c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
      if (haveToken) {
        parts.push_back(std::move(current));
        current.clear();
        haveToken = false;
      }
      ++i;
      continue;
    }
    current += c;
    haveToken = true;
    ++i;
  }
  if (haveToken) parts.push_back(std::move(current));
  return parts;
}

}  // namespace platform
