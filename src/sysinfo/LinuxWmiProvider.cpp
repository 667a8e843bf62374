#include "sysinfo/LinuxWmiProvider.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "platform/Sysroot.h"
#include "platform/Text.h"
#include "sysinfo/DrmDisplay.h"
#include "sysinfo/DrmDriverInfo.h"
#include "sysinfo/Edid.h"
#include "sysinfo/PciNames.h"
#include "sysinfo/UsbAudio.h"
#include "sysinfo/WindowsIds.h"

namespace korvane {

namespace {

Variant Str(std::string text) { return Variant::String(std::move(text)); }
Variant I4(long long value) {
  // WMI's 32-bit properties keep the low 32 bits (an unsigned value above 2^31 reads negative).
  return Variant::Int32(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
}
Variant StrOrNull(const std::string& text) { return text.empty() ? Variant::Null() : Str(text); }

bool IsDisplayClass(std::uint32_t classCode) { return ((classCode >> 16) & 0xFF) == 0x03; }

std::string WmiDate(const std::string& yyyymmdd) {
  if (yyyymmdd.size() != 8) return {};
  return yyyymmdd + "000000.000000-000";
}

std::uint64_t VideoMemory(const PciDeviceInfo& p) {
  if (p.vramTotal) return *p.vramTotal;
  // The largest prefetchable memory window is the frame buffer aperture; without one, the
  // largest memory window.
  std::uint64_t best = 0;
  for (const PciBar& bar : p.bars) {
    if (bar.IsMemory() && bar.IsPrefetchable()) best = std::max(best, bar.size);
  }
  if (best == 0) {
    for (const PciBar& bar : p.bars) {
      if (bar.IsMemory()) best = std::max(best, bar.size);
    }
  }
  return best;
}

std::string VideoCaption(const PciDeviceInfo& p) {
  const std::string vendor = PciVendorName(p.vendor);
  const std::string deviceName = PciDeviceName(p.vendor, p.device);
  if (deviceName.empty()) return PciFriendlyName(p);
  std::string marketing = PciMarketingName(deviceName);
  // A board maker's entry ("Radeon RX 580") is the marketing name when it names the same chip
  // family; other subsystem entries name the computer ("ThinkPad X1") and are not used.
  const std::string sub = PciSubsystemName(p.vendor, p.device, p.subVendor, p.subDevice);
  const std::string family = platform::ToLowerAscii(marketing.substr(0, marketing.find(' ')));
  if (!sub.empty() && family.size() >= 3 && platform::ToLowerAscii(sub).find(family) != std::string::npos) {
    marketing = sub;
  }
  const std::string shortVendor = PciVendorShortName(vendor);
  if (!shortVendor.empty() &&
      platform::ToLowerAscii(marketing).rfind(platform::ToLowerAscii(shortVendor), 0) != 0) {
    return shortVendor + " " + marketing;
  }
  return marketing;
}

}  // namespace

const std::vector<std::string_view>& SupportedWmiClasses() {
  static const std::vector<std::string_view> classes{"Win32_DiskDrive",         "Win32_VideoController",
                                                     "Win32_DesktopMonitor",    "Win32_DisplayConfiguration",
                                                     "Win32_SoundDevice",       "Win32_CacheMemory"};
  return classes;
}

DiskGeometry WindowsDiskGeometry(std::uint64_t sizeBytes, std::uint32_t bytesPerSector) {
  DiskGeometry g;
  if (bytesPerSector == 0) return g;
  g.cylinders = sizeBytes / (255ull * 63ull * bytesPerSector);
  g.tracks = g.cylinders * 255;
  g.sectors = g.tracks * 63;
  return g;
}

std::vector<WmiObject> BuildDiskDrives(const std::vector<DiskInfo>& disks) {
  std::vector<WmiObject> objects;
  int index = 0;
  for (const DiskInfo& d : disks) {
    WmiObject o("Win32_DiskDrive");
    const std::string model = DiskModel(d);
    const DiskGeometry g = WindowsDiskGeometry(d.sizeBytes, d.logicalBlockSize);
    o.Put("Caption", Str(model));
    o.Put("Name", Str(platform::Format("\\\\.\\PHYSICALDRIVE%d", index)));
    o.Put("DeviceID", Str(platform::Format("\\\\.\\PHYSICALDRIVE%d", index)));
    o.Put("PNPDeviceID", Str(DiskInstanceId(d)));
    o.Put("Manufacturer", Str("(Standard disk drives)"));
    // The byte count the kernel reports, not the cylinder-rounded product of the geometry
    // below, so the capacity shown is the disk's real one. A disk without media has none.
    o.Put("Size", d.sizeBytes == 0 ? Variant::Null() : Str(std::to_string(d.sizeBytes)));
    o.Put("InterfaceType", Str(DiskInterfaceType(d)));
    o.Put("MediaType", Str(d.removable ? "Removable Media" : "Fixed hard disk media"));
    o.Put("Model", Str(model));
    o.Put("SerialNumber", StrOrNull(d.serial));
    o.Put("FirmwareRevision", StrOrNull(d.revision));
    o.Put("Status", Str("OK"));
    o.Put("Index", I4(index));
    o.Put("Partitions", I4(d.partitions));
    o.Put("BytesPerSector", I4(d.logicalBlockSize));
    o.Put("SectorsPerTrack", I4(63));
    o.Put("TotalCylinders", Str(std::to_string(g.cylinders)));
    o.Put("TotalHeads", I4(255));
    o.Put("TotalSectors", Str(std::to_string(g.sectors)));
    o.Put("TotalTracks", Str(std::to_string(g.tracks)));
    o.Put("TracksPerCylinder", I4(255));
    objects.push_back(std::move(o));
    ++index;
  }
  return objects;
}

DisplayMode CurrentDisplayMode(const DrmConnectorInfo& c) {
  DisplayMode mode;
  const auto edid = ParseEdid(c.edid);
  if (!c.modes.empty()) {
    const std::string& first = c.modes.front();
    const auto x = first.find('x');
    if (x != std::string::npos) {
      int w = 0, h = 0;
      const char* begin = first.data();
      const char* end = first.data() + first.size();
      const auto r1 = std::from_chars(begin, begin + x, w);
      const auto r2 = std::from_chars(begin + x + 1, end, h);
      if (r1.ec == std::errc() && r2.ec == std::errc()) {
        mode.width = w;
        mode.height = h;
      }
    }
  }
  if (mode.width == 0 && edid && edid->preferred) {
    mode.width = edid->preferred->width;
    mode.height = edid->preferred->height;
  }
  if (edid && edid->preferred && edid->preferred->width == mode.width && edid->preferred->height == mode.height &&
      edid->preferred->refreshHz > 0) {
    mode.refreshHz = edid->preferred->refreshHz;
  } else if (mode.width > 0) {
    mode.refreshHz = 60;
  }
  return mode;
}

std::vector<WmiObject> BuildVideoControllers(const std::vector<PciDeviceInfo>& pci,
                                             const std::vector<DrmConnectorInfo>& connectors,
                                             std::string_view kernelRelease, std::string_view kernelDate) {
  std::vector<WmiObject> objects;
  int number = 1;
  for (const PciDeviceInfo& p : pci) {
    if (!IsDisplayClass(p.classCode)) continue;
    WmiObject o("Win32_VideoController");
    const std::string caption = VideoCaption(p);
    const std::string vendor = PciVendorPlainName(PciVendorName(p.vendor));
    o.Put("Caption", Str(caption));
    o.Put("Name", Str(caption));
    o.Put("Description", Str(caption));
    o.Put("DeviceID", Str(platform::Format("VideoController%d", number++)));
    o.Put("PNPDeviceID", Str(PciInstanceId(p)));
    o.Put("AdapterCompatibility", StrOrNull(vendor));
    // Chips on the root bus are built into the processor or chipset.
    o.Put("AdapterDACType", Str(p.bus == 0 ? "Internal" : "Integrated RAMDAC"));
    const std::uint64_t vram = VideoMemory(p);
    o.Put("AdapterRAM", vram == 0 ? Variant::Null()
                                  : I4(static_cast<long long>(std::min<std::uint64_t>(vram, 0xFFFFFFFFull))));
    // The bound module names the driver; a module built with the kernel carries the kernel's
    // release and, without a file of its own, the kernel's build date.
    const std::string module = BoundModuleName(p.address, p.driver);
    std::string version = DriverModuleVersion(module);
    if (version.empty()) version = std::string(kernelRelease);
    o.Put("DriverVersion", p.driver.empty() ? Variant::Null() : StrOrNull(version));
    std::string date = WmiDate(ModuleFileDate(module, kernelRelease));
    if (date.empty()) date = WmiDate(std::string(kernelDate));
    o.Put("DriverDate", p.driver.empty() ? Variant::Null() : StrOrNull(date));
    o.Put("InstalledDisplayDrivers", StrOrNull(p.driver));
    o.Put("VideoProcessor", StrOrNull(PciMarketingName(PciDeviceName(p.vendor, p.device))));
    o.Put("VideoArchitecture", I4(5));
    o.Put("VideoMemoryType", I4(2));
    o.Put("CurrentScanMode", I4(4));
    const auto active = std::find_if(connectors.begin(), connectors.end(), [&](const DrmConnectorInfo& c) {
      return c.connected && c.pciAddress == p.address;
    });
    if (active != connectors.end()) {
      const DisplayMode mode = CurrentDisplayMode(*active);
      o.Put("CurrentHorizontalResolution", I4(mode.width));
      o.Put("CurrentVerticalResolution", I4(mode.height));
      o.Put("CurrentRefreshRate", I4(mode.refreshHz));
      o.Put("CurrentBitsPerPixel", I4(32));
    } else {
      o.Put("CurrentHorizontalResolution", Variant::Null());
      o.Put("CurrentVerticalResolution", Variant::Null());
      o.Put("CurrentRefreshRate", Variant::Null());
      o.Put("CurrentBitsPerPixel", Variant::Null());
    }
    o.Put("Status", Str("OK"));
    o.Put("ConfigManagerErrorCode", I4(0));
    objects.push_back(std::move(o));
  }
  return objects;
}

std::vector<WmiObject> BuildDesktopMonitors(const std::vector<DrmConnectorInfo>& connectors) {
  std::vector<WmiObject> objects;
  int number = 1;
  for (const DrmConnectorInfo& c : connectors) {
    if (!c.connected) continue;
    WmiObject o("Win32_DesktopMonitor");
    const std::string name = MonitorFriendlyName(c);
    const DisplayMode mode = CurrentDisplayMode(c);
    o.Put("Caption", Str(name));
    o.Put("Name", Str(name));
    o.Put("Description", Str(name));
    o.Put("DeviceID", Str(platform::Format("DesktopMonitor%d", number++)));
    o.Put("MonitorManufacturer", Str("(Standard monitor types)"));
    o.Put("MonitorType", Str(name));
    o.Put("PNPDeviceID", Str(MonitorInstanceId(c)));
    o.Put("ScreenWidth", mode.width > 0 ? I4(mode.width) : Variant::Null());
    o.Put("ScreenHeight", mode.height > 0 ? I4(mode.height) : Variant::Null());
    o.Put("Status", Str("OK"));
    o.Put("ConfigManagerErrorCode", I4(0));
    // Logical inches are a desktop setting, not a panel property: 96 is the unscaled value.
    o.Put("PixelsPerXLogicalInch", I4(96));
    o.Put("PixelsPerYLogicalInch", I4(96));
    objects.push_back(std::move(o));
  }
  return objects;
}

std::vector<WmiObject> BuildDisplayConfigurations(const std::vector<DrmConnectorInfo>& connectors) {
  std::vector<WmiObject> objects;
  for (const DrmConnectorInfo& c : connectors) {
    if (!c.connected) continue;
    const DisplayMode mode = CurrentDisplayMode(c);
    WmiObject o("Win32_DisplayConfiguration");
    o.Put("Caption", Str(MonitorFriendlyName(c)));
    o.Put("DeviceName", Str(c.name));
    o.Put("SettingID", Str(c.name));
    o.Put("BitsPerPel", I4(32));
    o.Put("DisplayFrequency", mode.refreshHz > 0 ? I4(mode.refreshHz) : Variant::Null());
    o.Put("PelsWidth", mode.width > 0 ? I4(mode.width) : Variant::Null());
    o.Put("PelsHeight", mode.height > 0 ? I4(mode.height) : Variant::Null());
    objects.push_back(std::move(o));
  }
  return objects;
}

std::vector<WmiObject> BuildSoundDevices(const std::vector<SoundCardInfo>& cards, const std::vector<PciDeviceInfo>& pci) {
  std::vector<WmiObject> objects;
  for (const SoundCardInfo& card : cards) {
    const auto controller = std::find_if(pci.begin(), pci.end(), [&](const PciDeviceInfo& p) {
      return p.address == card.pciAddress;
    });
    const std::string controllerPath =
        controller != pci.end() ? controller->sysPath : (card.pciAddress.empty() ? card.id : card.pciAddress);
    bool listed = false;
    for (const HdaCodecInfo& codec : card.codecs) {
      // Modem codecs are modems, not sound devices.
      if (!codec.audioFunction && codec.modemFunction) continue;
      WmiObject o("Win32_SoundDevice");
      const std::string id = HdaInstanceId(codec, controllerPath);
      const std::string name = codec.name.empty() ? card.shortName : codec.name;
      o.Put("Caption", Str(name));
      o.Put("Name", Str(name));
      o.Put("ProductName", Str(name));
      o.Put("Description", Str(name));
      o.Put("Manufacturer", StrOrNull(HdaManufacturer(codec)));
      o.Put("DeviceID", Str(id));
      o.Put("PNPDeviceID", Str(id));
      o.Put("Status", Str("OK"));
      o.Put("StatusInfo", I4(3));
      o.Put("ConfigManagerErrorCode", I4(0));
      objects.push_back(std::move(o));
      listed = true;
    }
    // A card whose codecs are all modems has no sound device; a card without codec listings
    // (USB audio, other buses) is one device.
    if (listed || !card.codecs.empty()) continue;
    WmiObject o("Win32_SoundDevice");
    std::string id;
    std::string manufacturer;
    if (controller != pci.end()) {
      id = PciInstanceId(*controller);
      manufacturer = PciVendorPlainName(PciVendorName(controller->vendor));
    } else {
      id = "SWD\\ALSA\\" + InstanceSuffix(1, card.id, platform::Format("CARD%d", card.index));
    }
    const std::string name = card.shortName.empty() ? card.id : card.shortName;
    o.Put("Caption", Str(name));
    o.Put("Name", Str(name));
    o.Put("ProductName", Str(name));
    o.Put("Description", Str(card.longName.empty() ? name : card.longName));
    o.Put("Manufacturer", StrOrNull(manufacturer));
    o.Put("DeviceID", Str(id));
    o.Put("PNPDeviceID", Str(id));
    o.Put("Status", Str("OK"));
    o.Put("StatusInfo", I4(3));
    o.Put("ConfigManagerErrorCode", I4(0));
    objects.push_back(std::move(o));
  }
  return objects;
}

std::vector<WmiObject> BuildCacheMemory() {
  // Windows lists the processor caches here; memory totals are not part of the class, so the
  // memory fallback that asks for them finds none.
  std::vector<WmiObject> objects;
  const std::string base = "/sys/devices/system/cpu/cpu0/cache";
  int number = 0;
  for (const std::string& entry : platform::ListSysDir(base)) {
    if (entry.rfind("index", 0) != 0) continue;
    const std::string dir = base + "/" + entry;
    const auto level = platform::ReadSysInteger(dir + "/level");
    const auto kb = ParseCacheSizeKB(platform::ReadSysLine(dir + "/size").value_or(""));
    if (!level || *level < 1 || *level > 9 || !kb) continue;  // out of range: unavailable
    WmiObject o("Win32_CacheMemory");
    o.Put("Caption", Str("Cache Memory"));
    o.Put("Name", Str("Cache Memory"));
    o.Put("DeviceID", Str(platform::Format("Cache Memory %d", number++)));
    o.Put("Purpose", Str(platform::Format("L%lld Cache", *level)));
    o.Put("Level", I4(*level + 2));  // 3 = primary, 4 = secondary, 5 = tertiary
    o.Put("InstalledSize", I4(*kb));
    o.Put("MaxCacheSize", I4(*kb));
    o.Put("Status", Str("OK"));
    objects.push_back(std::move(o));
  }
  return objects;
}

std::vector<WmiObject> LinuxWmiProvider::Instances(std::string_view className) {
  auto is = [&](std::string_view name) { return platform::EqualsIgnoreCase(className, name); };
  if (is("Win32_DiskDrive")) return BuildDiskDrives(ScanDisks());
  if (is("Win32_VideoController")) {
    std::vector<PciDeviceInfo> pci = ScanPciDevices();
    AddDrmCardPciDevices(pci);
    return BuildVideoControllers(pci, ScanDrmConnectors(), KernelRelease(), KernelBuildDateOfRunningKernel());
  }
  if (is("Win32_DesktopMonitor")) return BuildDesktopMonitors(ScanDrmConnectors());
  if (is("Win32_DisplayConfiguration")) return BuildDisplayConfigurations(ScanDrmConnectors());
  if (is("Win32_SoundDevice")) return BuildSoundDevicesWithUsb(ScanSoundCards(), ScanPciDevices());
  if (is("Win32_CacheMemory")) return BuildCacheMemory();
  return {};
}

}  // namespace korvane
