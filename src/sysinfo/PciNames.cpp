#include "sysinfo/PciNames.h"

#include "platform/PciIds.h"
#include "platform/Text.h"

namespace korvane {

namespace {

// The distribution's list, read where the names are rather than loaded whole. It describes ids,
// not the machine, so a recorded machine is named from the same file; the local hardware
// database is not asked, which keeps names the same on every machine with the same list.
platform::PciIdList& List() {
  static platform::PciIdList list(platform::PciIdList::SystemPath());
  return list;
}

// pci.ids is the machine's file: its names enter the program as clean text.
std::string Clean(const std::string& name) { return platform::CleanMachineText(name, false); }

}  // namespace

std::string PciVendorName(std::uint16_t vendor) { return Clean(List().Vendor(vendor)); }

std::string PciDeviceName(std::uint16_t vendor, std::uint16_t device) {
  return Clean(List().Device(vendor, device));
}

std::string PciSubsystemName(std::uint16_t vendor, std::uint16_t device, std::uint16_t subVendor,
                             std::uint16_t subDevice) {
  if (subVendor == 0 || subVendor == 0xFFFF) return {};
  return Clean(List().Subsystem(vendor, device, subVendor, subDevice));
}

std::string PciClassName(std::uint32_t classCode24) {
  return Clean(List().Class(static_cast<std::uint16_t>((classCode24 >> 8) & 0xFFFF)));
}

std::string PciMarketingName(const std::string& deviceName) {
  const auto open = deviceName.rfind('[');
  const auto close = deviceName.rfind(']');
  if (open == std::string::npos || close == std::string::npos || close <= open + 1)
    return deviceName;
  std::string inner =
      platform::Trim(std::string_view(deviceName).substr(open + 1, close - open - 1));
  // "[GeForce GTX 1070 / 1070 Ti]": the first of several names.
  if (const auto slash = inner.find(" / "); slash != std::string::npos)
    inner = inner.substr(0, slash);
  return inner.empty() ? deviceName : inner;
}

std::string PciVendorPlainName(const std::string& vendorName) {
  const auto open = vendorName.find(" [");
  return platform::Trim(open == std::string::npos ? vendorName : vendorName.substr(0, open));
}

std::string PciVendorShortName(const std::string& vendorName) {
  const auto open = vendorName.find('[');
  if (open != std::string::npos) {
    std::string alias = vendorName.substr(open + 1);
    const auto end = alias.find_first_of("/]");
    alias = platform::Trim(alias.substr(0, end));
    if (!alias.empty()) return alias;
  }
  std::string plain = PciVendorPlainName(vendorName);
  const auto space = plain.find_first_of(" ,");
  return space == std::string::npos ? plain : plain.substr(0, space);
}

}  // namespace korvane
