#include "online/ScoreSubmit.h"

#include <charconv>
#include <ctime>

#include "config/IniFile.h"
#include "config/LanguageRes.h"
#include "platform/Http.h"
#include "scores/TextCipher.h"
#include "sysinfo/OsName.h"
#include "sysinfo/SysUtil.h"

namespace korvane {
namespace {

constexpr const char* kUserNameKey = "RandomUserName";
constexpr std::size_t kUserNameLength = 15;
constexpr const char* kBrowserAgent =
    "User-Agent: Mozilla/4.0 (compatible; MSIE 5.01; Windows NT 5.0)";

std::string Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
  for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
}

std::string Enc(std::string_view v) { return UrlEncode(v, kUrlEncodeSpaceAsPlus); }

// The address of a text, with the configured base swapped for serverBase when one is given.
std::string ServiceUrl(int textId, const std::string& serverBase) {
  std::string url = LangText(textId);
  if (serverBase.empty()) return url;
  const std::string base = ServerBase(LanguageRes().SelectedTable());
  if (url.rfind(base, 0) == 0) url = url.substr(base.size());
  return serverBase + url;
}

}  // namespace

std::string MakeRandomText(int length) {
  if (length <= 0) return {};
  const std::string_view alphabet(kUserNameAlphabet);
  std::string text;
  text.push_back(alphabet[static_cast<std::size_t>(NextSaltRandom() % 52)]);
  for (std::size_t i = 1; i < kUserNameLength; ++i)
    text.push_back(alphabet[static_cast<std::size_t>(NextSaltRandom() % 64)]);
  text.resize(std::min<std::size_t>(static_cast<std::size_t>(length), kUserNameLength));
  return text;
}

std::string GetRandomUserName(const std::string& iniPath) {
  CIniFile ini(iniPath.empty() ? SettingsFilePath() : iniPath);
  std::string name;
  if (ini.Exists()) ini.Read(kSettingsSection, kUserNameKey, name);
  name = Trim(name);
  if (name.empty()) {
    name = MakeRandomText(static_cast<int>(kUserNameLength));
    ini.Write(kSettingsSection, kUserNameKey, name);  // a failed write still leaves a name to use
  }
  if (name.size() > kUserNameLength) name.resize(kUserNameLength);
  return name;
}

std::string FormatOsNameText(std::string_view longName, std::string build) {
  ReplaceAll(build, "Service Pack ", "SP");
  ReplaceAll(build, "Service Pack", "SP");
  ReplaceAll(build, "service pack ", "SP");
  ReplaceAll(build, "service pack", "SP");
  if (build.empty()) return std::string(longName);
  return std::string(longName) + ", " + build;
}

std::string BuildOsNameText() {
  std::string longName, build;
  if (GetOsName(&longName, &build) == 0) return "Unknown OS";
  return FormatOsNameText(longName, build);
}

SubmissionIdentity CurrentIdentity(const std::string& iniPath) {
  SubmissionIdentity id;
  id.userName = GetRandomUserName(iniPath);
  id.osName = BuildOsNameText();  // names the system first, which fills the short code
  id.osShortCode = OsShortCode();
  return id;
}

std::string BuildProfileText(const ProfileTexts& t, const SubmissionIdentity& id) {
  // "cpu=" follows the OS name with no separator; the service hashes the same text.
  const std::string profile = "os=" + id.osShortCode + "&osname=" + id.osName +
                              "cpu=" + t.cpuProfile + "&cpuid=" + "&board=" + t.boardCaption +
                              "&memory=" + t.memoryCaptionString + "&username=" + id.userName;
  return Md5HexText(profile);
}

std::string ScorePart(float score) {
  if (!(score > 0.0f && score < 7.0f)) return {};
  char buf[32];
  const auto r =
      std::to_chars(buf, buf + sizeof buf, static_cast<double>(score), std::chars_format::fixed, 2);
  return std::string(buf, r.ptr);
}

std::string BuildScoreQuery(const ProfileTexts& t, const SubmissionIdentity& id, float score,
                            float cpuScore, float memScore, std::string_view randomText) {
  std::string q = "action=seScore&type=1";
  q += "&version=" + Enc("1.1");
  q += "&username=" + Enc(id.userName);
  q += "&featureid=" + Enc(BuildProfileText(t, id));
  q += "&os=" + Enc(id.osShortCode);
  q += "&osname=" + Enc(id.osName);
  q += "&cpu=" + Enc(t.cpuCaption);
  q += "&cpuid=";
  q += "&board=" + Enc(t.boardCaption);
  q += "&memory=" + Enc(t.memoryProfile);
  q += "&video=" + Enc(t.video);
  q += "&monitor=" + Enc(t.monitor);
  q += "&disk=" + Enc(t.disk);
  q += "&network=" + Enc(t.network);
  q += "&sound=" + Enc(t.sound);
  q += "&cdrom=";
  q += "&fileversion=" + Enc("3.0.603.1");
  q += "&scoreversion=" + Enc("1.2");
  if (const std::string s = ScorePart(score); !s.empty()) q += "&score=" + Enc(s);
  if (const std::string s = ScorePart(cpuScore); !s.empty()) q += "&cpuscore=" + Enc(s);
  if (const std::string s = ScorePart(memScore); !s.empty()) q += "&memscore=" + Enc(s);
  q += "&rndnum=" + Enc(HexEncodeText(randomText));
  return q;
}

std::string BuildSubmissionBody(const ProfileTexts& t, const SubmissionIdentity& id, float score,
                                float cpuScore, float memScore, std::string_view seed) {
  const std::string query = BuildScoreQuery(t, id, score, cpuScore, memScore, MakeRandomText(12));
  return "data=" + EncryptPayload(query, seed);
}

std::uint32_t HttpGetText(const std::string& url, std::string& body) {
  platform::HttpOptions o;
  o.headers = {"Accept: */*", kBrowserAgent, "Pragma: no-cache", "Cache-Control: no-cache",
               "Connection: Keep-Alive"};
  const platform::HttpResponse r = platform::HttpGet(url, o);
  body += r.body;
  return r.status;
}

std::uint32_t HttpPostForm(const std::string& url, const std::string& body, std::string& response) {
  platform::HttpOptions o;
  o.headers = {"Content-Type: application/x-www-form-urlencoded",
               "Accept: */*",
               kBrowserAgent,
               "Content-Length: " + std::to_string(body.size()),
               "Pragma: no-cache",
               "Cache-Control: no-cache",
               "Connection: Keep-Alive"};
  const platform::HttpResponse r = platform::HttpPostForm(url, body, o);
  if (r.status == platform::kHttpBadUrl || r.status == platform::kHttpNotSent) return r.status;
  response += "StatusCode = " + std::to_string(r.status) + ".<br />\r\n\r\n" + r.body;
  return r.status;
}

std::string SeedFromKeyAnswer(std::string_view body) {
  return std::string(body.substr(0, std::min<std::size_t>(body.size(), 8)));
}

SubmitOutcome SubmitScores(const ProfileTextSource& source, float score, float cpuScore,
                           float memScore, const std::string& serverBase,
                           const std::string& iniPath) {
  SeedSaltGenerator(static_cast<std::uint32_t>(std::time(nullptr)));
  auto capped = [](float s) { return s >= 7.0f ? 0.0f : s; };
  score = capped(score);
  cpuScore = capped(cpuScore);
  memScore = capped(memScore);

  SubmitOutcome out;
  std::string answer;
  out.keyStatus =
      HttpGetText(ServiceUrl(kKeyRequestTextId, serverBase) + "&version=" + kSubmitVersion, answer);
  if (out.keyStatus != 200) return out;
  const std::string seed = SeedFromKeyAnswer(answer);
  if (seed.empty()) return out;
  const ProfileTexts texts = source ? source() : ProfileTexts{};
  const SubmissionIdentity id = CurrentIdentity(iniPath);
  const std::string body = BuildSubmissionBody(texts, id, score, cpuScore, memScore, seed);
  out.submitStatus = HttpPostForm(
      ServiceUrl(kSubmissionTextId, serverBase) + "&version=" + kSubmitVersion, body, out.response);
  return out;
}

}  // namespace korvane
