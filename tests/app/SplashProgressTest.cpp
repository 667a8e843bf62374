#include <gtest/gtest.h>

#include <vector>

#include "app/logic/SplashProgress.h"

namespace korvane {
namespace {

SplashTickInput Running(int random, ThreadWait wait = ThreadWait::TimedOut) {
  SplashTickInput in;
  in.hasStartupThread = true;
  in.startupStatus = kStartupRunning;
  in.wait = wait;
  in.randomValue = random;
  return in;
}

TEST(SplashProgress, NeverShowsMoreThanTheCapWhileTheThreadRuns) {
  for (int random : {0, 1, 5, 8, 17, 2147483000}) {
    CSplashProgress p;
    std::vector<int> shown;
    for (int tick = 0; tick < 200; ++tick) {
      const auto r = p.Tick(Running(random + tick));
      ASSERT_NE(r.action, SplashTickResult::Action::End);
      if (r.action == SplashTickResult::Action::ShowPosition) shown.push_back(r.position);
    }
    ASSERT_FALSE(shown.empty());
    for (int pos : shown) EXPECT_LE(pos, CSplashProgress::kWaitCap) << "random " << random;
    // Steps are 3..11 from the initial 10.
    EXPECT_GE(shown.front(), 13);
    EXPECT_LE(shown.front(), 21);
  }
}

TEST(SplashProgress, FinishesWithinFiveTicksOnceTheThreadEndedAtTheCap) {
  CSplashProgress p;
  // Climb with the largest step until the value sits at or past the cap.
  int guard = 0;
  while (p.CurrentPosition() <= CSplashProgress::kWaitCap && ++guard < 50) {
    EXPECT_NE(p.Tick(Running(8)).action, SplashTickResult::Action::End);
  }
  ASSERT_GT(p.CurrentPosition(), CSplashProgress::kWaitCap);
  const auto back = p.Tick(Running(8));  // pulled back to the cap and shown there
  EXPECT_EQ(back.action, SplashTickResult::Action::ShowPosition);
  EXPECT_EQ(back.position, CSplashProgress::kWaitCap);
  ASSERT_EQ(p.CurrentPosition(), CSplashProgress::kWaitCap);
  int ticks = 0;
  SplashTickResult r;
  do {
    r = p.Tick(Running(0, ThreadWait::Ended));
    ++ticks;
  } while (r.action != SplashTickResult::Action::End && ticks < 100);
  EXPECT_EQ(r.endResult, 1);
  EXPECT_EQ(ticks, 5);  // 85, 90, 95, 100 shown, then past 100
}

TEST(SplashProgress, FailuresEndWithTwoAndTheMessageHoldsTheBar) {
  CSplashProgress p;
  SplashTickInput in = Running(4);
  in.startupStatus = kStartupFailedShowingMessage;
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(p.Tick(in).action, SplashTickResult::Action::None);
  }
  EXPECT_EQ(p.CurrentPosition(), CSplashProgress::kInitialPosition);
  EXPECT_FALSE(CSplashProgress::TickWaitsForThread(true, kStartupFailedShowingMessage));

  in.startupStatus = kStartupFailed;
  auto r = p.Tick(in);
  EXPECT_EQ(r.action, SplashTickResult::Action::End);
  EXPECT_EQ(r.endResult, 2);

  CSplashProgress noThread;
  SplashTickInput none;
  none.hasStartupThread = false;
  EXPECT_EQ(noThread.Tick(none).endResult, 2);

  CSplashProgress waitFailed;
  EXPECT_EQ(waitFailed.Tick(Running(0, ThreadWait::Failed)).endResult, 2);
}

TEST(SplashProgress, AFastStartRunsStraightToTheEnd) {
  CSplashProgress p;
  std::vector<int> shown;
  SplashTickResult r;
  for (int i = 0; i < 30; ++i) {
    r = p.Tick(Running(0, ThreadWait::Ended));
    if (r.action != SplashTickResult::Action::ShowPosition) break;
    shown.push_back(r.position);
  }
  EXPECT_EQ(r.action, SplashTickResult::Action::End);
  EXPECT_EQ(r.endResult, 1);
  ASSERT_EQ(shown.size(), 18u);  // 15 .. 100 in steps of 5
  EXPECT_EQ(shown.front(), 15);
  EXPECT_EQ(shown.back(), 100);
}

}  // namespace
}  // namespace korvane
