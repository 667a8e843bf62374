// The board's dispatcher and group completion with a scripted test runner: which jobs run,
// which messages the board sees, what is stored, announced and submitted.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "app/logic/BenchBoardLogic.h"
#include "config/LanguageRes.h"

namespace korvane {
namespace {

struct Message {
  std::uint32_t msg;
  platform::WParam w;
  platform::LParam l;
  bool sent;
};

// The board's window: records every message and feeds the row model as the page does.
class RecordingBoard final : public platform::IMessageTarget {
 public:
  explicit RecordingBoard(BenchBoardModel& m) : model(m) {}
  bool IsLive() const override { return true; }
  bool Post(std::uint32_t msg, platform::WParam w, platform::LParam l) override {
    log.push_back({msg, w, l, false});
    if (msg == WM_BENCH_SCORE) model.OnScore(w, l);
    if (msg == WM_BENCH_TESTEND)
      model.OnTestEnd(static_cast<std::int32_t>(w), static_cast<std::int32_t>(l));
    if (msg == WM_BENCH_CANCELLED) model.OnCancelled(static_cast<std::int32_t>(w));
    return true;
  }
  platform::LParam Send(std::uint32_t msg, platform::WParam w, platform::LParam l) override {
    log.push_back({msg, w, l, true});
    return 0;
  }
  int Count(std::uint32_t msg) const {
    int n = 0;
    for (const auto& m : log) n += m.msg == msg;
    return n;
  }
  BenchBoardModel& model;
  std::vector<Message> log;
};

struct Broadcasts final : IScoreBroadcaster {
  void Broadcast(std::string_view name, platform::WParam w, platform::LParam l) override {
    seen.push_back({std::string(name), w, l});
  }
  struct One {
    std::string name;
    platform::WParam w;
    platform::LParam l;
  };
  std::vector<One> seen;
};

// A runner that gives each test id a fixed score and result, and records the jobs it ran.
struct ScriptedRunner {
  std::map<int, double> scores;
  std::map<int, int> results;
  std::vector<_BENCH_JOB*> ran;
  std::vector<int> ids;
  int operator()(_BENCH_JOB& job) {
    ids.push_back(job.testId);
    job.score = scores.count(job.testId) ? scores[job.testId] : 1.0;
    job.displayValue = 2.5;
    return results.count(job.testId) ? results[job.testId] : kBenchSuccess;
  }
};

BenchDispatchHooks Hooks(ScriptedRunner& r, std::vector<bool>* warm = nullptr) {
  BenchDispatchHooks h;
  h.runTest = [&r](_BENCH_JOB& j) { return r(j); };
  h.warmUpRunning = [warm](bool on) {
    if (warm) warm->push_back(on);
  };
  h.processors = 2;
  return h;
}

TEST(BenchBoard, TheInitialMaskRunsOnlyTheWarmUpAndCompletesWithoutAScore) {
  BenchBoardModel model;
  EXPECT_EQ(model.Mask(), 128);
  RecordingBoard board(model);
  ScriptedRunner runner;
  std::vector<bool> warm;
  RunBenchmark(board, model.Mask(), Hooks(runner, &warm));
  EXPECT_EQ(runner.ids, std::vector<int>{199});  // the warm-up once, never as a listed test
  EXPECT_EQ(warm, (std::vector<bool>{true, false}));
  ASSERT_EQ(board.Count(WM_BENCH_TESTEND), 1);
  for (const auto& m : board.log) {
    if (m.msg == WM_BENCH_TESTEND) {
      EXPECT_EQ(m.w, 199u);
      EXPECT_EQ(m.l, 0);
    }
  }
  EXPECT_EQ(board.Count(WM_BENCH_ALLDONE), 1);
  EXPECT_EQ(board.log.back().msg, WM_BENCH_ALLDONE);

  Broadcasts b;
  int stores = 0;
  const GroupCompletion c = model.Complete(b, [&](int, int) { return ++stores, true; });
  EXPECT_FALSE(c.averaged);
  EXPECT_EQ(stores, 0);
  EXPECT_TRUE(b.seen.empty());
  EXPECT_EQ(c.overallScore, 0);
  EXPECT_EQ(c.cpuScore, 0);
  EXPECT_EQ(c.memScore, 0);
  EXPECT_EQ(model.SummaryText(), "----");
}

TEST(BenchBoard, ACpuGroupOf663And610And590Averages621AndStoresAndAnnounces622) {
  BenchBoardModel model;
  model.SelectMask(1);
  model.Reset();
  RecordingBoard board(model);
  ScriptedRunner runner;
  runner.scores = {{6, 6.63}, {7, 6.10}, {8, 5.90}};
  RunBenchmark(board, 1, Hooks(runner));
  EXPECT_EQ(runner.ids, (std::vector<int>{199, 6, 7, 8}));
  EXPECT_EQ(board.Count(WM_BENCH_WARMUP), 2);
  EXPECT_EQ(board.Count(WM_BENCH_SCORE), 3);
  EXPECT_EQ(model.SummaryText(), "+ 6.21");

  Broadcasts b;
  std::vector<std::pair<int, int>> stored;
  const GroupCompletion c = model.Complete(b, [&](int g, int i) {
    stored.emplace_back(g, i);
    return true;
  });
  ASSERT_TRUE(c.averaged);
  EXPECT_NEAR(c.average, 6.21f, 1e-5);
  EXPECT_EQ(c.integer, 622);
  EXPECT_EQ(stored, (std::vector<std::pair<int, int>>{{1, 622}}));
  ASSERT_EQ(b.seen.size(), 2u);
  EXPECT_EQ(b.seen[0].name, kCpuScoreStartMessage);
  EXPECT_EQ(b.seen[0].w, 0u);
  EXPECT_EQ(b.seen[1].name, kCpuScoreEndMessage);
  EXPECT_EQ(b.seen[1].w, 1u);
  EXPECT_EQ(b.seen[1].l, 622);
  EXPECT_NEAR(c.cpuScore, 6.21f, 1e-5);
  EXPECT_EQ(c.memScore, 0);
  EXPECT_EQ(c.overallScore, 0);
}

TEST(BenchBoard, StoppingDuringTheWarmUpStopsTheFirstTestAndNeverCompletes) {
  BenchBoardModel model;
  model.SelectMask(2);
  model.Reset();
  RecordingBoard board(model);
  ScriptedRunner runner;
  // The warm-up and the first test both see the raised flag.
  runner.results = {{199, kBenchCancelled}, {11, kBenchCancelled}};
  EXPECT_EQ(RunBenchmark(board, 2, Hooks(runner)), kBenchCancelled);
  EXPECT_EQ(runner.ids, (std::vector<int>{199, 11}));
  EXPECT_EQ(board.Count(WM_BENCH_WARMUP), 2);
  EXPECT_EQ(board.Count(WM_BENCH_ALLDONE), 0);
  EXPECT_EQ(board.Count(WM_BENCH_SCORE), 0);
  EXPECT_EQ(model.SummaryText(), "----");
  EXPECT_FALSE(model.Evaluate().averaged);
}

TEST(BenchBoard, AFailedTestLeavesTheGroupUnscoredAndSubmitsZeros) {
  BenchBoardModel model;
  model.SelectMask(2);
  model.Reset();
  RecordingBoard board(model);
  ScriptedRunner runner;
  runner.results = {{12, kBenchFailed}};
  RunBenchmark(board, 2, Hooks(runner));
  EXPECT_EQ(board.Count(WM_BENCH_ALLDONE), 1);
  Broadcasts b;
  const GroupCompletion c = model.Complete(b, nullptr);
  EXPECT_FALSE(c.averaged);
  EXPECT_TRUE(b.seen.empty());
  EXPECT_EQ(c.memScore, 0);
}

TEST(BenchBoard, AMemoryGroupAtTheTopIsStoredClampedButNotSubmitted) {
  BenchBoardModel model;
  model.SelectMask(2);
  model.Reset();
  RecordingBoard board(model);
  ScriptedRunner runner;
  runner.scores = {{11, 7.0}, {12, 7.0}};
  RunBenchmark(board, 2, Hooks(runner));
  Broadcasts b;
  const GroupCompletion c = model.Complete(b, nullptr);
  ASSERT_TRUE(c.averaged);
  EXPECT_EQ(c.integer, 700);
  EXPECT_EQ(b.seen[1].name, kMemScoreEndMessage);
  EXPECT_EQ(c.memScore, 0);  // 7 or more is sent as 0
  EXPECT_EQ(c.cpuScore, 0);
}

TEST(BenchBoard, ScoreMessagesCarryRoundedHundredthsAndTheValueAsAFloat) {
  EXPECT_EQ(PackScoreWParam(6.625, 7), (663u << 16) | 7u);
  EXPECT_EQ(PackScoreWParam(0.004, 12), 12u);
  BenchBoardModel model;
  model.SelectMask(1);
  const float value = 12.75f;
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  model.OnScore(PackScoreWParam(5.55, 6), static_cast<platform::LParam>(bits));
  for (const auto& r : model.Rows()) {
    if (r.testId != 6) continue;
    EXPECT_NEAR(r.score, 5.55f, 1e-5);
    EXPECT_EQ(r.value, 12.75f);
  }
}

// The page's score display as the main window offers it.
struct Shown final : IScoreDisplay {
  void ShowScore(int kind, float score) override { seen.emplace_back(kind, score); }
  std::vector<std::pair<int, float>> seen;
};

TEST(BenchBoard, ACompletedGroupIsShownBeforeItIsAnnouncedAndACpuScoreIsAlsoTheOverallScore) {
  BenchBoardModel model;
  model.SelectMask(1);
  model.Reset();
  RecordingBoard board(model);
  ScriptedRunner runner;
  runner.scores = {{6, 6.63}, {7, 6.10}, {8, 5.90}};
  RunBenchmark(board, 1, Hooks(runner));
  Shown shown;
  std::vector<std::string> order;
  struct Ordered final : IScoreBroadcaster {
    std::vector<std::string>* order;
    Shown* shown;
    void Broadcast(std::string_view name, platform::WParam, platform::LParam) override {
      order->push_back(std::string(name) + "@" + std::to_string(shown->seen.size()));
    }
  } b;
  b.order = &order;
  b.shown = &shown;
  model.Complete(b, nullptr, &shown);
  ASSERT_EQ(shown.seen.size(), 2u);
  EXPECT_EQ(shown.seen[0].first, kCpuScore);
  EXPECT_EQ(shown.seen[1].first, kOverallScore);
  EXPECT_NEAR(shown.seen[1].second, 6.21f, 1e-5);
  EXPECT_EQ(order.front(), std::string(kCpuScoreStartMessage) + "@2");

  BenchBoardModel mem;
  mem.SelectMask(2);
  mem.Reset();
  RecordingBoard memBoard(mem);
  ScriptedRunner memRunner;
  memRunner.scores = {{11, 3.0}, {12, 4.0}};
  RunBenchmark(memBoard, 2, Hooks(memRunner));
  Shown memShown;
  mem.Complete(b, nullptr, &memShown);
  ASSERT_EQ(memShown.seen.size(), 1u);
  EXPECT_EQ(memShown.seen[0].first, kMemoryScore);

  // An unfinished group shows nothing.
  BenchBoardModel idle;
  idle.SelectMask(2);
  idle.Reset();
  Shown none;
  idle.Complete(b, nullptr, &none);
  EXPECT_TRUE(none.seen.empty());
}

// The list as the page fills it: the group's rows in table order with the word of their
// state, then the summary line.
TEST(BenchList, RowsShowTheirStateAndTheSummaryWaitsForEveryRow) {
  BenchBoardModel model;
  model.SelectMask(1);
  auto hardware = [](std::int32_t mask) {
    return mask == 1 ? std::string("The CPU") : std::string("?");
  };
  auto items = BuildBenchList(model, true, hardware);
  ASSERT_EQ(items.size(), 4u);  // three CPU tests, no warm-up row, the summary
  EXPECT_EQ(items[0].itemData, 6);
  EXPECT_EQ(items[0].name, BenchTestName(6));
  EXPECT_EQ(items[0].hardware, "The CPU");
  EXPECT_EQ(items[0].score, LangText(770));
  EXPECT_EQ(items[3].itemData, kSummaryItemData);
  EXPECT_EQ(items[3].name, LangText(720));
  EXPECT_EQ(items[3].score, "----");

  const float seconds = 12.345f;
  std::uint32_t bits = 0;
  std::memcpy(&bits, &seconds, sizeof bits);
  model.OnScore(PackScoreWParam(6.63, 6), static_cast<platform::LParam>(bits));
  model.OnTestEnd(6, kRowFinished);
  model.OnCancelled(7);
  model.OnTestEnd(8, kBenchFailed);
  items = BuildBenchList(model, false, hardware);
  EXPECT_EQ(items[0].result, "12.35 " + LangText(900));
  EXPECT_EQ(items[0].score, "6.63");
  EXPECT_EQ(items[1].score, LangText(771));
  EXPECT_EQ(items[2].score, "");  // a failed test shows no word
  EXPECT_EQ(items[3].score, "----");

  // Without the stopped row the failed one is simply left out of the average.
  model.OnScore(PackScoreWParam(6.11, 7), static_cast<platform::LParam>(bits));
  model.OnTestEnd(7, kRowFinished);
  items = BuildBenchList(model, false, hardware);
  EXPECT_EQ(items[3].score, "+ 6.37");
  EXPECT_FALSE(model.Evaluate().averaged);  // but the group is not complete

  // A new run puts every row of the group back to waiting, the other group's rows untouched.
  items = BuildBenchList(model, true, hardware);
  EXPECT_EQ(items[0].score, LangText(770));
  EXPECT_EQ(items[2].score, LangText(770));

  BenchBoardModel initial;
  items = BuildBenchList(initial, false, hardware);
  ASSERT_EQ(items.size(), 2u);  // mask 128: the warm-up alone
  EXPECT_EQ(items[0].itemData, 199);
}

TEST(BenchTexts, ResultColumnsByTestAndUnit) {
  const std::string sec = LangText(900), ns = LangText(901);
  EXPECT_EQ(BenchResultText(8, 3.456f), "3.46 " + sec);
  EXPECT_EQ(BenchResultText(11, 0.5f), "500.000 MB/" + sec);
  EXPECT_EQ(BenchResultText(11, 12.25f), "12.250 GB/" + sec);
  EXPECT_EQ(BenchResultText(12, 0.75f), "0.750 " + ns);
  EXPECT_EQ(BenchResultText(12, 85.34f), "85.3 " + ns);
  EXPECT_EQ(BenchResultText(199, 1.0f), "");
  EXPECT_EQ(BenchResultText(0, 1.0f), "");
}

TEST(BenchTexts, FieldsAreFilledInOrderAndMissingArgumentsStayEmpty) {
  EXPECT_EQ(FormatLangText("a %s b %0.2f c %.2f %s 100%%", {"x", "y"}, {1.005, 7.0}),
            "a x b 1.00 c 7.00 y 100%");
  // A damaged translation with more fields than arguments never reads past them.
  EXPECT_EQ(FormatLangText("%s%s%s %0.2f %d", {"one"}, {}), "one  ");
  EXPECT_EQ(FormatLangText("50%", {}), "50%");
  EXPECT_EQ(FormatLangText("%x %", {}), "%x %");

  const std::string box = BenchCompletionText(1, 6.21f);
  const std::string title = LangText(811), explanation = LangText(831), note = LangText(841);
  const auto t = box.find(title), a = box.find("6.21"), f = box.find("7.00"),
             e = box.find(explanation), n = box.find(note);
  ASSERT_NE(t, std::string::npos);
  ASSERT_NE(n, std::string::npos);
  EXPECT_LT(t, a);
  EXPECT_LT(a, f);
  EXPECT_LT(f, e);
  EXPECT_LT(e, n);
  EXPECT_EQ(BenchCompletionText(3, 1.0f), "");
  EXPECT_NE(BenchStartStatus(199), BenchStartStatus(6));
  EXPECT_NE(BenchStartStatus(6).find(BenchTestName(6)), std::string::npos);
  EXPECT_NE(BenchStoppedStatus(11).find(BenchTestName(11)), std::string::npos);
}

TEST(ScoreMessages, FailedOrOutOfRangeRegistrationsFallBackTo1344Through1347) {
  const ScoreMessageIds failed = ScoreMessageIdsWith([](std::string_view) { return 0u; });
  EXPECT_EQ(failed.cpuStart, 1344u);
  EXPECT_EQ(failed.cpuEnd, 1345u);
  EXPECT_EQ(failed.memStart, 1346u);
  EXPECT_EQ(failed.memEnd, 1347u);
  const ScoreMessageIds low = ScoreMessageIdsWith([](std::string_view) { return 0xBFFFu; });
  EXPECT_EQ(low.memEnd, 1347u);
  const ScoreMessageIds ok = ScoreMessageIdsWith(
      [](std::string_view n) { return n == kMemScoreEndMessage ? 0xC123u : 0x10000u; });
  EXPECT_EQ(ok.memEnd, 0xC123u);
  EXPECT_EQ(ok.cpuStart, 1344u);
}

}  // namespace
}  // namespace korvane
