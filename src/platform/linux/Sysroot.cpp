#include "platform/Sysroot.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <mutex>

#include "AtomicFile.h"
#include "platform/Text.h"

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
// Only regular files are read (sysfs and /proc attributes are regular files). A FIFO, socket
// or device under a machine path is somebody's trap or a broken recording: opening a FIFO
// without O_NONBLOCK waits for a writer forever, and reading it or a device may never end.
bool ReadAll(const std::string& path, std::size_t maxBytes, std::string& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    detail::ReportOnce(path + " is not a regular file; it is not read");
    return false;
  }
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
  return CleanMachineText(out, true);
}

std::optional<std::vector<std::uint8_t>> ReadSysBinary(std::string_view absolutePath,
                                                       std::size_t maxBytes) {
  std::string out;
  if (!ReadAll(SysPath(absolutePath), maxBytes, out)) return std::nullopt;
  return std::vector<std::uint8_t>(out.begin(), out.end());
}

std::optional<std::string> ReadSysLine(std::string_view absolutePath) {
  std::string raw;
  if (!ReadAll(SysPath(absolutePath), 64 * 1024, raw)) return std::nullopt;
  std::string_view line(raw);
  line = line.substr(0, line.find('\n'));
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r' ||
                           line.back() == '\0')) {
    line.remove_suffix(1);
  }
  return CleanMachineText(line, false);
}

std::optional<long long> ReadSysInteger(std::string_view absolutePath) {
  auto line = ReadSysLine(absolutePath);
  if (!line) return std::nullopt;
  return ParseSysInteger(*line);
}

std::optional<long long> ParseSysInteger(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;  // PCI ids and class codes
    text.remove_prefix(2);
  }
  // Digits only from here: from_chars would take a second sign ("--5", "+-5").
  if (text.empty() || text.front() == '-' || text.front() == '+') return std::nullopt;
  unsigned long long magnitude = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  // Past the range of a long long is not a reading this program can use: unavailable.
  if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
  constexpr auto kMax = static_cast<unsigned long long>(std::numeric_limits<long long>::max());
  if (negative) {
    if (magnitude > kMax + 1) return std::nullopt;
    return magnitude == kMax + 1 ? std::numeric_limits<long long>::min()
                                 : -static_cast<long long>(magnitude);
  }
  if (magnitude > kMax) return std::nullopt;
  return static_cast<long long>(magnitude);
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
