#include "platform/Messages.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ChildProcess.h"

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

}  // namespace
