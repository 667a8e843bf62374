#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <thread>

#include "bench/BenchCli.h"
#include "bench/BenchJob.h"
#include "bench/MemBench.h"
#include "platform/Clock.h"

namespace korvane {
namespace {

TEST(RunBenchTestCli, UsageErrors) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(RunBenchTestCli({}), 2);
  EXPECT_EQ(RunBenchTestCli({"--bench-test"}), 2);
  EXPECT_EQ(RunBenchTestCli({"--bench-test", "seven"}), 2);
  EXPECT_EQ(RunBenchTestCli({"--bench-test", "-1"}), 2);
  EXPECT_EQ(RunBenchTestCli({"--bench-test", "1", "--fast"}), 2);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("usage"), std::string::npos);
}

TEST(RunBenchTestCli, IdThatIsNotATestIsRefused) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(RunBenchTestCli({"korvane", "--bench-test", "9"}), 2);
  EXPECT_EQ(RunBenchTestCli({"--bench-test=10", "--json"}), 2);
  EXPECT_EQ(RunBenchTestCli({"--bench-test", "200"}), 2);
  EXPECT_EQ(RunBenchTestCli({"--bench-test="}), 2);
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out, "");  // no result line for a test that did not run
  EXPECT_NE(err.find("9 is not a benchmark test"), std::string::npos) << err;
  EXPECT_NE(err.find("10 is not a benchmark test"), std::string::npos) << err;
}

// The latency test over its smallest block only, so the run takes moments.
struct SmallLatencyRun {
  SmallLatencyRun() { SetLatencyBlocksForTesting(0, 0); }
  ~SmallLatencyRun() { SetLatencyBlocksForTesting(0, 13); }
};

TEST(RunBenchTestCli, JsonIsAllThereIsOnStandardOutput) {
  SmallLatencyRun small;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(RunBenchTestCli({"--bench-test=12", "--json"}), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out.rfind("{\"test\":12,\"result\":1,", 0), 0u) << out;
  EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
  EXPECT_EQ(out.back(), '\n');
  EXPECT_EQ(out[out.size() - 2], '}');
  // The table is still shown, beside the JSON.
  EXPECT_NE(err.find("    block\t4\t8"), std::string::npos);

  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(RunBenchTestCli({"--bench-test", "12"}), 0);
  const std::string text = testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  EXPECT_NE(text.find("    block\t4\t8"), std::string::npos);
  EXPECT_NE(text.find("test=12 result=1 "), std::string::npos);
}

TEST(BenchTestSetupFor, ThreadsAndGroups) {
  EXPECT_EQ(BenchTestSetupFor(0).threadCount, 1);
  EXPECT_EQ(BenchTestSetupFor(5).threadCount, 2);
  EXPECT_EQ(BenchTestSetupFor(8).threadCount, 4);
  EXPECT_EQ(BenchTestSetupFor(8).group, 1);
  EXPECT_EQ(BenchTestSetupFor(199).threadCount, platform::ProcessorCount());
  EXPECT_EQ(BenchTestSetupFor(12).group, 2);
  EXPECT_EQ(BenchTestSetupFor(11).threadCount, 1);
  EXPECT_EQ(BenchTestSetupFor(9).threadCount, 0);
}

TEST(RunBenchTestCli, InterruptCancelsAFourThreadRun) {
  int status = -1;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  std::thread runner([&status] { status = RunBenchTestCli({"--bench-test", "7"}); });
  // Interrupt only once the runner's handler is in place, or the signal would end the test.
  for (int i = 0; i < 2000; ++i) {
    struct sigaction current = {};
    sigaction(SIGINT, nullptr, &current);
    if (current.sa_handler != SIG_DFL && current.sa_handler != SIG_IGN) break;
    platform::SleepMs(1);
  }
  platform::SleepMs(200);
  kill(getpid(), SIGINT);
  runner.join();
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, 130);
  EXPECT_NE(out.find("test=7 result=3 "), std::string::npos) << out;
  EXPECT_NE(err.find("cancelled"), std::string::npos);
  EXPECT_EQ(BenchCancelFlag().load(), 1);  // left set until the next run clears it
  BenchCancelFlag().store(0);
}

}  // namespace
}  // namespace korvane
