// The vector renders for AVX-512: 16 floats or 8 doubles per vector, the lanes that stopped held
// in a mask register (the merge-masked multiplies keep their squares, so no separate select is
// needed). Built with the AVX-512 F/DQ/VL/BW flags (and without FMA); called only when the
// processor has them. The scheme is that of FractalBlocks.h.
#if defined(__x86_64__)
#include <immintrin.h>

#include "bench/FractalBlocks.h"

namespace korvane::fractal {
namespace {

struct MaskedSlotD {
  __m512d zx, zy, x2, y2, px, py;
  __m512i n;
  __mmask8 active;
  int iterations;
  std::uint8_t* out;
};

struct MaskedSlotF {
  __m512 zx, zy, x2, y2;
  __m512i n;
  __mmask16 active;
  int iterations;
  std::uint8_t* out;
};

KORVANE_BLOCK_INLINE void Load(MaskedSlotD& s, BlockCursor& blocks, const ImageArgs<double>& a) {
  int x, y;
  if (!blocks.Next(&x, &y)) {
    s.out = nullptr;
    s.active = 0;
    return;
  }
  s.out = a.codes + static_cast<std::size_t>(x) * a.height + y;
  const __m512d rows =
      _mm512_add_pd(_mm512_set1_pd(static_cast<double>(y)), _mm512_set_pd(7, 6, 5, 4, 3, 2, 1, 0));
  s.px = _mm512_set1_pd(a.originX + static_cast<double>(x) * a.step);
  s.py = _mm512_add_pd(_mm512_set1_pd(a.originY), _mm512_mul_pd(rows, _mm512_set1_pd(a.step)));
  s.zx = s.zy = s.x2 = s.y2 = _mm512_setzero_pd();
  s.n = _mm512_setzero_si512();
  s.active = 0xFF;
  s.iterations = 0;
}

KORVANE_BLOCK_INLINE void Step(MaskedSlotD& s) {
  const __mmask8 a = s.active;
  const __m512d t = _mm512_add_pd(s.zx, s.zx);
  const __m512d ny = _mm512_add_pd(_mm512_mul_pd(t, s.zy), s.py);
  const __m512d nx = _mm512_add_pd(_mm512_sub_pd(s.x2, s.y2), s.px);
  s.x2 = _mm512_mask_mul_pd(s.x2, a, nx, nx);
  s.y2 = _mm512_mask_mul_pd(s.y2, a, ny, ny);
  s.zx = nx;
  s.zy = ny;
  const __mmask8 inside =
      _mm512_mask_cmp_pd_mask(a, _mm512_add_pd(s.x2, s.y2), _mm512_set1_pd(4.0), _CMP_LT_OQ);
  s.n = _mm512_mask_add_epi64(s.n, inside, s.n, _mm512_set1_epi64(1));
  s.active = inside;
  ++s.iterations;
}

KORVANE_BLOCK_INLINE int Retire(MaskedSlotD& s, BlockCursor& blocks, const ImageArgs<double>& a) {
  if (!s.out || (s.active != 0 && s.iterations < kMaxIterationsPerPoint)) return 0;
  const __mmask8 escaped =
      _mm512_cmp_pd_mask(_mm512_add_pd(s.x2, s.y2), _mm512_set1_pd(4.0), _CMP_GT_OQ);
  const __m128i codes = _mm_mask_mov_epi8(_mm_set1_epi8(static_cast<char>(kNotEscapedCode)),
                                          escaped, _mm512_cvtepi64_epi8(s.n));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(s.out), codes);
  Load(s, blocks, a);
  return s.out ? 0 : 1;
}

KORVANE_BLOCK_INLINE void Load(MaskedSlotF& s, BlockCursor& blocks, const ImageArgs<float>& a) {
  int x, y;
  if (!blocks.Next(&x, &y)) {
    s.out = nullptr;
    s.active = 0;
    return;
  }
  s.out = a.codes + static_cast<std::size_t>(x) * a.height + y;
  const __m512 rows =
      _mm512_add_ps(_mm512_set1_ps(static_cast<float>(y)),
                    _mm512_set_ps(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0));
  s.zx = _mm512_set1_ps(a.originX + static_cast<float>(x) * a.step);
  s.zy = _mm512_add_ps(_mm512_set1_ps(a.originY), _mm512_mul_ps(rows, _mm512_set1_ps(a.step)));
  s.x2 = _mm512_mul_ps(s.zx, s.zx);
  s.y2 = _mm512_mul_ps(s.zy, s.zy);
  s.n = _mm512_setzero_si512();
  s.active = 0xFFFF;
  s.iterations = 0;
}

KORVANE_BLOCK_INLINE void Step(MaskedSlotF& s) {
  const __mmask16 a = s.active;
  const __m512 t = _mm512_add_ps(s.zx, s.zx);
  const __m512 ny = _mm512_sub_ps(_mm512_mul_ps(t, s.zy), _mm512_set1_ps(kJuliaCyMagnitude));
  const __m512 nx = _mm512_sub_ps(_mm512_sub_ps(s.x2, s.y2), _mm512_set1_ps(kJuliaCxMagnitude));
  s.x2 = _mm512_mask_mul_ps(s.x2, a, nx, nx);
  s.y2 = _mm512_mask_mul_ps(s.y2, a, ny, ny);
  s.zx = nx;
  s.zy = ny;
  const __mmask16 inside =
      _mm512_mask_cmp_ps_mask(a, _mm512_add_ps(s.x2, s.y2), _mm512_set1_ps(4.0f), _CMP_LT_OQ);
  s.n = _mm512_mask_add_epi32(s.n, inside, s.n, _mm512_set1_epi32(1));
  s.active = inside;
  ++s.iterations;
}

KORVANE_BLOCK_INLINE int Retire(MaskedSlotF& s, BlockCursor& blocks, const ImageArgs<float>& a) {
  if (!s.out || (s.active != 0 && s.iterations < kMaxIterationsPerPoint)) return 0;
  const __mmask16 escaped =
      _mm512_cmp_ps_mask(_mm512_add_ps(s.x2, s.y2), _mm512_set1_ps(4.0f), _CMP_GT_OQ);
  const __m128i codes = _mm_mask_mov_epi8(_mm_set1_epi8(static_cast<char>(kNotEscapedCode)),
                                          escaped, _mm512_cvtepi32_epi8(s.n));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(s.out), codes);
  Load(s, blocks, a);
  return s.out ? 0 : 1;
}

template <typename SlotT, typename Real, std::size_t... K>
void Blocks(const ImageArgs<Real>& a, int width, int rows, int lanes, std::index_sequence<K...>) {
  BlockCursor blocks{width, rows, lanes};
  SlotT slot[sizeof...(K)] = {};
  (Load(slot[K], blocks, a), ...);
  int live = static_cast<int>(((slot[K].out ? 1 : 0) + ...));
  while (live > 0) {
    (Step(slot[K]), ...);
    live -= (Retire(slot[K], blocks, a) + ...);
  }
}

}  // namespace

void JuliaImageAvx512(float originX, float originY, float step, int width, int height,
                      std::uint8_t* codes) {
  const ImageArgs<float> a{originX, originY, step, height, codes};
  const int rows = height - height % 16;
  Blocks<MaskedSlotF>(a, width, rows, 16, std::make_index_sequence<KORVANE_AVX512_SLOTS>{});
  if (rows < height) JuliaTail(a, width, rows);
}

void MandelImageAvx512(double originX, double originY, double step, int width, int height,
                       std::uint8_t* codes) {
  const ImageArgs<double> a{originX, originY, step, height, codes};
  const int rows = height - height % 8;
  Blocks<MaskedSlotD>(a, width, rows, 8, std::make_index_sequence<KORVANE_AVX512_SLOTS>{});
  if (rows < height) MandelTail(a, width, rows);
}

}  // namespace korvane::fractal
#endif
