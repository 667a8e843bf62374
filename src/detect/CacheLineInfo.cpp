#include "detect/CacheLineInfo.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <string>
#include <vector>

#include "platform/Sysroot.h"

namespace korvane {
namespace {

struct DescriptorRow {
  std::uint8_t descriptor;
  std::uint8_t kind;  // 1 L1 instruction, 2 L1 data, 3 trace, 4 L2, 5 L3
  std::uint8_t associativity;
  std::uint8_t lineSize;
};

constexpr DescriptorRow kLevel1Rows[] = {
    {0x06, 1, 4, 32}, {0x08, 1, 2, 32}, {0x0A, 2, 2, 32}, {0x0C, 2, 4, 32},  {0x0E, 2, 6, 64},
    {0x10, 2, 4, 32}, {0x15, 1, 4, 32}, {0x2C, 2, 8, 64}, {0x30, 1, 8, 64},  {0x60, 2, 8, 64},
    {0x66, 2, 4, 64}, {0x67, 2, 4, 64}, {0x68, 2, 4, 64}, {0x70, 3, 8, 0},   {0x71, 3, 8, 0},
    {0x72, 3, 8, 0},  {0x73, 3, 8, 0},  {0x77, 1, 4, 64}, {0x96, 12, 0, 32}, {0, 0, 0, 0}};

constexpr DescriptorRow kLevel2Rows[] = {
    {0x1A, 4, 6, 64}, {0x39, 4, 4, 64},  {0x3A, 4, 6, 64},  {0x3B, 4, 2, 64},  {0x3C, 4, 4, 64},
    {0x3D, 4, 6, 64}, {0x3E, 4, 4, 64},  {0x41, 4, 4, 32},  {0x42, 4, 4, 32},  {0x43, 4, 4, 32},
    {0x44, 4, 4, 32}, {0x45, 4, 4, 32},  {0x48, 4, 12, 64}, {0x49, 4, 16, 64}, {0x4E, 4, 24, 64},
    {0x78, 4, 4, 64}, {0x79, 4, 8, 64},  {0x7A, 4, 8, 64},  {0x7B, 4, 8, 64},  {0x7C, 4, 8, 64},
    {0x7D, 4, 8, 64}, {0x7E, 4, 8, 128}, {0x7F, 4, 2, 64},  {0x80, 4, 8, 64},  {0x81, 4, 8, 32},
    {0x82, 4, 8, 32}, {0x83, 4, 8, 32},  {0x84, 4, 8, 32},  {0x85, 4, 8, 32},  {0x86, 4, 4, 64},
    {0x87, 4, 8, 64}, {0, 0, 0, 0}};

constexpr DescriptorRow kLevel3Rows[] = {
    {0x22, 5, 4, 64},  {0x23, 5, 8, 64},  {0x25, 5, 8, 64},   {0x29, 5, 8, 64},
    {0x46, 5, 4, 64},  {0x47, 5, 8, 64},  {0x49, 5, 16, 64},  {0x4A, 5, 12, 64},
    {0x4B, 5, 16, 64}, {0x4C, 5, 12, 64}, {0x4D, 5, 16, 64},  {0x88, 5, 4, 64},
    {0x89, 5, 4, 64},  {0x8A, 5, 4, 64},  {0x8D, 5, 12, 128}, {0, 0, 0, 0}};

enum Group { kL1Data = 0, kL1Instruction = 1, kTrace = 2, kL2 = 3, kL3 = 4 };

// Leaf 2's "no cache information here, read leaf 4" descriptor.
constexpr std::uint8_t kUseLeaf4 = 0xFF;
// 0x80000006's associativity code meaning "see leaf 0x8000001D".
constexpr std::uint32_t kUseLeaf8000001D = 9;

platform::CpuidRegs Ask(const CpuidFunction& cpuid, std::uint32_t leaf, std::uint32_t subleaf = 0) {
  return cpuid(leaf, subleaf).value_or(platform::CpuidRegs{});
}

void AppendBytes(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

const DescriptorRow* Find(const DescriptorRow* table, std::uint8_t descriptor, int kind) {
  for (const DescriptorRow* row = table; row->descriptor != 0; ++row) {
    if (row->descriptor == descriptor && row->kind == kind) return row;
  }
  return nullptr;
}

std::uint8_t Clamp8(std::uint32_t v) {
  return static_cast<std::uint8_t>(std::min<std::uint32_t>(v, 255));
}
std::uint16_t Clamp16(std::uint64_t v) {
  return static_cast<std::uint16_t>(std::min<std::uint64_t>(v, 0xFFFF));
}

// One subleaf of a deterministic cache leaf (4 or 0x8000001D; both share the layout).
struct DeterministicCache {
  int type = 0;  // 0 none, 1 data, 2 instruction, 3 unified
  int level = 0;
  CACHE_LINE_GROUP group;
};

DeterministicCache ReadDeterministic(const platform::CpuidRegs& r) {
  DeterministicCache c;
  c.type = static_cast<int>(r.eax & 0x1F);
  c.level = static_cast<int>((r.eax >> 5) & 0x7);
  const std::uint32_t line = (r.ebx & 0xFFF) + 1;
  const std::uint32_t partitions = ((r.ebx >> 12) & 0x3FF) + 1;
  const std::uint32_t ways = ((r.ebx >> 22) & 0x3FF) + 1;
  const std::uint64_t sets = static_cast<std::uint64_t>(r.ecx) + 1;
  const bool fully = (r.eax & (1u << 9)) != 0;
  c.group.associativity = fully ? kFullyAssociative : Clamp8(ways);
  c.group.lineSize = Clamp8(line);
  c.group.size = Clamp16(static_cast<std::uint64_t>(ways) * partitions * line * sets / 1024);
  return c;
}

// Fills the groups from a deterministic cache leaf; false when it lists no cache at all.
bool FromDeterministicLeaf(const CpuidFunction& cpuid, std::uint32_t leaf, _CACHE_LINE_INFO& out) {
  bool any = false;
  bool haveInstruction = false;
  for (std::uint32_t sub = 0; sub < 16; ++sub) {
    const DeterministicCache c = ReadDeterministic(Ask(cpuid, leaf, sub));
    if (c.type == 0) break;
    any = true;
    if (c.level == 1 && c.type == 1) {
      out.group[kL1Data] = c.group;
    } else if (c.level == 1 && c.type == 2) {
      out.group[kL1Instruction] = c.group;
      haveInstruction = true;
    } else if (c.level == 2) {
      out.group[kL2] = c.group;
    } else if (c.level == 3) {
      out.group[kL3] = c.group;
    }
  }
  // Current processors have no trace cache; the third group mirrors level-1 instruction as the
  // extended path does.
  if (haveInstruction) out.group[kTrace] = out.group[kL1Instruction];
  return any;
}

// The given level from AMD's deterministic leaf, when the processor has one.
std::optional<CACHE_LINE_GROUP> AmdDeterministicLevel(const CpuidFunction& cpuid, int level) {
  for (std::uint32_t sub = 0; sub < 16; ++sub) {
    const DeterministicCache c = ReadDeterministic(Ask(cpuid, 0x8000001D, sub));
    if (c.type == 0) break;
    if (c.level == level && c.type == 3) return c.group;
  }
  return std::nullopt;
}

void DescriptorPath(std::vector<std::uint8_t>& bytes, _CACHE_LINE_INFO& out) {
  struct Lookup {
    Group group;
    const DescriptorRow* table;
    int kind;
  };
  const Lookup lookups[] = {{kL1Data, kLevel1Rows, 2},
                            {kL1Instruction, kLevel1Rows, 1},
                            {kTrace, kLevel1Rows, 3},
                            {kL2, kLevel2Rows, 4},
                            {kL3, kLevel3Rows, 5}};
  for (const Lookup& l : lookups) {
    for (std::size_t i = 1; i < bytes.size(); ++i) {
      if (bytes[i] == 0) continue;
      if (const DescriptorRow* row = Find(l.table, bytes[i], l.kind)) {
        out.group[l.group].associativity = row->associativity;
        out.group[l.group].lineSize = row->lineSize;
        bytes[i] = 0;  // used up: no other group may take it
        break;
      }
    }
  }
}

void ExtendedPath(const CpuidFunction& cpuid, _CACHE_LINE_INFO& out) {
  for (int g = kL1Data; g <= kTrace; ++g) out.group[g].associativity = 2;
  const platform::CpuidRegs l1 = Ask(cpuid, 0x80000005);
  auto level1 = [](std::uint32_t reg) {
    CACHE_LINE_GROUP g;
    g.size = static_cast<std::uint16_t>(reg >> 24);
    g.associativity = static_cast<std::uint8_t>(reg >> 16);
    g.lineSize = static_cast<std::uint8_t>(reg);
    return g;
  };
  if (l1.ecx != 0) out.group[kL1Data] = level1(l1.ecx);
  if (l1.edx != 0) out.group[kL1Instruction] = out.group[kTrace] = level1(l1.edx);

  const platform::CpuidRegs l23 = Ask(cpuid, 0x80000006);
  // Zen processors report level 2 and 3 only in the deterministic leaf (code 9); decoding the
  // code itself would show 0 ways.
  auto deterministic = [&](std::uint32_t reg, int level) -> std::optional<CACHE_LINE_GROUP> {
    if (((reg >> 12) & 0xF) != kUseLeaf8000001D) return std::nullopt;
    return AmdDeterministicLevel(cpuid, level);
  };
  if (l23.ecx != 0) {
    if (auto g = deterministic(l23.ecx, 2)) {
      out.group[kL2] = *g;
    } else {
      out.group[kL2].size = static_cast<std::uint16_t>(l23.ecx >> 16);
      out.group[kL2].associativity = DecodeExtendedAssociativity((l23.ecx >> 12) & 0xF);
      out.group[kL2].lineSize = static_cast<std::uint8_t>(l23.ecx);
    }
  }
  if (l23.edx != 0) {
    if (auto g = deterministic(l23.edx, 3)) {
      out.group[kL3] = *g;
    } else {
      // The field counts 512 KiB units.
      out.group[kL3].size = Clamp16(static_cast<std::uint64_t>(l23.edx >> 18) << 9);
      out.group[kL3].associativity = DecodeExtendedAssociativity((l23.edx >> 12) & 0xF);
      out.group[kL3].lineSize = static_cast<std::uint8_t>(l23.edx);
    }
  }
}

std::atomic<int> g_calls{0};

}  // namespace

std::uint8_t DecodeExtendedAssociativity(std::uint32_t field) {
  switch (field) {
    case 1:
      return 1;
    case 2:
      return 2;
    case 4:
      return 4;
    case 6:
      return 8;
    case 8:
      return 16;
    case 10:
      return 32;
    case 11:
      return 48;
    case 12:
      return 64;
    case 13:
      return 96;
    case 14:
      return 128;
    case 15:
      return kFullyAssociative;
    default:
      return 0;
  }
}

void DecodeCacheLineInfo(const CpuidFunction& cpuid, _CACHE_LINE_INFO& out) {
  const std::uint8_t presetWays[5] = {8, 8, 8, 16, 32};
  for (int g = 0; g < 5; ++g) {
    out.group[g].lineSize = 64;
    out.group[g].associativity = presetWays[g];
  }
  const std::optional<platform::CpuidRegs> first = cpuid(2, 0);
  if (!first) return;  // no CPUID here: the presets are all there is

  const std::uint32_t executions = std::min<std::uint32_t>(first->eax & 0xFF, 8);
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t n = 0; n < std::max<std::uint32_t>(executions, 1); ++n) {
    const platform::CpuidRegs r = n == 0 ? *first : Ask(cpuid, 2);
    AppendBytes(bytes, r.eax);
    AppendBytes(bytes, r.ebx);
    AppendBytes(bytes, r.ecx);
    AppendBytes(bytes, r.edx);
  }

  if (first->eax != 0) {
    // Byte 0 is the execution count, never a descriptor.
    const bool useLeaf4 = std::find(bytes.begin() + 1, bytes.end(), kUseLeaf4) != bytes.end();
    if (useLeaf4) {
      FromDeterministicLeaf(cpuid, 4, out);
      return;
    }
    DescriptorPath(bytes, out);
    return;
  }
  ExtendedPath(cpuid, out);
}

void CacheLineInfoFromSysfs(_CACHE_LINE_INFO& out) {
  const std::string base = "/sys/devices/system/cpu/cpu0/cache";
  for (const std::string& entry : platform::ListSysDir(base)) {
    if (entry.rfind("index", 0) != 0) continue;
    const std::string dir = base + "/" + entry;
    const auto level = platform::ReadSysInteger(dir + "/level");
    const std::string type = platform::ReadSysLine(dir + "/type").value_or("");
    if (!level) continue;
    int group = -1;
    if (*level == 1 && type == "Data")
      group = kL1Data;
    else if (*level == 1 && type == "Instruction")
      group = kL1Instruction;
    else if (*level == 2 && type == "Unified")
      group = kL2;
    else if (*level == 3 && type == "Unified")
      group = kL3;
    if (group < 0) continue;
    auto fill = [&](int g) {
      if (auto ways = platform::ReadSysInteger(dir + "/ways_of_associativity"); ways && *ways > 0)
        out.group[g].associativity =
            static_cast<std::uint8_t>(std::min<long long>(*ways, kFullyAssociative));
      if (auto line = platform::ReadSysInteger(dir + "/coherency_line_size");
          line && *line > 0 && *line <= 255)
        out.group[g].lineSize = static_cast<std::uint8_t>(*line);
    };
    fill(group);
    if (group == kL1Instruction) fill(kTrace);  // no trace cache: the third group copies L1i
  }
}

int GetCacheLineInfo(_CACHE_LINE_INFO* record) {
  const int call = ++g_calls;
  if (record == nullptr || call > 2) return 0;
  const CpuidFunction cpuid = [](std::uint32_t leaf, std::uint32_t sub) {
    return platform::Cpuid(leaf, sub);
  };
  DecodeCacheLineInfo(cpuid, *record);
  // A recorded machine without a CPUID recording (or a processor without the instruction):
  // the kernel's description of the caches is the only one there is.
  if (!cpuid(0, 0)) CacheLineInfoFromSysfs(*record);
  return 1;
}

void ResetCacheLineInfoCallsForTesting() { g_calls = 0; }

}  // namespace korvane
