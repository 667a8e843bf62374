// Plain reference implementations of the benchmark workloads, and timings of the library's
// versions against them.
//
//   korvane-benchref fractal        full Julia and Mandelbrot jobs: plain scalar code vs the
//                                   library at every SIMD level (checksums must match)
//   korvane-benchref pi             one spigot pass: plain int32 division vs the library
//   korvane-benchref copy           best copy bandwidth of plain copies over 16 MiB x 256
//   korvane-benchref chase [MiB]    random pointer chase latency (default 32 MiB)
//   a trailing --wall times by the wall clock instead of the thread's processor time
#include <immintrin.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "best_fractal.h"
#include "bench/CpuBench.h"
#include "bench/MemCopy.h"

namespace {

// Processor time of this thread: the comparisons stay meaningful on a machine that other work
// keeps busy.
bool gWallClock = false;  // --wall: wall-clock time instead

double Now() {
  timespec ts{};
  clock_gettime(gWallClock ? CLOCK_MONOTONIC : CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// ---- fractals, written out plainly ----
std::uint32_t PaletteColour(int index) {
  const int r = index / 64, g = (index / 8) % 8, b = index % 8;
  return static_cast<std::uint32_t>(255 * r / 7 + ((255 * g / 7) << 8) + ((255 * b / 7) << 16));
}

std::uint32_t ColourFor(double m, int n) {
  if (!(m > 4.0)) return PaletteColour(0);
  int index = static_cast<int>((100.0 - n) / 100.0 * 511.0);
  if (index < 0 || index > 511) index = 511;
  return PaletteColour(index);
}

std::int32_t PlainJuliaRender(int w, int h, std::vector<std::uint32_t>& image) {
  image.assign(static_cast<std::size_t>(w) * h, 0);
  const float step = 3.0f / static_cast<float>(w);
  std::uint32_t x = 0;
  for (int i = 0; i < w; ++i) {
    for (int j = 0; j < h; ++j) {
      float zx = -1.5f + static_cast<float>(i) * step;
      float zy = -1.5f + static_cast<float>(j) * step;
      int n = 0;
      float m = 0;
      while (true) {
        const float tx = zx * zx - zy * zy - 0.629578f;
        const float ty = 2.0f * zx * zy - 0.41524f;
        zx = tx;
        zy = ty;
        m = zx * zx + zy * zy;
        if (!(m < 4.0f)) break;
        if (++n >= 100) break;
      }
      const std::uint32_t c = ColourFor(m, n);
      image[static_cast<std::size_t>(i) * h + j] = c;
      x ^= c;
    }
  }
  return static_cast<std::int32_t>(x);
}

std::int32_t PlainMandelRender(int w, int h, std::vector<std::uint32_t>& image) {
  image.assign(static_cast<std::size_t>(w) * h, 0);
  const double step = 2.5 / w;
  std::uint32_t x = 0;
  for (int i = 0; i < w; ++i) {
    for (int j = 0; j < h; ++j) {
      const double px = -2.0 + i * step, py = -1.25 + j * step;
      double zx = 0, zy = 0, m = 0;
      int n = 0;
      while (true) {
        const double tx = zx * zx - zy * zy + px;
        const double ty = 2.0 * zx * zy + py;
        zx = tx;
        zy = ty;
        m = zx * zx + zy * zy;
        if (!(m < 4.0)) break;
        if (++n >= 100) break;
      }
      const std::uint32_t c = ColourFor(m, n);
      image[static_cast<std::size_t>(i) * h + j] = c;
      x ^= c;
    }
  }
  return static_cast<std::int32_t>(x);
}

template <typename F>
std::int32_t FullJob(F render) {
  static const int rows[5][3] = {{64, 64, 1024}, {128, 64, 512}, {128, 128, 256}, {256, 128, 256}, {256, 256, 128}};
  std::uint32_t total = 0;
  for (const auto& r : rows) {
    for (int i = 0; i < 4 * r[2]; ++i) total += static_cast<std::uint32_t>(render(r[0], r[1]));
  }
  return static_cast<std::int32_t>(total);
}

// Renders through the best variant: codes to colours exactly as the library does.
template <typename Kernel>
std::int32_t BestRender(int w, int h, std::vector<std::uint8_t>& codes, std::vector<std::uint32_t>& image,
                        Kernel kernel) {
  codes.resize(static_cast<std::size_t>(w) * h);
  image.assign(static_cast<std::size_t>(w) * h, 0);
  kernel(w, h, codes.data());
  std::uint32_t colourOf[256];
  for (int c = 0; c < 256; ++c) colourOf[c] = c <= 100 ? ColourFor(5.0, c) : ColourFor(0.0, 0);
  std::uint32_t x = 0;
  for (std::size_t p = 0; p < image.size(); ++p) {
    image[p] = colourOf[codes[p]];
    x ^= image[p];
  }
  return static_cast<std::int32_t>(x);
}

int Fractal(bool skipPlain) {
  std::vector<std::uint32_t> image;
  std::vector<std::uint8_t> codes;
  std::int32_t julia = -1673970176, mandel = 448890880;  // the plain renders' checksums
  double juliaPlain = 0, mandelPlain = 0;
  double t0;
  if (!skipPlain) {
    t0 = Now();
    julia = FullJob([&](int w, int h) { return PlainJuliaRender(w, h, image); });
    juliaPlain = Now() - t0;
    t0 = Now();
    mandel = FullJob([&](int w, int h) { return PlainMandelRender(w, h, image); });
    mandelPlain = Now() - t0;
    std::printf("plain      julia checksum=%d time=%.3f s   mandelbrot checksum=%d time=%.3f s\n", julia, juliaPlain,
                mandel, mandelPlain);
  }
  int failures = 0;
  double bestJulia = 1e9, bestMandel = 1e9, libJulia = 0, libMandel = 0;
  if (bestref::Available()) {
    for (int k = 1; k <= 5; ++k) {
      t0 = Now();
      const std::int32_t cj = FullJob([&](int w, int h) {
        return BestRender(w, h, codes, image, [&](int ww, int hh, std::uint8_t* c) {
          bestref::Julia(k, -1.5f, -1.5f, 3.0f / static_cast<float>(ww), ww, hh, c);
        });
      });
      const double tj = Now() - t0;
      t0 = Now();
      const std::int32_t cm = FullJob([&](int w, int h) {
        return BestRender(w, h, codes, image, [&](int ww, int hh, std::uint8_t* c) {
          bestref::Mandel(k, -2.0, -1.25, 2.5 / ww, ww, hh, c);
        });
      });
      const double tm = Now() - t0;
      const bool ok = cj == julia && cm == mandel;
      failures += ok ? 0 : 1;
      if (ok) {
        bestJulia = std::min(bestJulia, tj);
        bestMandel = std::min(bestMandel, tm);
      }
      std::printf("best k=%d   julia checksum=%d time=%.3f s   mandelbrot checksum=%d time=%.3f s %s\n", k, cj, tj, cm,
                  tm, ok ? "OK" : "MISMATCH");
    }
  }
  for (int level = 0; level <= static_cast<int>(korvane::SupportedSimdLevel()); ++level) {
    const auto l = korvane::SetFractalSimdLevel(static_cast<korvane::SimdLevel>(level));
    korvane::CJulia j;
    korvane::CMandelbrot m;
    t0 = Now();
    const std::int32_t cj = FullJob([&](int w, int h) { return j.Render(w, h); });
    const double tj = Now() - t0;
    t0 = Now();
    const std::int32_t cm = FullJob([&](int w, int h) { return m.Render(w, h); });
    const double tm = Now() - t0;
    const bool ok = cj == julia && cm == mandel;
    failures += ok ? 0 : 1;
    libJulia = tj;
    libMandel = tm;
    std::printf("%-10s julia checksum=%d time=%.3f s", korvane::SimdLevelName(l), cj, tj);
    if (juliaPlain > 0) std::printf(" (%.2fx plain)", juliaPlain / tj);
    if (bestJulia < 1e9) std::printf(" (%.2f of best)", bestJulia / tj);
    std::printf("   mandelbrot checksum=%d time=%.3f s", cm, tm);
    if (mandelPlain > 0) std::printf(" (%.2fx plain)", mandelPlain / tm);
    if (bestMandel < 1e9) std::printf(" (%.2f of best)", bestMandel / tm);
    std::printf(" %s\n", ok ? "OK" : "MISMATCH");
  }
  korvane::SetFractalSimdLevel(korvane::SupportedSimdLevel());
  // One line for scripts: times in seconds of the plain build (0 when skipped), the best
  // variant (0 without AVX-512) and the library at the widest level it runs here.
  std::printf("summary julia plain=%.3f best=%.3f library=%.3f mandelbrot plain=%.3f best=%.3f library=%.3f\n",
              juliaPlain, bestJulia < 1e9 ? bestJulia : 0.0, libJulia, mandelPlain, bestMandel < 1e9 ? bestMandel : 0.0,
              libMandel);
  return failures == 0 ? 0 : 1;
}

// ---- pi, written out plainly ----
int PlainPiPass(std::vector<std::int32_t>& cell, std::string& text) {
  const int kCells = 56000;
  cell.assign(kCells + 1, 2000);
  cell[kCells] = 0;
  text.clear();
  std::int32_t carry = 0;
  for (int m = kCells; m > 0; m -= 14) {
    std::int64_t d = 0;
    std::int32_t g = 2 * m;
    for (int i = m; i >= 1; --i) {
      d = static_cast<std::int32_t>(static_cast<std::uint32_t>(d + static_cast<std::int64_t>(cell[i]) * 10000));
      const std::int32_t di = static_cast<std::int32_t>(d);
      cell[i] = di % (g - 1);
      d = di / (g - 1);
      g -= 2;
      if (i > 1) d = static_cast<std::int32_t>(static_cast<std::uint32_t>(d * (i - 1)));
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d", static_cast<int>(carry + d / 10000));
    text += buf;
    carry = static_cast<std::int32_t>(d % 10000);
  }
  return 0;
}

int Pi() {
  std::vector<std::int32_t> cell;
  std::string plainText;
  double best = 1e9;
  for (int k = 0; k < 3; ++k) {
    const double t0 = Now();
    PlainPiPass(cell, plainText);
    best = std::min(best, Now() - t0);
  }
  std::vector<std::int32_t> cells(korvane::kPiCells + 1);
  std::vector<char> text(korvane::kPiTextBytes);
  double ours = 1e9;
  for (int k = 0; k < 3; ++k) {
    const double t0 = Now();
    korvane::PiPass(cells.data(), text.data(), text.size(), nullptr, nullptr);
    ours = std::min(ours, Now() - t0);
  }
  const bool same = plainText == text.data() && std::equal(cell.begin(), cell.end(), cells.begin());
  std::printf("pi pass: plain %.3f s, library %.3f s (%.2fx), %zu chars, starts %.8s, %s\n", best, ours, best / ours,
              plainText.size(), plainText.c_str(), same ? "identical" : "DIFFERENT");
  return same ? 0 : 1;
}

// ---- copy bandwidth of plain copies ----
__attribute__((target("avx2"))) void StreamCopyAvx2(void* dst, const void* src, std::size_t n) {
  auto* d = static_cast<__m256i*>(dst);
  const auto* s = static_cast<const __m256i*>(src);
  for (std::size_t i = 0; i < n / 32; i += 4) {
    const __m256i a = _mm256_load_si256(s + i), b = _mm256_load_si256(s + i + 1);
    const __m256i c = _mm256_load_si256(s + i + 2), e = _mm256_load_si256(s + i + 3);
    _mm256_stream_si256(d + i, a);
    _mm256_stream_si256(d + i + 1, b);
    _mm256_stream_si256(d + i + 2, c);
    _mm256_stream_si256(d + i + 3, e);
  }
  _mm_sfence();
}

__attribute__((target("avx512f"))) void StreamCopyAvx512(void* dst, const void* src, std::size_t n) {
  auto* d = static_cast<__m512i*>(dst);
  const auto* s = static_cast<const __m512i*>(src);
  for (std::size_t i = 0; i < n / 64; i += 2) {
    const __m512i a = _mm512_load_si512(s + i), b = _mm512_load_si512(s + i + 1);
    _mm512_stream_si512(d + i, a);
    _mm512_stream_si512(d + i + 1, b);
  }
  _mm_sfence();
}

void StreamCopySse2(void* dst, const void* src, std::size_t n) {
  auto* d = static_cast<__m128i*>(dst);
  const auto* s = static_cast<const __m128i*>(src);
  for (std::size_t i = 0; i < n / 16; i += 4) {
    const __m128i a = _mm_load_si128(s + i), b = _mm_load_si128(s + i + 1);
    const __m128i c = _mm_load_si128(s + i + 2), e = _mm_load_si128(s + i + 3);
    _mm_stream_si128(d + i, a);
    _mm_stream_si128(d + i + 1, b);
    _mm_stream_si128(d + i + 2, c);
    _mm_stream_si128(d + i + 3, e);
  }
  _mm_sfence();
}

int Copy() {
  const std::size_t n = 16u << 20;
  void* a = std::aligned_alloc(4096, n);
  void* b = std::aligned_alloc(4096, n);
  if (!a || !b) return 1;
  std::memset(a, 1, n);
  std::memset(b, 2, n);
  struct Variant {
    const char* name;
    void (*copy)(void*, const void*, std::size_t);
  };
  const Variant variants[] = {{"memcpy", [](void* d, const void* s, std::size_t c) { std::memcpy(d, s, c); }},
                              {"sse2-stream", StreamCopySse2},
                              {"avx2-stream", StreamCopyAvx2},
                              {"avx512-stream", StreamCopyAvx512}};
  double bestBandwidth = 0;
  for (const Variant& v : variants) {
    if (v.copy == StreamCopyAvx2 && !__builtin_cpu_supports("avx2")) continue;
    if (v.copy == StreamCopyAvx512 && !__builtin_cpu_supports("avx512f")) continue;
    v.copy(b, a, n);
    const double t0 = Now();
    for (int k = 0; k < 256; ++k) v.copy(b, a, n);
    const double t = Now() - t0;
    const double bw = 8192.0 / t;  // MiB/s of read plus write traffic, as the test counts it
    bestBandwidth = std::max(bestBandwidth, bw);
    std::printf("copy %-12s %.3f s  %.1f MiB/s  %.3f GB/s(test units)\n", v.name, t, bw, bw / 1000);
  }
  std::printf("copy best %.3f\n", bestBandwidth / 1000);
  // The library's routines timed the same way, for a like-for-like view.
  korvane::DetectInstructionSets();
  for (const auto& r : korvane::kCopyRoutines) {
    if (!r.routine(b, a, n)) continue;
    const double t0 = Now();
    for (int k = 0; k < 256; ++k) r.routine(b, a, n);
    const double t = Now() - t0;
    std::printf("  library %-24s %.3f s  %.3f GB/s(test units)\n", r.name, t, 8.192 / t);
  }
  std::free(a);
  std::free(b);
  return 0;
}

// ---- plain random pointer chase ----
int Chase(std::size_t mib) {
  const std::size_t bytes = mib << 20;
  const std::size_t count = bytes / sizeof(std::uint32_t);
  std::vector<std::uint32_t> next(count);
  std::vector<std::uint32_t> order(count);
  for (std::size_t i = 0; i < count; ++i) order[i] = static_cast<std::uint32_t>(i);
  std::mt19937 rng(12345);
  std::shuffle(order.begin(), order.end(), rng);
  for (std::size_t i = 0; i < count; ++i) next[order[i]] = order[(i + 1) % count];
  std::uint32_t p = order[0];
  for (std::size_t i = 0; i < count; ++i) p = next[p];
  const std::size_t hops = 20'000'000;
  const double t0 = Now();
  for (std::size_t i = 0; i < hops; ++i) p = next[p];
  const double t = Now() - t0;
  std::printf("chase %zu MiB: %.1f ns per load (end %u)\n", mib, t / hops * 1e9, p);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args.back() == "--wall") {
    gWallClock = true;
    args.pop_back();
  }
  const std::string mode = args.empty() ? "" : args[0];
  if (mode == "fractal") return Fractal(args.size() > 1 && args[1] == "--no-plain");
  if (mode == "pi") return Pi();
  if (mode == "copy") return Copy();
  if (mode == "chase") return Chase(args.size() > 1 ? std::strtoul(args[1].c_str(), nullptr, 10) : 32);
  std::fprintf(stderr, "usage: korvane-benchref fractal|pi|copy|chase [MiB]\n");
  return 2;
}
