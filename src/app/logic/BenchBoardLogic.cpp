#include "app/logic/BenchBoardLogic.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

#include "bench/BenchCli.h"
#include "config/LanguageRes.h"
#include "config/Product.h"
#include "platform/Clock.h"

namespace korvane {

platform::WParam PackScoreWParam(double score, std::int32_t testId) {
  const auto hundredths = static_cast<std::uint32_t>(std::floor(score * 100.0 + 0.5));
  return (static_cast<platform::WParam>(hundredths) << 16) |
         static_cast<platform::WParam>(testId & 0xFFFF);
}

int RunBenchmark(platform::IMessageTarget& window, std::int32_t mask,
                 const BenchDispatchHooks& hooks) {
  const auto run = hooks.runTest ? hooks.runTest : [](_BENCH_JOB& j) { return RunBenchTest(j); };
  // The warm-up runs at normal priority, the measured tests above it; where the system refuses
  // the raise everything simply runs at normal priority.
  platform::SetCurrentThreadPriority(platform::ThreadPriority::Normal);
  if (hooks.warmUpRunning) hooks.warmUpRunning(true);
  {
    _BENCH_JOB warm{};
    warm.target = &window;
    warm.group = mask;
    warm.testId = 199;
    warm.threadCount = std::max(1, hooks.processors);
    run(warm);
  }
  window.Send(WM_BENCH_WARMUP, static_cast<platform::WParam>(mask), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  window.Send(WM_BENCH_WARMUP, static_cast<platform::WParam>(mask), 0);
  if (hooks.warmUpRunning) hooks.warmUpRunning(false);
  platform::SetCurrentThreadPriority(platform::ThreadPriority::AboveNormal);

  int last = kBenchNotRun;
  for (const BenchTestEntry& e : kBenchTests) {
    if (!MaskContains(mask, e.groupMask)) continue;
    _BENCH_JOB job{};
    job.target = &window;
    job.group = e.groupMask;
    job.testId = e.testId;
    job.threadCount = BenchTestSetupFor(e.testId).threadCount;
    // Only the measuring tests run here; the warm-up's row (199) ends as "not run".
    const bool measuring = (e.testId >= 0 && e.testId <= 8) || e.testId == 11 || e.testId == 12;
    last = measuring && job.threadCount > 0 ? run(job) : kBenchNotRun;
    if (window.IsLive()) {
      if (last == kBenchSuccess) {
        const float value = static_cast<float>(job.displayValue);
        platform::LParam bits = 0;
        std::uint32_t raw = 0;
        std::memcpy(&raw, &value, sizeof raw);
        bits = static_cast<platform::LParam>(raw);
        window.Post(WM_BENCH_SCORE, PackScoreWParam(job.score, e.testId), bits);
      }
      window.Post(WM_BENCH_TESTEND, static_cast<platform::WParam>(e.testId), last);
    }
    if (last == kBenchCancelled) {
      platform::SetCurrentThreadPriority(platform::ThreadPriority::Normal);
      return last;
    }
  }
  window.Post(WM_BENCH_ALLDONE, static_cast<platform::WParam>(mask), 0);
  platform::SetCurrentThreadPriority(platform::ThreadPriority::Normal);
  return last;
}

BenchBoardModel::BenchBoardModel() {
  for (const BenchTestEntry& e : kBenchTests) rows_.push_back({e.groupMask, e.testId});
}

void BenchBoardModel::Reset() {
  for (BenchRow& r : rows_) {
    if (MaskContains(mask_, r.groupMask)) r.state = kRowWaiting;
  }
}

BenchRow* BenchBoardModel::Find(std::int32_t testId) {
  for (BenchRow& r : rows_) {
    if (r.testId == testId) return &r;
  }
  return nullptr;
}

void BenchBoardModel::OnScore(platform::WParam wParam, platform::LParam lParam) {
  BenchRow* r = Find(static_cast<std::int32_t>(wParam & 0xFFFF));
  if (r == nullptr) return;
  const auto raw = static_cast<std::uint32_t>(lParam);
  float value = 0;
  std::memcpy(&value, &raw, sizeof value);
  r->score = static_cast<float>((wParam >> 16) & 0xFFFF) / 100.0f;
  r->value = value;
}

void BenchBoardModel::OnTestEnd(std::int32_t testId, std::int32_t result) {
  if (BenchRow* r = Find(testId)) r->state = result;
}

void BenchBoardModel::OnCancelled(std::int32_t testId) {
  if (BenchRow* r = Find(testId)) r->state = kRowStopped;
}

GroupCompletion BenchBoardModel::Evaluate() const {
  GroupCompletion c;
  float sum = 0.0f;
  int listed = 0, finished = 0;
  for (const BenchRow& r : rows_) {
    if (!MaskContains(mask_, r.groupMask)) continue;
    ++listed;
    if (r.state == kRowFinished) {
      ++finished;
      sum += r.score;
    }
  }
  if (listed > 0 && finished == listed) {
    c.averaged = true;
    c.average = sum / static_cast<float>(finished);
    for (const BenchGroupEntry& g : kBenchGroups) {
      if (g.mask == mask_) c.groupKey = g.key;
    }
    if (c.groupKey != 0) c.integer = StoredIntegerFromScore(c.average);
  }
  const float sent = c.average >= 7.0f ? 0.0f : c.average;
  if (mask_ == 1) c.cpuScore = sent;
  if (mask_ == 2) c.memScore = sent;
  return c;
}

std::string BenchBoardModel::SummaryText() const {
  bool pending = false;
  int finished = 0;
  float sum = 0.0f;
  for (const BenchRow& r : rows_) {
    if (!MaskContains(mask_, r.groupMask)) continue;
    if (r.state == 0 || r.state == kRowWaiting || r.state == kRowStopped) pending = true;
    if (r.state == kRowFinished) {
      ++finished;
      sum += r.score;
    }
  }
  if (pending || finished == 0) return "----";
  char buf[32];
  std::snprintf(buf, sizeof buf, "+ %0.2f",
                static_cast<double>(sum / static_cast<float>(finished)));
  return buf;
}

const BenchRow* BenchBoardModel::Row(std::int32_t testId) const {
  for (const BenchRow& r : rows_) {
    if (r.testId == testId) return &r;
  }
  return nullptr;
}

GroupCompletion BenchBoardModel::Complete(IScoreBroadcaster& broadcaster,
                                          const std::function<bool(int, int)>& store,
                                          IScoreDisplay* display) {
  const GroupCompletion c = Evaluate();
  if (c.averaged && c.groupKey != 0) {
    if (display != nullptr) {
      display->ShowScore(c.groupKey == kCpuGroup ? kCpuScore : kMemoryScore, c.average);
      if (c.groupKey == kCpuGroup) display->ShowScore(kOverallScore, c.average);
    }
    BroadcastGroupScore(c.groupKey, c.integer, broadcaster);
    if (store) store(c.groupKey, c.integer);
  }
  return c;
}

std::string BenchTestName(std::int32_t testId) {
  for (const BenchTestEntry& e : kBenchTests) {
    if (e.testId != testId) continue;
    std::string name = LangText(e.nameId);
    return name.empty() ? std::string(e.englishName) : name;
  }
  return {};
}

std::string FormatLangText(std::string_view format, const std::vector<std::string>& texts,
                           const std::vector<double>& numbers) {
  std::string out;
  std::size_t nextText = 0, nextNumber = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out.push_back(format[i]);
      continue;
    }
    const std::string_view rest = format.substr(i + 1);
    if (rest.rfind('%', 0) == 0) {
      out.push_back('%');
      i += 1;
    } else if (rest.rfind('s', 0) == 0) {
      if (nextText < texts.size()) out += texts[nextText];
      ++nextText;
      i += 1;
    } else if (rest.rfind("0.2f", 0) == 0 || rest.rfind(".2f", 0) == 0) {
      if (nextNumber < numbers.size()) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.2f", numbers[nextNumber]);
        out += buf;
      }
      ++nextNumber;
      i += rest[0] == '0' ? 4 : 3;
    } else if (rest.rfind('d', 0) == 0) {
      if (nextNumber < numbers.size())
        out += std::to_string(static_cast<long long>(numbers[nextNumber]));
      ++nextNumber;
      i += 1;
    } else {
      out.push_back('%');
    }
  }
  return out;
}

std::string BenchResultText(std::int32_t testId, float value) {
  char buf[64];
  const std::string seconds = LangText(900);
  const std::string ns = LangText(901);
  const auto v = static_cast<double>(value);
  switch (testId) {
    case 6:
    case 7:
    case 8:
      std::snprintf(buf, sizeof buf, "%0.2f %s", v, seconds.c_str());
      return buf;
    case 11:
      if (v < 1.0)
        std::snprintf(buf, sizeof buf, "%0.3f MB/%s", v * 1000.0, seconds.c_str());
      else
        std::snprintf(buf, sizeof buf, "%0.3f GB/%s", v, seconds.c_str());
      return buf;
    case 12:
      if (v < 1.0)
        std::snprintf(buf, sizeof buf, "%0.3f %s", v, ns.c_str());
      else
        std::snprintf(buf, sizeof buf, "%0.1f %s", v, ns.c_str());
      return buf;
    default:
      return {};
  }
}

std::string BenchStartStatus(std::int32_t testId) {
  return FormatLangText(LangText(testId == 199 ? 750 : 751), {BenchTestName(testId)});
}
std::string BenchDoneStatus(std::int32_t testId) {
  return FormatLangText(LangText(752), {BenchTestName(testId)});
}
std::string BenchStoppedStatus(std::int32_t testId) {
  return FormatLangText(LangText(753), {BenchTestName(testId)});
}

const BenchGroupEntry* BenchGroupOfKey(int key) {
  for (const BenchGroupEntry& g : kBenchGroups) {
    if (g.key == key) return &g;
  }
  return nullptr;
}
const BenchGroupEntry* BenchGroupOfMask(std::int32_t mask) {
  for (const BenchGroupEntry& g : kBenchGroups) {
    if (g.mask == mask) return &g;
  }
  return nullptr;
}

std::string BenchCompletionText(int groupKey, float average) {
  const BenchGroupEntry* g = BenchGroupOfKey(groupKey);
  if (g == nullptr) return {};
  return FormatLangText(LangText(790),
                        {LangText(g->titleId), LangText(g->explanationId), LangText(g->noteId)},
                        {static_cast<double>(average), 7.0});
}

std::string BenchBoxCaption() { return std::string(kProductName) + " " + kProductVersion; }

std::vector<BenchListItem> BuildBenchList(
    BenchBoardModel& model, bool reset,
    const std::function<std::string(std::int32_t)>& hardwareName) {
  if (reset) model.Reset();
  std::vector<BenchListItem> items;
  for (const BenchRow& r : model.Rows()) {
    if (!MaskContains(model.Mask(), r.groupMask)) continue;
    BenchListItem item;
    item.itemData = r.testId;
    item.name = BenchTestName(r.testId);
    if (hardwareName) item.hardware = hardwareName(r.groupMask);
    if (r.state == 0 || r.state == kRowWaiting) {
      item.score = LangText(770);
    } else if (r.state == kRowFinished) {
      item.result = BenchResultText(r.testId, r.value);
      char buf[32];
      std::snprintf(buf, sizeof buf, "%0.2f", static_cast<double>(r.score));
      item.score = buf;
    } else if (r.state == kRowStopped) {
      item.score = LangText(771);
    }
    items.push_back(std::move(item));
  }
  BenchListItem summary;
  summary.itemData = kSummaryItemData;
  summary.name = LangText(720);
  summary.score = model.SummaryText();
  items.push_back(std::move(summary));
  return items;
}

bool WidenProcessAffinityToSystem() {
  const int processors = std::min(64, platform::ProcessorCount());
  const std::uint64_t system =
      processors >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << processors) - 1;
  const std::uint64_t current = platform::GetProcessAffinity();
  if (current == 0 || current >= system) return false;
  return platform::SetProcessAffinity(system);
}

ScoreMessageIds ScoreMessageIdsWith(const std::function<std::uint32_t(std::string_view)>& reg) {
  auto one = [&](const char* name, std::uint32_t fallback) {
    const std::uint32_t n = reg ? reg(name) : 0;
    return n >= 0xC000 && n <= 0xFFFF ? n : fallback;
  };
  ScoreMessageIds ids;
  ids.cpuStart = one(kCpuScoreStartMessage, 1344);
  ids.cpuEnd = one(kCpuScoreEndMessage, 1345);
  ids.memStart = one(kMemScoreStartMessage, 1346);
  ids.memEnd = one(kMemScoreEndMessage, 1347);
  return ids;
}

}  // namespace korvane
