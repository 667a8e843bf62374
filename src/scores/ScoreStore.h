#pragma once
// The stored scores: three enciphered values under the program's registry key, loaded and
// announced at start-up, written when a benchmark group completes, and the registered
// messages that tell other programs about them.
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/Messages.h"

namespace korvane {

inline constexpr const char* kScoreRegistryKey = "Software\\Quillmark\\Tovix2";
inline constexpr const char* kAllScoreValue = "AllScoreEnc";
inline constexpr const char* kCpuScoreValue = "CpuScoreEnc";
inline constexpr const char* kMemScoreValue = "MemScoreEnc";

inline constexpr const char* kCpuScoreStartMessage = "WM_TOVIX_CPUSCORE_START";
inline constexpr const char* kCpuScoreEndMessage = "WM_TOVIX_CPUSCORE_END";
inline constexpr const char* kMemScoreStartMessage = "WM_TOVIX_MEMSCORE_START";
inline constexpr const char* kMemScoreEndMessage = "WM_TOVIX_MEMSCORE_END";

// Score kinds as the main window numbers its score displays.
enum ScoreKind : int { kOverallScore = 0, kCpuScore = 1, kMemoryScore = 2 };
// Benchmark groups as the benchmark page passes them.
enum ScoreGroup : int { kCpuGroup = 1, kMemoryGroup = 2 };

// The main window's score display; the start-up code connects it to the window.
class IScoreDisplay {
 public:
  virtual ~IScoreDisplay() = default;
  virtual void ShowScore(int kind, float score) = 0;
};

// Where the START/END announcements go; the default sends them to every process on the
// session bus. Tests record them instead.
class IScoreBroadcaster {
 public:
  virtual ~IScoreBroadcaster() = default;
  virtual void Broadcast(std::string_view messageName, platform::WParam wParam,
                         platform::LParam lParam) = 0;
};
IScoreBroadcaster& SessionBusBroadcaster();

// Message numbers of the four score messages: the registered numbers, or 1344..1347 when a
// registration fails or gives a number outside 0xC000..0xFFFF.
struct ScoreMessageIds {
  std::uint32_t cpuStart = 1344;
  std::uint32_t cpuEnd = 1345;
  std::uint32_t memStart = 1346;
  std::uint32_t memEnd = 1347;
};
ScoreMessageIds RegisterScoreMessages();

// The integers as loaded (0 when absent or ignored).
struct StoredScores {
  int overall = 0;
  int cpu = 0;
  int memory = 0;
};

// The integer stored under valueName in a stored (enciphered) value, when the value is
// intact: it decrypts to a text that starts with its own name and carries a positive number.
std::optional<int> ParseStoredScore(std::string_view valueName, std::string_view storedText);
// The score a stored integer shows: integer / 100, at least 0.01; above 7 it shows as 1.01.
float ScoreFromStoredInteger(int integer);
// A group score as stored: ceil(score * 100 + 0.5) in single precision, clamped to 1..700.
int StoredIntegerFromScore(float groupScore);

// Shows zeros, then each intact stored score; announces the CPU and memory scores.
StoredScores LoadStoredScores(IScoreDisplay& display, IScoreBroadcaster& broadcaster);
StoredScores LoadStoredScores(IScoreDisplay& display);

// Writes the group's values (CPU: "CpuScoreEnc" then "AllScoreEnc"; memory: "MemScoreEnc"),
// each with its own salt. False when the key cannot be opened for writing or the group is
// unknown; failures of single writes are not reported, as nothing could be done about them.
bool StoreGroupScore(int group, int integer);

// START (0, 0) and then END (1, integer) of the group.
void BroadcastGroupScore(int group, int integer, IScoreBroadcaster& broadcaster);

}  // namespace korvane
