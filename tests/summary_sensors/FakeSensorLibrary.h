#pragma once
// A hardware library inside the test binary that answers only the sensor operations, from a
// table the test fills. The page reaches it through the real binding, as it reaches the
// machine's library.
#include <string>
#include <vector>

#include "hwlib/CpuidSdk.h"

namespace sensorfake {

struct Input {
  int sensorClass;
  std::string name;
  float value;
};

struct Chip {
  std::string name;
  int kind;
  std::vector<Input> inputs;
};

// The chips the library reports, in chip-index order.
std::vector<Chip>& Chips();

// A wrapper bound to the fake; Chips() may change between calls.
class FakeLibrary {
 public:
  FakeLibrary();
  korvane::CPUIDSDK* Sdk() { return &sdk_; }

 private:
  korvane::CPUIDSDK sdk_;
};

}  // namespace sensorfake
