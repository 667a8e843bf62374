#include "online/VersionCheck.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "config/Product.h"
#include "online/StartProbe.h"
#include "platform/Clock.h"
#include "platform/Http.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/ProfileFile.h"
#include "platform/Text.h"

namespace korvane {
namespace {

// Leading-digits rule: optional white space and sign, then decimal digits up to the first
// other character; the value wraps to 16 bits.
std::uint16_t LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                             text[i] == '\r' || text[i] == '\v' || text[i] == '\f')) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::uint16_t>(value & 0xFFFFu);
}

}  // namespace

std::uint64_t PackVersion(std::uint16_t p1, std::uint16_t p2, std::uint16_t p3, std::uint16_t p4) {
  return (static_cast<std::uint64_t>(p1) << 48) | (static_cast<std::uint64_t>(p2) << 32) |
         (static_cast<std::uint64_t>(p3) << 16) | static_cast<std::uint64_t>(p4);
}

std::uint16_t VersionPart(std::uint64_t packed, int index) {
  if (index < 0 || index > 3) return 0;
  return static_cast<std::uint16_t>((packed >> (48 - 16 * index)) & 0xFFFFu);
}

std::uint64_t ParseVersion(std::string_view text) {
  if (text.empty()) return PackVersion(1, 0, 0, 1);
  std::string_view pieces[4];
  int dots = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '.') {
      if (dots < 4) pieces[dots] = text.substr(start, i - start);
      if (i < text.size()) ++dots;
      start = i + 1;
    }
  }
  if (dots == 0) return PackVersion(LeadingNumber(text), 0, 0, 1);
  if (dots == 1) {
    const std::uint16_t p1 = pieces[0].empty() ? 1 : LeadingNumber(pieces[0]);
    return PackVersion(p1, LeadingNumber(pieces[1]), 0, 1);
  }
  const std::uint16_t p1 = LeadingNumber(pieces[0]);
  const std::uint16_t p2 = LeadingNumber(pieces[1]);
  const std::uint16_t p3 = LeadingNumber(pieces[2]);
  if (dots == 2) return PackVersion(p1, p2, p3, 1);
  const std::uint16_t p4 = pieces[3].empty() ? 1 : LeadingNumber(pieces[3]);
  return PackVersion(p1, p2, p3, p4);
}

int CompareVersions(std::uint64_t a, std::uint64_t b) { return a > b ? 1 : (a < b ? -1 : 0); }

int CompareVersions(std::string_view a, std::string_view b) {
  return CompareVersions(ParseVersion(a), ParseVersion(b));
}

std::string FormatVersion(std::uint64_t packed) {
  return platform::Format("%d.%d.%d.%d", VersionPart(packed, 0), VersionPart(packed, 1),
                          VersionPart(packed, 2), VersionPart(packed, 3));
}

bool LooksLikeIni(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return false;
  bool sawEntry = false;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line = platform::Trim(text.substr(start, end - start));
    if (start == 0 && line.rfind("\xEF\xBB\xBF", 0) == 0) line = platform::Trim(line.substr(3));
    start = end + 1;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']') return false;
      sawEntry = true;
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0 || line[0] == '<') return false;
    sawEntry = true;
  }
  return sawEntry;
}

std::optional<VersionFile> ReadVersionFile(std::string_view path) {
  if (path.empty()) return std::nullopt;
  std::ifstream in{std::string(path), std::ios::binary};
  if (!in) return std::nullopt;
  std::string text;
  char buffer[4096];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (text.size() > kVersionFileMaxBytes) return std::nullopt;
  }
  if (!LooksLikeIni(text)) return std::nullopt;
  VersionFile file;
  platform::GetProfileString("main", "version", "", file.version, kVersionValueMax + 1, path);
  platform::GetProfileString("main", "url", "", file.url, kVersionValueMax + 1, path);
  file.url = platform::Trim(file.url);
  return file;
}

std::optional<UpdateOffer> DecideUpdateOffer(const VersionFile& file,
                                             std::string_view runningVersion) {
  if (file.version.empty() || file.url.empty()) return std::nullopt;
  if (CompareVersions(file.version, runningVersion) != 1) return std::nullopt;
  return UpdateOffer{ParseVersion(file.version), file.url};
}

std::optional<UpdateQuestion> MakeUpdateQuestion(std::uint64_t packed, std::string_view url,
                                                 std::string_view questionFormat) {
  if (packed == 0 || url.empty()) return std::nullopt;
  UpdateQuestion q;
  // The format comes from the language table: only its one "%s" is filled, so a stray
  // conversion in a translation can never read past the arguments.
  const std::string version = FormatVersion(packed);
  const std::size_t at = questionFormat.find("%s");
  q.text = at == std::string_view::npos ? std::string(questionFormat)
                                        : std::string(questionFormat.substr(0, at)) + version +
                                              std::string(questionFormat.substr(at + 2));
  q.caption = platform::Format("%s %s", kProductName, kProductVersion);
  q.url = std::string(url);
  return q;
}

bool IsWebAddress(std::string_view url) {
  const std::string lower = platform::ToLowerAscii(url.substr(0, 8));
  const bool schemeOk = lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
  if (!schemeOk) return false;
  for (const char c : url) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
  }
  return platform::IsValidUrl(url);
}

bool OpenUpdateAddress(std::string_view url, const UrlOpener& opener) {
  if (!IsWebAddress(url)) {
    std::fprintf(stderr, "korvane: update address refused (not an http or https address): %.*s\n",
                 static_cast<int>(std::min<std::size_t>(url.size(), 200)), url.data());
    return false;
  }
  return opener ? opener(url) : platform::OpenWithDesktop(url);
}

bool HandleNewVersionMessage(platform::WParam wParam, platform::LParam lParam,
                             std::string_view questionFormat, const QuestionAsker& ask,
                             const UrlOpener& opener) {
  if (wParam == 0 || lParam == 0) return false;
  const std::uint64_t packed = *reinterpret_cast<const std::uint64_t*>(wParam);
  const char* url = reinterpret_cast<const char*>(lParam);
  const auto question = MakeUpdateQuestion(packed, url, questionFormat);
  if (!question) return false;
  const int answer =
      ask ? ask(*question)
          : platform::ShowMessageBox(question->text, question->caption,
                                     platform::kMbYesNo | platform::kMbIconInformation);
  if (answer != platform::kIdYes) return false;
  return OpenUpdateAddress(question->url, opener);
}

CVersionCheck::~CVersionCheck() { Wait(); }

bool CVersionCheck::Start(platform::IMessageTarget& target, Settings settings) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (started_) return false;
  started_ = true;
  thread_ = std::thread([&target, settings = std::move(settings)] {
    platform::SetCurrentThreadPriority(platform::ThreadPriority::BelowNormal);
    Run(target, settings);
  });
  return true;
}

void CVersionCheck::Wait() {
  std::thread t;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
    t = std::move(thread_);
  }
  t.join();
}

std::uint32_t CVersionCheck::Run(platform::IMessageTarget& target, const Settings& settings) {
  if (!target.IsLive()) return 0;
  const std::string folder = settings.workFolder.empty() ? WorkFolder() : settings.workFolder;
  std::string path;
  if (!folder.empty()) {
    PrepareWorkFolder(folder);
    path = folder + (folder.back() == '/' ? "" : "/") + "tovixnew.ini";
    platform::DeleteFile(path);
  }
  if (settings.settleDelayMs > 0) platform::SleepMs(settings.settleDelayMs);
  std::optional<VersionFile> file;
  if (DownloadUrlToFile(settings.versionUrl, path, kVersionFileMaxBytes) >= 0) {
    file = ReadVersionFile(path);
  }
  // An answer that is too large or is no version file (an error page, say) is a failed
  // download like any other.
  if (!file) {
    if (!target.IsLive()) return 0;
    target.Send(kMsgVersionFailed, 0, 0);
    return kMsgVersionFailed;
  }
  const auto offer = DecideUpdateOffer(*file, settings.runningVersion);
  if (!offer || !target.IsLive()) return 0;
  const std::uint64_t packed = offer->packed;
  target.Send(kMsgNewVersion, reinterpret_cast<platform::WParam>(&packed),
              reinterpret_cast<platform::LParam>(offer->url.c_str()));
  return kMsgNewVersion;
}

}  // namespace korvane
