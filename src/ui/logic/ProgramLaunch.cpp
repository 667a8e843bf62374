#include "ui/logic/ProgramLaunch.h"

#include <vector>

#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace korvane {

namespace {

bool EndsWithExe(std::string_view name) {
  return name.size() >= 4 && platform::ToLowerAscii(name.substr(name.size() - 4)) == ".exe";
}

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder.push_back('/');
  return folder;
}

// A program name comes from page script too: it must name a file inside the searched folder,
// never reach out of it.
bool IsPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

bool IsWebAddress(std::string_view url) {
  const std::string lower = platform::ToLowerAscii(url.substr(0, 8));
  return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}

std::string RegisteredProgram(std::string_view productKey) {
  if (productKey.empty()) return {};
  platform::RegistryKey key;
  std::string exe;
  if (key.Open(platform::RegRoot::CurrentUser, "Software\\Quillmark\\" + std::string(productKey),
               platform::RegAccess::Read) != platform::kRegOk ||
      key.QueryString("ExeName", exe) != platform::kRegOk) {
    return {};
  }
  return exe;
}

std::string RegisteredProgramFiles() {
  platform::RegistryKey key;
  std::string folder;
  if (key.Open(platform::RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
               platform::RegAccess::Read) != platform::kRegOk ||
      key.QueryString("ProgramFilesDir", folder) != platform::kRegOk) {
    return {};
  }
  return folder;
}

// The shell first; a program it refuses may still start directly.
bool StartFound(const std::string& path, ILinkOpener& opener) {
  if (opener.ShellOpen(path) > 32) return true;
  return opener.StartCommandLine("\"" + path + "\"") > 31;
}

}  // namespace

std::string ProgramFileName(std::string_view programName) {
  std::string name(programName);
  if (!EndsWithExe(name)) name += ".exe";
  return name;
}

std::string MakerFolderFor(std::string_view programName) {
  return platform::ToLowerAscii(programName).find("tunevale") != std::string::npos
             ? "Quillmark/Tunevale/"
             : "Quillmark/Wandlet/";
}

ProgramPlaces ResolvePlaces(const ProgramPlaces& places) {
  ProgramPlaces resolved = places;
  if (resolved.executableDirectory.empty()) {
    resolved.executableDirectory = platform::ExecutableDirectory();
  }
  if (resolved.programFilesDirectory.empty()) {
    resolved.programFilesDirectory = RegisteredProgramFiles();
  }
  if (resolved.programFilesDirectory.empty()) {
    resolved.programFilesDirectory = platform::ProgramFilesDirectory();
  }
  resolved.executableDirectory = WithSlash(resolved.executableDirectory);
  resolved.programFilesDirectory = WithSlash(resolved.programFilesDirectory);
  return resolved;
}

// The places in search order, each only if it holds the program (as the platform maps names).
static std::vector<std::string> ExistingCandidates(std::string_view programName,
                                                   const ProgramPlaces& places) {
  std::vector<std::string> found;
  if (!IsPlainFileName(programName)) return found;
  const ProgramPlaces where = ResolvePlaces(places);
  const std::string file = ProgramFileName(programName);
  const std::string candidates[3] = {
      where.executableDirectory + file, RegisteredProgram(where.productKey),
      where.programFilesDirectory + MakerFolderFor(programName) + file};
  for (const std::string& candidate : candidates) {
    // A relative registry value would depend on whatever folder we happen to run in.
    if (candidate.empty() || candidate.front() != '/' || !platform::FileExists(candidate)) continue;
    found.push_back(platform::MapFileName(candidate));
  }
  return found;
}

std::string FindProgram(std::string_view programName, const ProgramPlaces& places) {
  const std::vector<std::string> found = ExistingCandidates(programName, places);
  return found.empty() ? std::string() : found.front();
}

LaunchOutcome LaunchProgramOrOpen(std::string_view programName, std::string_view url,
                                  const ProgramPlaces& places, ILinkOpener& opener) {
  LaunchOutcome outcome;
  // A copy that exists but will not start does not hide a working one further on.
  for (const std::string& path : ExistingCandidates(programName, places)) {
    if (StartFound(path, opener)) {
      outcome.kind = LaunchKind::Program;
      outcome.path = path;
      return outcome;
    }
  }
  // Only web pages: a page's script must not get a local file or another scheme's handler run.
  if (!url.empty() && IsWebAddress(url) && OpenLinkTarget(url, opener).opened) {
    outcome.kind = LaunchKind::Browser;
    outcome.path = std::string(url);
  }
  return outcome;
}

}  // namespace korvane
