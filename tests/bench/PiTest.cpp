#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "RecordingTarget.h"
#include "bench/CpuBench.h"

namespace korvane {
namespace {

// The spigot as written on paper, with the 32-bit wrap-around made explicit through 64-bit
// arithmetic.
std::string PlainPass(std::vector<std::int32_t>& cell) {
  cell.assign(kPiCells + 1, 2000);
  cell[kPiCells] = 0;
  std::string text;
  std::int32_t carry = 0;
  auto wrap = [](std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v & 0xFFFFFFFF)); };
  for (int m = kPiCells; m > 0; m -= 14) {
    std::int32_t d = 0;
    for (int i = m; i >= 1; --i) {
      d = wrap(static_cast<std::int64_t>(d) + static_cast<std::int64_t>(cell[i]) * 10000);
      const std::int32_t div = 2 * i - 1;
      cell[i] = d % div;
      d = d / div;
      if (i > 1) d = wrap(static_cast<std::int64_t>(d) * (i - 1));
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d", carry + d / 10000);
    text += buf;
    carry = d % 10000;
  }
  return text;
}

TEST(PiPass, MatchesThePlainSpigotCellForCell) {
  std::vector<std::int32_t> expectCells;
  const std::string expect = PlainPass(expectCells);
  std::vector<std::int32_t> cells(kPiCells + 1, 77);
  std::vector<char> text(kPiTextBytes, 'x');
  ASSERT_TRUE(PiPass(cells.data(), text.data(), text.size(), nullptr, nullptr));
  EXPECT_EQ(std::string(text.data()), expect);
  EXPECT_EQ(cells, expectCells);
  EXPECT_EQ(expect.size(), 16000u);
  EXPECT_EQ(expect.substr(0, 4), "3141");
}

struct HookLog {
  std::vector<int> counters;
  int stopAt = -1;
};

bool Hook(void* context, int counter) {
  auto* log = static_cast<HookLog*>(context);
  log->counters.push_back(counter);
  return counter != log->stopAt;
}

TEST(PiPass, ReportsEveryHundredAndTwentyEighthGroupAndStopsOnRequest) {
  std::vector<std::int32_t> cells(kPiCells + 1);
  std::vector<char> text(kPiTextBytes);
  HookLog log;
  ASSERT_TRUE(PiPass(cells.data(), text.data(), text.size(), Hook, &log));
  ASSERT_EQ(log.counters.size(), 31u);
  EXPECT_EQ(log.counters.front(), 127);
  EXPECT_EQ(log.counters[1], 255);
  EXPECT_EQ(log.counters.back(), 3967);

  HookLog stop;
  stop.stopAt = 255;
  EXPECT_FALSE(PiPass(cells.data(), text.data(), text.size(), Hook, &stop));
  EXPECT_EQ(stop.counters.back(), 255);
  EXPECT_EQ(std::strlen(text.data()), 255u * 4);
}

TEST(PiPass, NeverWritesPastASmallTextBuffer) {
  std::vector<std::int32_t> cells(kPiCells + 1);
  char text[32 + 8];
  std::memset(text, 'G', sizeof text);
  ASSERT_TRUE(PiPass(cells.data(), text, 32, nullptr, nullptr));
  EXPECT_EQ(std::strlen(text), 28u);  // seven whole groups fit with the terminator
  for (std::size_t i = 32; i < sizeof text; ++i) EXPECT_EQ(text[i], 'G');
  EXPECT_FALSE(PiPass(nullptr, text, 32, nullptr, nullptr));
}

TEST(PiJob, CancelledAtTheFirstProgressPoint) {
  RecordingTarget target;
  _BENCH_JOB job{};
  job.target = &target;
  job.group = 1;
  job.testId = 0;
  job.threadCount = 1;
  CancelFlagScope cancel(1);
  EXPECT_EQ(PiJob13(&job, -1), 3);
  const auto msgs = target.Messages();
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_EQ(msgs[0].msg, WM_BENCH_START);
  EXPECT_EQ(msgs[0].wParam, 0u);
  EXPECT_EQ(msgs[1].msg, WM_BENCH_CANCELLED);
  EXPECT_EQ(job.done, 0);
}

TEST(PiJob, WorkerMarksItsSlotWhenCancelled) {
  RecordingTarget target;
  _BENCH_JOB job{};
  job.target = &target;
  job.testId = 3;
  job.threadCount = 2;
  job.progress[1] = 55;
  CancelFlagScope cancel(1);
  EXPECT_EQ(PiJob13(&job, 1), 3);
  EXPECT_EQ(job.progress[1].load(), -1);
  EXPECT_EQ(job.progress[0].load(), 0);
  EXPECT_TRUE(target.Messages().empty());  // workers never post
}

TEST(PiJob, CancelFlagIgnoredWithoutALiveTarget) {
  // Without a window the flag is not consulted; a short warm-up run proves it by finishing.
  _BENCH_JOB job{};
  job.group = 1;
  job.testId = 199;
  job.threadCount = 1;
  CancelFlagScope cancel(1);
  EXPECT_EQ(PiJob3(&job, -1), 1);
  EXPECT_EQ(job.done, 1);
  EXPECT_GT(job.elapsed, 0.0);
  EXPECT_EQ(job.displayValue, job.elapsed);
  EXPECT_EQ(job.score, CalcTestScore(job.elapsed, 1, 199));
  EXPECT_EQ(job.checksum, 0);
}

}  // namespace
}  // namespace korvane
