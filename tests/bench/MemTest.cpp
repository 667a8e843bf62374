#include <gtest/gtest.h>
#include <sched.h>

#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "bench/MemBench.h"
#include "bench/MemCopy.h"
#include "platform/Clock.h"

namespace korvane {
namespace {

class CopyRoutines : public ::testing::Test {
 protected:
  void SetUp() override { DetectInstructionSets(); }
  void TearDown() override { DetectInstructionSets(); }

  // Copies `bytes` from a source at offset `so` to a destination at offset `dof` (both from a
  // 64-byte boundary) and checks the copied range and the guard bytes around it.
  static void Check(const CopyRoutineInfo& r, std::size_t bytes, std::size_t so, std::size_t dof) {
    constexpr std::size_t kGuard = 640;
    std::vector<unsigned char> src(bytes + so + kGuard + 64), dst(bytes + dof + 2 * kGuard + 64);
    unsigned char* s =
        src.data() + (64 - reinterpret_cast<std::uintptr_t>(src.data()) % 64) % 64 + so;
    unsigned char* dBase =
        dst.data() + (64 - reinterpret_cast<std::uintptr_t>(dst.data()) % 64) % 64;
    std::memset(dst.data(), 0xEE, dst.size());
    for (std::size_t i = 0; i < src.size() - static_cast<std::size_t>(s - src.data()); ++i) {
      s[i] = static_cast<unsigned char>(i * 7 + 3);
    }
    unsigned char* d = dBase + kGuard + dof;
    void* result = r.routine(d, s, bytes);
    ASSERT_EQ(result, d) << r.name << " bytes " << bytes;
    const std::size_t copied = r.wholeLinesOnly ? bytes / 64 * 64 : bytes;
    EXPECT_EQ(std::memcmp(d, s, copied), 0)
        << r.name << " bytes " << bytes << " offsets " << so << "/" << dof;
    for (unsigned char* p = dst.data(); p < d; ++p)
      ASSERT_EQ(*p, 0xEE) << r.name << " wrote before";
    for (unsigned char* p = d + copied; p < dst.data() + dst.size(); ++p) {
      ASSERT_EQ(*p, 0xEE) << r.name << " wrote past, bytes " << bytes;
    }
  }
};

TEST_F(CopyRoutines, EverySupportedRoutineCopiesExactlyItsRange) {
  const std::size_t sizes[] = {
      0, 1, 7, 8, 63, 64, 65, 200, 4095, 4096, 4097, 4096 + 64, 3 * 4096 + 100, 70000};
  int supported = 0;
  for (const CopyRoutineInfo& r : kCopyRoutines) {
    std::vector<unsigned char> probeSrc(64), probeDst(64);
    if (r.routine(probeDst.data(), probeSrc.data(), 64) == nullptr) continue;
    ++supported;
    for (std::size_t bytes : sizes) {
      Check(r, bytes, 0, 0);    // aligned as the bandwidth test gives them
      Check(r, bytes, 3, 0);    // misaligned source
      Check(r, bytes, 16, 40);  // 16-byte aligned but not line aligned
      Check(r, bytes, 5, 9);
    }
  }
#if defined(__x86_64__)
  EXPECT_EQ(supported, kCopyRoutineCount);
#else
  EXPECT_EQ(supported, 1);
#endif
}

TEST_F(CopyRoutines, MissingInstructionSetsMakeRoutinesUnsupported) {
  std::vector<unsigned char> src(256, 1), dst(256, 0);
  SetInstructionSetsForTesting({true, true, false});
  for (int i = 0; i < kCopyRoutineCount; ++i) {
    const bool expectSupported = i != 11;
#if !defined(__x86_64__)
    if (i != 0) continue;
#endif
    EXPECT_EQ(kCopyRoutines[i].routine(dst.data(), src.data(), 256) != nullptr, expectSupported)
        << kCopyRoutines[i].name;
  }
  std::memset(dst.data(), 0, dst.size());
  SetInstructionSetsForTesting({false, false, false});
  for (int i = 1; i < kCopyRoutineCount; ++i) {
    EXPECT_EQ(kCopyRoutines[i].routine(dst.data(), src.data(), 256), nullptr)
        << kCopyRoutines[i].name;
  }
  EXPECT_EQ(dst, std::vector<unsigned char>(256, 0));  // unsupported routines copy nothing
  EXPECT_EQ(kCopyRoutines[0].routine(dst.data(), src.data(), 256), dst.data());
}

TEST(CopyRoutineNames, AsStored) {
  const char* names[] = {"memcpy_vc",
                         "memcpy_mmx",
                         "ac_memcpy_mmx",
                         "memcpy_SSE_CacheBlock",
                         "memcpy_SSE_CacheBlock2",
                         "memcpy_mmx_fast",
                         "memcpy_mmx_movntq",
                         "memcpy_mmx_movntq_pref",
                         "Qmemcpy_1",
                         "Qmemcpy_2",
                         "ac_memcpy_sse",
                         "ac_memcpy_sse2"};
  for (int i = 0; i < kCopyRoutineCount; ++i) EXPECT_STREQ(kCopyRoutines[i].name, names[i]);
}

TEST(ChaseRandom, ReachesEveryCellOfTheLargestBlock) {
  // The largest block has 8 Mi cells; draws must land all over it, not only in the first 32 Ki.
  constexpr std::uint32_t kCells = 8u << 20;
  std::uint32_t maxSeen = 0;
  std::set<std::uint32_t> eighths;
  for (int i = 0; i < 20000; ++i) {
    const std::uint32_t r = ChaseRandom();
    ASSERT_LE(r, kChaseRandomMax);
    maxSeen = std::max(maxSeen, r);
    eighths.insert((r % kCells) / (kCells / 8));
  }
  EXPECT_GT(maxSeen, 1u << 30);
  EXPECT_EQ(eighths.size(), 8u);
}

TEST(ChaseLatency, RejectsWhatItCannotChase) {
  std::int64_t overhead = 99, sink = 99;
  EXPECT_EQ(ChaseLatency(4096, nullptr, 64, 1000000000, &overhead, &sink), -1);
  EXPECT_EQ(overhead, 0);
  EXPECT_EQ(sink, 0);
  std::vector<std::uint32_t> buffer(16);
  EXPECT_EQ(ChaseLatency(4, buffer.data(), 4, 1000000000, &overhead, &sink), -1);
  EXPECT_EQ(ChaseLatency(64, buffer.data(), 2, 1000000000, &overhead, &sink), -1);
  EXPECT_EQ(ChaseLatency(64, buffer.data(), 4, 0, &overhead, &sink), -1);  // no time base
}

// Puts the latency test's seams back however a test ends.
struct LatencySeams {
  LatencySeams(int tsc, int first, int last) {
    SetTscUsableForTesting(tsc);
    SetLatencyBlocksForTesting(first, last);
  }
  ~LatencySeams() {
    SetTscUsableForTesting(-1);
    SetLatencyBlocksForTesting(0, 13);
  }
};

TEST(LatencyTest, WithoutATimeStampCounterTheChaseIsTimedInNanoseconds) {
  // 4 MiB only: a random chase through it (beyond every second-level cache) takes several
  // nanoseconds per load on any machine,
  // while a chase left untimed reads one cycle, under a nanosecond.
  LatencySeams seams(0, 10, 10);
  EXPECT_FALSE(HasUsableTSC());
  std::vector<std::uint32_t> buffer(4096 / 4 + 64);
  std::int64_t overhead = 0, sink = 0;
  EXPECT_GE(ChaseLatency(4096, buffer.data(), 64, kNanosecondClock, &overhead, &sink), 0);
  _BENCH_JOB job{};
  job.group = 2;
  job.testId = 12;
  job.threadCount = 1;
  ASSERT_EQ(LatencyTest(&job), 1);
  EXPECT_EQ(job.done, 1);
  EXPECT_GT(job.displayValue, 2.0);
  EXPECT_EQ(job.elapsed, job.displayValue);
}

// While a memory pass is timed the thread may run in the real-time class; afterwards it must be
// an ordinary thread again, or the rest of the run (and a window thread that ran a test) would
// keep starving everything else on its processor.
TEST(LatencyTest, TheMemoryTestsHandTheThreadBackAsTheyFoundIt) {
  const int policy = sched_getscheduler(0);
  cpu_set_t before;
  CPU_ZERO(&before);
  ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
  auto same = [&](const char* what) {
    EXPECT_EQ(sched_getscheduler(0), policy) << what;
    cpu_set_t now;
    CPU_ZERO(&now);
    ASSERT_EQ(sched_getaffinity(0, sizeof now, &now), 0);
    EXPECT_TRUE(CPU_EQUAL(&now, &before)) << what;
  };
  std::vector<std::uint32_t> buffer(65536 / 4 + 64);
  std::int64_t overhead = 0, sink = 0;
  EXPECT_GE(ChaseLatency(65536, buffer.data(), 64, 1000000000, &overhead, &sink), 0);
  same("chase");
  LatencySeams seams(-1, 0, 1);
  _BENCH_JOB job{};
  job.group = 2;
  job.testId = 12;
  job.threadCount = 1;
  ASSERT_EQ(LatencyTest(&job), 1);
  same("latency test");
  job.testId = 11;
  ASSERT_EQ(BandwidthTest(&job), 1);
  same("bandwidth test");
}

TEST(ChaseLatency, StaysInsideBlockPlusStride) {
  constexpr std::int64_t kBlock = 16384, kStride = 512;
  // Cells 0..block/4 and the stride beyond may be read; only cells 0..block/4 are written.
  std::vector<std::uint32_t> buffer(kBlock / 4 + kStride / 4 + 64, 0);
  for (std::size_t i = kBlock / 4 + 1; i < buffer.size(); ++i) buffer[i] = 0;
  std::int64_t overhead = -5, sink = -5;
  const std::int64_t r = ChaseLatency(kBlock, buffer.data(), kStride, 2000000000, &overhead, &sink);
  EXPECT_GE(r, 0);
  EXPECT_GE(overhead, 0);
  for (std::size_t i = kBlock / 4 + 1; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0u) << i;
  // The chain still holds each value once: the shuffle only swaps.
  std::vector<std::uint32_t> values(buffer.begin(), buffer.begin() + kBlock / 4 + 1);
  std::sort(values.begin(), values.end());
  for (std::size_t i = 0; i < values.size(); ++i) ASSERT_EQ(values[i], i + kStride / 4) << i;
}

TEST(HasUsableTSC, AgreesWithTheCounter) {
  if (!platform::HasRdtsc()) {
    EXPECT_FALSE(HasUsableTSC());
  } else {
    EXPECT_TRUE(HasUsableTSC());
    EXPECT_EQ(HasUsableTSC(), HasUsableTSC());
  }
}

TEST(GetTotalPhysMemory, ThisMachineHasSome) {
  EXPECT_GT(GetTotalPhysMemory(), 16ull << 20);
  EXPECT_EQ(TotalPhysMemoryMiB(), static_cast<std::int32_t>(GetTotalPhysMemory() >> 20));
}

}  // namespace
}  // namespace korvane
