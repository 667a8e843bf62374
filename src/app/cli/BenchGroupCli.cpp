#include "app/cli/BenchGroupCli.h"

#include <signal.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <nlohmann/json.hpp>

#include "app/cli/RunLibrary.h"
#include "app/logic/BenchBoardLogic.h"
#include "bench/BenchJob.h"
#include "config/Installation.h"
#include "config/LanguageRes.h"
#include "hwlib/CpuidSdk.h"
#include "hwlib/HardwareLibrary.h"
#include "platform/Clock.h"
#include "platform/Registry.h"
#include "scores/ScoreStore.h"
#include "summary/HdwSummary.h"
#include "summary/SummaryModel.h"

namespace korvane {
namespace {

using Json = nlohmann::ordered_json;

// A terminal has no score display and announces nothing at start-up.
class SilentScoreDisplay final : public IScoreDisplay {
 public:
  void ShowScore(int, float) override {}
};
class SilentBroadcaster final : public IScoreBroadcaster {
 public:
  void Broadcast(std::string_view, platform::WParam, platform::LParam) override {}
};

// The terminal as the board's window: every job message updates the rows; progress on stderr.
class TerminalBoard final : public platform::IMessageTarget {
 public:
  explicit TerminalBoard(BenchBoardModel& model) : model_(model) {}
  bool IsLive() const override { return true; }
  bool Post(std::uint32_t msg, platform::WParam wParam, platform::LParam lParam) override {
    std::lock_guard lock(mutex_);
    const auto id = static_cast<std::int32_t>(wParam & 0xFFFF);
    switch (msg) {
      case WM_BENCH_START:
        lastPercent_ = -1;
        std::fprintf(stderr, "%s ...\n", Name(id));
        break;
      case WM_BENCH_PROGRESS:
        if (static_cast<int>(lParam) != lastPercent_) {
          lastPercent_ = static_cast<int>(lParam);
          std::fprintf(stderr, "\r%3d%%", lastPercent_);
        }
        break;
      case WM_BENCH_DONE:
        std::fputs("\r100%\n", stderr);
        break;
      case WM_BENCH_CANCELLED:
        std::fputs("\rstopped\n", stderr);
        model_.OnCancelled(id);
        break;
      case WM_BENCH_SCORE:
        model_.OnScore(wParam, lParam);
        break;
      case WM_BENCH_TESTEND:
        model_.OnTestEnd(id, static_cast<std::int32_t>(lParam));
        results_.emplace_back(id, static_cast<int>(lParam));
        break;
      default:
        break;
    }
    std::fflush(stderr);
    return true;
  }
  platform::LParam Send(std::uint32_t msg, platform::WParam w, platform::LParam l) override {
    Post(msg, w, l);
    return 0;
  }
  static const char* Name(std::int32_t id) {
    for (const auto& e : kBenchTests)
      if (e.testId == id) return e.englishName;
    return "test";
  }
  std::vector<std::pair<std::int32_t, int>> results_;

 private:
  BenchBoardModel& model_;
  std::mutex mutex_;
  int lastPercent_ = -1;
};

void OnInterrupt(int) { BenchCancelFlag().store(1); }

int Usage() {
  std::fputs("usage: korvane --bench cpu|mem [--json] [--no-submit]\n", stderr);
  return 2;
}

}  // namespace

ProfileTexts ProfileTextsFromSummary() {
  using summary::GetSummary;
  ProfileTexts t;
  t.cpuCaption = GetSummary(0, 0);
  t.cpuProfile = GetSummary(0, 1);
  t.boardCaption = GetSummary(2, 0);
  t.memoryProfile = GetSummary(3, 1);
  t.memoryCaptionString = GetSummary(3, 2);
  t.video = GetSummary(4, 1);
  t.monitor = GetSummary(5, 1);
  t.disk = GetSummary(6, 1);
  t.network = GetSummary(7, 1);
  t.sound = GetSummary(8, 1);
  return t;
}

void FillSummaryTableWithoutWindow() {
  CRunLibrary library;
  CPUIDSDK* sdk = library.Get();
  summary::SummarySources sources;
  sources.library = [sdk] { return sdk; };
  summary::CHdwSummary page(LanguageRes(), std::move(sources));
  SilentScoreDisplay display;
  SilentBroadcaster broadcaster;
  const StoredScores scores = LoadStoredScores(display, broadcaster);
  page.OnFirstShow(scores.cpu, scores.memory);
}

int RunBenchGroupCli(const std::vector<std::string>& args) {
  std::int32_t mask = 0;
  bool json = false, submit = true;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--bench" && i + 1 < args.size()) {
      const std::string& g = args[++i];
      if (g == "cpu")
        mask = 1;
      else if (g == "mem")
        mask = 2;
      else
        return Usage();
    } else if (a == "--json") {
      json = true;
    } else if (a == "--no-submit") {
      submit = false;
    } else {
      return Usage();
    }
  }
  if (mask == 0) return Usage();

  BenchBoardModel model;
  model.SelectMask(mask);
  model.Reset();
  TerminalBoard board(model);
  BenchCancelFlag().store(0);
  struct sigaction action = {};
  struct sigaction previous = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous);
  BenchDispatchHooks hooks;
  hooks.processors = platform::ProcessorCount();
  const int last = RunBenchmark(board, mask, hooks);
  sigaction(SIGINT, &previous, nullptr);

  // The window's installation record makes the program's key; a headless run on a machine
  // where the window never ran makes it here, so the score is stored as the page would.
  bool stored = false;
  const GroupCompletion c =
      last == kBenchCancelled
          ? model.Evaluate()
          : model.Complete(SessionBusBroadcaster(), [&stored](int group, int integer) {
              platform::RegistryKey key;
              if (key.Open(platform::RegRoot::CurrentUser, kProgramRegistryKey,
                           platform::RegAccess::Read) != platform::kRegOk &&
                  key.Create(platform::RegRoot::CurrentUser, kProgramRegistryKey) !=
                      platform::kRegOk) {
                return false;
              }
              key.Close();
              stored = StoreGroupScore(group, integer);
              return stored;
            });
  // What was really stored; 0 when nothing was.
  const int storedInteger = stored ? c.integer : 0;
  SubmitOutcome sent;
  if (submit && last != kBenchCancelled) {
    // The texts are read once the detection pass has run; the key request goes first.
    FillSummaryTableWithoutWindow();
    const ProfileTexts texts = ProfileTextsFromSummary();
    sent = SubmitScores([texts] { return texts; }, c.overallScore, c.cpuScore, c.memScore);
    std::fprintf(stderr, "submission: key %u, scores %u\n", sent.keyStatus, sent.submitStatus);
  }

  Json out;
  out["group"] = mask == 1 ? "cpu" : "mem";
  out["tests"] = Json::array();
  for (const BenchRow& r : model.Rows()) {
    if (!MaskContains(mask, r.groupMask)) continue;
    int result = kBenchNotRun;
    for (const auto& [id, code] : board.results_)
      if (id == r.testId) result = code;
    if (json) {
      out["tests"].push_back({{"test", r.testId},
                              {"name", TerminalBoard::Name(r.testId)},
                              {"result", result},
                              {"score", r.score >= 0 ? std::round(r.score * 100) / 100 : 0.0},
                              {"value", std::isfinite(r.value) ? r.value : 0.0f}});
    } else {
      std::printf("test=%d result=%d score=%.2f value=%.3f name=\"%s\"\n", r.testId, result,
                  r.score >= 0 ? static_cast<double>(r.score) : 0.0,
                  std::isfinite(r.value) ? static_cast<double>(r.value) : 0.0,
                  TerminalBoard::Name(r.testId));
    }
  }
  if (json) {
    out["completed"] = c.averaged;
    // The score as shown and submitted ("%0.2f"), not a re-rounding of it.
    char shown[32];
    std::snprintf(shown, sizeof shown, "%.2f", static_cast<double>(c.average));
    out["score"] = std::strtod(shown, nullptr);
    out["stored"] = storedInteger;
    out["submitted"] = sent.submitStatus;
    std::printf("%s\n", out.dump().c_str());
  } else {
    std::printf("group=%s completed=%d score=%.2f stored=%d submitted=%u\n",
                mask == 1 ? "cpu" : "mem", c.averaged ? 1 : 0, static_cast<double>(c.average),
                storedInteger, sent.submitStatus);
  }
  std::fflush(stdout);
  if (last == kBenchCancelled) return 130;
  return c.averaged ? 0 : 1;
}

}  // namespace korvane
