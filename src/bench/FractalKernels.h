#pragma once
// Column kernels of the two renderers. Every kernel performs the same IEEE operations in the
// same order as the scalar iteration, lane by lane, so all of them give identical images.
#include <cstdint>

namespace korvane::fractal {

inline constexpr float kJuliaCx = -0.629578f;
inline constexpr float kJuliaCy = -0.41524f;
// The constant as the iteration subtracts it.
inline constexpr float kJuliaCxMagnitude = 0.629578f;
inline constexpr float kJuliaCyMagnitude = 0.41524f;
inline constexpr int kMaxIterationsPerPoint = 100;
inline constexpr std::uint8_t kNotEscapedCode = 0xFF;

// Whole images: codes[x * height + y] = iteration count when the point (origin + (x, y) * step)
// escaped (|z|^2 > 4), else kNotEscapedCode.
using JuliaImageFn = void (*)(float originX, float originY, float step, int width, int height,
                              std::uint8_t* codes);
using MandelImageFn = void (*)(double originX, double originY, double step, int width, int height,
                               std::uint8_t* codes);

// Index by SimdLevel; nullptr where the build has no such kernel.
extern const JuliaImageFn kJuliaImage[4];
extern const MandelImageFn kMandelImage[4];

// The vector renders, each in a file built for its instruction set (x86-64 only).
void JuliaImageSse2(float originX, float originY, float step, int width, int height,
                    std::uint8_t* codes);
void JuliaImageAvx2(float originX, float originY, float step, int width, int height,
                    std::uint8_t* codes);
void JuliaImageAvx512(float originX, float originY, float step, int width, int height,
                      std::uint8_t* codes);
void MandelImageSse2(double originX, double originY, double step, int width, int height,
                     std::uint8_t* codes);
void MandelImageAvx2(double originX, double originY, double step, int width, int height,
                     std::uint8_t* codes);
void MandelImageAvx512(double originX, double originY, double step, int width, int height,
                       std::uint8_t* codes);

// The plain iterations every kernel must agree with. Internal linkage: files built for wider
// instruction sets include them too, and no such copy may ever stand in for this one.
static inline float JuliaIterate(float zx, float zy, int* iterations, float bailout,
                                 int maxIterations) {
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

static inline double MandelIterate(double px, double py, int* iterations, double bailout,
                                   int maxIterations) {
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
