#include "detect/CpuHelper.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "config/LanguageRes.h"
#include "hwlib/HardwareLibrary.h"
#include "platform/Sysroot.h"
#include "platform/Text.h"

namespace korvane {
namespace {

constexpr int kProcessTechnologyMicrometre = 5010;
constexpr int kProcessTechnologyNanometre = 5011;
// Binding row of GetProcessorCacheParameters.
constexpr int kRowCacheParameters = 34;

// One library text: the buffer the binding copies into, converted from the ANSI code page.
template <typename Read>
bool ReadText(Read read, std::string* out) {
  char buffer[kLibTextSize] = {};
  if (!read(buffer)) return false;
  buffer[kLibTextSize - 1] = '\0';
  *out = platform::AnsiToUtf8(buffer);
  return true;
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos)) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
}

std::string TrimSpaces(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

struct BlackEditionRow {
  const char* forms[2];
  std::int32_t rated;
};

constexpr BlackEditionRow kBlackEditionRows[] = {
    {{"amd phenom 9600", nullptr}, 2300},
    {{"amd athlon 64 x2 5000", "amd athlon64 x2 5000"}, 2600},
    {{"amd athlon 64 x2 5400", "amd athlon64 x2 5400"}, 2800},
    {{"amd athlon 64 x2 7750", "amd athlon64 x2 7750"}, 2700},
    {{"amd athlon 64 x2 6400", "amd athlon64 x2 6400"}, 3200},
    {{"amd phenom x4 9850", nullptr}, 2500},
    {{"amd phenom x4 9950", nullptr}, 2600},
    {{"amd phenomii x3 710", "amd phenom ii x3 710"}, 2600},
    {{"amd phenomii x3 720", "amd phenom ii x3 720"}, 2800},
    {{"amd phenomii x4 810", "amd phenom ii x4 810"}, 2600},
    {{"amd phenomii x4 920", "amd phenom ii x4 920"}, 2800},
    {{"amd phenomii x4 940", "amd phenom ii x4 940"}, 3000},
    {{"amd phenomii x4 995", "amd phenom ii x4 995"}, 3200},
};

std::optional<platform::CpuidRegs> LiveCpuid(std::uint32_t leaf, std::uint32_t subleaf) {
  if (auto r = platform::Cpuid(leaf, subleaf)) return r;
  // A recorded machine without a CPUID recording: its kernel wrote down the signature.
  if (leaf == 1 && !platform::SysrootPrefix().empty()) {
    if (auto text = platform::ReadSysFile("/proc/cpuinfo", 4u << 20)) {
      if (auto eax = SignatureFromCpuinfo(*text)) return platform::CpuidRegs{*eax, 0, 0, 0};
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::uint32_t> SignatureFromCpuinfo(std::string_view cpuinfo) {
  // The first processor's "cpu family", "model" and "stepping" lines, folded back into the
  // leaf-1 layout (base and extended fields).
  long long family = -1, model = -1, stepping = -1;
  std::size_t pos = 0;
  while (pos < cpuinfo.size()) {
    std::size_t end = cpuinfo.find('\n', pos);
    if (end == std::string_view::npos) end = cpuinfo.size();
    const std::string_view line = cpuinfo.substr(pos, end - pos);
    pos = end + 1;
    if (TrimSpaces(line).empty() && family >= 0) break;  // end of the first processor
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string key(line.substr(0, colon));
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
    const std::string value = TrimSpaces(line.substr(colon + 1));
    long long* target = key == "cpu family" ? &family
                        : key == "model"    ? &model
                        : key == "stepping" ? &stepping
                                            : nullptr;
    if (target == nullptr || value.empty() || value.size() > 6) continue;
    char* stop = nullptr;
    const long v = std::strtol(value.c_str(), &stop, 10);
    if (stop != nullptr && *stop == '\0' && v >= 0) *target = v;
  }
  if (family < 0 || family > 15 + 255 || model < 0 || model > 255 || stepping < 0 || stepping > 15)
    return std::nullopt;
  const std::uint32_t f = static_cast<std::uint32_t>(family), m = static_cast<std::uint32_t>(model);
  std::uint32_t eax =
      static_cast<std::uint32_t>(stepping) | ((m & 0xF) << 4) | ((f < 15 ? f : 15) << 8);
  if (f >= 15) eax |= (f - 15) << 20;
  if (f == 6 || f >= 15)
    eax |= ((m >> 4) & 0xF) << 16;
  else if (m > 15)
    return std::nullopt;  // other families have no extended model
  return eax;
}

std::string CleanSpecificationText(std::string_view text) {
  std::string s = TrimSpaces(text);
  while (s.find("  ") != std::string::npos) ReplaceAll(s, "  ", " ");
  for (std::string_view mark : {"(R)", "(r)", "(TM)", "(tm)"}) ReplaceAll(s, mark, "");
  return s;
}

std::string FormatProcessTechnology(float micrometres) {
  const double p = micrometres;
  if (p < 0.1) {
    return platform::Format("%d %s", static_cast<int>(p * 1000.0 + 0.5),
                            LangText(kProcessTechnologyNanometre).c_str());
  }
  return platform::Format("%1.2f %s", p, LangText(kProcessTechnologyMicrometre).c_str());
}

std::string IdentificationText(std::uint32_t signature) {
  return platform::Format(
      "Family %d Model %d Stepping %d", static_cast<int>((signature >> 8) & 0xF),
      static_cast<int>((signature >> 4) & 0xF), static_cast<int>(signature & 0xF));
}

std::string ComposeInstructionSets(const std::function<bool(int)>& available) {
  static constexpr std::pair<int, const char*> kSets[] = {
      {1, "MMX"},      {2, " (+)"},    {3, ", 3DNow!"},  {4, " (+)"},     {5, ", SSE"},
      {6, ", SSE2"},   {7, ", SSE3"},  {8, ", SSSE3"},   {9, ", SSE4.1"}, {12, ", SSE4.2"},
      {13, ", SSE4A"}, {14, ", SSE5"}, {16, ", x86-64"},
  };
  char buffer[kLibTextSize] = {};
  std::size_t used = 0;
  for (const auto& [set, text] : kSets) {
    if (!available(set)) continue;
    const std::size_t n = std::strlen(text);
    if (used + n >= sizeof(buffer)) break;  // the text never grows past its buffer
    std::memcpy(buffer + used, text, n);
    used += n;
  }
  return platform::AnsiToUtf8(std::string_view(buffer, used));
}

BlackEditionMatch FindBlackEditionModel(std::string_view processorName) {
  const std::string n = platform::ToLowerAscii(processorName);
  const std::size_t at = n.find("black edition");
  if (at == std::string::npos) return {};
  const std::string m = TrimSpaces(std::string_view(n).substr(0, at));
  for (const BlackEditionRow& row : kBlackEditionRows) {
    for (const char* form : row.forms) {
      if (form != nullptr && m.find(form) != std::string::npos) return {true, row.rated};
    }
  }
  return {};
}

bool ApplyBlackEditionRule(std::string_view processorName, std::int32_t& stockClock,
                           std::int32_t& busClock, std::int32_t& unlocked) {
  const BlackEditionMatch match = FindBlackEditionModel(processorName);
  if (!match.matched) return false;
  if (stockClock <= 0 || stockClock > match.ratedClock) stockClock = match.ratedClock;
  if (busClock < 1) busClock = 200;
  unlocked = 1;
  return true;
}

CCPUHelper::CCPUHelper() : CCPUHelper(CpuSources{}) {}

CCPUHelper::CCPUHelper(CpuSources sources) : sources_(std::move(sources)) {
  if (!sources_.library) sources_.library = &HardwareLibrary;
  if (!sources_.cpuid) sources_.cpuid = &LiveCpuid;
  if (!sources_.lineInfo) sources_.lineInfo = &GetCacheLineInfo;
}

void CCPUHelper::ReadClocks(CPUIDSDK& sdk, int i) {
  const auto at = static_cast<std::size_t>(i);
  if (auto v = sdk.GetProcessorStockClockFrequency(i); v && *v != -1) stockClock[at] = *v;
  if (int v = sdk.GetProcessorStockBusFrequency(i); v != -1) busClock[at] = v;
  auto positive = [](std::optional<float> v, float& field) {
    if (v && *v > 0.0f) field = *v;
  };
  positive(sdk.GetProcessorCoreClockFrequency(i, 0), coreClock[at]);
  positive(sdk.GetProcessorCoreClockMultiplier(i, 0), multiplier[at]);
  positive(sdk.GetBusFrequency(), busFrequency[at]);
  positive(sdk.GetProcessorRatedBusFrequency(i), ratedBusFrequency[at]);
  positive(sdk.GetProcessorCoreVoltage(i, 0), coreVoltage[at]);
}

void CCPUHelper::ReadCaches(CPUIDSDK& sdk, int i) {
  static constexpr std::pair<int, int> kQueries[kCacheKinds] = {
      {1, 1}, {1, 2}, {1, 4}, {2, 3}, {3, 3}};
  const auto at = static_cast<std::size_t>(i);
  const std::optional<int> levels = sdk.GetProcessorCacheLevelCount(i);
  if (!levels || *levels == -1) return;
  const int kinds = *levels >= 3 ? 5 : *levels == 2 ? 4 : *levels >= 1 ? 3 : 0;
  for (int k = 0; k < kinds; ++k) {
    int c = 0;
    int s = 0;
    if (!sdk.GetProcessorCacheParameters(i, kQueries[k].first, kQueries[k].second, &c, &s)) return;
    if (s > 0) {
      caches[at][static_cast<std::size_t>(k)].sizeKB = s;
      caches[at][static_cast<std::size_t>(k)].count = static_cast<std::uint8_t>(c & 0xFF);
    }
  }
  if (kinds == 0 && sdk.Slot(kRowCacheParameters) == nullptr)
    return;  // nothing changes without the operation

  _CACHE_LINE_INFO info{};
  int filled = 0;
  // The decoder runs the processor's own instruction; whatever goes wrong there only costs
  // the associativity and line size, which keep their previous values.
  try {
    filled = sources_.lineInfo(&info);
  } catch (...) {
    filled = 0;
  }
  if (filled == 0) return;
  for (std::size_t j = 0; j < kCacheKinds; ++j) {
    caches[at][j].ways = info.group[j].associativity;
    caches[at][j].lineSize = info.group[j].lineSize;
  }
}

void CCPUHelper::vUpdate() {
  CPUIDSDK* sdk = sources_.library();
  if (sdk == nullptr) return;
  count = 0;
  sdk->RefreshProcessorClocks();
  processorCount = sdk->GetProcessorCount();
  if (processorCount == -1) processorCount = 1;

  for (int i = 0; i < processorCount && i < kMaxProcessors; ++i) {
    const auto at = static_cast<std::size_t>(i);
    auto& text = texts[at];
    coreCount[at] = sdk->GetProcessorCoreCount(i);
    threadCount[at] = sdk->GetProcessorThreadCount(i);
    ReadText([&](char* b) { return sdk->GetProcessorName(i, b); }, &text[kCpuTextName]);
    ReadText([&](char* b) { return sdk->GetProcessorCodeName(i, b); }, &text[kCpuTextCodeName]);
    ReadText([&](char* b) { return sdk->GetProcessorPackage(i, b); }, &text[kCpuTextPackage]);
    std::string brandString;
    if (ReadText([&](char* b) { return sdk->GetProcessorSpecification(i, b); }, &brandString)) {
      text[kCpuTextSpecification] = CleanSpecificationText(brandString);
    }

    // The processor the program runs on answers for every package.
    if (auto leaf1 = sources_.cpuid(1, 0); leaf1 && leaf1->eax > 1) {
      signature[at] = leaf1->eax;
      brandInfo[at] = leaf1->ebx;
      text[kCpuTextIdentification] = IdentificationText(leaf1->eax);
    }

    ReadText([&](char* b) { return sdk->GetProcessorStepping(i, b); }, &text[kCpuTextStepping]);
    if (auto p = sdk->GetProcessorManufacturingProcess(i); p && *p > 0.0f) {
      processTechnology[at] = *p;
      text[kCpuTextProcessTechnology] = FormatProcessTechnology(*p);
    }
    text[kCpuTextInstructionSets] = ComposeInstructionSets(
        [&](int set) { return sdk->IsProcessorInstructionSetAvailable(i, set) == 1; });

    int first = 0;
    int second = 0;
    (void)sdk->GetProcessorExtendedValues(i, &first, &second);
    architectureCode[at] = sdk->GetProcessorArchitectureCode(i);

    ReadCaches(*sdk, i);
    ReadClocks(*sdk, i);
    ApplyBlackEditionRule(text[kCpuTextName], stockClock[at], busClock[at], unlockedMultiplier[at]);
    ++count;
  }
}

void CCPUHelper::vRefresh() {
  CPUIDSDK* sdk = sources_.library();
  if (sdk == nullptr) return;
  sdk->RefreshProcessorClocks();
  const int n = sdk->GetProcessorCount();
  if (n == -1 || n == 0) return;
  int read = 0;
  for (int i = 0; i < n && i < kMaxProcessors; ++i) {
    ReadClocks(*sdk, i);
    ++read;
  }
  count = read;
}

}  // namespace korvane
