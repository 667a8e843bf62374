#include "app/cli/BenchGroupCli.h"

#include <signal.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <nlohmann/json.hpp>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include "app/logic/BenchBoardLogic.h"
#include "bench/BenchJob.h"
#include "detect/DetectDiagnose.h"
#include "detect/MemoryHelper.h"
#include "platform/Clock.h"
#include "platform/Sysroot.h"
#include "scores/ScoreStore.h"

namespace korvane {
namespace {

using Json = nlohmann::ordered_json;

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\n' || s.back() == '\0')) s.pop_back();
  std::size_t b = 0;
  while (b < s.size() && s[b] == ' ') ++b;
  return s.substr(b);
}

std::string CpuBrandString() {
#if defined(__x86_64__) || defined(__i386__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(0x80000000u, &a, &b, &c, &d) == 0 || a < 0x80000004u) return {};
  char brand[49] = {};
  for (unsigned leaf = 0; leaf < 3; ++leaf) {
    __get_cpuid(0x80000002u + leaf, &a, &b, &c, &d);
    std::memcpy(brand + leaf * 16, &a, 4);
    std::memcpy(brand + leaf * 16 + 4, &b, 4);
    std::memcpy(brand + leaf * 16 + 8, &c, 4);
    std::memcpy(brand + leaf * 16 + 12, &d, 4);
  }
  return Trimmed(brand);
#else
  return {};
#endif
}

// The first element of a list that has a non-empty text under key.
std::string FirstText(const Json& doc, std::initializer_list<const char*> path, const char* key) {
  const Json* node = &doc;
  for (const char* p : path) {
    if (!node->is_object() || !node->contains(p)) return {};
    node = &(*node)[p];
  }
  if (!node->is_array()) return {};
  for (const Json& item : *node) {
    if (item.is_object() && item.contains(key) && item[key].is_string()) {
      std::string s = Trimmed(item[key].get<std::string>());
      if (!s.empty()) return s;
    }
  }
  return {};
}

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

ProfileTexts ProfileTextsFromDetectors() {
  ProfileTexts t;
  t.cpuCaption = CpuBrandString();
  t.cpuProfile = t.cpuCaption;
  if (const auto meminfo = platform::ReadSysFile("/proc/meminfo")) {
    if (const auto status = ParseMemInfo(*meminfo)) {
      const auto mb = static_cast<unsigned long long>(status->ullTotalPhys >> 20);
      char buf[64];
      std::snprintf(buf, sizeof buf, "( %lluMB )", mb);
      t.memoryProfile = buf;
      t.memoryCaptionString = buf;
    }
  }
  const Json doc = DiagnoseDetectors(nullptr, false);
  if (doc.contains("memory") && doc["memory"].contains("name") &&
      doc["memory"]["name"].is_string()) {
    const std::string name = Trimmed(doc["memory"]["name"].get<std::string>());
    if (!name.empty()) t.memoryProfile = name + " " + t.memoryProfile;
  }
  t.video = FirstText(doc, {"display", "adapters"}, "name");
  t.monitor = FirstText(doc, {"monitors", "monitors"}, "name");
  t.disk = FirstText(doc, {"disks", "disks"}, "model");
  t.network = FirstText(doc, {"network", "adapters"}, "description");
  t.sound = FirstText(doc, {"others", "sound", "devices"}, "name");
  return t;
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

  const GroupCompletion c =
      last == kBenchCancelled ? model.Evaluate()
                              : model.Complete(SessionBusBroadcaster(), [](int group, int integer) {
                                  return StoreGroupScore(group, integer);
                                });
  SubmitOutcome sent;
  if (submit && last != kBenchCancelled) {
    sent = SubmitScores(ProfileTextsFromDetectors, c.overallScore, c.cpuScore, c.memScore);
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
    out["stored"] = c.integer;
    out["submitted"] = sent.submitStatus;
    std::printf("%s\n", out.dump().c_str());
  } else {
    std::printf("group=%s completed=%d score=%.2f stored=%d submitted=%u\n",
                mask == 1 ? "cpu" : "mem", c.averaged ? 1 : 0, static_cast<double>(c.average),
                c.integer, sent.submitStatus);
  }
  std::fflush(stdout);
  if (last == kBenchCancelled) return 130;
  return c.averaged ? 0 : 1;
}

}  // namespace korvane
