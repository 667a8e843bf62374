#pragma once
// How qmupdate counts pending updates and how it hands their installation to the desktop.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qmupdate {

// Lines "Inst <package> ..." of `apt-get -s upgrade` (one per package that would be upgraded).
int CountAptSimulation(std::string_view output);
// Lines "<name>/<suite> <version> <arch> [upgradable from: <old>]" of `apt list --upgradable`.
int CountAptListUpgradable(std::string_view output);

struct ScanResult {
  bool ok = false;
  int count = 0;
  std::string source;  // which source answered, for the report line
  std::string error;   // why the scan could not run
};

// Where the count comes from. From the environment variable QMUPDATE_SOURCE:
//   unset or "auto"    PackageKit when it is on the system bus, else apt-get's simulation
//   "packagekit"       PackageKit only            "apt"        apt-get's simulation only
//   "apt-sim:<file>"   a saved `apt-get -s upgrade` output
//   "apt-list:<file>"  a saved `apt list --upgradable` output
// The file forms let tests count without touching the machine's packages.
ScanResult Scan(const std::optional<std::string>& sourceSetting);

// Runs a program (looked up along PATH) with the C locale and returns its standard output;
// nullopt when it could not be run, failed or took longer than `timeoutMs`.
std::optional<std::string> CaptureOutput(const std::vector<std::string>& argv, int timeoutMs);

// PackageKit's GetUpdates over the system bus; nullopt (with the reason) when it is not there.
std::optional<int> CountPackageKitUpdates(std::string& error);

// The desktop's updater for "/scannow": the command to start, or only a command to print when
// nothing can be started (no display, no known updater).
struct UpdaterChoice {
  std::vector<std::string> argv;  // empty: nothing to start
  std::string printCommand;       // what the user can run by hand
};
UpdaterChoice ChooseUpdater(bool hasDisplay, const std::function<bool(std::string_view)>& exists);
// Whether a program name is found along PATH.
bool ProgramOnPath(std::string_view name);

}  // namespace qmupdate
