#pragma once
// The benchmark board without its window: the test and group tables, the dispatcher that runs a
// group's tests one after another, the row records the job messages update, and what happens
// when a group completes (average, stored integer, announcement, the scores to submit). The
// Test page and `korvane --bench` both drive this.
#include <array>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "bench/BenchJob.h"
#include "platform/Messages.h"
#include "scores/ScoreStore.h"

namespace korvane {

struct BenchTestEntry {
  std::int32_t category;  // 6 warm-up, 1 CPU, 2 memory
  std::int32_t imageIndex;
  std::int32_t groupMask;
  std::int32_t testId;
  std::int32_t weight;  // percent; shown nowhere, computed with nowhere
  int nameId;
  const char* englishName;
};
inline constexpr std::array<BenchTestEntry, 6> kBenchTests{{
    {6, 0, 0x80, 199, 0, 850, "CPU Warm Up, Please Wait"},
    {1, 1, 1, 6, 40, 851, "CPU Calculating"},
    {1, 1, 1, 7, 30, 852, "CPU Floating Test"},
    {1, 1, 1, 8, 30, 853, "CPU Double Floating Test"},
    {2, 2, 2, 11, 60, 856, "Memory Copy"},
    {2, 2, 2, 12, 40, 857, "Memory Latency"},
}};

struct BenchGroupEntry {
  std::int32_t key;
  std::int32_t mask;
  int titleId, explanationId, noteId;
};
inline constexpr std::array<BenchGroupEntry, 2> kBenchGroups{
    {{1, 1, 811, 831, 841}, {2, 2, 812, 832, 842}}};
inline constexpr std::int32_t kInitialBenchMask = 128;

// A row belongs to a mask when all of its bits are in it.
constexpr bool MaskContains(std::int32_t mask, std::int32_t rowMask) {
  return (rowMask & mask) == rowMask;
}

// Row states.
inline constexpr std::int32_t kRowFinished = 1;
inline constexpr std::int32_t kRowWaiting = 2;
inline constexpr std::int32_t kRowStopped = 3;

// WM_BENCH_SCORE's wParam: (score x 100 rounded half up) << 16 | test id.
platform::WParam PackScoreWParam(double score, std::int32_t testId);

// ---- dispatcher --------------------------------------------------------------------------
struct BenchDispatchHooks {
  // Runs one prepared job and returns its result code (the bench runner by default).
  std::function<int(_BENCH_JOB&)> runTest;
  // The main window's warm-up flag (set before, cleared after the warm-up).
  std::function<void(bool)> warmUpRunning;
  int processors = 1;
};
// Runs the warm-up and then every test of the mask on the calling thread, posting the job
// messages to window. Returns the last result (3 when cancelled).
int RunBenchmark(platform::IMessageTarget& window, std::int32_t mask,
                 const BenchDispatchHooks& hooks);

// ---- rows and completion -----------------------------------------------------------------
struct BenchRow {
  std::int32_t groupMask;
  std::int32_t testId;
  std::int32_t state = kRowWaiting;
  float score = -1.0f;
  float value = -1.0f;
};

struct GroupCompletion {
  bool averaged = false;  // every listed row finished and at least one is listed
  float average = 0.0f;   // 0 when not averaged
  int integer = 0;        // the stored and announced integer (0 when not averaged)
  int groupKey = 0;       // 1 CPU, 2 memory, 0 none
  // What the submission receives: the average as the group's score, 0 elsewhere, 7 or more
  // sent as 0.
  float overallScore = 0.0f, cpuScore = 0.0f, memScore = 0.0f;
};

class BenchBoardModel {
 public:
  BenchBoardModel();
  std::int32_t Mask() const { return mask_; }
  void SelectMask(std::int32_t mask) { mask_ = mask; }
  // Rows of the current mask back to waiting (a new run).
  void Reset();
  const std::vector<BenchRow>& Rows() const { return rows_; }
  // Job-message handlers.
  void OnScore(platform::WParam wParam, platform::LParam lParam);
  void OnTestEnd(std::int32_t testId, std::int32_t result);
  void OnCancelled(std::int32_t testId);
  // "+ %0.2f" of the average, or "----" while a listed row is waiting or stopped.
  std::string SummaryText() const;
  // The average, the integer and the submission scores; nothing stored or announced.
  GroupCompletion Evaluate() const;
  // Evaluate, then for an averaged group: announce START/END and store the integer.
  GroupCompletion Complete(IScoreBroadcaster& broadcaster,
                           const std::function<bool(int group, int integer)>& store);

 private:
  BenchRow* Find(std::int32_t testId);
  std::int32_t mask_ = kInitialBenchMask;
  std::vector<BenchRow> rows_;
};

// The four message numbers from a registrar, with 1344..1347 for failed registrations or
// numbers outside 0xC000..0xFFFF.
ScoreMessageIds ScoreMessageIdsWith(const std::function<std::uint32_t(std::string_view)>& reg);

}  // namespace korvane
