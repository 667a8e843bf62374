#include "scores/ScoresCli.h"

#include <cstdio>

#include "scores/ScoreStore.h"

namespace korvane {
namespace {

// Keeps what the loader hands to the main window, so the terminal shows exactly that.
class PrintedScores final : public IScoreDisplay {
 public:
  void ShowScore(int kind, float score) override {
    if (kind >= 0 && kind < 3) scores[kind] = score;
  }
  float scores[3] = {0.0f, 0.0f, 0.0f};
};

}  // namespace

int RunScoresCli(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::printf(
          "Usage: korvane --scores\n"
          "Prints the stored overall, CPU and memory scores and announces the CPU and\n"
          "memory scores on the session bus, as the program does at start-up.\n");
      return 0;
    }
    std::fprintf(stderr, "korvane --scores: unknown argument \"%s\"\n", arg.c_str());
    return 2;
  }
  PrintedScores display;
  LoadStoredScores(display);
  std::printf("Overall score: %0.2f\nCPU score: %0.2f\nMemory score: %0.2f\n",
              display.scores[kOverallScore], display.scores[kCpuScore],
              display.scores[kMemoryScore]);
  std::fflush(stdout);
  return 0;
}

}  // namespace korvane
