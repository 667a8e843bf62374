#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/cli/Cli.h"
#ifdef KORVANE_WINDOW_PROGRAM
#include "app/GuiMain.h"
#else
#include "platform/Paths.h"
#endif

// Two programs share this entry point. `korvane` links no Qt, so the terminal modes start in a
// few milliseconds and a few megabytes; for the window it hands over to `korvane-window` beside
// it, which is the same process afterwards (exec keeps the process id, arguments and
// environment).
int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
#ifdef KORVANE_WINDOW_PROGRAM
  const auto cli = korvane::RunCli(args, true);
  if (cli.handled) return cli.exitCode;
  return korvane::RunGui(argc, argv);
#else
#ifdef KORVANE_HAS_WINDOW
  const bool withGui = true;
#else
  const bool withGui = false;
#endif
  const auto cli = korvane::RunCli(args, withGui);
  if (cli.handled) return cli.exitCode;
  if (withGui) {
    const std::string window = platform::ExecutableDirectory() + "korvane-window";
    ::execv(window.c_str(), argv);
    std::fprintf(stderr, "korvane: cannot start the window program %s: %s\n", window.c_str(),
                 std::strerror(errno));
    return 1;
  }
  // A build without the window still does its main job in the terminal.
  return korvane::RunCli({"--report"}, false).exitCode;
#endif
}
