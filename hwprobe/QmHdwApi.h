#pragma once
// The binary interface of qmhdwlib: function IDs handed out by QueryInterface, the signature of
// each function, and the codes both sides agree on. The library and the program's binding
// include this one header so the two can never disagree on a shape.
//
// Plain C ABI. Every function except CreateInstance takes the instance handle first. Text
// results are heap strings from platform::LibStringAlloc (nullptr = no value); the caller
// frees them with platform::LibStringFree. Unavailable numbers are -1 / -1.0f.
#include <cstdint>

namespace qmhdw {

using Instance = void*;
using Text = char*;

enum FunctionId : std::uint32_t {
  kCreateInstance = 0x24325867,
  kDestroyInstance = 0x96170300,
  kInit = 0x18196706,
  kClose = 0x85465845,
  kRefreshSensors = 0x31891281,
  kGetStartupInfo = 0x97551766,
  kRefreshProcessorClocks = 0x58684780,
  kGetProcessorCount = 0x74126687,
  kGetProcessorCoreCount = 0x70028077,
  kGetProcessorThreadCount = 0x36189448,
  kGetProcessorName = 0x20310671,
  kGetProcessorCodeName = 0x49828055,
  kGetProcessorSpecification = 0x40463981,
  kGetProcessorPackage = 0x01341414,
  kGetProcessorStepping = 0x28151889,
  kGetProcessorManufacturingProcess = 0x23977925,
  kIsProcessorInstructionSetAvailable = 0x81550931,
  kGetProcessorCoreClockFrequency = 0x03472558,
  kGetProcessorCoreClockMultiplier = 0x12802281,
  kGetProcessorCoreVoltage = 0x20560624,
  kGetBusFrequency = 0x09851369,
  kGetProcessorRatedBusFrequency = 0x33371080,
  kGetProcessorStockClockFrequency = 0x09585365,
  kGetProcessorStockBusFrequency = 0x81130419,
  kGetProcessorCacheLevelCount = 0x11105429,
  kGetProcessorCacheParameters = 0x34341922,
  kGetProcessorExtendedValues = 0x94166705,
  kGetProcessorArchitectureCode = 0x11017670,
  kGetMemoryType = 0x29342710,
  kGetMemorySize = 0x62110385,
  kGetMemoryChannelMode = 0x85438592,
  kGetMemoryClockFrequency = 0x90020894,
  kGetMemoryCASLatency = 0x84046156,
  kGetMemoryRASToCASDelay = 0x79190623,
  kGetMemoryRASPrecharge = 0x39535851,
  kGetMemoryRASActive = 0x71291988,
  kGetMemoryRowCycleTime = 0x55020883,
  kGetMemoryCommandRate = 0x78298296,
  kGetMemorySlotsLayout = 0x09748908,
  kGetNorthBridgeVendor = 0x10414802,
  kGetNorthBridgeModel = 0x07726825,
  kGetNorthBridgeRevision = 0x51134157,
  kGetSouthBridgeVendor = 0x11173275,
  kGetSouthBridgeModel = 0x86002729,
  kGetBIOSVendor = 0x08870551,
  kGetBIOSVersion = 0x75071585,
  kGetBIOSDate = 0x17547205,
  kGetMainboardVendor = 0x59275458,
  kGetMainboardModel = 0x52979740,
  kGetMainboardExtraText1 = 0x69289762,
  kGetMainboardExtraText2 = 0x83146519,
  kGetMainboardExtraText3 = 0x90340390,
  kGetMainboardExtraText4 = 0x51914170,
  kGetMainboardExtraText5 = 0x59942501,
  kGetNumberOfDevices = 0x54507173,
  kGetDeviceName = 0x28718653,
  kGetDeviceClass = 0x10194707,
  kGetNumberOfSensors = 0x70744387,
  kGetSensorReading = 0x03657569,
  kGetMemoryModuleCount = 0x95984869,
  kGetMemoryModuleType = 0x73560137,
  kGetMemoryModuleSize = 0x17926572,
  kGetMemoryModuleManufacturer = 0x20020212,
  kGetMemoryModuleMaxFrequency = 0x61240771,
  kGetMemoryModulePartNumber = 0x66920432,
  kGetMemoryModuleSerialNumber = 0x88405126,
  kGetMemoryModuleMinTime1 = 0x03395383,  // tAA (CAS latency time)
  kGetMemoryModuleMinTime2 = 0x42080663,  // tRCD
  kGetMemoryModuleMinTime3 = 0x28029203,  // tRP
  kGetMemoryModuleMinTime4 = 0x86021092,  // tRAS
  kGetMemoryModuleManufacturingDate = 0x21472874,
  kGetMemoryModuleExtraValue1 = 0x02931381,  // ranks
  kGetMemoryModuleExtraValue2 = 0x73627103,  // data width in bits
  kGetMemoryModuleTimingEntryCount = 0x61286404,
  kGetMemoryModuleTimingEntry = 0x19109521,
};

// Rows of the binding table that the program binds but never calls; the library answers null.
inline constexpr std::uint32_t kUnusedIds[] = {
    0x28008025, 0x32350046, 0x10298827, 0x07858760, 0x95010448, 0x98218919, 0x63895059,
    0x05805773, 0x09093128, 0x35194959, 0x68873846, 0x71205454, 0x14260747, 0x22697876,
    0x92217148, 0x35869405, 0x54951248, 0x24250369, 0x67418601, 0x71453072, 0x49734767,
    0x27872643, 0x40772909, 0x19772059, 0x76279884};

// Memory-type codes. 10 and 11 extend the classic list so current memory is not "unknown".
enum MemoryType : int {
  kMemSpmRam = 1, kMemRdram = 2, kMemEdo = 3, kMemFpm = 4, kMemSdram = 5, kMemDdr = 6,
  kMemDdr2 = 7, kMemFbDdr2 = 8, kMemDdr3 = 9, kMemDdr4 = 10, kMemDdr5 = 11,
};

// Instruction-set numbers.
enum InstructionSet : int {
  kIsaMmx = 1, kIsaMmxExt = 2, kIsa3dNow = 3, kIsa3dNowExt = 4, kIsaSse = 5, kIsaSse2 = 6,
  kIsaSse3 = 7, kIsaSsse3 = 8, kIsaSse41 = 9, kIsaSse42 = 12, kIsaSse4a = 13, kIsaSse5 = 14,
  kIsaX8664 = 16,
};

// Cache types of GetProcessorCacheParameters.
enum CacheType : int { kCacheData = 1, kCacheInstruction = 2, kCacheUnified = 3, kCacheTrace = 4 };

// Sensor chip kinds (GetDeviceClass) and sensor classes.
enum DeviceClass : int {
  kDeviceBoard = 0x1, kDeviceProcessor = 0x2, kDeviceDisk = 0x4, kDeviceDisplay = 0x8,
  kDeviceOther = 0x40,
};
enum SensorClass : int {
  kSensorVoltage = 0x100, kSensorTemperature = 0x200, kSensorFan = 0x400, kSensorFanPwm = 0x2000,
};

// GetSensorReading's value when an input cannot be read.
inline constexpr float kNoReading = -4294967296.0f;

// Third output of GetMemoryModuleTimingEntry: tRCD, tRP and tRAS in clocks, one per byte from
// the low end (the second output is the CAS latency).
constexpr std::int32_t PackTimings(int rcd, int rp, int ras) {
  return static_cast<std::int32_t>((rcd & 0xFF) | ((rp & 0xFF) << 8) | ((ras & 0xFF) << 16));
}

// Architecture code vendor groups (top byte).
inline constexpr std::uint32_t kArchIntel = 0x01000000u;
inline constexpr std::uint32_t kArchAmd = 0x02000000u;
inline constexpr std::uint32_t kArchVia = 0x08000000u;

extern "C" {
using QueryInterfaceFn = void* (*)(std::uint32_t id);

using CreateInstanceFn = Instance (*)();
using VoidFn = void (*)(Instance);
using InitFn = int (*)(Instance, const char* textA, const char* textB);
using IntFn = int (*)(Instance);
using FloatFn = float (*)(Instance);
using TextFn = Text (*)(Instance);
using GetStartupInfoFn = int (*)(Instance, int* four);
using IntOfIntFn = int (*)(Instance, int);
using FloatOfIntFn = float (*)(Instance, int);
using TextOfIntFn = Text (*)(Instance, int);
using IntOfIntIntFn = int (*)(Instance, int, int);
using FloatOfIntIntFn = float (*)(Instance, int, int);
using CacheParametersFn = void (*)(Instance, int processor, int level, int type, int* count, int* sizeKB);
using ExtendedValuesFn = int (*)(Instance, int processor, int* first, int* second);
using ArchitectureCodeFn = std::uint32_t (*)(Instance, int processor);
using SlotsLayoutFn = void (*)(Instance, int* slotCount, int* second, int* populatedMask, int* fourth);
using SensorReadingFn = int (*)(Instance, int device, int index, int sensorClass, Text* name, int* raw,
                                float* value, float* minimum, float* maximum);
using ManufacturingDateFn = void (*)(Instance, int module, int* year, int* week);
using TimingEntryFn = void (*)(Instance, int module, int entry, int* frequencyMHz, std::int32_t* second,
                               std::int32_t* third);
}

}  // namespace qmhdw
