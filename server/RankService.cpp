#include "RankService.h"

#include <fcntl.h>
#include <openssl/hmac.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <map>
#include <nlohmann/json.hpp>
#include <vector>

#include "scores/Rijndael.h"
#include "scores/TextCipher.h"

namespace korvane::server {
namespace {

constexpr std::size_t kMaxFieldBytes = 512;
constexpr std::size_t kNewestShown = 20;
constexpr const char* kSeedAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-";

RankAnswer Refuse(int status, std::string reason) {
  RankAnswer a;
  a.status = status;
  a.body = std::move(reason) + "\n";
  return a;
}

bool IsHex(char c, bool lowerOnly, bool upperOnly) {
  if (c >= '0' && c <= '9') return true;
  if (!upperOnly && c >= 'a' && c <= 'f') return true;
  if (!lowerOnly && c >= 'A' && c <= 'F') return true;
  return false;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// What the client's encoder can produce: unreserved bytes, "+", "%" escapes and the two
// separators. Anything else cannot be an honest query (a wrong key or a tampered block).
bool QueryByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == '+' || c == '%' || c == '&' || c == '=';
}

// Well-formed UTF-8 without control characters: the texts end up in HTML and JSON.
bool PrintableUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      if (c < 0x20 || c == 0x7f) return false;
      ++i;
      continue;
    }
    int extra = 0;
    std::uint32_t cp = 0;
    if ((c & 0xE0) == 0xC0) {
      extra = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + static_cast<std::size_t>(extra) >= s.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    static constexpr std::uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if (cp >= 0x80 && cp < 0xA0) return false;
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

bool ValidUserName(std::string_view s) {
  if (s.size() != 15) return false;
  const std::string_view alphabet(kSeedAlphabet);
  if (alphabet.substr(0, 52).find(s[0]) == std::string_view::npos) return false;
  return std::all_of(s.begin(), s.end(),
                     [&](char c) { return alphabet.find(c) != std::string_view::npos; });
}

// "%0.2f" of a score strictly between 0 and 7.
bool ParseScore(std::string_view s, double& out) {
  if (s.size() != 4 || s[0] < '0' || s[0] > '6' || s[1] != '.' || s[2] < '0' || s[2] > '9' ||
      s[3] < '0' || s[3] > '9')
    return false;
  const int hundredths = (s[0] - '0') * 100 + (s[2] - '0') * 10 + (s[3] - '0');
  if (hundredths == 0) return false;
  out = hundredths / 100.0;
  return true;
}

std::string HtmlEscape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string Fixed2(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  return buf;
}

std::string UtcText(std::int64_t ms) {
  const std::time_t t = static_cast<std::time_t>(ms / 1000);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M UTC", &tm);
  return buf;
}

// Linear interpolation between the closest ranks; values sorted ascending, not empty.
double Percentile(const std::vector<double>& sorted, double p) {
  const double pos = p * static_cast<double>(sorted.size() - 1);
  const auto lo = static_cast<std::size_t>(std::floor(pos));
  const std::size_t hi = std::min(lo + 1, sorted.size() - 1);
  return sorted[lo] + (sorted[hi] - sorted[lo]) * (pos - static_cast<double>(lo));
}

struct GroupStats {
  std::string name;
  std::size_t count = 0;
  double median = 0, best = 0, p10 = 0, p90 = 0;
};

std::vector<GroupStats> Aggregate(const std::vector<RankSubmission>& rows, bool cpuGroup) {
  std::map<std::string, std::vector<double>> groups;
  for (const auto& r : rows) {
    const std::string key = cpuGroup ? ProcessorModel(r.cpu) : MemoryClass(r.memory);
    groups[key.empty() ? std::string("(unknown)") : key].push_back(cpuGroup ? r.cpuScore
                                                                            : r.memScore);
  }
  std::vector<GroupStats> out;
  for (auto& [name, scores] : groups) {
    std::sort(scores.begin(), scores.end());
    GroupStats g;
    g.name = name;
    g.count = scores.size();
    g.median = Percentile(scores, 0.5);
    g.best = scores.back();
    g.p10 = Percentile(scores, 0.1);
    g.p90 = Percentile(scores, 0.9);
    out.push_back(std::move(g));
  }
  std::sort(out.begin(), out.end(), [](const GroupStats& a, const GroupStats& b) {
    return a.median != b.median ? a.median > b.median : a.name < b.name;
  });
  return out;
}

std::vector<RankSubmission> Filtered(std::vector<RankSubmission> rows, std::string_view cpu) {
  if (cpu.empty()) return rows;
  rows.erase(std::remove_if(rows.begin(), rows.end(),
                            [&](const RankSubmission& r) { return ProcessorModel(r.cpu) != cpu; }),
             rows.end());
  return rows;
}

void AppendTable(std::string& html, const char* title, const char* keyTitle,
                 const std::vector<GroupStats>& groups) {
  html += "<h2>";
  html += title;
  html += "</h2>\n";
  if (groups.empty()) {
    html += "<p>No submissions yet.</p>\n";
    return;
  }
  html += "<table border=\"1\" cellpadding=\"4\" cellspacing=\"0\">\n<tr><th>";
  html += keyTitle;
  html +=
      "</th><th>Submissions</th><th>Median</th><th>Best</th><th>10th&ndash;90th "
      "percentile</th></tr>\n";
  for (const auto& g : groups) {
    html += "<tr><td>" + HtmlEscape(g.name) + "</td><td align=\"right\">" +
            std::to_string(g.count) + "</td><td align=\"right\">" + Fixed2(g.median) +
            "</td><td align=\"right\">" + Fixed2(g.best) + "</td><td align=\"right\">" +
            Fixed2(g.p10) + " &ndash; " + Fixed2(g.p90) + "</td></tr>\n";
  }
  html += "</table>\n";
}

}  // namespace

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool FormDecode(std::string_view in, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '+') {
      out.push_back(' ');
    } else if (in[i] == '%') {
      if (i + 2 >= in.size()) return false;
      const int hi = HexValue(in[i + 1]), lo = HexValue(in[i + 2]);
      if (hi < 0 || lo < 0) return false;
      out.push_back(static_cast<char>(hi * 16 + lo));
      i += 2;
    } else {
      out.push_back(in[i]);
    }
  }
  return true;
}

std::optional<ScoreQuery> ParseScoreQuery(std::string_view query, std::string* reason) {
  auto fail = [&](std::string why) -> std::optional<ScoreQuery> {
    if (reason != nullptr) *reason = std::move(why);
    return std::nullopt;
  };
  if (query.empty() || query.size() > 16 * 1024) return fail("query empty or too long");
  if (!std::all_of(query.begin(), query.end(), QueryByte))
    return fail("query holds bytes the client never sends");
  std::vector<std::pair<std::string_view, std::string_view>> pairs;
  std::size_t start = 0;
  while (start <= query.size()) {
    std::size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view part = query.substr(start, end - start);
    const std::size_t eq = part.find('=');
    if (eq == std::string_view::npos) return fail("query part without '='");
    pairs.emplace_back(part.substr(0, eq), part.substr(eq + 1));
    start = end + 1;
  }

  ScoreQuery q;
  struct Expect {
    const char* name;
    const char* fixed;    // required raw value, or nullptr
    std::string* target;  // decoded text goes here
    double* score;        // an optional score part
  };
  const Expect expected[] = {
      {"action", "seScore", nullptr, nullptr},       {"type", "1", nullptr, nullptr},
      {"version", "1.1", nullptr, nullptr},          {"username", nullptr, &q.userName, nullptr},
      {"featureid", nullptr, &q.featureId, nullptr}, {"os", nullptr, &q.os, nullptr},
      {"osname", nullptr, &q.osName, nullptr},       {"cpu", nullptr, &q.cpu, nullptr},
      {"cpuid", nullptr, &q.cpuId, nullptr},         {"board", nullptr, &q.board, nullptr},
      {"memory", nullptr, &q.memory, nullptr},       {"video", nullptr, &q.video, nullptr},
      {"monitor", nullptr, &q.monitor, nullptr},     {"disk", nullptr, &q.disk, nullptr},
      {"network", nullptr, &q.network, nullptr},     {"sound", nullptr, &q.sound, nullptr},
      {"cdrom", nullptr, &q.cdrom, nullptr},         {"fileversion", "3.0.603.1", nullptr, nullptr},
      {"scoreversion", "1.2", nullptr, nullptr},     {"score", nullptr, nullptr, &q.score},
      {"cpuscore", nullptr, nullptr, &q.cpuScore},   {"memscore", nullptr, nullptr, &q.memScore},
      {"rndnum", nullptr, &q.rndnum, nullptr},
  };
  std::size_t at = 0;
  for (const Expect& e : expected) {
    const bool optional = e.score != nullptr;
    if (at >= pairs.size() || pairs[at].first != e.name) {
      if (optional) continue;
      return fail(std::string("expected the part '") + e.name + "' at position " +
                  std::to_string(at + 1));
    }
    const std::string_view raw = pairs[at].second;
    ++at;
    if (e.fixed != nullptr) {
      if (raw != e.fixed) return fail(std::string("wrong value of '") + e.name + "'");
      continue;
    }
    if (optional) {
      if (!ParseScore(raw, *e.score))
        return fail(std::string("'") + e.name +
                    "' is not a score between 0 and 7 with two decimals");
      continue;
    }
    if (raw.size() > kMaxFieldBytes * 3 || !FormDecode(raw, *e.target) ||
        e.target->size() > kMaxFieldBytes || !PrintableUtf8(*e.target))
      return fail(std::string("'") + e.name + "' is not printable text of at most " +
                  std::to_string(kMaxFieldBytes) + " bytes");
  }
  if (at != pairs.size()) return fail("query has parts after 'rndnum'");
  if (!ValidUserName(q.userName)) return fail("'username' is not 15 characters of the alphabet");
  if (q.featureId.size() != 32 || !std::all_of(q.featureId.begin(), q.featureId.end(),
                                               [](char c) { return IsHex(c, true, false); }))
    return fail("'featureid' is not 32 lower-case hex digits");
  if (q.os.size() > 63) return fail("'os' is longer than 63 characters");
  if (q.rndnum.size() != 24 ||
      !std::all_of(q.rndnum.begin(), q.rndnum.end(), [](char c) { return IsHex(c, false, true); }))
    return fail("'rndnum' is not 24 upper-case hex digits");
  return q;
}

std::optional<std::string> DecryptPayload(std::string_view hex, std::string_view seed) {
  if (hex.empty() || hex.size() % 32 != 0) return std::nullopt;
  std::vector<std::uint8_t> data(hex.size() / 2);
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (!IsHex(hex[2 * i], true, false) || !IsHex(hex[2 * i + 1], true, false)) return std::nullopt;
    data[i] = static_cast<std::uint8_t>(HexValue(hex[2 * i]) * 16 + HexValue(hex[2 * i + 1]));
  }
  const std::string key = PayloadKeyForSeed(seed);
  if (key.size() != 16) return std::nullopt;
  try {
    CRijndael aes;
    aes.InitKey(reinterpret_cast<const std::uint8_t*>(key.data()), 16, CRijndael::ECB);
    aes.DecryptData(data.data(), data.data(), data.size());
  } catch (const std::exception&) {
    return std::nullopt;
  }
  std::string text(data.begin(), data.end());
  const std::size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  return text;
}

std::string NewSeed() {
  std::uint8_t bytes[8];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return {};  // no cryptographic source: no seed rather than a guessable one
    }
    got += static_cast<std::size_t>(n);
  }
  std::string seed(8, ' ');
  for (int i = 0; i < 8; ++i) seed[i] = kSeedAlphabet[bytes[i] & 63];
  return seed;
}

std::string ProcessorModel(std::string_view cpu) {
  const std::size_t at = cpu.find(" @ ");
  std::string_view model = at == std::string_view::npos ? cpu : cpu.substr(0, at);
  while (!model.empty() && model.back() == ' ') model.remove_suffix(1);
  while (!model.empty() && model.front() == ' ') model.remove_prefix(1);
  return std::string(model);
}

std::string MemoryClass(std::string_view memory) {
  std::string type, clock;
  std::size_t i = 0;
  while (i < memory.size()) {
    while (i < memory.size() && memory[i] == ' ') ++i;
    std::size_t j = i;
    while (j < memory.size() && memory[j] != ' ') ++j;
    const std::string_view word = memory.substr(i, j - i);
    if (type.empty()) {
      for (const char* t : {"LPDDR", "DDR", "SDRAM", "RDRAM"}) {
        if (word.rfind(t, 0) == 0 && word.size() <= std::strlen(t) + 2) type = word;
      }
    }
    // The first "<digits>MHz": the module's rated clock (the measured one follows an "@").
    if (clock.empty() && word.size() > 3 && word.substr(word.size() - 3) == "MHz" &&
        std::all_of(word.begin(), word.end() - 3, [](char c) { return c >= '0' && c <= '9'; }))
      clock = word;
    if (word == "@") break;
    i = j;
  }
  if (type.empty() && clock.empty()) return {};
  if (type.empty()) return clock;
  if (clock.empty()) return type;
  return type + " " + clock;
}

std::string LoadOrCreateSecret(const std::string& path, std::string* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0 && errno == ENOENT) {
    std::uint8_t bytes[32];
    std::size_t got = 0;
    while (got < sizeof bytes) {
      const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
      if (n < 0 && errno != EINTR) {
        if (error != nullptr) *error = "no random source for the address key";
        return {};
      }
      if (n > 0) got += static_cast<std::size_t>(n);
    }
    const int w = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (w >= 0) {
      const bool ok =
          ::write(w, bytes, sizeof bytes) == static_cast<ssize_t>(sizeof bytes) && ::fsync(w) == 0;
      ::close(w);
      if (!ok) {
        ::unlink(path.c_str());
        if (error != nullptr) *error = "cannot write " + path;
        return {};
      }
    }
    // Another process may have won the race to create it: read whatever is there now.
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  }
  if (fd < 0) {
    if (error != nullptr) *error = "cannot open " + path + ": " + std::strerror(errno);
    return {};
  }
  struct stat st {};
  std::string secret;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
      (st.st_mode & 077) == 0) {
    char buf[64];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n >= 16) secret.assign(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (secret.empty() && error != nullptr)
    *error = path + " must be a file of at least 16 bytes, owned by this user, mode 0600";
  return secret;
}

RankService::RankService(RankStore& store, std::string secret, RankOptions options)
    : store_(store), secret_(std::move(secret)), options_(options) {}

std::string RankService::AddressHash(const std::string& clientAddress) const {
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  HMAC(EVP_sha256(), secret_.data(), static_cast<int>(secret_.size()),
       reinterpret_cast<const unsigned char*>(clientAddress.data()), clientAddress.size(), mac,
       &length);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < length; ++i) {
    out.push_back(kHex[mac[i] >> 4]);
    out.push_back(kHex[mac[i] & 15]);
  }
  return out;
}

RankAnswer RankService::KeyRequest(const std::string& clientAddress) {
  const std::string seed = NewSeed();
  if (seed.empty()) return Refuse(503, "no random source");
  const std::int64_t now = NowMs();
  if (!store_.AddSeed(AddressHash(clientAddress), seed, now, now + options_.seedLifetimeMs,
                      options_.seedsPerAddress))
    return Refuse(503, "cannot keep the key");
  RankAnswer a;
  a.body = seed;
  return a;
}

RankAnswer RankService::Submit(const std::string& clientAddress, std::string_view body) {
  if (body.rfind("data=", 0) != 0) return Refuse(400, "the body must be data=<hex>");
  const std::string_view hex = body.substr(5);
  // Every unspent key of the address is tried in turn, so the work per request is bounded by
  // refusing payloads longer than the longest query the parser takes.
  if (hex.size() > 2 * (16 * 1024 + 16)) return Refuse(413, "the payload is too long");
  if (hex.empty() || hex.size() % 32 != 0 ||
      !std::all_of(hex.begin(), hex.end(), [](char c) { return IsHex(c, true, false); }))
    return Refuse(400, "the payload is not whole blocks of lower-case hex");
  const std::string hash = AddressHash(clientAddress);
  const std::int64_t now = NowMs();
  const std::vector<std::string> seeds = store_.LiveSeeds(hash, now);
  if (seeds.empty()) return Refuse(403, "no unspent key for this address; request one first");
  std::optional<ScoreQuery> query;
  std::string seed, reason;
  for (const auto& s : seeds) {
    const auto plain = DecryptPayload(hex, s);
    if (!plain) continue;
    std::string why;
    query = ParseScoreQuery(*plain, &why);
    if (query) {
      seed = s;
      break;
    }
    if (reason.empty() || why != "query holds bytes the client never sends") reason = why;
  }
  if (!query) {
    if (seeds.size() == 1 && !reason.empty()) return Refuse(400, "bad score query: " + reason);
    return Refuse(400, "the payload is no score query under any unspent key of this address");
  }
  if (query->score == 0 && query->cpuScore == 0 && query->memScore == 0)
    return Refuse(422, "the submission carries no score");
  RankSubmission r;
  r.timeMs = now;
  r.userName = query->userName;
  r.featureId = query->featureId;
  r.os = query->os;
  r.osName = query->osName;
  r.cpu = query->cpu;
  r.board = query->board;
  r.memory = query->memory;
  r.video = query->video;
  r.monitor = query->monitor;
  r.disk = query->disk;
  r.network = query->network;
  r.sound = query->sound;
  r.score = query->score;
  r.cpuScore = query->cpuScore;
  r.memScore = query->memScore;
  r.addressHash = hash;
  switch (store_.Accept(seed, r, options_.intervalMs)) {
    case AcceptOutcome::kStored: {
      RankAnswer a;
      a.body = "OK\n";
      return a;
    }
    case AcceptOutcome::kSeedGone:
      return Refuse(409, "the key was already used");
    case AcceptOutcome::kTooSoon:
      return Refuse(429, "one submission per user name and address per " +
                             std::to_string(options_.intervalMs / 1000) + " s");
    case AcceptOutcome::kFailed:
      break;
  }
  return Refuse(503, "the submission could not be stored");
}

RankAnswer RankService::Page(std::string_view cpuFilter) {
  const auto cpuRows = Filtered(store_.Scored(true, 0), cpuFilter);
  const auto memRows = store_.Scored(false, 0);
  std::string html =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Korvane ranking</title>"
      "</head><body>\n<h1>Korvane ranking</h1>\n<p>Scores submitted anonymously after benchmark "
      "runs; the full score is 7.00.";
  if (!cpuFilter.empty()) html += " Processor: " + HtmlEscape(cpuFilter) + ".";
  html += "</p>\n";
  AppendTable(html, "CPU score by processor model", "Processor", Aggregate(cpuRows, true));
  if (cpuFilter.empty())
    AppendTable(html, "Memory score by memory type and clock", "Memory", Aggregate(memRows, false));
  // Newest of both groups together.
  std::vector<RankSubmission> newest = cpuRows;
  if (cpuFilter.empty()) {
    for (const auto& r : memRows)
      if (r.cpuScore <= 0) newest.push_back(r);
  }
  std::sort(newest.begin(), newest.end(), [](const RankSubmission& a, const RankSubmission& b) {
    return a.timeMs != b.timeMs ? a.timeMs > b.timeMs : a.id > b.id;
  });
  if (newest.size() > kNewestShown) newest.resize(kNewestShown);
  html += "<h2>Newest submissions</h2>\n";
  if (newest.empty()) {
    html += "<p>No submissions yet.</p>\n";
  } else {
    html +=
        "<table border=\"1\" cellpadding=\"4\" cellspacing=\"0\">\n<tr><th>Time</th><th>"
        "Processor</th><th>Memory</th><th>CPU score</th><th>Memory "
        "score</th><th>System</th></tr>\n";
    for (const auto& r : newest) {
      html += "<tr><td>" + UtcText(r.timeMs) + "</td><td>" + HtmlEscape(r.cpu) + "</td><td>" +
              HtmlEscape(r.memory) + "</td><td align=\"right\">" +
              (r.cpuScore > 0 ? Fixed2(r.cpuScore) : std::string("&ndash;")) +
              "</td><td align=\"right\">" +
              (r.memScore > 0 ? Fixed2(r.memScore) : std::string("&ndash;")) + "</td><td>" +
              HtmlEscape(r.osName) + "</td></tr>\n";
    }
    html += "</table>\n";
  }
  html += "</body></html>\n";
  RankAnswer a;
  a.body = std::move(html);
  a.contentType = "text/html; charset=utf-8";
  return a;
}

RankAnswer RankService::Api(std::string_view group, std::string_view cpuFilter) {
  if (group != "cpu" && group != "mem") return Refuse(400, "group must be cpu or mem");
  const bool cpu = group == "cpu";
  auto rows = store_.Scored(cpu, 0);
  if (cpu) rows = Filtered(std::move(rows), cpuFilter);
  nlohmann::ordered_json doc;
  doc["group"] = std::string(group);
  if (cpu && !cpuFilter.empty()) doc["cpu"] = std::string(cpuFilter);
  doc["groups"] = nlohmann::ordered_json::array();
  for (const auto& g : Aggregate(rows, cpu)) {
    doc["groups"].push_back({{cpu ? "processor" : "memory", g.name},
                             {"count", g.count},
                             {"median", std::round(g.median * 100) / 100},
                             {"best", g.best},
                             {"p10", std::round(g.p10 * 100) / 100},
                             {"p90", std::round(g.p90 * 100) / 100}});
  }
  doc["newest"] = nlohmann::ordered_json::array();
  for (std::size_t i = 0; i < rows.size() && i < kNewestShown; ++i) {
    const auto& r = rows[i];
    doc["newest"].push_back({{"time", r.timeMs / 1000},
                             {"cpu", r.cpu},
                             {"memory", r.memory},
                             {"os", r.osName},
                             {"score", cpu ? r.cpuScore : r.memScore}});
  }
  RankAnswer a;
  a.body = doc.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  a.contentType = "application/json";
  return a;
}

}  // namespace korvane::server
