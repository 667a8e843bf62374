// The processor detector on recorded machines whose recording has no CPUID dump: the signature
// and the cache geometry come from the recorded kernel files, never from the processor that
// runs the tests.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "FakeLibrary.h"
#include "detect/CacheLineInfo.h"
#include "detect/CpuHelper.h"
#include "platform/Sysroot.h"

namespace {

using namespace korvane;

std::string Machine(const std::string& name) {
  return std::string(KORVANE_FIXTURES_DIR) + "/machines/" + name;
}

std::string ReadText(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

struct SysrootScope {
  explicit SysrootScope(const std::string& root) { platform::SetSysrootPrefixForTesting(root); }
  ~SysrootScope() { platform::SetSysrootPrefixForTesting(""); }
};

TEST(RecordedSignature, FoldedBackFromTheKernelsFields) {
  // Sandy Bridge-EP (family 6, model 45 = extended 2, base 13) and Zen (family 23 = 15 + 8).
  EXPECT_EQ(SignatureFromCpuinfo(ReadText(Machine("dell-dcs8000z") + "/proc/cpuinfo")), 0x206D7u);
  EXPECT_EQ(SignatureFromCpuinfo(ReadText(Machine("ryzen5-1600-kernel-view") + "/proc/cpuinfo")),
            0x800F11u);
  EXPECT_EQ(IdentificationText(0x206D7u), "Family 6 Model 13 Stepping 7");
  // A Pentium 4: family 15 without extension.
  EXPECT_EQ(SignatureFromCpuinfo("processor\t: 0\ncpu family\t: 15\nmodel\t\t: 4\nstepping\t: 1\n"),
            0xF41u);
  EXPECT_EQ(SignatureFromCpuinfo("cpu family : 6\nmodel : 45\n"), std::nullopt);  // no stepping
  EXPECT_EQ(SignatureFromCpuinfo("cpu family : 6\nmodel : 4x5\nstepping : 7\n"), std::nullopt);
  EXPECT_EQ(SignatureFromCpuinfo("cpu family : 5\nmodel : 45\nstepping : 7\n"), std::nullopt);
  EXPECT_EQ(SignatureFromCpuinfo("cpu family : 9223372036854775807\nmodel : 1\nstepping : 1\n"),
            std::nullopt);
  EXPECT_EQ(SignatureFromCpuinfo(""), std::nullopt);
}

// The Ryzen 5 1600's kernel view: its 4-way L1 instruction cache and 16-way L3 are the
// recording's, whatever the running processor has.
TEST(RecordedDetector, IdentificationAndGeometryFromTheKernelView) {
  SysrootScope root(Machine("ryzen5-1600-kernel-view"));
  fakelib::Reset();
  auto sdk = fakelib::MakeSdk();
  CpuSources sources;
  sources.library = [&sdk] { return sdk.get(); };
  ResetCacheLineInfoCallsForTesting();
  CCPUHelper cpu(std::move(sources));
  cpu.vUpdate();
  ResetCacheLineInfoCallsForTesting();
  EXPECT_EQ(cpu.signature[0], 0x800F11u);
  EXPECT_EQ(cpu.texts[0][kCpuTextIdentification], "Family 15 Model 1 Stepping 1");
  const auto& c = cpu.caches[0];
  EXPECT_EQ(c[0].ways, 8);
  EXPECT_EQ(c[1].ways, 4);
  EXPECT_EQ(c[2].ways, 4);  // no trace cache: a copy of L1i
  EXPECT_EQ(c[3].ways, 8);
  EXPECT_EQ(c[4].ways, 16);
  for (const auto& d : c) EXPECT_EQ(d.lineSize, 64);
}

// Without a recording and without cache folders there is nothing to read: the presets stay.
TEST(RecordedDetector, NothingRecordedLeavesThePresets) {
  SysrootScope root(Machine("dell-dcs8000z"));
  _CACHE_LINE_INFO info{};
  DecodeCacheLineInfo([](std::uint32_t l, std::uint32_t s) { return platform::Cpuid(l, s); }, info);
  CacheLineInfoFromSysfs(info);
  const int presets[5] = {8, 8, 8, 16, 32};
  for (int g = 0; g < 5; ++g) {
    EXPECT_EQ(info.group[g].associativity, presets[g]);
    EXPECT_EQ(info.group[g].lineSize, 64);
  }
}

}  // namespace
