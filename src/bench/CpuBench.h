#pragma once
// The CPU workloads (pi spigot, single-precision Julia, double-precision Mandelbrot), their
// jobs and the test score function.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "bench/BenchJob.h"

namespace korvane {

// Test time (or memory measurement) to a score; callers clamp the result to 0.01..7 again.
double CalcTestScore(double measurement, std::int32_t group, std::int32_t testId);
// The same with the installed memory in MiB given instead of read from the machine.
double CalcTestScoreWithMemory(double measurement, std::int32_t group, std::int32_t testId,
                               std::int64_t totalMemoryMiB);

// ---- pi ----
inline constexpr int kPiCells = 56000;
inline constexpr int kPiGroups = 4000;
inline constexpr std::size_t kPiTextBytes = 16512;

// Called after each group of four digits; false stops the pass (cancellation).
using PiGroupHook = bool (*)(void* context, int groupCounter);

// One pass of the spigot over cells[0..kPiCells] (cleared and refilled here), appending the
// four-digit groups to text (NUL-terminated, never more than textBytes). Returns false when
// the hook asked to stop.
bool PiPass(std::int32_t* cells, char* text, std::size_t textBytes, PiGroupHook hook, void* context);

int PiJob13(_BENCH_JOB* job, int workerIndex);
int PiJob3(_BENCH_JOB* job, int workerIndex);

// ---- fractals ----
enum class SimdLevel { Scalar = 0, Sse2 = 1, Avx2 = 2, Avx512 = 3 };
// The widest level this processor and system can run, lowered to the level named by
// KORVANE_SIMD_LEVEL ("scalar", "sse2", "avx2", "avx512") when that is narrower: the narrower
// renders can then be tested and measured on a wide machine. Read once per process.
inline constexpr const char* kSimdLevelEnv = "KORVANE_SIMD_LEVEL";
SimdLevel SupportedSimdLevel();
std::optional<SimdLevel> ParseSimdLevel(std::string_view name);
// `detected` lowered to the level `cap` names; unknown names and wider levels change nothing.
SimdLevel CapSimdLevel(SimdLevel detected, const char* cap);
// The level the renders use; requests above the supported level are lowered. Returns the
// level in effect.
SimdLevel SetFractalSimdLevel(SimdLevel level);
SimdLevel FractalSimdLevel();
const char* SimdLevelName(SimdLevel level);

inline constexpr int kPaletteSize = 512;
inline constexpr int kMaxIterations = 100;

// Palette index of a point from its final squared magnitude and iteration count.
int FractalColourIndex(bool escaped, int iterations);

class CFractal {
 public:
  CFractal(float originX, float originY, float extent);
  virtual ~CFractal();
  CFractal(const CFractal&) = delete;
  CFractal& operator=(const CFractal&) = delete;

  virtual float IteratePoint(int x, int y, float step, float originX, float originY, int* iterations,
                             float bailout, int maxIterations) = 0;
  virtual double IteratePointDouble(int x, int y, double step, double originX, double originY,
                                    int* iterations, double bailout, int maxIterations) = 0;

  // Renders a w x h image (pixel [x*h + y]) and returns the XOR of its pixels; 0 when the image
  // cannot be allocated.
  std::int32_t Render(int width, int height);

  const std::uint32_t* Palette() const { return palette_.get(); }
  const std::uint32_t* Image() const { return image_.get(); }
  float OriginX() const { return originX_; }
  float OriginY() const { return originY_; }
  float Extent() const { return extent_; }

 protected:
  // Iteration results of every pixel: the iteration count when the point escaped, else
  // kNotEscaped. The default goes point by point through the virtual iteration.
  static constexpr std::uint8_t kNotEscaped = 0xFF;
  virtual void Classify(int width, int height, std::uint8_t* codes);
  bool doublePrecision_ = false;

 private:
  std::int32_t paletteSize_ = kPaletteSize;
  std::unique_ptr<std::uint32_t[]> palette_;
  std::int32_t paletteSide_ = 8;
  float originX_;
  float originY_;
  float extent_;
  std::unique_ptr<std::uint32_t[]> image_;
  std::unique_ptr<std::uint8_t[]> codes_;
  std::size_t codesCapacity_ = 0;
};

class CJulia final : public CFractal {
 public:
  CJulia();
  float IteratePoint(int x, int y, float step, float originX, float originY, int* iterations,
                     float bailout, int maxIterations) override;
  double IteratePointDouble(int, int, double, double, double, int*, double, int) override { return 0; }

 protected:
  void Classify(int width, int height, std::uint8_t* codes) override;
};

class CMandelbrot final : public CFractal {
 public:
  CMandelbrot();
  float IteratePoint(int, int, float, float, float, int*, float, int) override { return 0; }
  double IteratePointDouble(int x, int y, double step, double originX, double originY,
                            int* iterations, double bailout, int maxIterations) override;

 protected:
  void Classify(int width, int height, std::uint8_t* codes) override;
};

struct FractalWorkloadRow {
  int width;
  int height;
  int baseCount;
};
inline constexpr FractalWorkloadRow kFractalWorkload[5] = {
    {64, 64, 1024}, {128, 64, 512}, {128, 128, 256}, {256, 128, 256}, {256, 256, 128}};

int JuliaJob(_BENCH_JOB* job, int workerIndex);
int MandelbrotJob(_BENCH_JOB* job, int workerIndex);

// Runs CPU test 0..8 or 199 on the job (thread count, target, group already set).
// Returns the result code; 0 for an id that is not a CPU test.
int RunCpuTest(_BENCH_JOB& job);

}  // namespace korvane
