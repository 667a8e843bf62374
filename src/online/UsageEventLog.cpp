#include "online/UsageEventLog.h"

#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/DynamicLibrary.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace korvane {
namespace {

constexpr const char* kLibraryName = "qmlog.dll";
constexpr std::int32_t kRecordFormat = 1;
constexpr std::int32_t kProductNumber = 6;

using AddLogFunction = int (*)(int kind, const void* record);

struct EventLogState {
  std::mutex lock;
  UsageRecord record{};
  platform::DynamicLibrary library;
  std::optional<std::string> programFolder;  // tests only
};

// Built on first use and never destroyed: events can be raised from static initialisation
// and exit code whose order against this file's statics is not fixed.
EventLogState& State() {
  static EventLogState* state = new EventLogState();
  return *state;
}

void ResetRecord(UsageRecord& record) {
  record.fill(0);
  WriteUsageInt(record, kUsageOffsetSize, static_cast<std::int32_t>(kUsageRecordSize));
}

// Caller holds the lock.
void LoadLibraryLocked(EventLogState& s) {
  if (s.library.IsLoaded()) return;
  std::string folder = s.programFolder ? *s.programFolder : platform::ExecutableDirectory();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  std::string path = folder.empty() ? std::string() : folder + kLibraryName;
  if (path.empty() || !platform::FileExists(path)) path = kLibraryName;
  try {
    s.library.Load(path);
  } catch (const std::exception&) {
    // A library whose constructors throw is treated as absent; the next emit tries again.
    s.library.Unload();
  }
}

}  // namespace

void WriteUsageInt(UsageRecord& record, std::size_t offset, std::int32_t value) {
  if (offset + 4 > record.size()) return;
  auto u = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) record[offset + i] = static_cast<std::uint8_t>(u >> (8 * i));
}

void WriteUsageText(UsageRecord& record, std::size_t offset, std::string_view utf8) {
  if (offset + kUsageTextUnits * 2 > record.size()) return;
  std::u16string units = platform::Utf8ToUtf16(platform::TruncateUtf16Units(utf8, kUsageTextUnits - 1));
  for (std::size_t i = 0; i < kUsageTextUnits; ++i) {
    char16_t u = i < units.size() && i < kUsageTextUnits - 1 ? units[i] : u'\0';
    record[offset + 2 * i] = static_cast<std::uint8_t>(u & 0xFF);
    record[offset + 2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
  }
}

void UsageLogInitialise() {
  EventLogState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  ResetRecord(s.record);
  LoadLibraryLocked(s);
}

void UsageLogSetIdentity(std::string_view version, std::string_view eventText, std::int32_t value) {
  EventLogState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  WriteUsageInt(s.record, kUsageOffsetSize, static_cast<std::int32_t>(kUsageRecordSize));
  WriteUsageInt(s.record, kUsageOffsetFormat, kRecordFormat);
  WriteUsageInt(s.record, kUsageOffsetProduct, kProductNumber);
  WriteUsageText(s.record, kUsageOffsetVersion, version);
  WriteUsageText(s.record, kUsageOffsetEvent, eventText);
  WriteUsageInt(s.record, kUsageOffsetValue, value);
}

void UsageLogAction(std::string_view eventName, std::int32_t value) {
  std::string text = platform::Format("%d.", kProductNumber) +
                     platform::TruncateUtf16Units(eventName, kUsageEventNameMax);
  EventLogState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  WriteUsageText(s.record, kUsageOffsetEvent, text);
  WriteUsageInt(s.record, kUsageOffsetValue, value);
}

int UsageLogEmit(int kind) {
  EventLogState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  LoadLibraryLocked(s);
  if (!s.library.IsLoaded()) return 0;
  auto addLog = reinterpret_cast<AddLogFunction>(s.library.Resolve("AddLog"));
  if (addLog == nullptr) return 0;
  // The library gets its own copy, freed right after the call; it must copy what it keeps.
  auto copy = std::make_unique<std::uint8_t[]>(kUsageRecordSize);
  std::memcpy(copy.get(), s.record.data(), kUsageRecordSize);
  try {
    return addLog(kind, copy.get());
  } catch (...) {
    // The library is foreign code: whatever it throws is its failure, not the caller's.
    return 0;
  }
}

void UsageLogShutdown() {
  EventLogState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  s.library.Unload();
}

const char* UsageTabEventName(int tabIndex) {
  static constexpr const char* kNames[] = {"Tab.Summary", "Tab.Test", "Tab.Help", "Tab.Rank"};
  if (tabIndex < 0 || tabIndex > 3) return nullptr;
  return kNames[tabIndex];
}

UsageRecord UsageLogRecordSnapshot() {
  EventLogState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.record;
}

void UsageLogSetProgramFolderForTesting(std::string folder) {
  EventLogState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  s.library.Unload();
  if (folder.empty()) {
    s.programFolder.reset();
  } else {
    s.programFolder = std::move(folder);
  }
}

bool UsageLogLibraryLoaded() {
  EventLogState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.library.IsLoaded();
}

}  // namespace korvane
