#include "online/DriveDBQuery.h"

#include <fstream>
#include <mutex>
#include <utility>

#include "config/LanguageRes.h"
#include "online/XmlDriveInfo.h"
#include "platform/Http.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "scores/TextCipher.h"
#include "sysinfo/SysUtil.h"

namespace korvane {
namespace {

constexpr int kDriverSearchTextId = 8200;
// "not found" counts only when it starts this early: a real answer may mention it later on,
// in a description or an address.
constexpr std::size_t kNotFoundWindow = 100;

std::mutex& FetcherMutex() {
  static std::mutex m;
  return m;
}
std::function<std::string(const std::string&)>& Fetcher() {
  static std::function<std::string(const std::string&)> f;
  return f;
}

std::string DownloadAnswer(const std::string& url) {
  {
    std::lock_guard lock(FetcherMutex());
    if (Fetcher()) return Fetcher()(url);
  }
  // Every query fetches afresh: the cached copy of this very address goes first.
  (void)platform::HttpDeleteCacheEntry(url);
  if (!platform::IsValidUrl(url)) return {};
  return platform::HttpDownloadToCache(url);
}

std::size_t NthPosition(std::string_view text, char c, std::size_t n, std::size_t from = 0) {
  // Position of the n-th (1-based) c at or after from, npos when there are fewer.
  std::size_t pos = from;
  for (std::size_t i = 0; i < n; ++i) {
    pos = text.find(c, i == 0 ? pos : pos + 1);
    if (pos == std::string_view::npos) return pos;
  }
  return pos;
}

std::string AnsiField(const char* ansi) { return platform::AnsiToUtf8(ansi); }

}  // namespace

std::vector<std::string> DriverQueryCandidates(std::string_view instanceId) {
  const std::string id = platform::Trim(instanceId);
  std::vector<std::string> out;
  if (id.empty()) return out;
  const std::size_t L = id.size();
  std::size_t B = 0;
  for (char c : id) B += c == '\\' ? 1 : 0;
  auto add = [&](std::string text) {
    if (out.size() < kMaxDriverCandidates) out.push_back(std::move(text));
  };

  std::string head;
  if (B > 1) {
    head = id.substr(0, NthPosition(id, '\\', 2));
    if (!head.empty()) add(head);
  }
  const std::size_t firstK = B == 0 ? 1 : B + 1;
  const std::size_t lastK = B == 0 ? 1 : 2;
  for (std::size_t k = firstK; k >= lastK && out.size() < kMaxDriverCandidates; --k) {
    std::size_t end = NthPosition(id, '\\', k);
    if (end == std::string::npos) end = L;
    std::size_t start = 0;
    if (k > 1) {
      start = NthPosition(id, '\\', k - 1);
      if (start == std::string::npos) start = 0;
    }
    const std::string p = id.substr(0, end);
    if (p.empty()) continue;
    if (p != head) add(p);
    if (p.size() < L) add(p + "\\");
    std::size_t n = 0;
    for (std::size_t i = start; i < p.size(); ++i) n += p[i] == '&' ? 1 : 0;
    for (std::size_t j = n; j >= 1; --j) {
      const std::size_t amp = NthPosition(p, '&', j, start);
      const std::string prefix = p.substr(0, amp);
      if (!prefix.empty()) add(prefix);
    }
  }
  return out;
}

std::string DriverSearchPlainUrl(std::string_view searchBase, std::string_view candidate) {
  const std::string base(searchBase);
  const std::string hid = UrlEncode(candidate, kUrlEncodeSpaceAsPlus);
  return platform::Format("%s&hid=%s", base.c_str(), hid.c_str());
}

std::string DriverSearchUrl(std::string_view searchBase, std::string_view candidate) {
  return EncryptUrlQueryW(DriverSearchPlainUrl(searchBase, candidate));
}

const char* DriverAnswerName(DriverAnswer answer) {
  switch (answer) {
    case DriverAnswer::kUsable:
      return "usable";
    case DriverAnswer::kNoDownload:
      return "no download";
    case DriverAnswer::kEmpty:
      return "empty answer";
    case DriverAnswer::kNotFound:
      return "not found";
    case DriverAnswer::kNoItem:
      return "no item";
  }
  return "?";
}

DriverAnswer ReadDriverAnswer(const std::string& answerPath, DeviceRecord* record) {
  if (answerPath.empty() || !platform::FileExists(answerPath)) return DriverAnswer::kNoDownload;
  std::string text;
  {
    std::ifstream in(answerPath, std::ios::binary);
    if (!in) return DriverAnswer::kEmpty;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return DriverAnswer::kEmpty;
  }
  if (text.empty()) return DriverAnswer::kEmpty;
  const std::string lower = platform::ToLowerAscii(text);
  const std::size_t notFound = lower.find("not found");
  if (notFound != std::string::npos && notFound < kNotFoundWindow) return DriverAnswer::kNotFound;

  CXmlDriveInfo info(answerPath);
  if (info.LoadText(text) == 0 || info.ReadItems() == 0) return DriverAnswer::kNoItem;
  const DriveInfoItem& item = info.Item(0);
  const std::string chip = AnsiField(item.chipName);
  SetRecordText(record->name, chip);
  SetRecordText(record->name2, chip);
  SetRecordText(record->instanceId, AnsiField(item.hardwareId));
  SetRecordText(record->manufacturer, AnsiField(item.manufacturerEn));
  SetRecordText(record->driverVersion, AnsiField(item.version));
  SetRecordText(record->releaseDate, AnsiField(item.releaseDate));
  return DriverAnswer::kUsable;
}

DriverQueryTrace QueryDriverDatabaseTraced(std::string_view instanceId, DeviceRecord* record,
                                           std::string_view searchBase) {
  DriverQueryTrace trace;
  const std::string id = platform::Trim(instanceId);
  if (id.empty() || record == nullptr) return trace;
  trace.candidates = DriverQueryCandidates(id);
  // A list that reached its cap means the id was not understood: better no answer than a wrong one.
  if (trace.candidates.empty() || trace.candidates.size() >= kMaxDriverCandidates) return trace;
  const std::string base =
      searchBase.empty() ? LangText(kDriverSearchTextId) : std::string(searchBase);
  const std::size_t asked = std::min<std::size_t>(2, trace.candidates.size());
  for (std::size_t i = 0; i < asked; ++i) {
    DriverQueryStep step;
    step.candidate = trace.candidates[i];
    step.url = DriverSearchUrl(base, step.candidate);
    const std::string path = DownloadAnswer(step.url);
    step.answer = path.empty() ? DriverAnswer::kNoDownload : ReadDriverAnswer(path, record);
    trace.steps.push_back(step);
    if (step.answer == DriverAnswer::kUsable) {
      trace.filled = true;
      break;
    }
  }
  return trace;
}

int QueryDriverDatabase(std::string_view instanceId, DeviceRecord* record) {
  return QueryDriverDatabaseTraced(instanceId, record).filled ? 1 : 0;
}

int QueryDriverDatabase(std::u16string_view instanceId, DeviceRecord* record) {
  return QueryDriverDatabase(platform::Utf16ToUtf8(instanceId), record);
}

void SetDriverAnswerFetcherForTesting(std::function<std::string(const std::string& url)> fetcher) {
  std::lock_guard lock(FetcherMutex());
  Fetcher() = std::move(fetcher);
}

}  // namespace korvane
