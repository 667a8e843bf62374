// Which pane, control and badge each sensor reading reaches, over a library whose chips the
// test describes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

#include "FakeSensorLibrary.h"
#include "config/LanguageRes.h"
#include "platform/NamedMutex.h"
#include "summary/HdwSummary.h"
#include "summary/SummarySensors.h"

using namespace korvane;
using namespace korvane::summary;
using sensorfake::Chip;
using sensorfake::Chips;
using sensorfake::Input;

namespace {

constexpr int V = kClassVoltage, T = kClassTemperature, F = kClassFan, P = kClassFanPwm;

const CLanguageRes& English() {
  static const CLanguageRes lang(LocaleSource::SystemWithLocale("C"));
  return lang;
}

// A page without detection: the test says which processors, adapters and disks there are.
struct Page {
  sensorfake::FakeLibrary library;
  bool withLibrary = true;
  CHdwSummary page;
  explicit Page(int packages = 1)
      : page(English(), SummarySources{[this] { return withLibrary ? library.Sdk() : nullptr; },
                                       [] { return BoardFacts{}; }, [] { return MemoryFacts{}; },
                                       [] { return std::vector<NetworkAdapterFacts>{}; },
                                       [] { return std::vector<SoundDeviceFacts>{}; }}) {
    SensorsProcessState() = {};
    page.cpu.processorCount = packages;
    page.BuildPage(false);
    page.SetReady(true);
  }
  ~Page() {
    Chips().clear();
    SensorsProcessState() = {};
  }
  void AddDisk(const std::string& model) {
    auto& d = page.hdd.disks[static_cast<std::size_t>(page.hdd.count++)];
    d.caption = d.model = model;
    d.size = "1000202273280";
  }
  void AddAdapter(const std::string& name) {
    auto& a = page.display.adapters[static_cast<std::size_t>(page.display.count++)];
    a.caption = a.name = name;
  }
  // The panes as first show builds them, then the set-up pass.
  void Show() {
    for (int k = 0; k < kCategoryCount; ++k) page.BuildCategory(k);
    page.sensors.SetUpSensors();
  }
  bool Pass() { return page.sensors.UpdateSensors(); }
  DeviceInfoModel& Control(int k, std::size_t i = 0) {
    return page.panes[static_cast<std::size_t>(k)].controls.at(i);
  }
  std::optional<std::int32_t> Caption(int k) {
    return page.panes[static_cast<std::size_t>(k)].temperature;
  }
  std::string Voltage(std::size_t control) {
    for (const auto& r : Control(kCategoryCpu, control).rows)
      if (r.key == "Voltage") return r.value;
    return "<no row>";
  }
};

Chip Board(const std::string& name, std::vector<Input> inputs) {
  return Chip{name, kChipBoard, std::move(inputs)};
}

}  // namespace

TEST(SensorPlacement, BoardChipFeedsCpuAndMainboardAndSwapsForW83627HF) {
  {
    Page p;
    Chips() = {Board("Nuvoton NCT6779", {{T, "CPUTIN", 45.4f}, {T, "SYSTIN", 38.6f}})};
    p.Show();
    EXPECT_EQ(p.Caption(kCategoryCpu), 45);
    EXPECT_EQ(p.Control(kCategoryCpu).temperature, 45);
    EXPECT_EQ(p.Caption(kCategoryMainboard), 39);
    ASSERT_TRUE(p.Pass());
    EXPECT_EQ(p.Control(kCategoryMainboard).temperature, 39);
    EXPECT_EQ(p.Control(kCategoryCpu).temperature, 45);
  }
  {
    // The chip is recognised from the mainboard pane's sensor-chip row, which the refresh
    // fills; from then on every CPU and system temperature trades panes.
    Page p;
    Chips() = {Board("Winbond W83627HF", {{T, "CPUTIN", 45.4f}, {T, "SYSTIN", 38.6f}})};
    p.Show();
    p.page.RefreshValues(true);
    EXPECT_TRUE(SensorsProcessState().swappedBoardChip);
    EXPECT_EQ(p.Control(kCategoryCpu).temperature, 39);
    EXPECT_EQ(p.Caption(kCategoryCpu), 39);
    EXPECT_EQ(p.Control(kCategoryMainboard).temperature, 45);
    EXPECT_EQ(p.Caption(kCategoryMainboard), 45);
  }
}

TEST(SensorPlacement, ShownDegreesConvertsFahrenheitRoundsAndDropsOffsetSigns) {
  EXPECT_EQ(ShownDegrees(kCategoryCpu, 122.0), 50);
  EXPECT_EQ(ShownDegrees(kCategoryMainboard, 95.0), 35);
  EXPECT_EQ(ShownDegrees(kCategoryCpu, 94.4), 94);
  // Graphics and disks report Celsius only.
  EXPECT_EQ(ShownDegrees(kCategoryDisplay, 122.0), 122);
  EXPECT_EQ(ShownDegrees(kCategoryCpu, -40.0), 40);
  EXPECT_EQ(ShownDegrees(kCategoryCpu, -5.0), -5);
  EXPECT_EQ(ShownDegrees(kCategoryDisk, -10.6), -11 * -1);
  EXPECT_EQ(ShownDegrees(kCategoryDisk, -10.4), -10);
  EXPECT_EQ(ShownDegrees(kCategoryCpu, -98.0), 98);
  EXPECT_EQ(ShownDegrees(kCategoryCpu, -99.0), -99);
  EXPECT_EQ(ShownDegrees(kCategoryCpu, 38.5), 39);
  // A wild reading neither overflows nor wraps.
  EXPECT_GT(ShownDegrees(kCategoryDisk, 1e30), 0);
  EXPECT_EQ(ShownRpm(1196.6), 1197);

  Page p;
  Chips() = {Board("ITE IT8728", {{T, "CPUTIN", 122.0f}, {T, "SYSTIN", -40.0f}})};
  p.Show();
  ASSERT_TRUE(p.Pass());
  EXPECT_EQ(p.Control(kCategoryCpu).temperature, 50);
  EXPECT_EQ(p.Control(kCategoryMainboard).temperature, 40);
}

TEST(SensorPlacement, CoreSensorStandsInForAMissingBoardCpuTemperature) {
  Page p;
  Chips() = {Chip{"coretemp", kChipProcessor, {{T, "Package id 0", 51.2f}, {T, "Core 0", 49.0f}}}};
  p.Show();
  // The first show adds a degree to the core reading; the refresh passes show it as read.
  EXPECT_EQ(p.Control(kCategoryCpu).temperature, 52);
  ASSERT_TRUE(p.Pass());
  EXPECT_EQ(p.Control(kCategoryCpu).temperature, 51);
  EXPECT_EQ(p.Caption(kCategoryCpu), 51);
  // Nothing reached the board.
  EXPECT_FALSE(p.Caption(kCategoryMainboard).has_value());
}

TEST(SensorPlacement, AmdDieReadingWinsOverTheOffsetControlReading) {
  Page p;
  Chips() = {Chip{"k10temp", kChipProcessor, {{T, "Tctl", 75.0f}, {T, "Tdie", 55.0f}}}};
  p.Show();
  ASSERT_TRUE(p.Pass());
  EXPECT_EQ(p.Control(kCategoryCpu).temperature, 55);
  Chips() = {Chip{"k10temp", kChipProcessor, {{T, "Tctl", 58.5f}}}};
  ASSERT_TRUE(p.Pass());
  EXPECT_EQ(p.Control(kCategoryCpu).temperature, 59);
}

TEST(SensorPlacement, UnlabelledBoardInputsFillCpuThenMainboard) {
  Page p;
  Chips() = {
      Board("ITE IT8728", {{T, "TMPIN0", 33.0f}, {T, "TMPIN1", 44.0f}, {T, "TMPIN2", 55.0f}}),
      Chip{"k10temp", kChipProcessor, {{T, "TCTL", 60.0f}}}};
  p.Show();
  ASSERT_TRUE(p.Pass());
  // The first auxiliary input beats the core sensor; the second is the board's.
  EXPECT_EQ(p.Control(kCategoryCpu).temperature, 33);
  EXPECT_EQ(p.Control(kCategoryMainboard).temperature, 44);

  // With a CPU input present, the first auxiliary one goes to the board.
  Chips() = {Board(
      "ITE IT8728",
      {{T, "CPU TEMP", 41.0f}, {T, "TMPIN1", 29.0f}, {T, "AUXTIN", 90.0f}, {T, "REMOTE1", 80.0f}})};
  ASSERT_TRUE(p.Pass());
  EXPECT_EQ(p.Control(kCategoryCpu).temperature, 41);
  EXPECT_EQ(p.Control(kCategoryMainboard).temperature, 29);
}

TEST(SensorPlacement, BoardFansFollowTheirNames) {
  {
    Page p;
    Chips() = {Board("Fintek F71882", {{F, "FANIN0", 1500.0f}, {F, "FANIN1", 900.0f}})};
    p.Show();
    ASSERT_TRUE(p.Pass());
    EXPECT_EQ(p.Control(kCategoryCpu).fan, 1500);
    EXPECT_EQ(p.Control(kCategoryMainboard).fan, 900);
  }
  {
    // Two processors: the second CPU fan feeds the second package; PWM fans count too.
    Page p(2);
    Chips() = {Board("Nuvoton NCT6779", {{F, "SYSFANIN", 700.4f},
                                         {F, "CPUFANIN", 1197.0f},
                                         {F, "AUXFANIN0", 650.0f},
                                         {P, "CPUFANPWMIN", 1300.0f}})};
    p.Show();
    ASSERT_TRUE(p.Pass());
    EXPECT_EQ(p.Control(kCategoryCpu, 0).fan, 1197);
    EXPECT_EQ(p.Control(kCategoryCpu, 2).fan, 1300);
    EXPECT_EQ(p.Control(kCategoryMainboard).fan, 700);
  }
  {
    // A fan that reads -1 RPM is absent: the badge keeps what it showed.
    Page p;
    Chips() = {Board("Nuvoton NCT6779", {{F, "CPUFANIN", 1100.0f}})};
    p.Show();
    ASSERT_TRUE(p.Pass());
    Chips()[0].inputs[0].value = -1.0f;
    ASSERT_TRUE(p.Pass());
    EXPECT_EQ(p.Control(kCategoryCpu).fan, 1100);
  }
}

TEST(SensorPlacement, CoreVoltageComesFromTheFirstBoardChipOnly) {
  {
    Page p(2);
    Chips() = {Board("Nuvoton NCT6779", {{V, "+12V", 12.1f}, {V, "CPU VCORE", 1.072f}})};
    p.Show();
    EXPECT_EQ(p.Voltage(0), "1.072 V");
    EXPECT_EQ(p.Voltage(2), "1.072 V");
    Chips()[0].inputs[1].value = 0.98f;
    ASSERT_TRUE(p.Pass());
    EXPECT_EQ(p.Voltage(0), "0.980 V");
    EXPECT_EQ(p.Voltage(2), "1.072 V");  // refresh passes write the first package only
  }
  {
    // A core voltage behind another chip is not the board's.
    Page p;
    Chips() = {Chip{"coretemp", kChipProcessor, {}},
               Board("Nuvoton NCT6779", {{V, "CPU VCORE", 1.2f}})};
    p.Show();
    EXPECT_EQ(p.Voltage(0), "Unknown");
  }
  {
    Page p;
    p.withLibrary = false;
    p.Show();
    EXPECT_EQ(p.Voltage(0), "No Value");
    EXPECT_FALSE(p.page.sensors.SetUpDone());  // tried again at the next first show
    EXPECT_FALSE(p.Pass());
  }
}

TEST(SensorPlacement, InvalidReadingsAreSkipped) {
  Page p;
  Chips() = {Board("Nuvoton NCT6779", {{T, "CPUTIN", -4294967296.0f}, {T, "SYSTIN", 30.0f}})};
  p.Show();
  ASSERT_TRUE(p.Pass());
  EXPECT_EQ(p.Control(kCategoryCpu).temperature, kNoTemperature);
  EXPECT_EQ(p.Control(kCategoryMainboard).temperature, 30);
}

TEST(SensorPlacement, DisksMatchByModelNameThenByOrderWhenNamesFail) {
  Page p;
  p.AddDisk("WDC WD10EZEX-08WN4A0");
  p.AddDisk("Samsung SSD 970 EVO Plus 1TB");
  Chips() = {Chip{"Samsung SSD 970 EVO Plus 1TB",
                  kChipDisk,
                  {{T, "COMPOSITE", 31.9f}, {T, "SENSOR 2", 53.9f}}}};
  p.Show();
  ASSERT_TRUE(p.Pass());
  // The second disk by name; the drive's composite reading, not its hottest sensor.
  EXPECT_EQ(p.Control(kCategoryDisk, 1).temperature, 32);
  EXPECT_EQ(p.Control(kCategoryDisk, 0).temperature, kNoTemperature);
  EXPECT_EQ(p.Caption(kCategoryDisk), 32);
  EXPECT_EQ(p.page.hdd.disks[1].detail.SourceIndex(kSensorSourceDisk), 0);
  EXPECT_EQ(SensorsProcessState().diskMatchingMode, 0);

  // Three drives with sensors for two disks: one stays unmatched, and from the third pass on
  // the page assigns drives by order.
  Chips().push_back(Chip{"WDC WD10EZEX", kChipDisk, {{T, "TEMP1", 35.0f}}});
  Chips().push_back(Chip{"ST2000DM008", kChipDisk, {{T, "TEMP1", 37.0f}}});
  ASSERT_TRUE(p.Pass());  // pass 2
  EXPECT_EQ(p.Control(kCategoryDisk, 0).temperature, 35);
  EXPECT_EQ(SensorsProcessState().diskMatchingMode, 0);
  ASSERT_TRUE(p.Pass());  // pass 3
  EXPECT_EQ(SensorsProcessState().diskMatchingMode, 1);
  ASSERT_TRUE(p.Pass());  // pass 4, by order: first drive chip -> first disk
  EXPECT_EQ(p.Control(kCategoryDisk, 0).temperature, 32);
  EXPECT_EQ(p.Control(kCategoryDisk, 1).temperature, 35);
  ASSERT_TRUE(p.Pass());  // pass 5
  EXPECT_EQ(SensorsProcessState().diskMatchingMode, 2);
}

TEST(SensorPlacement, GraphicsChipFeedsItsAdapter) {
  Page p;
  p.AddAdapter("Intel(R) UHD Graphics 630");
  p.AddAdapter("NVIDIA GeForce GTX 1070");
  Chips() = {Chip{"NVIDIA GP104 [GeForce GTX 1070]",
                  kChipDisplay,
                  {{T, "EDGE", 50.0f}, {T, "JUNCTION", 52.0f}, {F, "FAN1", 1200.0f}}},
             Chip{"acpitz", kChipOther, {{T, "TEMP1", 27.8f}}}};
  p.Show();
  ASSERT_TRUE(p.Pass());
  EXPECT_EQ(p.Control(kCategoryDisplay, 1).temperature, 50);
  EXPECT_EQ(p.Control(kCategoryDisplay, 1).fan, 1200);
  EXPECT_EQ(p.Control(kCategoryDisplay, 0).temperature, kNoTemperature);
  EXPECT_EQ(p.Caption(kCategoryDisplay), 50);
  // Other devices' chips are only recorded.
  EXPECT_EQ(p.page.sensors.DeviceList(kChipOther).Size(), 1);
  EXPECT_EQ(p.page.sensors.DeviceList(kChipDisplay).Size(), 1);
  EXPECT_EQ(p.page.sensors.DeviceList(kChipDisk).Size(), 0);
}

TEST(SensorPlacement, PassIsSkippedWhileAnotherReaderHoldsTheGuard) {
  const std::string name = "korvane-test-sensors-" + std::to_string(getpid());
  platform::ProcessMutex mutex;
  ASSERT_TRUE(mutex.Create(name));
  Page p;
  p.page.sensors.SetMutex(&mutex);
  Chips() = {Board("Nuvoton NCT6779", {{T, "CPUTIN", 40.0f}})};
  p.Show();
  ASSERT_TRUE(p.Pass());
  Chips()[0].inputs[0].value = 60.0f;

  std::promise<void> held, done;
  std::thread other([&] {
    platform::ProcessMutex theirs;
    if (theirs.Create(name) && theirs.Wait(1000) == platform::ProcessMutex::WaitResult::Acquired) {
      held.set_value();
      done.get_future().wait();
      theirs.Release();
    } else {
      held.set_value();
    }
  });
  held.get_future().wait();
  EXPECT_FALSE(p.Pass());
  EXPECT_EQ(p.Control(kCategoryCpu).temperature, 40);
  done.set_value();
  other.join();
  EXPECT_TRUE(p.Pass());
  EXPECT_EQ(p.Control(kCategoryCpu).temperature, 60);
  mutex.Close();
  platform::ProcessMutex::Remove(name);
}
