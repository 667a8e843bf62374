#pragma once
// `korvane --bench cpu|mem [--json] [--no-submit]`: a whole benchmark group without a window,
// as the Test page runs it: warm-up, the group's tests, average, store, announce, submit.
#include <string>
#include <vector>

#include "online/ScoreSubmit.h"

namespace korvane {

// Exit status: 0 completed, 130 cancelled (Ctrl-C), 1 a test failed, 2 usage error.
int RunBenchGroupCli(const std::vector<std::string>& args);

// The profile texts as the summary table holds them now (GetSummary of the summary page): what
// the window's Test page and `korvane --bench` both submit.
ProfileTexts ProfileTextsFromSummary();

// Without a window nobody has filled the summary table: runs the summary page's detection
// once, with a private copy of the hardware library, so the table holds this machine's texts.
void FillSummaryTableWithoutWindow();

}  // namespace korvane
