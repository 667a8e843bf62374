// The fastest exact fractal renders we know how to write for this processor family, kept apart
// from the library so that the library's renders have something honest to be measured against.
// AVX-512 only (this file is built for it; callers check the processor first): 8 doubles or 16
// floats per vector, K vectors in flight. Each vector holds one block of consecutive pixels of the
// image (pixel x*h + y), keeps iterating its lanes under a mask until every lane is done, and then
// takes the next block; no gather, no per-lane refill. The arithmetic is the plain iteration's,
// operation for operation (no fused multiply-add): x*x and y*y of the squared magnitude are the
// squares the next step needs.
#include "best_fractal.h"

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <utility>

namespace bestref {
namespace {

#define BEST_INLINE __attribute__((always_inline)) inline

// Hands out the image's blocks in memory order.
template <int W>
struct Blocks {
  int w, h, x = 0, y = 0;
  BEST_INLINE bool Next(int* bx, int* by) {
    if (x >= w) return false;
    *bx = x;
    *by = y;
    y += W;
    if (y >= h) {
      y = 0;
      ++x;
    }
    return true;
  }
};

struct MandelSlot {
  __m512d zx, zy, x2, y2, px, py;
  __m512i n;
  __mmask8 active;
  int it;
  std::uint8_t* out;  // null once the image has no more blocks
};

struct MandelSetup {
  double originX, originY, step;
  int h;
  std::uint8_t* codes;
};

BEST_INLINE void MandelLoad(MandelSlot& s, Blocks<8>& blocks, const MandelSetup& c) {
  int x, y;
  if (!blocks.Next(&x, &y)) {
    s.out = nullptr;
    s.active = 0;
    return;
  }
  s.out = c.codes + static_cast<std::size_t>(x) * c.h + y;
  const __m512d lane = _mm512_set_pd(7, 6, 5, 4, 3, 2, 1, 0);
  s.px = _mm512_set1_pd(c.originX + static_cast<double>(x) * c.step);
  s.py =
      _mm512_add_pd(_mm512_set1_pd(c.originY),
                    _mm512_mul_pd(_mm512_add_pd(_mm512_set1_pd(y), lane), _mm512_set1_pd(c.step)));
  s.zx = s.zy = s.x2 = s.y2 = _mm512_setzero_pd();
  s.n = _mm512_setzero_si512();
  s.active = 0xFF;
  s.it = 0;
}

BEST_INLINE void MandelStep(MandelSlot& s) {
  // Lanes that stopped keep x2/y2 (merge masking), so their squared magnitude is kept too.
  const __m512d four = _mm512_set1_pd(4.0);
  const __mmask8 a = s.active;
  const __m512d t = _mm512_add_pd(s.zx, s.zx);
  const __m512d ny = _mm512_add_pd(_mm512_mul_pd(t, s.zy), s.py);
  const __m512d nx = _mm512_add_pd(_mm512_sub_pd(s.x2, s.y2), s.px);
  s.x2 = _mm512_mask_mul_pd(s.x2, a, nx, nx);
  s.y2 = _mm512_mask_mul_pd(s.y2, a, ny, ny);
  s.zx = nx;
  s.zy = ny;
  const __mmask8 inside = _mm512_mask_cmp_pd_mask(a, _mm512_add_pd(s.x2, s.y2), four, _CMP_LT_OQ);
  s.n = _mm512_mask_add_epi64(s.n, inside, s.n, _mm512_set1_epi64(1));
  s.active = inside;
  ++s.it;
}

// Writes a finished block and takes the next; false when the slot has run dry.
BEST_INLINE int MandelRetire(MandelSlot& s, Blocks<8>& blocks, const MandelSetup& c) {
  if (!s.out || (s.active != 0 && s.it < 100)) return 0;
  const __mmask8 escaped =
      _mm512_cmp_pd_mask(_mm512_add_pd(s.x2, s.y2), _mm512_set1_pd(4.0), _CMP_GT_OQ);
  const __m128i codesV =
      _mm_mask_mov_epi8(_mm_set1_epi8(static_cast<char>(0xFF)), escaped, _mm512_cvtepi64_epi8(s.n));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(s.out), codesV);
  MandelLoad(s, blocks, c);
  return s.out ? 0 : 1;
}

template <std::size_t... I>
void MandelImage(const MandelSetup& c, int w, std::index_sequence<I...>) {
  constexpr int K = sizeof...(I);
  Blocks<8> blocks{w, c.h};
  MandelSlot slot[K];
  (MandelLoad(slot[I], blocks, c), ...);
  int live = K;
  for (int k = 0; k < K; ++k) live -= slot[k].out ? 0 : 1;
  while (live > 0) {
    (MandelStep(slot[I]), ...);
    live -= (MandelRetire(slot[I], blocks, c) + ...);
  }
}

struct JuliaSlot {
  __m512 zx, zy, x2, y2;
  __m512i n;
  __mmask16 active;
  int it;
  std::uint8_t* out;
};

struct JuliaSetup {
  float originX, originY, step;
  int h;
  std::uint8_t* codes;
};

BEST_INLINE void JuliaLoad(JuliaSlot& s, Blocks<16>& blocks, const JuliaSetup& c) {
  int x, y;
  if (!blocks.Next(&x, &y)) {
    s.out = nullptr;
    s.active = 0;
    return;
  }
  s.out = c.codes + static_cast<std::size_t>(x) * c.h + y;
  const __m512 lane = _mm512_set_ps(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  s.zx = _mm512_set1_ps(c.originX + static_cast<float>(x) * c.step);
  s.zy = _mm512_add_ps(_mm512_set1_ps(c.originY),
                       _mm512_mul_ps(_mm512_add_ps(_mm512_set1_ps(static_cast<float>(y)), lane),
                                     _mm512_set1_ps(c.step)));
  s.x2 = _mm512_mul_ps(s.zx, s.zx);
  s.y2 = _mm512_mul_ps(s.zy, s.zy);
  s.n = _mm512_setzero_si512();
  s.active = 0xFFFF;
  s.it = 0;
}

BEST_INLINE void JuliaStep(JuliaSlot& s) {
  const __mmask16 a = s.active;
  const __m512 t = _mm512_add_ps(s.zx, s.zx);
  const __m512 ny = _mm512_sub_ps(_mm512_mul_ps(t, s.zy), _mm512_set1_ps(0.41524f));
  const __m512 nx = _mm512_sub_ps(_mm512_sub_ps(s.x2, s.y2), _mm512_set1_ps(0.629578f));
  s.x2 = _mm512_mask_mul_ps(s.x2, a, nx, nx);
  s.y2 = _mm512_mask_mul_ps(s.y2, a, ny, ny);
  s.zx = nx;
  s.zy = ny;
  const __mmask16 inside =
      _mm512_mask_cmp_ps_mask(a, _mm512_add_ps(s.x2, s.y2), _mm512_set1_ps(4.0f), _CMP_LT_OQ);
  s.n = _mm512_mask_add_epi32(s.n, inside, s.n, _mm512_set1_epi32(1));
  s.active = inside;
  ++s.it;
}

BEST_INLINE int JuliaRetire(JuliaSlot& s, Blocks<16>& blocks, const JuliaSetup& c) {
  if (!s.out || (s.active != 0 && s.it < 100)) return 0;
  const __mmask16 escaped =
      _mm512_cmp_ps_mask(_mm512_add_ps(s.x2, s.y2), _mm512_set1_ps(4.0f), _CMP_GT_OQ);
  const __m128i codesV =
      _mm_mask_mov_epi8(_mm_set1_epi8(static_cast<char>(0xFF)), escaped, _mm512_cvtepi32_epi8(s.n));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(s.out), codesV);
  JuliaLoad(s, blocks, c);
  return s.out ? 0 : 1;
}

template <std::size_t... I>
void JuliaImage(const JuliaSetup& c, int w, std::index_sequence<I...>) {
  constexpr int K = sizeof...(I);
  Blocks<16> blocks{w, c.h};
  JuliaSlot slot[K];
  (JuliaLoad(slot[I], blocks, c), ...);
  int live = K;
  for (int k = 0; k < K; ++k) live -= slot[k].out ? 0 : 1;
  while (live > 0) {
    (JuliaStep(slot[I]), ...);
    live -= (JuliaRetire(slot[I], blocks, c) + ...);
  }
}

}  // namespace

void Mandel(int k, double originX, double originY, double step, int w, int h, std::uint8_t* codes) {
  const MandelSetup c{originX, originY, step, h, codes};
  switch (k) {
    case 1:
      return MandelImage(c, w, std::make_index_sequence<1>{});
    case 2:
      return MandelImage(c, w, std::make_index_sequence<2>{});
    case 3:
      return MandelImage(c, w, std::make_index_sequence<3>{});
    case 4:
      return MandelImage(c, w, std::make_index_sequence<4>{});
    default:
      return MandelImage(c, w, std::make_index_sequence<5>{});
  }
}

void Julia(int k, float originX, float originY, float step, int w, int h, std::uint8_t* codes) {
  const JuliaSetup c{originX, originY, step, h, codes};
  switch (k) {
    case 1:
      return JuliaImage(c, w, std::make_index_sequence<1>{});
    case 2:
      return JuliaImage(c, w, std::make_index_sequence<2>{});
    case 3:
      return JuliaImage(c, w, std::make_index_sequence<3>{});
    case 4:
      return JuliaImage(c, w, std::make_index_sequence<4>{});
    default:
      return JuliaImage(c, w, std::make_index_sequence<5>{});
  }
}

}  // namespace bestref
