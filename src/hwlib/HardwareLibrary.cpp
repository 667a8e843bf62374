#include "hwlib/HardwareLibrary.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "config/LanguageRes.h"
#include "config/Product.h"
#include "platform/DynamicLibrary.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Resources.h"
#include "platform/Text.h"

namespace korvane {
namespace {

constexpr const char* kLibraryDirName = "Tovix2Dir";
constexpr const char* kLibraryFileName = "qmhdwlib.dll";
constexpr int kLibraryResourceId = 205;
constexpr const char* kRunFolderPrefix = "Tovix2Dir";

// A thread that can be waited on with a time limit, which std::thread cannot do.
class WaitableThread {
 public:
  bool Start(std::function<void()> body) {
    auto state = std::make_shared<State>();
    try {
      thread_ = std::thread([state, body = std::move(body)] {
        body();
        {
          std::lock_guard<std::mutex> lock(state->m);
          state->done = true;
        }
        state->cv.notify_all();
      });
    } catch (const std::system_error&) {
      return false;
    }
    state_ = std::move(state);
    ended_ = false;
    return true;
  }
  bool Exists() const { return state_ != nullptr; }
  ThreadWait WaitFor(std::uint32_t ms) {
    if (state_ == nullptr) return ThreadWait::Failed;
    if (ended_) return ThreadWait::Ended;
    std::unique_lock<std::mutex> lock(state_->m);
    if (!state_->cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return state_->done; })) {
      return ThreadWait::TimedOut;
    }
    lock.unlock();
    if (thread_.joinable()) thread_.join();
    ended_ = true;
    return ThreadWait::Ended;
  }
  // Lets a thread that did not end in time run on by itself; whatever it uses must then stay
  // alive until the process ends.
  void Abandon() {
    if (thread_.joinable()) thread_.detach();
  }
  void Clear() {
    if (thread_.joinable()) thread_.join();
    state_.reset();
    ended_ = false;
  }

 private:
  struct State {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
  };
  std::shared_ptr<State> state_;
  std::thread thread_;
  bool ended_ = false;
};

struct LibraryState {
  platform::DynamicLibrary module;
  std::atomic<CPUIDSDK*> sdk{nullptr};
  WaitableThread startupThread;
  WaitableThread refreshThread;
  std::atomic<int> stop{0};
  std::atomic<int> status{kStartupRunning};
  std::atomic<const IRefreshGate*> gate{nullptr};
  std::mutex stopMutex;
  std::condition_variable stopCv;
  // Set when a thread outlived its wait: the wrapper and the module are then never freed.
  bool pinned = false;
  platform::ProcessMutex sensorMutex;
  // The copy of the library this process wrote; guarded because the exit path may also run
  // from an exit handler.
  std::mutex copyMutex;
  CLibraryCopy copy;
};

// Never destroyed: a thread that outlived the shutdown may still read it at process exit.
LibraryState& State() {
  static LibraryState* state = new LibraryState;
  return *state;
}

std::string Caption() { return platform::Format("%s %s", kProductName, kProductVersion); }

void ShowStartupError(int textId) {
  State().status.exchange(kStartupFailedShowingMessage);
  platform::ShowMessageBox(LangText(textId), Caption(), platform::kMbIconError);
}

void RefreshLoop() {
  LibraryState& s = State();
  while (s.stop.load() == 0) {
    CPUIDSDK* sdk = s.sdk.load();
    if (ShouldRefreshSensors(s.gate.load()) && sdk != nullptr && sdk->Slot(5) != nullptr) {
      sdk->RefreshSensors();
    }
    // Waiting on the flag instead of sleeping lets shutdown end the loop at once.
    std::unique_lock<std::mutex> lock(s.stopMutex);
    s.stopCv.wait_for(lock, std::chrono::milliseconds(1000), [&] { return s.stop.load() != 0; });
  }
}

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

// The per-user runtime folder, when no one but this user can write into it.
std::string PrivateRuntimeFolder() {
  const std::string runtime = platform::RuntimeDirectory();
  return IsPrivateFolder(runtime) ? WithSlash(runtime) : std::string();
}

}  // namespace

bool ShouldRefreshSensors(const IRefreshGate* gate) {
  if (gate == nullptr || !gate->MainWindowLive()) return true;
  return !(gate->CurrentPage() != 0 && gate->WarmUpRunning() == 0);
}

std::string PreferredHardwareLibraryDirectory() {
  const std::string runtime = PrivateRuntimeFolder();
  return runtime.empty() ? std::string() : runtime + kLibraryDirName + "/";
}

std::string HardwareLibraryDirectory() {
  std::lock_guard<std::mutex> lock(State().copyMutex);
  return State().copy.Folder();
}

std::string HardwareLibraryFilePath() {
  std::lock_guard<std::mutex> lock(State().copyMutex);
  return State().copy.FilePath();
}

std::string HardwareLibraryLoadPath() {
  std::lock_guard<std::mutex> lock(State().copyMutex);
  return State().copy.LoadPath();
}

std::span<const std::uint8_t> EmbeddedHardwareLibrary() {
  return platform::FindResource("DATA", kLibraryResourceId);
}

bool ExtractPrivateLibraryCopy(std::span<const std::uint8_t> bytes, const std::string& prefix,
                               CLibraryCopy& copy,
                               const std::function<void(const std::string&)>& onFolder) {
  const std::string fileName = platform::MapFileName(kLibraryFileName);
  for (const std::string& parent : {PrivateRuntimeFolder(), platform::TempDirectory()}) {
    if (parent.empty()) continue;
    RemoveStaleRunFolders(parent, prefix);
    const std::string folder = MakeRunFolder(parent, prefix);
    if (folder.empty()) continue;
    if (onFolder) onFolder(folder);
    if (copy.WriteToFolder(bytes, folder, fileName)) return true;
    ::rmdir(folder.c_str());
  }
  return false;
}

std::size_t ExtractHardwareLibraryBytes(std::span<const std::uint8_t> bytes) {
  LibraryState& s = State();
  std::lock_guard<std::mutex> lock(s.copyMutex);
  // A copy that is loaded stays as it is; a new one would not be what runs.
  if (s.module.IsLoaded()) return 0;
  s.copy.Remove();
  s.copy.Release();
  if (bytes.empty()) return 0;
  // The fixed folder in the private runtime folder first; where there is none, a run folder of
  // this process in the temporary folder. A folder that is not ours is never written into.
  const std::string preferred = PreferredHardwareLibraryDirectory();
  if (!preferred.empty() &&
      s.copy.WriteToFolder(bytes, preferred, platform::MapFileName(kLibraryFileName))) {
    return s.copy.Size();
  }
  if (ExtractPrivateLibraryCopy(bytes, kRunFolderPrefix, s.copy)) return s.copy.Size();
  return 0;
}

std::size_t ExtractHardwareLibrary() {
  return ExtractHardwareLibraryBytes(EmbeddedHardwareLibrary());
}

CPUIDSDK* HardwareLibrary() { return State().sdk.load(); }

void RunWarmUpPass(CPUIDSDK& sdk) {
  char scratch[kLibTextSize];
  std::string text;
  int startup[4] = {0, 0, 0, 0};
  sdk.GetStartupInfo(startup);

  sdk.GetMemoryType();
  if (auto size = sdk.GetMemorySize(); size && *size != -1) {
    text = platform::Format("Memory size : %d MBytes", *size);
  }
  if (const float clock = sdk.GetMemoryClockFrequency(); clock > 0) {
    text = platform::Format("Memory speed : %.1f MHz", static_cast<double>(clock));
  }
  sdk.GetMemoryCASLatency();
  sdk.GetMemoryRASToCASDelay();
  sdk.GetMemoryRASPrecharge();
  sdk.GetMemoryRASActive();
  sdk.GetMemoryRowCycleTime();
  sdk.GetMemoryCommandRate();

  const int modules = sdk.GetMemoryModuleCount();
  for (int m = 0; m < modules; ++m) {
    sdk.GetMemoryModuleType(m);
    sdk.GetMemoryModulePartNumber(m, scratch);
    sdk.GetMemoryModuleManufacturer(m, scratch);
    sdk.GetMemoryModuleMaxFrequency(m);
    int year = 0;
    int week = 0;
    sdk.GetMemoryModuleManufacturingDate(m, &year, &week);
    sdk.GetMemoryModuleExtraValue1(m);
    sdk.GetMemoryModuleExtraValue2(m);
    sdk.GetMemoryModuleSerialNumber(m, scratch);
    float minTimes[4];
    for (int t = 0; t < 4; ++t) minTimes[t] = sdk.GetMemoryModuleMinTimes(t + 1, m);
    const int entries = sdk.GetMemoryModuleTimingEntryCount(m);
    for (int e = 0; e < entries; ++e) {
      int frequency = -1;
      std::int32_t second = 0;
      std::int32_t third = 0;
      sdk.GetMemoryModuleTimingEntry(m, e, &frequency, &second, &third);
      if (frequency == -1) continue;
      for (float t : minTimes) {
        // Clock cycles at this frequency; only the library's own caches care.
        volatile double cycles =
            std::ceil(static_cast<double>(frequency) * static_cast<double>(t) / 1000.0);
        (void)cycles;
      }
    }
  }

  sdk.GetMainboardVendor(scratch);
  sdk.GetMainboardModel(scratch);
  for (int n = 1; n <= 5; ++n) sdk.GetMainboardExtraText(n, scratch);
}

int HardwareLibraryStartup() {
  LibraryState& s = State();
  std::string loadPath;
  std::string path;
  {
    std::lock_guard<std::mutex> lock(s.copyMutex);
    loadPath = s.copy.LoadPath();
    // The library's own idea of where it lives; a memory copy has no folder.
    path = s.copy.InMemory() ? std::string("memfd:") + platform::MapFileName(kLibraryFileName)
                             : s.copy.FilePath();
  }
  // Only the copy this process wrote is loaded: without one there is nothing to start.
  if (!s.module.IsLoaded() && (loadPath.empty() || !s.module.Load(loadPath))) {
    ShowStartupError(6000);
    return kStartupLoadFailed;
  }

  auto* sdk = new (std::nothrow) CPUIDSDK;
  if (sdk == nullptr) return kStartupNoWrapper;
  int ok = 0;
  bool threw = false;
  // The library is outside code: whatever it throws stays here and counts as a failed start.
  try {
    sdk->Bind(reinterpret_cast<qmhdw::QueryInterfaceFn>(s.module.Resolve("QueryInterface")));
    const bool created = sdk->CreateInstance();
    char textA[kLibTextSize] = {};
    char textB[kLibTextSize] = {};
    platform::CopyInto(textB, sizeof textB, platform::Utf8ToAnsi(path));
    ok = (created && sdk->Slot(3) != nullptr) ? sdk->Init(textA, textB) : 0;
  } catch (...) {
    delete sdk;
    sdk = nullptr;
    ok = 0;
    threw = true;
  }
  s.sdk.store(sdk);
  if (ok == 0) {
    ShowStartupError(threw ? 6001 : 6002);
    return kStartupInitFailed;
  }

  RunWarmUpPass(*sdk);

  if (s.refreshThread.Exists()) return kStartupRefreshThreadFailed;
  if (!s.refreshThread.Start(&RefreshLoop)) return kStartupRefreshThreadFailed;
  return kStartupOk;
}

bool StartHardwareLibraryStartupThread() {
  LibraryState& s = State();
  if (s.startupThread.Exists()) return true;
  return s.startupThread.Start([] {
    const int result = HardwareLibraryStartup();
    State().status.exchange(result == kStartupOk ? kStartupReady : kStartupFailed);
  });
}

bool HasStartupThread() { return State().startupThread.Exists(); }

ThreadWait WaitForStartupThread(std::uint32_t timeoutMs) {
  return State().startupThread.WaitFor(timeoutMs);
}

int StartupStatusValue() { return State().status.load(); }

void SetRefreshGate(const IRefreshGate* gate) { State().gate.store(gate); }

void HardwareLibraryShutdown() {
  LibraryState& s = State();
  if (s.startupThread.Exists()) {
    if (s.startupThread.WaitFor(5000) != ThreadWait::Ended) {
      s.startupThread.Abandon();
      s.pinned = true;
    }
    s.startupThread.Clear();
  }
  {
    std::lock_guard<std::mutex> lock(s.stopMutex);
    s.stop.store(1);
  }
  s.stopCv.notify_all();
  if (s.refreshThread.Exists()) {
    if (s.refreshThread.WaitFor(5000) != ThreadWait::Ended) {
      s.refreshThread.Abandon();
      s.pinned = true;
    }
    s.refreshThread.Clear();
  }
  if (s.pinned) {
    // A thread may still be inside the library: closing or unloading it now could crash the
    // process on its way out, so both stay until the process ends.
    s.module.Leak();
    return;
  }
  if (CPUIDSDK* sdk = s.sdk.exchange(nullptr)) {
    sdk->Close();
    sdk->DestroyInstance();
    delete sdk;
  }
  s.module.Unload();
}

void RemoveHardwareLibraryDirectory() {
  LibraryState& s = State();
  std::lock_guard<std::mutex> lock(s.copyMutex);
  s.copy.Remove();
  // The loader knows a loaded module by its descriptor's name; the descriptor stays open as
  // long as the module may be loaded, so no later library can be taken for it.
  if (!s.module.IsLoaded() && !s.pinned) s.copy.Release();
}

bool CreateSensorMutex() { return State().sensorMutex.Create("HWMonitor2"); }
void CloseSensorMutex() { State().sensorMutex.Close(); }
platform::ProcessMutex& SensorMutex() { return State().sensorMutex; }

SensorAccessGuard::SensorAccessGuard(platform::ProcessMutex& mutex, std::uint32_t timeoutMs)
    : mutex_(mutex) {
  if (!mutex_.IsValid()) return;
  switch (mutex_.Wait(timeoutMs)) {
    case platform::ProcessMutex::WaitResult::Acquired:
      owned_ = true;
      break;
    case platform::ProcessMutex::WaitResult::Abandoned:
      // The previous owner died mid-read; the chip state is unknown, so this pass is skipped.
      mutex_.Release();
      break;
    case platform::ProcessMutex::WaitResult::Timeout:
    case platform::ProcessMutex::WaitResult::Failed:
      break;
  }
}

SensorAccessGuard::~SensorAccessGuard() {
  if (owned_) mutex_.Release();
}

void ResetHardwareLibraryStateForTesting() {
  LibraryState& s = State();
  s.stop.store(0);
  s.status.store(kStartupRunning);
  s.gate.store(nullptr);
  s.pinned = false;
  if (CPUIDSDK* sdk = s.sdk.exchange(nullptr)) delete sdk;
  s.module.Unload();
  s.startupThread.Clear();
  s.refreshThread.Clear();
  std::lock_guard<std::mutex> lock(s.copyMutex);
  s.copy.Remove();
  s.copy.Release();
}

}  // namespace korvane
