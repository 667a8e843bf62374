#include "app/logic/RunMode.h"

#include <atomic>

#include "platform/Text.h"

namespace korvane {
namespace {
std::atomic<int> g_runMode{kRunNormal};
}  // namespace

std::string WindowsCommandLine(const std::vector<std::string>& argv) {
  if (argv.empty()) return {};
  std::string line = "\"" + argv.front() + "\"";
  for (std::size_t i = 1; i < argv.size(); ++i) {
    line += ' ';
    line += argv[i];
  }
  return line;
}

int ParseRunMode(std::string_view commandLine) {
  const auto first = commandLine.find('"');
  if (first == std::string_view::npos) return kRunNormal;
  const auto second = commandLine.find('"', first + 1);
  if (second == std::string_view::npos) return kRunNormal;

  int mode = kRunNormal;
  std::string_view rest = commandLine.substr(second + 1);
  while (!rest.empty()) {
    const auto space = rest.find(' ');
    const std::string piece = platform::Trim(rest.substr(0, space));
    rest = space == std::string_view::npos ? std::string_view{} : rest.substr(space + 1);
    if (piece.empty()) continue;
    if (platform::EqualsIgnoreCase(piece, "/cpuscore")) {
      mode = kRunCpuScore;
    } else if (platform::EqualsIgnoreCase(piece, "/memscore")) {
      mode = kRunMemScore;
    }
  }
  return mode;
}

int RunMode() { return g_runMode.load(); }
void SetRunMode(int mode) { g_runMode.store(mode); }

}  // namespace korvane
