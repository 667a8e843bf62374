#pragma once
// Usage events (window opened, exit, tab switches, benchmark start and stop, some clicks) are
// handed as one fixed 240-byte record to the maker's logging library "qmlog.dll", which does
// the storing. Without that library every event is silently dropped.
//
// All operations share one process-wide lock, so any thread may call them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

inline constexpr std::size_t kUsageRecordSize = 240;
inline constexpr std::size_t kUsageTextUnits = 16;  // UTF-16 units per text field, terminator included
inline constexpr std::size_t kUsageVersionMax = 15;
inline constexpr std::size_t kUsageEventNameMax = 13;

// Record layout (little-endian): 0 size, 4 format, 8 product (int32); 12 version text and
// 44 event text (16 UTF-16 units each, NUL-terminated); 76 value (int32); 80..239 zero.
inline constexpr std::size_t kUsageOffsetSize = 0;
inline constexpr std::size_t kUsageOffsetFormat = 4;
inline constexpr std::size_t kUsageOffsetProduct = 8;
inline constexpr std::size_t kUsageOffsetVersion = 12;
inline constexpr std::size_t kUsageOffsetEvent = 44;
inline constexpr std::size_t kUsageOffsetValue = 76;

enum UsageEventKind : int {
  kUsageWindowOpened = 4,
  kUsageProgramExit = 5,
  kUsageUserAction = 6,
};

using UsageRecord = std::array<std::uint8_t, kUsageRecordSize>;

// Record field writers: texts are cut to the field (at most 15 units, never a split
// surrogate pair) and always terminated; the rest of the field is zeroed.
void WriteUsageText(UsageRecord& record, std::size_t offset, std::string_view utf8);
void WriteUsageInt(UsageRecord& record, std::size_t offset, std::int32_t value);

// Static start-up: zero the record, set its size, try to load the library.
void UsageLogInitialise();
// Format 1, product 6 and the version text; then the event text and value as given.
void UsageLogSetIdentity(std::string_view version, std::string_view eventText, std::int32_t value);
// Event text "6.<name>" (names longer than 13 characters are cut) and the value.
void UsageLogAction(std::string_view eventName, std::int32_t value);
// Hands a copy of the record to AddLog(kind, record) and returns its result; 0 when the
// library or its AddLog is missing. A missing library is looked for again on every emit.
int UsageLogEmit(int kind);
// Static exit: unload the library.
void UsageLogShutdown();

// The main window's tab index -> event name ("Tab.Summary", "Tab.Test", "Tab.Help",
// "Tab.Rank"); nullptr for any other index, which logs nothing.
const char* UsageTabEventName(int tabIndex);

// Tests: a copy of the current record, and the folder searched first for the library
// (default: the executable's folder; "" restores the default).
UsageRecord UsageLogRecordSnapshot();
void UsageLogSetProgramFolderForTesting(std::string folder);
bool UsageLogLibraryLoaded();

}  // namespace korvane
