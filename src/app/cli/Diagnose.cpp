#include "app/cli/Diagnose.h"

#include <signal.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "HwDiagnose.h"
#include "detect/DetectDiagnose.h"
#include "hwlib/HardwareLibrary.h"
#include "online/OnlineDriverDatabase.h"
#include "platform/DynamicLibrary.h"
#include "sysinfo/SysinfoDiagnose.h"

namespace korvane {
namespace {

using Json = nlohmann::ordered_json;

// Devices the management interface does not name are looked up in the driver database, as the
// window does.
std::shared_ptr<detect::IDriverDatabase> DriverDatabase() {
  return std::make_shared<COnlineDriverDatabase>();
}

// The detectors over a wrapper bound to the given library file, as the window binds it.

Json DetectorsSection(const std::string& libraryPath, bool showPrivate) {
  platform::DynamicLibrary module;
  CPUIDSDK sdk;
  bool ready = false;
  if (module.Load(libraryPath)) {
    sdk.Bind(reinterpret_cast<qmhdw::QueryInterfaceFn>(module.Resolve("QueryInterface")));
    char textA[kLibTextSize] = {};
    ready = sdk.CreateInstance() && sdk.Init(textA, libraryPath.c_str()) != 0;
  }
  Json out = DiagnoseDetectors(ready ? &sdk : nullptr, showPrivate, DriverDatabase());
  if (ready) {
    sdk.Close();
    sdk.DestroyInstance();
  }
  return out;
}

// The run folder of this dump, for the signal handler: a plain buffer, as the handler may read
// nothing that could be half-written or freed. The signal may reach any thread, also while the
// folder is being made: until it is known, the handler leaves the signal for Watch() to act on.
char g_runFolder[4096];
std::atomic<int> g_runFolderSet{0};
std::atomic<int> g_folderPending{0};
std::atomic<int> g_pendingSignal{0};

void OnInterrupt(int sig) {
  g_pendingSignal.store(sig);
  if (g_runFolderSet.load() != 0) {
    RemoveFolderFromSignalHandler(g_runFolder);
  } else if (g_folderPending.load() != 0) {
    return;
  }
  // Ended by the signal, as the caller expects.
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

// While the library copy exists, an interrupt removes it before the process ends.
class InterruptCleanUp {
 public:
  InterruptCleanUp() {
    g_pendingSignal.store(0);
    g_folderPending.store(1);
    struct sigaction sa {};
    sa.sa_handler = &OnInterrupt;
    sigemptyset(&sa.sa_mask);
    for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &sa, &previous_[i]);
  }
  ~InterruptCleanUp() {
    for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &previous_[i], nullptr);
    g_runFolderSet.store(0);
    // A signal that came before any folder existed still ends the program.
    if (g_folderPending.exchange(0) != 0) ActOnPendingSignal();
  }
  InterruptCleanUp(const InterruptCleanUp&) = delete;
  InterruptCleanUp& operator=(const InterruptCleanUp&) = delete;

  static void Watch(const std::string& folder) {
    g_runFolderSet.store(0);
    if (folder.size() < sizeof g_runFolder) {
      std::memcpy(g_runFolder, folder.c_str(), folder.size() + 1);
      g_runFolderSet.store(1);
    }
    g_folderPending.store(0);
    ActOnPendingSignal();
  }

 private:
  static void ActOnPendingSignal() {
    if (const int sig = g_pendingSignal.load(); sig != 0) OnInterrupt(sig);
  }
  static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction previous_[3]{};
};

// The library embedded in this program is written to a private run folder for the length of
// the dump, so a running window's copy is never touched; it goes at the end, also when the
// dump is interrupted, and the folders of runs that ended without cleaning up go first.
void AddLibrarySections(Json& doc, bool showPrivate) {
  InterruptCleanUp cleanUp;
  CLibraryCopy copy;
  const auto bytes = EmbeddedHardwareLibrary();
  if (bytes.empty()) {
    doc["hardwareLibrary"] =
        Json{{"error", "the hardware library is not embedded in this program"}};
    doc["detectors"] = DiagnoseDetectors(nullptr, showPrivate, DriverDatabase());
    return;
  }
  if (!ExtractPrivateLibraryCopy(bytes, "korvane-diagnose", copy, &InterruptCleanUp::Watch)) {
    doc["hardwareLibrary"] = Json{{"error", "no private folder for the hardware library"}};
    doc["detectors"] = DiagnoseDetectors(nullptr, showPrivate, DriverDatabase());
    return;
  }
  doc["hardwareLibrary"] = DiagnoseHardwareLibrary(copy.LoadPath().c_str());
  doc["detectors"] = DetectorsSection(copy.LoadPath(), showPrivate);
  copy.Remove();
}

// A stray byte in a machine text must never end the report with an exception.
std::string DumpValue(const Json& v) {
  return v.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void RenderNode(const Json& node, const std::string& indent, std::ostringstream& out) {
  for (auto it = node.begin(); it != node.end(); ++it) {
    const Json& v = it.value();
    if (v.is_object() || v.is_array()) {
      out << indent << it.key() << ":\n";
      if (v.is_array()) {
        int i = 0;
        for (const auto& e : v) {
          if (e.is_object() || e.is_array()) {
            out << indent << "  [" << i << "]\n";
            RenderNode(e, indent + "    ", out);
          } else {
            out << indent << "  [" << i << "] = " << (e.is_null() ? "unavailable" : DumpValue(e))
                << '\n';
          }
          ++i;
        }
      } else {
        RenderNode(v, indent + "  ", out);
      }
    } else {
      out << indent << it.key() << " = " << (v.is_null() ? "unavailable" : DumpValue(v)) << '\n';
    }
  }
}

}  // namespace

Json BuildDiagnosis() { return BuildDiagnosis(false); }

Json BuildDiagnosis(bool showPrivate) {
  Json doc = Json::object();
  AddLibrarySections(doc, showPrivate);
  doc["sysinfo"] = DiagnoseSysinfo();
  return doc;
}

std::string RenderDiagnosisText(const Json& doc) {
  std::ostringstream out;
  RenderNode(doc, "", out);
  return out.str();
}

}  // namespace korvane
