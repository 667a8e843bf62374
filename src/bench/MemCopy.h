#pragma once
// The twelve block-copy routines of the bandwidth test. Each has the form
// routine(destination, source, bytes) -> destination and returns null without copying when the
// processor lacks an instruction set it needs.
#include <cstddef>
#include <cstdint>

namespace korvane {

using CopyRoutine = void* (*)(void* destination, const void* source, std::size_t bytes);

struct CopyRoutineInfo {
  const char* name;
  CopyRoutine routine;
  // What a successful call copies: every byte, or only the leading whole 64-byte lines.
  bool wholeLinesOnly;
};

inline constexpr int kCopyRoutineCount = 12;
extern const CopyRoutineInfo kCopyRoutines[kCopyRoutineCount];

// Instruction-set flags from CPUID leaf 1 EDX (MMX bit 23, SSE bit 25, SSE2 bit 26).
struct InstructionSets {
  bool mmx = false;
  bool sse = false;
  bool sse2 = false;
};
// Sets the process-wide flags from the processor; returns them.
InstructionSets DetectInstructionSets();
// Tests only: pretend the processor has exactly these instruction sets (clamped to what it
// really has, so a routine never runs an instruction the processor lacks).
void SetInstructionSetsForTesting(InstructionSets sets);
InstructionSets CurrentInstructionSets();

}  // namespace korvane
