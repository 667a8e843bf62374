#pragma once
// Memory copy bandwidth (test 11) and memory latency (test 12), the installed-memory size that
// scales the memory scores, and their helpers.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

#include "bench/BenchJob.h"

namespace korvane {

int BandwidthTest(_BENCH_JOB* job);
int LatencyTest(_BENCH_JOB* job);

// Cycles per access x 10 of a random pointer chase through `blockBytes` of `buffer` (which
// must hold at least min(blockBytes, 32 MiB) + 4 bytes) with the given stride; -1 when the
// buffer is null or clockHz is not positive. The chase is timed by the wall clock; `clockHz`
// converts seconds to cycles (kNanosecondClock: to nanoseconds, where no processor clock is
// known).
std::int64_t ChaseLatency(std::int64_t blockBytes, void* buffer, std::int64_t strideBytes,
                          std::int64_t clockHz, std::int64_t* overhead, std::int64_t* sink);

bool HasUsableTSC();
inline constexpr std::int64_t kNanosecondClock = 1000000000;

// Tests only: force the time-stamp counter check (0 unusable, 1 usable, -1 ask the processor
// again), and run the latency test over block sizes 4 KiB << first .. 4 KiB << last only
// (0..13; the default is all of them).
void SetTscUsableForTesting(int usable);
void SetLatencyBlocksForTesting(int first, int last);
// Installed memory in bytes (0 when unknown).
std::uint64_t GetTotalPhysMemory();
// "MemTotal:" of a /proc/meminfo text, in bytes.
std::optional<std::uint64_t> ParseMemTotalBytes(std::string_view meminfo);
// The installed memory in MiB, cached; a value below 1 is fetched again on every call.
std::int32_t TotalPhysMemoryMiB();
// The summary page may fill the cache from another source while it is still empty.
void SetTotalPhysMemoryMiBIfUnset(std::int32_t mib);

std::uint64_t RoundDownPow2(std::uint64_t n);

// Where the latency test writes its table: nullptr (the default) keeps it out of sight; the
// headless runner passes stdout.
void SetLatencyConsole(std::FILE* out);
// Where the bandwidth test writes its per-routine lines: nullptr (the default) formats them
// for nobody; the headless runner shows them on stderr with --verbose.
void SetBandwidthConsole(std::FILE* out);

// Random numbers of the latency chase: 31 bits, so that every cell of the largest block can be
// drawn. One generator per thread.
std::uint32_t ChaseRandom();
inline constexpr std::uint32_t kChaseRandomMax = 0x7FFFFFFF;

inline constexpr std::size_t kBandwidthBytes = 16u << 20;
inline constexpr std::int64_t kLatencyMaxBlock = 32 << 20;

}  // namespace korvane
