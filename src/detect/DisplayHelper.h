#pragma once
// The display adapter detector: the adapters the management interface lists, at most eight,
// else the PCI display devices the driver database knows.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "detect/DeviceDetail.h"
#include "detect/DeviceHelper.h"
#include "detect/DriverDatabase.h"

namespace korvane {

struct DeviceRecord;

inline constexpr int kMaxDisplayAdapters = 8;

using detect::IDriverDatabase;

// Language texts the tables fall back to.
inline constexpr int kTextOthers = 5085;
inline constexpr int kTextUnknown = 5086;
inline constexpr int kTextEmpty = 5087;
inline constexpr int kTextInterleaved = 5088;
inline constexpr int kTextNonInterleaved = 5089;

// The value tables of the adapter fields (language texts for the generic entries).
std::string VideoMemoryTypeText(std::int32_t value);
std::string VideoArchitectureText(std::int32_t value);
std::string ScanModeText(std::int32_t value);
// "20100412000000.000000-000" -> "2010-04-12 00:00:00"; a shorter text gives shorter pieces.
std::string ReformatDriverDate(std::string_view wmiDate);
// "%dMB" of the 32-bit value taken as unsigned.
std::string AdapterRamText(std::int32_t value);

class CDisplayHelper : public CDeviceHelper {
 public:
  struct Adapter {
    std::string caption;
    std::string name;
    std::string pnpDeviceId;
    std::string adapterCompatibility;
    std::string dacType;
    std::string adapterRam;
    std::string driverDate;
    std::string driverVersion;
    std::string memoryType;
    std::string videoArchitecture;
    std::string scanMode;
    std::string installedDisplayDrivers;
  };

  // Without a database the PCI fallback finds nothing.
  CDisplayHelper() = default;
  explicit CDisplayHelper(std::shared_ptr<IDriverDatabase> database)
      : database_(std::move(database)) {}
  void SetDriverDatabase(std::shared_ptr<IDriverDatabase> database) {
    database_ = std::move(database);
  }

  // Detects once per lifetime.
  void vUpdate() override;
  std::int32_t vGetMaxItems() override { return kMaxDisplayAdapters; }

  // The adapter slot for a library graphics device (index -1 when unknown), or -1.
  int FindDeviceForSensor(std::int32_t libraryIndex, std::string_view libraryName,
                          int sourceCode) const;

  // True when the candidate is a second head of an adapter among the first `stored` slots.
  bool IsSecondaryHead(std::string_view candidate, int stored) const;

  std::array<Adapter, kMaxDisplayAdapters> adapters{};
  std::array<CDeviceDetail, kMaxDisplayAdapters> details{};

 private:
  int QueryAdapters();
  int QueryPciFallback();

  std::shared_ptr<IDriverDatabase> database_;
};

}  // namespace korvane
