#include "scores/ScoreStore.h"

#include <climits>
#include <cmath>
#include <string>

#include "platform/Registry.h"
#include "platform/Text.h"
#include "scores/TextCipher.h"

namespace korvane {
namespace {

// A value longer than this many UTF-16 units does not fit the reader's buffer and is skipped.
constexpr std::size_t kMaxValueUnits = 512;
// The number starts after the 11-character value name and its colon.
constexpr std::size_t kNumberOffset = 12;

class SessionBus final : public IScoreBroadcaster {
 public:
  void Broadcast(std::string_view name, platform::WParam wParam, platform::LParam lParam) override {
    // A missing session bus is normal on a server or in a terminal; nothing to report.
    (void)platform::BroadcastMessage(name, wParam, lParam);
  }
};

// StrToInt: an optional minus sign and the decimal digits that follow; anything else ends the
// number. Saturates instead of wrapping so a long run of digits cannot turn into a small score.
int StrToInt(std::string_view text) {
  bool negative = false;
  std::size_t i = 0;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT_MAX) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) return value > INT_MAX ? INT_MIN : static_cast<int>(-value);
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

std::uint32_t RegisteredOr(const char* name, std::uint32_t fallback) {
  const std::uint32_t id = platform::RegisterWindowMessage(name);
  return id >= 0xC000 && id <= 0xFFFF ? id : fallback;
}

void WriteValue(platform::RegistryKey& key, const char* valueName, int integer) {
  const std::string plain = platform::Format("%s:%d", valueName, integer);
  (void)key.SetString(valueName, EncryptTextW(plain));
}

// Only a ciphertext counts: the decryption hands short texts back unchanged, and a value typed
// in as plain "CpuScoreEnc:700" must not pass for a stored score.
bool LooksEnciphered(std::string_view text) {
  const std::string trimmed = platform::Trim(text);
  if (trimmed.size() < 16) return false;
  for (char c : trimmed) {
    const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    if (!hex) return false;
  }
  return true;
}

}  // namespace

IScoreBroadcaster& SessionBusBroadcaster() {
  static SessionBus bus;
  return bus;
}

ScoreMessageIds RegisterScoreMessages() {
  ScoreMessageIds ids;
  ids.cpuStart = RegisteredOr(kCpuScoreStartMessage, 1344);
  ids.cpuEnd = RegisteredOr(kCpuScoreEndMessage, 1345);
  ids.memStart = RegisteredOr(kMemScoreStartMessage, 1346);
  ids.memEnd = RegisteredOr(kMemScoreEndMessage, 1347);
  return ids;
}

std::optional<int> ParseStoredScore(std::string_view valueName, std::string_view storedText) {
  if (!LooksEnciphered(storedText)) return std::nullopt;
  const std::string plain = DecryptTextW(storedText);
  if (plain.size() < valueName.size() || plain.compare(0, valueName.size(), valueName) != 0) {
    return std::nullopt;
  }
  const int integer =
      plain.size() > kNumberOffset ? StrToInt(std::string_view(plain).substr(kNumberOffset)) : 0;
  if (integer <= 0) return std::nullopt;
  return integer;
}

float ScoreFromStoredInteger(int integer) {
  float score = static_cast<float>(integer) / 100.0f;
  if (score < 0.01f) score = 0.01f;
  // Above the scale's top the score shows as 1.01, never as 7: such a value was not written by
  // this program and must not pass for a top score.
  if (score > 7.0f) score = 1.01f;
  return score;
}

int StoredIntegerFromScore(float groupScore) {
  const float scaled = std::ceil(groupScore * 100.0f + 0.5f);
  if (!(scaled >= 1.0f)) return 1;  // also NaN
  if (scaled > 700.0f) return 700;
  return static_cast<int>(scaled);
}

void BroadcastGroupScore(int group, int integer, IScoreBroadcaster& broadcaster) {
  const bool cpu = group == kCpuGroup;
  if (!cpu && group != kMemoryGroup) return;
  broadcaster.Broadcast(cpu ? kCpuScoreStartMessage : kMemScoreStartMessage, 0, 0);
  broadcaster.Broadcast(cpu ? kCpuScoreEndMessage : kMemScoreEndMessage, 1, integer);
}

StoredScores LoadStoredScores(IScoreDisplay& display, IScoreBroadcaster& broadcaster) {
  display.ShowScore(kOverallScore, 0.0f);
  display.ShowScore(kCpuScore, 0.0f);
  display.ShowScore(kMemoryScore, 0.0f);

  StoredScores loaded;
  platform::RegistryKey key;
  if (key.Open(platform::RegRoot::CurrentUser, kScoreRegistryKey, platform::RegAccess::Read) !=
      platform::kRegOk) {
    return loaded;
  }

  struct Slot {
    const char* valueName;
    int kind;
    int* integer;
  };
  const Slot slots[] = {{kAllScoreValue, kOverallScore, &loaded.overall},
                        {kCpuScoreValue, kCpuScore, &loaded.cpu},
                        {kMemScoreValue, kMemoryScore, &loaded.memory}};
  for (const Slot& slot : slots) {
    std::string stored;
    if (key.QueryString(slot.valueName, stored) != platform::kRegOk) continue;
    if (platform::Utf16Length(stored) >= kMaxValueUnits) continue;
    const std::optional<int> integer = ParseStoredScore(slot.valueName, stored);
    if (!integer) continue;
    *slot.integer = *integer;
    display.ShowScore(slot.kind, ScoreFromStoredInteger(*integer));

    // Listeners are promised 1..700; a larger number (never written by this program) is shown
    // as 1.01 above but not announced as if it were a real score.
    if (*integer > 700) continue;
    if (slot.kind == kCpuScore) BroadcastGroupScore(kCpuGroup, *integer, broadcaster);
    if (slot.kind == kMemoryScore) BroadcastGroupScore(kMemoryGroup, *integer, broadcaster);
  }
  return loaded;
}

StoredScores LoadStoredScores(IScoreDisplay& display) {
  return LoadStoredScores(display, SessionBusBroadcaster());
}

bool StoreGroupScore(int group, int integer) {
  if (group != kCpuGroup && group != kMemoryGroup) return false;
  platform::RegistryKey key;
  if (key.Open(platform::RegRoot::CurrentUser, kScoreRegistryKey, platform::RegAccess::Write) !=
      platform::kRegOk) {
    return false;
  }
  if (group == kCpuGroup) {
    WriteValue(key, kCpuScoreValue, integer);
    WriteValue(key, kAllScoreValue, integer);
  } else {
    WriteValue(key, kMemScoreValue, integer);
  }
  key.Close();
  return true;
}

}  // namespace korvane
