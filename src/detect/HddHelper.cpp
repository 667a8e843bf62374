#include "detect/HddHelper.h"

#include <memory>

#include "sysinfo/Wmi.h"

namespace korvane {

void CHddHelper::vUpdate() {
  DetectOnce([this] { return QueryDisks(); });
}

int CHddHelper::QueryDisks() {
  WmiQuery query("Select * From Win32_DiskDrive");
  if (!query.Ok()) return 0;
  int result = 0;
  int i = 0;
  while (i < kMaxDisks) {
    std::unique_ptr<WmiObject> object = query.Next();
    if (!object) break;
    ++count;
    result = 1;
    Disk& d = disks[static_cast<std::size_t>(i)];
    // A property that is missing or of another type leaves the field as it was.
    auto text = [&](const char* property, std::string& field) {
      std::string value;
      if (GetStringProperty(*object, property, &value)) field = std::move(value);
    };
    auto number = [&](const char* property, std::int32_t& field) {
      std::int32_t value = 0;
      if (GetInt32Property(*object, property, &value)) field = value;
    };
    text("Caption", d.caption);
    text("Name", d.name);
    text("PNPDeviceID", d.pnpDeviceId);
    text("Manufacturer", d.manufacturer);
    text("Size", d.size);
    text("InterfaceType", d.interfaceType);
    text("Model", d.model);
    text("Status", d.status);
    number("Index", d.index);
    number("Partitions", d.partitions);
    number("BytesPerSector", d.bytesPerSector);
    number("SectorsPerTrack", d.sectorsPerTrack);
    text("TotalCylinders", d.totalCylinders);
    number("TotalHeads", d.totalHeads);
    text("TotalSectors", d.totalSectors);
    text("TotalTracks", d.totalTracks);
    number("TracksPerCylinder", d.tracksPerCylinder);
    ++i;
  }
  count = i;
  return result;
}

int CHddHelper::FindDeviceForSensor(std::int32_t libraryIndex, std::string_view libraryName,
                                    int sourceCode) const {
  const int n = count < 0 ? 0 : (count > kMaxDisks ? kMaxDisks : count);
  return MatchSensorDevice(
      n, [this](int i) -> const std::string& { return disks[static_cast<std::size_t>(i)].caption; },
      [this](int i) -> const CDeviceDetail& { return disks[static_cast<std::size_t>(i)].detail; },
      libraryIndex, libraryName, sourceCode);
}

}  // namespace korvane
