#pragma once
// The update strip of the summary page, without its window: the states it goes through while
// the companion update tool scans, the time-outs, what it says, and how the tool is started.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace korvane {

inline constexpr const char* kUpdateToolProductKey = "QMUpdate";
inline constexpr const char* kUpdateToolExe = "qmupdate.exe";
inline constexpr const char* kUpdateToolScanNow = "/scannow";
inline constexpr const char* kMsgNameStartScan = "WM_QMUPDATE_STARTSCAN";
inline constexpr const char* kMsgNameEndScan = "WM_QMUPDATE_ENDSCAN";
inline constexpr const char* kMsgNameScanning = "WM_QMUPDATE_SCANNING";

inline constexpr std::uint32_t kUpdateTimerId = 1;
inline constexpr std::uint32_t kUpdateTimerPeriodMs = 500;
inline constexpr std::uint32_t kScanEndedShowMs = 4000;  // after the tool reported the end
inline constexpr std::uint32_t kScanGiveUpMs = 300000;   // a tool that never reports the end

// Language ids of the strip's texts.
inline constexpr int kTextAdvert = 670, kTextScanning = 671, kTextFoundBefore = 672,
                     kTextFoundAfter = 673;
inline constexpr int kTextStartTool = 650, kTextStopScan = 651, kTextInstall = 652,
                     kTextRescan = 653;

// Starts the update tool; true when it started. The default finds "qmupdate" by the sibling
// lookup under product key "QMUpdate" and starts it.
using UpdateToolStarter = std::function<bool(std::string_view arguments)>;
bool StartUpdateTool(std::string_view arguments);
// The same with the program already located ("" = not found).
bool StartUpdateToolAt(std::string_view programPath, std::string_view arguments);

class CQMUpdateLogic {
 public:
  enum State : int { kCreated = 0, kIdle = 1, kScanning = 2, kScanEnded = 4, kFinished = 5 };
  using Clock = std::function<std::uint32_t()>;  // milliseconds, may wrap

  explicit CQMUpdateLogic(Clock clock = {}, UpdateToolStarter starter = {});

  void OnCreate();                      // 0 -> 1
  void OnStartScan();                   // "WM_QMUPDATE_STARTSCAN"
  void OnEndScan(std::int32_t count);   // "WM_QMUPDATE_ENDSCAN", count in lParam
  void OnTimer(std::uint32_t timerId);  // the 500 ms timer
  void OnAction();                      // the action link (message 2329)
  void Stop();                          // also when the window is destroyed
  // A registered broadcast by name; true when it was one of the strip's.
  bool OnBroadcast(std::string_view name, std::intptr_t lParam);

  int State() const { return state_; }
  std::int32_t Count() const { return count_; }
  bool Scanning() const { return scanning_; }
  bool ScanEnded() const { return scanEnded_; }
  bool TimerRunning() const { return timerRunning_; }
  bool AnimationShown() const { return animation_; }
  std::uint32_t TickMark() const { return tickMark_; }

  // What the strip says: the main text (state 5: the text before the count, the count, the text
  // after it) and the action link's text, as language ids.
  int MainTextId() const;  // 670/671, or 672 in state 5 (followed by the count and 673)
  bool ShowsCount() const { return state_ == kFinished; }
  int ActionTextId() const;

  // Arguments the action would start the tool with; nullopt-like "" with `stops` set when the
  // action stops the scan instead.
  struct Action {
    bool stops = false;
    std::string arguments;
  };
  Action ActionForState() const;

 private:
  std::uint32_t Now() const;

  Clock clock_;
  UpdateToolStarter starter_;
  int state_ = kCreated;
  std::int32_t count_ = 0;
  bool scanning_ = false;
  bool scanEnded_ = false;
  std::uint32_t tickMark_ = 0;
  bool timerRunning_ = false;
  bool animation_ = false;
};

}  // namespace korvane
