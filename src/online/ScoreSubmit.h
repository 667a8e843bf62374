#pragma once
// The anonymous score submission: user name, profile fingerprint, the score query, its
// enciphered body and the two HTTP exchanges with the ranking service.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace korvane {

// The hardware texts a submission carries, as the summary table holds them. The summary page
// fills this from its table; until it runs, ProfileTextsFromDetectors gathers the same texts.
struct ProfileTexts {
  std::string cpuCaption;                            // CPU caption
  std::string cpuProfile;                            // CPU profile text
  std::string boardCaption;                          // mainboard caption
  std::string memoryProfile;                         // memory profile text
  std::string memoryCaptionString;                   // "%s %s %s %dMHz ( %sB )" of the memory
  std::string video, monitor, disk, network, sound;  // profile texts
};

// The source the submission reads the texts from; the summary page points it at its table.
using ProfileTextSource = std::function<ProfileTexts()>;

inline constexpr const char* kSubmitVersion = "2.32";
inline constexpr const char* kUserNameAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-";
inline constexpr int kKeyRequestTextId = 8150;
inline constexpr int kSubmissionTextId = 8151;

// At most 15 characters: a letter, then characters of the 64-character alphabet, drawn from
// the calling thread's runtime generator; cut to length.
std::string MakeRandomText(int length);
// The stored name (trimmed, first 15 characters), or a new one written back to the settings
// file. iniPath empty: the program's settings file.
std::string GetRandomUserName(const std::string& iniPath = {});
// "<long name>, <build>" with the service-pack words shortened, or "Unknown OS".
std::string BuildOsNameText();
// The service-pack replacements and the join, as a pure function.
std::string FormatOsNameText(std::string_view longName, std::string buildText);

// What the query is built from besides the texts: everything the machine contributes, so the
// pieces can be checked on their own.
struct SubmissionIdentity {
  std::string userName;
  std::string osShortCode;
  std::string osName;
};
SubmissionIdentity CurrentIdentity(const std::string& iniPath = {});

// The feature id: MD5 of the unencoded profile text.
std::string BuildProfileText(const ProfileTexts& texts, const SubmissionIdentity& id);
// "%0.2f" of the score when 0 < score < 7, else "" (the part is left out).
std::string ScorePart(float score);
// The score query in its fixed order; randomText is the 12-character text whose hex form ends
// the query.
std::string BuildScoreQuery(const ProfileTexts& texts, const SubmissionIdentity& id, float score,
                            float cpuScore, float memScore, std::string_view randomText);
std::string BuildSubmissionBody(const ProfileTexts& texts, const SubmissionIdentity& id,
                                float score, float cpuScore, float memScore, std::string_view seed);

// HTTP with the program's fixed headers; the status, 0x80000001 for an address that does not
// parse or 0x80000003 when nothing could be sent.
std::uint32_t HttpGetText(const std::string& url, std::string& body);
// The response gets "StatusCode = <n>.<br />\r\n\r\n" in front of the body.
std::uint32_t HttpPostForm(const std::string& url, const std::string& body, std::string& response);

// The first 8 characters of a key-request answer.
std::string SeedFromKeyAnswer(std::string_view body);

struct SubmitOutcome {
  std::uint32_t keyStatus = 0;     // 0: not asked
  std::uint32_t submitStatus = 0;  // 0: nothing posted
  std::string response;            // the submission's response as HttpPostForm gives it
};
// The submission thread's work: key request, body, post. Scores of 7 or more count as 0.
// serverBase empty: the addresses of texts 8150/8151 as configured.
SubmitOutcome SubmitScores(const ProfileTextSource& source, float score, float cpuScore,
                           float memScore, const std::string& serverBase = {},
                           const std::string& iniPath = {});

}  // namespace korvane
