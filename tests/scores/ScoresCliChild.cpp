// `korvane --scores` on its own, so a test can run it as another process on the session bus.
#include <string>
#include <vector>

#include "scores/ScoresCli.h"

int main(int argc, char** argv) {
  return korvane::RunScoresCli(std::vector<std::string>(argv + 1, argv + argc));
}
