#include "platform/NamedMutex.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/Paths.h"

namespace platform {
namespace {

constexpr char kActivateRequest[] = "activate\n";
constexpr char kActivateAnswer[] = "ok\n";
constexpr int kActivationTimeoutMs = 2000;
constexpr int kCreationLockMs = 2000;

// Object names end up in file names; anything that could climb out of the folder or hide in
// a path is refused rather than rewritten, so two spellings never meet in one file.
bool IsUsableName(std::string_view name) {
  if (name.empty() || name.size() > 200) return false;
  for (char c : name) {
    if (c == '/' || c == '\0' || c == '\n') return false;
  }
  return name != "." && name != "..";
}

// The lock file and socket live in the user's private runtime folder (a folder of this user
// that nobody else can enter, made by us when $XDG_RUNTIME_DIR is missing or not private).
// Never in a shared folder: another user could pre-create the lock there and stop this
// program from starting, or answer its activation requests. Empty when there is no such folder.
std::string InstanceBasePath(std::string_view name) {
  const std::string folder = RuntimeDirectory();
  if (folder.empty()) return {};
  return folder + std::string(name);
}

// Waits for an flock at most timeoutMs; the holders this program expects keep it for
// microseconds, and anybody else holding it must not be able to hang us.
bool LockWithin(int fd, int timeoutMs) {
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  long pauseUs = 100;
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long elapsedMs =
        (now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000L;
    if (elapsedMs >= timeoutMs) return false;
    usleep(static_cast<useconds_t>(pauseUs));
    pauseUs = std::min(pauseUs * 2, 5000L);
  }
}

void CloseFd(int& fd) {
  if (fd >= 0) {
    close(fd);
    fd = -1;
  }
}

// A socket address holds at most 107 bytes of path, less than a deep runtime folder may need.
// A longer path is reached through our open handle of its folder ("/proc/self/fd/N/name"),
// which the kernel resolves like the full path; the handle stays open while in use.
class SocketAddress {
 public:
  explicit SocketAddress(const std::string& path) {
    std::memset(&address_, 0, sizeof address_);
    address_.sun_family = AF_UNIX;
    std::string usable = path;
    if (usable.size() >= sizeof address_.sun_path) {
      const std::size_t slash = path.rfind('/');
      if (slash == std::string::npos) return;
      const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
      folderFd_ = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      if (folderFd_ < 0) return;
      usable = "/proc/self/fd/" + std::to_string(folderFd_) + path.substr(slash);
      if (usable.size() >= sizeof address_.sun_path) return;
    }
    std::memcpy(address_.sun_path, usable.data(), usable.size());
    ok_ = true;
  }
  ~SocketAddress() {
    if (folderFd_ >= 0) close(folderFd_);
  }
  SocketAddress(const SocketAddress&) = delete;
  SocketAddress& operator=(const SocketAddress&) = delete;

  bool ok() const { return ok_; }
  const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address_); }
  socklen_t size() const { return sizeof address_; }

 private:
  sockaddr_un address_;
  int folderFd_ = -1;
  bool ok_ = false;
};

bool WaitReadable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  int r;
  do {
    r = poll(&p, 1, timeoutMs);
  } while (r < 0 && errno == EINTR);
  return r > 0;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Reads until a newline, the buffer is full, the peer closes or the time runs out; the time
// is for the whole line, so a peer dribbling bytes cannot stretch it.
std::string ReadLine(int fd, int timeoutMs) {
  std::string text;
  char buffer[64];
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  while (text.size() < 64 && text.find('\n') == std::string::npos) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long elapsedMs =
        (now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000L;
    if (elapsedMs >= timeoutMs || !WaitReadable(fd, static_cast<int>(timeoutMs - elapsedMs))) break;
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// SingleInstanceLock

struct SingleInstanceLock::Impl {
  std::string name;
  int lockFd = -1;
  int listenFd = -1;
  int stopFd = -1;
  std::string socketPath;
  dev_t socketDev = 0;
  ino_t socketIno = 0;
  std::thread listener;
  std::function<void()> onActivate;

  // False when called from the listener itself (the callback releasing the lock, e.g. a
  // program that quits on activation): a thread cannot join itself, so it is only told to
  // end and is joined by a later call from another thread.
  bool StopListening() {
    if (listener.joinable()) {
      const std::uint64_t one = 1;
      [[maybe_unused]] ssize_t n = write(stopFd, &one, sizeof one);
      if (listener.get_id() == std::this_thread::get_id()) return false;
      listener.join();
    }
    if (listenFd >= 0) {
      CloseFd(listenFd);
      // Remove the socket file only while it is still ours: after a release from inside the
      // callback a new holder may already have put its own in its place.
      struct stat now {};
      if (lstat(socketPath.c_str(), &now) == 0 && now.st_dev == socketDev &&
          now.st_ino == socketIno) {
        unlink(socketPath.c_str());
      }
    }
    CloseFd(stopFd);
    return true;
  }

  void Serve() {
    for (;;) {
      pollfd fds[2] = {{listenFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
      int r = poll(fds, 2, -1);
      if (r < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents != 0) return;
      if ((fds[0].revents & POLLIN) == 0) {
        if (fds[0].revents != 0) return;
        continue;
      }
      int client = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      // A client that connects and says nothing must not hold up the next one for long.
      const std::string request = ReadLine(client, 500);
      if (request == kActivateRequest) {
        // The callback is the program's; whatever it throws must not end this process from a
        // background thread, and the next activation still deserves an answer. The answer
        // follows the callback, so a requester that heard "ok" knows it has run.
        try {
          onActivate();
        } catch (...) {
        }
        WriteAll(client, kActivateAnswer, sizeof kActivateAnswer - 1);
      }
      close(client);
    }
  }
};

SingleInstanceLock::SingleInstanceLock(std::string name) : impl_(std::make_unique<Impl>()) {
  impl_->name = std::move(name);
}

SingleInstanceLock::~SingleInstanceLock() {
  if (impl_ && !impl_->StopListening()) {
    // Destroyed from inside its own callback: the listener still runs on this very stack,
    // so its state must outlive us. Leaked on purpose; the thread ends when the callback
    // returns.
    CloseFd(impl_->lockFd);
    impl_->listener.detach();
    impl_.release();
    return;
  }
  Release();
}

SingleInstanceLock::Result SingleInstanceLock::Create() {
  if (impl_->lockFd >= 0) return Result::Acquired;
  if (!IsUsableName(impl_->name)) return Result::Failed;
  const std::string base = InstanceBasePath(impl_->name);
  if (base.empty()) return Result::Failed;
  const std::string lockPath = base + ".lock";
  // No link following and no waiting on a FIFO, whatever sits under the name.
  int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY,
                0600);
  if (fd < 0) return Result::Failed;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
    close(fd);
    return Result::Failed;
  }
  // flock belongs to the open file, so the kernel drops it when the holder dies in any way,
  // kill -9 included; the file itself is left in place on purpose (removing it would let two
  // processes lock two different files of the same name).
  int r;
  do {
    r = flock(fd, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  if (r != 0) {
    const int error = errno;
    close(fd);
    return error == EWOULDBLOCK ? Result::AlreadyHeld : Result::Failed;
  }
  impl_->lockFd = fd;
  impl_->socketPath = base + ".sock";
  return Result::Acquired;
}

bool SingleInstanceLock::ListenForActivation(std::function<void()> onActivate) {
  Impl& impl = *impl_;
  if (impl.lockFd < 0 || impl.listener.joinable() || !onActivate) return false;
  SocketAddress address(impl.socketPath);
  if (!address.ok()) return false;
  impl.listenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (impl.listenFd < 0) return false;
  // A socket file left by a holder that was killed would make bind fail; we hold the lock,
  // so nobody else can be listening there.
  unlink(impl.socketPath.c_str());
  // Tightened after binding rather than through umask, which would change file modes for
  // every thread of the process at once.
  const bool bound = bind(impl.listenFd, address.get(), address.size()) == 0 &&
                     chmod(impl.socketPath.c_str(), 0600) == 0;
  if (!bound || listen(impl.listenFd, 8) != 0) {
    CloseFd(impl.listenFd);
    return false;
  }
  struct stat created {};
  if (lstat(impl.socketPath.c_str(), &created) == 0) {
    impl.socketDev = created.st_dev;
    impl.socketIno = created.st_ino;
  }
  impl.stopFd = eventfd(0, EFD_CLOEXEC);
  if (impl.stopFd < 0) {
    CloseFd(impl.listenFd);
    unlink(impl.socketPath.c_str());
    return false;
  }
  impl.onActivate = std::move(onActivate);
  try {
    impl.listener = std::thread([&impl] { impl.Serve(); });
  } catch (const std::system_error&) {
    CloseFd(impl.stopFd);
    CloseFd(impl.listenFd);
    unlink(impl.socketPath.c_str());
    return false;
  }
  return true;
}

bool SingleInstanceLock::RequestActivation(std::string_view name) {
  if (!IsUsableName(name)) return false;
  const std::string base = InstanceBasePath(name);
  if (base.empty()) return false;
  SocketAddress address(base + ".sock");
  if (!address.ok()) return false;
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  int r;
  do {
    r = connect(fd, address.get(), address.size());
  } while (r != 0 && errno == EINTR);
  bool answered = false;
  if (r == 0 && WriteAll(fd, kActivateRequest, sizeof kActivateRequest - 1)) {
    answered = ReadLine(fd, kActivationTimeoutMs) == kActivateAnswer;
  }
  close(fd);
  return answered;
}

void SingleInstanceLock::Release() {
  if (!impl_) return;
  impl_->StopListening();
  CloseFd(impl_->lockFd);
}

// ---------------------------------------------------------------------------------------------
// ProcessMutex

namespace {

constexpr std::uint32_t kSharedMagic = 0x4B4D5458;  // "KMTX"
constexpr std::uint32_t kSharedVersion = 1;

struct SharedMutex {
  std::uint32_t magic;
  std::uint32_t version;
  pthread_mutex_t mutex;
};

std::string SharedObjectName(std::string_view name) {
  // Windows keeps unprefixed names per session; per user is the nearest Linux match, and it
  // stops another user from owning (and so blocking) our mutex.
  return "/" + std::string(name) + "." + std::to_string(geteuid());
}

bool InitialiseShared(SharedMutex& shared) {
  pthread_mutexattr_t attributes;
  if (pthread_mutexattr_init(&attributes) != 0) return false;
  // Recursive like a Windows mutex (the owning thread may wait again); robust so that an
  // owner that dies hands the next waiter EOWNERDEAD, which is Windows' abandoned mutex.
  bool ok = pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED) == 0 &&
            pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST) == 0 &&
            pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE) == 0 &&
            pthread_mutex_init(&shared.mutex, &attributes) == 0;
  pthread_mutexattr_destroy(&attributes);
  if (!ok) return false;
  shared.version = kSharedVersion;
  shared.magic = kSharedMagic;
  return true;
}

}  // namespace

struct ProcessMutex::Impl {
  int fd = -1;
  SharedMutex* shared = nullptr;
  // Lock count taken through this object, so Close can give back what it still holds.
  std::mutex countLock;
  int held = 0;
};

ProcessMutex::ProcessMutex() : impl_(std::make_unique<Impl>()) {}

ProcessMutex::~ProcessMutex() { Close(); }

bool ProcessMutex::Create(std::string_view name) {
  Close();
  if (!IsUsableName(name)) return false;
  const std::string objectName = SharedObjectName(name);
  int fd =
      shm_open(objectName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) return false;
  // Only our own object is used, and that is decided before anything can wait on it: another
  // user may have made the name first (the shared /dev/shm lets anybody) and hold a lock on it
  // for ever. A FIFO or anything else that is not a plain memory object is refused the same way.
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid() ||
      (info.st_mode & 077) != 0) {
    close(fd);
    return false;
  }
  // Creation lock: two processes may both find the object new. flock is dropped by the kernel
  // if the creator dies half-way, so a crash during setup cannot wedge later starts; a holder
  // that stays is a stopped process of ours, and the wait for it is bounded.
  bool ok = LockWithin(fd, kCreationLockMs) && fstat(fd, &info) == 0;
  if (ok && static_cast<std::size_t>(info.st_size) < sizeof(SharedMutex)) {
    ok = ftruncate(fd, sizeof(SharedMutex)) == 0;
  }
  void* memory = MAP_FAILED;
  if (ok) {
    memory = mmap(nullptr, sizeof(SharedMutex), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ok = memory != MAP_FAILED;
  }
  if (ok) {
    auto* shared = static_cast<SharedMutex*>(memory);
    if (shared->magic == 0) {
      ok = InitialiseShared(*shared);
    } else {
      // Someone else's object under our name, or an older layout: using it would be undefined.
      ok = shared->magic == kSharedMagic && shared->version == kSharedVersion;
    }
  }
  flock(fd, LOCK_UN);
  if (!ok) {
    if (memory != MAP_FAILED) munmap(memory, sizeof(SharedMutex));
    close(fd);
    return false;
  }
  impl_->fd = fd;
  impl_->shared = static_cast<SharedMutex*>(memory);
  return true;
}

bool ProcessMutex::IsValid() const { return impl_->shared != nullptr; }

ProcessMutex::WaitResult ProcessMutex::Wait(std::uint32_t timeoutMs) {
  if (impl_->shared == nullptr) return WaitResult::Failed;
  pthread_mutex_t* mutex = &impl_->shared->mutex;
  int r;
  if (timeoutMs == 0xFFFFFFFFu) {  // INFINITE
    r = pthread_mutex_lock(mutex);
  } else {
    // A monotonic deadline: a wall-clock step must not stretch or cut short a 5 ms wait.
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(timeoutMs / 1000);
    deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
      deadline.tv_sec += 1;
      deadline.tv_nsec -= 1000000000L;
    }
    do {
      r = pthread_mutex_clocklock(mutex, CLOCK_MONOTONIC, &deadline);
    } while (r == EINTR);
  }
  switch (r) {
    case 0: {
      std::lock_guard guard(impl_->countLock);
      ++impl_->held;
      return WaitResult::Acquired;
    }
    case EOWNERDEAD: {
      // We own it now; marking it consistent keeps it usable for everyone after us, as a
      // Windows mutex stays usable after WAIT_ABANDONED.
      pthread_mutex_consistent(mutex);
      std::lock_guard guard(impl_->countLock);
      ++impl_->held;
      return WaitResult::Abandoned;
    }
    case ETIMEDOUT:
      return WaitResult::Timeout;
    default:
      return WaitResult::Failed;
  }
}

void ProcessMutex::Release() {
  if (impl_->shared == nullptr) return;
  // Unlock fails (EPERM) for a thread that does not own it, as ReleaseMutex does.
  if (pthread_mutex_unlock(&impl_->shared->mutex) == 0) {
    std::lock_guard guard(impl_->countLock);
    if (impl_->held > 0) --impl_->held;
  }
}

void ProcessMutex::Close() {
  if (impl_->shared == nullptr) return;
  // A handle closed while owned would leave the mutex locked by a live process until it
  // exits; give back what the calling thread still owns.
  int held;
  {
    std::lock_guard guard(impl_->countLock);
    held = impl_->held;
  }
  for (int i = 0; i < held; ++i) {
    if (pthread_mutex_unlock(&impl_->shared->mutex) != 0) break;
  }
  munmap(impl_->shared, sizeof(SharedMutex));
  impl_->shared = nullptr;
  impl_->held = 0;
  CloseFd(impl_->fd);
}

bool ProcessMutex::Remove(std::string_view name) {
  if (!IsUsableName(name)) return false;
  return shm_unlink(SharedObjectName(name).c_str()) == 0;
}

}  // namespace platform
