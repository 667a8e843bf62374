#include "AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace platform::detail {
namespace {

std::string ErrnoText(const char* what, const std::string& path, int err) {
  return std::string(what) + " " + path + ": " + std::strerror(err);
}

FileIdentity FromStat(const struct stat& st) {
  FileIdentity id;
  id.exists = true;
  id.device = static_cast<std::uint64_t>(st.st_dev);
  id.inode = static_cast<std::uint64_t>(st.st_ino);
  id.size = static_cast<std::int64_t>(st.st_size);
  id.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  id.ctimeNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  return id;
}

bool WriteAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string ParentDirectory(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

FileIdentity StatIdentity(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return FromStat(st);
}

FileContents ReadWholeFile(const std::string& path, std::size_t maxBytes) {
  FileContents out;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    out.status = (err == ENOENT || err == ENOTDIR) ? ReadStatus::Missing : ReadStatus::Error;
    if (out.status == ReadStatus::Error) out.error = ErrnoText("cannot open", path, err);
    return out;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    out.status = ReadStatus::Error;
    out.error = "not a regular file: " + path;
    ::close(fd);
    return out;
  }
  out.identity = FromStat(st);
  if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
    out.status = ReadStatus::TooLarge;
    out.error = path + " is " + std::to_string(st.st_size) + " bytes, more than the limit of " +
                std::to_string(maxBytes);
    ::close(fd);
    return out;
  }
  // The size is only a hint: read until end of file, still honouring the cap.
  out.bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      out.status = ReadStatus::Error;
      out.error = ErrnoText("cannot read", path, errno);
      out.bytes.clear();
      ::close(fd);
      return out;
    }
    if (n == 0) break;
    if (out.bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
      out.status = ReadStatus::TooLarge;
      out.error = path + " grew beyond the limit of " + std::to_string(maxBytes) + " bytes";
      out.bytes.clear();
      ::close(fd);
      return out;
    }
    out.bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  out.status = ReadStatus::Ok;
  return out;
}

FileLock::~FileLock() {
  if (fd_ >= 0) ::close(fd_);  // closing the descriptor drops the flock
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

std::optional<FileLock> FileLock::Acquire(const std::string& path, std::string* error) {
  const std::string lockPath = path + ".lock";
  const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (error) *error = ErrnoText("cannot open lock file", lockPath, errno);
    return std::nullopt;
  }
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    if (error) *error = ErrnoText("cannot lock", lockPath, errno);
    ::close(fd);
    return std::nullopt;
  }
  FileLock lock;
  lock.fd_ = fd;
  return lock;
}

bool WriteFileAtomically(const std::string& linkOrPath, std::string_view bytes,
                         std::string* error) {
  static std::atomic<unsigned> counter{0};
  std::string path = linkOrPath;
  struct stat link {};
  if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    char* target = ::realpath(path.c_str(), nullptr);
    if (target == nullptr) {
      if (error) *error = ErrnoText("cannot follow link", path, errno);
      return false;
    }
    path = target;
    std::free(target);
  }
  const std::string dir = ParentDirectory(path);
  const std::string temp = path + ".tmp-" + std::to_string(::getpid()) + "-" +
                           std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
  // Keep the permissions of the file being replaced; new files are private to the user.
  mode_t mode = 0600;
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) mode = old.st_mode & 07777;

  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) {
    if (error) *error = ErrnoText("cannot create", temp, errno);
    return false;
  }
  auto fail = [&](const char* what) {
    const int err = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    if (error) *error = ErrnoText(what, temp, err);
    return false;
  };
  if (!WriteAll(fd, bytes)) return fail("cannot write");
  if (::fchmod(fd, mode) != 0) return fail("cannot set permissions of");
  if (::fsync(fd) != 0) return fail("cannot sync");
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    if (error) *error = ErrnoText("cannot close", temp, err);
    return false;
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    if (error) *error = ErrnoText("cannot replace", path, err);
    return false;
  }
  // The rename is only durable once the folder entry is on disk.
  const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

void RemoveStaleTemporaries(const std::string& path) {
  const std::string dir = ParentDirectory(path);
  const auto slash = path.find_last_of('/');
  const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp-";
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name = e->d_name;
    if (name.substr(0, prefix.size()) != prefix) continue;
    const std::string_view rest = name.substr(prefix.size());
    const auto dash = rest.find('-');
    if (dash == std::string_view::npos || dash == 0) continue;
    long long pid = 0;
    bool digits = true;
    for (const char c : rest.substr(0, dash)) {
      if (c < '0' || c > '9' || pid > (1LL << 31)) {
        digits = false;
        break;
      }
      pid = pid * 10 + (c - '0');
    }
    if (!digits || pid <= 0) continue;
    // Another process's temporary file is only stale once that process is gone.
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    ::unlinkat(::dirfd(d), e->d_name, 0);
  }
  ::closedir(d);
}

std::string SetAside(const std::string& path, std::string* error) {
  const std::string base =
      path + ".corrupt-" + std::to_string(static_cast<long long>(::time(nullptr)));
  for (int n = 0; n < 1000; ++n) {
    const std::string target = n == 0 ? base : base + "-" + std::to_string(n);
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) continue;
    if (::rename(path.c_str(), target.c_str()) == 0) return target;
    if (error) *error = ErrnoText("cannot move aside", path, errno);
    return {};
  }
  if (error) *error = "no free name to move aside " + path;
  return {};
}

}  // namespace platform::detail
