#pragma once
// korvane --sensors [--json] [--watch SECONDS]: the live readings where the summary page places
// them (pane, device, label, value, unit), once or every few seconds until Ctrl-C.
#include <string>
#include <vector>

namespace korvane {

// args: the words after "--sensors". Returns the exit code (2 for a bad argument).
int RunSensorsCli(const std::vector<std::string>& args);

// The number of seconds of "--watch SECONDS": a whole number from 1 to 86400, else -1.
int ParseWatchSeconds(const std::string& text);

}  // namespace korvane
