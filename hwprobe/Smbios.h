#pragma once
// SMBIOS structure table decoding (the bytes of /sys/firmware/dmi/tables/DMI). Only what the
// library reports is kept: BIOS, system, board, memory arrays and memory devices.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korvane::hwprobe {

struct SmbiosMemoryDevice {
  std::string locator;      // "DIMM_A1", "ChannelA-DIMM0"
  std::string bankLocator;  // "BANK 0", "P0 CHANNEL A"
  int sizeMB = 0;           // 0 = empty slot
  int smbiosType = 0;       // raw type byte (0x1A = DDR4, 0x22 = DDR5 ...)
  int speedMTs = 0;         // rated transfer rate
  int configuredMTs = 0;    // what the firmware set up
  int dataWidth = 0;
  int ranks = 0;
  std::string manufacturer, partNumber, serialNumber;
};

struct SmbiosInfo {
  std::string biosVendor, biosVersion, biosDate;
  std::string systemVendor, systemProduct, systemVersion;
  std::string boardVendor, boardProduct, boardVersion, boardSerial;
  int arraySlots = 0;  // sum of "number of devices" over system-memory arrays
  int arrays = 0;
  std::vector<SmbiosMemoryDevice> devices;  // every type-17 structure, in table order
  bool valid = false;                       // at least one well-formed structure
};

// Walks the structure table; stops at the end-of-table structure, at the end of the bytes or
// at the first structure that runs past them. Never reads outside `table`.
SmbiosInfo ParseSmbiosTable(std::span<const std::uint8_t> table);

// SMBIOS memory-type byte -> our memory-type code (-1 when there is none).
int MemoryTypeFromSmbios(int smbiosType);

}  // namespace korvane::hwprobe
