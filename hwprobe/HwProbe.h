#pragma once
// One library instance: everything read at Init, sensor values refreshed on demand. Every
// public member is safe to call from several threads at once.
#include <mutex>
#include <thread>
#include <optional>
#include <string>
#include <vector>

#include "Cpu.h"
#include "Hwmon.h"
#include "Smbios.h"
#include "Spd.h"

namespace korvane::hwprobe {

struct MemoryModule {
  int slot = -1;
  int typeCode = -1;
  int sizeMB = -1;
  int maxClockMHz = -1;
  std::string manufacturer, partNumber, serialNumber;
  std::optional<SpdModule> spd;
};

struct MemoryFacts {
  std::vector<MemoryModule> modules;
  int slotCount = -1;
  unsigned populatedMask = 0;
  int arrays = 0;
  int totalMB = -1;
  int typeCode = -1;
  double clockMHz = -1;
  int channels = -1;
  std::optional<SpdTimingEntry> timings;
};

struct PciIds {
  unsigned vendor = 0, device = 0, revision = 0;
  bool present = false;
};

struct BoardFacts {
  PciIds north, south;
  std::string biosVendor, biosVersion, biosDate;
  std::string boardVendor, boardModel, boardVersion, boardSerial;
  std::string systemVendor, systemProduct, systemVersion;
  std::string northVendor, northModel, northRevision;
  std::string southVendor, southModel;
};

// Channel letter or number of a DIMM from its SMBIOS locators ("ChannelA-DIMM0",
// "P0 CHANNEL B", "DIMM_A1", "A2_DIMM0"); -1 when they do not say.
int ChannelOfLocator(const std::string& locator, const std::string& bankLocator);

// Joins SMBIOS memory devices and SPD images into the module list.
MemoryFacts BuildMemoryFacts(const SmbiosInfo& smbios, const std::vector<std::pair<int, SpdModule>>& spds,
                             long long memTotalKB);

class HardwareProbe {
 public:
  HardwareProbe() = default;
  HardwareProbe(const HardwareProbe&) = delete;
  HardwareProbe& operator=(const HardwareProbe&) = delete;
  ~HardwareProbe();
  bool Init();
  void Close();
  void RefreshSensors();
  void RefreshClocks();

  // Locked accessors: copies, so callers never hold references into changing state.
  CpuFacts Cpu() const;
  std::vector<double> CoreClocks(int package) const;
  MemoryFacts Memory() const;
  BoardFacts Board() const;
  // Board and firmware identity only: does not wait for the PCI names.
  BoardFacts BoardIdentity() const;
  std::vector<HwmonChip> Chips() const;
  // Board chip's "CPU VCORE" reading, -1 when there is none.
  float CoreVoltage() const;
  template <typename F>
  auto WithChips(F&& f) const {
    WaitForNames();
    std::lock_guard lock(mutex_);
    return f(chips_);
  }

 private:
  // PCI names come from the pci.ids database, whose loading costs more than everything else
  // Init does; it runs beside the caller and is waited for only by the texts that need it.
  void NameDevices();
  void WaitForNames() const;
  mutable std::mutex namesMutex_;
  mutable std::thread namesThread_;

  mutable std::mutex mutex_;
  bool initialised_ = false;
  CpuFacts cpu_;
  std::vector<CpuinfoEntry> cpuinfo_;
  std::vector<std::vector<double>> clocks_;  // per package, per core
  MemoryFacts memory_;
  BoardFacts board_;
  std::vector<HwmonChip> chips_;
};

}  // namespace korvane::hwprobe
