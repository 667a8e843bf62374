#include "FakeSensorLibrary.h"

#include "hwprobe/QmHdwApi.h"
#include "platform/LibString.h"

namespace sensorfake {
namespace {

int g_token = 7;

const Chip* ChipAt(int d) {
  if (d < 0 || d >= static_cast<int>(Chips().size())) return nullptr;
  return &Chips()[static_cast<std::size_t>(d)];
}

qmhdw::Instance Create() { return &g_token; }
int DeviceCount(qmhdw::Instance) { return static_cast<int>(Chips().size()); }
qmhdw::Text DeviceName(qmhdw::Instance, int d) {
  const Chip* c = ChipAt(d);
  return c == nullptr ? nullptr : platform::LibStringAlloc(c->name);
}
int DeviceClass(qmhdw::Instance, int d) {
  const Chip* c = ChipAt(d);
  return c == nullptr ? -1 : c->kind;
}
int SensorCount(qmhdw::Instance, int d, int cls) {
  const Chip* c = ChipAt(d);
  if (c == nullptr) return -1;
  int n = 0;
  for (const auto& in : c->inputs) n += in.sensorClass == cls ? 1 : 0;
  return n;
}
int Reading(qmhdw::Instance, int d, int index, int cls, qmhdw::Text* name, int* raw, float* value,
            float*, float*) {
  const Chip* c = ChipAt(d);
  if (c == nullptr) return 0;
  int n = 0;
  for (const auto& in : c->inputs) {
    if (in.sensorClass != cls || n++ != index) continue;
    if (name) *name = platform::LibStringAlloc(in.name);
    if (raw) *raw = static_cast<int>(in.value);
    if (value) *value = in.value;
    return in.value > qmhdw::kNoReading ? 1 : 0;
  }
  return 0;
}

void* Query(std::uint32_t id) {
  switch (id) {
    case qmhdw::kCreateInstance:
      return reinterpret_cast<void*>(&Create);
    case qmhdw::kGetNumberOfDevices:
      return reinterpret_cast<void*>(&DeviceCount);
    case qmhdw::kGetDeviceName:
      return reinterpret_cast<void*>(&DeviceName);
    case qmhdw::kGetDeviceClass:
      return reinterpret_cast<void*>(&DeviceClass);
    case qmhdw::kGetNumberOfSensors:
      return reinterpret_cast<void*>(&SensorCount);
    case qmhdw::kGetSensorReading:
      return reinterpret_cast<void*>(&Reading);
    default:
      return nullptr;
  }
}

}  // namespace

std::vector<Chip>& Chips() {
  static std::vector<Chip> chips;
  return chips;
}

FakeLibrary::FakeLibrary() {
  sdk_.Bind(&Query);
  sdk_.CreateInstance();
}

}  // namespace sensorfake
