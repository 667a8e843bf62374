#pragma once
// Sensor chips from the kernel's hwmon class: which chips there are, what kind each is, the
// names of their voltage, temperature and fan inputs, and their current readings.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::hwprobe {

struct HwmonSensor {
  std::string name;
  int sensorClass = 0;     // 0x100, 0x200, 0x400
  std::string inputPath;   // machine path of the *_input attribute
  double scale = 1.0;      // raw -> volts, degrees or RPM
  bool valid = false;
  bool seen = false;  // minimum and maximum hold real readings
  long long raw = 0;
  float value = 0, minimum = 0, maximum = 0;
};

struct HwmonChip {
  std::string driver;  // the hwmon "name" attribute
  std::string name;    // what the library reports as the device name
  int kind = 0x40;
  std::string devicePath;  // resolved device link (machine path), "" when none
  std::uint16_t pciVendor = 0, pciDevice = 0;  // graphics chips: the card's PCI ids
  std::vector<HwmonSensor> sensors;
};

// Chip kind from the driver name: board monitoring chip 1, processor 2, disk 4, graphics 8,
// everything else 0x40.
int ChipKindForDriver(std::string_view driver);
// The board chip's vendor as shown in front of the chip name ("Nuvoton" for nct6779).
std::string BoardChipVendor(std::string_view driver);
// Name of an input without a label file, by chip family ("CPU VCORE" for a board chip's in0,
// "CPUFANIN" for fan2 of a Nuvoton chip, "TMPIN0" for temp1 of an ITE chip).
std::string DefaultSensorName(std::string_view driver, int kind, int sensorClass, int index);
// A label given by the driver, put in the form callers match on (board Vcore -> "CPU VCORE").
std::string NormalizeLabel(int kind, int sensorClass, std::string_view label);
// Parses one attribute value ("45000\n"); false when it is not a number.
bool ParseSensorValue(std::string_view text, long long& out);

// Finds every chip under <sysroot>/sys/class/hwmon; board chips first, then processor
// sensors, then the rest in hwmon order. Names of disks and graphics cards come from their
// device links through `nameForPciDevice` (may return "").
using PciNamer = std::string (*)(void* context, std::uint16_t vendor, std::uint16_t device);
std::vector<HwmonChip> ScanHwmon(PciNamer namer, void* context);
// Re-reads every input of every chip (values, minimum and maximum seen).
void RefreshHwmon(std::vector<HwmonChip>& chips);

}  // namespace korvane::hwprobe
