#pragma once
// `korvane --scores`: the stored scores as start-up loads them, announced the same way.
#include <string>
#include <vector>

namespace korvane {

// args: the words after "--scores". Prints the overall, CPU and memory scores (0.00 when
// absent) to standard output and broadcasts the CPU and memory scores. 0 on success, 2 on a
// usage error.
// The scores are printed (and flushed) before anything is announced.
int RunScoresCli(const std::vector<std::string>& args);

class IScoreBroadcaster;
// The same, announcing through the given broadcaster (tests record the order).
int RunScoresCli(const std::vector<std::string>& args, IScoreBroadcaster& broadcaster);

}  // namespace korvane
