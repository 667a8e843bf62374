// qmupdate [/scannow]
// Without arguments: scans for pending software updates and reports the scan to Korvane's
// update strip ("WM_QMUPDATE_STARTSCAN", then "WM_QMUPDATE_ENDSCAN" with the count in lParam;
// wParam is the tool's process id).
// With "/scannow": hands the installation to the desktop's updater.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/Messages.h"
#include "platform/Process.h"
#include "qmupdate/UpdateScan.h"

namespace {

std::optional<std::string> Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? std::optional<std::string>(v) : std::nullopt;
}

int RunScan() {
  // A missing session bus only means nobody hears the broadcast; the scan still runs.
  // wParam names the scanning process, so a listener can tell two tools' scans apart; the
  // strip itself reads only lParam.
  const auto self = static_cast<platform::WParam>(::getpid());
  platform::BroadcastMessage("WM_QMUPDATE_STARTSCAN", self, 0);
  const qmupdate::ScanResult r = qmupdate::Scan(Env("QMUPDATE_SOURCE"));
  if (!r.ok) {
    std::fprintf(stderr, "qmupdate: cannot scan for updates: %s\n", r.error.c_str());
  } else {
    std::printf("%d update(s) pending (%s)\n", r.count, r.source.c_str());
  }
  std::fflush(stdout);
  platform::BroadcastMessage("WM_QMUPDATE_ENDSCAN", self, r.ok ? r.count : 0);
  return r.ok ? 0 : 1;
}

int RunInstall() {
  const bool display =
      Env("DISPLAY").value_or("").size() > 0 || Env("WAYLAND_DISPLAY").value_or("").size() > 0;
  const auto choice = qmupdate::ChooseUpdater(display, qmupdate::ProgramOnPath);
  if (!choice.argv.empty()) {
    std::vector<std::string> args(choice.argv.begin() + 1, choice.argv.end());
    if (platform::StartProgram(choice.argv[0], args) > 0) {
      std::string line = choice.argv[0];
      for (const auto& a : args) line += " " + a;
      std::printf("started: %s\n", line.c_str());
      return 0;
    }
  }
  std::printf("To install the pending updates, run: %s\n", choice.printCommand.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) return RunScan();
  const std::string arg = argv[1];
  if (argc == 2 && (arg == "/scannow" || arg == "--scannow")) return RunInstall();
  if (arg == "--help" || arg == "-h" || arg == "/?") {
    std::printf(
        "Usage: qmupdate [/scannow]\n"
        "  (no argument)  count pending software updates and report them to Korvane\n"
        "  /scannow       open the desktop's updater to install them\n"
        "QMUPDATE_SOURCE=auto|packagekit|apt|apt-sim:FILE|apt-list:FILE picks the source.\n");
    return 0;
  }
  std::fprintf(stderr, "qmupdate: unknown argument %s (see --help)\n", arg.c_str());
  return 2;
}
