// The update strip's states, time-outs and tool starts, on a clock the test moves.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "online/UpdateTool.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

class StripTest : public ::testing::Test {
 protected:
  StripTest()
      : strip_([this] { return now_; },
               [this](std::string_view args) {
                 starts_.emplace_back(args);
                 return true;
               }) {
    strip_.OnCreate();
  }
  // Runs the 500 ms timer up to `ms` on the test clock.
  void AdvanceTo(std::uint32_t ms) {
    while (now_ + kUpdateTimerPeriodMs <= ms) {
      now_ += kUpdateTimerPeriodMs;
      strip_.OnTimer(kUpdateTimerId);
    }
    now_ = ms;
  }
  std::uint32_t now_ = 1000;
  std::vector<std::string> starts_;
  CQMUpdateLogic strip_;
};

TEST_F(StripTest, IdleStripStartsTheToolWithoutArguments) {
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kIdle);
  EXPECT_EQ(strip_.MainTextId(), kTextAdvert);
  EXPECT_EQ(strip_.ActionTextId(), kTextStartTool);
  strip_.OnAction();
  EXPECT_EQ(starts_, std::vector<std::string>{""});
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kIdle);  // only the tool's messages move it
  EXPECT_FALSE(strip_.TimerRunning());
}

TEST_F(StripTest, EndWithZeroPatchesShowsZeroAfterFourSecondsAndOffersRescan) {
  strip_.OnStartScan();
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kScanning);
  EXPECT_TRUE(strip_.AnimationShown());
  EXPECT_TRUE(strip_.TimerRunning());
  EXPECT_EQ(strip_.MainTextId(), kTextScanning);
  EXPECT_EQ(strip_.ActionTextId(), kTextStopScan);
  AdvanceTo(1500);
  strip_.OnEndScan(0);
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kScanEnded);
  EXPECT_EQ(strip_.MainTextId(), kTextScanning);
  AdvanceTo(1000 + kScanEndedShowMs);  // exactly four seconds: not yet
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kScanEnded);
  AdvanceTo(1000 + kScanEndedShowMs + kUpdateTimerPeriodMs);
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kFinished);
  EXPECT_FALSE(strip_.TimerRunning());
  EXPECT_FALSE(strip_.AnimationShown());
  EXPECT_TRUE(strip_.ShowsCount());
  EXPECT_EQ(strip_.Count(), 0);
  EXPECT_EQ(strip_.MainTextId(), kTextFoundBefore);
  EXPECT_EQ(strip_.ActionTextId(), kTextRescan);
  strip_.OnAction();
  EXPECT_EQ(starts_, std::vector<std::string>{"/scannow"});
}

TEST_F(StripTest, PatchesFoundOfferInstallation) {
  strip_.OnStartScan();
  AdvanceTo(20000);  // a long scan
  EXPECT_TRUE(strip_.OnBroadcast("wm_qmupdate_endscan", 3));
  AdvanceTo(20500);  // the four seconds count from the scan's start: over at the next tick
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kFinished);
  EXPECT_EQ(strip_.Count(), 3);
  EXPECT_EQ(strip_.ActionTextId(), kTextInstall);
  strip_.OnAction();
  EXPECT_EQ(starts_, std::vector<std::string>{"/scannow"});
  // A new scan from the finished state.
  EXPECT_TRUE(strip_.OnBroadcast("WM_QMUPDATE_STARTSCAN", 0));
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kScanning);
  EXPECT_EQ(strip_.Count(), 0);
  EXPECT_FALSE(strip_.OnBroadcast("WM_QMUPDATE_SCANNING", 0));
}

TEST_F(StripTest, ClickWhileScanningStopsAtOnce) {
  strip_.OnStartScan();
  AdvanceTo(3000);
  strip_.OnAction();
  EXPECT_TRUE(starts_.empty());
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kFinished);
  EXPECT_FALSE(strip_.AnimationShown());
  EXPECT_FALSE(strip_.TimerRunning());
  EXPECT_EQ(strip_.Count(), 0);
  EXPECT_EQ(strip_.TickMark(), 3000u);
  // The same after the end was reported: the last count stays.
  strip_.OnStartScan();
  strip_.OnEndScan(7);
  strip_.OnAction();
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kFinished);
  EXPECT_EQ(strip_.Count(), 7);
  EXPECT_TRUE(starts_.empty());
}

TEST_F(StripTest, SecondStartScanRestartsTheFiveMinuteLimit) {
  strip_.OnStartScan();  // at 1000
  AdvanceTo(1000 + 200000);
  strip_.OnStartScan();  // at 201000
  EXPECT_TRUE(strip_.AnimationShown());
  AdvanceTo(1000 + kScanGiveUpMs + 1000);  // past the first scan's limit
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kScanning);
  AdvanceTo(201000 + kScanGiveUpMs);
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kScanning);
  AdvanceTo(201000 + kScanGiveUpMs + kUpdateTimerPeriodMs);
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kFinished);  // given up
  EXPECT_EQ(strip_.Count(), 0);
}

TEST_F(StripTest, LimitsHoldAcrossTheMillisecondCounterWrap) {
  now_ = 0xFFFFFFFFu - 1000;
  strip_.OnStartScan();
  strip_.OnEndScan(2);
  now_ = 0xFFFFFFFFu;
  strip_.OnTimer(kUpdateTimerId);
  now_ = 1000;  // wrapped: 2001 ms since the mark
  strip_.OnTimer(kUpdateTimerId);
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kScanEnded);
  now_ = 3100;
  strip_.OnTimer(kUpdateTimerId);
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kFinished);
  // Other timers and ticks without a running timer change nothing.
  strip_.OnStartScan();
  now_ += kScanGiveUpMs + 1;
  strip_.OnTimer(2);
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kScanning);
}

TEST_F(StripTest, EndWithoutStartShowsTheCountAfterFourSeconds) {
  strip_.OnEndScan(4);  // the start was missed: the tick mark is still 0
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kScanEnded);
  EXPECT_TRUE(strip_.TimerRunning());
  AdvanceTo(1500);
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kScanEnded);
  AdvanceTo(1500 + kScanEndedShowMs + kUpdateTimerPeriodMs);
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kFinished);
  EXPECT_EQ(strip_.Count(), 4);
  EXPECT_EQ(strip_.ActionTextId(), kTextInstall);
}

TEST_F(StripTest, DestroyedWindowStops) {
  strip_.OnStartScan();
  strip_.Stop();
  EXPECT_EQ(strip_.State(), CQMUpdateLogic::kFinished);
  EXPECT_FALSE(strip_.TimerRunning());
  EXPECT_FALSE(strip_.AnimationShown());
}

// The tool is found by the sibling lookup and started for real.
TEST(UpdateToolStart, FoundProgramIsStartedWithItsArguments) {
  const fs::path dir = fs::path(std::getenv("HOME")) / ("toolstart-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path out = dir / "args.txt";
  const fs::path tool = dir / "qmupdate";
  std::ofstream(tool) << "#!/bin/sh\nprintf '%s|' \"$@\" > '" << out.string() << ".tmp'\nmv '"
                      << out.string() << ".tmp' '" << out.string() << "'\n";
  fs::permissions(tool, fs::perms::owner_all);
  EXPECT_FALSE(StartUpdateToolAt("", "/scannow"));
  EXPECT_FALSE(StartUpdateToolAt((dir / "missing").string(), "/scannow"));
  ASSERT_TRUE(StartUpdateToolAt(tool.string(), "/scannow"));
  for (int i = 0; i < 100 && !fs::exists(out); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::ifstream in(out);
  std::string args;
  std::getline(in, args);
  EXPECT_EQ(args, "/scannow|");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace korvane
