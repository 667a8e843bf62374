#pragma once
// The hardware library's life in the program: written out of the executable's resources,
// loaded and started behind the splash window, refreshed once a second, shut down in order at
// exit, and its folder removed. Also the guard that serialises sensor reads across processes.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "hwlib/CpuidSdk.h"
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

// "<temp>/Tovix2Dir/" — or, when there is no usable temporary folder, the executable's folder
// + "Tovix2Dir/". tempDirectory is injectable for tests; empty means "none available".
std::string HardwareLibraryDirectory(const std::string& tempDirectory);
std::string HardwareLibraryDirectory();
std::string HardwareLibraryFilePath();

// Writes resource DATA/205 to the library file; returns the bytes written, 0 on any failure.
std::size_t ExtractHardwareLibrary();
// The same into a given file of a folder that already exists (terminal modes use a private
// folder so they never touch a running window's copy).
std::size_t ExtractHardwareLibraryTo(const std::string& filePath);

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
// Deletes the library folder; refused for a path under 7 characters or a missing folder.
bool RemoveHardwareLibraryDirectory();
bool RemoveHardwareLibraryDirectory(const std::string& directory);

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
