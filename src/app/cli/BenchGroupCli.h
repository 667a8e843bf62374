#pragma once
// `korvane --bench cpu|mem [--json] [--no-submit]`: a whole benchmark group without a window,
// as the Test page runs it: warm-up, the group's tests, average, store, announce, submit.
#include <string>
#include <vector>

#include "online/ScoreSubmit.h"

namespace korvane {

// Exit status: 0 completed, 130 cancelled (Ctrl-C), 1 a test failed, 2 usage error.
int RunBenchGroupCli(const std::vector<std::string>& args);

// The profile texts from the detectors this program runs itself (until the summary table
// supplies them): the processor's brand string, memory size, first display adapter, monitor,
// disk, network adapter and sound device.
ProfileTexts ProfileTextsFromDetectors();

}  // namespace korvane
