#pragma once
// The program's life outside its windows: what runs before the application object, the
// application start (run mode, single instance, identity, "HWMonitor2", library extraction)
// and the exit sequence. The window side is reached through IAppShell, so the order is the
// same with Qt and under test.
#include <memory>
#include <string>
#include <vector>

#include "platform/DynamicLibrary.h"
#include "platform/NamedMutex.h"
#include "qmwin7/Win7Taskbar.h"

namespace korvane {

inline constexpr const char* kSingleInstanceName = "TovixRunOnlyOneInstance";
inline constexpr const char* kSettingsKeyName = "Korvane 2.0";

// The optional taskbar library and the exports it offers (each may be missing).
struct CTaskbarLibrary {
  platform::DynamicLibrary module;
  Win7SetAppIdFn setAppId = nullptr;
  Win7InitTaskBarFn initTaskBar = nullptr;
  Win7FreeTaskBarFn freeTaskBar = nullptr;
  Win7ResetProgressFn resetProgress = nullptr;
  Win7SetProgressFn setProgress = nullptr;
  Win7DeleteJumpListFn deleteJumpList = nullptr;
  Win7AddTasksToListFn addTasksToList = nullptr;

  // "qmwin7.dll" by name (beside the program first, then the system's search).
  bool Load();
  bool LoadFrom(const std::string& path);
};
CTaskbarLibrary& TaskbarLibrary();

// Before the application object runs: usage event log, taskbar library, self-updater
// bootstrap, language table.
void StaticInitialise();
// The matching static clean-up at process end.
void StaticFinalise();

class IAppShell {
 public:
  virtual ~IAppShell() = default;
  virtual void SetSettingsKeyName(const std::string& name) = 0;
  // Construct the main window, run it until it closes, destroy it.
  virtual void RunMainWindow() = 0;
};

class CKorvaneApp {
 public:
  CKorvaneApp();
  ~CKorvaneApp();

  // argv as the process received it. Always ends with false, as the process ends once the
  // main window has closed; `ranMainWindow` tells whether the exit sequence is due.
  bool InitInstance(const std::vector<std::string>& argv, IAppShell& shell);
  bool RanMainWindow() const { return ranMainWindow_; }
  // The exit sequence. Only a process that got past the single-instance rule runs it: a
  // second instance must not remove the library folder the first one is using.
  void ExitInstance();

  // The process's exit status: non-zero when the program refused to run (edition check,
  // hardware library that could not be started); a second instance that handed over and a
  // window closed by the user or by a quit signal end with 0.
  int ExitCode() const;

  // The holder's activation channel (the window connects it once it exists).
  platform::SingleInstanceLock* InstanceLock() { return lock_.get(); }

 private:
  std::unique_ptr<platform::SingleInstanceLock> lock_;
  bool ownsInstance_ = false;
  bool ranMainWindow_ = false;
  bool editionRefused_ = false;
};

// Used when the process ends by exit() from inside the window (the display went away: the
// toolkit ends the process itself): the library copy is removed and the exit recorded, as the
// exit sequence would have done. Registered once the instance is ours.
void RunPendingExitCleanUp();

// Asks the instance that holds the lock to restore and raise its main window.
bool ActivateOtherInstance();

}  // namespace korvane
