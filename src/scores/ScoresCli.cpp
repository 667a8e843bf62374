#include "scores/ScoresCli.h"

#include <cstdio>
#include <string>
#include <string_view>

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

// Holds the announcements back until the scores are on the terminal: the scores are what the
// user asked for, and a slow session bus must not keep them waiting.
class HeldAnnouncements final : public IScoreBroadcaster {
 public:
  void Broadcast(std::string_view name, platform::WParam wParam, platform::LParam lParam) override {
    held_.push_back({std::string(name), wParam, lParam});
  }
  void SendTo(IScoreBroadcaster& target) const {
    for (const platform::BroadcastEvent& e : held_) target.Broadcast(e.name, e.wParam, e.lParam);
  }

 private:
  std::vector<platform::BroadcastEvent> held_;
};

}  // namespace

int RunScoresCli(const std::vector<std::string>& args) {
  return RunScoresCli(args, SessionBusBroadcaster());
}

int RunScoresCli(const std::vector<std::string>& args, IScoreBroadcaster& broadcaster) {
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
  HeldAnnouncements announcements;
  LoadStoredScores(display, announcements);
  std::printf("Overall score: %0.2f\nCPU score: %0.2f\nMemory score: %0.2f\n",
              display.scores[kOverallScore], display.scores[kCpuScore],
              display.scores[kMemoryScore]);
  std::fflush(stdout);
  announcements.SendTo(broadcaster);
  return 0;
}

}  // namespace korvane
