#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hwlib/CpuidSdk.h"
#include "platform/LibString.h"

namespace {

using korvane::CPUIDSDK;

std::vector<std::uint32_t> g_asked;
int g_token = 7;

qmhdw::Text LongName(qmhdw::Instance, int) {
  return platform::LibStringAlloc(std::string(600, 'x'));
}
qmhdw::Text FormatLike(qmhdw::Instance) { return platform::LibStringAlloc("100% %s %n"); }
qmhdw::Text NullText(qmhdw::Instance) { return nullptr; }
int Reading(qmhdw::Instance, int, int index, int, qmhdw::Text* name, int*, float* value, float*,
            float*) {
  *name = platform::LibStringAlloc(std::string(200, 'n'));
  *value = 1.25f;
  return index == 0 ? 1 : 0;
}
int ModuleSize(qmhdw::Instance inst, int m) { return inst == &g_token ? 8192 + m : -5; }
qmhdw::Instance Create() { return &g_token; }

void* RecordingQuery(std::uint32_t id) {
  g_asked.push_back(id);
  switch (id) {
    case qmhdw::kCreateInstance:
      return reinterpret_cast<void*>(&Create);
    case qmhdw::kGetProcessorName:
      return reinterpret_cast<void*>(&LongName);
    case qmhdw::kGetBIOSVendor:
      return reinterpret_cast<void*>(&FormatLike);
    case qmhdw::kGetBIOSDate:
      return reinterpret_cast<void*>(&NullText);
    case qmhdw::kGetSensorReading:
      return reinterpret_cast<void*>(&Reading);
    case qmhdw::kGetMemoryModuleSize:
      return reinterpret_cast<void*>(&ModuleSize);
    default:
      return nullptr;
  }
}

TEST(CpuidSdk, BindAsksEveryRowOnceInTableOrder) {
  g_asked.clear();
  CPUIDSDK sdk;
  sdk.Bind(&RecordingQuery);
  ASSERT_EQ(g_asked.size(), 101u);
  EXPECT_EQ(g_asked.front(), 0x24325867u);
  EXPECT_EQ(g_asked.back(), 0x76279884u);
  for (std::size_t i = 0; i < g_asked.size(); ++i)
    EXPECT_EQ(g_asked[i], CPUIDSDK::kFunctionIds[i]) << i;
  // The module-size id is bound twice, in rows 80 and 81.
  EXPECT_NE(sdk.Slot(80), nullptr);
  EXPECT_EQ(sdk.Slot(80), sdk.Slot(81));
  EXPECT_EQ(sdk.Slot(0), nullptr);
  EXPECT_EQ(sdk.Slot(102), nullptr);
}

TEST(CpuidSdk, MissingEntryPointBindsNothingAndStartCannotSucceed) {
  CPUIDSDK sdk;
  sdk.Bind(nullptr);
  for (int row = 1; row <= 101; ++row) EXPECT_EQ(sdk.Slot(row), nullptr);
  EXPECT_FALSE(sdk.CreateInstance());
  EXPECT_EQ(sdk.Init("", "x"), 0);
}

TEST(CpuidSdk, EmptySlotsGiveTheAgreedValues) {
  CPUIDSDK sdk;
  EXPECT_EQ(sdk.GetProcessorCount(), -1);
  EXPECT_EQ(sdk.GetProcessorCoreCount(0), -1);
  EXPECT_EQ(sdk.GetProcessorThreadCount(0), -1);
  EXPECT_EQ(sdk.IsProcessorInstructionSetAvailable(0, 6), 0);
  EXPECT_EQ(sdk.GetProcessorStockBusFrequency(0), -1);
  EXPECT_EQ(sdk.GetProcessorArchitectureCode(0), 0u);
  EXPECT_EQ(sdk.GetMemoryType(), -1);
  EXPECT_FLOAT_EQ(sdk.GetMemoryClockFrequency(), -1.0f);
  EXPECT_EQ(sdk.GetNumberOfDevices(), -1);
  EXPECT_EQ(sdk.GetMemoryModuleCount(), 0);
  EXPECT_EQ(sdk.GetMemoryModuleType(0), -1);
  EXPECT_FLOAT_EQ(sdk.GetMemoryModuleMinTimes(1, 0), -1.0f);
  EXPECT_EQ(sdk.GetMemoryModuleTimingEntryCount(0), -1);
  EXPECT_FALSE(sdk.GetProcessorStockClockFrequency(0).has_value());
  EXPECT_FALSE(sdk.GetDeviceClass(0).has_value());

  char buffer[korvane::kLibTextSize];
  std::strcpy(buffer, "kept");
  EXPECT_FALSE(sdk.GetProcessorName(0, buffer));
  EXPECT_STREQ(buffer, "kept");
  int count = 5;
  int size = 6;
  EXPECT_FALSE(sdk.GetProcessorCacheParameters(0, 1, 1, &count, &size));
  EXPECT_EQ(count, 5);
  EXPECT_EQ(size, 6);
}

TEST(CpuidSdk, TextsAreCopiedVerbatimAndCutToTheBuffer) {
  CPUIDSDK sdk;
  sdk.Bind(&RecordingQuery);
  ASSERT_TRUE(sdk.CreateInstance());

  char buffer[korvane::kLibTextSize + 8];
  std::memset(buffer, '#', sizeof buffer);
  ASSERT_TRUE(sdk.GetProcessorName(0, buffer));
  EXPECT_EQ(std::strlen(buffer), korvane::kLibTextSize - 1);
  EXPECT_EQ(buffer[korvane::kLibTextSize], '#') << "nothing written past the 512-byte buffer";

  ASSERT_TRUE(sdk.GetBIOSVendor(buffer));
  EXPECT_STREQ(buffer, "100% %s %n");

  std::strcpy(buffer, "kept");
  EXPECT_FALSE(sdk.GetBIOSDate(buffer)) << "a null text means no value";
  EXPECT_STREQ(buffer, "kept");

  char name[korvane::kSensorNameSize + 4];
  std::memset(name, '#', sizeof name);
  float value = 0;
  EXPECT_EQ(sdk.GetSensorReading(0, 0, 0x200, name, korvane::kSensorNameSize, nullptr, &value,
                                 nullptr, nullptr),
            1);
  EXPECT_EQ(std::strlen(name), korvane::kSensorNameSize - 1);
  EXPECT_EQ(name[korvane::kSensorNameSize], '#');
  EXPECT_FLOAT_EQ(value, 1.25f);
}

TEST(CpuidSdk, OperationsPassTheInstanceHandle) {
  CPUIDSDK sdk;
  sdk.Bind(&RecordingQuery);
  ASSERT_TRUE(sdk.CreateInstance());
  EXPECT_EQ(sdk.GetMemoryModuleSize(3).value_or(0), 8195);
}

}  // namespace
