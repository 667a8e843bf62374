#pragma once
// Windows-form device instance ids, setup class names and friendly names for the devices the
// Linux sources find, so the detectors and the driver search see what they would on Windows.
#include <cstdint>
#include <string>
#include <string_view>

#include "sysinfo/LinuxHardware.h"

namespace korvane {

// "<level>&<8 hex digits>&0&<tail>": the parent-derived part of an instance id, stable for a
// given device path.
std::string InstanceSuffix(int level, std::string_view stablePath, std::string_view tail);

// PCI\VEN_10DE&DEV_2484&SUBSYS_404C1458&REV_A1\<suffix>
std::string PciHardwareId(const PciDeviceInfo& pci);
std::string PciInstanceId(const PciDeviceInfo& pci);
// Setup class of a PCI function from its class code ("Display", "Net", "hdc", "System", ...).
std::string PciSetupClass(std::uint32_t classCode24);
// The device's friendly name: pci.ids device name, else its class name.
std::string PciFriendlyName(const PciDeviceInfo& pci);

// HDAUDIO\FUNC_01&VEN_10EC&DEV_0887&SUBSYS_1458A002&REV_1003\<suffix>
std::string HdaInstanceId(const HdaCodecInfo& codec, std::string_view controllerPath);
std::string HdaManufacturer(const HdaCodecInfo& codec);

// USB\VID_046D&PID_C52B\<serial or suffix>; root hubs USB\ROOT_HUB20\<suffix>.
std::string UsbInstanceId(const UsbDeviceInfo& usb);
std::string UsbSetupClass(const UsbDeviceInfo& usb);
std::string UsbFriendlyName(const UsbDeviceInfo& usb);

// DISPLAY\DEL40A3\<suffix> (DISPLAY\Default_Monitor\... without a readable EDID).
std::string MonitorInstanceId(const DrmConnectorInfo& connector);
std::string MonitorFriendlyName(const DrmConnectorInfo& connector);

// The disk's Plug and Play id in the form its Windows storage driver gives it.
std::string DiskInstanceId(const DiskInfo& disk);
std::string DiskModel(const DiskInfo& disk);
std::string DiskInterfaceType(const DiskInfo& disk);

// "ACPI x64-based PC" for the running architecture.
std::string ComputerDeviceName(std::string_view machineArchitecture);

}  // namespace korvane
