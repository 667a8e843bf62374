#include "Hwmon.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "QmHdwApi.h"
#include "TextUtil.h"
#include "platform/Sysroot.h"

namespace korvane::hwprobe {
namespace {

bool HasPrefix(std::string_view s, std::initializer_list<std::string_view> prefixes) {
  for (auto p : prefixes)
    if (StartsWith(s, p)) return true;
  return false;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// "../../../0000:01:00.0" relative to "/sys/class/hwmon/hwmon3" -> "/sys/devices/.../0000:01:00.0"
std::string ResolveLink(const std::string& dir, const std::string& target) {
  if (!target.empty() && target[0] == '/') return target;
  std::vector<std::string> parts;
  auto push = [&](std::string_view path) {
    std::size_t start = 0;
    while (start <= path.size()) {
      std::size_t slash = path.find('/', start);
      std::string_view part = path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.emplace_back(part);
      }
      if (slash == std::string_view::npos) break;
      start = slash + 1;
    }
  };
  push(dir);
  push(target);
  std::string out;
  for (const auto& p : parts) out += "/" + p;
  return out;
}

std::string DeviceName(HwmonChip& chip, const std::string& dir, PciNamer namer, void* context) {
  if (chip.kind == qmhdw::kDeviceDisk) {
    for (const char* attr : {"/device/model", "/device/device/model"}) {
      if (auto m = platform::ReadSysLine(dir + attr)) {
        std::string model = CleanText(*m);
        if (!model.empty()) return model;
      }
    }
  }
  if (chip.kind == qmhdw::kDeviceDisplay) {
    auto vendor = platform::ReadSysInteger(dir + "/device/vendor");
    auto device = platform::ReadSysInteger(dir + "/device/device");
    if (!vendor || !device) {
      // sysfs writes these as hex ("0x10de"), which a decimal reader refuses.
      auto v = platform::ReadSysLine(dir + "/device/vendor");
      auto d = platform::ReadSysLine(dir + "/device/device");
      if (v && d) {
        vendor = std::strtoll(v->c_str(), nullptr, 16);
        device = std::strtoll(d->c_str(), nullptr, 16);
      }
    }
    if (vendor && device) {
      chip.pciVendor = static_cast<std::uint16_t>(*vendor);
      chip.pciDevice = static_cast<std::uint16_t>(*device);
      std::string n = namer != nullptr ? namer(context, chip.pciVendor, chip.pciDevice) : std::string();
      if (!n.empty()) return n;
    }
  }
  if (chip.kind == qmhdw::kDeviceBoard) {
    std::string vendor = BoardChipVendor(chip.driver);
    return vendor.empty() ? Upper(chip.driver) : vendor + " " + Upper(chip.driver);
  }
  return chip.driver;
}

struct Input {
  int index;
  int cls;
};

}  // namespace

int ChipKindForDriver(std::string_view d) {
  if (HasPrefix(d, {"nct", "it87", "it86", "it87", "w83", "f71", "f81", "sch5", "sch56", "asus_ec", "asusec",
                    "asus-ec", "asus_wmi", "nct6", "lm78", "lm85", "adt7475", "dme1737", "smsc47"}))
    return qmhdw::kDeviceBoard;
  // ITE chips register under their model name ("it8728", "it8686").
  if (d.size() >= 6 && StartsWith(d, "it8")) return qmhdw::kDeviceBoard;
  if (HasPrefix(d, {"coretemp", "k10temp", "k8temp", "zenpower", "cpu_thermal", "via_cputemp", "cpu-thermal"}))
    return qmhdw::kDeviceProcessor;
  if (d == "nvme" || d == "drivetemp") return qmhdw::kDeviceDisk;
  if (d == "amdgpu" || d == "radeon" || d == "nouveau" || d == "i915" || d == "xe") return qmhdw::kDeviceDisplay;
  return qmhdw::kDeviceOther;
}

std::string BoardChipVendor(std::string_view d) {
  if (StartsWith(d, "nct")) return "Nuvoton";
  if (StartsWith(d, "it8")) return "ITE";
  if (StartsWith(d, "w83")) return "Winbond";
  if (StartsWith(d, "f71") || StartsWith(d, "f81")) return "Fintek";
  if (StartsWith(d, "sch") || StartsWith(d, "smsc") || StartsWith(d, "dme")) return "SMSC";
  if (StartsWith(d, "asus")) return "ASUS";
  return {};
}

std::string DefaultSensorName(std::string_view driver, int kind, int cls, int index) {
  const bool nuvoton = StartsWith(driver, "nct");
  const bool ite = StartsWith(driver, "it8");
  const bool winbond = StartsWith(driver, "w83");
  if (kind == qmhdw::kDeviceBoard) {
    if (cls == qmhdw::kSensorVoltage) {
      if (index == 0) return "CPU VCORE";
      if (nuvoton) {
        switch (index) {
          case 2: return "AVCC";
          case 3: return "+3.3V";
          case 7: return "3VSB";
          case 8: return "VBAT";
          default: break;
        }
      }
      return Format("VIN%d", index);
    }
    if (cls == qmhdw::kSensorFan) {
      if (nuvoton) {
        switch (index) {
          case 1: return "SYSFANIN";
          case 2: return "CPUFANIN";
          default: return Format("AUXFANIN%d", index - 3);
        }
      }
      return Format("FANIN%d", index - 1);
    }
    if (cls == qmhdw::kSensorTemperature) {
      if (ite) return Format("TMPIN%d", index - 1);
      if (winbond) {
        switch (index) {
          case 1: return "SYSTIN";
          case 2: return "CPUTIN";
          case 3: return "AUXTIN";
          default: break;
        }
      }
      return Format("TEMP%d", index);
    }
  }
  switch (cls) {
    case qmhdw::kSensorVoltage: return Format("in%d", index);
    case qmhdw::kSensorFan: return Format("fan%d", index);
    default: return Format("temp%d", index);
  }
}

std::string NormalizeLabel(int kind, int cls, std::string_view label) {
  std::string l = CleanText(label);
  if (kind == qmhdw::kDeviceBoard && cls == qmhdw::kSensorVoltage) {
    const std::string u = Upper(l);
    if (u == "VCORE" || u == "CPU CORE" || u == "CPUVCORE" || u == "CPU VCORE" || u == "VCORE VOLTAGE" ||
        u == "CPU CORE VOLTAGE")
      return "CPU VCORE";
  }
  return l;
}

bool ParseSensorValue(std::string_view text, long long& out) {
  std::string t = Trim(text);
  if (t.empty() || t.size() > 20) return false;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(t.c_str(), &end, 10);
  if (errno != 0 || end == t.c_str() || *end != '\0') return false;
  out = v;
  return true;
}

std::vector<HwmonChip> ScanHwmon(PciNamer namer, void* context) {
  std::vector<HwmonChip> chips;
  std::vector<std::string> dirs = platform::ListSysDir("/sys/class/hwmon");
  // hwmon10 after hwmon9.
  std::sort(dirs.begin(), dirs.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  for (const std::string& entry : dirs) {
    if (!StartsWith(entry, "hwmon")) continue;
    const std::string dir = "/sys/class/hwmon/" + entry;
    auto driver = platform::ReadSysLine(dir + "/name");
    std::string attrDir = dir;
    if (!driver) {
      // Old kernels keep the attributes on the device.
      driver = platform::ReadSysLine(dir + "/device/name");
      attrDir = dir + "/device";
    }
    if (!driver || driver->empty()) continue;
    HwmonChip chip;
    chip.driver = CleanText(*driver);
    chip.kind = ChipKindForDriver(chip.driver);
    if (auto link = platform::ReadSysLink(dir + "/device")) chip.devicePath = ResolveLink(dir, *link);
    chip.name = DeviceName(chip, dir, namer, context);

    std::vector<Input> inputs;
    for (const std::string& f : platform::ListSysDir(attrDir)) {
      static const struct { const char* prefix; int cls; } kinds[] = {
          {"in", qmhdw::kSensorVoltage}, {"temp", qmhdw::kSensorTemperature}, {"fan", qmhdw::kSensorFan}};
      for (const auto& k : kinds) {
        const std::string_view p = k.prefix;
        if (!StartsWith(f, p) || f.size() <= p.size() + 6 || f.substr(f.size() - 6) != "_input") continue;
        std::string_view num = std::string_view(f).substr(p.size(), f.size() - p.size() - 6);
        long long idx = 0;
        if (!ParseSensorValue(num, idx) || idx < 0 || idx > 64) continue;
        inputs.push_back({static_cast<int>(idx), k.cls});
      }
    }
    std::sort(inputs.begin(), inputs.end(), [](const Input& a, const Input& b) {
      return a.cls != b.cls ? a.cls < b.cls : a.index < b.index;
    });
    for (const Input& in : inputs) {
      const char* prefix = in.cls == qmhdw::kSensorVoltage ? "in" : in.cls == qmhdw::kSensorFan ? "fan" : "temp";
      const std::string base = attrDir + "/" + prefix + std::to_string(in.index);
      HwmonSensor s;
      s.sensorClass = in.cls;
      s.inputPath = base + "_input";
      s.scale = in.cls == qmhdw::kSensorFan ? 1.0 : 0.001;
      if (auto label = platform::ReadSysLine(base + "_label"); label && !CleanText(*label).empty())
        s.name = NormalizeLabel(chip.kind, in.cls, *label);
      else
        s.name = DefaultSensorName(chip.driver, chip.kind, in.cls, in.index);
      chip.sensors.push_back(std::move(s));
    }
    chips.push_back(std::move(chip));
  }
  std::stable_sort(chips.begin(), chips.end(), [](const HwmonChip& a, const HwmonChip& b) {
    auto rank = [](int kind) { return kind == qmhdw::kDeviceBoard ? 0 : kind == qmhdw::kDeviceProcessor ? 1 : 2; };
    return rank(a.kind) < rank(b.kind);
  });
  RefreshHwmon(chips);
  return chips;
}

void RefreshHwmon(std::vector<HwmonChip>& chips) {
  for (HwmonChip& chip : chips) {
    for (HwmonSensor& s : chip.sensors) {
      auto text = platform::ReadSysFile(s.inputPath, 64);
      long long raw = 0;
      if (!text || !ParseSensorValue(*text, raw)) {
        s.valid = false;
        continue;
      }
      const float v = static_cast<float>(static_cast<double>(raw) * s.scale);
      if (!s.seen) {
        s.minimum = s.maximum = v;
        s.seen = true;
      }
      s.raw = raw;
      s.value = v;
      s.minimum = std::min(s.minimum, v);
      s.maximum = std::max(s.maximum, v);
      s.valid = true;
    }
  }
}

}  // namespace korvane::hwprobe
