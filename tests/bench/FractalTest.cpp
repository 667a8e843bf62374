#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "bench/CpuBench.h"

namespace korvane {
namespace {

// Deliberately plain renders: one point at a time, straight from the definition.
std::uint32_t Colour(int index) {
  const int r = index / 64, g = index / 8 % 8, b = index % 8;
  return static_cast<std::uint32_t>(255 * r / 7) | static_cast<std::uint32_t>(255 * g / 7) << 8 |
         static_cast<std::uint32_t>(255 * b / 7) << 16;
}

std::uint32_t PointColour(bool escaped, int n) {
  if (!escaped) return Colour(0);
  int index = static_cast<int>((100.0 - n) / 100.0 * 511.0);
  if (index < 0 || index > 511) index = 511;
  return Colour(index);
}

std::vector<std::uint32_t> PlainJulia(int w, int h) {
  std::vector<std::uint32_t> image(static_cast<std::size_t>(w) * h);
  const float step = 3.0f / static_cast<float>(w);
  for (int x = 0; x < w; ++x) {
    for (int y = 0; y < h; ++y) {
      float zx = -1.5f + static_cast<float>(x) * step, zy = -1.5f + static_cast<float>(y) * step, m = 0;
      int n = 0;
      while (true) {
        const float nx = zx * zx - zy * zy - 0.629578f;
        const float ny = 2.0f * zx * zy - 0.41524f;
        zx = nx;
        zy = ny;
        m = zx * zx + zy * zy;
        if (!(m < 4.0f) || ++n == 100) break;
      }
      image[static_cast<std::size_t>(x) * h + y] = PointColour(m > 4.0f, n);
    }
  }
  return image;
}

std::vector<std::uint32_t> PlainMandelbrot(int w, int h) {
  std::vector<std::uint32_t> image(static_cast<std::size_t>(w) * h);
  const double step = 2.5 / w;
  for (int x = 0; x < w; ++x) {
    for (int y = 0; y < h; ++y) {
      const double px = -2.0 + x * step, py = -1.25 + y * step;
      double zx = 0, zy = 0, m = 0;
      int n = 0;
      while (true) {
        const double nx = zx * zx - zy * zy + px;
        const double ny = 2.0 * zx * zy + py;
        zx = nx;
        zy = ny;
        m = zx * zx + zy * zy;
        if (!(m < 4.0) || ++n == 100) break;
      }
      image[static_cast<std::size_t>(x) * h + y] = PointColour(m > 4.0, n);
    }
  }
  return image;
}

std::int32_t Xor(const std::vector<std::uint32_t>& image) {
  std::uint32_t x = 0;
  for (std::uint32_t p : image) x ^= p;
  return static_cast<std::int32_t>(x);
}

class FractalLevels : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (GetParam() > static_cast<int>(SupportedSimdLevel())) GTEST_SKIP() << "processor lacks this level";
    SetFractalSimdLevel(static_cast<SimdLevel>(GetParam()));
  }
  void TearDown() override { SetFractalSimdLevel(SupportedSimdLevel()); }
};

// Every image size of the workload plus sizes that leave partial vectors, pixel for pixel.
TEST_P(FractalLevels, ImagesMatchThePlainIteration) {
  // Images with fewer whole blocks than vectors in flight leave some vectors without work.
  const int sizes[][2] = {{64, 64}, {128, 64}, {128, 128}, {256, 128}, {256, 256}, {37, 19}, {5, 3}, {1, 1},
                          {1, 16}, {2, 8}, {3, 32}, {1, 40}};
  CJulia julia;
  CMandelbrot mandelbrot;
  for (const auto& s : sizes) {
    const int w = s[0], h = s[1];
    const auto expectJ = PlainJulia(w, h);
    EXPECT_EQ(julia.Render(w, h), Xor(expectJ)) << w << "x" << h;
    EXPECT_TRUE(std::equal(expectJ.begin(), expectJ.end(), julia.Image())) << "julia " << w << "x" << h;
    const auto expectM = PlainMandelbrot(w, h);
    EXPECT_EQ(mandelbrot.Render(w, h), Xor(expectM)) << w << "x" << h;
    EXPECT_TRUE(std::equal(expectM.begin(), expectM.end(), mandelbrot.Image())) << "mandelbrot " << w << "x" << h;
  }
}

// Repeated renders of one size give one checksum; the image is rebuilt each time.
TEST_P(FractalLevels, RendersAreRepeatable) {
  CJulia julia;
  const std::int32_t first = julia.Render(64, 64);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(julia.Render(64, 64), first);
  EXPECT_NE(julia.Render(128, 64), first);
}

INSTANTIATE_TEST_SUITE_P(Simd, FractalLevels, ::testing::Values(0, 1, 2, 3), [](const auto& info) {
  return std::string(SimdLevelName(static_cast<SimdLevel>(info.param)));
});

TEST(SimdLevelCap, LowersButNeverRaises) {
  EXPECT_EQ(CapSimdLevel(SimdLevel::Avx512, "sse2"), SimdLevel::Sse2);
  EXPECT_EQ(CapSimdLevel(SimdLevel::Avx2, "scalar"), SimdLevel::Scalar);
  EXPECT_EQ(CapSimdLevel(SimdLevel::Sse2, "avx512"), SimdLevel::Sse2);
  EXPECT_EQ(CapSimdLevel(SimdLevel::Avx2, "AVX2x"), SimdLevel::Avx2);
  EXPECT_EQ(CapSimdLevel(SimdLevel::Avx2, ""), SimdLevel::Avx2);
  EXPECT_EQ(CapSimdLevel(SimdLevel::Avx2, nullptr), SimdLevel::Avx2);
  for (int level = 0; level <= 3; ++level) {
    EXPECT_EQ(ParseSimdLevel(SimdLevelName(static_cast<SimdLevel>(level))), static_cast<SimdLevel>(level));
  }
  // Whatever the environment says, the render level never exceeds the supported one.
  EXPECT_EQ(SetFractalSimdLevel(SimdLevel::Avx512), SupportedSimdLevel());
  if (const char* cap = std::getenv(kSimdLevelEnv); cap && ParseSimdLevel(cap)) {
    EXPECT_LE(static_cast<int>(SupportedSimdLevel()), static_cast<int>(*ParseSimdLevel(cap)));
  }
}

TEST(FractalPalette, ColourCubeWithRedInTheLowByte) {
  CJulia j;
  const std::uint32_t* p = j.Palette();
  EXPECT_EQ(p[0], 0u);
  EXPECT_EQ(p[511], 0xFFFFFFu);
  EXPECT_EQ(p[64], 36u);                   // r = 1
  EXPECT_EQ(p[8], 36u << 8);               // g = 1
  EXPECT_EQ(p[1], 36u << 16);              // b = 1
  EXPECT_EQ(p[64 * 3 + 8 * 5 + 6], 109u | 182u << 8 | 218u << 16);
}

TEST(FractalColourIndex, EscapeEdges) {
  EXPECT_EQ(FractalColourIndex(false, 100), 0);
  EXPECT_EQ(FractalColourIndex(false, 0), 0);
  EXPECT_EQ(FractalColourIndex(true, 0), 511);
  EXPECT_EQ(FractalColourIndex(true, 1), 505);
  EXPECT_EQ(FractalColourIndex(true, 99), 5);
  EXPECT_EQ(FractalColourIndex(true, 100), 0);
  EXPECT_EQ(FractalColourIndex(true, 150), 511);  // negative index
}

TEST(FractalIteration, BailoutIsStrict) {
  CMandelbrot m;
  int n = -1;
  // Pixel (0, w/2) of a w-wide image is the point (-2, 0): |z|^2 is exactly 4 after one step,
  // which is not an escape.
  const double step = 2.5 / 64;
  EXPECT_EQ(m.IteratePointDouble(0, 32, step, -2.0, -1.25, &n, 4.0, 100), 4.0);
  EXPECT_EQ(n, 0);
  m.Render(64, 64);
  EXPECT_EQ(m.Image()[0 * 64 + 32], m.Palette()[0]);
  // A point inside the set runs all 100 iterations.
  EXPECT_LT(m.IteratePointDouble(0, 0, 0.0, 0.0, 0.0, &n, 4.0, 100), 4.0);
  EXPECT_EQ(n, 100);
  // The wrong-precision slot of each fractal does nothing.
  EXPECT_EQ(m.IteratePoint(1, 1, 0.1f, 0, 0, &n, 4.0f, 100), 0.0f);

  CJulia j;
  // The corner (-1.5, -1.5) escapes on the first step: iteration count 0, palette index 511.
  EXPECT_GT(j.IteratePoint(0, 0, 3.0f / 64, -1.5f, -1.5f, &n, 4.0f, 100), 4.0f);
  EXPECT_EQ(n, 0);
  j.Render(64, 64);
  EXPECT_EQ(j.Image()[0], j.Palette()[511]);
  // The same point with a huge bailout never escapes within the limit given.
  EXPECT_LT(j.IteratePoint(0, 0, 3.0f / 64, -1.5f, -1.5f, &n, 1e30f, 3), 1e30f);
  EXPECT_EQ(n, 3);
}

TEST(FractalRender, RefusesImpossibleSizes) {
  CJulia j;
  EXPECT_EQ(j.Render(0, 64), 0);
  EXPECT_EQ(j.Render(64, -1), 0);
  EXPECT_EQ(j.Image(), nullptr);
}

}  // namespace
}  // namespace korvane
