#include "online/UpdateTool.h"

#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "sysinfo/SysUtil.h"

namespace korvane {

bool StartUpdateToolAt(std::string_view programPath, std::string_view arguments) {
  if (programPath.empty() || !platform::FileExists(programPath)) return false;
  if (platform::ShellOpen(programPath, arguments) > 32) return true;
  return platform::StartProgram(programPath, platform::SplitCommandLine(arguments)) > 0;
}

bool StartUpdateTool(std::string_view arguments) {
  // The sibling lookup covers the program's own folder, the path the tool registered, and the
  // maker's folder under the programs folder, in that order.
  return StartUpdateToolAt(FindSiblingProgram(kUpdateToolProductKey, kUpdateToolExe), arguments);
}

CQMUpdateLogic::CQMUpdateLogic(Clock clock, UpdateToolStarter starter)
    : clock_(std::move(clock)), starter_(std::move(starter)) {}

std::uint32_t CQMUpdateLogic::Now() const { return clock_ ? clock_() : platform::TickCountMs(); }

void CQMUpdateLogic::OnCreate() { state_ = kIdle; }

void CQMUpdateLogic::OnStartScan() {
  count_ = 0;
  animation_ = true;  // a new animation replaces any running one
  scanning_ = true;
  scanEnded_ = false;
  tickMark_ = Now();
  state_ = kScanning;
  timerRunning_ = true;  // (re)started: the limits count from this tick mark
}

void CQMUpdateLogic::OnEndScan(std::int32_t count) {
  count_ = count;
  scanEnded_ = true;
  state_ = kScanEnded;
  // An end whose start the strip never saw (the tool was already scanning when the strip was
  // made) would otherwise say "scanning" until the user clicks: the timer's four-second rule
  // ends it like any other scan.
  timerRunning_ = true;
}

void CQMUpdateLogic::OnTimer(std::uint32_t timerId) {
  if (timerId != kUpdateTimerId || !timerRunning_) return;
  std::uint32_t limit = kScanGiveUpMs;
  if (scanEnded_) {
    limit = kScanEndedShowMs;
    if (tickMark_ == 0) tickMark_ = Now();
  }
  // Unsigned difference: right across the wrap of the millisecond counter.
  if (Now() - tickMark_ > limit) Stop();
}

void CQMUpdateLogic::Stop() {
  timerRunning_ = false;
  scanning_ = false;
  scanEnded_ = false;
  tickMark_ = Now();
  state_ = kFinished;
  animation_ = false;
}

void CQMUpdateLogic::OnAction() {
  const Action action = ActionForState();
  if (action.stops) {
    Stop();
    return;
  }
  // A tool that cannot be found or started leaves the strip as it is.
  if (starter_) {
    starter_(action.arguments);
  } else {
    StartUpdateTool(action.arguments);
  }
}

bool CQMUpdateLogic::OnBroadcast(std::string_view name, std::intptr_t lParam) {
  if (platform::EqualsIgnoreCase(name, kMsgNameStartScan)) {
    OnStartScan();
    return true;
  }
  if (platform::EqualsIgnoreCase(name, kMsgNameEndScan)) {
    OnEndScan(static_cast<std::int32_t>(lParam));
    return true;
  }
  return false;
}

int CQMUpdateLogic::MainTextId() const {
  switch (state_) {
    case kScanning:
    case kScanEnded:
      return kTextScanning;
    case kFinished:
      return kTextFoundBefore;
    default:
      return kTextAdvert;
  }
}

int CQMUpdateLogic::ActionTextId() const {
  switch (state_) {
    case kScanning:
    case kScanEnded:
      return kTextStopScan;
    case kFinished:
      return count_ > 0 ? kTextInstall : kTextRescan;
    default:
      return kTextStartTool;
  }
}

CQMUpdateLogic::Action CQMUpdateLogic::ActionForState() const {
  switch (state_) {
    case kScanning:
    case kScanEnded:
      return {true, {}};
    case kFinished:
      return {false, kUpdateToolScanNow};
    default:
      return {false, {}};
  }
}

}  // namespace korvane
