#pragma once
// The processor detector: identification texts, instruction sets, process technology, caches,
// core and thread counts and clocks of up to eight processors, read from the hardware library.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "detect/CacheLineInfo.h"
#include "detect/DeviceHelper.h"
#include "hwlib/CpuidSdk.h"

namespace korvane {

inline constexpr int kMaxProcessors = 8;

enum CpuText : int {
  kCpuTextName = 0,
  kCpuTextCodeName = 1,
  kCpuTextPackage = 2,
  kCpuTextSpecification = 3,
  kCpuTextProcessTechnology = 4,
  kCpuTextStepping = 5,
  kCpuTextInstructionSets = 6,
  kCpuTextIdentification = 7,
  kCpuTextKinds = 8,
};

// Cache kinds of a processor: level-1 data, level-1 instruction, trace, level 2, level 3.
inline constexpr int kCacheKinds = 5;

struct _CACHE_DESCRIPTOR {
  std::int32_t sizeKB = 0;  // present when not 0
  std::uint8_t count = 0;
  std::uint8_t ways = 0;
  std::uint16_t lineSize = 0;
};

// Where the detector gets its data; the defaults are the program's own.
struct CpuSources {
  std::function<CPUIDSDK*()> library;              // default: HardwareLibrary()
  CpuidFunction cpuid;                             // default: platform::Cpuid
  std::function<int(_CACHE_LINE_INFO*)> lineInfo;  // default: GetCacheLineInfo
};

class CCPUHelper : public CDeviceHelper {
 public:
  CCPUHelper();
  explicit CCPUHelper(CpuSources sources);

  // Everything, on every call.
  void vUpdate() override;
  // The clock values only.
  void vRefresh() override;

  std::int32_t processorCount = 0;
  std::array<std::int32_t, kMaxProcessors> coreCount{};
  std::array<std::int32_t, kMaxProcessors> threadCount{};
  std::array<std::uint32_t, kMaxProcessors> signature{};
  std::array<std::uint32_t, kMaxProcessors> brandInfo{};
  std::array<std::int32_t, kMaxProcessors> stockClock{};
  std::array<std::int32_t, kMaxProcessors> busClock{};
  std::array<float, kMaxProcessors> coreClock{};
  std::array<float, kMaxProcessors> multiplier{};
  std::array<float, kMaxProcessors> busFrequency{};
  std::array<float, kMaxProcessors> ratedBusFrequency{};
  std::array<float, kMaxProcessors> processTechnology{};
  std::array<float, kMaxProcessors> coreVoltage{};
  std::array<std::uint32_t, kMaxProcessors> architectureCode{};
  // UTF-8, indexed [processor][CpuText].
  std::array<std::array<std::string, kCpuTextKinds>, kMaxProcessors> texts{};
  std::array<std::int32_t, kMaxProcessors> unlockedMultiplier{};
  std::array<std::array<_CACHE_DESCRIPTOR, kCacheKinds>, kMaxProcessors> caches{};

 private:
  void ReadClocks(CPUIDSDK& sdk, int i);
  void ReadCaches(CPUIDSDK& sdk, int i);
  CpuSources sources_;
};

// The processor's full brand string without doubled spaces and trademark marks.
std::string CleanSpecificationText(std::string_view text);
// The leaf-1 signature (EAX) of the first processor of a /proc/cpuinfo text; nullopt when the
// text lacks or garbles its family, model or stepping.
std::optional<std::uint32_t> SignatureFromCpuinfo(std::string_view cpuinfo);
// "45 nm" below 0.1 micrometres, "0.13 <micrometre unit>" from there on; the units are the
// language texts 5011 and 5010.
std::string FormatProcessTechnology(float micrometres);
// "Family %d Model %d Stepping %d" of a CPUID leaf-1 signature (base fields only).
std::string IdentificationText(std::uint32_t signature);
// The instruction-set text; available(set) says whether the processor has the set.
std::string ComposeInstructionSets(const std::function<bool(int set)>& available);

// Unlocked ("Black Edition") models whose stock clock the library reports wrongly.
struct BlackEditionMatch {
  bool matched = false;
  std::int32_t ratedClock = 0;
};
BlackEditionMatch FindBlackEditionModel(std::string_view processorName);
// Applies the correction for one processor; true when the model matched.
bool ApplyBlackEditionRule(std::string_view processorName, std::int32_t& stockClock,
                           std::int32_t& busClock, std::int32_t& unlocked);

}  // namespace korvane
