#pragma once
// The taskbar library's exports, as the program resolves them by name. `window` is the
// program's opaque window handle; results are 1 for success, 0 for failure.
#include <cstdint>

extern "C" {
typedef int (*Win7SetAppIdFn)(void* window, int flags);
typedef int (*Win7InitTaskBarFn)();
typedef int (*Win7FreeTaskBarFn)();
typedef int (*Win7ResetProgressFn)(void* window);
typedef int (*Win7SetProgressFn)(void* window, int value, int total);
typedef int (*Win7DeleteJumpListFn)();
typedef int (*Win7AddTasksToListFn)();
}

// The launcher entry the progress is published for (the installed .desktop file).
inline constexpr const char* kWin7LauncherAppUri = "application://korvane.desktop";
