#include "hwlib/LibraryCopy.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "platform/Paths.h"

#ifndef MFD_EXEC
#define MFD_EXEC 0x0010U
#endif

namespace korvane {
namespace {

std::string WithoutSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

// A noexec mount refuses an executable mapping of any of its files, which is exactly what the
// loader will ask for.
bool CanMapExecutable(int fd) {
  void* p = ::mmap(nullptr, 1, PROT_READ | PROT_EXEC, MAP_PRIVATE, fd, 0);
  if (p == MAP_FAILED) return false;
  ::munmap(p, 1);
  return true;
}

bool ProcFdAvailable() { return ::access("/proc/self/fd", X_OK) == 0; }

std::string ProcFdPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

std::string UniqueSuffix() {
  static unsigned counter = 0;
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return std::to_string(::getpid()) + "." + std::to_string(++counter) + "." +
         std::to_string(static_cast<unsigned long long>(now) & 0xFFFFFFu);
}

// "<digits>-" right after "<prefix>-": the pid of the run that made the folder, or -1.
long RunFolderPid(const char* name, const std::string& prefix) {
  if (std::strncmp(name, prefix.c_str(), prefix.size()) != 0 || name[prefix.size()] != '-')
    return -1;
  const char* p = name + prefix.size() + 1;
  long pid = 0;
  int digits = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (++digits > 10) return -1;
    pid = pid * 10 + (*p - '0');
  }
  if (digits == 0 || *p != '-' || pid <= 0 || pid > INT_MAX) return -1;
  return pid;
}

}  // namespace

bool IsPrivateFolder(const std::string& path) {
  if (path.empty()) return false;
  struct stat st {};
  if (::lstat(WithoutSlash(path).c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string MakeRunFolder(const std::string& parent, const std::string& prefix) {
  if (parent.empty()) return {};
  std::string templ = WithSlash(parent) + prefix + "-" + std::to_string(::getpid()) + "-XXXXXX";
  if (::mkdtemp(templ.data()) == nullptr) return {};
  return templ + "/";
}

int RemoveStaleRunFolders(const std::string& parent, const std::string& prefix) {
  DIR* dir = ::opendir(WithoutSlash(parent).c_str());
  if (dir == nullptr) return 0;
  int removed = 0;
  while (const dirent* e = ::readdir(dir)) {
    const long pid = RunFolderPid(e->d_name, prefix);
    if (pid < 0 || pid == ::getpid()) continue;
    struct stat st {};
    if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) continue;
    // A run that still exists (or one we may not signal) keeps its folder.
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    if (platform::DeleteDirectoryTree(WithSlash(parent) + e->d_name)) ++removed;
  }
  ::closedir(dir);
  return removed;
}

void RemoveFolderFromSignalHandler(const char* folder) {
  if (folder == nullptr || folder[0] == '\0') return;
  const int dfd = ::open(folder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dfd >= 0) {
    alignas(8) char buffer[4096];
    // Removing entries while reading may hide others from the same pass; another pass finds them.
    for (int pass = 0; pass < 4; ++pass) {
      bool removedAny = false;
      ::lseek(dfd, 0, SEEK_SET);
      for (;;) {
        const ssize_t n = ::getdents64(dfd, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t off = 0; off < n;) {
          const auto* d = reinterpret_cast<const dirent64*>(buffer + off);
          off += d->d_reclen;
          const char* name = d->d_name;
          if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
          if (::unlinkat(dfd, name, 0) == 0) removedAny = true;
        }
      }
      if (!removedAny) break;
    }
    ::close(dfd);
  }
  ::rmdir(folder);
}

CLibraryCopy::~CLibraryCopy() { Release(); }

void CLibraryCopy::Reset() {
  dirDev_ = 0;
  dirIno_ = 0;
  fileDev_ = 0;
  fileIno_ = 0;
  size_ = 0;
  folder_.clear();
  name_.clear();
  file_.clear();
  load_.clear();
}

bool CLibraryCopy::WriteToFolder(std::span<const std::uint8_t> bytes, const std::string& folder,
                                 const std::string& fileName) {
  Release();
  if (bytes.empty() || folder.empty() || fileName.empty() ||
      fileName.find('/') != std::string::npos)
    return false;
  const std::string dir = WithoutSlash(folder);
  bool created = false;
  if (::mkdir(dir.c_str(), 0700) == 0) {
    created = true;
  } else if (errno != EEXIST) {
    return false;
  }
  // Opened without following links and checked through the descriptor: what is checked is
  // what the file is written into.
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dfd < 0) return false;
  struct stat st {};
  if (::fstat(dfd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
      (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    ::close(dfd);
    return false;
  }
  ::fchmod(dfd, 0700);

  std::string tmp;
  int fd = -1;
  for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
    tmp = "." + fileName + "." + UniqueSuffix();
    fd = ::openat(dfd, tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
    if (fd < 0 && errno != EEXIST) break;
  }
  struct stat fileSt {};
  bool ok = fd >= 0 && WriteAll(fd, bytes) && ::fchmod(fd, 0700) == 0 && ::fstat(fd, &fileSt) == 0;
  // Under its final name only once complete; an old copy of ours is replaced as a whole.
  if (ok) ok = ::renameat(dfd, tmp.c_str(), dfd, fileName.c_str()) == 0;
  if (!ok) {
    if (fd >= 0) {
      ::unlinkat(dfd, tmp.c_str(), 0);
      ::close(fd);
    }
    if (created) ::rmdir(dir.c_str());
    ::close(dfd);
    return false;
  }

  fd_ = fd;
  dirFd_ = dfd;
  dirDev_ = st.st_dev;
  dirIno_ = st.st_ino;
  fileDev_ = fileSt.st_dev;
  fileIno_ = fileSt.st_ino;
  size_ = bytes.size();
  folder_ = dir + "/";
  name_ = fileName;
  file_ = folder_ + fileName;
  load_ = ProcFdPath(fd_);
  if (!ProcFdAvailable()) load_ = file_;  // the folder is ours alone, so its name stays true

  if (!CanMapExecutable(fd_)) {
    // No use keeping a file nothing can run: the bytes go to memory instead.
    Remove();
    Release();
    return WriteToMemory(bytes);
  }
  return true;
}

bool CLibraryCopy::WriteToMemory(std::span<const std::uint8_t> bytes) {
  Release();
  if (bytes.empty() || !ProcFdAvailable()) return false;
  // Kernels that make memory files non-executable by default need the flag; older ones do
  // not know it.
  int fd = ::memfd_create("qmhdwlib.so", MFD_CLOEXEC | MFD_ALLOW_SEALING | MFD_EXEC);
  if (fd < 0 && errno == EINVAL)
    fd = ::memfd_create("qmhdwlib.so", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) return false;
  if (!WriteAll(fd, bytes)) {
    ::close(fd);
    return false;
  }
  // Sealed: nothing in this process can change the bytes after they were written.
  ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
  fd_ = fd;
  size_ = bytes.size();
  load_ = ProcFdPath(fd_);
  return true;
}

void CLibraryCopy::Remove() {
  if (dirFd_ < 0) return;
  if (!name_.empty()) {
    struct stat st {};
    if (::fstatat(dirFd_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_dev == fileDev_ &&
        st.st_ino == fileIno_) {
      ::unlinkat(dirFd_, name_.c_str(), 0);
    }
  }
  const std::string dir = WithoutSlash(folder_);
  struct stat st {};
  // Only the folder checked at creation, and only once empty: a folder of ours from an earlier
  // run goes too when nothing else is in it.
  if (::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_dev == dirDev_ &&
      st.st_ino == dirIno_) {
    ::rmdir(dir.c_str());
  }
  ::close(dirFd_);
  dirFd_ = -1;
}

void CLibraryCopy::Release() {
  if (dirFd_ >= 0) ::close(dirFd_);
  dirFd_ = -1;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  Reset();
}

}  // namespace korvane
