#pragma once
// korvane --report [--json] [--show-private]: the summary page's eight panes in the terminal.
#include <string>
#include <vector>

namespace korvane {

// args: the words after "--report". Returns the exit code.
int RunReportCli(const std::vector<std::string>& args);

}  // namespace korvane
