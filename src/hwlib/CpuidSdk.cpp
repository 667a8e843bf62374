#include "hwlib/CpuidSdk.h"

#include "platform/LibString.h"
#include "platform/Text.h"

namespace korvane {

using namespace qmhdw;

const std::array<std::uint32_t, CPUIDSDK::kSlotCount> CPUIDSDK::kFunctionIds = {
    0x24325867, 0x96170300, 0x18196706, 0x85465845, 0x31891281, 0x97551766, 0x58684780,  // 1-7
    0x28008025, 0x74126687, 0x32350046, 0x10298827, 0x07858760, 0x95010448, 0x98218919,  // 8-14
    0x70028077, 0x36189448, 0x63895059, 0x05805773, 0x20310671, 0x49828055, 0x40463981,  // 15-21
    0x01341414, 0x28151889, 0x23977925, 0x81550931, 0x03472558, 0x12802281, 0x20560624,  // 22-28
    0x09851369, 0x33371080, 0x09585365, 0x81130419, 0x11105429, 0x34341922, 0x94166705,  // 29-35
    0x11017670, 0x29342710, 0x62110385, 0x85438592, 0x90020894, 0x84046156, 0x79190623,  // 36-42
    0x39535851, 0x71291988, 0x55020883, 0x78298296, 0x09748908, 0x09093128, 0x10414802,  // 43-49
    0x07726825, 0x51134157, 0x11173275, 0x86002729, 0x35194959, 0x08870551, 0x75071585,  // 50-56
    0x17547205, 0x59275458, 0x52979740, 0x69289762, 0x83146519, 0x90340390, 0x51914170,  // 57-63
    0x59942501, 0x68873846, 0x71205454, 0x14260747, 0x22697876, 0x92217148, 0x54507173,  // 64-70
    0x28718653, 0x10194707, 0x35869405, 0x70744387, 0x03657569, 0x54951248, 0x24250369,  // 71-77
    0x95984869, 0x73560137, 0x17926572, 0x17926572, 0x20020212, 0x61240771, 0x66920432,  // 78-84
    0x67418601, 0x88405126, 0x03395383, 0x42080663, 0x28029203, 0x86021092, 0x21472874,  // 85-91
    0x02931381, 0x73627103, 0x61286404, 0x19109521, 0x71453072, 0x49734767, 0x27872643,  // 92-98
    0x40772909, 0x19772059, 0x76279884,                                                  // 99-101
};

namespace {
// Row numbers of the operations the program calls.
enum Row : int {
  kRowCreateInstance = 1, kRowDestroyInstance = 2, kRowInit = 3, kRowClose = 4,
  kRowRefreshSensors = 5, kRowGetStartupInfo = 6, kRowRefreshProcessorClocks = 7,
  kRowGetProcessorCount = 9, kRowGetProcessorCoreCount = 15, kRowGetProcessorThreadCount = 16,
  kRowGetProcessorName = 19, kRowGetProcessorCodeName = 20, kRowGetProcessorSpecification = 21,
  kRowGetProcessorPackage = 22, kRowGetProcessorStepping = 23,
  kRowGetProcessorManufacturingProcess = 24, kRowIsProcessorInstructionSetAvailable = 25,
  kRowGetProcessorCoreClockFrequency = 26, kRowGetProcessorCoreClockMultiplier = 27,
  kRowGetProcessorCoreVoltage = 28, kRowGetBusFrequency = 29,
  kRowGetProcessorRatedBusFrequency = 30, kRowGetProcessorStockClockFrequency = 31,
  kRowGetProcessorStockBusFrequency = 32, kRowGetProcessorCacheLevelCount = 33,
  kRowGetProcessorCacheParameters = 34, kRowGetProcessorExtendedValues = 35,
  kRowGetProcessorArchitectureCode = 36, kRowGetMemoryType = 37, kRowGetMemorySize = 38,
  kRowGetMemoryChannelMode = 39, kRowGetMemoryClockFrequency = 40, kRowGetMemoryCASLatency = 41,
  kRowGetMemoryRASToCASDelay = 42, kRowGetMemoryRASPrecharge = 43, kRowGetMemoryRASActive = 44,
  kRowGetMemoryRowCycleTime = 45, kRowGetMemoryCommandRate = 46, kRowGetMemorySlotsLayout = 47,
  kRowGetNorthBridgeVendor = 49, kRowGetNorthBridgeModel = 50, kRowGetNorthBridgeRevision = 51,
  kRowGetSouthBridgeVendor = 52, kRowGetSouthBridgeModel = 53, kRowGetBIOSVendor = 55,
  kRowGetBIOSVersion = 56, kRowGetBIOSDate = 57, kRowGetMainboardVendor = 58,
  kRowGetMainboardModel = 59, kRowGetMainboardExtraText1 = 60, kRowGetNumberOfDevices = 70,
  kRowGetDeviceName = 71, kRowGetDeviceClass = 72, kRowGetNumberOfSensors = 74,
  kRowGetSensorReading = 75, kRowGetMemoryModuleCount = 78, kRowGetMemoryModuleType = 79,
  kRowGetMemoryModuleSize = 80, kRowGetMemoryModuleManufacturer = 82,
  kRowGetMemoryModuleMaxFrequency = 83, kRowGetMemoryModulePartNumber = 84,
  kRowGetMemoryModuleSerialNumber = 86, kRowGetMemoryModuleMinTimes1 = 87,
  kRowGetMemoryModuleManufacturingDate = 91, kRowGetMemoryModuleExtraValue1 = 92,
  kRowGetMemoryModuleExtraValue2 = 93, kRowGetMemoryModuleTimingEntryCount = 94,
  kRowGetMemoryModuleTimingEntry = 95,
};
}  // namespace

void CPUIDSDK::Bind(QueryInterfaceFn queryInterface) {
  if (queryInterface == nullptr) return;
  for (int i = 0; i < kSlotCount; ++i) slots_[static_cast<std::size_t>(i)] = queryInterface(kFunctionIds[static_cast<std::size_t>(i)]);
}

void* CPUIDSDK::Slot(int row) const {
  if (row < 1 || row > kSlotCount) return nullptr;
  return slots_[static_cast<std::size_t>(row - 1)];
}

bool CPUIDSDK::CreateInstance() {
  auto fn = At<CreateInstanceFn>(kRowCreateInstance);
  if (fn == nullptr) return false;
  instance = fn();
  return instance != nullptr;
}

bool CPUIDSDK::TakeText(Text text, char* buffer, std::size_t size) {
  if (text == nullptr) return false;
  // Verbatim copy, cut to the buffer: a library text is never trusted to fit or to be a format.
  if (buffer != nullptr && size > 0) platform::CopyInto(buffer, size, text);
  platform::LibStringFree(text);
  return true;
}

void CPUIDSDK::DestroyInstance() {
  if (auto fn = At<VoidFn>(kRowDestroyInstance)) fn(instance);
}
void CPUIDSDK::Close() {
  if (auto fn = At<VoidFn>(kRowClose)) fn(instance);
}
void CPUIDSDK::RefreshSensors() {
  if (auto fn = At<VoidFn>(kRowRefreshSensors)) fn(instance);
}
void CPUIDSDK::RefreshProcessorClocks() {
  if (auto fn = At<VoidFn>(kRowRefreshProcessorClocks)) fn(instance);
}

int CPUIDSDK::Init(const char* textA, const char* textB) {
  auto fn = At<InitFn>(kRowInit);
  return fn != nullptr ? fn(instance, textA, textB) : 0;
}

void CPUIDSDK::GetStartupInfo(int four[4]) {
  auto fn = At<GetStartupInfoFn>(kRowGetStartupInfo);
  if (fn != nullptr) fn(instance, four);
}

// --- processor ---------------------------------------------------------------------------

int CPUIDSDK::GetProcessorCount() {
  auto fn = At<IntFn>(kRowGetProcessorCount);
  return fn != nullptr ? fn(instance) : -1;
}
int CPUIDSDK::GetProcessorCoreCount(int p) {
  auto fn = At<IntOfIntFn>(kRowGetProcessorCoreCount);
  return fn != nullptr ? fn(instance, p) : -1;
}
int CPUIDSDK::GetProcessorThreadCount(int p) {
  auto fn = At<IntOfIntFn>(kRowGetProcessorThreadCount);
  return fn != nullptr ? fn(instance, p) : -1;
}

namespace {
template <typename Sdk>
bool TextOfInt(Sdk* self, void* slot, int arg, char* buffer, std::size_t size,
               bool (*take)(Text, char*, std::size_t)) {
  auto fn = reinterpret_cast<TextOfIntFn>(slot);
  if (fn == nullptr) return false;
  return take(fn(self->instance, arg), buffer, size);
}
}  // namespace

bool CPUIDSDK::GetProcessorName(int p, char* b, std::size_t s) { return TextOfInt(this, Slot(kRowGetProcessorName), p, b, s, &TakeText); }
bool CPUIDSDK::GetProcessorCodeName(int p, char* b, std::size_t s) { return TextOfInt(this, Slot(kRowGetProcessorCodeName), p, b, s, &TakeText); }
bool CPUIDSDK::GetProcessorSpecification(int p, char* b, std::size_t s) { return TextOfInt(this, Slot(kRowGetProcessorSpecification), p, b, s, &TakeText); }
bool CPUIDSDK::GetProcessorPackage(int p, char* b, std::size_t s) { return TextOfInt(this, Slot(kRowGetProcessorPackage), p, b, s, &TakeText); }
bool CPUIDSDK::GetProcessorStepping(int p, char* b, std::size_t s) { return TextOfInt(this, Slot(kRowGetProcessorStepping), p, b, s, &TakeText); }

std::optional<float> CPUIDSDK::GetProcessorManufacturingProcess(int p) {
  auto fn = At<FloatOfIntFn>(kRowGetProcessorManufacturingProcess);
  if (fn == nullptr) return std::nullopt;
  return fn(instance, p);
}
int CPUIDSDK::IsProcessorInstructionSetAvailable(int p, int set) {
  auto fn = At<IntOfIntIntFn>(kRowIsProcessorInstructionSetAvailable);
  return fn != nullptr ? fn(instance, p, set) : 0;
}
std::optional<float> CPUIDSDK::GetProcessorCoreClockFrequency(int p, int core) {
  auto fn = At<FloatOfIntIntFn>(kRowGetProcessorCoreClockFrequency);
  if (fn == nullptr) return std::nullopt;
  return fn(instance, p, core);
}
std::optional<float> CPUIDSDK::GetProcessorCoreClockMultiplier(int p, int core) {
  auto fn = At<FloatOfIntIntFn>(kRowGetProcessorCoreClockMultiplier);
  if (fn == nullptr) return std::nullopt;
  return fn(instance, p, core);
}
std::optional<float> CPUIDSDK::GetProcessorCoreVoltage(int p, int core) {
  auto fn = At<FloatOfIntIntFn>(kRowGetProcessorCoreVoltage);
  if (fn == nullptr) return std::nullopt;
  return fn(instance, p, core);
}
std::optional<float> CPUIDSDK::GetBusFrequency() {
  auto fn = At<FloatFn>(kRowGetBusFrequency);
  if (fn == nullptr) return std::nullopt;
  return fn(instance);
}
std::optional<float> CPUIDSDK::GetProcessorRatedBusFrequency(int p) {
  auto fn = At<FloatOfIntFn>(kRowGetProcessorRatedBusFrequency);
  if (fn == nullptr) return std::nullopt;
  return fn(instance, p);
}
std::optional<int> CPUIDSDK::GetProcessorStockClockFrequency(int p) {
  auto fn = At<IntOfIntFn>(kRowGetProcessorStockClockFrequency);
  if (fn == nullptr) return std::nullopt;
  return fn(instance, p);
}
int CPUIDSDK::GetProcessorStockBusFrequency(int p) {
  auto fn = At<IntOfIntFn>(kRowGetProcessorStockBusFrequency);
  return fn != nullptr ? fn(instance, p) : -1;
}
std::optional<int> CPUIDSDK::GetProcessorCacheLevelCount(int p) {
  auto fn = At<IntOfIntFn>(kRowGetProcessorCacheLevelCount);
  if (fn == nullptr) return std::nullopt;
  return fn(instance, p);
}
bool CPUIDSDK::GetProcessorCacheParameters(int p, int level, int type, int* count, int* sizeKB) {
  auto fn = At<CacheParametersFn>(kRowGetProcessorCacheParameters);
  if (fn == nullptr) return false;
  fn(instance, p, level, type, count, sizeKB);
  return true;
}
std::optional<int> CPUIDSDK::GetProcessorExtendedValues(int p, int* first, int* second) {
  auto fn = At<ExtendedValuesFn>(kRowGetProcessorExtendedValues);
  if (fn == nullptr) return std::nullopt;
  return fn(instance, p, first, second);
}
std::uint32_t CPUIDSDK::GetProcessorArchitectureCode(int p) {
  auto fn = At<ArchitectureCodeFn>(kRowGetProcessorArchitectureCode);
  return fn != nullptr ? fn(instance, p) : 0u;
}

// --- memory ------------------------------------------------------------------------------

namespace {
template <typename R, typename Fn>
std::optional<R> Call0(void* slot, Instance inst) {
  auto fn = reinterpret_cast<Fn>(slot);
  if (fn == nullptr) return std::nullopt;
  return fn(inst);
}
}  // namespace

int CPUIDSDK::GetMemoryType() { return Call0<int, IntFn>(Slot(kRowGetMemoryType), instance).value_or(-1); }
std::optional<int> CPUIDSDK::GetMemorySize() { return Call0<int, IntFn>(Slot(kRowGetMemorySize), instance); }
std::optional<int> CPUIDSDK::GetMemoryChannelMode() { return Call0<int, IntFn>(Slot(kRowGetMemoryChannelMode), instance); }
float CPUIDSDK::GetMemoryClockFrequency() { return Call0<float, FloatFn>(Slot(kRowGetMemoryClockFrequency), instance).value_or(-1.0f); }
std::optional<float> CPUIDSDK::GetMemoryCASLatency() { return Call0<float, FloatFn>(Slot(kRowGetMemoryCASLatency), instance); }
std::optional<int> CPUIDSDK::GetMemoryRASToCASDelay() { return Call0<int, IntFn>(Slot(kRowGetMemoryRASToCASDelay), instance); }
std::optional<int> CPUIDSDK::GetMemoryRASPrecharge() { return Call0<int, IntFn>(Slot(kRowGetMemoryRASPrecharge), instance); }
std::optional<int> CPUIDSDK::GetMemoryRASActive() { return Call0<int, IntFn>(Slot(kRowGetMemoryRASActive), instance); }
std::optional<int> CPUIDSDK::GetMemoryRowCycleTime() { return Call0<int, IntFn>(Slot(kRowGetMemoryRowCycleTime), instance); }
std::optional<int> CPUIDSDK::GetMemoryCommandRate() { return Call0<int, IntFn>(Slot(kRowGetMemoryCommandRate), instance); }

bool CPUIDSDK::GetMemorySlotsLayout(int* slotCount, int* second, int* populatedMask, int* fourth) {
  auto fn = At<SlotsLayoutFn>(kRowGetMemorySlotsLayout);
  if (fn == nullptr) return false;
  fn(instance, slotCount, second, populatedMask, fourth);
  return true;
}

// --- chipset, BIOS, mainboard ----------------------------------------------------------------

namespace {
bool Text0(void* slot, Instance inst, char* buffer, std::size_t size,
           bool (*take)(Text, char*, std::size_t)) {
  auto fn = reinterpret_cast<TextFn>(slot);
  if (fn == nullptr) return false;
  return take(fn(inst), buffer, size);
}
}  // namespace

bool CPUIDSDK::GetNorthBridgeVendor(char* b, std::size_t s) { return Text0(Slot(kRowGetNorthBridgeVendor), instance, b, s, &TakeText); }
bool CPUIDSDK::GetNorthBridgeModel(char* b, std::size_t s) { return Text0(Slot(kRowGetNorthBridgeModel), instance, b, s, &TakeText); }
bool CPUIDSDK::GetNorthBridgeRevision(char* b, std::size_t s) { return Text0(Slot(kRowGetNorthBridgeRevision), instance, b, s, &TakeText); }
bool CPUIDSDK::GetSouthBridgeVendor(char* b, std::size_t s) { return Text0(Slot(kRowGetSouthBridgeVendor), instance, b, s, &TakeText); }
bool CPUIDSDK::GetSouthBridgeModel(char* b, std::size_t s) { return Text0(Slot(kRowGetSouthBridgeModel), instance, b, s, &TakeText); }
bool CPUIDSDK::GetBIOSVendor(char* b, std::size_t s) { return Text0(Slot(kRowGetBIOSVendor), instance, b, s, &TakeText); }
bool CPUIDSDK::GetBIOSVersion(char* b, std::size_t s) { return Text0(Slot(kRowGetBIOSVersion), instance, b, s, &TakeText); }
bool CPUIDSDK::GetBIOSDate(char* b, std::size_t s) { return Text0(Slot(kRowGetBIOSDate), instance, b, s, &TakeText); }
bool CPUIDSDK::GetMainboardVendor(char* b, std::size_t s) { return Text0(Slot(kRowGetMainboardVendor), instance, b, s, &TakeText); }
bool CPUIDSDK::GetMainboardModel(char* b, std::size_t s) { return Text0(Slot(kRowGetMainboardModel), instance, b, s, &TakeText); }
bool CPUIDSDK::GetMainboardExtraText(int n, char* b, std::size_t s) {
  if (n < 1 || n > 5) return false;
  return Text0(Slot(kRowGetMainboardExtraText1 + n - 1), instance, b, s, &TakeText);
}

// --- sensor devices --------------------------------------------------------------------------

int CPUIDSDK::GetNumberOfDevices() { return Call0<int, IntFn>(Slot(kRowGetNumberOfDevices), instance).value_or(-1); }
bool CPUIDSDK::GetDeviceName(int d, char* b, std::size_t s) { return TextOfInt(this, Slot(kRowGetDeviceName), d, b, s, &TakeText); }
std::optional<int> CPUIDSDK::GetDeviceClass(int d) {
  auto fn = At<IntOfIntFn>(kRowGetDeviceClass);
  if (fn == nullptr) return std::nullopt;
  return fn(instance, d);
}
std::optional<int> CPUIDSDK::GetNumberOfSensors(int d, int sensorClass) {
  auto fn = At<IntOfIntIntFn>(kRowGetNumberOfSensors);
  if (fn == nullptr) return std::nullopt;
  return fn(instance, d, sensorClass);
}
int CPUIDSDK::GetSensorReading(int d, int index, int sensorClass, char* name, std::size_t nameSize,
                               int* fifth, float* value, float* seventh, float* eighth) {
  auto fn = At<SensorReadingFn>(kRowGetSensorReading);
  if (fn == nullptr) return 0;
  Text text = nullptr;
  const int valid = fn(instance, d, index, sensorClass, &text, fifth, value, seventh, eighth);
  if (text != nullptr) {
    TakeText(text, name, nameSize);
  } else if (name != nullptr && nameSize > 0) {
    name[0] = '\0';
  }
  return valid;
}

// --- memory modules ----------------------------------------------------------------------

int CPUIDSDK::GetMemoryModuleCount() { return Call0<int, IntFn>(Slot(kRowGetMemoryModuleCount), instance).value_or(0); }
int CPUIDSDK::GetMemoryModuleType(int m) {
  auto fn = At<IntOfIntFn>(kRowGetMemoryModuleType);
  return fn != nullptr ? fn(instance, m) : -1;
}
std::optional<int> CPUIDSDK::GetMemoryModuleSize(int m) {
  auto fn = At<IntOfIntFn>(kRowGetMemoryModuleSize);
  if (fn == nullptr) return std::nullopt;
  return fn(instance, m);
}
bool CPUIDSDK::GetMemoryModuleManufacturer(int m, char* b, std::size_t s) { return TextOfInt(this, Slot(kRowGetMemoryModuleManufacturer), m, b, s, &TakeText); }
std::optional<int> CPUIDSDK::GetMemoryModuleMaxFrequency(int m) {
  auto fn = At<IntOfIntFn>(kRowGetMemoryModuleMaxFrequency);
  if (fn == nullptr) return std::nullopt;
  return fn(instance, m);
}
bool CPUIDSDK::GetMemoryModulePartNumber(int m, char* b, std::size_t s) { return TextOfInt(this, Slot(kRowGetMemoryModulePartNumber), m, b, s, &TakeText); }
bool CPUIDSDK::GetMemoryModuleSerialNumber(int m, char* b, std::size_t s) { return TextOfInt(this, Slot(kRowGetMemoryModuleSerialNumber), m, b, s, &TakeText); }
float CPUIDSDK::GetMemoryModuleMinTimes(int which, int m) {
  if (which < 1 || which > 4) return -1.0f;
  auto fn = At<FloatOfIntFn>(kRowGetMemoryModuleMinTimes1 + which - 1);
  return fn != nullptr ? fn(instance, m) : -1.0f;
}
bool CPUIDSDK::GetMemoryModuleManufacturingDate(int m, int* first, int* second) {
  auto fn = At<ManufacturingDateFn>(kRowGetMemoryModuleManufacturingDate);
  if (fn == nullptr) return false;
  fn(instance, m, first, second);
  return true;
}
void CPUIDSDK::GetMemoryModuleExtraValue1(int m) {
  auto fn = At<IntOfIntFn>(kRowGetMemoryModuleExtraValue1);
  if (fn != nullptr) fn(instance, m);
}
void CPUIDSDK::GetMemoryModuleExtraValue2(int m) {
  auto fn = At<IntOfIntFn>(kRowGetMemoryModuleExtraValue2);
  if (fn != nullptr) fn(instance, m);
}
int CPUIDSDK::GetMemoryModuleTimingEntryCount(int m) {
  auto fn = At<IntOfIntFn>(kRowGetMemoryModuleTimingEntryCount);
  return fn != nullptr ? fn(instance, m) : -1;
}
bool CPUIDSDK::GetMemoryModuleTimingEntry(int m, int entry, int* frequencyMHz, std::int32_t* second,
                                          std::int32_t* third) {
  auto fn = At<TimingEntryFn>(kRowGetMemoryModuleTimingEntry);
  if (fn == nullptr) return false;
  fn(instance, m, entry, frequencyMHz, second, third);
  return true;
}

}  // namespace korvane
