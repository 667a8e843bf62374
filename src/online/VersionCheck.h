#pragma once
// The once-per-start check for a newer version: the version file, packed four-part versions,
// and the question the start panel asks when the server names a newer one.
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "config/Product.h"
#include "platform/Messages.h"

namespace korvane {

// Messages the version thread sends to the start panel. With kMsgNewVersion, wParam points to
// the packed version (std::uint64_t) and lParam to the address (NUL-terminated UTF-8); both are
// valid only during the call.
inline constexpr std::uint32_t kMsgNewVersion = 2525;
inline constexpr std::uint32_t kMsgVersionFailed = 2526;
inline constexpr int kTextUpdateQuestion = 570;

// A version file is a few lines; anything much larger is not one.
inline constexpr std::size_t kVersionFileMaxBytes = 64u << 10;
// Longest "version" and "url" value read, in bytes.
inline constexpr std::size_t kVersionValueMax = 259;

// Four 16-bit parts: high word (part1 << 16 | part2), low word (part3 << 16 | part4).
std::uint64_t PackVersion(std::uint16_t p1, std::uint16_t p2, std::uint16_t p3, std::uint16_t p4);
std::uint16_t VersionPart(std::uint64_t packed, int index);  // index 0..3
// Dotted text to a packed version; missing parts follow the program's rules (an empty text is
// 1.0.0.1, a missing fourth part is 1, "3.1" is 3.1.0.1).
std::uint64_t ParseVersion(std::string_view text);
// 1 when a is newer, -1 when older, 0 when equal.
int CompareVersions(std::uint64_t a, std::uint64_t b);
int CompareVersions(std::string_view a, std::string_view b);
std::string FormatVersion(std::uint64_t packed);  // "%d.%d.%d.%d"

// Whether text reads as an ini file: no NUL bytes, and every line that is not blank is a
// comment, a "[section]" header or a "key=value" entry (an error page or a binary is not).
bool LooksLikeIni(std::string_view text);

struct VersionFile {
  std::string version;  // "version" of section "main"
  std::string url;      // "url" of section "main", trimmed
};
// Reads a downloaded version file; nullopt when it is missing, oversized or not an ini.
std::optional<VersionFile> ReadVersionFile(std::string_view path);

struct UpdateOffer {
  std::uint64_t packed = 0;
  std::string url;
};
// The offer a version file makes to a program running `runningVersion`: only a newer version
// with a non-empty address.
std::optional<UpdateOffer> DecideUpdateOffer(const VersionFile& file,
                                             std::string_view runningVersion);

// What the start panel asks on kMsgNewVersion, or nullopt when it asks nothing.
struct UpdateQuestion {
  std::string text;     // language string 570 with the version put in
  std::string caption;  // "Korvane 3.0.603"
  std::string url;
};
std::optional<UpdateQuestion> MakeUpdateQuestion(std::uint64_t packed, std::string_view url,
                                                 std::string_view questionFormat);

// Opens an update address in the desktop's browser. Only http and https addresses are opened;
// anything else is refused and logged on standard error. `opener` is the browser launch (the
// desktop's opener by default); true when it was started.
using UrlOpener = std::function<bool(std::string_view url)>;
bool IsWebAddress(std::string_view url);
bool OpenUpdateAddress(std::string_view url, const UrlOpener& opener = {});

// The start panel's whole reaction to kMsgNewVersion: ask (Yes/No, information icon, through
// the program's message box) and open the address on Yes. `ask` returns the message-box answer;
// by default the program's message box. Returns true when the address was opened.
using QuestionAsker = std::function<int(const UpdateQuestion&)>;
bool HandleNewVersionMessage(platform::WParam wParam, platform::LParam lParam,
                             std::string_view questionFormat, const QuestionAsker& ask = {},
                             const UrlOpener& opener = {});

// The version thread: downloads the version file once and offers what it names.
class CVersionCheck {
 public:
  struct Settings {
    std::string versionUrl;  // language string 8132
    std::string workFolder;  // WorkFolder() when empty
    std::string runningVersion = kProductVersionLong;
    unsigned settleDelayMs = 500;
  };
  CVersionCheck() = default;
  ~CVersionCheck();
  CVersionCheck(const CVersionCheck&) = delete;
  CVersionCheck& operator=(const CVersionCheck&) = delete;

  // Starts the check at below-normal priority; a second call does nothing and returns false.
  bool Start(platform::IMessageTarget& target, Settings settings);
  void Wait();
  // The check on the calling thread: the message sent (kMsgNewVersion, kMsgVersionFailed) or 0
  // when nothing was sent.
  static std::uint32_t Run(platform::IMessageTarget& target, const Settings& settings);

 private:
  std::mutex mutex_;
  bool started_ = false;
  std::thread thread_;
};

}  // namespace korvane
