#include "platform/NamedMutex.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
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

TEST_F(SingleInstanceTest, BadNamesFailAndTheSharedTmpFallbackIsPerUser) {
  EXPECT_EQ(SingleInstanceLock("").Create(), SingleInstanceLock::Result::Failed);
  EXPECT_EQ(SingleInstanceLock("../escape").Create(), SingleInstanceLock::Result::Failed);
  EXPECT_FALSE(SingleInstanceLock::RequestActivation("../escape"));

  {
    SingleInstanceLock lock(name_);
    ASSERT_EQ(lock.Create(), SingleInstanceLock::Result::Acquired);
    EXPECT_TRUE(std::filesystem::exists(runtime_ / (name_ + ".lock")));
  }
  // Pointing at nothing (or unset): the shared /tmp, under a name that carries the user id.
  setenv("XDG_RUNTIME_DIR", (runtime_ / "missing").c_str(), 1);
  const std::filesystem::path tmpLock =
      "/tmp/" + name_ + "-" + std::to_string(getuid()) + ".lock";
  {
    SingleInstanceLock lock(name_);
    ASSERT_EQ(lock.Create(), SingleInstanceLock::Result::Acquired);
    EXPECT_TRUE(std::filesystem::exists(tmpLock));
    SingleInstanceLock again(name_);
    EXPECT_EQ(again.Create(), SingleInstanceLock::Result::AlreadyHeld);
  }
  std::filesystem::remove(tmpLock);
}

}  // namespace
