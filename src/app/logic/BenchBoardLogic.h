#pragma once
// The benchmark board without its window: the test and group tables, the dispatcher that runs a
// group's tests one after another, the row records the job messages update, and what happens
// when a group completes (average, stored integer, announcement, the scores to submit). The
// Test page and `korvane --bench` both drive this.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
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
  // Evaluate, then for an averaged group: show the average (a CPU average also as the
  // overall score), announce START/END and store the integer. display may be null.
  GroupCompletion Complete(IScoreBroadcaster& broadcaster,
                           const std::function<bool(int group, int integer)>& store,
                           IScoreDisplay* display = nullptr);
  const BenchRow* Row(std::int32_t testId) const;

 private:
  BenchRow* Find(std::int32_t testId);
  std::int32_t mask_ = kInitialBenchMask;
  std::vector<BenchRow> rows_;
};

// ---- texts of the page --------------------------------------------------------------------
// The fixed name of a test id from the language table ("" for an id that is no test).
std::string BenchTestName(std::int32_t testId);
// The result column: seconds for the CPU tests, bandwidth for the copy, nanoseconds for the
// latency; "" for anything else.
std::string BenchResultText(std::int32_t testId, float value);
// A language text with its printf-style fields filled in order: "%s" takes the next text,
// "%0.2f"/"%.2f" the next number, "%%" is a percent sign. A field without an argument stays
// empty, so a damaged translation can never read past what was passed.
std::string FormatLangText(std::string_view format, const std::vector<std::string>& texts,
                           const std::vector<double>& numbers = {});
// The status line while a test starts or progresses (750 for the warm-up, 751 otherwise),
// after a test (752) and after a stop (753).
std::string BenchStartStatus(std::int32_t testId);
std::string BenchDoneStatus(std::int32_t testId);
std::string BenchStoppedStatus(std::int32_t testId);
// The completion box's text for a group key and its average.
std::string BenchCompletionText(int groupKey, float average);
// "Korvane 3.0.603": the caption of the confirmation and the completion box.
std::string BenchBoxCaption();
// The group title, explanation and note of a key (1 CPU, 2 memory).
const BenchGroupEntry* BenchGroupOfKey(int key);
const BenchGroupEntry* BenchGroupOfMask(std::int32_t mask);

// One line of the list: column texts and the item data (the test id, 200 for the summary).
inline constexpr std::int32_t kSummaryItemData = 200;
struct BenchListItem {
  std::int32_t itemData = 0;
  std::string name, hardware, result, score;
};
// The list for the current mask as the page fills it (the model's rows reset first when
// asked): the rows of the mask in table order, then the summary line. hardwareName gives the
// device text of a row's group mask.
std::vector<BenchListItem> BuildBenchList(
    BenchBoardModel& model, bool reset,
    const std::function<std::string(std::int32_t)>& hardwareName);

// The Start/Stop button's text ids.
inline constexpr int kButtonStart = 780;
inline constexpr int kButtonStop = 781;
inline constexpr int kButtonRestart = 783;

// A run uses every processor of the system: a narrower process affinity is widened first.
// True when it was widened.
bool WidenProcessAffinityToSystem();

// The four message numbers from a registrar, with 1344..1347 for failed registrations or
// numbers outside 0xC000..0xFFFF.
ScoreMessageIds ScoreMessageIdsWith(const std::function<std::uint32_t(std::string_view)>& reg);

}  // namespace korvane
