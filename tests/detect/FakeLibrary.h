#pragma once
// A hardware library made of a table: each operation answers from the table below, and any
// operation can be left out to play a library that lacks it.
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "hwlib/CpuidSdk.h"

namespace fakelib {

struct Processor {
  int coreCount = 4;
  int threadCount = 8;
  std::optional<std::string> name = "Test Processor";
  std::optional<std::string> codeName = "Testcore";
  std::optional<std::string> package = "Socket T";
  std::optional<std::string> brandString = "Test(R) Processor @ 3.00GHz";
  std::optional<std::string> stepping = "B2";
  float process = 0.045f;
  std::set<int> sets = {1, 5, 6, 16};
  float coreClock = 3000.0f;
  float multiplier = 15.0f;
  float coreVoltage = 1.2f;
  float ratedBus = 200.0f;
  int stockClock = 3000;
  int stockBus = 200;
  int cacheLevels = 3;
  // (level, type) -> (count, sizeKB)
  std::map<std::pair<int, int>, std::pair<int, int>> caches = {
      {{1, 1}, {4, 32}}, {{1, 2}, {4, 32}}, {{2, 3}, {4, 256}}, {{3, 3}, {1, 8192}}};
  unsigned architecture = 0x01000000u;
};

struct Table {
  int processorCount = 1;
  std::vector<Processor> processors = {Processor{}};  // the last one answers for higher indexes
  float busFrequency = 100.0f;
  std::set<std::uint32_t> absent;  // function ids the library does not hand out
  // What the program asked.
  int refreshClockCalls = 0;
  std::vector<int> processorsAsked;  // processor index of every GetProcessorName call
  int cacheParameterCalls = 0;
};

// The table the fake answers from; reset it at the start of each test.
Table& State();
void Reset();
// A wrapper bound to the fake (with an instance made).
std::unique_ptr<korvane::CPUIDSDK> MakeSdk();

}  // namespace fakelib
