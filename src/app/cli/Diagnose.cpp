#include "app/cli/Diagnose.h"

#include <sstream>

#include <cstdlib>

#include "HwDiagnose.h"
#include "detect/DetectDiagnose.h"
#include "hwlib/HardwareLibrary.h"
#include "platform/DynamicLibrary.h"
#include "platform/Paths.h"
#include "sysinfo/SysinfoDiagnose.h"

namespace korvane {
namespace {

using Json = nlohmann::ordered_json;

// The detectors over a wrapper bound to the given library file, as the window binds it.
Json DetectorsSection(const std::string& libraryPath) {
  platform::DynamicLibrary module;
  CPUIDSDK sdk;
  bool ready = false;
  if (module.Load(libraryPath)) {
    sdk.Bind(reinterpret_cast<qmhdw::QueryInterfaceFn>(module.Resolve("QueryInterface")));
    char textA[kLibTextSize] = {};
    ready = sdk.CreateInstance() && sdk.Init(textA, libraryPath.c_str()) != 0;
  }
  Json out = DiagnoseDetectors(ready ? &sdk : nullptr);
  if (ready) {
    sdk.Close();
    sdk.DestroyInstance();
  }
  return out;
}

// The library embedded in this program is written to a private folder for the length of the
// dump, so a running window's copy is never touched.
void AddLibrarySections(Json& doc) {
  std::string dir = platform::TempDirectory() + "korvane-diagnose-XXXXXX";
  if (::mkdtemp(dir.data()) == nullptr) {
    doc["hardwareLibrary"] = Json{{"error", "no temporary folder"}};
    doc["detectors"] = DiagnoseDetectors(nullptr);
    return;
  }
  const std::string path = dir + "/" + platform::MapFileName("qmhdwlib.dll");
  if (ExtractHardwareLibraryTo(path) == 0) {
    doc["hardwareLibrary"] = Json{{"error", "the hardware library is not embedded in this program"}};
    doc["detectors"] = DiagnoseDetectors(nullptr);
  } else {
    doc["hardwareLibrary"] = DiagnoseHardwareLibrary(path.c_str());
    doc["detectors"] = DetectorsSection(path);
  }
  platform::DeleteDirectoryTree(dir);
}

// A stray byte in a machine text must never end the report with an exception.
std::string DumpValue(const Json& v) { return v.dump(-1, ' ', false, Json::error_handler_t::replace); }

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
            out << indent << "  [" << i << "] = " << (e.is_null() ? "unavailable" : DumpValue(e)) << '\n';
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

Json BuildDiagnosis() {
  Json doc = Json::object();
  AddLibrarySections(doc);
  doc["sysinfo"] = DiagnoseSysinfo();
  return doc;
}

std::string RenderDiagnosisText(const Json& doc) {
  std::ostringstream out;
  RenderNode(doc, "", out);
  return out.str();
}

}  // namespace korvane
