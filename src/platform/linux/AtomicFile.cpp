#include "AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

namespace platform::detail {
namespace {

constexpr long long kLockWaitMs = 10000;

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

void ReportOnce(const std::string& text) {
  static std::mutex lock;
  static std::set<std::string> told;
  std::lock_guard guard(lock);
  if (told.size() > 1000 || !told.insert(text).second) return;
  std::fprintf(stderr, "korvane: %s\n", text.c_str());
}

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
  // O_NONBLOCK: opening a FIFO would otherwise wait for a writer that may never come; the type
  // check right after refuses it (and sockets, devices) before anything is read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    const int err = errno;
    out.status = (err == ENOENT || err == ENOTDIR) ? ReadStatus::Missing : ReadStatus::Error;
    if (out.status == ReadStatus::Error) out.error = ErrnoText("cannot open", path, err);
    return out;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    out.status = ReadStatus::Error;
    out.error = path + " is not a regular file; it is left alone";
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
  // Never through a planted link, never blocking on a FIFO put in the lock file's place.
  const int fd = ::open(lockPath.c_str(),
                        O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
  if (fd < 0) {
    if (error) *error = ErrnoText("cannot open lock file", lockPath, errno);
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
    if (error) *error = lockPath + " is not a regular file of this user; it is left alone";
    ::close(fd);
    return std::nullopt;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    FileLock lock;
    lock.fd_ = fd;
    return lock;
  }
  if (errno != EWOULDBLOCK && errno != EINTR) {
    if (error) *error = ErrnoText("cannot lock", lockPath, errno);
    ::close(fd);
    return std::nullopt;
  }
  // Writers hold the lock for one write, milliseconds, but a busy writer takes it again at once:
  // polling would almost never see it free and could starve here. So wait in the kernel's queue
  // of the lock instead. The wait blocks a helper thread on its own opening of the lock file, so
  // that it can be given up: a holder that keeps the lock far longer is stopped or hung, and
  // waiting on it without end would hang this program too.
  struct Waiter {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    int fd = -1;
    int err = 0;
  };
  const int waitFd =
      ::open(lockPath.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  struct stat again {};
  if (waitFd < 0 || ::fstat(waitFd, &again) != 0 || again.st_dev != st.st_dev ||
      again.st_ino != st.st_ino) {
    if (error) *error = lockPath + " changed while it was being locked";
    if (waitFd >= 0) ::close(waitFd);
    ::close(fd);
    return std::nullopt;
  }
  ::close(fd);
  auto waiter = std::make_shared<Waiter>();
  try {
    std::thread([waiter, waitFd] {
      int r = 0;
      do {
        r = ::flock(waitFd, LOCK_EX);
      } while (r != 0 && errno == EINTR);
      const int err = r == 0 ? 0 : errno;
      std::lock_guard guard(waiter->mutex);
      if (waiter->abandoned) {
        ::close(waitFd);  // the caller has given up; closing lets the lock go again
        return;
      }
      waiter->finished = true;
      waiter->fd = waitFd;
      waiter->err = err;
      waiter->done.notify_one();
    }).detach();
  } catch (const std::system_error& e) {
    if (error) *error = lockPath + ": cannot wait for the lock: " + e.what();
    ::close(waitFd);
    return std::nullopt;
  }
  std::unique_lock guard(waiter->mutex);
  if (!waiter->done.wait_for(guard, std::chrono::milliseconds(kLockWaitMs),
                             [&] { return waiter->finished; })) {
    waiter->abandoned = true;
    if (error)
      *error = lockPath + " stays locked by another process; gave up after " +
               std::to_string(kLockWaitMs / 1000) + " s";
    return std::nullopt;
  }
  if (waiter->err != 0) {
    if (error) *error = ErrnoText("cannot lock", lockPath, waiter->err);
    ::close(waiter->fd);
    return std::nullopt;
  }
  FileLock lock;
  lock.fd_ = waiter->fd;
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
  if (::stat(path.c_str(), &old) == 0) {
    // A FIFO or device under the file's name is not ours to replace by a file.
    if (!S_ISREG(old.st_mode)) {
      if (error) *error = path + " is not a regular file; it is left alone";
      return false;
    }
    mode = old.st_mode & 07777;
  }

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

std::string CopyAside(const std::string& path, std::string* error) {
  const std::string base =
      path + ".corrupt-" + std::to_string(static_cast<long long>(::time(nullptr)));
  for (int n = 0; n < 1000; ++n) {
    const std::string target = n == 0 ? base : base + "-" + std::to_string(n);
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) continue;
    // A second name for the same file: the replacement that follows gives the store's name a
    // new file and leaves this one holding the damaged bytes.
    // Through a symbolic link (a managed dotfile) to the file it names, which is what the
    // replacement changes.
    if (::linkat(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0)
      return target;
    if (errno == EEXIST) continue;
    // File systems without hard links: copy the bytes.
    const FileContents damaged = ReadWholeFile(path, std::size_t{1} << 30);
    if (damaged.status != ReadStatus::Ok) {
      if (error) *error = damaged.error.empty() ? "cannot read " + path : damaged.error;
      return {};
    }
    const int fd =
        ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      if (error) *error = ErrnoText("cannot create", target, errno);
      return {};
    }
    const bool written = WriteAll(fd, damaged.bytes) && ::fsync(fd) == 0;
    const int err = errno;
    ::close(fd);
    if (!written) {
      ::unlink(target.c_str());
      if (error) *error = ErrnoText("cannot write", target, err);
      return {};
    }
    return target;
  }
  if (error) *error = "no free name to keep a copy of " + path;
  return {};
}

}  // namespace platform::detail
