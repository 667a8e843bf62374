#include "app/cli/Diagnose.h"

#include <sys/utsname.h>

#include <sstream>

#include <cstdlib>

#include "HwDiagnose.h"
#include "hwlib/HardwareLibrary.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/Sysroot.h"
#include "platform/Text.h"

namespace korvane {
namespace {

using Json = nlohmann::ordered_json;

std::string OsReleaseValue(const std::string& text, const std::string& key) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key + "=", 0) != 0) continue;
    std::string v = line.substr(key.size() + 1);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
      v = v.substr(1, v.size() - 2);
    }
    return v;
  }
  return {};
}

Json OsSection() {
  Json os = Json::object();
  auto rel = platform::ReadSysFile("/etc/os-release");
  if (!rel) rel = platform::ReadSysFile("/usr/lib/os-release");
  const std::string name = rel ? OsReleaseValue(*rel, "PRETTY_NAME") : std::string();
  os["name"] = name.empty() ? Json() : Json(name);
  utsname u{};
  if (platform::SysrootPrefix().empty() && uname(&u) == 0) {
    os["kernel"] = u.release;
    os["machine"] = u.machine;
  } else if (auto r = platform::ReadSysLine("/proc/sys/kernel/osrelease")) {
    os["kernel"] = *r;
  }
  return os;
}

Json ProcessorSection() {
  Json cpu = Json::object();
  std::string vendor;
  if (auto r = platform::Cpuid(0)) {
    const std::uint32_t words[3] = {r->ebx, r->edx, r->ecx};
    vendor.assign(reinterpret_cast<const char*>(words), 12);
  }
  std::string brand;
  for (std::uint32_t leaf = 0x80000002; leaf <= 0x80000004; ++leaf) {
    auto r = platform::Cpuid(leaf);
    if (!r) break;
    const std::uint32_t words[4] = {r->eax, r->ebx, r->ecx, r->edx};
    brand.append(reinterpret_cast<const char*>(words), 16);
  }
  brand = platform::Trim(brand.substr(0, brand.find('\0')));
  cpu["vendor"] = vendor.empty() ? Json() : Json(vendor);
  cpu["brand"] = brand.empty() ? Json() : Json(brand);
  cpu["logicalProcessors"] = platform::ProcessorCount();
  return cpu;
}

Json MemorySection() {
  Json mem = Json::object();
  auto info = platform::ReadSysFile("/proc/meminfo");
  if (!info) return mem;
  std::istringstream in(*info);
  std::string key;
  long long kb = 0;
  std::string unit;
  while (in >> key >> kb) {
    std::getline(in, unit);
    if (key == "MemTotal:") mem["totalMiB"] = kb / 1024;
    if (key == "MemAvailable:") mem["availableMiB"] = kb / 1024;
  }
  return mem;
}

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
  doc["os"] = OsSection();
  doc["processor"] = ProcessorSection();
  doc["memory"] = MemorySection();
  doc["hardwareLibrary"] = HardwareLibrarySection();
  return doc;
}

std::string RenderDiagnosisText(const Json& doc) {
  std::ostringstream out;
  RenderNode(doc, "", out);
  return out.str();
}

}  // namespace korvane
