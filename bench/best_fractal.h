#pragma once
// Fastest exact fractal renders we can build (AVX-512), as a yardstick for the library's.
#include <cstdint>

namespace bestref {

// The processor runs AVX-512 (F, DQ, VL, BW); only then may the renders below be called.
inline bool Available() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
         __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
}
// codes[x*h + y]: iteration count of an escaped point, else 0xFF. h must be a multiple of 16.
// k: vectors in flight (1..4).
void Mandel(int k, double originX, double originY, double step, int w, int h, std::uint8_t* codes);
void Julia(int k, float originX, float originY, float step, int w, int h, std::uint8_t* codes);

}  // namespace bestref
