#include "bench/FractalKernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace korvane::fractal {
namespace {

void JuliaColumnScalar(float zx, float originY, float step, int height, std::uint8_t* codes) {
  for (int y = 0; y < height; ++y) {
    int n = 0;
    const float m = JuliaIterate(zx, originY + static_cast<float>(y) * step, &n, 4.0f, 100);
    codes[y] = m > 4.0f ? static_cast<std::uint8_t>(n) : 0xFF;
  }
}

void MandelColumnScalar(double px, double originY, double step, int height, std::uint8_t* codes) {
  for (int y = 0; y < height; ++y) {
    int n = 0;
    const double m = MandelIterate(px, originY + static_cast<double>(y) * step, &n, 4.0, 100);
    codes[y] = m > 4.0 ? static_cast<std::uint8_t>(n) : 0xFF;
  }
}

#if defined(__x86_64__)
// Lanes run along y. A lane that stopped keeps its last z and count; finished columns of
// lanes leave the loop as soon as none is active. The vector code is the scalar iteration
// word for word (the library is built without FMA contraction).
#define KORVANE_JULIA_KERNEL(NAME, ATTR, W, ANY)                                           \
  ATTR void NAME(float zx0, float originY, float step, int height, std::uint8_t* codes) {  \
    typedef float vf __attribute__((vector_size((W) * 4)));                                \
    typedef std::int32_t vi __attribute__((vector_size((W) * 4)));                         \
    int y = 0;                                                                             \
    for (; y + (W) <= height; y += (W)) {                                                  \
      vf yy;                                                                               \
      for (int k = 0; k < (W); ++k) yy[k] = static_cast<float>(y + k);                     \
      vf zx = zx0 + yy * 0.0f;                                                             \
      vf zy = originY + yy * step;                                                         \
      vf m = zx * 0.0f;                                                                    \
      vi n = {};                                                                           \
      vi active = n == n;                                                                  \
      for (int it = 0; it < 100; ++it) {                                                   \
        const vf nx = (zx * zx - zy * zy) - 0.629578f;                                     \
        const vf ny = (2.0f * zx) * zy - 0.41524f;                                         \
        const vf nm = nx * nx + ny * ny;                                                   \
        zx = active ? nx : zx;                                                             \
        zy = active ? ny : zy;                                                             \
        m = active ? nm : m;                                                               \
        const vi inside = nm < 4.0f;                                                       \
        active &= inside;                                                                  \
        n -= active;                                                                       \
        if (!(ANY)) break;                                                                 \
      }                                                                                    \
      for (int k = 0; k < (W); ++k)                                                        \
        codes[y + k] = m[k] > 4.0f ? static_cast<std::uint8_t>(n[k]) : 0xFF;               \
    }                                                                                      \
    if (y < height) {                                                                      \
      for (; y < height; ++y) {                                                            \
        int n = 0;                                                                         \
        const float m = JuliaIterate(zx0, originY + static_cast<float>(y) * step, &n, 4.0f, 100); \
        codes[y] = m > 4.0f ? static_cast<std::uint8_t>(n) : 0xFF;                         \
      }                                                                                    \
    }                                                                                      \
  }

#define KORVANE_MANDEL_KERNEL(NAME, ATTR, W, ANY)                                          \
  ATTR void NAME(double px, double originY, double step, int height, std::uint8_t* codes) { \
    typedef double vd __attribute__((vector_size((W) * 8)));                               \
    typedef long long vl __attribute__((vector_size((W) * 8)));                            \
    int y = 0;                                                                             \
    for (; y + (W) <= height; y += (W)) {                                                  \
      vd yy;                                                                               \
      for (int k = 0; k < (W); ++k) yy[k] = static_cast<double>(y + k);                    \
      const vd py = originY + yy * step;                                                   \
      vd zx = yy * 0.0;                                                                    \
      vd zy = zx;                                                                          \
      vd m = zx;                                                                           \
      vl n = {};                                                                           \
      vl active = n == n;                                                                  \
      for (int it = 0; it < 100; ++it) {                                                   \
        const vd nx = (zx * zx - zy * zy) + px;                                            \
        const vd ny = (2.0 * zx) * zy + py;                                                \
        const vd nm = nx * nx + ny * ny;                                                   \
        zx = active ? nx : zx;                                                             \
        zy = active ? ny : zy;                                                             \
        m = active ? nm : m;                                                               \
        const vl inside = nm < 4.0;                                                        \
        active &= inside;                                                                  \
        n -= active;                                                                       \
        if (!(ANY)) break;                                                                 \
      }                                                                                    \
      for (int k = 0; k < (W); ++k)                                                        \
        codes[y + k] = m[k] > 4.0 ? static_cast<std::uint8_t>(n[k]) : 0xFF;                \
    }                                                                                      \
    for (; y < height; ++y) {                                                              \
      int n = 0;                                                                           \
      const double m = MandelIterate(px, originY + static_cast<double>(y) * step, &n, 4.0, 100); \
      codes[y] = m > 4.0 ? static_cast<std::uint8_t>(n) : 0xFF;                           \
    }                                                                                      \
  }

#define KORVANE_ATTR_SSE2 __attribute__((target("sse2")))
#define KORVANE_ATTR_AVX2 __attribute__((target("avx2")))
#define KORVANE_ATTR_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl,avx512bw")))

KORVANE_JULIA_KERNEL(JuliaColumnSse2, KORVANE_ATTR_SSE2, 4,
                     _mm_movemask_ps(reinterpret_cast<__m128>(active)))
KORVANE_JULIA_KERNEL(JuliaColumnAvx2, KORVANE_ATTR_AVX2, 8,
                     _mm256_movemask_ps(reinterpret_cast<__m256>(active)))
KORVANE_JULIA_KERNEL(JuliaColumnAvx512, KORVANE_ATTR_AVX512, 16,
                     _mm512_test_epi32_mask(reinterpret_cast<__m512i>(active),
                                            reinterpret_cast<__m512i>(active)))
KORVANE_MANDEL_KERNEL(MandelColumnSse2, KORVANE_ATTR_SSE2, 2,
                      _mm_movemask_pd(reinterpret_cast<__m128d>(active)))
KORVANE_MANDEL_KERNEL(MandelColumnAvx2, KORVANE_ATTR_AVX2, 4,
                      _mm256_movemask_pd(reinterpret_cast<__m256d>(active)))
KORVANE_MANDEL_KERNEL(MandelColumnAvx512, KORVANE_ATTR_AVX512, 8,
                      _mm512_test_epi64_mask(reinterpret_cast<__m512i>(active),
                                             reinterpret_cast<__m512i>(active)))
#endif

}  // namespace

#if defined(__x86_64__)
const JuliaColumnFn kJuliaColumn[4] = {JuliaColumnScalar, JuliaColumnSse2, JuliaColumnAvx2,
                                       JuliaColumnAvx512};
const MandelColumnFn kMandelColumn[4] = {MandelColumnScalar, MandelColumnSse2, MandelColumnAvx2,
                                         MandelColumnAvx512};
#else
const JuliaColumnFn kJuliaColumn[4] = {JuliaColumnScalar, nullptr, nullptr, nullptr};
const MandelColumnFn kMandelColumn[4] = {MandelColumnScalar, nullptr, nullptr, nullptr};
#endif

}  // namespace korvane::fractal
