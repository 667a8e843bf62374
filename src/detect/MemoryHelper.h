#pragma once
// The memory detector: physical memory totals and current use from the operating system, with
// the management interface as the fallback source.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "detect/DeviceHelper.h"

namespace korvane {

// The operating system's memory status, in the shape the program has always kept it.
struct MEMORYSTATUSEX {
  std::uint32_t dwLength = 0;
  std::uint32_t dwMemoryLoad = 0;  // percent of physical memory in use
  std::uint64_t ullTotalPhys = 0;
  std::uint64_t ullAvailPhys = 0;
  std::uint64_t ullTotalPageFile = 0;  // physical + swap
  std::uint64_t ullAvailPageFile = 0;
  std::uint64_t ullTotalVirtual = 0;
  std::uint64_t ullAvailVirtual = 0;
  std::uint64_t ullAvailExtendedVirtual = 0;
};
static_assert(sizeof(MEMORYSTATUSEX) == 64);

// The status from a /proc/meminfo text; nullopt when it has no usable MemTotal. Systems
// without MemAvailable get free + buffers + page cache as the available figure.
std::optional<MEMORYSTATUSEX> ParseMemInfo(std::string_view text);
// The same with this process's address-space figures (from a /proc/self/status text, may be
// empty) filled in.
void FillVirtualFigures(std::string_view selfStatus, MEMORYSTATUSEX& status);

// How "used memory" is counted: memory in use on current systems, the commit charge on the
// Windows versions before Vista.
enum class UsedMemoryRule { PhysicalInUse, CommitCharge };
UsedMemoryRule CurrentUsedMemoryRule();

struct MemoryFigures {
  std::int32_t totalMiB = 0;
  std::int32_t availableMiB = 0;
  std::int32_t usedMiB = 0;
};
MemoryFigures ComputeMemoryFigures(const MEMORYSTATUSEX& status, UsedMemoryRule rule);

class CMemoryHelper : public CDeviceHelper {
 public:
  // Reads the status again; falls back to the management interface when it cannot.
  void vRefresh() override;

  std::string unusedText;
  std::string caption;        // fallback only
  std::string name;           // fallback only
  std::string totalPhysText;  // fallback only
  std::string availPhysText;  // fallback only
  MEMORYSTATUSEX status;
  std::int32_t totalMiB = 0;
  std::int32_t availableMiB = 0;
  std::int32_t usedMiB = 0;

 private:
  bool ReadOsStatus();
  bool ReadFallback();
};

}  // namespace korvane
