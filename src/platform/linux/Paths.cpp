#include "platform/Paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace platform {
namespace {

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path.push_back('/');
  return path;
}

// An environment variable when it holds an absolute path; XDG says relative values are invalid
// and must be ignored.
std::string AbsoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return {};
  return value;
}

std::string HomeDirectory() {
  std::string home = AbsoluteEnv("HOME");
  if (!home.empty()) return home;
  std::vector<char> buffer(16384);
  struct passwd pw {};
  struct passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &result) == 0 && result &&
      result->pw_dir && result->pw_dir[0] == '/') {
    return result->pw_dir;
  }
  return {};
}

std::string XdgBase(const char* variable, const char* homeRelative) {
  std::string base = AbsoluteEnv(variable);
  if (!base.empty()) return base;
  const std::string home = HomeDirectory();
  if (home.empty()) return {};
  return WithSlash(home) + homeRelative;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// "<base>/<leaf>/" created when missing; empty when it cannot be had.
std::string EnsureFolder(const std::string& base, const char* leaf) {
  if (base.empty()) return {};
  std::string path = WithSlash(base) + leaf + "/";
  if (!IsDirectory(path) && !CreateDirectories(path)) return {};
  return path;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  text.remove_prefix(text.size() - suffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

}  // namespace

std::string ExecutablePath() {
  std::vector<char> buffer(PATH_MAX + 1);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

std::string ExecutableDirectory() {
  const std::string exe = ExecutablePath();
  const auto slash = exe.find_last_of('/');
  if (slash == std::string::npos) return {};
  return exe.substr(0, slash + 1);
}

std::string WindowsDirectory() {
  return EnsureFolder(XdgBase("XDG_CONFIG_HOME", ".config"), "quillmark");
}

std::string TempDirectory() {
  std::string dir;
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir != nullptr && tmpdir[0] != '\0' && IsDirectory(tmpdir)) dir = tmpdir;
  if (dir.empty()) dir = "/tmp";
  // The long form: no symbolic links, no "..", absolute.
  if (char* real = ::realpath(dir.c_str(), nullptr)) {
    dir = real;
    std::free(real);
  }
  return WithSlash(dir);
}

std::string CacheDirectory() {
  return EnsureFolder(XdgBase("XDG_CACHE_HOME", ".cache"), "korvane");
}

std::string StateDirectory() {
  return EnsureFolder(XdgBase("XDG_STATE_HOME", ".local/state"), "korvane");
}

std::string RuntimeDirectory() {
  // The user's runtime folder only when it really is this user's alone: a value inherited
  // through sudo, or a folder another user can write to, would hand our lock files and the
  // hardware library to someone else.
  const std::string runtime = AbsoluteEnv("XDG_RUNTIME_DIR");
  if (!runtime.empty() && IsPrivateFolder(runtime, true)) return WithSlash(runtime);
  // Else one of our own making: first in the temporary folder (memory-backed, gone at boot),
  // then under the cache folder for when another user has taken that name in a shared /tmp.
  const std::string own = TempDirectory() + "korvane-runtime-" + std::to_string(::geteuid());
  if (MakePrivateFolder(own)) return WithSlash(own);
  const std::string cache = XdgBase("XDG_CACHE_HOME", ".cache");
  if (!cache.empty() && CreateDirectories(WithSlash(cache) + "korvane")) {
    const std::string fallback = WithSlash(cache) + "korvane/runtime";
    if (MakePrivateFolder(fallback)) return WithSlash(fallback);
  }
  return {};
}

bool IsPrivateFolder(std::string_view path, bool followLink) {
  if (path.empty()) return false;
  const std::string p(path);
  struct stat st {};
  if ((followLink ? ::stat(p.c_str(), &st) : ::lstat(p.c_str(), &st)) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

bool MakePrivateFolder(std::string_view path) {
  if (path.empty()) return false;
  const std::string p(path);
  // mkdir never follows a link planted under the name, and EEXIST leaves the check below to
  // decide whether what is there is ours.
  if (::mkdir(p.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return IsPrivateFolder(p, false);
}

std::string ProgramFilesDirectory() { return "/opt/"; }

std::string MapFileName(std::string_view windowsName) {
  const auto slash = windowsName.find_last_of('/');
  const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
  const std::string_view last = windowsName.substr(start);
  // A bare ".dll" or ".exe" has no stem to keep; leave such odd names alone.
  if (last.size() > 4 && EndsWithNoCase(last, ".dll")) {
    return std::string(windowsName.substr(0, windowsName.size() - 4)) + ".so";
  }
  if (last.size() > 4 && EndsWithNoCase(last, ".exe")) {
    return std::string(windowsName.substr(0, windowsName.size() - 4));
  }
  return std::string(windowsName);
}

bool FileExists(std::string_view path) {
  if (path.empty()) return false;
  const std::string mapped = MapFileName(path);
  struct stat st {};
  return ::stat(mapped.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(std::string_view path) {
  if (path.empty()) return false;
  return IsDirectory(std::string(path));
}

bool CreateDirectories(std::string_view path) {
  if (path.empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path), ec);
  return IsDirectory(std::string(path));
}

bool DeleteDirectoryTree(std::string_view path, std::size_t minLength) {
  if (path.empty() || path.size() < minLength) return false;
  std::string raw(path);
  // "link/" would make lstat look through the link; the check below must see the link itself.
  while (raw.size() > 1 && raw.back() == '/') raw.pop_back();
  struct stat st {};
  if (::lstat(raw.c_str(), &st) != 0) return errno == ENOENT;  // nothing left to delete
  // A symbolic link to a folder is not the folder: never walk into what it points at.
  if (!S_ISDIR(st.st_mode)) return false;
  char* real = ::realpath(raw.c_str(), nullptr);
  if (real == nullptr) return false;
  const std::string canonical = real;
  std::free(real);
  // The length check applies to where the path really leads ("/tmp/../" is "/"), and the home
  // folder itself is never a tree anybody means to wipe.
  std::string home = HomeDirectory();
  if (char* realHome = home.empty() ? nullptr : ::realpath(home.c_str(), nullptr)) {
    home = realHome;
    std::free(realHome);
  }
  if (canonical == "/" || canonical.size() < minLength || (!home.empty() && canonical == home)) {
    return false;
  }
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(canonical), ec);
  return !ec && ::lstat(canonical.c_str(), &st) != 0;
}

bool DeleteFile(std::string_view path) {
  if (path.empty()) return false;
  const std::string mapped = MapFileName(path);
  struct stat st {};
  if (::lstat(mapped.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return ::unlink(mapped.c_str()) == 0;
}

}  // namespace platform
