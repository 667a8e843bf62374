#include "detect/DisplayHelper.h"

#include <memory>

#include "config/LanguageRes.h"
#include "platform/Text.h"
#include "sysinfo/DeviceEnum.h"
#include "sysinfo/Wmi.h"

namespace korvane {

std::string VideoMemoryTypeText(std::int32_t value) {
  switch (value) {
    case 1:
      return LangText(kTextOthers);
    case 2:
      return LangText(kTextUnknown);
    case 3:
      return "VRAM";
    case 4:
      return "DRAM";
    case 5:
      return "SRAM";
    case 6:
      return "WRAM";
    case 7:
      return "EDO RAM";
    case 8:
      return "Burst Synchronous DRAM";
    case 9:
      return "Pipelined Burst SRAM";
    case 10:
      return "CDRAM";
    case 11:
      return "3DRAM";
    case 12:
      return "SDRAM";
    case 13:
      return "SGRAM";
    default:
      return LangText(kTextEmpty);
  }
}

std::string VideoArchitectureText(std::int32_t value) {
  switch (value) {
    case 1:
      return LangText(kTextOthers);
    case 2:
      return LangText(kTextUnknown);
    case 3:
      return "CGA";
    case 4:
      return "EGA";
    case 5:
      return "VGA";
    case 6:
      return "SVGA";
    case 7:
      return "MDA";
    case 8:
      return "HGC";
    case 9:
      return "MCGA";
    case 10:
      return "8514A";
    case 11:
      return "XGA";
    case 12:
      return "Linear Frame Buffer";
    case 160:
      return "PC-98";
    default:
      return LangText(kTextEmpty);
  }
}

std::string ScanModeText(std::int32_t value) {
  switch (value) {
    case 1:
      return LangText(kTextOthers);
    case 2:
      return LangText(kTextUnknown);
    case 3:
      return LangText(kTextInterleaved);
    case 4:
      return LangText(kTextNonInterleaved);
    default:
      return LangText(kTextEmpty);
  }
}

std::string ReformatDriverDate(std::string_view date) {
  auto piece = [&](std::size_t pos, std::size_t length) {
    return pos < date.size() ? std::string(date.substr(pos, length)) : std::string();
  };
  return piece(0, 4) + "-" + piece(4, 2) + "-" + piece(6, 2) + " " + piece(8, 2) + ":" +
         piece(10, 2) + ":" + piece(12, 2);
}

std::string AdapterRamText(std::int32_t value) {
  // The interface reports sizes above 2 GiB as negative 32-bit numbers: read them unsigned.
  const std::uint32_t megabytes = static_cast<std::uint32_t>(value) / 1048576u;
  return platform::Format("%dMB", static_cast<int>(megabytes));
}

void CDisplayHelper::vUpdate() {
  DetectOnce([this] { return QueryAdapters(); }, [this] { return QueryPciFallback(); });
}

bool CDisplayHelper::IsSecondaryHead(std::string_view candidate, int stored) const {
  const std::string lowered = platform::ToLowerAscii(candidate);
  const std::size_t at = lowered.find("secondary");
  if (at == std::string::npos || at <= 16) return false;
  const std::string base = platform::Trim(std::string_view(lowered).substr(0, at));
  const int n = stored < 0 ? 0 : (stored > kMaxDisplayAdapters ? kMaxDisplayAdapters : stored);
  for (int i = 0; i < n; ++i) {
    const Adapter& a = adapters[static_cast<std::size_t>(i)];
    const std::string existing =
        platform::ToLowerAscii(platform::Trim(a.caption.empty() ? a.name : a.caption));
    if (existing == base || existing == lowered) return true;
  }
  return false;
}

int CDisplayHelper::QueryAdapters() {
  WmiQuery query("Select * From Win32_VideoController");
  if (!query.Ok()) return 0;
  int result = 0;
  int i = 0;
  while (i < kMaxDisplayAdapters) {
    std::unique_ptr<WmiObject> object = query.Next();
    if (!object) break;
    result = 1;
    Adapter& a = adapters[static_cast<std::size_t>(i)];
    // The slot may hold the texts of a second head that was dropped: start it afresh.
    a = Adapter{};
    std::string value;
    if (GetStringProperty(*object, "Caption", &value)) {
      a.caption = value;
      if (IsSecondaryHead(value, i)) {
        a = Adapter{};
        continue;
      }
    }
    if (GetStringProperty(*object, "Name", &value)) {
      a.name = value;
      if (IsSecondaryHead(value, i)) {
        a = Adapter{};
        continue;
      }
    }
    ++count;
    auto text = [&](const char* property, std::string& field) {
      std::string v;
      if (GetStringProperty(*object, property, &v)) field = std::move(v);
    };
    std::int32_t number = 0;
    text("PNPDeviceID", a.pnpDeviceId);
    text("AdapterCompatibility", a.adapterCompatibility);
    text("AdapterDACType", a.dacType);
    if (GetInt32Property(*object, "AdapterRAM", &number)) a.adapterRam = AdapterRamText(number);
    if (GetStringProperty(*object, "DriverDate", &value)) a.driverDate = ReformatDriverDate(value);
    text("DriverVersion", a.driverVersion);
    if (GetInt32Property(*object, "VideoMemoryType", &number))
      a.memoryType = VideoMemoryTypeText(number);
    if (GetInt32Property(*object, "VideoArchitecture", &number))
      a.videoArchitecture = VideoArchitectureText(number);
    if (GetInt32Property(*object, "CurrentScanMode", &number)) a.scanMode = ScanModeText(number);
    text("InstalledDisplayDrivers", a.installedDisplayDrivers);
    ++i;
  }
  count = i;
  return result;
}

int CDisplayHelper::QueryPciFallback() {
  // Without a database nothing can name the devices; the enumeration would be wasted.
  if (!database_) return 0;
  const std::vector<DeviceRecord> records = EnumerateDeviceRecords("PCI", "Display");
  if (records.empty()) return 0;
  int filled = 0;
  for (const DeviceRecord& record : records) {
    if (filled >= kMaxDisplayAdapters) break;
    const std::string id = platform::Trim(RecordText(record.instanceId));
    if (id.empty()) continue;
    auto answer = std::make_unique<DeviceRecord>();
    if (!database_->Query(id, *answer)) continue;
    const std::string chip = RecordText(answer->name);
    if (IsSecondaryHead(chip, filled)) continue;
    Adapter& a = adapters[static_cast<std::size_t>(filled)];
    a = Adapter{};
    a.caption = chip;
    a.name = chip;
    a.pnpDeviceId = RecordText(answer->instanceId);
    a.adapterCompatibility = RecordText(answer->manufacturer);
    a.driverDate = RecordText(answer->releaseDate);
    a.driverVersion = RecordText(answer->driverVersion);
    ++filled;
  }
  if (filled == 0) return 0;
  count = filled;
  return 1;
}

int CDisplayHelper::FindDeviceForSensor(std::int32_t libraryIndex, std::string_view libraryName,
                                        int sourceCode) const {
  const int n = count < 0 ? 0 : (count > kMaxDisplayAdapters ? kMaxDisplayAdapters : count);
  return MatchSensorDevice(
      n,
      [this](int i) -> const std::string& { return adapters[static_cast<std::size_t>(i)].caption; },
      [this](int i) -> const CDeviceDetail& { return details[static_cast<std::size_t>(i)]; },
      libraryIndex, libraryName, sourceCode);
}

}  // namespace korvane
