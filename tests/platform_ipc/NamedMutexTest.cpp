#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

#include "ChildProcess.h"
#include "platform/NamedMutex.h"
#include "platform/Paths.h"

namespace {

using platform::ProcessMutex;
using platform::SingleInstanceLock;
using WaitResult = ProcessMutex::WaitResult;
using ipc_test::ChildProcess;

std::string UniqueName(const std::string& stem) {
  static int counter = 0;
  return stem + "-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

class ProcessMutexTest : public ::testing::Test {
 protected:
  void TearDown() override { ProcessMutex::Remove(name_); }
  // The program's sensor mutex name, made unique so parallel test runs do not meet.
  std::string name_ = UniqueName("HWMonitor2");
};

TEST_F(ProcessMutexTest, OwnerThreadMayWaitAgainAndOtherThreadsTimeOutUntilReleased) {
  ProcessMutex mutex;
  ASSERT_TRUE(mutex.Create(name_));
  ASSERT_TRUE(mutex.IsValid());
  EXPECT_EQ(mutex.Wait(0), WaitResult::Acquired);
  EXPECT_EQ(mutex.Wait(0), WaitResult::Acquired);  // recursive, like a Windows mutex

  auto tryFromOtherThread = [this](std::uint32_t timeoutMs) {
    ProcessMutex other;
    if (!other.Create(name_)) return WaitResult::Failed;
    const WaitResult r = other.Wait(timeoutMs);
    if (r == WaitResult::Acquired) other.Release();
    return r;
  };
  auto other = [&](std::uint32_t timeoutMs) {
    WaitResult r = WaitResult::Failed;
    std::thread t([&] { r = tryFromOtherThread(timeoutMs); });
    t.join();
    return r;
  };
  EXPECT_EQ(other(5), WaitResult::Timeout);
  mutex.Release();
  EXPECT_EQ(other(5), WaitResult::Timeout) << "one release of two waits must keep it owned";
  mutex.Release();
  EXPECT_EQ(other(5), WaitResult::Acquired);
}

TEST_F(ProcessMutexTest, ClosingWhileOwnedGivesItBack) {
  ProcessMutex owner;
  ASSERT_TRUE(owner.Create(name_));
  ASSERT_EQ(owner.Wait(0), WaitResult::Acquired);
  owner.Close();
  EXPECT_FALSE(owner.IsValid());
  EXPECT_EQ(owner.Wait(0), WaitResult::Failed);

  WaitResult r = WaitResult::Failed;
  std::thread t([&] {
    ProcessMutex other;
    if (other.Create(name_)) r = other.Wait(5);
  });
  t.join();
  EXPECT_EQ(r, WaitResult::Acquired);
}

TEST_F(ProcessMutexTest, UnusableNamesAreRefused) {
  ProcessMutex mutex;
  EXPECT_FALSE(mutex.Create(""));
  EXPECT_FALSE(mutex.Create("a/b"));
  EXPECT_FALSE(mutex.Create(".."));
  EXPECT_FALSE(mutex.Create(std::string(300, 'x')));
  EXPECT_FALSE(mutex.IsValid());
  EXPECT_EQ(mutex.Wait(5), WaitResult::Failed);
  mutex.Release();  // harmless on an unopened mutex
}

TEST_F(ProcessMutexTest, HeldByAnotherProcessTimesOutThenIsAcquired) {
  ChildProcess child({"mutex-hold", name_, "hold"});
  ASSERT_TRUE(child.Started());
  ASSERT_EQ(child.ReadLine(), "locked");

  ProcessMutex mutex;
  ASSERT_TRUE(mutex.Create(name_));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(mutex.Wait(5), WaitResult::Timeout);
  // Only that the short wait does not hang; its precision is measured by the benchmark.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));

  child.CloseStdin();  // the helper releases and exits
  EXPECT_EQ(mutex.Wait(10000), WaitResult::Acquired);
  mutex.Release();
  EXPECT_EQ(child.Wait(), 0);
}

TEST_F(ProcessMutexTest, OwnerThatDiesMakesTheNextWaitAbandonedAndTheMutexStaysUsable) {
  for (const char* death : {"exit", "kill"}) {
    SCOPED_TRACE(death);
    ChildProcess child({"mutex-hold", name_, death});
    ASSERT_TRUE(child.Started());
    ASSERT_EQ(child.ReadLine(), "locked");
    child.Wait();

    ProcessMutex mutex;
    ASSERT_TRUE(mutex.Create(name_));
    EXPECT_EQ(mutex.Wait(5), WaitResult::Abandoned);
    mutex.Release();
    // Made consistent again: ordinary use goes on after an abandonment.
    EXPECT_EQ(mutex.Wait(5), WaitResult::Acquired);
    mutex.Release();
  }
}

TEST_F(ProcessMutexTest, ProcessesStartingTogetherShareOneMutex) {
  // Four processes create the same fresh object at once and then count under it; two
  // initialisations, or no exclusion, lose increments.
  const std::string file = std::filesystem::temp_directory_path() / (name_ + ".count");
  { std::ofstream(file) << 0; }
  constexpr int kChildren = 4;
  constexpr int kRounds = 50;
  std::vector<std::unique_ptr<ChildProcess>> children;
  for (int i = 0; i < kChildren; ++i) {
    children.push_back(std::make_unique<ChildProcess>(
        std::vector<std::string>{"mutex-count", name_, file, std::to_string(kRounds)}));
  }
  for (auto& child : children) EXPECT_EQ(child->Wait(), 0);
  long total = -1;
  std::ifstream(file) >> total;
  EXPECT_EQ(total, kChildren * kRounds);
  std::filesystem::remove(file);
}

// ---------------------------------------------------------------------------------------------

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A private runtime folder: the lock and socket of this run meet nobody else's. Deep on
    // purpose: its socket path is longer than a socket address can hold.
    const char* home = std::getenv("HOME");
    runtime_ = std::filesystem::path(home != nullptr ? home : "/tmp") /
               "a-runtime-folder-deeper-than-a-socket-address-can-hold" / name_;
    std::filesystem::create_directories(runtime_);
    // A runtime folder counts only when it is private, as the real one is.
    std::filesystem::permissions(runtime_, std::filesystem::perms::owner_all);
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    if (old != nullptr) oldRuntime_ = old;
    hadRuntime_ = old != nullptr;
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
  }
  void TearDown() override {
    if (hadRuntime_) {
      setenv("XDG_RUNTIME_DIR", oldRuntime_.c_str(), 1);
    } else {
      unsetenv("XDG_RUNTIME_DIR");
    }
    std::filesystem::remove_all(runtime_);
    if (!shortcut_.empty()) std::filesystem::remove(shortcut_);
  }

  // The socket reached by a short path, for clients written out by hand below.
  std::filesystem::path ShortSocketPath() {
    shortcut_ = "/tmp/korvane-ipc-test-" + name_;
    std::filesystem::create_directory_symlink(runtime_, shortcut_);
    return shortcut_ / (name_ + ".sock");
  }
  std::filesystem::path shortcut_;

  std::string name_ = UniqueName("TovixRunOnlyOneInstance");
  std::filesystem::path runtime_;
  std::string oldRuntime_;
  bool hadRuntime_ = false;
};

struct Signal {
  std::mutex lock;
  std::condition_variable changed;
  int count = 0;
  void Raise() {
    std::lock_guard guard(lock);
    ++count;
    changed.notify_all();
  }
  bool WaitFor(int n) {
    std::unique_lock guard(lock);
    return changed.wait_for(guard, std::chrono::seconds(10), [&] { return count >= n; });
  }
};

TEST_F(SingleInstanceTest, SecondProcessIsRefusedAndActivatesTheFirst) {
  ChildProcess first({"instance", name_});
  ASSERT_TRUE(first.Started());
  ASSERT_EQ(first.ReadLine(), "listening");

  SingleInstanceLock second(name_);
  EXPECT_EQ(second.Create(), SingleInstanceLock::Result::AlreadyHeld);
  EXPECT_FALSE(second.ListenForActivation([] {})) << "only the holder listens";
  EXPECT_TRUE(SingleInstanceLock::RequestActivation(name_));
  EXPECT_EQ(first.ReadLine(), "activated");
  EXPECT_TRUE(SingleInstanceLock::RequestActivation(name_));
  EXPECT_EQ(first.ReadLine(), "activated");
}

TEST_F(SingleInstanceTest, KilledHolderLeavesNothingThatBlocksTheNextStart) {
  {
    ChildProcess first({"instance", name_});
    ASSERT_EQ(first.ReadLine(), "listening");
    first.Kill();
    first.Wait();
  }
  EXPECT_FALSE(SingleInstanceLock::RequestActivation(name_)) << "nobody is listening";

  SingleInstanceLock lock(name_);
  ASSERT_EQ(lock.Create(), SingleInstanceLock::Result::Acquired);
  Signal activated;
  ASSERT_TRUE(lock.ListenForActivation([&] { activated.Raise(); }));

  ChildProcess other({"activate", name_});
  EXPECT_EQ(other.Wait(), 0);
  EXPECT_TRUE(activated.WaitFor(1));

  ChildProcess third({"instance", name_});
  EXPECT_EQ(third.ReadLine(), "held");
  EXPECT_EQ(third.Wait(), 3);
}

TEST_F(SingleInstanceTest, ReleaseLetsTheNextHolderInEvenFromInsideTheCallback) {
  auto lock = std::make_unique<SingleInstanceLock>(name_);
  ASSERT_EQ(lock->Create(), SingleInstanceLock::Result::Acquired);
  EXPECT_EQ(lock->Create(), SingleInstanceLock::Result::Acquired) << "already ours";
  Signal activated;
  ASSERT_TRUE(lock->ListenForActivation([&] {
    lock->Release();  // a program that quits when asked to come forward
    activated.Raise();
  }));
  ASSERT_TRUE(SingleInstanceLock::RequestActivation(name_));
  ASSERT_TRUE(activated.WaitFor(1));

  SingleInstanceLock next(name_);
  EXPECT_EQ(next.Create(), SingleInstanceLock::Result::Acquired);
  EXPECT_TRUE(next.ListenForActivation([&] { activated.Raise(); }));
  // Joins the listener that released from its own thread; the new holder's socket survives.
  lock.reset();
  EXPECT_TRUE(SingleInstanceLock::RequestActivation(name_));
  EXPECT_TRUE(activated.WaitFor(2));
}

int ConnectTo(const std::filesystem::path& socketPath) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

TEST_F(SingleInstanceTest, SilentOrWrongClientsDoNotActivateNorBlockTheListener) {
  SingleInstanceLock lock(name_);
  ASSERT_EQ(lock.Create(), SingleInstanceLock::Result::Acquired);
  std::atomic<int> count{0};
  ASSERT_TRUE(lock.ListenForActivation([&] { ++count; }));
  ASSERT_GT((runtime_ / (name_ + ".sock")).string().size(), sizeof(sockaddr_un::sun_path));
  const auto socketPath = ShortSocketPath();

  const int junk = ConnectTo(socketPath);
  ASSERT_GE(junk, 0);
  ASSERT_EQ(write(junk, "restart\n", 8), 8);
  char answer[16];
  EXPECT_EQ(read(junk, answer, sizeof answer), 0) << "junk gets no answer, only a close";
  close(junk);

  const int silent = ConnectTo(socketPath);  // connects and never says anything
  ASSERT_GE(silent, 0);
  EXPECT_TRUE(SingleInstanceLock::RequestActivation(name_));
  close(silent);
  EXPECT_EQ(count.load(), 1);
}

// Holds an flock on path in a child process until the returned process is ended.
pid_t HoldFlock(const std::string& path) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(path.c_str(), O_RDWR);
    const bool locked = fd >= 0 && flock(fd, LOCK_EX) == 0;
    const char answer = locked ? 'y' : 'n';
    [[maybe_unused]] ssize_t n = write(ready[1], &answer, 1);
    pause();
    _exit(0);
  }
  char answer = 0;
  close(ready[1]);
  [[maybe_unused]] ssize_t n = read(ready[0], &answer, 1);
  close(ready[0]);
  if (answer != 'y') {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
  }
  return pid;
}

void EndChild(pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// Runs body in a child with an alarm; the child's exit status, 128+14 when it had to be ended.
template <typename Body>
int WithinSeconds(unsigned seconds, Body&& body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    alarm(seconds);
    _exit(body());
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(SingleInstanceTest, BadNamesFailAndWithoutARuntimeFolderAPrivateOneIsUsed) {
  EXPECT_EQ(SingleInstanceLock("").Create(), SingleInstanceLock::Result::Failed);
  EXPECT_EQ(SingleInstanceLock("../escape").Create(), SingleInstanceLock::Result::Failed);
  EXPECT_FALSE(SingleInstanceLock::RequestActivation("../escape"));

  {
    SingleInstanceLock lock(name_);
    ASSERT_EQ(lock.Create(), SingleInstanceLock::Result::Acquired);
    EXPECT_TRUE(std::filesystem::exists(runtime_ / (name_ + ".lock")));
  }
  // Another user's lock file in the shared /tmp under the old fallback name, held for ever: it
  // must not make this program think it already runs. (As root the file belongs to "nobody";
  // otherwise to us, which makes no difference to a program that never looks there.)
  const std::string tmpLock = "/tmp/" + name_ + "-" + std::to_string(getuid()) + ".lock";
  { std::ofstream(tmpLock) << ""; }
  if (geteuid() == 0) {
    ASSERT_EQ(chown(tmpLock.c_str(), 65534, 65534), 0);
    chmod(tmpLock.c_str(), 0666);
  }
  const pid_t holder = HoldFlock(tmpLock);
  ASSERT_GT(holder, 0);
  for (const char* runtime : {"missing", "unset"}) {
    if (std::string(runtime) == "unset") {
      unsetenv("XDG_RUNTIME_DIR");
    } else {
      setenv("XDG_RUNTIME_DIR", (runtime_ / runtime).c_str(), 1);
    }
    const std::string folder = platform::RuntimeDirectory();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder, "/tmp/");
    SingleInstanceLock lock(name_);
    ASSERT_EQ(lock.Create(), SingleInstanceLock::Result::Acquired) << runtime;
    EXPECT_TRUE(std::filesystem::exists(folder + name_ + ".lock")) << runtime;
    SingleInstanceLock again(name_);
    EXPECT_EQ(again.Create(), SingleInstanceLock::Result::AlreadyHeld) << runtime;
    lock.Release();
    std::filesystem::remove(folder + name_ + ".lock");
  }
  EndChild(holder);
  std::filesystem::remove(tmpLock);
}

// "HWMonitor2" in /dev/shm is shared by every user. Somebody else's object under our name,
// even one locked for ever, is refused at once; so is one opened up to others or a FIFO.
TEST_F(ProcessMutexTest, ForeignOrOpenedUpObjectsAreRefusedNeverWaitedOn) {
  const std::string path = "/dev/shm/" + name_ + "." + std::to_string(geteuid());
  { std::ofstream(path) << std::string(256, '\0'); }
  chmod(path.c_str(), 0666);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
  }
  const pid_t holder = HoldFlock(path);
  ASSERT_GT(holder, 0);
  const std::string name = name_;
  EXPECT_EQ(WithinSeconds(5,
                          [&name] {
                            ProcessMutex mutex;
                            return mutex.Create(name) ? 1 : 0;
                          }),
            0)
      << "128+14: Create waited on another process's lock";
  EndChild(holder);
  ProcessMutex::Remove(name_);

  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(WithinSeconds(5,
                          [&name] {
                            ProcessMutex mutex;
                            return mutex.Create(name) ? 1 : 0;
                          }),
            0);
  ProcessMutex::Remove(name_);

  // Our own object, made the normal way, still works.
  ProcessMutex mine;
  ASSERT_TRUE(mine.Create(name_));
  EXPECT_EQ(mine.Wait(0), WaitResult::Acquired);
  mine.Release();
}

}  // namespace
