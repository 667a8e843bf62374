#pragma once
// The window's run mode comes from the command line in its Windows form: a quoted program path
// followed by the switches. Linux hands us an argument vector, so it is joined into that form
// first and the same rule reads both.
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

enum RunModeValue : int { kRunNormal = 0, kRunCpuScore = 1, kRunMemScore = 2 };

// "\"<argv[0]>\" arg1 arg2 ..." — the program path quoted, the arguments joined by single
// spaces. An empty vector gives an empty line.
std::string WindowsCommandLine(const std::vector<std::string>& argv);

// 0, 1 for "/cpuscore", 2 for "/memscore" (any case; the last switch wins). Only the text after
// the second double quote is read; a line without a quoted program path is normal mode.
int ParseRunMode(std::string_view commandLine);

// Process-wide, written once during start-up before any window exists.
int RunMode();
void SetRunMode(int mode);

}  // namespace korvane
