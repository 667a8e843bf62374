#include "bench/MemCopy.h"

#include <atomic>
#include <cstring>

#include "platform/Clock.h"

#if defined(__x86_64__)
#include <immintrin.h>
#include <mmintrin.h>
#include <xmmintrin.h>
#endif

namespace korvane {
namespace {

std::atomic<bool> gMmx{false}, gSse{false}, gSse2{false};

InstructionSets ProcessorSets() {
  InstructionSets sets;
#if defined(__x86_64__)
  if (auto regs = platform::RunningCpuid(1)) {
    sets.mmx = (regs->edx >> 23) & 1;
    sets.sse = (regs->edx >> 25) & 1;
    sets.sse2 = (regs->edx >> 26) & 1;
  }
#endif
  return sets;
}

void Store(InstructionSets sets) {
  gMmx.store(sets.mmx);
  gSse.store(sets.sse);
  gSse2.store(sets.sse2);
}

bool HaveMmx() { return gMmx.load(std::memory_order_relaxed); }
bool HaveMmxSse() { return HaveMmx() && gSse.load(std::memory_order_relaxed); }
bool HaveSse2() { return HaveMmxSse() && gSse2.load(std::memory_order_relaxed); }

constexpr std::size_t kLine = 64;
constexpr std::size_t kBlock = 4096;

void* MemcpyVc(void* dst, const void* src, std::size_t n) { return std::memcpy(dst, src, n); }

#if defined(__x86_64__)

// Eight quadwords through the MMX registers.
struct Line8 {
  __m64 q[8];
};

// Through memcpy so that buffers of any alignment are well-defined; it is still one movq.
inline __m64 LoadQ(const char* s) {
  __m64 v;
  std::memcpy(&v, s, sizeof v);
  return v;
}

inline Line8 LoadLine(const char* s) {
  Line8 l;
  for (int k = 0; k < 8; ++k) l.q[k] = LoadQ(s + 8 * k);
  return l;
}

inline void StoreLine(char* d, const Line8& l) {
  for (int k = 0; k < 8; ++k) std::memcpy(d + 8 * k, &l.q[k], sizeof l.q[k]);
}

// One line through eight MMX registers into non-temporal stores, written out register by
// register: through a line record the compiler keeps the quadwords on the stack, which halves
// the bandwidth of a routine that exists to measure it.
inline void StreamLineDirect(char* d, const char* s) {
  __m64* out = reinterpret_cast<__m64*>(d);
  const __m64 q0 = LoadQ(s), q1 = LoadQ(s + 8), q2 = LoadQ(s + 16), q3 = LoadQ(s + 24);
  const __m64 q4 = LoadQ(s + 32), q5 = LoadQ(s + 40), q6 = LoadQ(s + 48), q7 = LoadQ(s + 56);
  _mm_stream_pi(out + 0, q0);
  _mm_stream_pi(out + 1, q1);
  _mm_stream_pi(out + 2, q2);
  _mm_stream_pi(out + 3, q3);
  _mm_stream_pi(out + 4, q4);
  _mm_stream_pi(out + 5, q5);
  _mm_stream_pi(out + 6, q6);
  _mm_stream_pi(out + 7, q7);
}


// Reads a line into the MMX registers without using it, so the loads stay in the code.
inline void TouchLine(const char* s) {
  const Line8 l = LoadLine(s);
  for (int k = 0; k < 8; ++k) __asm__ volatile("" : : "y"(l.q[k]));
}

inline void Prefetch(const char* p) { _mm_prefetch(p, _MM_HINT_NTA); }

// One plain 32-bit read that the compiler must keep.
inline std::uint32_t TouchRead(const char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  __asm__ volatile("" : "+r"(v));
  return v;
}

void* MemcpyMmxLines(void* dst, const void* src, std::size_t n, bool copyRest) {
  char* d = static_cast<char*>(dst);
  const char* s = static_cast<const char*>(src);
  const std::size_t lines = n / kLine;
  for (std::size_t i = 0; i < lines; ++i, d += kLine, s += kLine) StoreLine(d, LoadLine(s));
  _mm_empty();
  if (copyRest) std::memcpy(d, s, n % kLine);
  return dst;
}

void* MemcpyMmx(void* dst, const void* src, std::size_t n) {
  if (!HaveMmx()) return nullptr;
  return MemcpyMmxLines(dst, src, n, true);
}

void* AcMemcpyMmx(void* dst, const void* src, std::size_t n) {
  if (!HaveMmx()) return nullptr;
  return MemcpyMmxLines(dst, src, n, false);
}

void* CacheBlockCopy(void* dst, const void* src, std::size_t n, bool touchFirst) {
  char* d = static_cast<char*>(dst);
  const char* s = static_cast<const char*>(src);
  std::size_t lines = n / kLine;
  while (lines > 0) {
    const std::size_t chunk = lines < 64 ? lines : 64;
    if (touchFirst) {
      for (std::size_t i = 0; i < chunk; ++i) {
        Prefetch(s + (i + 1) * kLine);
        TouchLine(s + i * kLine);
      }
    }
    for (std::size_t i = 0; i < chunk; ++i) StreamLineDirect(d + i * kLine, s + i * kLine);
    d += chunk * kLine;
    s += chunk * kLine;
    lines -= chunk;
  }
  _mm_sfence();
  _mm_empty();
  for (std::size_t i = 0; i < n % kLine; ++i) d[i] = s[i];
  return dst;
}

void* MemcpySseCacheBlock(void* dst, const void* src, std::size_t n) {
  if (!HaveMmxSse()) return nullptr;
  return CacheBlockCopy(dst, src, n, true);
}

void* MemcpySseCacheBlock2(void* dst, const void* src, std::size_t n) {
  if (!HaveMmxSse()) return nullptr;
  return CacheBlockCopy(dst, src, n, false);
}

// Whole lines only, streamed; optional prefetch one and two lines ahead.
void* StreamLines(void* dst, const void* src, std::size_t n, bool prefetch) {
  char* d = static_cast<char*>(dst);
  const char* s = static_cast<const char*>(src);
  const std::size_t lines = n / kLine;
  for (std::size_t i = 0; i < lines; ++i, d += kLine, s += kLine) {
    if (prefetch) {
      Prefetch(s + 64);
      Prefetch(s + 128);
    }
    StreamLineDirect(d, s);
  }
  _mm_sfence();
  _mm_empty();
  return dst;
}

void* MemcpyMmxFast(void* dst, const void* src, std::size_t n) {
  if (!HaveMmxSse()) return nullptr;
  return StreamLines(dst, src, n, false);
}

// Same instruction mix as memcpy_mmx_fast; the loads are issued in the opposite register
// order, which the compiler is free to schedule as it likes.
void* MemcpyMmxMovntq(void* dst, const void* src, std::size_t n) {
  if (!HaveMmxSse()) return nullptr;
  char* d = static_cast<char*>(dst);
  const char* s = static_cast<const char*>(src);
  const std::size_t lines = n / kLine;
  for (std::size_t i = 0; i < lines; ++i, d += kLine, s += kLine) {
    __m64* out = reinterpret_cast<__m64*>(d);
    const __m64 q7 = LoadQ(s + 56), q6 = LoadQ(s + 48), q5 = LoadQ(s + 40), q4 = LoadQ(s + 32);
    const __m64 q3 = LoadQ(s + 24), q2 = LoadQ(s + 16), q1 = LoadQ(s + 8), q0 = LoadQ(s);
    _mm_stream_pi(out + 0, q0);
    _mm_stream_pi(out + 1, q1);
    _mm_stream_pi(out + 2, q2);
    _mm_stream_pi(out + 3, q3);
    _mm_stream_pi(out + 4, q4);
    _mm_stream_pi(out + 5, q5);
    _mm_stream_pi(out + 6, q6);
    _mm_stream_pi(out + 7, q7);
  }
  _mm_sfence();
  _mm_empty();
  return dst;
}

void* MemcpyMmxMovntqPref(void* dst, const void* src, std::size_t n) {
  if (!HaveMmxSse()) return nullptr;
  return StreamLines(dst, src, n, true);
}

void* Qmemcpy1(void* dst, const void* src, std::size_t n) {
  if (!HaveMmxSse()) return nullptr;
  char* d = static_cast<char*>(dst);
  const char* s = static_cast<const char*>(src);
  const std::size_t blocks = n / kBlock;
  for (std::size_t b = 0; b < blocks; ++b, d += kBlock, s += kBlock) {
    // Bring the block into the cache with one plain read per line, two lines per step.
    for (std::size_t k = 0; k < 32; ++k) {
      const std::uint32_t a = TouchRead(s + k * 128);
      const std::uint32_t c = TouchRead(s + k * 128 + 64);
      __asm__ volatile("" : : "r"(a), "r"(c));
    }
    for (std::size_t i = 0; i < kBlock / kLine; ++i) StreamLineDirect(d + i * kLine, s + i * kLine);
  }
  _mm_sfence();
  _mm_empty();
  std::memcpy(d, s, n % kBlock);
  return dst;
}

void* Qmemcpy2(void* dst, const void* src, std::size_t n) {
  if (!HaveMmxSse()) return nullptr;
  char* d = static_cast<char*>(dst);
  const char* s = static_cast<const char*>(src);
  const std::size_t blocks = n / kBlock;
  for (std::size_t b = 0; b < blocks; ++b, d += kBlock, s += kBlock) {
    // Touch the block from its end backwards, two lines per step.
    for (std::size_t k = 32; k-- > 0;) {
      const std::uint32_t a = TouchRead(s + k * 128 + 64);
      const std::uint32_t c = TouchRead(s + k * 128);
      __asm__ volatile("" : : "r"(a), "r"(c));
    }
    for (std::size_t i = 0; i < kBlock / kLine; ++i) {
      Prefetch(s + i * kLine + 512);
      StreamLineDirect(d + i * kLine, s + i * kLine);
    }
  }
  // What is left after the blocks: whole lines, then single quadwords (so a count that is not
  // a multiple of a line is still copied completely), then the last bytes.
  std::size_t rest = n % kBlock;
  for (; rest >= kLine; rest -= kLine, d += kLine, s += kLine) {
    Prefetch(s + 512);
    StreamLineDirect(d, s);
  }
  for (; rest >= 8; rest -= 8, d += 8, s += 8) {
    _mm_stream_pi(reinterpret_cast<__m64*>(d), LoadQ(s));
  }
  _mm_sfence();
  _mm_empty();
  std::memcpy(d, s, rest);
  return dst;
}

// Aligned 16-byte loads and non-temporal stores need 16-byte aligned buffers; misaligned
// buffers are copied with unaligned loads and plain stores instead of faulting.
void* AcMemcpySse(void* dst, const void* src, std::size_t n) {
  if (!HaveMmxSse()) return nullptr;
  char* d = static_cast<char*>(dst);
  const char* s = static_cast<const char*>(src);
  const std::size_t lines = n / kLine;
  const bool aligned = ((reinterpret_cast<std::uintptr_t>(d) | reinterpret_cast<std::uintptr_t>(s)) & 15) == 0;
  for (std::size_t i = 0; i < lines; ++i, d += kLine, s += kLine) {
    Prefetch(s);
    Prefetch(s + 32);
    const float* in = reinterpret_cast<const float*>(s);
    float* out = reinterpret_cast<float*>(d);
    if (aligned) {
      const __m128 a = _mm_load_ps(in), b = _mm_load_ps(in + 4), c = _mm_load_ps(in + 8), e = _mm_load_ps(in + 12);
      _mm_stream_ps(out, a);
      _mm_stream_ps(out + 4, b);
      _mm_stream_ps(out + 8, c);
      _mm_stream_ps(out + 12, e);
    } else {
      const __m128 a = _mm_loadu_ps(in), b = _mm_loadu_ps(in + 4), c = _mm_loadu_ps(in + 8), e = _mm_loadu_ps(in + 12);
      _mm_storeu_ps(out, a);
      _mm_storeu_ps(out + 4, b);
      _mm_storeu_ps(out + 8, c);
      _mm_storeu_ps(out + 12, e);
    }
  }
  _mm_sfence();
  return dst;
}

void* AcMemcpySse2(void* dst, const void* src, std::size_t n) {
  if (!HaveSse2()) return nullptr;
  char* d = static_cast<char*>(dst);
  const char* s = static_cast<const char*>(src);
  const std::size_t lines = n / kLine;
  const bool aligned = ((reinterpret_cast<std::uintptr_t>(d) | reinterpret_cast<std::uintptr_t>(s)) & 15) == 0;
  for (std::size_t i = 0; i < lines; ++i, d += kLine, s += kLine) {
    Prefetch(s);
    Prefetch(s + 32);
    const __m128i* in = reinterpret_cast<const __m128i*>(s);
    __m128i* out = reinterpret_cast<__m128i*>(d);
    if (aligned) {
      const __m128i a = _mm_load_si128(in), b = _mm_load_si128(in + 1), c = _mm_load_si128(in + 2),
                    e = _mm_load_si128(in + 3);
      _mm_stream_si128(out, a);
      _mm_stream_si128(out + 1, b);
      _mm_stream_si128(out + 2, c);
      _mm_stream_si128(out + 3, e);
    } else {
      const __m128i a = _mm_loadu_si128(in), b = _mm_loadu_si128(in + 1), c = _mm_loadu_si128(in + 2),
                    e = _mm_loadu_si128(in + 3);
      _mm_storeu_si128(out, a);
      _mm_storeu_si128(out + 1, b);
      _mm_storeu_si128(out + 2, c);
      _mm_storeu_si128(out + 3, e);
    }
  }
  _mm_sfence();
  return dst;
}

#else  // not x86-64: only the library copy exists

void* Unsupported(void*, const void*, std::size_t) { return nullptr; }
#define MemcpyMmx Unsupported
#define AcMemcpyMmx Unsupported
#define MemcpySseCacheBlock Unsupported
#define MemcpySseCacheBlock2 Unsupported
#define MemcpyMmxFast Unsupported
#define MemcpyMmxMovntq Unsupported
#define MemcpyMmxMovntqPref Unsupported
#define Qmemcpy1 Unsupported
#define Qmemcpy2 Unsupported
#define AcMemcpySse Unsupported
#define AcMemcpySse2 Unsupported

#endif

}  // namespace

const CopyRoutineInfo kCopyRoutines[kCopyRoutineCount] = {
    {"memcpy_vc", MemcpyVc, false},
    {"memcpy_mmx", MemcpyMmx, false},
    {"ac_memcpy_mmx", AcMemcpyMmx, true},
    {"memcpy_SSE_CacheBlock", MemcpySseCacheBlock, false},
    {"memcpy_SSE_CacheBlock2", MemcpySseCacheBlock2, false},
    {"memcpy_mmx_fast", MemcpyMmxFast, true},
    {"memcpy_mmx_movntq", MemcpyMmxMovntq, true},
    {"memcpy_mmx_movntq_pref", MemcpyMmxMovntqPref, true},
    {"Qmemcpy_1", Qmemcpy1, false},
    {"Qmemcpy_2", Qmemcpy2, false},
    {"ac_memcpy_sse", AcMemcpySse, true},
    {"ac_memcpy_sse2", AcMemcpySse2, true},
};

InstructionSets DetectInstructionSets() {
  const InstructionSets sets = ProcessorSets();
  Store(sets);
  return sets;
}

void SetInstructionSetsForTesting(InstructionSets sets) {
  const InstructionSets real = ProcessorSets();
  sets.mmx = sets.mmx && real.mmx;
  sets.sse = sets.sse && real.sse;
  sets.sse2 = sets.sse2 && real.sse2;
  Store(sets);
}

InstructionSets CurrentInstructionSets() { return {gMmx.load(), gSse.load(), gSse2.load()}; }

}  // namespace korvane
