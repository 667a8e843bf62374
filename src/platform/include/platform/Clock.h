#pragma once
// The performance counter, sleeping, thread priority and affinity, and the CPUID/RDTSC
// instructions.
#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

// QueryPerformanceCounter / QueryPerformanceFrequency over CLOCK_MONOTONIC (1 ns ticks).
std::int64_t PerformanceCounter();
std::int64_t PerformanceFrequency();
std::uint32_t TickCountMs();  // GetTickCount: milliseconds, wraps
void SleepMs(std::uint32_t ms);

// Windows thread priority levels as nice values relative to the process's own (Lowest +10,
// BelowNormal +5, Normal 0, AboveNormal -5, Highest -10), for the calling thread only.
// Raising priority without privileges is refused by Linux; that refusal is reported as false
// and changes nothing else.
enum class ThreadPriority { Lowest, BelowNormal, Normal, AboveNormal, Highest };
bool SetCurrentThreadPriority(ThreadPriority priority);

// Affinity masks: bit i = logical processor i (first 64 processors). Return the previous
// mask, or 0 on failure (as SetThreadAffinityMask does). Mask 0 is refused. The process
// setting reaches every running thread.
std::uint64_t SetCurrentThreadAffinity(std::uint64_t mask);
std::uint64_t GetProcessAffinity();
bool SetProcessAffinity(std::uint64_t mask);
int ProcessorCount();  // online logical processors (at least 1)

struct CpuidRegs {
  std::uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};
// CPUID on this processor, or from the recorded dump of logical processor 0 when
// KORVANE_SYSROOT holds cpuid/pu0. nullopt where the instruction does not exist (non-x86), the
// dump has no such leaf, or KORVANE_SYSROOT names a machine without a recording.
std::optional<CpuidRegs> Cpuid(std::uint32_t leaf, std::uint32_t subleaf = 0);
// The same for a given logical processor of a recorded dump (nullopt when the recording has
// no such processor or leaf/subleaf); on a live machine the current processor answers
// (callers pin themselves first). Dumps are read once per process and root.
std::optional<CpuidRegs> CpuidOn(int logicalProcessor, std::uint32_t leaf,
                                 std::uint32_t subleaf = 0);
// CPUID of the processor running the program, also while a recorded machine is in use (for
// code that must know what this processor can execute, never for describing the machine).
std::optional<CpuidRegs> RunningCpuid(std::uint32_t leaf, std::uint32_t subleaf = 0);
// Logical processor numbers N of the recorded machine's cpuid/pu<N> files, ascending; empty on
// the live machine or without a recording.
std::vector<int> RecordedProcessors();
// The time-stamp counter of the running processor (never taken from a recording).
bool HasRdtsc();
std::uint64_t Rdtsc();  // 0 where unavailable

}  // namespace platform
