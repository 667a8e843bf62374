#pragma once
// The vector fractal renders, shared by the per-instruction-set files (each built for its own
// instruction set, so everything here has internal linkage: no copy built for a wider set can
// stand in for another).
//
// A vector takes one block of W consecutive pixels of a column (pixel x*h + y) and keeps
// iterating until every lane is done; lanes that stopped are held by a mask. K such vectors are
// in flight at once, each taking the next block of the image as soon as its own is finished:
// one point's iteration is a chain of dependent operations, so a single vector leaves most of
// the processor idle, while K independent chains fill it. Nothing is gathered: a finished
// vector is refilled whole.
//
// The arithmetic is the scalar iteration's, operation for operation and in the same order (the
// library is built without fused multiply-add). x*x and y*y of the squared magnitude are the
// squares the next step needs, so they are kept rather than computed twice; zx + zx is 2 * zx
// exactly.
#include <cstddef>
#include <cstdint>
#include <utility>

#include "bench/FractalKernels.h"

namespace korvane::fractal {
namespace {

#define KORVANE_BLOCK_INLINE __attribute__((always_inline)) inline

// Hands out the image's whole blocks in memory order; rows below `rows` of every column.
struct BlockCursor {
  int width;
  int rows;
  int lanes;
  int x = 0;
  int y = 0;
  KORVANE_BLOCK_INLINE bool Next(int* bx, int* by) {
    if (x >= width || rows <= 0) return false;
    *bx = x;
    *by = y;
    y += lanes;
    if (y >= rows) {
      y = 0;
      ++x;
    }
    return true;
  }
};

template <typename F, typename I>
struct Slot {
  F zx, zy, x2, y2, px, py;
  I n, active;
  int iterations;
  std::uint8_t* out;  // null once the image has no more blocks
};

template <typename V, typename T>
KORVANE_BLOCK_INLINE V Broadcast(T value) {
  return V{} + value;
}

// Lane-wise choice by an all-ones/all-zeros mask, in plain bit operations: every instruction set
// has them for every lane width (SSE2 has no 64-bit integer compare for a ternary to use).
template <typename F, typename I>
KORVANE_BLOCK_INLINE F Select(I mask, F a, F b) {
  return reinterpret_cast<F>((reinterpret_cast<I>(a) & mask) | (reinterpret_cast<I>(b) & ~mask));
}

template <typename F, typename I, int W, typename Real>
KORVANE_BLOCK_INLINE F LaneRows(int y) {
  F v{};
  for (int k = 0; k < W; ++k) v[k] = static_cast<Real>(y + k);
  return v;
}

template <typename Real>
struct ImageArgs {
  Real originX, originY, step;
  int height;
  std::uint8_t* codes;
};

// Mandelbrot: z starts at 0, p is the point.
template <typename F, typename I, int W>
KORVANE_BLOCK_INLINE void MandelLoad(Slot<F, I>& s, BlockCursor& blocks,
                                     const ImageArgs<double>& a) {
  int x, y;
  if (!blocks.Next(&x, &y)) {
    s.out = nullptr;
    s.active = I{};
    return;
  }
  s.out = a.codes + static_cast<std::size_t>(x) * a.height + y;
  s.px = Broadcast<F>(a.originX + static_cast<double>(x) * a.step);
  s.py = a.originY + LaneRows<F, I, W, double>(y) * a.step;
  s.zx = s.zy = s.x2 = s.y2 = F{};
  s.n = I{};
  s.active = I{} - 1;
  s.iterations = 0;
}

template <typename F, typename I>
KORVANE_BLOCK_INLINE void MandelStep(Slot<F, I>& s) {
  const F t = s.zx + s.zx;
  const F ny = t * s.zy + s.py;
  const F nx = (s.x2 - s.y2) + s.px;
  const F nx2 = nx * nx;
  const F ny2 = ny * ny;
  s.x2 = Select(s.active, nx2, s.x2);
  s.y2 = Select(s.active, ny2, s.y2);
  s.zx = nx;
  s.zy = ny;
  const I inside = s.active & (s.x2 + s.y2 < 4.0);
  s.n -= inside;
  s.active = inside;
  ++s.iterations;
}

// Julia: z starts at the point, the constant is fixed.
template <typename F, typename I, int W>
KORVANE_BLOCK_INLINE void JuliaLoad(Slot<F, I>& s, BlockCursor& blocks, const ImageArgs<float>& a) {
  int x, y;
  if (!blocks.Next(&x, &y)) {
    s.out = nullptr;
    s.active = I{};
    return;
  }
  s.out = a.codes + static_cast<std::size_t>(x) * a.height + y;
  s.zx = Broadcast<F>(a.originX + static_cast<float>(x) * a.step);
  s.zy = a.originY + LaneRows<F, I, W, float>(y) * a.step;
  s.x2 = s.zx * s.zx;
  s.y2 = s.zy * s.zy;
  s.n = I{};
  s.active = I{} - 1;
  s.iterations = 0;
}

template <typename F, typename I>
KORVANE_BLOCK_INLINE void JuliaStep(Slot<F, I>& s) {
  const F t = s.zx + s.zx;
  const F ny = t * s.zy - kJuliaCyMagnitude;
  const F nx = (s.x2 - s.y2) - kJuliaCxMagnitude;
  const F nx2 = nx * nx;
  const F ny2 = ny * ny;
  s.x2 = Select(s.active, nx2, s.x2);
  s.y2 = Select(s.active, ny2, s.y2);
  s.zx = nx;
  s.zy = ny;
  const I inside = s.active & (s.x2 + s.y2 < 4.0f);
  s.n -= inside;
  s.active = inside;
  ++s.iterations;
}

// Writes a finished block's codes and loads the next block; 1 when the slot has run dry.
template <typename Traits, typename Load, typename Args>
KORVANE_BLOCK_INLINE int Retire(Slot<typename Traits::F, typename Traits::I>& s,
                                BlockCursor& blocks, const Args& a, Load load) {
  if (!s.out || (Traits::Any(s.active) && s.iterations < kMaxIterationsPerPoint)) return 0;
  const auto m = s.x2 + s.y2;
  for (int k = 0; k < Traits::W; ++k) {
    s.out[k] = m[k] > 4 ? static_cast<std::uint8_t>(s.n[k]) : kNotEscapedCode;
  }
  load(s, blocks, a);
  return s.out ? 0 : 1;
}

template <typename Traits, std::size_t... K>
KORVANE_BLOCK_INLINE void MandelBlocks(const ImageArgs<double>& a, int width, int rows,
                                       std::index_sequence<K...>) {
  using F = typename Traits::F;
  using I = typename Traits::I;
  constexpr int W = Traits::W;
  BlockCursor blocks{width, rows, W};
  Slot<F, I> slot[sizeof...(K)] = {};
  (MandelLoad<F, I, W>(slot[K], blocks, a), ...);
  int live = static_cast<int>(((slot[K].out ? 1 : 0) + ...));
  while (live > 0) {
    (MandelStep(slot[K]), ...);
    live -= (Retire<Traits>(slot[K], blocks, a, MandelLoad<F, I, W>) + ...);
  }
}

template <typename Traits, std::size_t... K>
KORVANE_BLOCK_INLINE void JuliaBlocks(const ImageArgs<float>& a, int width, int rows,
                                      std::index_sequence<K...>) {
  using F = typename Traits::F;
  using I = typename Traits::I;
  constexpr int W = Traits::W;
  BlockCursor blocks{width, rows, W};
  Slot<F, I> slot[sizeof...(K)] = {};
  (JuliaLoad<F, I, W>(slot[K], blocks, a), ...);
  int live = static_cast<int>(((slot[K].out ? 1 : 0) + ...));
  while (live > 0) {
    (JuliaStep(slot[K]), ...);
    live -= (Retire<Traits>(slot[K], blocks, a, JuliaLoad<F, I, W>) + ...);
  }
}

// The rows below a whole number of blocks go point by point, through the same iteration.
inline void MandelTail(const ImageArgs<double>& a, int width, int from) {
  for (int x = 0; x < width; ++x) {
    const double px = a.originX + static_cast<double>(x) * a.step;
    for (int y = from; y < a.height; ++y) {
      int n = 0;
      const double m = MandelIterate(px, a.originY + static_cast<double>(y) * a.step, &n, 4.0,
                                     kMaxIterationsPerPoint);
      a.codes[static_cast<std::size_t>(x) * a.height + y] =
          m > 4.0 ? static_cast<std::uint8_t>(n) : kNotEscapedCode;
    }
  }
}

inline void JuliaTail(const ImageArgs<float>& a, int width, int from) {
  for (int x = 0; x < width; ++x) {
    const float zx = a.originX + static_cast<float>(x) * a.step;
    for (int y = from; y < a.height; ++y) {
      int n = 0;
      const float m = JuliaIterate(zx, a.originY + static_cast<float>(y) * a.step, &n, 4.0f,
                                   kMaxIterationsPerPoint);
      a.codes[static_cast<std::size_t>(x) * a.height + y] =
          m > 4.0f ? static_cast<std::uint8_t>(n) : kNotEscapedCode;
    }
  }
}

template <typename Traits, int K>
KORVANE_BLOCK_INLINE void MandelImageWith(double originX, double originY, double step, int width,
                                          int height, std::uint8_t* codes) {
  const ImageArgs<double> a{originX, originY, step, height, codes};
  const int rows = height - height % Traits::W;
  MandelBlocks<Traits>(a, width, rows, std::make_index_sequence<K>{});
  if (rows < height) MandelTail(a, width, rows);
}

template <typename Traits, int K>
KORVANE_BLOCK_INLINE void JuliaImageWith(float originX, float originY, float step, int width,
                                         int height, std::uint8_t* codes) {
  const ImageArgs<float> a{originX, originY, step, height, codes};
  const int rows = height - height % Traits::W;
  JuliaBlocks<Traits>(a, width, rows, std::make_index_sequence<K>{});
  if (rows < height) JuliaTail(a, width, rows);
}

}  // namespace
}  // namespace korvane::fractal
