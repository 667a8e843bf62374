#pragma once
// The per-device record that links a library sensor device to a detected disk or display
// adapter, and the name matching both detectors use to find that device.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace korvane {

class CDeviceState {
 public:
  virtual ~CDeviceState() = default;
};

class CDeviceData {
 public:
  virtual ~CDeviceData() = default;
  // Owned by the sensor report; the detectors only set the start values.
  std::int32_t reading = -100;
  std::int32_t secondValue = -1;
  std::int32_t counters[2] = {0, 0};
  std::int32_t furtherValues[2] = {-1, -1};
};

// Library source codes of a sensor device link.
inline constexpr int kSensorSourceDisplay1 = 1;
inline constexpr int kSensorSourceDisk = 2;
inline constexpr int kSensorSourceDisplay4 = 4;
inline constexpr int kSensorSourceDisplay8 = 8;

class CDeviceDetail : public CDeviceData {
 public:
  CDeviceState state;
  std::uint8_t stateBytes[16] = {};
  // Library device index per source slot; -1 = nothing linked.
  std::int32_t sourceIndex[4] = {-1, -1, -1, -1};

  // The slot a source code selects (2 -> slot 1, 1 -> slot 2, 8 -> slot 3, 4 -> slot 4);
  // nullptr for any other code.
  std::int32_t* SourceSlot(int code);
  // The linked library index for a code; -1 when none is linked or the code selects no slot.
  std::int32_t SourceIndex(int code) const;
  // Records a link; false for a code that selects no slot.
  bool Link(int code, std::int32_t libraryIndex);
};

// The matching over `count` devices: the device already linked to the library index, else an
// equal caption (ignoring case, then also spaces) among the unlinked ones, else the nearest
// unlinked caption by edit distance. -1 when no device is free.
int MatchSensorDevice(int count, const std::function<const std::string&(int)>& caption,
                      const std::function<const CDeviceDetail&(int)>& detail,
                      std::int32_t libraryIndex, std::string_view libraryName, int sourceCode);

}  // namespace korvane
