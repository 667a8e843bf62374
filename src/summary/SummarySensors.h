#pragma once
// Live sensor readings on the summary page: which of the hardware library's sensor chips and
// inputs feed which pane, control and badge, and how a reading becomes the number shown. Runs
// once when the page is first shown and then on every refresh pass, on the UI thread.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "detect/DeviceHelper.h"

namespace platform {
class ProcessMutex;
}

namespace korvane {
class CPUIDSDK;
}

namespace korvane::summary {

class CHdwSummary;

// Sensor chip kinds and sensor classes as the hardware library reports them.
enum SensorChipKind : int {
  kChipBoard = 0x1,
  kChipProcessor = 0x2,
  kChipDisk = 0x4,
  kChipDisplay = 0x8,
  kChipOther = 0x40,
};
enum SensorClassValue : int {
  kClassVoltage = 0x100,
  kClassTemperature = 0x200,
  kClassFan = 0x400,
  kClassFanPwm = 0x2000,
};

// State that outlives one page: whether the board chip is the one whose CPU and system inputs
// are wired the other way round, how disk sensors are matched to disks, and the pass count.
struct SensorProcessState {
  bool swappedBoardChip = false;  // "WINBOND W83627HF"
  int diskMatchingMode = 0;       // 0 by name; 1 and 2 by order
  std::int32_t passes = 0;
};
SensorProcessState& SensorsProcessState();
// True for the board chip whose CPU and system temperature inputs are swapped.
bool IsSwappedBoardChip(std::string_view chipText);

// The degrees a pane shows for a reading: readings of 95 and more on the CPU and mainboard
// panes are Fahrenheit, everything is rounded to whole degrees, and the sign of -98..-11 is
// dropped (chips that report a two's-complement offset show those as negative).
std::int32_t ShownDegrees(int category, double value);
// Whole RPM of a fan reading.
std::int32_t ShownRpm(double value);

// One value that reached the page in the last pass.
struct SensorPlacement {
  enum What { kVoltage, kTemperature, kFan };
  int category = 0;
  int control = -1;  // -1: the pane caption
  What what = kTemperature;
  std::string chip;    // the library's name of the sensor chip
  std::string sensor;  // the input's name, upper-cased
  float reading = 0;   // as the library gave it
  std::string shown;   // as the page shows it ("45", "1197", "1.072 V")
};

class CSummarySensors {
 public:
  explicit CSummarySensors(CHdwSummary& page);

  // Where the library comes from and the cross-process guard of sensor reads. Without a valid
  // mutex the reads are unguarded (terminal modes own their library instance alone).
  void SetLibrary(std::function<CPUIDSDK*()> library) { library_ = std::move(library); }
  void SetMutex(platform::ProcessMutex* mutex) {
    mutex_ = mutex;
    mutexChosen_ = true;
  }

  // First show: records the chips of the disks, graphics cards and other devices, places the
  // voltage and temperatures, and fills the voltage rows. Done once; not done without a library.
  void SetUpSensors();
  // One refresh pass. False when it was skipped (no library, or the guard not obtained).
  bool UpdateSensors();

  bool SetUpDone() const { return setUpDone_; }
  // What the last set-up or refresh pass placed, one entry per destination, in page order.
  const std::vector<SensorPlacement>& Placements() const { return placements_; }
  const CDeviceList& DeviceList(int kind) const;

 private:
  struct PassState {
    bool cpuTemperatureFound = false;
    bool boardTemperatureFound = false;
    bool auxPresent = false;
    float aux = -1;
    float aux2 = -1;
    bool otherSeen = false;
    bool firstCorePresent = false;
    float firstCore = -1;
    int cpuTemperatures = 0;
    int diskMatched = 0;
    int diskSeen = 0;
    bool displayCaptionSet = false;
    bool diskCaptionSet = false;
    bool vcoreWritten = false;
    // Where the stand-in values came from: chip and input.
    std::string auxSource[2], aux2Source[2], coreSource[2];
  };
  struct Reading {
    std::string name;  // upper-cased
    float value = 0;
  };
  void SetStandIn(int category, float value, const std::string (&source)[2]);

  bool TakeGuard(bool& owned);
  void ReleaseGuard(bool owned);
  void RecordChips(CPUIDSDK& sdk);
  // Steps shared by set-up and refresh; `setUp` writes the voltage to both CPU packages.
  void PlaceVoltages(CPUIDSDK& sdk, bool setUp);
  void PlaceTemperatures(CPUIDSDK& sdk);
  void PlaceFans(CPUIDSDK& sdk);
  void EndOfPass();
  std::vector<Reading> ReadClass(CPUIDSDK& sdk, int chip, int sensorClass) const;
  int DisplayControlFor(int chip, const std::string& chipName);
  int DiskControlFor(int chip, const std::string& chipName, int ordinal);

  // The stacked control's setters, with the conversions and the board-chip swap.
  void SetTemperature(int category, int control, bool caption, float value, const Reading& r);
  void SetFan(int category, int control, float value, const Reading& r);
  void SetVoltage(int control, float value, const Reading& r);
  void Record(SensorPlacement p);

  CHdwSummary& page_;
  std::function<CPUIDSDK*()> library_;
  platform::ProcessMutex* mutex_ = nullptr;
  bool mutexChosen_ = false;
  bool setUpDone_ = false;
  PassState pass_;
  std::string chipName_;  // the chip being placed
  std::vector<SensorPlacement> placements_;
  CDeviceList displayChips_, otherChips_, diskChips_;
};

}  // namespace korvane::summary
