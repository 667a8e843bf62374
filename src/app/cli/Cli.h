#pragma once
// The program's terminal modes. They need no display and no Qt, so they work on servers, in
// scripts and in CI, and in a build without the GUI.
#include <string>
#include <vector>

#include "config/Product.h"

namespace korvane {

struct CliOutcome {
  bool handled = false;  // false: not a terminal mode, start the window
  int exitCode = 0;
};

// args excludes the program name.
CliOutcome RunCli(const std::vector<std::string>& args, bool withGui);
std::string CliHelpText(bool withGui);

}  // namespace korvane
