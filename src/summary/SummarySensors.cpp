#include "summary/SummarySensors.h"

#include <algorithm>
#include <cmath>

#include "config/LanguageRes.h"
#include "hwlib/CpuidSdk.h"
#include "hwlib/HardwareLibrary.h"
#include "platform/NamedMutex.h"
#include "platform/Text.h"
#include "summary/HdwSummary.h"

namespace korvane::summary {

using platform::Format;

namespace {

// The library's "no reading" value, and anything below it.
constexpr double kNoReadingLimit = -4294967296.0;
// A chip never has more inputs of one class than this; a larger count is a broken answer.
constexpr int kMaxInputsPerClass = 256;
constexpr int kMaxChips = 64;

bool Contains(std::string_view s, std::string_view part) {
  return s.find(part) != std::string_view::npos;
}

std::string ChipName(CPUIDSDK& sdk, int chip) {
  char name[kLibTextSize] = {};
  if (!sdk.GetDeviceName(chip, name, sizeof name)) return {};
  return platform::Trim(platform::AnsiToUtf8(name));
}

bool IsCpuTemperature(std::string_view n) {
  return n == "CPUTIN" || Contains(n, "CPU") || n == "TZS0" || n == "DIODE 1";
}
bool IsBoardTemperature(std::string_view n) {
  return n == "SYSTIN" || n == "SYSTEM" || n == "TZS1" || n == "DIODE 2" || Contains(n, "SYS");
}
// Inputs of the board chip that say nothing about the CPU or the board (apart from the first
// two remote diodes, which are counted by the caller).
bool IsIgnoredBoardTemperature(std::string_view n) {
  return n.empty() || n == "AUXTIN" || n == "LOCAL" || Contains(n, "AUX") ||
         Contains(n, "INTERNAL") || Contains(n, "TZS") || Contains(n, "DIODE");
}

}  // namespace

SensorProcessState& SensorsProcessState() {
  static SensorProcessState state;
  return state;
}

bool IsSwappedBoardChip(std::string_view chipText) {
  return platform::ToUpperAscii(platform::Trim(chipText)) == "WINBOND W83627HF";
}

std::int32_t ShownDegrees(int category, double v) {
  if (!std::isfinite(v)) return kNoTemperature - 1;
  if ((category == kCategoryCpu || category == kCategoryMainboard) && v >= 95.0) {
    v = (v - 32.0) * 5.0 / 9.0;
  }
  // Far outside anything a sensor reports; kept in range so the conversion is defined.
  v = std::clamp(v, -1.0e6, 1.0e6);
  auto shown = static_cast<std::int32_t>(std::floor(v + 0.5));
  if (shown >= -98 && shown <= -11) shown = -shown;
  return shown;
}

std::int32_t ShownRpm(double v) {
  if (!std::isfinite(v)) return kNoFan;
  return static_cast<std::int32_t>(std::floor(std::clamp(v, 0.0, 1.0e9) + 0.5));
}

CSummarySensors::CSummarySensors(CHdwSummary& page) : page_(page) {}

const CDeviceList& CSummarySensors::DeviceList(int kind) const {
  if (kind == kChipDisplay) return displayChips_;
  if (kind == kChipDisk) return diskChips_;
  return otherChips_;
}

bool CSummarySensors::TakeGuard(bool& owned) {
  owned = false;
  if (!mutexChosen_) {
    mutex_ = &SensorMutex();
    mutexChosen_ = true;
  }
  if (mutex_ == nullptr || !mutex_->IsValid()) return true;
  switch (mutex_->Wait(5)) {
    case platform::ProcessMutex::WaitResult::Acquired:
      owned = true;
      return true;
    case platform::ProcessMutex::WaitResult::Abandoned:
      // Its owner died mid-read; what the chips hold now is unknown, so this pass is skipped.
      mutex_->Release();
      return false;
    default:
      return false;
  }
}

void CSummarySensors::ReleaseGuard(bool owned) {
  if (owned) mutex_->Release();
}

std::vector<CSummarySensors::Reading> CSummarySensors::ReadClass(CPUIDSDK& sdk, int chip,
                                                                 int sensorClass) const {
  std::vector<Reading> out;
  const int count =
      std::min(sdk.GetNumberOfSensors(chip, sensorClass).value_or(-1), kMaxInputsPerClass);
  for (int i = 0; i < count; ++i) {
    char name[kSensorNameSize] = {};
    int raw = 0;
    float value = static_cast<float>(kNoReadingLimit);
    float minimum = 0, maximum = 0;
    sdk.GetSensorReading(chip, i, sensorClass, name, sizeof name, &raw, &value, &minimum, &maximum);
    if (!std::isfinite(value) || static_cast<double>(value) <= kNoReadingLimit) continue;
    out.push_back(Reading{platform::ToUpperAscii(platform::AnsiToUtf8(name)), value});
  }
  return out;
}

void CSummarySensors::Record(SensorPlacement p) {
  // One entry per destination: a later reading for the same place replaces the earlier one.
  auto key = [](const SensorPlacement& s) { return std::tuple(s.category, s.control, s.what); };
  for (auto& existing : placements_) {
    if (key(existing) == key(p)) {
      existing = std::move(p);
      return;
    }
  }
  placements_.push_back(std::move(p));
  std::stable_sort(
      placements_.begin(), placements_.end(),
      [&](const SensorPlacement& a, const SensorPlacement& b) { return key(a) < key(b); });
}

void CSummarySensors::SetTemperature(int category, int control, bool caption, float value,
                                     const Reading& r) {
  // On the board chip whose inputs are wired the other way round, the CPU and mainboard
  // panes trade every temperature.
  if (SensorsProcessState().swappedBoardChip) {
    if (category == kCategoryCpu) {
      category = kCategoryMainboard;
    } else if (category == kCategoryMainboard) {
      category = kCategoryCpu;
    }
  }
  auto& pane = page_.panes[static_cast<std::size_t>(category)];
  const std::int32_t shown = ShownDegrees(category, value);
  if (caption) {
    pane.temperature = shown;
    Record({category, -1, SensorPlacement::kTemperature, chipName_, r.name, value,
            Format("%d", shown)});
  }
  if (control < 0 || control >= static_cast<int>(pane.controls.size())) return;
  auto& c = pane.controls[static_cast<std::size_t>(control)];
  if (c.FindBadge(kBadgeTemperature) == nullptr) return;
  c.temperature = shown;
  Record({category, control, SensorPlacement::kTemperature, chipName_, r.name, value,
          Format("%d", shown)});
}

void CSummarySensors::SetFan(int category, int control, float value, const Reading& r) {
  auto& pane = page_.panes[static_cast<std::size_t>(category)];
  if (control < 0 || control >= static_cast<int>(pane.controls.size())) return;
  auto& c = pane.controls[static_cast<std::size_t>(control)];
  if (c.FindBadge(kBadgeFan) == nullptr) return;
  c.fan = ShownRpm(value);
  Record({category, control, SensorPlacement::kFan, chipName_, r.name, value, Format("%d", c.fan)});
}

void CSummarySensors::SetVoltage(int control, float value, const Reading& r) {
  auto& controls = page_.panes[kCategoryCpu].controls;
  if (control < 0 || control >= static_cast<int>(controls.size())) return;
  const std::string text = Format("%0.3f V", static_cast<double>(value));
  if (!controls[static_cast<std::size_t>(control)].SetRowValueByKey("Voltage", text)) return;
  pass_.vcoreWritten = true;
  Record({kCategoryCpu, control, SensorPlacement::kVoltage, chipName_, r.name, value, text});
}

void CSummarySensors::RecordChips(CPUIDSDK& sdk) {
  const int chips = std::min(sdk.GetNumberOfDevices(), kMaxChips);
  for (int d = 0; d < chips; ++d) {
    const int kind = sdk.GetDeviceClass(d).value_or(-1);
    CDeviceList* list = kind == kChipDisplay ? &displayChips_
                        : kind == kChipOther ? &otherChips_
                        : kind == kChipDisk  ? &diskChips_
                                             : nullptr;
    if (list == nullptr) continue;
    bool known = false;
    for (std::int32_t i = 0; i < list->Size(); ++i) {
      const _DEVICE_ITEM* item = list->At(i);
      if (item != nullptr && item->device == d && item->deviceClass == kind) known = true;
    }
    if (known) continue;
    _DEVICE_ITEM item;
    item.device = d;
    item.deviceClass = kind;
    item.position = NextDevicePosition(*list, kind);
    item.SetName(ChipName(sdk, d));
    list->Add(&item);
  }
}

void CSummarySensors::PlaceVoltages(CPUIDSDK& sdk, bool setUp) {
  // The core voltage comes from the board chip only, and only when it is the first chip.
  if (sdk.GetNumberOfDevices() < 1 || sdk.GetDeviceClass(0).value_or(-1) != kChipBoard) return;
  chipName_ = ChipName(sdk, 0);
  for (const Reading& r : ReadClass(sdk, 0, kClassVoltage)) {
    if (r.name.empty() || r.name != "CPU VCORE") continue;
    SetVoltage(0, r.value, r);
    if (setUp) SetVoltage(2, r.value, r);
  }
}

int CSummarySensors::DisplayControlFor(int chip, const std::string& chipName) {
  const int slot = page_.display.FindDeviceForSensor(chip, chipName, kSensorSourceDisplay8);
  if (slot < 0 || slot >= kMaxDisplayAdapters) return -1;
  page_.display.details[static_cast<std::size_t>(slot)].Link(kSensorSourceDisplay8, chip);
  const auto& controls = page_.panes[kCategoryDisplay].controls;
  return slot < std::min(page_.display.count, static_cast<int>(controls.size())) ? slot : -1;
}

int CSummarySensors::DiskControlFor(int chip, const std::string& chipName, int ordinal) {
  const std::vector<int> slots = page_.DiskSlots();
  int slot = -1;
  if (SensorsProcessState().diskMatchingMode == 0) {
    slot = page_.hdd.FindDeviceForSensor(chip, chipName, kSensorSourceDisk);
    if (slot >= 0 && slot < kMaxDisks) {
      page_.hdd.disks[static_cast<std::size_t>(slot)].detail.Link(kSensorSourceDisk, chip);
    }
  } else if (ordinal >= 0 && ordinal < static_cast<int>(slots.size())) {
    // By order: the n-th disk chip goes to the n-th disk the page shows.
    slot = slots[static_cast<std::size_t>(ordinal)];
  }
  const auto it = std::find(slots.begin(), slots.end(), slot);
  if (it == slots.end()) return -1;
  const int control = static_cast<int>(it - slots.begin());
  return control < static_cast<int>(page_.panes[kCategoryDisk].controls.size()) ? control : -1;
}

void CSummarySensors::PlaceTemperatures(CPUIDSDK& sdk) {
  const int chips = std::min(sdk.GetNumberOfDevices(), kMaxChips);
  int diskOrdinal = -1;
  for (int d = 0; d < chips; ++d) {
    const int kind = sdk.GetDeviceClass(d).value_or(-1);
    if (kind == kChipDisk) ++diskOrdinal;
    if (kind != kChipBoard && kind != kChipProcessor && kind != kChipDisplay && kind != kChipDisk)
      continue;
    const std::vector<Reading> readings = ReadClass(sdk, d, kClassTemperature);
    if (readings.empty()) continue;
    chipName_ = ChipName(sdk, d);
    switch (kind) {
      case kChipBoard: {
        int auxiliary = 0;  // n: auxiliary inputs of this chip so far
        int remotes = 0;
        for (const Reading& r : readings) {
          const std::string& n = r.name;
          if (IsCpuTemperature(n)) {
            pass_.cpuTemperatureFound = true;
            const int k = pass_.cpuTemperatures++;
            SetTemperature(kCategoryCpu, 2 * k, k == 0, r.value, r);
          } else if (IsBoardTemperature(n)) {
            pass_.boardTemperatureFound = true;
            SetTemperature(kCategoryMainboard, 0, true, r.value, r);
          } else if (Contains(n, "REMOTE") && remotes < 2) {
            ++remotes;
          } else if (IsIgnoredBoardTemperature(n)) {
            // Read, but it tells nothing about the CPU or the board.
          } else {
            // "TMPIN..." of chips without labels, and every other named input.
            pass_.otherSeen = true;
            const bool cpu = pass_.cpuTemperatureFound, board = pass_.boardTemperatureFound;
            if (!cpu && !board) {
              if (auxiliary == 0) {
                pass_.aux = r.value;
                pass_.auxPresent = true;
                pass_.auxSource[0] = chipName_;
                pass_.auxSource[1] = n;
              } else if (auxiliary == 1) {
                pass_.aux2 = r.value;
                pass_.aux2Source[0] = chipName_;
                pass_.aux2Source[1] = n;
              }
            } else if (board && !cpu) {
              if (auxiliary == 0) {
                pass_.aux = r.value;
                pass_.auxPresent = true;
                pass_.auxSource[0] = chipName_;
                pass_.auxSource[1] = n;
              }
            } else if (cpu && !board) {
              if (auxiliary == 0) {
                pass_.aux2 = r.value;
                pass_.aux2Source[0] = chipName_;
                pass_.aux2Source[1] = n;
              }
            }
            ++auxiliary;
          }
        }
        break;
      }
      case kChipProcessor: {
        // The chip's first named input, except that AMD's die reading wins over its control
        // reading, which carries an offset of up to 27 degrees on some processors; where the
        // two agree the kernel reports only the control reading.
        const Reading* first = nullptr;
        for (const Reading& r : readings) {
          if (r.name.empty()) continue;
          pass_.firstCorePresent = true;
          if (first == nullptr || (r.name == "TDIE" && first->name == "TCTL")) first = &r;
        }
        if (first != nullptr) {
          pass_.firstCore = first->value;
          pass_.coreSource[0] = chipName_;
          pass_.coreSource[1] = first->name;
        }
        break;
      }
      case kChipDisplay: {
        // A graphics chip's first input is its main temperature; later ones (junction, memory)
        // would otherwise overwrite it on the badge.
        const Reading& r = readings.front();
        const int control = DisplayControlFor(d, chipName_);
        const bool caption = !pass_.displayCaptionSet;
        pass_.displayCaptionSet = true;
        SetTemperature(kCategoryDisplay, control, caption, r.value, r);
        break;
      }
      case kChipDisk: {
        // Likewise a drive's first input is its composite temperature.
        const Reading& r = readings.front();
        const int control = DiskControlFor(d, chipName_, diskOrdinal);
        const bool caption = !pass_.diskCaptionSet;
        pass_.diskCaptionSet = true;
        SetTemperature(kCategoryDisk, control, caption, r.value, r);
        ++pass_.diskSeen;
        if (control >= 0) ++pass_.diskMatched;
        break;
      }
      default:
        break;
    }
  }
}

void CSummarySensors::PlaceFans(CPUIDSDK& sdk) {
  const int chips = std::min(sdk.GetNumberOfDevices(), kMaxChips);
  int diskOrdinal = -1;
  for (int d = 0; d < chips; ++d) {
    const int kind = sdk.GetDeviceClass(d).value_or(-1);
    if (kind == kChipDisk) ++diskOrdinal;
    if (kind != kChipBoard && kind != kChipDisplay && kind != kChipDisk) continue;
    chipName_ = ChipName(sdk, d);
    int cpuFans = 0, systemFans = 0, otherFans = 0;  // c, y, o of this chip
    int control = -1;
    bool matched = false;
    for (const int cls : {kClassFan, kClassFanPwm}) {
      for (const Reading& r : ReadClass(sdk, d, cls)) {
        if (r.value < 0) continue;  // no fan connected
        const std::string& n = r.name;
        if (kind == kChipDisplay || kind == kChipDisk) {
          if (!matched) {
            matched = true;
            control = kind == kChipDisplay ? DisplayControlFor(d, chipName_)
                                           : DiskControlFor(d, chipName_, diskOrdinal);
          }
          SetFan(kind == kChipDisplay ? kCategoryDisplay : kCategoryDisk, control, r.value, r);
          continue;
        }
        const bool cpuName =
            n == (cls == kClassFanPwm ? "CPUFANPWMIN" : "CPUFANIN") || Contains(n, "CPU");
        if (cpuName) {
          if (cpuFans == 0) SetFan(kCategoryCpu, 0, r.value, r);
          if (cpuFans == 1) SetFan(kCategoryCpu, 2, r.value, r);
          ++cpuFans;
        } else if (Contains(n, "SYS")) {
          if (systemFans <= 1) SetFan(kCategoryMainboard, 0, r.value, r);
          ++systemFans;
        } else if (Contains(n, "FANIN")) {
          if (cpuFans == 0) {
            SetFan(kCategoryCpu, 0, r.value, r);
            cpuFans = 1;
          } else if (systemFans == 0) {
            SetFan(kCategoryMainboard, 0, r.value, r);
            systemFans = 1;
          }
        } else if (otherFans == 0) {
          if (cpuFans == 0) {
            SetFan(kCategoryCpu, 0, r.value, r);
            cpuFans = 1;
          } else if (systemFans == 0) {
            SetFan(kCategoryMainboard, 0, r.value, r);
            systemFans = 1;
          }
          ++otherFans;
        }
      }
    }
  }
}

void CSummarySensors::SetStandIn(int category, float value, const std::string (&source)[2]) {
  chipName_ = source[0];
  SetTemperature(category, 0, true, value, Reading{source[1], value});
}

void CSummarySensors::EndOfPass() {
  if (!pass_.cpuTemperatureFound) {
    if (pass_.auxPresent && pass_.aux >= 0) {
      SetStandIn(kCategoryCpu, pass_.aux, pass_.auxSource);
    } else if (pass_.firstCorePresent && pass_.firstCore >= 0) {
      SetStandIn(kCategoryCpu, pass_.firstCore, pass_.coreSource);
    } else if (pass_.otherSeen && pass_.aux >= 0) {
      SetStandIn(kCategoryCpu, pass_.aux, pass_.auxSource);
    }
  }
  pass_.cpuTemperatureFound = false;
  if (!pass_.boardTemperatureFound && pass_.otherSeen && pass_.aux2 >= 0) {
    SetStandIn(kCategoryMainboard, pass_.aux2, pass_.aux2Source);
  }
  pass_.boardTemperatureFound = false;
  auto& state = SensorsProcessState();
  if (pass_.diskMatched < pass_.diskSeen) {
    if (state.passes == 3 || state.passes == 4) state.diskMatchingMode = 1;
    if (state.passes == 5 || state.passes == 6) state.diskMatchingMode = 2;
  }
}

void CSummarySensors::SetUpSensors() {
  if (setUpDone_) return;
  if (!library_) library_ = [] { return HardwareLibrary(); };
  CPUIDSDK* sdk = library_();
  auto& cpu = page_.panes[kCategoryCpu].controls;
  auto setVoltageText = [&cpu](const std::string& text) {
    for (const std::size_t i : {std::size_t{0}, std::size_t{2}}) {
      if (i < cpu.size()) cpu[i].SetRowValueByKey("Voltage", text);
    }
  };
  if (sdk == nullptr) {
    setVoltageText(page_.Lang().Text(5005));
    return;
  }
  placements_.clear();
  pass_ = PassState{};
  bool owned = false;
  if (TakeGuard(owned)) {
    RecordChips(*sdk);
    PlaceVoltages(*sdk, true);
    PlaceTemperatures(*sdk);
    if (!pass_.cpuTemperatureFound && pass_.firstCorePresent && pass_.firstCore > 0) {
      SetStandIn(kCategoryCpu, pass_.firstCore + 1.0f, pass_.coreSource);
    }
    pass_.cpuTemperatureFound = false;
    ReleaseGuard(owned);
  }
  if (!pass_.vcoreWritten) setVoltageText(page_.Lang().Text(5006));
  setUpDone_ = true;
}

bool CSummarySensors::UpdateSensors() {
  if (!library_) library_ = [] { return HardwareLibrary(); };
  CPUIDSDK* sdk = library_();
  if (sdk == nullptr) return false;
  bool owned = false;
  if (!TakeGuard(owned)) return false;
  auto& state = SensorsProcessState();
  if (++state.passes > 2000000000) state.passes = 10;
  // Each pass places afresh: the links already made by name stay, what this pass placed
  // starts empty.
  pass_ = PassState{};
  placements_.clear();
  PlaceVoltages(*sdk, false);
  PlaceTemperatures(*sdk);
  PlaceFans(*sdk);
  EndOfPass();
  ReleaseGuard(owned);
  return true;
}

}  // namespace korvane::summary
