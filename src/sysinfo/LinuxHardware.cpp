#include "sysinfo/LinuxHardware.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstring>
#include <limits>

#include "platform/Sysroot.h"
#include "platform/Text.h"
#include "sysinfo/TextLines.h"

namespace korvane {

namespace {


std::optional<std::uint64_t> ParseNumber(std::string_view text, int base) {
  std::string t = platform::Trim(text);
  std::string_view v = t;
  if (base == 16 && v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) v.remove_prefix(2);
  std::uint64_t value = 0;
  const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), value, base);
  if (ec != std::errc() || ptr == v.data()) return std::nullopt;
  return value;
}

std::optional<std::uint64_t> ReadHex(const std::string& path) {
  const auto line = platform::ReadSysLine(path);
  return line ? ParseNumber(*line, 16) : std::nullopt;
}

std::optional<std::uint64_t> ReadDec(const std::string& path) {
  const auto line = platform::ReadSysLine(path);
  return line ? ParseNumber(*line, 10) : std::nullopt;
}

std::string ReadText(const std::string& path) {
  const auto line = platform::ReadSysLine(path);
  return line ? platform::Trim(*line) : std::string();
}

std::string BaseName(std::string_view path) {
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  const auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool IsPciAddress(std::string_view s) {
  // dddd:bb:ss.f
  if (s.size() != 12 || s[4] != ':' || s[7] != ':' || s[10] != '.') return false;
  for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u, 11u}) {
    if (!std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
  }
  return true;
}

// The driver a device is bound to: its uevent says so even where the driver link cannot be
// followed (recorded machines keep only the device's own folder).
std::string BoundDriver(const std::string& deviceDir) {
  if (const auto uevent = platform::ReadSysFile(deviceDir + "/uevent", 64 * 1024)) {
    std::string driver;
    ForEachLine(*uevent, [&](std::string_view line) {
      if (line.size() > 7 && line.compare(0, 7, "DRIVER=") == 0) driver = platform::Trim(line.substr(7));
    });
    if (!driver.empty()) return driver;
  }
  if (const auto link = platform::ReadSysLink(deviceDir + "/driver")) return BaseName(*link);
  return {};
}

std::string LinkTargetOr(const std::string& path) {
  const auto link = platform::ReadSysLink(path);
  return link ? *link : path;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

std::vector<AsoundCardLine> ParseAsoundCards(std::string_view text) {
  std::vector<AsoundCardLine> cards;
  ForEachLine(text, [&](std::string_view line) {
    // " 0 [PCH            ]: HDA-Intel - HDA Intel PCH" then an indented long-name line.
    const std::string trimmed = platform::Trim(line);
    if (trimmed.empty()) return;
    const auto bracket = trimmed.find('[');
    const auto close = trimmed.find("]:");
    const auto index = ParseNumber(std::string_view(trimmed).substr(0, bracket == std::string::npos ? 0 : bracket), 10);
    if (bracket != std::string::npos && close != std::string::npos && close > bracket && index && *index < 1000) {
      AsoundCardLine card;
      card.index = static_cast<int>(*index);
      card.id = platform::Trim(std::string_view(trimmed).substr(bracket + 1, close - bracket - 1));
      const std::string rest = platform::Trim(std::string_view(trimmed).substr(close + 2));
      const auto dash = rest.find(" - ");
      if (dash == std::string::npos) {
        card.shortName = rest;
      } else {
        card.driver = platform::Trim(std::string_view(rest).substr(0, dash));
        card.shortName = platform::Trim(std::string_view(rest).substr(dash + 3));
      }
      cards.push_back(std::move(card));
    } else if (!cards.empty() && cards.back().longName.empty() && !line.empty() && (line[0] == ' ' || line[0] == '\t')) {
      cards.back().longName = trimmed;
    }
  });
  return cards;
}

std::vector<PciBar> ParsePciResource(std::string_view text) {
  std::vector<PciBar> bars;
  ForEachLine(text, [&](std::string_view line) {
    if (bars.size() >= 6) return;
    std::array<std::uint64_t, 3> v{};
    std::size_t pos = 0;
    for (auto& field : v) {
      while (pos < line.size() && line[pos] == ' ') ++pos;
      const std::size_t start = pos;
      while (pos < line.size() && line[pos] != ' ') ++pos;
      field = ParseNumber(line.substr(start, pos - start), 16).value_or(0);
    }
    PciBar bar;
    bar.start = v[0];
    bar.flags = v[2];
    bar.size = (v[1] > v[0] || (v[1] == v[0] && v[0] != 0)) ? v[1] - v[0] + 1 : 0;
    bars.push_back(bar);
  });
  return bars;
}

std::vector<ProcessorInfo> ParseCpuinfo(std::string_view text) {
  std::vector<ProcessorInfo> cpus;
  ForEachLine(text, [&](std::string_view line) {
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string key = platform::Trim(line.substr(0, colon));
    const std::string value = platform::Trim(line.substr(colon + 1));
    if (key == "processor") {
      ProcessorInfo cpu;
      cpu.index = static_cast<int>(ParseNumber(value, 10).value_or(cpus.size()));
      cpus.push_back(cpu);
    } else if (cpus.empty()) {
      return;
    } else if (key == "vendor_id") {
      cpus.back().vendorId = value;
    } else if (key == "model name") {
      cpus.back().modelName = value;
    } else if (key == "cpu family") {
      cpus.back().family = static_cast<int>(ParseNumber(value, 10).value_or(0));
    } else if (key == "model") {
      cpus.back().model = static_cast<int>(ParseNumber(value, 10).value_or(0));
    }
  });
  return cpus;
}

std::vector<std::string> ParseDrmModes(std::string_view text) {
  std::vector<std::string> modes;
  ForEachLine(text, [&](std::string_view line) {
    std::string mode = platform::Trim(line);
    if (!mode.empty()) modes.push_back(std::move(mode));
  });
  return modes;
}

std::optional<AtaIdentity> ParseAtaIdentify(std::string_view text) {
  std::vector<std::uint16_t> words;
  std::size_t i = 0;
  while (i < text.size() && words.size() < 256) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    const std::size_t start = i;
    while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i == start) break;
    const auto value = ParseNumber(text.substr(start, i - start), 16);
    if (!value || *value > 0xFFFF || i - start > 4) return std::nullopt;
    words.push_back(static_cast<std::uint16_t>(*value));
  }
  if (words.size() < 47) return std::nullopt;
  // Strings are stored two characters per word, the first in the high byte.
  auto text16 = [&](std::size_t first, std::size_t last) {
    std::string out;
    for (std::size_t w = first; w <= last; ++w) {
      for (const int shift : {8, 0}) {
        const auto c = static_cast<unsigned char>((words[w] >> shift) & 0xFF);
        out.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : ' ');
      }
    }
    return platform::Trim(out);
  };
  AtaIdentity id;
  id.serial = text16(10, 19);
  id.firmware = text16(23, 26);
  id.model = text16(27, 46);
  if (id.model.empty()) return std::nullopt;
  return id;
}

std::optional<std::int32_t> ParseCacheSizeKB(std::string_view text) {
  std::string t = platform::Trim(text);
  std::uint64_t factor = 1;
  if (!t.empty()) {
    switch (t.back()) {
      case 'K': t.pop_back(); break;
      case 'M': factor = 1024; t.pop_back(); break;
      case 'G': factor = 1024 * 1024; t.pop_back(); break;
      default: break;
    }
  }
  std::uint64_t value = 0;
  const auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
  if (ec != std::errc() || t.empty() || ptr != t.data() + t.size()) return std::nullopt;
  constexpr std::uint64_t kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
  if (value > kMax / factor) return std::nullopt;
  return static_cast<std::int32_t>(value * factor);
}

std::string PciAddressInPath(std::string_view path) {
  std::string found;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (IsPciAddress(part)) found = std::string(part);
    start = end + 1;
  }
  return found;
}

std::string KernelBuildDate(std::string_view text) {
  // ISO date first: Debian's version text ends with "(2024-10-24)".
  for (std::size_t i = 0; i + 10 <= text.size(); ++i) {
    const std::string_view s = text.substr(i, 10);
    bool ok = s[4] == '-' && s[7] == '-';
    for (std::size_t k : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u}) ok = ok && std::isdigit(static_cast<unsigned char>(s[k]));
    if (ok) return std::string(s.substr(0, 4)) + std::string(s.substr(5, 2)) + std::string(s.substr(8, 2));
  }
  // "Thu Oct 24 12:00:00 UTC 2024": month name, day, then the last four-digit year.
  static constexpr std::array<std::string_view, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (std::size_t m = 0; m < kMonths.size(); ++m) {
    std::size_t pos = 0;
    while ((pos = text.find(kMonths[m], pos)) != std::string_view::npos) {
      const std::size_t after = pos + 3;
      pos = after;
      if (after >= text.size() || text[after] != ' ') continue;
      std::size_t d = after;
      while (d < text.size() && text[d] == ' ') ++d;
      const std::size_t dayStart = d;
      while (d < text.size() && std::isdigit(static_cast<unsigned char>(text[d]))) ++d;
      const auto day = ParseNumber(text.substr(dayStart, d - dayStart), 10);
      if (!day || *day < 1 || *day > 31) continue;
      // The year is the next run of four digits on its own.
      for (std::size_t y = d; y + 4 <= text.size(); ++y) {
        const bool boundaryBefore = y == 0 || !std::isdigit(static_cast<unsigned char>(text[y - 1]));
        const bool boundaryAfter = y + 4 == text.size() || !std::isdigit(static_cast<unsigned char>(text[y + 4]));
        bool digits = true;
        for (std::size_t k = 0; k < 4; ++k) digits = digits && std::isdigit(static_cast<unsigned char>(text[y + k]));
        if (digits && boundaryBefore && boundaryAfter) {
          return std::string(text.substr(y, 4)) + platform::Format("%02d%02d", static_cast<int>(m + 1),
                                                                   static_cast<int>(*day));
        }
      }
    }
  }
  return {};
}

std::vector<PciDeviceInfo> ScanPciDevices() {
  std::vector<PciDeviceInfo> devices;
  for (const std::string& name : platform::ListSysDir("/sys/bus/pci/devices")) {
    if (!IsPciAddress(name)) continue;
    const std::string dir = "/sys/bus/pci/devices/" + name;
    const auto vendor = ReadHex(dir + "/vendor");
    const auto device = ReadHex(dir + "/device");
    if (!vendor || !device) continue;
    PciDeviceInfo info;
    info.address = name;
    info.bus = static_cast<unsigned>(ParseNumber(std::string_view(name).substr(5, 2), 16).value_or(0));
    info.slot = static_cast<unsigned>(ParseNumber(std::string_view(name).substr(8, 2), 16).value_or(0));
    info.function = static_cast<unsigned>(ParseNumber(std::string_view(name).substr(11, 1), 16).value_or(0));
    info.vendor = static_cast<std::uint16_t>(*vendor);
    info.device = static_cast<std::uint16_t>(*device);
    info.subVendor = static_cast<std::uint16_t>(ReadHex(dir + "/subsystem_vendor").value_or(0));
    info.subDevice = static_cast<std::uint16_t>(ReadHex(dir + "/subsystem_device").value_or(0));
    info.classCode = static_cast<std::uint32_t>(ReadHex(dir + "/class").value_or(0) & 0xFFFFFF);
    info.revision = static_cast<std::uint8_t>(ReadHex(dir + "/revision").value_or(0));
    info.driver = BoundDriver(dir);
    if (const auto resource = platform::ReadSysFile(dir + "/resource", 64 * 1024)) {
      info.bars = ParsePciResource(*resource);
    }
    if (const auto vram = ReadDec(dir + "/mem_info_vram_total")) info.vramTotal = *vram;
    info.sysPath = LinkTargetOr(dir);
    devices.push_back(std::move(info));
  }
  return devices;
}

std::vector<DiskInfo> ScanDisks() {
  static constexpr std::array<std::string_view, 10> kSkipped{"loop", "ram", "zram", "dm-", "md", "sr",
                                                             "fd", "nbd", "zd", "mtdblock"};
  std::vector<DiskInfo> disks;
  for (const std::string& name : platform::ListSysDir("/sys/block")) {
    if (std::any_of(kSkipped.begin(), kSkipped.end(), [&](std::string_view p) { return StartsWith(name, p); })) {
      continue;
    }
    const std::string dir = "/sys/block/" + name;
    const std::string target = LinkTargetOr(dir);
    // Virtual block devices (device-mapper, RAM disks, network disks) are not physical disks.
    if (target.find("/virtual/") != std::string::npos) continue;
    if (platform::SysPathExists(dir + "/partition")) continue;
    DiskInfo disk;
    disk.name = name;
    disk.sysPath = target;
    // The kernel counts 512-byte units; a count too large to be bytes is no size at all.
    const std::uint64_t sectors = ReadDec(dir + "/size").value_or(0);
    disk.sizeBytes = sectors <= std::numeric_limits<std::uint64_t>::max() / 512 ? sectors * 512 : 0;
    disk.logicalBlockSize = static_cast<std::uint32_t>(ReadDec(dir + "/queue/logical_block_size").value_or(512));
    if (disk.logicalBlockSize == 0) disk.logicalBlockSize = 512;
    disk.removable = ReadDec(dir + "/removable").value_or(0) != 0;
    for (const std::string& entry : platform::ListSysDir(dir)) {
      if (StartsWith(entry, name) && platform::SysPathExists(dir + "/" + entry + "/partition")) ++disk.partitions;
    }
    if (target.find("/nvme") != std::string::npos) {
      disk.bus = "nvme";
    } else if (target.find("/usb") != std::string::npos) {
      disk.bus = "usb";
    } else if (target.find("/ata") != std::string::npos) {
      disk.bus = "ata";
    } else if (target.find("/virtio") != std::string::npos) {
      disk.bus = "virtio";
    } else if (target.find("/mmc") != std::string::npos) {
      disk.bus = "mmc";
    } else {
      disk.bus = "scsi";
    }
    disk.model = ReadText(dir + "/device/model");
    if (disk.model.empty()) disk.model = ReadText(dir + "/device/name");  // MMC cards
    disk.vendor = ReadText(dir + "/device/vendor");
    disk.serial = ReadText(dir + "/device/serial");
    if (disk.serial.empty()) disk.serial = ReadText(dir + "/serial");
    disk.revision = ReadText(dir + "/device/rev");
    if (disk.revision.empty()) disk.revision = ReadText(dir + "/device/firmware_rev");
    if (disk.bus == "ata") {
      // ".../0000:00:1f.2/ata1/host0/...": the port's folder holds the IDENTIFY data.
      const auto ata = target.find("/ata");
      const auto end = ata == std::string::npos ? ata : target.find('/', ata + 1);
      if (end != std::string::npos) {
        const std::string port = "/sys/block/" + target.substr(0, end);
        for (const std::string& link : platform::ListSysDir(port)) {
          if (!StartsWith(link, "link")) continue;
          for (const std::string& dev : platform::ListSysDir(port + "/" + link)) {
            if (!StartsWith(dev, "dev")) continue;
            const auto idText =
                platform::ReadSysFile(port + "/" + link + "/" + dev + "/ata_device/" + dev + "/id", 64 * 1024);
            if (const auto identity = idText ? ParseAtaIdentify(*idText) : std::nullopt) {
              disk.model = identity->model;
              if (disk.serial.empty()) disk.serial = identity->serial;
              if (disk.revision.empty()) disk.revision = identity->firmware;
            }
          }
        }
      }
    }
    // virtio's "vendor" file holds the PCI vendor number, not a name.
    if (disk.bus == "virtio") disk.vendor.clear();
    disks.push_back(std::move(disk));
  }
  return disks;
}

std::vector<DrmConnectorInfo> ScanDrmConnectors() {
  std::vector<DrmConnectorInfo> connectors;
  for (const std::string& name : platform::ListSysDir("/sys/class/drm")) {
    // "card0-HDMI-A-1"; render nodes and the cards themselves have no dash.
    if (!StartsWith(name, "card")) continue;
    const auto dash = name.find('-');
    if (dash == std::string::npos || dash <= 4) continue;
    const std::string dir = "/sys/class/drm/" + name;
    DrmConnectorInfo c;
    c.name = name;
    c.card = name.substr(0, dash);
    c.connectorType = name.substr(dash + 1);
    if (const auto last = c.connectorType.rfind('-'); last != std::string::npos) {
      c.connectorType = c.connectorType.substr(0, last);
    }
    c.connected = ReadText(dir + "/status") == "connected";
    if (const auto edid = platform::ReadSysBinary(dir + "/edid", 64 * 1024)) c.edid = *edid;
    if (const auto modes = platform::ReadSysFile(dir + "/modes", 256 * 1024)) c.modes = ParseDrmModes(*modes);
    c.sysPath = LinkTargetOr(dir);
    std::string pci = PciAddressInPath(c.sysPath);
    if (pci.empty()) {
      if (const auto link = platform::ReadSysLink("/sys/class/drm/" + c.card + "/device")) pci = BaseName(*link);
      if (!IsPciAddress(pci)) pci.clear();
    }
    c.pciAddress = pci;
    connectors.push_back(std::move(c));
  }
  return connectors;
}

std::vector<SoundCardInfo> ScanSoundCards() {
  std::vector<SoundCardInfo> cards;
  const auto text = platform::ReadSysFile("/proc/asound/cards", 256 * 1024);
  if (!text) return cards;
  for (const AsoundCardLine& line : ParseAsoundCards(*text)) {
    SoundCardInfo card;
    card.index = line.index;
    card.id = line.id;
    card.driver = line.driver;
    card.shortName = line.shortName;
    card.longName = line.longName;
    const std::string dir = platform::Format("/proc/asound/card%d", line.index);
    std::vector<std::string> codecFiles;
    for (const std::string& entry : platform::ListSysDir(dir)) {
      if (StartsWith(entry, "codec#")) codecFiles.push_back(entry);
    }
    // "codec#10" after "codec#2": order by the number, not the text.
    std::sort(codecFiles.begin(), codecFiles.end(), [](const std::string& a, const std::string& b) {
      return ParseNumber(std::string_view(a).substr(6), 10).value_or(0) <
             ParseNumber(std::string_view(b).substr(6), 10).value_or(0);
    });
    for (const std::string& file : codecFiles) {
      const auto codecText = platform::ReadSysFile(dir + "/" + file, 4 * 1024 * 1024);
      if (!codecText) continue;
      const HdaCodecParse parsed = ParseHdaCodec(*codecText);
      if (parsed.valid) card.codecs.push_back(parsed.codec);
    }
    const std::string soundDir = platform::Format("/sys/class/sound/card%d", line.index);
    std::string pci;
    if (const auto link = platform::ReadSysLink(soundDir + "/device")) pci = BaseName(*link);
    if (!IsPciAddress(pci)) pci = PciAddressInPath(LinkTargetOr(soundDir));
    card.pciAddress = IsPciAddress(pci) ? pci : std::string();
    cards.push_back(std::move(card));
  }
  return cards;
}

std::vector<UsbDeviceInfo> ScanUsbDevices() {
  std::vector<UsbDeviceInfo> devices;
  const std::vector<std::string> entries = platform::ListSysDir("/sys/bus/usb/devices");
  for (const std::string& name : entries) {
    if (name.find(':') != std::string::npos) continue;  // interfaces
    const std::string dir = "/sys/bus/usb/devices/" + name;
    const auto vendor = ReadHex(dir + "/idVendor");
    const auto product = ReadHex(dir + "/idProduct");
    if (!vendor || !product) continue;
    UsbDeviceInfo usb;
    usb.sysName = name;
    usb.vendor = static_cast<std::uint16_t>(*vendor);
    usb.product = static_cast<std::uint16_t>(*product);
    usb.deviceClass = static_cast<std::uint8_t>(ReadHex(dir + "/bDeviceClass").value_or(0));
    usb.manufacturer = ReadText(dir + "/manufacturer");
    usb.productName = ReadText(dir + "/product");
    usb.serial = ReadText(dir + "/serial");
    usb.version = ReadText(dir + "/version");
    usb.rootHub = StartsWith(name, "usb");
    for (const std::string& entry : entries) {
      if (StartsWith(entry, name + ":")) {
        if (const auto cls = ReadHex("/sys/bus/usb/devices/" + entry + "/bInterfaceClass")) {
          usb.interfaceClasses.push_back(static_cast<std::uint8_t>(*cls));
        }
      }
    }
    devices.push_back(std::move(usb));
  }
  return devices;
}

std::vector<ProcessorInfo> ScanProcessors() {
  const auto text = platform::ReadSysFile("/proc/cpuinfo", 4 * 1024 * 1024);
  return text ? ParseCpuinfo(*text) : std::vector<ProcessorInfo>();
}

std::string KernelRelease() { return ReadText("/proc/sys/kernel/osrelease"); }

std::string DriverModuleVersion(std::string_view driver) {
  if (driver.empty() || driver.find('/') != std::string_view::npos) return {};
  std::string module(driver);
  std::replace(module.begin(), module.end(), '-', '_');
  return ReadText("/sys/module/" + module + "/version");
}

std::string KernelBuildDateOfRunningKernel() {
  const auto text = platform::ReadSysLine("/proc/sys/kernel/version");
  return text ? KernelBuildDate(*text) : std::string();
}

std::string MachineArchitecture() {
  std::string arch = ReadText("/proc/sys/kernel/arch");
  if (!arch.empty()) return arch;
#if defined(__x86_64__)
  return "x86_64";
#elif defined(__i386__)
  return "i686";
#elif defined(__aarch64__)
  return "aarch64";
#else
  return "unknown";
#endif
}

}  // namespace korvane
