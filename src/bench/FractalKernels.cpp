#include "bench/FractalKernels.h"

namespace korvane::fractal {
namespace {

// The plain renders: point by point, column by column.
void JuliaImageScalar(float originX, float originY, float step, int width, int height,
                      std::uint8_t* codes) {
  for (int x = 0; x < width; ++x) {
    const float zx = originX + static_cast<float>(x) * step;
    for (int y = 0; y < height; ++y) {
      int n = 0;
      const float m = JuliaIterate(zx, originY + static_cast<float>(y) * step, &n, 4.0f,
                                   kMaxIterationsPerPoint);
      codes[static_cast<std::size_t>(x) * height + y] =
          m > 4.0f ? static_cast<std::uint8_t>(n) : kNotEscapedCode;
    }
  }
}

void MandelImageScalar(double originX, double originY, double step, int width, int height,
                       std::uint8_t* codes) {
  for (int x = 0; x < width; ++x) {
    const double px = originX + static_cast<double>(x) * step;
    for (int y = 0; y < height; ++y) {
      int n = 0;
      const double m = MandelIterate(px, originY + static_cast<double>(y) * step, &n, 4.0,
                                     kMaxIterationsPerPoint);
      codes[static_cast<std::size_t>(x) * height + y] =
          m > 4.0 ? static_cast<std::uint8_t>(n) : kNotEscapedCode;
    }
  }
}

}  // namespace

#if defined(__x86_64__)
const JuliaImageFn kJuliaImage[4] = {JuliaImageScalar, JuliaImageSse2, JuliaImageAvx2,
                                     JuliaImageAvx512};
const MandelImageFn kMandelImage[4] = {MandelImageScalar, MandelImageSse2, MandelImageAvx2,
                                       MandelImageAvx512};
#else
const JuliaImageFn kJuliaImage[4] = {JuliaImageScalar, nullptr, nullptr, nullptr};
const MandelImageFn kMandelImage[4] = {MandelImageScalar, nullptr, nullptr, nullptr};
#endif

}  // namespace korvane::fractal
