#include "detect/MemoryHelper.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <memory>

#include "platform/Sysroot.h"
#include "platform/Text.h"
#include "sysinfo/OsName.h"
#include "sysinfo/Wmi.h"

namespace korvane {
namespace {

// "Key:   12345 kB" -> bytes; nullopt when the key is missing or the number is malformed.
std::optional<std::uint64_t> MemInfoBytes(std::string_view text, std::string_view key) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != ':')
      continue;
    line.remove_prefix(key.size() + 1);
    const std::size_t digits = line.find_first_not_of(" \t");
    if (digits == std::string_view::npos) return std::nullopt;
    line.remove_prefix(digits);
    std::uint64_t value = 0;
    const auto [ptr, ec] = std::from_chars(line.data(), line.data() + line.size(), value);
    if (ec != std::errc() || ptr == line.data()) return std::nullopt;
    const std::string rest =
        platform::Trim(line.substr(static_cast<std::size_t>(ptr - line.data())));
    const std::uint64_t factor = rest.rfind("kB", 0) == 0 ? 1024 : 1;  // the kernel's only unit
    if (value > UINT64_MAX / factor) return std::nullopt;
    return value * factor;
  }
  return std::nullopt;
}

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
  return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

std::int32_t ToMiB(std::uint64_t bytes) {
  const std::uint64_t mib = bytes >> 20;  // exact: the divisor is a power of two
  return mib > static_cast<std::uint64_t>(INT32_MAX) ? INT32_MAX : static_cast<std::int32_t>(mib);
}

// Highest user-space address of a 64-bit x86 process (four-level paging); 32-bit processes
// see 3 GiB without a large-address flag.
constexpr std::uint64_t kUserAddressSpace = sizeof(void*) == 8 ? 0x7FFFFFFFF000ull : 0xC0000000ull;

}  // namespace

std::optional<MEMORYSTATUSEX> ParseMemInfo(std::string_view text) {
  const auto total = MemInfoBytes(text, "MemTotal");
  if (!total || *total == 0) return std::nullopt;
  std::optional<std::uint64_t> available = MemInfoBytes(text, "MemAvailable");
  if (!available) {
    available = SaturatingAdd(MemInfoBytes(text, "MemFree").value_or(0),
                              SaturatingAdd(MemInfoBytes(text, "Buffers").value_or(0),
                                            MemInfoBytes(text, "Cached").value_or(0)));
  }
  const std::uint64_t avail = std::min(*available, *total);
  MEMORYSTATUSEX s;
  s.dwLength = sizeof(MEMORYSTATUSEX);
  s.ullTotalPhys = *total;
  s.ullAvailPhys = avail;
  const std::uint64_t used = *total - avail;
  s.dwMemoryLoad =
      static_cast<std::uint32_t>((static_cast<long double>(used) * 100.0L) / *total + 0.5L);
  s.ullTotalPageFile = SaturatingAdd(*total, MemInfoBytes(text, "SwapTotal").value_or(0));
  s.ullAvailPageFile = std::min(s.ullTotalPageFile,
                                SaturatingAdd(avail, MemInfoBytes(text, "SwapFree").value_or(0)));
  s.ullTotalVirtual = kUserAddressSpace;
  s.ullAvailVirtual = kUserAddressSpace;
  s.ullAvailExtendedVirtual = 0;
  return s;
}

void FillVirtualFigures(std::string_view selfStatus, MEMORYSTATUSEX& status) {
  status.ullTotalVirtual = kUserAddressSpace;
  const std::uint64_t inUse = MemInfoBytes(selfStatus, "VmSize").value_or(0);
  status.ullAvailVirtual = inUse < kUserAddressSpace ? kUserAddressSpace - inUse : 0;
}

UsedMemoryRule CurrentUsedMemoryRule() {
  if (IsVista() || IsWindows7() || IsServer2008()) return UsedMemoryRule::PhysicalInUse;
  // The naming marks the older Windows versions with a "win..." code; every other system
  // (Linux included) reports memory in use the current way.
  const std::string code = OsShortCode();
  if (code.rfind("win", 0) == 0) return UsedMemoryRule::CommitCharge;
  return UsedMemoryRule::PhysicalInUse;
}

MemoryFigures ComputeMemoryFigures(const MEMORYSTATUSEX& status, UsedMemoryRule rule) {
  MemoryFigures f;
  f.totalMiB = ToMiB(status.ullTotalPhys);
  f.availableMiB = ToMiB(status.ullAvailPhys);
  const std::uint64_t used =
      rule == UsedMemoryRule::PhysicalInUse
          ? (status.ullTotalPhys > status.ullAvailPhys ? status.ullTotalPhys - status.ullAvailPhys
                                                       : 0)
          : (status.ullTotalPageFile > status.ullAvailPageFile
                 ? status.ullTotalPageFile - status.ullAvailPageFile
                 : 0);
  f.usedMiB = ToMiB(used);
  return f;
}

bool CMemoryHelper::ReadOsStatus() {
  const auto text = platform::ReadSysFile("/proc/meminfo", 256 * 1024);
  if (!text) return false;
  auto parsed = ParseMemInfo(*text);
  if (!parsed) return false;
  FillVirtualFigures(platform::ReadSysFile("/proc/self/status", 64 * 1024).value_or(""), *parsed);
  status = *parsed;
  const MemoryFigures f = ComputeMemoryFigures(status, CurrentUsedMemoryRule());
  totalMiB = f.totalMiB;
  availableMiB = f.availableMiB;
  usedMiB = f.usedMiB;
  return true;
}

bool CMemoryHelper::ReadFallback() {
  WmiQuery query("Select * From Win32_CacheMemory");
  if (!query.Ok()) return false;
  std::unique_ptr<WmiObject> object = query.Next();
  if (!object) return false;
  // The class describes processor caches; an object without a physical-memory figure says
  // nothing about memory, so it must neither count as detected nor replace the captions.
  std::int32_t total = 0;
  if (!GetInt32Property(*object, "ullTotalPhys", &total) || total <= 0) return false;
  std::string text;
  if (GetStringProperty(*object, "Caption", &text)) caption = text;
  if (GetStringProperty(*object, "Name", &text)) name = text;
  status.ullTotalPhys = static_cast<std::uint64_t>(static_cast<std::int64_t>(total));
  totalPhysText = platform::Format("%d", total);
  std::int32_t value = 0;
  if (GetInt32Property(*object, "ullAvailPhys", &value)) {
    status.ullAvailPhys = static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
    availPhysText = platform::Format("%d", value);
  }
  return true;
}

void CMemoryHelper::vRefresh() {
  // A failing source only means "nothing new"; the fields keep their last values.
  try {
    if (ReadOsStatus()) {
      detected = 1;
      return;
    }
    if (ReadFallback()) detected = 1;
  } catch (...) {
    // Contained like every detector failure; the page shows the previous figures.
  }
}

}  // namespace korvane
