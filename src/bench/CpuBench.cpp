#include "bench/CpuBench.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "bench/Elapsed.h"
#include "bench/FractalKernels.h"
#include "bench/JobReporting.h"
#include "bench/MemBench.h"
#include "bench/WorkThreadPool.h"
#include "platform/Clock.h"

namespace korvane {

// ---------------------------------------------------------------------------------------------
// Scores

namespace {
// The score formulas mix single-precision constants into double arithmetic; keep them so.
constexpr double kF001 = static_cast<double>(0.01f);
constexpr double kF37 = static_cast<double>(3.7f);
constexpr double kF36 = static_cast<double>(3.6f);
constexpr double kF01 = static_cast<double>(0.1f);

double ClampScore(double s) {
  if (s < kF001) return kF001;
  if (s > 7.0) return 7.0;
  return s;
}
}  // namespace

double CalcTestScoreWithMemory(double t, std::int32_t group, std::int32_t testId,
                               std::int64_t totalMemoryMiB) {
  double s = 0.0;
  if (group == kBenchGroupCpu) {
    if (t <= 60.0) {
      s = (700.0 - kF37 * t) * kF001;
    } else if (t <= 450.0) {
      s = (700.0 - t * (kF36 - t / 508.0) + (t - 70.0)) * kF001;
    } else {
      return 0.01;
    }
  } else if (group == kBenchGroupMemory) {
    if (testId == 11) {
      double x = t - kF01;
      if (x < 0.0) x = kF001;
      s = (700.0 - 40.0 * 3.0 * x) / 100.0;
    } else if (testId == 12) {
      s = (85.0 - t) * 3.0 / 85.0 + 4.0;
      if (s >= 0.0 && s < 4.0) {
        s = (s - 4.0) / 3.0 + 4.0;
      } else if (s < 0.0) {
        s = s / 5.0 + 2.666666666666667;
      }
    } else {
      s = 0.0;
    }
    const std::int64_t mb = totalMemoryMiB;
    if (mb <= 256) {
      s = s / 7.0;
    } else if (mb <= 512) {
      s = 2.0 * s / 7.0;
    } else if (mb <= 1024) {
      s = 3.0 * s / 7.0;
    } else if (mb <= 2048) {
      s = 5.0 * s / 7.0;
    } else if (mb <= 4096) {
      s = 6.0 * s / 7.0;
    }
  } else {
    if (t <= 70.0) {
      s = (700.0 - 3.0 * t) * kF001;
    } else if (t <= 600.0) {
      s = (700.0 - t * (3.0 - t / 600.0) + (t - 70.0)) * kF001;
    } else {
      return 0.01;
    }
  }
  return ClampScore(s);
}

double CalcTestScore(double measurement, std::int32_t group, std::int32_t testId) {
  const std::int64_t mb = group == kBenchGroupMemory ? TotalPhysMemoryMiB() : 0;
  return CalcTestScoreWithMemory(measurement, group, testId, mb);
}

double ClampTestScore(double score) { return ClampScore(score); }

// ---------------------------------------------------------------------------------------------
// Pi

namespace {

// One step of a digit group at cell i: d += cell*10000; cell = d mod (2i-1); d = d / (2i-1),
// then d *= i-1 above the last cell; two's-complement 32-bit with truncating division. The
// divisor changes with every cell, so this stays one hardware division per step: the division
// is the work the test exists to time.
template <bool kLastCellPossible>
inline void PiStep(std::int32_t& d, std::int32_t* cells, int i) {
  const std::int32_t sum =
      static_cast<std::int32_t>(static_cast<std::uint32_t>(d) + static_cast<std::uint32_t>(cells[i]) * 10000u);
  const std::int32_t divisor = 2 * i - 1;
  cells[i] = sum % divisor;
  const std::int32_t q = sum / divisor;
  if (kLastCellPossible && i == 1) {
    d = q;
  } else {
    d = static_cast<std::int32_t>(static_cast<std::uint32_t>(q) * static_cast<std::uint32_t>(i - 1));
  }
}

struct PiEmitter {
  char* text;
  std::size_t capacity;
  std::size_t length = 0;
  std::int32_t carry = 0;
  int counter = 0;
  PiGroupHook hook;
  void* context;

  bool Emit(std::int32_t d) {
    char digits[16];
    const int n = std::snprintf(digits, sizeof digits, "%04d", carry + d / 10000);
    if (n > 0 && length + static_cast<std::size_t>(n) < capacity) {
      std::memcpy(text + length, digits, static_cast<std::size_t>(n));
      length += static_cast<std::size_t>(n);
      text[length] = '\0';
    }
    carry = d % 10000;
    ++counter;
    if ((counter & 127) == 127 && hook) return hook(context, counter);
    return true;
  }
};

// K digit groups in flight on a wavefront: group j works one cell above group j-1, so the K
// division chains of a step are independent while each group still sees the cells exactly
// as the group before it left them.
template <int K>
bool PiBatch(int m, std::int32_t* cells, PiEmitter& out) {
  std::int32_t d[K] = {};
  // Group j starts at cell m - 14j; at wave position c it works on cell c + j.
  auto active = [m](int j, int cell) { return cell >= 1 && cell <= m - 14 * j; };
  auto step = [&](int j, int cell) { PiStep<true>(d[j], cells, cell); };
  const int steadyTop = m - 15 * (K - 1);
  int c = m;
  for (; c > steadyTop && c > 1 - (K - 1); --c) {
    for (int j = 0; j < K; ++j) {
      if (active(j, c + j)) step(j, c + j);
    }
  }
  for (; c >= 2; --c) {
#pragma GCC unroll 16
    for (int j = 0; j < K; ++j) PiStep<false>(d[j], cells, c + j);
  }
  for (; c >= 1 - (K - 1); --c) {
    for (int j = 0; j < K; ++j) {
      if (active(j, c + j)) step(j, c + j);
    }
  }
  for (int j = 0; j < K; ++j) {
    if (!out.Emit(d[j])) return false;
  }
  return true;
}

}  // namespace

bool PiPass(std::int32_t* cells, char* text, std::size_t textBytes, PiGroupHook hook, void* context) {
  if (!cells || !text || textBytes == 0) return false;
  text[0] = '\0';
  cells[kPiCells] = 0;
  for (int i = 0; i < kPiCells; ++i) cells[i] = 2000;
  PiEmitter out{text, textBytes, 0, 0, 0, hook, context};
  constexpr int kInFlight = 4;  // more measure no faster: the divider is then saturated
  int m = kPiCells;
  while (m > 0) {
    const int groupsLeft = (m + 13) / 14;
    if (groupsLeft >= kInFlight) {
      if (!PiBatch<kInFlight>(m, cells, out)) return false;
      m -= 14 * kInFlight;
    } else {
      if (!PiBatch<1>(m, cells, out)) return false;
      m -= 14;
    }
  }
  return true;
}

namespace {

struct PiProgress {
  JobReporter* reporter;
  int pass;
  int passes;
};

bool PiHook(void* context, int counter) {
  auto* p = static_cast<PiProgress*>(context);
  const int h = std::min(counter, kPiGroups) * 100 / kPiGroups;
  return p->reporter->Progress((h + 100 * p->pass) / p->passes);
}

int PiJob(_BENCH_JOB* job, int workerIndex, int passes) {
  if (!job) return kBenchFailed;
  JobReporter reporter(*job, workerIndex);
  reporter.Begin();
  std::unique_ptr<std::int32_t[]> cells(new (std::nothrow) std::int32_t[kPiCells + 1]);
  std::unique_ptr<char[]> text(new (std::nothrow) char[kPiTextBytes]);
  if (!cells || !text) return kBenchFailed;
  double total = 0.0;
  for (int pass = 0; pass < passes; ++pass) {
    std::memset(cells.get(), 0, sizeof(std::int32_t) * (kPiCells + 1));
    std::memset(text.get(), 0, kPiTextBytes);
    CElapsed stopwatch;
    stopwatch.Start();
    PiProgress progress{&reporter, pass, passes};
    const bool finished = PiPass(cells.get(), text.get(), kPiTextBytes, PiHook, &progress);
    total += stopwatch.GetElapsed();
    if (!finished) return kBenchCancelled;
  }
  const double score = ClampScore(CalcTestScore(total, job->group, job->testId));
  reporter.Finish(total, score, 0);
  return kBenchSuccess;
}

}  // namespace

int PiJob13(_BENCH_JOB* job, int workerIndex) { return PiJob(job, workerIndex, 13); }

int PiJob3(_BENCH_JOB* job, int workerIndex) {
  platform::SetCurrentThreadPriority(platform::ThreadPriority::Normal);
  return PiJob(job, workerIndex, 3);
}

// ---------------------------------------------------------------------------------------------
// Fractals

namespace {

SimdLevel DetectSimdLevel() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw")) {
    return SimdLevel::Avx512;
  }
  if (__builtin_cpu_supports("avx2")) return SimdLevel::Avx2;
  return SimdLevel::Sse2;
#else
  return SimdLevel::Scalar;
#endif
}

std::atomic<int>& ActiveLevel() {
  static std::atomic<int> level{static_cast<int>(SupportedSimdLevel())};
  return level;
}

struct ColourTable {
  int index[kMaxIterations + 1];
  ColourTable() {
    for (int n = 0; n <= kMaxIterations; ++n) {
      int i = static_cast<int>(static_cast<double>(100 - n) / 100.0 * 511.0);
      if (i < 0 || i > 511) i = 511;
      index[n] = i;
    }
  }
};

const ColourTable& Colours() {
  static const ColourTable table;
  return table;
}

}  // namespace

std::optional<SimdLevel> ParseSimdLevel(std::string_view name) {
  if (name == "scalar") return SimdLevel::Scalar;
  if (name == "sse2") return SimdLevel::Sse2;
  if (name == "avx2") return SimdLevel::Avx2;
  if (name == "avx512") return SimdLevel::Avx512;
  return std::nullopt;
}

SimdLevel CapSimdLevel(SimdLevel detected, const char* cap) {
  if (!cap) return detected;
  const auto level = ParseSimdLevel(cap);
  if (!level || static_cast<int>(*level) > static_cast<int>(detected)) return detected;
  return *level;
}

SimdLevel SupportedSimdLevel() {
  static const SimdLevel level = CapSimdLevel(DetectSimdLevel(), std::getenv(kSimdLevelEnv));
  return level;
}

SimdLevel SetFractalSimdLevel(SimdLevel level) {
  if (static_cast<int>(level) > static_cast<int>(SupportedSimdLevel())) level = SupportedSimdLevel();
  if (static_cast<int>(level) < 0) level = SimdLevel::Scalar;
  ActiveLevel().store(static_cast<int>(level));
  return level;
}

SimdLevel FractalSimdLevel() { return static_cast<SimdLevel>(ActiveLevel().load()); }

const char* SimdLevelName(SimdLevel level) {
  switch (level) {
    case SimdLevel::Scalar: return "scalar";
    case SimdLevel::Sse2: return "sse2";
    case SimdLevel::Avx2: return "avx2";
    case SimdLevel::Avx512: return "avx512";
  }
  return "?";
}

int FractalColourIndex(bool escaped, int iterations) {
  if (!escaped) return 0;
  if (iterations < 0 || iterations > kMaxIterations) {
    int i = static_cast<int>(static_cast<double>(100 - iterations) / 100.0 * 511.0);
    return (i < 0 || i > 511) ? 511 : i;
  }
  return Colours().index[iterations];
}

CFractal::CFractal(float originX, float originY, float extent)
    : palette_(new std::uint32_t[kPaletteSize]), originX_(originX), originY_(originY), extent_(extent) {
  for (int r = 0; r < 8; ++r) {
    for (int g = 0; g < 8; ++g) {
      for (int b = 0; b < 8; ++b) {
        palette_[64 * r + 8 * g + b] = static_cast<std::uint32_t>((255 * r / 7) + ((255 * g / 7) << 8) +
                                                                  ((255 * b / 7) << 16));
      }
    }
  }
}

CFractal::~CFractal() = default;

void CFractal::Classify(int width, int height, std::uint8_t* codes) {
  for (int x = 0; x < width; ++x) {
    for (int y = 0; y < height; ++y) {
      int n = 0;
      bool escaped;
      if (doublePrecision_) {
        const double step = static_cast<double>(extent_) / width;
        escaped = IteratePointDouble(x, y, step, originX_, originY_, &n, 4.0, kMaxIterations) > 4.0;
      } else {
        const float step = extent_ / static_cast<float>(width);
        escaped = IteratePoint(x, y, step, originX_, originY_, &n, 4.0f, kMaxIterations) > 4.0f;
      }
      codes[static_cast<std::size_t>(x) * height + y] = escaped ? static_cast<std::uint8_t>(n) : kNotEscaped;
    }
  }
}

std::int32_t CFractal::Render(int width, int height) {
  image_.reset();
  // Renders beyond 64 Ki x 64 Ki pixels are not a workload; refuse them rather than overflow.
  if (width <= 0 || height <= 0 || width > 65536 || height > 65536) return 0;
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  image_.reset(new (std::nothrow) std::uint32_t[pixels]());
  if (!image_) return 0;
  if (codesCapacity_ < pixels) {
    codes_.reset(new (std::nothrow) std::uint8_t[pixels]);
    codesCapacity_ = codes_ ? pixels : 0;
    if (!codes_) return 0;
  }
  std::uint8_t* codes = codes_.get();
  Classify(width, height, codes);
  // Every byte value has a colour, so the pass below has no branch: codes above the iteration
  // limit are the points that never escaped.
  const ColourTable& colours = Colours();
  std::uint32_t colourOf[256];
  for (int c = 0; c < 256; ++c) colourOf[c] = c <= kMaxIterations ? palette_[colours.index[c]] : palette_[0];
  std::uint32_t* image = image_.get();
  std::uint32_t x = 0;
  for (std::size_t p = 0; p < pixels; ++p) {
    const std::uint32_t colour = colourOf[codes[p]];
    image[p] = colour;
    x ^= colour;
  }
  return static_cast<std::int32_t>(x);
}

CJulia::CJulia() : CFractal(-1.5f, -1.5f, 3.0f) {}

float CJulia::IteratePoint(int x, int y, float step, float originX, float originY, int* iterations,
                           float bailout, int maxIterations) {
  return fractal::JuliaIterate(originX + static_cast<float>(x) * step, originY + static_cast<float>(y) * step,
                               iterations, bailout, maxIterations);
}

void CJulia::Classify(int width, int height, std::uint8_t* codes) {
  const fractal::JuliaImageFn render = fractal::kJuliaImage[static_cast<int>(FractalSimdLevel())];
  render(OriginX(), OriginY(), Extent() / static_cast<float>(width), width, height, codes);
}

CMandelbrot::CMandelbrot() : CFractal(-2.0f, -1.25f, 2.5f) { doublePrecision_ = true; }

double CMandelbrot::IteratePointDouble(int x, int y, double step, double originX, double originY,
                                       int* iterations, double bailout, int maxIterations) {
  return fractal::MandelIterate(originX + static_cast<double>(x) * step, originY + static_cast<double>(y) * step,
                                iterations, bailout, maxIterations);
}

void CMandelbrot::Classify(int width, int height, std::uint8_t* codes) {
  const fractal::MandelImageFn render = fractal::kMandelImage[static_cast<int>(FractalSimdLevel())];
  render(OriginX(), OriginY(), static_cast<double>(Extent()) / width, width, height, codes);
}

namespace {

template <typename Fractal>
int FractalJob(_BENCH_JOB* job, int workerIndex) {
  if (!job) return kBenchFailed;
  JobReporter reporter(*job, workerIndex);
  reporter.Begin();
  try {
    Fractal fractal;
    CElapsed stopwatch;
    stopwatch.Start();
    std::uint32_t total = 0;
    for (int k = 0; k < 5; ++k) {
      const FractalWorkloadRow& row = kFractalWorkload[k];
      const int n = 4 * row.baseCount;
      const int interval = n / 3 > 0 ? n / 3 : 1;
      for (int i = 0; i < n; ++i) {
        total += static_cast<std::uint32_t>(fractal.Render(row.width, row.height));
        if (i % interval == interval - 1 || i == n - 1) {
          const int progress = std::min(100, (100 * i) / (5 * n) + (100 * k) / 5);
          if (!reporter.Progress(progress)) return kBenchCancelled;
        }
      }
    }
    const double elapsed = stopwatch.GetElapsed();
    const double score = ClampScore(CalcTestScore(elapsed, job->group, job->testId));
    reporter.Finish(elapsed, score, static_cast<std::int32_t>(total));
    return kBenchSuccess;
  } catch (const std::bad_alloc&) {
    return kBenchFailed;
  }
}

}  // namespace

int JuliaJob(_BENCH_JOB* job, int workerIndex) { return FractalJob<CJulia>(job, workerIndex); }
int MandelbrotJob(_BENCH_JOB* job, int workerIndex) { return FractalJob<CMandelbrot>(job, workerIndex); }

int RunCpuTest(_BENCH_JOB& job) {
  switch (job.testId) {
    case 0: return PiJob13(&job, -1);
    case 1: return JuliaJob(&job, -1);
    case 2: return MandelbrotJob(&job, -1);
    case 3:
    case 6: return RunOnPool(job, PiJob13, 200);
    case 4:
    case 7: return RunOnPool(job, JuliaJob, 100);
    case 5:
    case 8: return RunOnPool(job, MandelbrotJob, 100);
    case 199:
      if (platform::ProcessorCount() > 1) return RunOnPool(job, PiJob3, 200);
      return PiJob3(&job, -1);
    default: return kBenchNotRun;
  }
}

}  // namespace korvane
