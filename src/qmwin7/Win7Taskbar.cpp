// The taskbar library: launcher progress published as the Unity launcher-entry signal on the
// session bus, which docks and panels (Plasma, Dash to Dock, Plank) show on the program's
// icon. Everything else the taskbar once offered has no Linux counterpart and succeeds
// without effect. Any failure (no session bus) is silent: progress is decoration.
#include <systemd/sd-bus.h>

#include <mutex>

#include "qmwin7/Win7Taskbar.h"

#define WIN7_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr const char* kInterface = "com.canonical.Unity.LauncherEntry";
constexpr const char* kPath = "/com/quillmark/korvane/LauncherEntry";

std::mutex g_mutex;
sd_bus* g_bus = nullptr;

sd_bus* Bus() {
  if (g_bus == nullptr && sd_bus_open_user(&g_bus) < 0) g_bus = nullptr;
  return g_bus;
}

bool EmitProgress(double progress, bool visible) {
  std::lock_guard<std::mutex> lock(g_mutex);
  sd_bus* bus = Bus();
  if (bus == nullptr) return false;
  sd_bus_message* m = nullptr;
  int r = sd_bus_message_new_signal(bus, &m, kPath, kInterface, "Update");
  if (r >= 0) r = sd_bus_message_append(m, "s", kWin7LauncherAppUri);
  if (r >= 0) r = sd_bus_message_open_container(m, 'a', "{sv}");
  if (r >= 0) r = sd_bus_message_append(m, "{sv}", "progress", "d", progress);
  if (r >= 0) r = sd_bus_message_append(m, "{sv}", "progress-visible", "b", visible ? 1 : 0);
  if (r >= 0) r = sd_bus_message_close_container(m);
  if (r >= 0) r = sd_bus_send(bus, m, nullptr);
  // A signal left in the output queue would be lost if the process ended right after.
  if (r >= 0) r = sd_bus_flush(bus);
  sd_bus_message_unref(m);
  if (r < 0) {
    // A broken connection is not reused; the next call opens a fresh one.
    g_bus = sd_bus_flush_close_unref(g_bus);
    return false;
  }
  return true;
}

}  // namespace

WIN7_EXPORT int Win7_SetAppID(void* /*window*/, int /*flags*/) { return 1; }
WIN7_EXPORT int Win7_InitTaskBar() { return 1; }

WIN7_EXPORT int Win7_FreeTaskBar() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_bus = sd_bus_flush_close_unref(g_bus);
  return 1;
}

WIN7_EXPORT int Win7_ResetProgress(void* /*window*/) { return EmitProgress(0.0, false) ? 1 : 0; }

WIN7_EXPORT int Win7_SetProgress(void* /*window*/, int value, int total) {
  if (total <= 0) return 0;
  double fraction = static_cast<double>(value) / static_cast<double>(total);
  if (fraction < 0.0) fraction = 0.0;
  if (fraction > 1.0) fraction = 1.0;
  return EmitProgress(fraction, true) ? 1 : 0;
}

WIN7_EXPORT int Win7_DeleteJumpList() { return 1; }
WIN7_EXPORT int Win7_AddTasksToList() { return 1; }
