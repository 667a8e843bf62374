#pragma once
// The machine's management classes, built from the Linux sources with the property names and
// types the Windows classes have (64-bit numbers as decimal strings, 32-bit integers as VT_I4).
#include <string_view>
#include <vector>

#include "sysinfo/LinuxHardware.h"
#include "sysinfo/Wmi.h"

namespace korvane {

class LinuxWmiProvider : public WmiProvider {
 public:
  std::vector<WmiObject> Instances(std::string_view className) override;
};

// The classes the provider answers, in the order the diagnosis lists them.
const std::vector<std::string_view>& SupportedWmiClasses();

// Builders over already-read facts (tested directly).
std::vector<WmiObject> BuildDiskDrives(const std::vector<DiskInfo>& disks);
std::vector<WmiObject> BuildVideoControllers(const std::vector<PciDeviceInfo>& pci,
                                             const std::vector<DrmConnectorInfo>& connectors,
                                             std::string_view kernelRelease, std::string_view kernelDate);
std::vector<WmiObject> BuildDesktopMonitors(const std::vector<DrmConnectorInfo>& connectors);
std::vector<WmiObject> BuildDisplayConfigurations(const std::vector<DrmConnectorInfo>& connectors);
std::vector<WmiObject> BuildSoundDevices(const std::vector<SoundCardInfo>& cards,
                                         const std::vector<PciDeviceInfo>& pci);
std::vector<WmiObject> BuildCacheMemory();

// Geometry as Windows reports it for any disk: 255 heads, 63 sectors per track.
struct DiskGeometry {
  std::uint64_t cylinders = 0, tracks = 0, sectors = 0;
};
DiskGeometry WindowsDiskGeometry(std::uint64_t sizeBytes, std::uint32_t bytesPerSector);

// Current mode of a connector: width, height and refresh (the first listed mode, with the
// refresh of the EDID's preferred timing when it has the same size; 60 otherwise).
struct DisplayMode {
  int width = 0, height = 0, refreshHz = 0;
};
DisplayMode CurrentDisplayMode(const DrmConnectorInfo& connector);

}  // namespace korvane
