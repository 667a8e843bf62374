// The vector renders for AVX2: 8 floats or 4 doubles per vector. Built with -mavx2 (and
// without FMA); called only when the processor has AVX2.
#if defined(__x86_64__)
#include <immintrin.h>

#include "bench/FractalBlocks.h"

namespace korvane::fractal {
namespace {

struct Avx2Float {
  typedef float F __attribute__((vector_size(32)));
  typedef std::int32_t I __attribute__((vector_size(32)));
  static constexpr int W = 8;
  static bool Any(I m) { return _mm256_movemask_ps(reinterpret_cast<__m256>(m)) != 0; }
};

struct Avx2Double {
  typedef double F __attribute__((vector_size(32)));
  typedef long long I __attribute__((vector_size(32)));
  static constexpr int W = 4;
  static bool Any(I m) { return _mm256_movemask_pd(reinterpret_cast<__m256d>(m)) != 0; }
};

}  // namespace

void JuliaImageAvx2(float originX, float originY, float step, int width, int height,
                    std::uint8_t* codes) {
  JuliaImageWith<Avx2Float, KORVANE_AVX2_SLOTS>(originX, originY, step, width, height, codes);
}

void MandelImageAvx2(double originX, double originY, double step, int width, int height,
                     std::uint8_t* codes) {
  MandelImageWith<Avx2Double, KORVANE_AVX2_SLOTS>(originX, originY, step, width, height, codes);
}

}  // namespace korvane::fractal
#endif
