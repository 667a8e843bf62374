#pragma once
// The hardware library's life in the program: written out of the executable's resources,
// loaded and started behind the splash window, refreshed once a second, shut down in order at
// exit, and its folder removed. Also the guard that serialises sensor reads across processes.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "hwlib/CpuidSdk.h"
#include "hwlib/LibraryCopy.h"
#include "platform/NamedMutex.h"

namespace korvane {

// Start-up status values, published by the start-up thread and polled by the splash window.
enum StartupStatus : int {
  kStartupRunning = 0,
  kStartupReady = 1,
  kStartupFailed = 2,
  kStartupFailedShowingMessage = 3,
};

// Results of HardwareLibraryStartup.
enum StartupResult : int {
  kStartupNoWrapper = 0,
  kStartupOk = 1,
  kStartupInitFailed = 2,
  kStartupLoadFailed = 4,
  kStartupRefreshThreadFailed = 5,
};

// What the refresh loop needs to know about the main window. The window implements it; tests
// use their own.
class IRefreshGate {
 public:
  virtual ~IRefreshGate() = default;
  virtual bool MainWindowLive() const = 0;
  virtual int CurrentPage() const = 0;
  virtual int WarmUpRunning() const = 0;
};

// The library is refreshed while the summary page is shown or while the benchmark warm-up
// runs, and whenever there is no live main window yet.
bool ShouldRefreshSensors(const IRefreshGate* gate);

// Where the window's copy of the library goes: "<runtime>/Tovix2Dir/" when the per-user
// runtime folder is private to this user; otherwise "" and each run makes its own private
// folder "<temp>/Tovix2Dir-<pid>-XXXXXX/".
std::string PreferredHardwareLibraryDirectory();
// The folder and file this process wrote ("" before extraction or for a memory copy), and
// the path the loader is given: the descriptor of the bytes written.
std::string HardwareLibraryDirectory();
std::string HardwareLibraryFilePath();
std::string HardwareLibraryLoadPath();

// Writes resource DATA/205 to a private copy; returns the bytes written, 0 on any failure.
// Only this copy is ever loaded: after a failure the start-up routine loads nothing.
std::size_t ExtractHardwareLibrary();
// The same with the bytes given (tests use their own libraries).
std::size_t ExtractHardwareLibraryBytes(std::span<const std::uint8_t> bytes);
// The bytes of resource DATA/205 (empty when the program carries none).
std::span<const std::uint8_t> EmbeddedHardwareLibrary();

// A copy for a terminal mode, in a run folder of its own "<prefix>-<pid>-XXXXXX" in the
// private runtime folder or else the temporary folder, so a running window's copy is never
// touched. Stale run folders of ended runs are removed first. `onFolder` learns the folder
// before anything is written into it (a signal handler can then remove it).
bool ExtractPrivateLibraryCopy(std::span<const std::uint8_t> bytes, const std::string& prefix,
                               CLibraryCopy& copy,
                               const std::function<void(const std::string&)>& onFolder = {});

// The wrapper for callers (detectors, summary, sensors); nullptr until the start-up routine
// created it. Callers test it and every slot.
CPUIDSDK* HardwareLibrary();

// Start-up, on the start-up thread: load, bind, create, Init, warm-up, start the refresh
// thread. Shows message 6000/6001/6002 on failure.
int HardwareLibraryStartup();
// Starts the start-up thread (once); its epilogue publishes kStartupReady or kStartupFailed.
bool StartHardwareLibraryStartupThread();
bool HasStartupThread();
enum class ThreadWait { Ended, TimedOut, Failed };
ThreadWait WaitForStartupThread(std::uint32_t timeoutMs);
int StartupStatusValue();

void SetRefreshGate(const IRefreshGate* gate);
// Exit: wait for the start-up thread (<= 5 s), stop and wait for the refresh thread (<= 5 s),
// Close, DestroyInstance, delete, unload. A thread that outlived its wait keeps the wrapper and
// the module alive until the process ends.
void HardwareLibraryShutdown();
// Removes what the extraction wrote: the file while it is still ours, and the folder once
// empty. Nothing of another user's is ever removed. Safe to call more than once.
void RemoveHardwareLibraryDirectory();

// The warm-up pass over an already started wrapper (exposed for tests).
void RunWarmUpPass(CPUIDSDK& sdk);

// "HWMonitor2": created at application start, closed at exit.
bool CreateSensorMutex();
void CloseSensorMutex();
platform::ProcessMutex& SensorMutex();

// Takes "HWMonitor2" for one sensor read: waits at most 5 ms; a timeout or an abandoned mutex
// skips the read (an abandoned one is released first).
class SensorAccessGuard {
 public:
  explicit SensorAccessGuard(platform::ProcessMutex& mutex, std::uint32_t timeoutMs = 5);
  ~SensorAccessGuard();
  SensorAccessGuard(const SensorAccessGuard&) = delete;
  SensorAccessGuard& operator=(const SensorAccessGuard&) = delete;
  bool MayRead() const { return owned_; }

 private:
  platform::ProcessMutex& mutex_;
  bool owned_ = false;
};

// Tests only: forget all process-wide state (after a full shutdown).
void ResetHardwareLibraryStateForTesting();

}  // namespace korvane
