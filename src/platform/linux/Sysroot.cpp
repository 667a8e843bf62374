#include "platform/Sysroot.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <mutex>

namespace platform {
namespace {

std::mutex& PrefixMutex() {
  static std::mutex m;
  return m;
}

std::string& PrefixStorage() {
  static std::string prefix = [] {
    const char* env = std::getenv("KORVANE_SYSROOT");
    std::string p = env != nullptr ? env : "";
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (p == "/") p.clear();
    return p;
  }();
  return prefix;
}

// Reads up to maxBytes. sysfs attributes report a size of 4096 whatever they hold, so the
// size is never trusted: read until end of file.
bool ReadAll(const std::string& path, std::size_t maxBytes, std::string& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out.clear();
  char buf[8192];
  bool ok = true;
  while (out.size() < maxBytes) {
    const std::size_t want = std::min(sizeof buf, maxBytes - out.size());
    const ssize_t n = ::read(fd, buf, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;  // EIO, EACCES on root-only attributes, ...
      break;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return ok;
}

}  // namespace

const std::string& SysrootPrefix() {
  std::lock_guard<std::mutex> lock(PrefixMutex());
  return PrefixStorage();
}

void SetSysrootPrefixForTesting(std::string prefix) {
  std::lock_guard<std::mutex> lock(PrefixMutex());
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  if (prefix == "/") prefix.clear();
  PrefixStorage() = std::move(prefix);
}

std::string SysPath(std::string_view absolutePath) {
  std::string p = SysrootPrefix();
  if (!absolutePath.empty() && absolutePath.front() != '/') p += '/';
  p.append(absolutePath);
  return p;
}

std::optional<std::string> ReadSysFile(std::string_view absolutePath, std::size_t maxBytes) {
  std::string out;
  if (!ReadAll(SysPath(absolutePath), maxBytes, out)) return std::nullopt;
  return out;
}

std::optional<std::vector<std::uint8_t>> ReadSysBinary(std::string_view absolutePath, std::size_t maxBytes) {
  std::string out;
  if (!ReadAll(SysPath(absolutePath), maxBytes, out)) return std::nullopt;
  return std::vector<std::uint8_t>(out.begin(), out.end());
}

std::optional<std::string> ReadSysLine(std::string_view absolutePath) {
  auto text = ReadSysFile(absolutePath, 64 * 1024);
  if (!text) return std::nullopt;
  std::string line = text->substr(0, text->find('\n'));
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r' || line.back() == '\0')) {
    line.pop_back();
  }
  return line;
}

std::optional<long long> ReadSysInteger(std::string_view absolutePath) {
  auto line = ReadSysLine(absolutePath);
  if (!line || line->empty()) return std::nullopt;
  const char* begin = line->c_str();
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(begin, &end, 0);
  if (errno != 0 || end == begin) return std::nullopt;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0') return std::nullopt;
  return v;
}

std::vector<std::string> ListSysDir(std::string_view absolutePath) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(SysPath(absolutePath).c_str());
  if (dir == nullptr) return names;
  while (dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<std::string> ReadSysLink(std::string_view absolutePath) {
  std::string buf(4096, '\0');
  const ssize_t n = ::readlink(SysPath(absolutePath).c_str(), buf.data(), buf.size());
  if (n < 0 || static_cast<std::size_t>(n) >= buf.size()) return std::nullopt;
  buf.resize(static_cast<std::size_t>(n));
  return buf;
}

bool SysPathExists(std::string_view absolutePath) {
  struct stat st {};
  return ::stat(SysPath(absolutePath).c_str(), &st) == 0;
}

}  // namespace platform
