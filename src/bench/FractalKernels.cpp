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
// Lanes run along y, U vectors at a time. A lane that stopped keeps its last z and count
// (bitwise select, which every level has); a block leaves the loop as soon as no lane is
// active. One vector per block measures fastest: the iteration chain is latency-bound, but a
// wider block runs as long as its slowest lane, which costs more than the overlap gains (as
// did handing finished lanes new pixels one by one). The vector code is the scalar
// iteration word for word (the library is built without FMA contraction).
#define KORVANE_SELECT(T, I, mask, a, b) reinterpret_cast<T>((reinterpret_cast<I>(a) & (mask)) | (reinterpret_cast<I>(b) & ~(mask)))

#define KORVANE_JULIA_KERNEL(NAME, ATTR, W, U, ANY)                                        \
  ATTR void NAME(float zx0, float originY, float step, int height, std::uint8_t* codes) {  \
    typedef float vf __attribute__((vector_size((W) * 4)));                                \
    typedef std::int32_t vi __attribute__((vector_size((W) * 4)));                         \
    int y = 0;                                                                             \
    for (; y + (W) * (U) <= height; y += (W) * (U)) {                                      \
      vf zx[U], zy[U], m[U];                                                               \
      vi n[U], active[U];                                                                  \
      for (int u = 0; u < (U); ++u) {                                                      \
        vf yy = {};                                                                        \
        for (int k = 0; k < (W); ++k) yy[k] = static_cast<float>(y + u * (W) + k);         \
        zx[u] = zx0 + yy * 0.0f;                                                           \
        zy[u] = originY + yy * step;                                                       \
        m[u] = yy * 0.0f;                                                                  \
        n[u] = vi{} ;                                                                      \
        active[u] = n[u] == n[u];                                                          \
      }                                                                                    \
      for (int it = 0; it < 100; ++it) {                                                   \
        vi any = vi{};                                                                     \
        for (int u = 0; u < (U); ++u) {                                                    \
          const vf nx = (zx[u] * zx[u] - zy[u] * zy[u]) - 0.629578f;                       \
          const vf ny = (2.0f * zx[u]) * zy[u] - 0.41524f;                                 \
          const vf nm = nx * nx + ny * ny;                                                 \
          zx[u] = KORVANE_SELECT(vf, vi, active[u], nx, zx[u]);                            \
          zy[u] = KORVANE_SELECT(vf, vi, active[u], ny, zy[u]);                            \
          m[u] = KORVANE_SELECT(vf, vi, active[u], nm, m[u]);                              \
          active[u] &= (nm < 4.0f);                                                        \
          n[u] -= active[u];                                                               \
          any |= active[u];                                                                \
        }                                                                                  \
        if (!(ANY)) break;                                                                 \
      }                                                                                    \
      for (int u = 0; u < (U); ++u)                                                        \
        for (int k = 0; k < (W); ++k)                                                      \
          codes[y + u * (W) + k] = m[u][k] > 4.0f ? static_cast<std::uint8_t>(n[u][k]) : 0xFF; \
    }                                                                                      \
    for (; y < height; ++y) {                                                              \
      int n = 0;                                                                           \
      const float m = JuliaIterate(zx0, originY + static_cast<float>(y) * step, &n, 4.0f, 100); \
      codes[y] = m > 4.0f ? static_cast<std::uint8_t>(n) : 0xFF;                           \
    }                                                                                      \
  }

#define KORVANE_MANDEL_KERNEL(NAME, ATTR, W, U, ANY)                                       \
  ATTR void NAME(double px, double originY, double step, int height, std::uint8_t* codes) { \
    typedef double vd __attribute__((vector_size((W) * 8)));                               \
    typedef long long vl __attribute__((vector_size((W) * 8)));                            \
    int y = 0;                                                                             \
    for (; y + (W) * (U) <= height; y += (W) * (U)) {                                      \
      vd zx[U], zy[U], m[U], py[U];                                                        \
      vl n[U], active[U];                                                                  \
      for (int u = 0; u < (U); ++u) {                                                      \
        vd yy = {};                                                                        \
        for (int k = 0; k < (W); ++k) yy[k] = static_cast<double>(y + u * (W) + k);        \
        py[u] = originY + yy * step;                                                       \
        zx[u] = yy * 0.0;                                                                  \
        zy[u] = zx[u];                                                                     \
        m[u] = zx[u];                                                                      \
        n[u] = vl{};                                                                       \
        active[u] = vl{} - 1;                                                              \
      }                                                                                    \
      for (int it = 0; it < 100; ++it) {                                                   \
        vl any = vl{};                                                                     \
        for (int u = 0; u < (U); ++u) {                                                    \
          const vd nx = (zx[u] * zx[u] - zy[u] * zy[u]) + px;                              \
          const vd ny = (2.0 * zx[u]) * zy[u] + py[u];                                     \
          const vd nm = nx * nx + ny * ny;                                                 \
          zx[u] = KORVANE_SELECT(vd, vl, active[u], nx, zx[u]);                            \
          zy[u] = KORVANE_SELECT(vd, vl, active[u], ny, zy[u]);                            \
          m[u] = KORVANE_SELECT(vd, vl, active[u], nm, m[u]);                              \
          active[u] &= (nm < 4.0);                                                         \
          n[u] -= active[u];                                                               \
          any |= active[u];                                                                \
        }                                                                                  \
        if (!(ANY)) break;                                                                 \
      }                                                                                    \
      for (int u = 0; u < (U); ++u)                                                        \
        for (int k = 0; k < (W); ++k)                                                      \
          codes[y + u * (W) + k] = m[u][k] > 4.0 ? static_cast<std::uint8_t>(n[u][k]) : 0xFF; \
    }                                                                                      \
    for (; y < height; ++y) {                                                              \
      int n = 0;                                                                           \
      const double m = MandelIterate(px, originY + static_cast<double>(y) * step, &n, 4.0, 100); \
      codes[y] = m > 4.0 ? static_cast<std::uint8_t>(n) : 0xFF;                           \
    }                                                                                      \
  }

#ifndef KORVANE_UNROLL
#define KORVANE_UNROLL 1
#endif
#define KORVANE_ATTR_SSE2 __attribute__((target("sse2")))
#define KORVANE_ATTR_AVX2 __attribute__((target("avx2")))
#define KORVANE_ATTR_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl,avx512bw")))

KORVANE_JULIA_KERNEL(JuliaColumnSse2, KORVANE_ATTR_SSE2, 4, KORVANE_UNROLL,
                     _mm_movemask_ps(reinterpret_cast<__m128>(any)))
KORVANE_JULIA_KERNEL(JuliaColumnAvx2, KORVANE_ATTR_AVX2, 8, KORVANE_UNROLL,
                     _mm256_movemask_ps(reinterpret_cast<__m256>(any)))
KORVANE_JULIA_KERNEL(JuliaColumnAvx512, KORVANE_ATTR_AVX512, 16, KORVANE_UNROLL,
                     _mm512_test_epi32_mask(reinterpret_cast<__m512i>(any), reinterpret_cast<__m512i>(any)))
KORVANE_MANDEL_KERNEL(MandelColumnSse2, KORVANE_ATTR_SSE2, 2, KORVANE_UNROLL,
                      _mm_movemask_pd(reinterpret_cast<__m128d>(any)))
KORVANE_MANDEL_KERNEL(MandelColumnAvx2, KORVANE_ATTR_AVX2, 4, KORVANE_UNROLL,
                      _mm256_movemask_pd(reinterpret_cast<__m256d>(any)))
KORVANE_MANDEL_KERNEL(MandelColumnAvx512, KORVANE_ATTR_AVX512, 8, KORVANE_UNROLL,
                      _mm512_test_epi64_mask(reinterpret_cast<__m512i>(any), reinterpret_cast<__m512i>(any)))
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
