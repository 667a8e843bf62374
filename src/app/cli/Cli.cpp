#include "app/cli/Cli.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "app/cli/BenchGroupCli.h"
#include "app/cli/Diagnose.h"
#include "app/cli/DriverQueryCli.h"
#include "app/cli/Report.h"
#include "app/cli/SensorsCli.h"
#include "bench/BenchCli.h"
#include "config/Edition.h"
#include "config/StringsCli.h"
#include "scores/ScoresCli.h"

namespace korvane {
namespace {

bool Has(const std::vector<std::string>& args, const char* flag) {
  for (const auto& a : args) {
    if (a == flag) return true;
  }
  return false;
}

bool EqualsNoCase(const std::string& a, const char* b) {
  const std::size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

}  // namespace

std::string CliHelpText(bool withGui) {
  std::string text;
  text += "Usage: korvane [mode] [options]\n\n";
  if (withGui) {
    text +=
        "Without a mode Korvane opens its window. Window switches (any case):\n"
        "  /cpuscore            open on the benchmark page with the CPU test\n"
        "  /memscore            open on the benchmark page with the memory test\n\n";
  }
  text += "Terminal modes (no display needed):\n"
          "  --diagnose [--json] [--show-private]\n"
          "                       print every hardware reading Korvane takes of this machine\n"
          "                       (hardware and public IP addresses masked unless --show-private)\n"
          "                       (KORVANE_SYSROOT=<dir> reads a recorded machine instead)\n"
          "  --report [--json] [--show-private]\n"
          "                       print the summary page's eight panes (addresses masked)\n"
          "  --sensors [--json] [--watch SECONDS]\n"
          "                       print the temperatures, fans and core voltage where the\n"
          "                       summary page shows them; --watch repeats until Ctrl-C\n"
          "  --bench-test ID [--json]\n"
          "                       run one benchmark test: 0 pi, 1 Julia, 2 Mandelbrot,\n"
          "                       3-5 the same on two workers, 6-8 on four, 11 memory bandwidth,\n"
          "                       12 memory latency, 199 warm-up; Ctrl-C cancels\n"
          "  --bench cpu|mem [--json] [--no-submit]\n"
          "                       run a whole benchmark group as the Test page does: store and\n"
          "                       announce the group score and (unless --no-submit) submit it\n"
          "  --scores             print the stored scores and announce them on the session bus\n"
          "  --strings [--lang LOCALE]\n"
          "                       print the interface texts of the language in use\n"
          "  --driver-query ID [--json]\n"
          "                       ask the driver database about a device instance id\n"
          "  --version            print the version and exit\n"
          "  --help               print this text and exit\n";
  return text;
}

bool IsWindowSwitch(const std::string& arg) {
  return EqualsNoCase(arg, "/cpuscore") || EqualsNoCase(arg, "/memscore");
}

bool DisplayAvailable(const std::vector<std::string>& args) {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return true;
  }
  // The toolkit's own option names a platform, such as one that needs no screen.
  return Has(args, "-platform");
}

CliOutcome RunCli(const std::vector<std::string>& args, bool withGui) {
  CliOutcome out;
  if (!args.empty() && args.front().rfind("--", 0) != 0) {
    const std::string& first = args.front();
    if (first == "-h" || first == "-help" || first == "-?") {
      out.handled = true;
      out.exitCode = 2;
      std::cerr << CliHelpText(withGui);
      return out;
    }
    // The window ignores what it does not know, but without a display there is no window to
    // open: an argument that is not one of its switches is then a mistyped terminal mode.
    if (!withGui || !DisplayAvailable(args)) {
      for (const auto& a : args) {
        if (IsWindowSwitch(a)) continue;
        out.handled = true;
        out.exitCode = 2;
        std::cerr << "korvane: unknown argument " << a << "\n\n" << CliHelpText(withGui);
        return out;
      }
    }
  }
  // Anything but a "--" mode starts the window, which runs the edition check itself once it can
  // show a message box.
  if (args.empty() || args.front().rfind("--", 0) != 0) return out;
  // This edition refuses Traditional-Chinese systems in every terminal mode too.
  if (!EnforceEdition()) {
    out.handled = true;
    out.exitCode = 1;
    return out;
  }
  const std::string& mode = args.front();
  if (mode == "--help" || mode == "-h") {
    out.handled = true;
    std::cout << CliHelpText(withGui);
    return out;
  }
  if (mode == "--version") {
    out.handled = true;
    std::cout << kProductName << ' ' << kProductVersion << '\n';
    return out;
  }
  if (mode == "--diagnose") {
    out.handled = true;
    const auto doc = BuildDiagnosis(Has(args, "--show-private"));
    if (Has(args, "--json")) {
      // Machine texts are cleaned where they are read; this is the last net, so a stray byte
      // never ends the dump with an exception.
      std::cout << doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
    } else {
      std::cout << RenderDiagnosisText(doc);
    }
    return out;
  }
  if (mode == "--report") {
    out.handled = true;
    out.exitCode = RunReportCli(std::vector<std::string>(args.begin() + 1, args.end()));
    return out;
  }
  if (mode == "--sensors") {
    out.handled = true;
    out.exitCode = RunSensorsCli(std::vector<std::string>(args.begin() + 1, args.end()));
    return out;
  }
  if (mode == "--strings") {
    out.handled = true;
    out.exitCode = RunStringsCli(args);
    return out;
  }
  if (mode == "--bench-test" || mode.rfind("--bench-test=", 0) == 0) {
    out.handled = true;
    out.exitCode = RunBenchTestCli(args);
    return out;
  }
  if (mode == "--bench") {
    out.handled = true;
    out.exitCode = RunBenchGroupCli(args);
    return out;
  }
  if (mode == "--scores") {
    out.handled = true;
    out.exitCode = RunScoresCli(std::vector<std::string>(args.begin() + 1, args.end()));
    return out;
  }
  if (mode == "--driver-query") {
    out.handled = true;
    out.exitCode = RunDriverQueryCli(args);
    return out;
  }
  if (mode.rfind("--", 0) == 0) {
    out.handled = true;
    out.exitCode = 2;
    std::cerr << "korvane: unknown option " << mode << "\n\n" << CliHelpText(withGui);
  }
  return out;
}

}  // namespace korvane
