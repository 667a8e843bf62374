// Cache geometry from CPUID: descriptor bytes, the deterministic leaves, AMD's extended leaves
// and the call limit. (The recorded machines are decoded in the machine tests.)
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "detect/CacheLineInfo.h"

namespace {

using namespace korvane;
using Regs = platform::CpuidRegs;

struct Recorded {
  std::map<std::pair<std::uint32_t, std::uint32_t>, Regs> leaves;
  int asked = 0;
  CpuidFunction Fn() {
    return [this](std::uint32_t leaf, std::uint32_t sub) -> std::optional<Regs> {
      ++asked;
      auto it = leaves.find({leaf, sub});
      if (it == leaves.end()) return Regs{};
      return it->second;
    };
  }
};

_CACHE_LINE_INFO Decode(Recorded& r) {
  _CACHE_LINE_INFO info{};
  DecodeCacheLineInfo(r.Fn(), info);
  return info;
}

void ExpectGroup(const _CACHE_LINE_INFO& info, int g, int ways, int line) {
  EXPECT_EQ(info.group[g].associativity, ways) << "group " << g;
  EXPECT_EQ(info.group[g].lineSize, line) << "group " << g;
}

TEST(CacheDescriptors, OnlyTheListedGroupChanges) {
  Recorded r;
  r.leaves[{2, 0}] = Regs{0x00000A01, 0, 0, 0};
  const auto info = Decode(r);
  ExpectGroup(info, 0, 2, 32);
  ExpectGroup(info, 1, 8, 64);
  ExpectGroup(info, 2, 8, 64);
  ExpectGroup(info, 3, 16, 64);
  ExpectGroup(info, 4, 32, 64);
}

TEST(CacheDescriptors, EachByteServesOneGroupOnly) {
  Recorded r;
  // Core 2 style: 0x49 is both a level-2 and a level-3 descriptor; level 2 takes it first.
  // 0x30 L1 instruction, 0x2C L1 data, 0x70 trace, 0x96 matches no kind.
  r.leaves[{2, 0}] = Regs{0x2C304901, 0x00000096, 0x00000070, 0};
  const auto info = Decode(r);
  ExpectGroup(info, 0, 8, 64);
  ExpectGroup(info, 1, 8, 64);
  ExpectGroup(info, 2, 8, 0);
  ExpectGroup(info, 3, 16, 64);
  ExpectGroup(info, 4, 32, 64);                           // 0x49 was used up by level 2
  for (const auto& g : info.group) EXPECT_EQ(g.size, 0);  // the descriptor path sets no sizes
}

TEST(CacheDescriptors, RepeatCountAddsMoreDescriptorBytes) {
  Recorded r;
  r.leaves[{2, 0}] = Regs{0x00000002, 0, 0, 0x0000007E};  // run twice; 0x7E: L2 8 ways, 128 bytes
  const auto info = Decode(r);
  ExpectGroup(info, 3, 8, 128);
}

TEST(CacheDescriptors, NoInformationDescriptorReadsTheDeterministicLeaf) {
  Recorded r;
  // Alder Lake: leaf 2 says 0xFF, leaf 4 has the caches.
  r.leaves[{2, 0}] = Regs{0x00FEFF01, 0xF0, 0, 0};
  r.leaves[{4, 0}] = Regs{0xFC004121, 0x02C0003F, 0x3F, 0};
  r.leaves[{4, 1}] = Regs{0xFC004122, 0x01C0003F, 0x3F, 0};
  r.leaves[{4, 2}] = Regs{0xFC01C143, 0x0240003F, 0x7FF, 0};
  r.leaves[{4, 3}] = Regs{0xFC1FC163, 0x02C0003F, 0x7FFF, 4};
  const auto info = Decode(r);
  ExpectGroup(info, 0, 12, 64);
  EXPECT_EQ(info.group[0].size, 48);
  ExpectGroup(info, 1, 8, 64);
  ExpectGroup(info, 2, 8, 64);
  ExpectGroup(info, 3, 10, 64);
  EXPECT_EQ(info.group[3].size, 1280);
  ExpectGroup(info, 4, 12, 64);
  EXPECT_EQ(info.group[4].size, 24576);
}

TEST(CacheExtended, AmdLeavesAndAssociativityCodes) {
  EXPECT_EQ(DecodeExtendedAssociativity(6), 8);
  EXPECT_EQ(DecodeExtendedAssociativity(15), kFullyAssociative);
  EXPECT_EQ(DecodeExtendedAssociativity(3), 0);

  Recorded r;  // leaf 2 all zero: the extended path
  r.leaves[{0x80000005, 0}] = Regs{0, 0, 0x40020140, 0x40020140};
  r.leaves[{0x80000006, 0}] = Regs{0, 0, 0x02006140, 0x0040F140};
  const auto info = Decode(r);
  ExpectGroup(info, 0, 2, 64);
  EXPECT_EQ(info.group[0].size, 64);
  ExpectGroup(info, 1, 2, 64);
  ExpectGroup(info, 2, 2, 64);
  ExpectGroup(info, 3, 8, 64);
  EXPECT_EQ(info.group[3].size, 512);
  ExpectGroup(info, 4, kFullyAssociative, 64);
  EXPECT_EQ(info.group[4].size, 8192);  // 16 units of 512 KiB
}

TEST(CacheExtended, MissingLevel1LeavesKeepTwoWays) {
  Recorded r;
  r.leaves[{0x80000006, 0}] = Regs{0, 0, 0x02006140, 0};
  const auto info = Decode(r);
  ExpectGroup(info, 0, 2, 64);
  ExpectGroup(info, 1, 2, 64);
  ExpectGroup(info, 2, 2, 64);
  ExpectGroup(info, 3, 8, 64);
  ExpectGroup(info, 4, 32, 64);
}

TEST(CacheExtended, ZenCodeNineReadsTheDeterministicLeaf) {
  Recorded r;
  r.leaves[{0x80000006, 0}] = Regs{0, 0, 0x04006140, 0x0A009140};
  r.leaves[{0x8000001D, 3}] = Regs{0x4163, 0x03C0003F, 0x7FFF, 1};
  r.leaves[{0x8000001D, 0}] = Regs{0x121, 0x01C0003F, 0x3F, 0};
  r.leaves[{0x8000001D, 1}] = Regs{0x122, 0x01C0003F, 0x3F, 0};
  r.leaves[{0x8000001D, 2}] = Regs{0x143, 0x01C0003F, 0x7FF, 2};
  auto info = Decode(r);
  ExpectGroup(info, 4, 16, 64);
  EXPECT_EQ(info.group[4].size, 32768);

  r.leaves.erase({0x8000001D, 0});  // no deterministic leaf: the code decodes to 0 ways
  info = Decode(r);
  ExpectGroup(info, 4, 0, 64);
}

TEST(CacheLineInfoCalls, OnlyTheFirstTwoCallsWork) {
  ResetCacheLineInfoCallsForTesting();
  _CACHE_LINE_INFO info{};
  EXPECT_EQ(GetCacheLineInfo(&info), 1);
  EXPECT_NE(info.group[0].lineSize, 0);
  EXPECT_EQ(GetCacheLineInfo(nullptr), 0);  // counts as the second call
  _CACHE_LINE_INFO untouched{};
  untouched.group[3].associativity = 77;
  EXPECT_EQ(GetCacheLineInfo(&untouched), 0);
  EXPECT_EQ(untouched.group[3].associativity, 77);
  EXPECT_EQ(untouched.group[0].lineSize, 0);
  ResetCacheLineInfoCallsForTesting();
}

}  // namespace
