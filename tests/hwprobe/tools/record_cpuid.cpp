// Records this machine's CPUID leaves, one file per logical processor, in the format the
// fixture machines use (cpuid/pu<N>: "mask eax ebx ecx edx => eax ebx ecx edx", hex).
// Build: c++ -O2 -o record_cpuid record_cpuid.cpp; run: record_cpuid <dir>
#include <cpuid.h>
#include <sched.h>

#include <cstdio>
#include <string>

namespace {

void Line(FILE* f, unsigned mask, unsigned leaf, unsigned sub) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  __cpuid_count(leaf, sub, a, b, c, d);
  std::fprintf(f, "%x %x 0 %x 0 => %x %x %x %x\n", mask, leaf, sub, a, b, c, d);
}

// Leaves that take a sub-leaf, and how many to record.
int Subleaves(unsigned leaf) {
  switch (leaf) {
    case 4: case 0x8000001D: return 8;
    case 7: case 0xB: case 0x1F: case 0x14: case 0x18: return 4;
    case 0xD: return 16;
    case 0xF: case 0x10: case 0x12: return 4;
    default: return 0;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <output dir>\n", argv[0]);
    return 2;
  }
  cpu_set_t all;
  sched_getaffinity(0, sizeof all, &all);
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (!CPU_ISSET(cpu, &all)) continue;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    if (sched_setaffinity(0, sizeof one, &one) != 0) continue;
    const std::string path = std::string(argv[1]) + "/pu" + std::to_string(cpu);
    FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) return 1;
    std::fprintf(f, "# mask e[abcd]x => e[abcd]x\n");
    for (unsigned base : {0u, 0x80000000u}) {
      unsigned max = __get_cpuid_max(base, nullptr);
      if (max < base || max > base + 0x40) continue;
      for (unsigned leaf = base; leaf <= max; ++leaf) {
        const int subs = Subleaves(leaf);
        if (subs == 0) Line(f, 1, leaf, 0);
        for (int s = 0; s < subs; ++s) Line(f, 5, leaf, static_cast<unsigned>(s));
      }
    }
    std::fclose(f);
  }
  return 0;
}
