#include <dlfcn.h>
#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <string>
#include <vector>

#include "qmwin7/Win7Taskbar.h"

namespace {

struct Update {
  std::string app;
  double progress = -1;
  int visible = -1;
};

// Listens on the session bus for launcher-entry updates, as a dock does.
class Dock {
 public:
  bool Open() {
    if (sd_bus_open_user(&bus_) < 0) return false;
    return sd_bus_add_match(bus_, nullptr,
                            "type='signal',interface='com.canonical.Unity.LauncherEntry',member='Update'",
                            &Dock::OnSignal, this) >= 0;
  }
  ~Dock() { sd_bus_flush_close_unref(bus_); }

  bool WaitFor(std::size_t count) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (updates.size() < count && std::chrono::steady_clock::now() < end) {
      if (sd_bus_process(bus_, nullptr) > 0) continue;
      sd_bus_wait(bus_, 100000);
    }
    return updates.size() >= count;
  }
  std::vector<Update> updates;

 private:
  static int OnSignal(sd_bus_message* m, void* self, sd_bus_error*) {
    Update u;
    const char* app = nullptr;
    if (sd_bus_message_read(m, "s", &app) < 0) return 0;
    u.app = app;
    if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0) return 0;
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
      const char* key = nullptr;
      sd_bus_message_read(m, "s", &key);
      const std::string k = key;
      if (k == "progress") {
        sd_bus_message_read(m, "v", "d", &u.progress);
      } else if (k == "progress-visible") {
        sd_bus_message_read(m, "v", "b", &u.visible);
      } else {
        sd_bus_message_skip(m, "v");
      }
      sd_bus_message_exit_container(m);
    }
    static_cast<Dock*>(self)->updates.push_back(u);
    return 0;
  }
  sd_bus* bus_ = nullptr;
};

class Win7Taskbar : public ::testing::Test {
 protected:
  void SetUp() override {
    lib_ = dlopen(KORVANE_BIN_DIR "/qmwin7.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib_, nullptr) << dlerror();
    setProgress = reinterpret_cast<Win7SetProgressFn>(dlsym(lib_, "Win7_SetProgress"));
    resetProgress = reinterpret_cast<Win7ResetProgressFn>(dlsym(lib_, "Win7_ResetProgress"));
    freeTaskBar = reinterpret_cast<Win7FreeTaskBarFn>(dlsym(lib_, "Win7_FreeTaskBar"));
    ASSERT_TRUE(setProgress && resetProgress && freeTaskBar);
  }
  void TearDown() override {
    if (freeTaskBar) freeTaskBar();
    if (lib_) dlclose(lib_);
  }
  void* lib_ = nullptr;
  Win7SetProgressFn setProgress = nullptr;
  Win7ResetProgressFn resetProgress = nullptr;
  Win7FreeTaskBarFn freeTaskBar = nullptr;
};

TEST_F(Win7Taskbar, ProgressReachesADockOnTheSessionBus) {
  Dock dock;
  if (!dock.Open()) GTEST_SKIP() << "no session bus";
  int window = 0;
  EXPECT_EQ(setProgress(&window, 25, 100), 1);
  EXPECT_EQ(setProgress(&window, 300, 100), 1);  // beyond the range shows full
  EXPECT_EQ(resetProgress(&window), 1);
  ASSERT_TRUE(dock.WaitFor(3));
  EXPECT_EQ(dock.updates[0].app, kWin7LauncherAppUri);
  EXPECT_DOUBLE_EQ(dock.updates[0].progress, 0.25);
  EXPECT_EQ(dock.updates[0].visible, 1);
  EXPECT_DOUBLE_EQ(dock.updates[1].progress, 1.0);
  EXPECT_EQ(dock.updates[2].visible, 0);
}

TEST_F(Win7Taskbar, NoSessionBusFailsQuietly) {
  const char* saved = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string keep = saved ? saved : "";
  freeTaskBar();
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
  EXPECT_EQ(setProgress(nullptr, 10, 100), 0);
  EXPECT_EQ(resetProgress(nullptr), 0);
  if (saved) {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", keep.c_str(), 1);
  } else {
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
  }
}

}  // namespace
