#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <bitset>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/Clock.h"
#include "platform/Sysroot.h"

namespace {

namespace fs = std::filesystem;

std::string Vendor(const platform::CpuidRegs& r) {
  char s[12];
  std::memcpy(s, &r.ebx, 4);
  std::memcpy(s + 4, &r.edx, 4);
  std::memcpy(s + 8, &r.ecx, 4);
  return std::string(s, 12);
}

std::string Brand() {
  std::string brand;
  for (std::uint32_t leaf = 0x80000002; leaf <= 0x80000004; ++leaf) {
    const auto r = platform::Cpuid(leaf);
    if (!r) return "<missing>";
    char part[16];
    std::memcpy(part, &r->eax, 4);
    std::memcpy(part + 4, &r->ebx, 4);
    std::memcpy(part + 8, &r->ecx, 4);
    std::memcpy(part + 12, &r->edx, 4);
    brand.append(part, 16);
  }
  return brand.substr(0, brand.find('\0'));
}

// Points the process at a recorded machine for one test, and back at the real one after.
class RecordedMachine : public ::testing::Test {
 protected:
  void Use(const std::string& name) {
    platform::SetSysrootPrefixForTesting(std::string(KORVANE_FIXTURES_DIR) + "/cpuid/" + name);
  }
  void TearDown() override { platform::SetSysrootPrefixForTesting(""); }
};

TEST_F(RecordedMachine, IntelDumpAnswersVendorBrandAndCacheSubleaves) {
  Use("intel-raptorlake-i7-1370p");
  const auto leaf0 = platform::Cpuid(0);
  ASSERT_TRUE(leaf0);
  EXPECT_EQ(leaf0->eax, 0x20u);
  EXPECT_EQ(Vendor(*leaf0), "GenuineIntel");
  EXPECT_EQ(Brand(), "13th Gen Intel(R) Core(TM) i7-1370P");

  // Leaf 4 is looked up by subleaf: subleaf 2 is the 1.25 MiB L2 (ebx/ecx give the geometry).
  const auto l2 = platform::Cpuid(4, 2);
  ASSERT_TRUE(l2);
  EXPECT_EQ(l2->eax, 0xfc01c143u);
  EXPECT_EQ(l2->ebx, 0x240003fu);
  EXPECT_EQ(l2->ecx, 0x7ffu);
  const auto l3 = platform::Cpuid(4, 3);
  ASSERT_TRUE(l3);
  EXPECT_EQ(l3->edx, 4u);
  EXPECT_EQ(platform::Cpuid(4, 7), std::nullopt);  // not recorded

  // Leaf 1 does not depend on ecx: any subleaf gets the recorded answer.
  const auto a = platform::Cpuid(1, 0), b = platform::Cpuid(1, 9);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->eax, 0xb06a2u);
  EXPECT_EQ(b->eax, a->eax);
  EXPECT_EQ(b->edx, a->edx);

  // Leaves the recording does not hold (above 0x80000008, absent leaf 8) are absent.
  EXPECT_EQ(platform::Cpuid(0x80000019), std::nullopt);
  EXPECT_EQ(platform::Cpuid(8), std::nullopt);
  EXPECT_EQ(platform::Cpuid(0x40000000), std::nullopt);
  // Only pu0 was recorded for this machine: other processors do not exist there, and the
  // processor running the test must not answer for them.
  EXPECT_EQ(platform::CpuidOn(1, 0), std::nullopt);
  EXPECT_EQ(platform::CpuidOn(-1, 0), std::nullopt);
}

TEST_F(RecordedMachine, AmdDumpAnswersPerLogicalProcessor) {
  Use("amd-zen-epyc-7451");
  const auto leaf0 = platform::Cpuid(0);
  ASSERT_TRUE(leaf0);
  EXPECT_EQ(Vendor(*leaf0), "AuthenticAMD");
  EXPECT_EQ(Brand(), "AMD EPYC 7451 24-Core Processor                ");
  // The initial APIC id (leaf 1 ebx bits 31..24) differs between the two recorded processors.
  const auto pu0 = platform::CpuidOn(0, 1), pu1 = platform::CpuidOn(1, 1);
  ASSERT_TRUE(pu0 && pu1);
  EXPECT_EQ(pu0->ebx >> 24, 0u);
  EXPECT_EQ(pu1->ebx >> 24, 2u);
  const auto cache = platform::CpuidOn(1, 0x8000001d, 3);
  ASSERT_TRUE(cache);
  EXPECT_EQ(cache->eax, 0x14163u);
  EXPECT_EQ(platform::CpuidOn(2, 0), std::nullopt);
}

TEST_F(RecordedMachine, MalformedLinesAreSkippedNotFatal) {
  const fs::path root = fs::path(::testing::TempDir()) / ("cpuid-bad-" + std::to_string(getpid()));
  fs::create_directories(root / "cpuid");
  {
    std::ofstream f(root / "cpuid" / "pu0", std::ios::binary);
    f << "# mask e[abcd]x => e[abcd]x\n"
         "1 0 0 0 0 => d 68747541\n"                       // too few outputs
         "1 0 0 0 0 -> d 68747541 444d4163 69746e65\n"      // wrong arrow
         "1 zz 0 0 0 => 1 2 3 4\n"                           // not hex
         "1 1 0 0 0 => 1ffffffff 2 3 4\n"                    // wider than 32 bits
         "\n\r\n"
      << std::string("\0\xff garbage\n", 11)
      << "1 0 0 0 0 => 1 68747541 444d4163 69746e65\r\n"     // CRLF ends are fine
         "5 4 0 1 0 => a b c d";                             // no final newline
  }
  platform::SetSysrootPrefixForTesting(root.string());
  const auto leaf0 = platform::Cpuid(0);
  ASSERT_TRUE(leaf0);
  EXPECT_EQ(leaf0->eax, 1u);
  EXPECT_EQ(platform::Cpuid(1), std::nullopt);
  const auto sub = platform::Cpuid(4, 1);
  ASSERT_TRUE(sub);
  EXPECT_EQ(sub->edx, 0xdu);
  EXPECT_EQ(platform::Cpuid(4, 0), std::nullopt);
  fs::remove_all(root);
}

TEST(LiveCpuid, LeavesBeyondTheMaximumAreAbsent) {
#if defined(__x86_64__) || defined(__i386__)
  const auto basic = platform::Cpuid(0);
  ASSERT_TRUE(basic);
  EXPECT_EQ(platform::Cpuid(basic->eax + 1), std::nullopt);
  const auto ext = platform::Cpuid(0x80000000);
  ASSERT_TRUE(ext);
  EXPECT_EQ(platform::Cpuid(ext->eax + 1), std::nullopt);
  EXPECT_TRUE(platform::HasRdtsc());
  const std::uint64_t t0 = platform::Rdtsc();
  const std::uint64_t t1 = platform::Rdtsc();
  EXPECT_NE(t0, 0u);
  EXPECT_GE(t1, t0);
#else
  EXPECT_EQ(platform::Cpuid(0), std::nullopt);
  EXPECT_EQ(platform::Rdtsc(), 0u);
#endif
}

TEST(Timing, CounterAdvancesAcrossASleep) {
  EXPECT_EQ(platform::PerformanceFrequency(), 1000000000);
  const std::int64_t c0 = platform::PerformanceCounter();
  const std::uint32_t t0 = platform::TickCountMs();
  platform::SleepMs(30);
  const std::int64_t c1 = platform::PerformanceCounter();
  const std::uint32_t t1 = platform::TickCountMs();
  EXPECT_GE(c1 - c0, 30 * 1000000LL);  // never less than asked for
  EXPECT_GE(static_cast<std::uint32_t>(t1 - t0), 29u);
}

int ThreadNice() {
  errno = 0;
  return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
}

TEST(Scheduling, PriorityChangesOnlyTheCallingThread) {
  const int processNice = ThreadNice();
  int lowered = 99, below = 99;
  bool okLowest = false, okBelow = false;
  std::thread worker([&] {
    okLowest = platform::SetCurrentThreadPriority(platform::ThreadPriority::Lowest);
    lowered = ThreadNice();
    // Going back up needs privileges; whatever the answer, it must match what happened.
    okBelow = platform::SetCurrentThreadPriority(platform::ThreadPriority::BelowNormal);
    below = ThreadNice();
  });
  worker.join();
  EXPECT_TRUE(okLowest);
  EXPECT_EQ(lowered, std::min(processNice + 10, 19));
  EXPECT_EQ(below, okBelow ? std::min(processNice + 5, 19) : lowered);
  EXPECT_EQ(ThreadNice(), processNice);  // this thread was not touched
}

TEST(Scheduling, AffinityReturnsThePreviousMask) {
  const std::uint64_t process = platform::GetProcessAffinity();
  ASSERT_NE(process, 0u);
  EXPECT_EQ(platform::SetCurrentThreadAffinity(0), 0u);  // empty mask refused
  std::thread worker([&] {
    const std::uint64_t lowest = process & (~process + 1);  // first allowed processor
    EXPECT_EQ(platform::SetCurrentThreadAffinity(lowest), process);
    EXPECT_EQ(std::uint64_t{1} << sched_getcpu(), lowest);
    EXPECT_EQ(platform::SetCurrentThreadAffinity(process), lowest);
  });
  worker.join();
  EXPECT_EQ(platform::GetProcessAffinity(), process);
  const int count = platform::ProcessorCount();
  EXPECT_GE(count, 1);
  if (count <= 64) {
    EXPECT_EQ(static_cast<std::size_t>(count), std::bitset<64>(process).count());
  }
}

}  // namespace
