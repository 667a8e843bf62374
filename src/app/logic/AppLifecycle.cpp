#include "app/logic/AppLifecycle.h"

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "app/logic/RunMode.h"
#include "app/logic/SelfUpdater.h"
#include "config/Edition.h"
#include "config/LanguageRes.h"
#include "config/Product.h"
#include "hwlib/HardwareLibrary.h"
#include "online/UsageEventLog.h"
#include "platform/Paths.h"

namespace korvane {

bool CTaskbarLibrary::LoadFrom(const std::string& path) {
  if (!module.Load(path)) return false;
  setAppId = reinterpret_cast<Win7SetAppIdFn>(module.Resolve("Win7_SetAppID"));
  initTaskBar = reinterpret_cast<Win7InitTaskBarFn>(module.Resolve("Win7_InitTaskBar"));
  freeTaskBar = reinterpret_cast<Win7FreeTaskBarFn>(module.Resolve("Win7_FreeTaskBar"));
  resetProgress = reinterpret_cast<Win7ResetProgressFn>(module.Resolve("Win7_ResetProgress"));
  setProgress = reinterpret_cast<Win7SetProgressFn>(module.Resolve("Win7_SetProgress"));
  deleteJumpList = reinterpret_cast<Win7DeleteJumpListFn>(module.Resolve("Win7_DeleteJumpList"));
  addTasksToList = reinterpret_cast<Win7AddTasksToListFn>(module.Resolve("Win7_AddTasksToList"));
  return true;
}

bool CTaskbarLibrary::Load() {
  // The companion libraries are installed beside the program; a bare name would only search
  // the system's library folders.
  const std::string beside = platform::ExecutableDirectory() + "qmwin7.dll";
  if (platform::FileExists(beside) && LoadFrom(beside)) return true;
  return LoadFrom("qmwin7.dll");
}

CTaskbarLibrary& TaskbarLibrary() {
  static CTaskbarLibrary* library = new CTaskbarLibrary;  // outlives every window
  return *library;
}

void StaticInitialise() {
  UsageLogInitialise();
  TaskbarLibrary().Load();
  RunSelfUpdaterBootstrap();
  LanguageRes();
}

void StaticFinalise() {
  ReleaseSelfUpdater();
  UsageLogShutdown();
}

namespace {
// Set while an instance owns the program and its exit sequence has not run yet.
std::atomic<bool> g_exitPending{false};
std::once_flag g_exitHandlerOnce;

void RemoveLibraryAndRecordExit() {
  RemoveHardwareLibraryDirectory();
  UsageLogSetIdentity(kProductVersionLong, "", 0);
  UsageLogEmit(kUsageProgramExit);
}
}  // namespace

void RunPendingExitCleanUp() {
  // Only the files and the record: the library stays loaded, as threads may still be in it
  // while the process ends.
  if (g_exitPending.exchange(false)) RemoveLibraryAndRecordExit();
}

CKorvaneApp::CKorvaneApp() = default;
CKorvaneApp::~CKorvaneApp() = default;

int CKorvaneApp::ExitCode() const {
  if (editionRefused_) return 1;
  if (!ranMainWindow_) return 0;
  const int status = StartupStatusValue();
  return status == kStartupFailed || status == kStartupFailedShowingMessage ? 1 : 0;
}

bool ActivateOtherInstance() {
  return platform::SingleInstanceLock::RequestActivation(kSingleInstanceName);
}

bool CKorvaneApp::InitInstance(const std::vector<std::string>& argv, IAppShell& shell) {
  SetRunMode(ParseRunMode(WindowsCommandLine(argv)));
  std::setlocale(LC_CTYPE, "");
  if (!EnforceEdition()) {
    editionRefused_ = true;
    return false;
  }

  lock_ = std::make_unique<platform::SingleInstanceLock>(kSingleInstanceName);
  if (lock_->Create() != platform::SingleInstanceLock::Result::Acquired) {
    lock_.reset();
    ActivateOtherInstance();
    return false;
  }
  ownsInstance_ = true;
  g_exitPending.store(true);
  std::call_once(g_exitHandlerOnce, [] { std::atexit(&RunPendingExitCleanUp); });

  std::srand(static_cast<unsigned>(std::time(nullptr)));
  UsageLogSetIdentity(kProductVersionLong, "", 0);
  shell.SetSettingsKeyName(kSettingsKeyName);
  CreateSensorMutex();
  ExtractHardwareLibrary();

  ranMainWindow_ = true;
  shell.RunMainWindow();
  return false;
}

void CKorvaneApp::ExitInstance() {
  if (!ownsInstance_) return;
  ownsInstance_ = false;
  g_exitPending.store(false);
  HardwareLibraryShutdown();
  if (lock_) {
    lock_->Release();
    lock_.reset();
  }
  CloseSensorMutex();
  RemoveLibraryAndRecordExit();
}

}  // namespace korvane
