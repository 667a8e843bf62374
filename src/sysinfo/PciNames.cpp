#include "sysinfo/PciNames.h"

#include <memory>
#include <mutex>

extern "C" {
#include <pci/pci.h>
}

#include "platform/Text.h"

namespace korvane {

namespace {

// libpci keeps its name cache in the access object and is not thread-safe.
std::mutex gPciMutex;

struct AccessDeleter {
  void operator()(pci_access* a) const { pci_cleanup(a); }
};

// libpci's own handlers exist only after pci_init, which would also probe the bus (and end the
// process where no access method works); name lookups need neither.
void QuietPciMessage(char*, ...) {}

pci_access* Access() {
  static std::unique_ptr<pci_access, AccessDeleter> access = [] {
    std::unique_ptr<pci_access, AccessDeleter> a(pci_alloc());
    if (a) {
      a->error = QuietPciMessage;
      a->warning = QuietPciMessage;
      a->debug = QuietPciMessage;
    }
    return a;
  }();
  return access.get();
}

std::string Lookup(int flags, unsigned a, unsigned b = 0, unsigned c = 0, unsigned d = 0) {
  std::lock_guard lock(gPciMutex);
  pci_access* access = Access();
  if (access == nullptr) return {};
  char buffer[512] = {};
  // The local hardware database would make names depend on the machine running the tests;
  // pci.ids alone keeps them reproducible. Unknown ids give an empty name, never numbers.
  const int common = PCI_LOOKUP_NO_NUMBERS | PCI_LOOKUP_NO_HWDB;
  const char* name = pci_lookup_name(access, buffer, sizeof buffer, flags | common, a, b, c, d);
  // pci.ids is the machine's file: its names enter the program as clean text.
  return name != nullptr ? platform::CleanMachineText(name, false) : std::string();
}

}  // namespace

std::string PciVendorName(std::uint16_t vendor) { return Lookup(PCI_LOOKUP_VENDOR, vendor); }

std::string PciDeviceName(std::uint16_t vendor, std::uint16_t device) {
  return Lookup(PCI_LOOKUP_DEVICE, vendor, device);
}

std::string PciSubsystemName(std::uint16_t vendor, std::uint16_t device, std::uint16_t subVendor,
                             std::uint16_t subDevice) {
  if (subVendor == 0 || subVendor == 0xFFFF) return {};
  return Lookup(PCI_LOOKUP_SUBSYSTEM | PCI_LOOKUP_DEVICE, vendor, device, subVendor, subDevice);
}

std::string PciClassName(std::uint32_t classCode24) {
  return Lookup(PCI_LOOKUP_CLASS, (classCode24 >> 8) & 0xFFFF);
}

std::string PciMarketingName(const std::string& deviceName) {
  const auto open = deviceName.rfind('[');
  const auto close = deviceName.rfind(']');
  if (open == std::string::npos || close == std::string::npos || close <= open + 1) return deviceName;
  std::string inner = platform::Trim(std::string_view(deviceName).substr(open + 1, close - open - 1));
  // "[GeForce GTX 1070 / 1070 Ti]": the first of several names.
  if (const auto slash = inner.find(" / "); slash != std::string::npos) inner = inner.substr(0, slash);
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
