#include "detect/DeviceDetail.h"

#include <algorithm>

#include "platform/Text.h"
#include "sysinfo/SysUtil.h"

namespace korvane {
namespace {

int SlotOfCode(int code) {
  switch (code) {
    case kSensorSourceDisk:
      return 0;
    case kSensorSourceDisplay1:
      return 1;
    case kSensorSourceDisplay8:
      return 2;
    case kSensorSourceDisplay4:
      return 3;
    default:
      return -1;
  }
}

std::string WithoutSpaces(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
  return text;
}

// Distance of at most this many edits is taken as the same device.
constexpr int kCloseEnough = 3;
constexpr int kNoDistance = 10000;

}  // namespace

std::int32_t* CDeviceDetail::SourceSlot(int code) {
  const int slot = SlotOfCode(code);
  return slot < 0 ? nullptr : &sourceIndex[slot];
}

std::int32_t CDeviceDetail::SourceIndex(int code) const {
  const int slot = SlotOfCode(code);
  return slot < 0 ? -1 : sourceIndex[slot];
}

bool CDeviceDetail::Link(int code, std::int32_t libraryIndex) {
  std::int32_t* slot = SourceSlot(code);
  if (slot == nullptr) return false;
  *slot = libraryIndex;
  return true;
}

int MatchSensorDevice(int count, const std::function<const std::string&(int)>& caption,
                      const std::function<const CDeviceDetail&(int)>& detail,
                      std::int32_t libraryIndex, std::string_view libraryName, int sourceCode) {
  if (libraryIndex >= 0) {
    for (int i = 0; i < count; ++i) {
      if (detail(i).SourceIndex(sourceCode) == libraryIndex) return i;
    }
  }
  auto isFree = [&](int i) { return detail(i).SourceIndex(sourceCode) == -1; };

  const std::string name = platform::ToLowerAscii(libraryName);
  const std::string nameNoSpaces = WithoutSpaces(name);
  for (int i = 0; i < count; ++i) {
    if (!isFree(i)) continue;
    const std::string cap = platform::ToLowerAscii(caption(i));
    if (cap == name || WithoutSpaces(cap) == nameNoSpaces) return i;
  }

  auto nearest = [&](bool dropSpaces) {
    int best = kNoDistance;
    int bestSlot = -1;
    for (int i = 0; i < count; ++i) {
      if (!isFree(i)) continue;
      std::string cap = platform::ToLowerAscii(caption(i));
      if (dropSpaces) cap = WithoutSpaces(cap);
      const int d = EditDistance(dropSpaces ? nameNoSpaces : name, cap);
      if (d >= 0 && d < best) {  // a failed distance (-1) never wins
        best = d;
        bestSlot = i;
      }
    }
    return std::pair{bestSlot, best};
  };
  if (auto [slot, d] = nearest(false); slot >= 0 && d <= kCloseEnough) return slot;
  return nearest(true).first;
}

}  // namespace korvane
