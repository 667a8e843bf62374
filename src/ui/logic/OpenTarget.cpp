#include "ui/logic/OpenTarget.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace korvane {

namespace {

constexpr std::size_t kCommandLineMaxBytes = 512;  // with the terminator

std::string RegistryDefault(std::string_view path) {
  platform::RegistryKey key;
  std::string value;
  if (key.Open(platform::RegRoot::ClassesRoot, path, platform::RegAccess::Read) !=
          platform::kRegOk ||
      key.QueryString("", value) != platform::kRegOk) {
    return {};
  }
  return value;
}

std::string ClassesRootHtmlCommand() {
  const std::string progId = RegistryDefault(".htm");
  if (progId.empty()) return {};
  return RegistryDefault(progId + "\\shell\\open\\command");
}

class CDesktopLinkOpener final : public ILinkOpener {
 public:
  int ShellOpen(std::string_view target) override { return platform::ShellOpen(target); }
  std::string HtmlOpenCommand() override {
    std::string command = ClassesRootHtmlCommand();
    return command.empty() ? DesktopHtmlCommand() : command;
  }
  int StartCommandLine(std::string_view commandLine) override {
    const std::vector<std::string> parts = platform::SplitCommandLine(commandLine);
    if (parts.empty()) return 2;  // the file was not found
    const std::vector<std::string> args(parts.begin() + 1, parts.end());
    return platform::StartProgram(parts.front(), args) > 0 ? 33 : 2;
  }
};

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string text(64 * 1024, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return (value != nullptr && value[0] == '/') ? std::string(value) : fallback;
}

std::vector<std::string> SplitPathList(const std::string& list) {
  std::vector<std::string> dirs;
  std::stringstream in(list);
  std::string dir;
  while (std::getline(in, dir, ':')) {
    if (!dir.empty() && dir[0] == '/') dirs.push_back(dir);
  }
  return dirs;
}

// The lines of one [section] of a desktop-style file, as key/value pairs.
template <typename Fn>
void ForEachEntry(std::string_view text, std::string_view section, Fn&& fn) {
  bool inSection = false;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    const std::string line = platform::Trim(text.substr(pos, eol - pos));
    pos = eol + 1;
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inSection = line == "[" + std::string(section) + "]";
      continue;
    }
    const std::size_t eq = line.find('=');
    if (!inSection || eq == std::string::npos) continue;
    if (fn(platform::Trim(std::string_view(line).substr(0, eq)),
           platform::Trim(std::string_view(line).substr(eq + 1)))) {
      return;
    }
  }
}

std::vector<std::string> DefaultDesktopEntries(std::string_view list, std::string_view mime) {
  std::vector<std::string> ids;
  ForEachEntry(list, "Default Applications", [&](const std::string& key, const std::string& value) {
    if (key != mime) return false;
    std::stringstream in(value);
    std::string id;
    while (std::getline(in, id, ';')) {
      id = platform::Trim(id);
      if (!id.empty() && id.find('/') == std::string::npos) ids.push_back(id);
    }
    return true;
  });
  return ids;
}

}  // namespace

ILinkOpener& DesktopLinkOpener() {
  static CDesktopLinkOpener opener;
  return opener;
}

std::string CutAtPagePlaceholder(std::string_view command) {
  const std::size_t quoted = command.find("\"%1\"");
  if (quoted != std::string_view::npos) return std::string(command.substr(0, quoted));
  const std::size_t bare = command.find("%1");
  if (bare != std::string_view::npos) return std::string(command.substr(0, bare));
  return std::string(command);
}

OpenTargetResult OpenLinkTarget(std::string_view target, ILinkOpener& opener) {
  OpenTargetResult result;
  result.code = opener.ShellOpen(target);
  if (result.code > 32) {
    result.opened = true;
    return result;
  }
  const std::string association = opener.HtmlOpenCommand();
  if (association.empty()) return result;
  const std::string command =
      platform::Utf8ToAnsi(CutAtPagePlaceholder(association) + " " + std::string(target));
  // The command line has a fixed buffer: a longer one is cut, never overrun.
  std::string bounded(kCommandLineMaxBytes, '\0');
  bounded.resize(platform::CopyInto(bounded.data(), bounded.size(), command));
  result.code = opener.StartCommandLine(bounded);
  result.opened = result.code > 31;
  return result;
}

std::string ShellErrorText(int code) {
  switch (code) {
    case 0:
      return "The operating system is out\nof memory or resources.";
    case 2:
      return "The specified file was not found.";
    case 3:
      return "The specified path was not found.";
    case 5:
      return "The operating system denied\naccess to the specified file.";
    case 8:
      return "There was not enough memory to complete the operation.";
    case 11:
      return "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
    case 26:
      return "A sharing violation occurred. ";
    case 27:
      return "The filename association is\nincomplete or invalid.";
    case 28:
      return "The DDE transaction could not\nbe completed because the request timed out.";
    case 29:
      return "The DDE transaction failed.";
    case 30:
      return "The DDE transaction could not\nbe completed because other DDE transactions\n"
             "were being processed.";
    case 31:
      return "There is no application associated\nwith the given filename extension.";
    case 32:
      return "The specified dynamic-link library was not found.";
    default:
      return platform::Format("Unknown Error (%d) occurred.", code);
  }
}

std::string OpenLinkFailureText(int code) { return "Can't open link:\n\n" + ShellErrorText(code); }

std::string DefaultDesktopEntry(std::string_view mimeappsList, std::string_view mimeType) {
  const std::vector<std::string> ids = DefaultDesktopEntries(mimeappsList, mimeType);
  return ids.empty() ? std::string() : ids.front();
}

std::string DesktopEntryCommand(std::string_view desktopEntry) {
  std::string exec;
  ForEachEntry(desktopEntry, "Desktop Entry",
               [&](const std::string& key, const std::string& value) {
                 if (key != "Exec") return false;
                 exec = value;
                 return true;
               });
  std::string command;
  bool havePage = false;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    if (exec[i] != '%' || i + 1 >= exec.size()) {
      command += exec[i];
      continue;
    }
    const char code = exec[++i];
    if (code == '%') {
      command += '%';
    } else if (code == 'u' || code == 'U' || code == 'f' || code == 'F') {
      if (!havePage) command += "%1";
      havePage = true;
    }
    // %i, %c, %k and the deprecated codes carry nothing a started browser needs.
  }
  return platform::Trim(command);
}

std::string DesktopHtmlCommand() {
  const char* homeEnv = std::getenv("HOME");
  const std::string home = homeEnv != nullptr ? homeEnv : "";
  const std::string configHome = EnvOr("XDG_CONFIG_HOME", home + "/.config");
  const std::string dataHome = EnvOr("XDG_DATA_HOME", home + "/.local/share");
  const std::vector<std::string> configDirs = SplitPathList(EnvOr("XDG_CONFIG_DIRS", "/etc/xdg"));
  std::vector<std::string> dataDirs =
      SplitPathList(EnvOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share"));

  std::vector<std::string> lists{configHome + "/mimeapps.list"};
  for (const std::string& d : configDirs) lists.push_back(d + "/mimeapps.list");
  lists.push_back(dataHome + "/applications/mimeapps.list");
  for (const std::string& d : dataDirs) lists.push_back(d + "/applications/mimeapps.list");
  for (const std::string& d : dataDirs) lists.push_back(d + "/applications/defaults.list");
  dataDirs.insert(dataDirs.begin(), dataHome);

  for (const std::string& list : lists) {
    for (const std::string& id : DefaultDesktopEntries(ReadSmallFile(list), "text/html")) {
      for (const std::string& dir : dataDirs) {
        const std::string entry = ReadSmallFile(dir + "/applications/" + id);
        if (entry.empty()) continue;
        std::string command = DesktopEntryCommand(entry);
        if (!command.empty()) return command;
      }
    }
  }
  return {};
}

}  // namespace korvane
