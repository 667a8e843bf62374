#pragma once
// Column kernels of the two renderers. Every kernel performs the same IEEE operations in the
// same order as the scalar iteration, lane by lane, so all of them give identical images.
#include <cstdint>

namespace korvane::fractal {

inline constexpr float kJuliaCx = -0.629578f;
inline constexpr float kJuliaCy = -0.41524f;

// codes[y] = iteration count when the point escaped (|z|^2 > 4), else 0xFF.
using JuliaColumnFn = void (*)(float zx, float originY, float step, int height, std::uint8_t* codes);
using MandelColumnFn = void (*)(double px, double originY, double step, int height, std::uint8_t* codes);

// Index by SimdLevel; nullptr where the build has no such kernel.
extern const JuliaColumnFn kJuliaColumn[4];
extern const MandelColumnFn kMandelColumn[4];

// The plain iterations every kernel must agree with.
inline float JuliaIterate(float zx, float zy, int* iterations, float bailout, int maxIterations) {
  int n = 0;
  float m;
  for (;;) {
    const float nx = (zx * zx - zy * zy) - 0.629578f;
    const float ny = (2.0f * zx) * zy - 0.41524f;
    zx = nx;
    zy = ny;
    m = zx * zx + zy * zy;
    if (m < bailout) {
      ++n;
      if (n < maxIterations) continue;
    }
    break;
  }
  *iterations = n;
  return m;
}

inline double MandelIterate(double px, double py, int* iterations, double bailout, int maxIterations) {
  int n = 0;
  double zx = 0.0, zy = 0.0, m;
  for (;;) {
    const double nx = (zx * zx - zy * zy) + px;
    const double ny = (2.0 * zx) * zy + py;
    zx = nx;
    zy = ny;
    m = zx * zx + zy * zy;
    if (m < bailout) {
      ++n;
      if (n < maxIterations) continue;
    }
    break;
  }
  *iterations = n;
  return m;
}

}  // namespace korvane::fractal
