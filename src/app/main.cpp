#include <string>
#include <vector>

#include "app/cli/Cli.h"
#ifdef KORVANE_WITH_GUI
#include "app/GuiMain.h"
#endif

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
#ifdef KORVANE_WITH_GUI
  const bool withGui = true;
#else
  const bool withGui = false;
#endif
  const auto cli = korvane::RunCli(args, withGui);
  if (cli.handled) return cli.exitCode;
#ifdef KORVANE_WITH_GUI
  return korvane::RunGui(argc, argv);
#else
  // A build without the window still does its main job in the terminal.
  return korvane::RunCli({"--diagnose"}, false).exitCode;
#endif
}
