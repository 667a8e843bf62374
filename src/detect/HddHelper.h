#pragma once
// The disk detector: the fixed disks the management interface lists, at most sixteen.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "detect/DeviceDetail.h"
#include "detect/DeviceHelper.h"

namespace korvane {

inline constexpr int kMaxDisks = 16;

class CHddHelper : public CDeviceHelper {
 public:
  struct Disk {
    std::string caption;
    std::string name;
    std::string pnpDeviceId;
    std::string manufacturer;
    std::string size;  // decimal byte count as the interface gives it
    std::string interfaceType;
    std::string model;
    std::string status;
    std::int32_t index = 0;
    std::int32_t partitions = 0;
    std::int32_t bytesPerSector = 0;
    std::int32_t sectorsPerTrack = 0;
    std::string totalCylinders;
    std::int32_t totalHeads = 0;
    std::string totalSectors;
    std::string totalTracks;
    std::int32_t tracksPerCylinder = 0;
    CDeviceDetail detail;
  };

  // Detects once per lifetime.
  void vUpdate() override;
  std::int32_t vGetMaxItems() override { return kMaxDisks; }

  // The disk slot for a library drive (index -1 when unknown), or -1.
  int FindDeviceForSensor(std::int32_t libraryIndex, std::string_view libraryName,
                          int sourceCode) const;

  std::array<Disk, kMaxDisks> disks{};

 private:
  int QueryDisks();
};

}  // namespace korvane
