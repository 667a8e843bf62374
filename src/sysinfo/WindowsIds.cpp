#include "sysinfo/WindowsIds.h"

#include <algorithm>

#include "platform/Text.h"
#include "sysinfo/Edid.h"
#include "sysinfo/PciNames.h"
#include "sysinfo/UsbIds.h"

namespace korvane {

namespace {

std::uint32_t Fnv1a(std::string_view text) {
  std::uint32_t hash = 2166136261u;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash;
}

// Upper case, spaces to underscores, cut: the way storage drivers build the VEN_/PROD_ parts.
std::string IdPart(std::string_view text, std::size_t maxLength) {
  std::string out = platform::ToUpperAscii(platform::Trim(text));
  for (char& c : out) {
    if (c == ' ' || static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F || c == '\\' ||
        c == '&') {
      c = '_';
    }
  }
  if (out.size() > maxLength) out.resize(maxLength);
  while (!out.empty() && out.back() == '_') out.pop_back();
  return out;
}

}  // namespace

std::string InstanceSuffix(int level, std::string_view stablePath, std::string_view tail) {
  return platform::Format("%d&%08X&0&", level, Fnv1a(stablePath)) + std::string(tail);
}

std::string PciHardwareId(const PciDeviceInfo& p) {
  return platform::Format("PCI\\VEN_%04X&DEV_%04X&SUBSYS_%04X%04X&REV_%02X", p.vendor, p.device, p.subDevice,
                          p.subVendor, p.revision);
}

std::string PciInstanceId(const PciDeviceInfo& p) {
  // The tail is the device and function number as Windows writes it ("&0&10" for 02.0).
  const std::string parent = p.sysPath.substr(0, p.sysPath.rfind('/'));
  return PciHardwareId(p) + "\\" +
         InstanceSuffix(3, parent.empty() ? p.address : parent, platform::Format("%02X", (p.slot << 3) | p.function));
}

std::string PciSetupClass(std::uint32_t classCode24) {
  const unsigned base = (classCode24 >> 16) & 0xFF;
  const unsigned sub = (classCode24 >> 8) & 0xFF;
  switch (base) {
    case 0x00: return sub == 0x01 ? "Display" : "System";
    case 0x01:
      // IDE and AHCI controllers are "IDE ATA/ATAPI controllers"; the rest "Storage controllers".
      return (sub == 0x01 || sub == 0x06) ? "hdc" : "SCSIAdapter";
    case 0x02: return "Net";
    case 0x03: return "Display";
    case 0x04:
      // The high-definition-audio controller is a system device; its codecs are MEDIA.
      return sub == 0x03 ? "System" : "MEDIA";
    case 0x05: return "System";
    case 0x06: return "System";
    case 0x07: return sub == 0x00 ? "Ports" : sub == 0x03 ? "Modem" : "System";
    case 0x08: return "System";
    case 0x09: return sub == 0x00 ? "Keyboard" : sub == 0x02 ? "Mouse" : "HIDClass";
    case 0x0B: return "Processor";
    case 0x0C:
      switch (sub) {
        case 0x00: return "1394";
        case 0x03: return "USB";
        case 0x04: return "SCSIAdapter";
        default: return "System";
      }
    case 0x0D: return sub == 0x11 ? "Bluetooth" : "Net";
    default: return "System";
  }
}

std::string PciFriendlyName(const PciDeviceInfo& p) {
  std::string name = PciDeviceName(p.vendor, p.device);
  if (!name.empty()) return name;
  name = PciClassName(p.classCode);
  if (!name.empty()) return name;
  return platform::Format("PCI Device %04X:%04X", p.vendor, p.device);
}

std::string HdaInstanceId(const HdaCodecInfo& c, std::string_view controllerPath) {
  const int function = c.audioFunction || !c.modemFunction ? 1 : 2;
  return platform::Format("HDAUDIO\\FUNC_%02d&VEN_%04X&DEV_%04X&SUBSYS_%08X&REV_%04X\\", function, c.VendorPart(),
                          c.DevicePart(), c.subsystemId, c.RevisionPart()) +
         InstanceSuffix(4, controllerPath, platform::Format("%04X", ((c.address < 0 ? 0 : c.address) << 8) | function));
}

std::string HdaManufacturer(const HdaCodecInfo& c) {
  std::string vendor = PciVendorPlainName(PciVendorName(c.VendorPart()));
  if (!vendor.empty()) return vendor;
  const auto space = c.name.find(' ');
  return space == std::string::npos ? c.name : c.name.substr(0, space);
}

std::string UsbInstanceId(const UsbDeviceInfo& u) {
  if (u.rootHub) {
    const bool usb3 = !u.version.empty() && u.version[0] >= '3';
    return std::string(usb3 ? "USB\\ROOT_HUB30\\" : "USB\\ROOT_HUB20\\") + InstanceSuffix(4, u.sysName, "0");
  }
  std::string tail;
  // A serial number that is usable as an id part is what Windows keeps; otherwise the port.
  const bool serialOk = !u.serial.empty() && u.serial.size() <= 64 &&
                        std::all_of(u.serial.begin(), u.serial.end(), [](char c) {
                          return c > 0x20 && c < 0x7F && c != '\\' && c != '&' && c != ',';
                        });
  if (serialOk) {
    tail = u.serial;
  } else {
    const auto dot = u.sysName.rfind('.');
    const auto dash = u.sysName.rfind('-');
    const std::string port = u.sysName.substr((dot != std::string::npos ? dot : dash) + 1);
    tail = InstanceSuffix(5, u.sysName, port);
  }
  return platform::Format("USB\\VID_%04X&PID_%04X\\", u.vendor, u.product) + tail;
}

std::string UsbSetupClass(const UsbDeviceInfo& u) {
  if (u.rootHub || u.deviceClass == 0x09) return "USB";
  std::uint8_t cls = u.deviceClass;
  if ((cls == 0x00 || cls == 0xEF) && !u.interfaceClasses.empty()) {
    // Composite devices show as "USB"; a single-function device takes its function's class.
    if (u.interfaceClasses.size() > 1 &&
        !std::all_of(u.interfaceClasses.begin(), u.interfaceClasses.end(),
                     [&](std::uint8_t c) { return c == u.interfaceClasses.front(); })) {
      return "USB";
    }
    cls = u.interfaceClasses.front();
  }
  switch (cls) {
    case 0x01: return "MEDIA";
    case 0x02: return "Ports";
    case 0x03: return "HIDClass";
    case 0x06: return "Image";
    case 0x07: return "Printer";
    case 0x08: return "USB";
    case 0x0B: return "SmartCardReader";
    case 0x0E: return "Camera";
    case 0xE0: return "Bluetooth";
    default: return "USB";
  }
}

std::string UsbFriendlyName(const UsbDeviceInfo& u) {
  if (u.rootHub) {
    const bool usb3 = !u.version.empty() && u.version[0] >= '3';
    return usb3 ? "USB Root Hub (USB 3.0)" : "USB Root Hub";
  }
  std::string name = UsbIds::System().ProductName(u.vendor, u.product);
  if (name.empty()) name = u.productName;
  if (name.empty()) {
    switch (u.deviceClass) {
      case 0x09: name = "Generic USB Hub"; break;
      default: name = "USB Composite Device"; break;
    }
  }
  return name;
}

std::string MonitorInstanceId(const DrmConnectorInfo& c) {
  const auto edid = ParseEdid(c.edid);
  const std::string model = edid ? edid->PnpId() : std::string("Default_Monitor");
  return "DISPLAY\\" + model + "\\" + InstanceSuffix(5, c.sysPath.empty() ? c.name : c.sysPath, "UID" + c.name);
}

std::string MonitorFriendlyName(const DrmConnectorInfo& c) {
  const auto edid = ParseEdid(c.edid);
  if (edid && !edid->monitorName.empty()) return edid->monitorName;
  return "Generic PnP Monitor";
}

std::string DiskModel(const DiskInfo& d) {
  if (d.bus == "virtio") return d.model.empty() ? "Red Hat VirtIO SCSI Disk Device" : d.model;
  if (d.bus == "usb") {
    std::string name = platform::Trim(d.vendor + " " + d.model);
    return (name.empty() ? std::string("Generic") : name) + " USB Device";
  }
  if (d.bus == "scsi") {
    std::string name = platform::Trim((d.vendor == "ATA" ? std::string() : d.vendor) + " " + d.model);
    return (name.empty() ? std::string("Generic") : name) + " SCSI Disk Device";
  }
  return d.model.empty() ? std::string("Disk drive") : d.model;
}

std::string DiskInterfaceType(const DiskInfo& d) {
  if (d.bus == "ata") return "IDE";
  if (d.bus == "usb") return "USB";
  return "SCSI";
}

std::string DiskInstanceId(const DiskInfo& d) {
  const std::string path = d.sysPath.empty() ? d.name : d.sysPath;
  if (d.bus == "usb") {
    return "USBSTOR\\DISK&VEN_" + IdPart(d.vendor, 8) + "&PROD_" + IdPart(d.model, 16) + "&REV_" +
           IdPart(d.revision, 4) + "\\" + (d.serial.empty() ? InstanceSuffix(7, path, "0") : IdPart(d.serial, 64) + "&0");
  }
  std::string vendor;
  std::string product;
  if (d.bus == "nvme") {
    vendor = "NVME";
    product = IdPart(d.model, 16);
  } else if (d.bus == "virtio") {
    vendor = "RED_HAT";
    product = "VIRTIO";
  } else if (d.bus == "ata" || d.vendor == "ATA" || d.vendor.empty()) {
    // ATA models carry the maker as their first word ("Samsung SSD 860 EVO 500GB").
    const auto space = d.model.find(' ');
    if (space != std::string::npos && space <= 8) {
      vendor = IdPart(d.model.substr(0, space), 8);
      product = IdPart(d.model.substr(space + 1), 16);
    } else {
      product = IdPart(d.model, 16);
    }
  } else {
    vendor = IdPart(d.vendor, 8);
    product = IdPart(d.model, 16);
  }
  return "SCSI\\DISK&VEN_" + vendor + "&PROD_" + product + "\\" + InstanceSuffix(4, path, "000000");
}

std::string ComputerDeviceName(std::string_view arch) {
  if (arch == "x86_64") return "ACPI x64-based PC";
  if (arch.size() == 4 && arch[0] == 'i' && arch.substr(2) == "86") return "ACPI x86-based PC";
  if (arch == "aarch64" || arch == "arm64") return "ACPI ARM64-based PC";
  return "ACPI " + std::string(arch) + "-based PC";
}

}  // namespace korvane
