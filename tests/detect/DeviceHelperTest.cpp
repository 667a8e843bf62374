// The detect-once rule, the full pass order and the device lists.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "detect/DeviceHelper.h"

namespace {

using namespace korvane;

// A detector whose sources are scripted by the test.
class ScriptedHelper : public CDeviceHelper {
 public:
  void vUpdate() override { DetectOnce(primary, fallback); }
  std::function<int()> primary;
  std::function<int()> fallback;
};

TEST(DetectOnce, SuccessIsFinal) {
  ScriptedHelper h;
  int runs = 0;
  h.primary = [&] {
    ++runs;
    h.count = 2;
    return 1;
  };
  h.vUpdate();
  h.vUpdate();
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(h.detected, 1);
  EXPECT_EQ(h.count, 2);
}

TEST(DetectOnce, ThrowAfterTwoOfThreeKeepsWhatWasStoredAndRetries) {
  ScriptedHelper h;
  std::vector<std::string> stored;
  int runs = 0;
  h.primary = [&]() -> int {
    ++runs;
    stored = {"disk A", "disk B"};
    h.count = 2;
    throw std::runtime_error("third device unreadable");
  };
  EXPECT_NO_THROW(h.vUpdate());
  EXPECT_EQ(h.detected, 0);
  EXPECT_EQ(h.count, 2);
  EXPECT_EQ(stored.size(), 2u);

  h.primary = [&] {
    ++runs;
    EXPECT_EQ(h.count, 0);  // every attempt starts from no devices
    h.count = 3;
    return 1;
  };
  h.vUpdate();
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(h.detected, 1);
  EXPECT_EQ(h.count, 3);

  ScriptedHelper odd;
  odd.primary = []() -> int { throw 42; };  // not even an exception class
  EXPECT_NO_THROW(odd.vUpdate());
  EXPECT_EQ(odd.detected, 0);
}

TEST(DetectOnce, FallbackOnlyWhenThePrimaryFoundNothing) {
  ScriptedHelper found;
  int fallbacks = 0;
  found.primary = [&] {
    found.count = 1;
    return 1;
  };
  found.fallback = [&] {
    ++fallbacks;
    return 0;
  };
  found.vUpdate();
  EXPECT_EQ(fallbacks, 0);
  EXPECT_EQ(found.detected, 1);

  ScriptedHelper empty;
  empty.primary = [] { return 1; };  // "success" without a device
  empty.fallback = [&] {
    ++fallbacks;
    empty.count = 2;
    return 1;
  };
  empty.vUpdate();
  EXPECT_EQ(fallbacks, 1);
  EXPECT_EQ(empty.detected, 1);
  EXPECT_EQ(empty.count, 2);

  ScriptedHelper failing;
  failing.primary = [] { return 1; };
  failing.fallback = []() -> int { throw std::bad_alloc(); };
  failing.vUpdate();
  EXPECT_EQ(failing.detected, 0);
}

TEST(DetectionPass, FixedOrderAndNoSecondDetection) {
  std::vector<std::string> log;
  struct Logged : CDeviceHelper {
    Logged(std::vector<std::string>& l, std::string n, bool once)
        : log(l), name(std::move(n)), detectOnce(once) {}
    void vUpdate() override {
      if (detectOnce) {
        DetectOnce([this] {
          log.push_back(name + " detect");
          count = 1;
          return 1;
        });
      } else {
        log.push_back(name + " update");
      }
    }
    void vRefresh() override { log.push_back(name + " refresh"); }
    std::vector<std::string>& log;
    std::string name;
    bool detectOnce;
  };
  Logged cpu(log, "cpu", false), memory(log, "memory", false), display(log, "display", true),
      monitor(log, "monitor", true), disk(log, "disk", true), network(log, "network", true),
      others(log, "others", true);
  DetectionPass pass;
  pass.processor = &cpu;
  pass.memory = &memory;
  pass.display = &display;
  pass.monitor = &monitor;
  pass.disk = &disk;
  pass.network = &network;
  pass.others = &others;
  const char* names[] = {"processor", "mainboard", "memory",  "display",
                         "monitor",   "disk",      "network", "others"};
  pass.buildSection = [&](SummarySection s) {
    log.push_back(std::string("build ") + names[static_cast<int>(s)]);
  };
  pass.layOut = [&] { log.push_back("lay out"); };
  RunDetectionPass(pass);
  const std::vector<std::string> first = {
      "cpu update",    "build processor", "build mainboard", "memory refresh",
      "build memory",  "display detect",  "build display",   "monitor detect",
      "build monitor", "disk detect",     "build disk",      "network detect",
      "build network", "others detect",   "build others",    "lay out"};
  EXPECT_EQ(log, first);

  log.clear();
  RunDetectionPass(pass);
  const std::vector<std::string> second = {"cpu update",     "build processor", "build mainboard",
                                           "memory refresh", "build memory",    "build display",
                                           "build monitor",  "build disk",      "build network",
                                           "build others",   "lay out"};
  EXPECT_EQ(log, second);

  // Categories without a detector still get their section.
  log.clear();
  DetectionPass bare;
  bare.buildSection = pass.buildSection;
  RunDetectionPass(bare);
  EXPECT_EQ(log.size(), 8u);
}

_DEVICE_ITEM Item(std::int32_t device, std::int32_t cls, const char* name) {
  _DEVICE_ITEM item;
  item.device = device;
  item.deviceClass = cls;
  item.SetName(name);
  return item;
}

TEST(DeviceList, PositionsCountWithinAClass) {
  CDeviceList list;
  EXPECT_EQ(list.FindLastByClass(kDeviceItemDisk), -1);
  EXPECT_EQ(list.Add(nullptr), -1);
  EXPECT_EQ(list.Size(), 0);

  _DEVICE_ITEM first = Item(3, kDeviceItemDisk, "nvme0");
  first.position = NextDevicePosition(list, kDeviceItemDisk);
  EXPECT_EQ(first.position, 0);
  EXPECT_EQ(list.Add(&first), 0);
  _DEVICE_ITEM second = Item(4, kDeviceItemDisk, "sda");
  second.position = NextDevicePosition(list, kDeviceItemDisk);
  EXPECT_EQ(second.position, 1);
  EXPECT_EQ(list.Add(&second), 1);

  _DEVICE_ITEM gpu = Item(5, kDeviceItemDisplay, "amdgpu");
  EXPECT_EQ(list.Add(&gpu), 2);
  EXPECT_EQ(list.FindLastByClass(kDeviceItemDisk), 1);
  EXPECT_EQ(list.FindLastByClass(kDeviceItemDisplay), 2);
  EXPECT_EQ(list.FindLastByClass(kDeviceItemMemory), -1);
  EXPECT_EQ(NextDevicePosition(list, kDeviceItemDisk), 2);

  list.Clear();
  EXPECT_EQ(list.Size(), 0);
  EXPECT_EQ(list.FindLastByClass(kDeviceItemDisk), -1);
  EXPECT_EQ(list.At(0), nullptr);
}

TEST(DeviceList, AddKeepsItsOwnCopy) {
  CDeviceList list;
  _DEVICE_ITEM source = Item(7, kDeviceItemMemory, "spd5118-i2c-0-51");
  const std::int32_t at = list.Add(&source);
  source.device = 99;
  source.SetName("changed");
  ASSERT_NE(list.At(at), nullptr);
  EXPECT_EQ(list.At(at)->device, 7);
  EXPECT_EQ(std::u16string(list.At(at)->name), u"spd5118-i2c-0-51");
}

TEST(DeviceItem, LongNamesAreCutAndTerminated) {
  _DEVICE_ITEM item;
  item.SetName(std::string(300, 'x'));
  EXPECT_EQ(std::u16string(item.name).size(), kDeviceItemNameUnits - 1);
  // 259 units end in the middle of the last emoji's pair: the half pair is dropped.
  std::string emoji;
  for (int i = 0; i < 130; ++i) emoji += "\xF0\x9F\x92\xBE";
  item.SetName(emoji);
  const std::u16string stored(item.name);
  EXPECT_EQ(stored.size(), 258u);
  EXPECT_TRUE(stored.back() >= 0xDC00 && stored.back() <= 0xDFFF);
  item.SetName("");
  EXPECT_EQ(item.name[0], u'\0');
}

}  // namespace
