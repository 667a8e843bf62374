#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "platform/Messages.h"

namespace {

using ipc_test::ChildProcess;
using platform::BroadcastEvent;
using platform::BroadcastSubscription;
using platform::RegisterWindowMessage;

TEST(RegisterWindowMessageTest, NumbersAreInRangeStableAndIgnoreCase) {
  const std::uint32_t start = RegisterWindowMessage("WM_TOVIX_CPUSCORE_START");
  const std::uint32_t end = RegisterWindowMessage("WM_TOVIX_CPUSCORE_END");
  for (std::uint32_t n : {start, end}) {
    EXPECT_GE(n, 0xC000u);
    EXPECT_LE(n, 0xFFFFu);
  }
  EXPECT_NE(start, end);
  EXPECT_EQ(RegisterWindowMessage("wm_tovix_cpuscore_start"), start);
  EXPECT_EQ(RegisterWindowMessage("WM_TOVIX_CPUSCORE_START"), start);
}

TEST(RegisterWindowMessageTest, UnusableNamesGetZero) {
  EXPECT_EQ(RegisterWindowMessage(""), 0u);
  EXPECT_EQ(RegisterWindowMessage(std::string(256, 'A')), 0u);
  EXPECT_NE(RegisterWindowMessage(std::string(255, 'A')), 0u);
  EXPECT_EQ(RegisterWindowMessage(std::string("WM_A\0B", 6)), 0u);
}

TEST(RegisterWindowMessageTest, AnotherProcessGetsTheSameNumbers) {
  // The names the program and its sibling tools exchange. Registering all of them here and
  // each alone in a fresh process also shows none of them collides with another.
  const char* const names[] = {"WM_TOVIX_CPUSCORE_START", "WM_TOVIX_CPUSCORE_END",
                               "WM_TOVIX_MEMSCORE_START", "WM_TOVIX_MEMSCORE_END",
                               "WM_QMUPDATE_STARTSCAN",   "WM_QMUPDATE_SCANNING",
                               "WM_QMUPDATE_ENDSCAN"};
  for (const char* name : names) RegisterWindowMessage(name);
  for (const char* name : names) {
    ChildProcess child({"register", name});
    EXPECT_EQ(child.ReadLine(), std::to_string(RegisterWindowMessage(name))) << name;
    EXPECT_EQ(child.Wait(), 0);
  }
}

TEST(RegisterWindowMessageTest, AFullTableRefusesNewNamesButNeverRepeatsANumber) {
  // In its own process: filling the table here would starve the other tests.
  ChildProcess child({"register-many"});
  EXPECT_EQ(child.Wait(), 0);
}

// ---------------------------------------------------------------------------------------------

class BroadcastTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr) {
      GTEST_SKIP() << "no session bus (run under dbus-run-session)";
    }
  }

  // Collects the events whose name is ours: other programs may broadcast on the same bus.
  struct Collector {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<BroadcastEvent> events;
    std::string name;

    void Add(const BroadcastEvent& e) {
      if (e.name != name) return;
      std::lock_guard guard(lock);
      events.push_back(e);
      changed.notify_all();
    }
    bool WaitFor(std::size_t n) {
      std::unique_lock guard(lock);
      return changed.wait_for(guard, std::chrono::seconds(10), [&] { return events.size() >= n; });
    }
  };

  std::string name_ = "WM_TOVIX_TEST_" + std::to_string(getpid());
};

TEST_F(BroadcastTest, AnotherProcessReceivesTheNameAndBothParameters) {
  Collector collector;
  collector.name = name_;
  BroadcastSubscription subscription;
  ASSERT_TRUE(subscription.Start([&](const BroadcastEvent& e) { collector.Add(e); }));

  ChildProcess sender({"broadcast", name_, "1", "512"});
  EXPECT_EQ(sender.Wait(), 0);  // the sender exits right after sending: nothing may be lost
  ASSERT_TRUE(collector.WaitFor(1));
  EXPECT_EQ(collector.events[0].wParam, 1u);
  EXPECT_EQ(collector.events[0].lParam, 512);
}

TEST_F(BroadcastTest, ExtremeParametersArriveUnchangedAndStopEndsDelivery) {
  Collector collector;
  collector.name = name_;
  BroadcastSubscription subscription;
  ASSERT_TRUE(subscription.Start([&](const BroadcastEvent& e) { collector.Add(e); }));
  EXPECT_FALSE(subscription.Start([](const BroadcastEvent&) {})) << "already running";

  const platform::WParam bigW = ~platform::WParam{0};
  const platform::LParam negativeL = -700;
  ASSERT_TRUE(platform::BroadcastMessage(name_, bigW, negativeL));
  ASSERT_TRUE(platform::BroadcastMessage(name_, 0, 0));
  ASSERT_TRUE(collector.WaitFor(2));
  EXPECT_EQ(collector.events[0].wParam, bigW);
  EXPECT_EQ(collector.events[0].lParam, negativeL);
  EXPECT_EQ(collector.events[1].lParam, 0);

  subscription.Stop();
  ASSERT_TRUE(platform::BroadcastMessage(name_, 2, 2));
  // A second subscriber that does get it shows the signal went out; the stopped one must not.
  Collector later;
  later.name = name_;
  BroadcastSubscription second;
  ASSERT_TRUE(second.Start([&](const BroadcastEvent& e) { later.Add(e); }));
  ASSERT_TRUE(platform::BroadcastMessage(name_, 3, 3));
  ASSERT_TRUE(later.WaitFor(1));
  second.Stop();
  std::lock_guard guard(collector.lock);
  EXPECT_EQ(collector.events.size(), 2u);
}

TEST_F(BroadcastTest, SubscriptionCanStopFromItsOwnCallbackAndRestart) {
  Collector collector;
  collector.name = name_;
  BroadcastSubscription subscription;
  ASSERT_TRUE(subscription.Start([&](const BroadcastEvent& e) {
    // Other tests broadcast on the same bus at the same time: only our own event stops it.
    if (e.name != collector.name) return;
    subscription.Stop();
    collector.Add(e);
  }));
  ASSERT_TRUE(platform::BroadcastMessage(name_, 1, 1));
  ASSERT_TRUE(collector.WaitFor(1));
  subscription.Stop();  // joins the worker that stopped itself
  EXPECT_TRUE(subscription.Start([&](const BroadcastEvent& e) { collector.Add(e); }));
  ASSERT_TRUE(platform::BroadcastMessage(name_, 2, 2));
  EXPECT_TRUE(collector.WaitFor(2));
}

TEST(BroadcastWithoutBusTest, FailsQuietly) {
  // Pointing both lookups at nothing leaves sd-bus no bus to find.
  struct Saved {
    const char* name;
    std::optional<std::string> value;
  };
  std::vector<Saved> saved;
  for (const char* var : {"DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"}) {
    const char* v = std::getenv(var);
    saved.push_back({var, v ? std::optional<std::string>(v) : std::nullopt});
  }
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/korvane-bus", 1);
  setenv("XDG_RUNTIME_DIR", "/nonexistent", 1);
  EXPECT_FALSE(platform::BroadcastMessage("WM_TOVIX_CPUSCORE_END", 1, 100));
  EXPECT_FALSE(platform::BroadcastMessage("", 1, 100));
  BroadcastSubscription subscription;
  EXPECT_FALSE(subscription.Start([](const BroadcastEvent&) {}));
  subscription.Stop();
  for (const Saved& s : saved) {
    if (s.value) {
      setenv(s.name, s.value->c_str(), 1);
    } else {
      unsetenv(s.name);
    }
  }
}

// A session bus that accepts connections and never says a word (hung, stopped, or a trap on the
// socket). Each broadcast and a subscription must give up within the bound, and once the bus
// has not answered, the next broadcasts give up at once: four announcements of the scores once
// took six minutes here.
TEST(BroadcastWithoutBusTest, ASilentBusCostsSecondsNotMinutes) {
  const std::string folder = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                             "/silent-bus-" + std::to_string(getpid());
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  const std::string path = folder + "/bus";
  const int server = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(server, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, path.c_str(), path.size());
  ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(server, 64), 0);
  // Accepts every connection and keeps it open without answering.
  std::atomic<bool> stop{false};
  std::vector<int> accepted;
  std::thread acceptor([&] {
    while (!stop) {
      pollfd p{server, POLLIN, 0};
      if (poll(&p, 1, 50) > 0) {
        const int c = accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
        if (c >= 0) accepted.push_back(c);
      }
    }
  });

  const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + path).c_str(), 1);
  const auto start = std::chrono::steady_clock::now();
  auto seconds = [&start] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  EXPECT_FALSE(platform::BroadcastMessage("WM_TOVIX_CPUSCORE_START", 0, 0));
  const double first = seconds();
  for (int i = 0; i < 3; ++i)
    EXPECT_FALSE(platform::BroadcastMessage("WM_TOVIX_CPUSCORE_END", 1, 100));
  const double four = seconds();
  BroadcastSubscription subscription;
  EXPECT_FALSE(subscription.Start([](const BroadcastEvent&) {}));
  const double all = seconds();
  // Generous bounds: they tell a bounded wait from the library's own 90 s per message.
  EXPECT_LT(first, 10.0);
  EXPECT_LT(four, 10.0) << "a silent bus is not waited on again for every message";
  EXPECT_LT(all, 20.0);

  if (saved) {
    setenv("DBUS_SESSION_BUS_ADDRESS", saved->c_str(), 1);
  } else {
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
  }
  stop = true;
  acceptor.join();
  for (int c : accepted) close(c);
  close(server);
  unlink(path.c_str());
  rmdir(folder.c_str());
}

}  // namespace
