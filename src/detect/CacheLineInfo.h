#pragma once
// Associativity and line size of the processor's caches, decoded from CPUID: the leaf-2
// descriptor bytes, the deterministic cache leaves (4, and AMD's 0x8000001D), or AMD's
// extended leaves 0x80000005/6.
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/Clock.h"

namespace korvane {

inline constexpr std::uint8_t kFullyAssociative = 255;

struct CACHE_LINE_GROUP {
  std::uint16_t size = 0;  // KiB
  std::uint8_t associativity = 0;
  std::uint8_t lineSize = 0;  // bytes
};

// Groups: level-1 data, level-1 instruction, trace (a copy of level-1 instruction where the
// processor has no trace cache), level 2, level 3.
struct _CACHE_LINE_INFO {
  CACHE_LINE_GROUP group[5];
};

using CpuidFunction =
    std::function<std::optional<platform::CpuidRegs>(std::uint32_t leaf, std::uint32_t subleaf)>;

// The decoding itself, over any CPUID source; a source without the instruction leaves the
// presets (64-byte lines; 8, 8, 8, 16 and 32 ways).
void DecodeCacheLineInfo(const CpuidFunction& cpuid, _CACHE_LINE_INFO& out);

// 1 when it filled the record from this processor; 0 for a null record or from the third call
// in the process on (the record is then untouched).
int GetCacheLineInfo(_CACHE_LINE_INFO* record);
void ResetCacheLineInfoCallsForTesting();
// Associativity and line size of the first logical processor's caches as the kernel lists them
// (/sys/devices/system/cpu/cpu0/cache); groups it does not list keep their values.
void CacheLineInfoFromSysfs(_CACHE_LINE_INFO& out);

// Associativity field of 0x80000006 (bits 15..12) in ways; 0 for reserved codes.
std::uint8_t DecodeExtendedAssociativity(std::uint32_t field);

}  // namespace korvane
