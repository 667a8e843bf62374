#include "app/cli/Diagnose.h"

#include <sstream>

#include <cstdlib>

#include "HwDiagnose.h"
#include "hwlib/HardwareLibrary.h"
#include "platform/Paths.h"
#include "sysinfo/SysinfoDiagnose.h"

namespace korvane {
namespace {

using Json = nlohmann::ordered_json;

// The library embedded in this program, written to a private folder for the length of the
// dump, so a running window's copy is never touched.
Json HardwareLibrarySection() {
  std::string dir = platform::TempDirectory() + "korvane-diagnose-XXXXXX";
  if (::mkdtemp(dir.data()) == nullptr) return Json{{"error", "no temporary folder"}};
  const std::string path = dir + "/" + platform::MapFileName("qmhdwlib.dll");
  Json out;
  if (ExtractHardwareLibraryTo(path) == 0) {
    out = Json{{"error", "the hardware library is not embedded in this program"}};
  } else {
    out = DiagnoseHardwareLibrary(path.c_str());
  }
  platform::DeleteDirectoryTree(dir);
  return out;
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
            out << indent << "  [" << i << "] = " << (e.is_null() ? "unavailable" : e.dump()) << '\n';
          }
          ++i;
        }
      } else {
        RenderNode(v, indent + "  ", out);
      }
    } else {
      out << indent << it.key() << " = " << (v.is_null() ? "unavailable" : v.dump()) << '\n';
    }
  }
}

}  // namespace

Json BuildDiagnosis() {
  Json doc = Json::object();
  doc["hardwareLibrary"] = HardwareLibrarySection();
  doc["sysinfo"] = DiagnoseSysinfo();
  return doc;
}

std::string RenderDiagnosisText(const Json& doc) {
  std::ostringstream out;
  RenderNode(doc, "", out);
  return out.str();
}

}  // namespace korvane
