#pragma once
// What the machine's files say about its devices: PCI functions, disks, display connectors,
// sound cards and codecs, USB devices and processors. Every read goes through the sysroot, so
// a recorded machine answers the same way the running one does. The text parsers are separate
// and take the file contents.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sysinfo/HdaCodec.h"

namespace korvane {

struct PciBar {
  std::uint64_t start = 0;
  std::uint64_t size = 0;
  std::uint64_t flags = 0;
  bool IsMemory() const { return (flags & 0x200) != 0; }
  bool IsPrefetchable() const { return (flags & 0x2000) != 0; }
};

struct PciDeviceInfo {
  std::string address;            // "0000:01:00.0"
  unsigned bus = 0, slot = 0, function = 0;
  std::uint16_t vendor = 0, device = 0, subVendor = 0, subDevice = 0;
  std::uint32_t classCode = 0;    // 24 bits: class, subclass, programming interface
  std::uint8_t revision = 0;
  std::string driver;             // bound kernel driver, "" when none
  std::vector<PciBar> bars;       // the six base address registers
  std::optional<std::uint64_t> vramTotal;  // what the driver reports (amdgpu), if anything
  std::string sysPath;            // where the device's directory really is (for stable ids)
};

struct DiskInfo {
  std::string name;               // "nvme0n1", "sda", "vda"
  std::uint64_t sizeBytes = 0;
  std::uint32_t logicalBlockSize = 512;
  int partitions = 0;
  bool removable = false;
  std::string bus;                // "nvme", "ata", "usb", "virtio", "mmc", "scsi"
  std::string model, vendor, serial, revision;
  std::string sysPath;
};

struct DrmConnectorInfo {
  std::string name;               // "card0-HDMI-A-1"
  std::string card;               // "card0"
  std::string connectorType;      // "HDMI-A"
  bool connected = false;
  std::vector<std::uint8_t> edid;
  std::vector<std::string> modes; // "1920x1080", preferred first as the kernel lists them
  std::string pciAddress;         // of the graphics device, "" when not on PCI
  std::string sysPath;
};

struct SoundCardInfo {
  int index = -1;
  std::string id;                 // "PCH"
  std::string driver;             // "HDA-Intel"
  std::string shortName;          // "HDA Intel PCH"
  std::string longName;
  std::vector<HdaCodecInfo> codecs;
  std::string pciAddress;
};

struct UsbDeviceInfo {
  std::string sysName;            // "1-2", "usb1"
  std::uint16_t vendor = 0, product = 0;
  std::uint8_t deviceClass = 0;
  std::vector<std::uint8_t> interfaceClasses;
  std::string manufacturer, productName, serial;
  std::string version;            // "2.00"
  bool rootHub = false;
};

struct ProcessorInfo {
  int index = 0;
  std::string vendorId;           // "GenuineIntel"
  std::string modelName;
  int family = 0, model = 0;
};

struct AsoundCardLine {
  int index = -1;
  std::string id, driver, shortName, longName;
};

// Parsers over file contents.
std::vector<AsoundCardLine> ParseAsoundCards(std::string_view text);
std::vector<PciBar> ParsePciResource(std::string_view text);
std::vector<ProcessorInfo> ParseCpuinfo(std::string_view text);
std::vector<std::string> ParseDrmModes(std::string_view text);
// The identity strings of an ATA IDENTIFY DEVICE dump as the kernel shows it (ata_device "id":
// 256 words in hexadecimal). The kernel's SCSI model field holds only 16 characters; this
// one holds the whole model.
struct AtaIdentity {
  std::string model, serial, firmware;
};
std::optional<AtaIdentity> ParseAtaIdentify(std::string_view text);
// A cache "size" attribute ("32K", "1280K", "16M", "1G") in KiB; nullopt when it is not such a
// size or does not fit a 32-bit WMI property.
std::optional<std::int32_t> ParseCacheSizeKB(std::string_view text);
// The last "dddd:bb:ss.f" component of a sysfs path, "" when there is none.
std::string PciAddressInPath(std::string_view path);
// A build date in a kernel version text ("... (2024-10-24)" or "... Thu Oct 24 12:00:00 UTC 2024")
// as YYYYMMDD; "" when none is found.
std::string KernelBuildDate(std::string_view versionText);

// Readers over the sysroot.
std::vector<PciDeviceInfo> ScanPciDevices();
std::vector<DiskInfo> ScanDisks();
std::vector<DrmConnectorInfo> ScanDrmConnectors();
std::vector<SoundCardInfo> ScanSoundCards();
std::vector<UsbDeviceInfo> ScanUsbDevices();
std::vector<ProcessorInfo> ScanProcessors();
// The kernel release ("6.1.0-13-amd64") and the module version of a driver, if it has one.
std::string KernelRelease();
std::string DriverModuleVersion(std::string_view driver);
std::string KernelBuildDateOfRunningKernel();
// The machine architecture as the kernel names it ("x86_64"), falling back to this build's.
std::string MachineArchitecture();

}  // namespace korvane
