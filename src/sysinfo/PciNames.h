#pragma once
// Names from the PCI id list (pci.ids), without scanning the bus.
#include <cstdint>
#include <string>

namespace korvane {

std::string PciVendorName(std::uint16_t vendor);  // "" when unknown
std::string PciDeviceName(std::uint16_t vendor, std::uint16_t device);
std::string PciSubsystemName(std::uint16_t vendor, std::uint16_t device, std::uint16_t subVendor,
                             std::uint16_t subDevice);
std::string PciClassName(std::uint32_t classCode24);  // from the class and subclass

// "GA104 [GeForce RTX 3070]" -> "GeForce RTX 3070"; a name without brackets is returned as is.
std::string PciMarketingName(const std::string& deviceName);
// Vendor as the display drivers name it: "NVIDIA Corporation" -> "NVIDIA",
// "Advanced Micro Devices, Inc. [AMD/ATI]" -> "AMD", "Intel Corporation" -> "Intel".
std::string PciVendorShortName(const std::string& vendorName);
// The vendor name without a bracketed alias: "Advanced Micro Devices, Inc. [AMD/ATI]" ->
// "Advanced Micro Devices, Inc.".
std::string PciVendorPlainName(const std::string& vendorName);

}  // namespace korvane
