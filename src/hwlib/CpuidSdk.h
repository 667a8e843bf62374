#pragma once
// The program's side of the hardware library: one wrapper object whose 101 slots are filled by
// function id through the library's single export. Each operation returns its agreed
// "if absent" value, or nullopt where the caller keeps its own field, when its slot is empty.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "hwprobe/QmHdwApi.h"

namespace korvane {

inline constexpr std::size_t kLibTextSize = 512;    // library text buffers
inline constexpr std::size_t kSensorNameSize = 128; // sensor names

class CPUIDSDK {
 public:
  static constexpr int kSlotCount = 101;
  // Function id of each row, in binding order (row 1 first). Rows 80 and 81 carry the same id.
  static const std::array<std::uint32_t, kSlotCount> kFunctionIds;

  CPUIDSDK() = default;
  virtual ~CPUIDSDK() = default;
  CPUIDSDK(const CPUIDSDK&) = delete;
  CPUIDSDK& operator=(const CPUIDSDK&) = delete;

  // Fills every slot by asking queryInterface once per row in order. A null entry point binds
  // nothing and still counts as done.
  void Bind(qmhdw::QueryInterfaceFn queryInterface);
  bool CreateInstance();
  void* Slot(int row) const;  // 1-based row number; nullptr outside 1..101
  qmhdw::Instance instance = nullptr;

  // Lifecycle.
  void DestroyInstance();
  int Init(const char* textA, const char* textB);  // 0 when the slot is empty
  void Close();
  void RefreshSensors();
  void GetStartupInfo(int four[4]);
  void RefreshProcessorClocks();

  // Processor.
  int GetProcessorCount();
  int GetProcessorCoreCount(int processor);
  int GetProcessorThreadCount(int processor);
  bool GetProcessorName(int processor, char* buffer, std::size_t size = kLibTextSize);
  bool GetProcessorCodeName(int processor, char* buffer, std::size_t size = kLibTextSize);
  bool GetProcessorSpecification(int processor, char* buffer, std::size_t size = kLibTextSize);
  bool GetProcessorPackage(int processor, char* buffer, std::size_t size = kLibTextSize);
  bool GetProcessorStepping(int processor, char* buffer, std::size_t size = kLibTextSize);
  std::optional<float> GetProcessorManufacturingProcess(int processor);
  int IsProcessorInstructionSetAvailable(int processor, int set);
  std::optional<float> GetProcessorCoreClockFrequency(int processor, int core);
  std::optional<float> GetProcessorCoreClockMultiplier(int processor, int core);
  std::optional<float> GetProcessorCoreVoltage(int processor, int core);
  std::optional<float> GetBusFrequency();
  std::optional<float> GetProcessorRatedBusFrequency(int processor);
  std::optional<int> GetProcessorStockClockFrequency(int processor);
  int GetProcessorStockBusFrequency(int processor);
  std::optional<int> GetProcessorCacheLevelCount(int processor);
  // false when the slot is empty (the outputs are then untouched).
  bool GetProcessorCacheParameters(int processor, int level, int type, int* count, int* sizeKB);
  std::optional<int> GetProcessorExtendedValues(int processor, int* first, int* second);
  std::uint32_t GetProcessorArchitectureCode(int processor);

  // Memory.
  int GetMemoryType();
  std::optional<int> GetMemorySize();
  std::optional<int> GetMemoryChannelMode();
  float GetMemoryClockFrequency();
  std::optional<float> GetMemoryCASLatency();
  std::optional<int> GetMemoryRASToCASDelay();
  std::optional<int> GetMemoryRASPrecharge();
  std::optional<int> GetMemoryRASActive();
  std::optional<int> GetMemoryRowCycleTime();
  std::optional<int> GetMemoryCommandRate();
  bool GetMemorySlotsLayout(int* slotCount, int* second, int* populatedMask, int* fourth);

  // Chipset, BIOS, mainboard.
  bool GetNorthBridgeVendor(char* buffer, std::size_t size = kLibTextSize);
  bool GetNorthBridgeModel(char* buffer, std::size_t size = kLibTextSize);
  bool GetNorthBridgeRevision(char* buffer, std::size_t size = kLibTextSize);
  bool GetSouthBridgeVendor(char* buffer, std::size_t size = kLibTextSize);
  bool GetSouthBridgeModel(char* buffer, std::size_t size = kLibTextSize);
  bool GetBIOSVendor(char* buffer, std::size_t size = kLibTextSize);
  bool GetBIOSVersion(char* buffer, std::size_t size = kLibTextSize);
  bool GetBIOSDate(char* buffer, std::size_t size = kLibTextSize);
  bool GetMainboardVendor(char* buffer, std::size_t size = kLibTextSize);
  bool GetMainboardModel(char* buffer, std::size_t size = kLibTextSize);
  // n = 1..5
  bool GetMainboardExtraText(int n, char* buffer, std::size_t size = kLibTextSize);

  // Sensor devices.
  int GetNumberOfDevices();
  bool GetDeviceName(int device, char* buffer, std::size_t size = kLibTextSize);
  std::optional<int> GetDeviceClass(int device);
  std::optional<int> GetNumberOfSensors(int device, int sensorClass);
  // 0 when the slot is empty or the reading is invalid; the name is cut to nameSize.
  int GetSensorReading(int device, int index, int sensorClass, char* name, std::size_t nameSize,
                       int* fifth, float* value, float* seventh, float* eighth);

  // Memory modules.
  int GetMemoryModuleCount();
  int GetMemoryModuleType(int module);
  std::optional<int> GetMemoryModuleSize(int module);
  bool GetMemoryModuleManufacturer(int module, char* buffer, std::size_t size = kLibTextSize);
  std::optional<int> GetMemoryModuleMaxFrequency(int module);
  bool GetMemoryModulePartNumber(int module, char* buffer, std::size_t size = kLibTextSize);
  bool GetMemoryModuleSerialNumber(int module, char* buffer, std::size_t size = kLibTextSize);
  // which = 1..4, in binding order.
  float GetMemoryModuleMinTimes(int which, int module);
  bool GetMemoryModuleManufacturingDate(int module, int* first, int* second);
  void GetMemoryModuleExtraValue1(int module);
  void GetMemoryModuleExtraValue2(int module);
  int GetMemoryModuleTimingEntryCount(int module);
  bool GetMemoryModuleTimingEntry(int module, int entry, int* frequencyMHz, std::int32_t* second,
                                  std::int32_t* third);

 private:
  template <typename Fn>
  Fn At(int row) const {
    return reinterpret_cast<Fn>(Slot(row));
  }
  // Copies a library text into the caller's buffer (cut to fit) and frees it.
  static bool TakeText(qmhdw::Text text, char* buffer, std::size_t size);

  std::array<void*, kSlotCount> slots_{};
};

}  // namespace korvane
