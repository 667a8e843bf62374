#include "sysinfo/DrmDriverInfo.h"

#include <ctime>

#include "platform/SysFileTime.h"
#include "platform/Sysroot.h"
#include "platform/Text.h"
#include "sysinfo/TextLines.h"

namespace korvane {

namespace {

std::string NormalModule(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c == '-') c = '_';
  }
  return out;
}

bool SafeName(std::string_view name) {
  return !name.empty() && name.find('/') == std::string_view::npos && name != "." && name != "..";
}

}  // namespace

std::string BoundModuleName(std::string_view pciAddress, std::string_view driver) {
  if (SafeName(pciAddress)) {
    const std::string dir = "/sys/bus/pci/devices/" + std::string(pciAddress);
    // The link goes to the driver's folder; the module is the last part of that link's link.
    if (const auto link = platform::ReadSysLink(dir + "/driver/module")) {
      const auto slash = link->rfind('/');
      const std::string name = slash == std::string::npos ? *link : link->substr(slash + 1);
      if (SafeName(name)) return name;
    }
  }
  return std::string(driver);
}

std::string FindModuleInDep(std::string_view depText, std::string_view module) {
  if (module.empty()) return {};
  const std::string wanted = NormalModule(module) + ".ko";
  std::string found;
  ForEachLine(depText, [&](std::string_view line) {
    if (!found.empty()) return;
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string_view path = line.substr(0, colon);
    const auto slash = path.rfind('/');
    const std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
    // "amdgpu.ko", "amdgpu.ko.xz", "amdgpu.ko.zst"
    const std::string name = NormalModule(file);
    if (name == wanted ||
        (name.size() > wanted.size() && name.compare(0, wanted.size(), wanted) == 0 &&
         name[wanted.size()] == '.')) {
      found = std::string(path);
    }
  });
  return found;
}

std::string ModuleFilePath(std::string_view module, std::string_view release) {
  if (!SafeName(release) || module.empty()) return {};
  const std::string base = "/lib/modules/" + std::string(release);
  const auto dep = platform::ReadSysFile(base + "/modules.dep", 16 * 1024 * 1024);
  if (!dep) return {};
  const std::string relative = FindModuleInDep(*dep, module);
  if (relative.empty() || relative.find("..") != std::string::npos) return {};
  // Absolute entries appear in hand-made dep files; relative ones are under the release folder.
  return relative.front() == '/' ? relative : base + "/" + relative;
}

std::string DateOfUnixTime(std::int64_t seconds) {
  if (seconds < 0) return {};
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (gmtime_r(&t, &tm) == nullptr) return {};
  return platform::Format("%04d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

std::string ModuleFileDate(std::string_view module, std::string_view release) {
  const std::string path = ModuleFilePath(module, release);
  if (path.empty()) return {};
  const auto mtime = platform::SysFileModifiedTime(path);
  return mtime ? DateOfUnixTime(*mtime) : std::string();
}

}  // namespace korvane
