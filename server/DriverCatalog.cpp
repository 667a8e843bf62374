#include "DriverCatalog.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

namespace korvane::server {
namespace {

bool IsHex(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Walks the lines of a text without copying it.
template <typename F>
void ForEachLine(std::string_view text, F&& f) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    f(line);
    pos = end + 1;
  }
}

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// "<hex id>  <name>" after the leading tabs; false when the line is not of that form.
bool SplitIdLine(std::string_view line, std::size_t idLength, std::string_view& id,
                 std::string_view& name) {
  if (line.size() < idLength + 2) return false;
  id = line.substr(0, idLength);
  if (!IsHex(id) || (line[idLength] != ' ' && line[idLength] != '\t')) return false;
  name = TrimView(line.substr(idLength));
  return !name.empty();
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string FileDate(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  std::tm tm{};
  const std::time_t t = st.st_mtime;
  if (::gmtime_r(&t, &tm) == nullptr) return {};
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
  return buf;
}

// "0000XXXX" (or "XXXX") -> "XXXX"; "" for a wildcard or anything else.
std::string ExactId16(std::string_view field) {
  if (field.size() == 8 && IsHex(field) && field.substr(0, 4) == "0000")
    return Upper(field.substr(4));
  if (field.size() == 4 && IsHex(field)) return Upper(field);
  return {};
}

// Splits "v000010DEd00000329sv*sd*bc*sc*i*" at the given markers, in order.
bool SplitFields(std::string_view pattern, const std::vector<std::string_view>& markers,
                 std::vector<std::string_view>& fields) {
  fields.clear();
  std::size_t pos = 0;
  for (std::size_t i = 0; i < markers.size(); ++i) {
    if (pattern.substr(pos, markers[i].size()) != markers[i]) return false;
    pos += markers[i].size();
    std::size_t end = pattern.size();
    if (i + 1 < markers.size()) {
      end = pattern.find(markers[i + 1], pos);
      if (end == std::string_view::npos) return false;
    }
    fields.push_back(pattern.substr(pos, end - pos));
    pos = end;
  }
  return true;
}

}  // namespace

void ReadPciIds(std::string_view text, std::vector<DeviceName>& out) {
  std::string vendorId, vendorName, deviceId, deviceName;
  bool inVendors = true;
  ForEachLine(text, [&](std::string_view line) {
    if (!inVendors || line.empty() || line.front() == '#') return;
    std::string_view id, name;
    if (line.rfind("C ", 0) == 0) {  // the class table follows the vendors
      inVendors = false;
      return;
    }
    if (line.rfind("\t\t", 0) == 0) {
      // "\t\tsubvendor subdevice  name"
      std::string_view rest = line.substr(2);
      if (vendorId.empty() || deviceId.empty() || rest.size() < 11 || rest[4] != ' ') return;
      const std::string_view subVendor = rest.substr(0, 4);
      if (!IsHex(subVendor) || !SplitIdLine(rest.substr(5), 4, id, name)) return;
      DeviceName d;
      d.hardwareId =
          "PCI\\VEN_" + vendorId + "&DEV_" + deviceId + "&SUBSYS_" + Upper(id) + Upper(subVendor);
      d.chipName = std::string(name);
      d.manufacturerEn = vendorName;
      d.manufacturerCn = vendorName;
      d.source = "pci.ids";
      out.push_back(std::move(d));
    } else if (line.front() == '\t') {
      if (vendorId.empty() || !SplitIdLine(line.substr(1), 4, id, name)) {
        deviceId.clear();
        return;
      }
      deviceId = Upper(id);
      deviceName = std::string(name);
      DeviceName d;
      d.hardwareId = "PCI\\VEN_" + vendorId + "&DEV_" + deviceId;
      d.chipName = deviceName;
      d.manufacturerEn = vendorName;
      d.manufacturerCn = vendorName;
      d.source = "pci.ids";
      out.push_back(std::move(d));
    } else {
      deviceId.clear();
      if (!SplitIdLine(line, 4, id, name)) {
        vendorId.clear();
        return;
      }
      vendorId = Upper(id);
      vendorName = std::string(name);
    }
  });
}

void ReadUsbIds(std::string_view text, std::vector<DeviceName>& out) {
  std::string vendorId, vendorName;
  bool inVendors = true;
  ForEachLine(text, [&](std::string_view line) {
    if (!inVendors || line.empty() || line.front() == '#') return;
    std::string_view id, name;
    if (line.rfind("\t\t", 0) == 0) return;  // interfaces
    if (line.front() == '\t') {
      if (vendorId.empty() || !SplitIdLine(line.substr(1), 4, id, name)) return;
      DeviceName d;
      d.hardwareId = "USB\\VID_" + vendorId + "&PID_" + Upper(id);
      d.chipName = std::string(name);
      d.manufacturerEn = vendorName;
      d.manufacturerCn = vendorName;
      d.source = "usb.ids";
      out.push_back(std::move(d));
      return;
    }
    if (!SplitIdLine(line, 4, id, name)) {
      // "C 00  ...", "AT ...", "HID ..." and the other tables follow the vendors.
      if (line.size() > 1 && std::isalpha(static_cast<unsigned char>(line[0])) &&
          line.find(' ') < 4)
        inVendors = false;
      vendorId.clear();
      return;
    }
    vendorId = Upper(id);
    vendorName = std::string(name);
  });
}

void ReadHdaCodecTable(std::string_view text, std::vector<DeviceName>& out) {
  struct Vendor {
    std::string shortName, fullName;
  };
  std::map<std::string, Vendor> vendors;
  std::vector<std::pair<std::string, std::string>> codecs;
  ForEachLine(text, [&](std::string_view line) {
    if (line.empty() || line.front() == '#') return;
    std::vector<std::string_view> cols;
    std::size_t pos = 0;
    while (pos <= line.size()) {
      std::size_t tab = line.find('\t', pos);
      if (tab == std::string_view::npos) tab = line.size();
      cols.push_back(TrimView(line.substr(pos, tab - pos)));
      pos = tab + 1;
    }
    if (cols[0] == "vendor" && cols.size() == 4 && cols[1].size() == 4 && IsHex(cols[1]) &&
        !cols[2].empty() && !cols[3].empty()) {
      vendors[Upper(cols[1])] = Vendor{std::string(cols[2]), std::string(cols[3])};
    } else if (cols[0] == "codec" && cols.size() == 3 && cols[1].size() == 8 && IsHex(cols[1]) &&
               !cols[2].empty()) {
      codecs.emplace_back(Upper(cols[1]), std::string(cols[2]));
    }
  });
  for (const auto& [id, chip] : codecs) {
    const auto v = vendors.find(id.substr(0, 4));
    if (v == vendors.end()) continue;
    DeviceName d;
    d.hardwareId = "HDAUDIO\\FUNC_01&VEN_" + id.substr(0, 4) + "&DEV_" + id.substr(4);
    d.chipName = v->second.shortName + " " + chip;
    d.manufacturerEn = v->second.fullName;
    d.manufacturerCn = v->second.fullName;
    d.source = "hda-codecs";
    out.push_back(std::move(d));
  }
}

void ReadModulesAlias(std::string_view text, std::string_view kernelRelease,
                      std::string_view fileDate, std::vector<DriverBinding>& out,
                      std::vector<VendorWideCodecDriver>* vendorWideCodecs) {
  std::vector<std::string_view> f;
  auto add = [&](std::string id, std::string_view module) {
    out.push_back(DriverBinding{std::move(id), std::string(module), std::string(kernelRelease),
                                std::string(fileDate)});
  };
  ForEachLine(text, [&](std::string_view line) {
    if (line.rfind("alias ", 0) != 0) return;
    line.remove_prefix(6);
    const std::size_t sp = line.find(' ');
    if (sp == std::string_view::npos) return;
    const std::string_view pattern = line.substr(0, sp);
    const std::string_view module = TrimView(line.substr(sp + 1));
    if (module.empty() || module.find(' ') != std::string_view::npos) return;
    if (pattern.rfind("pci:", 0) == 0) {
      if (!SplitFields(pattern.substr(4), {"v", "d", "sv", "sd", "bc"}, f)) return;
      const std::string ven = ExactId16(f[0]), dev = ExactId16(f[1]);
      if (ven.empty() || dev.empty()) return;
      std::string id = "PCI\\VEN_" + ven + "&DEV_" + dev;
      const std::string sv = ExactId16(f[2]), sd = ExactId16(f[3]);
      // A partly fixed subsystem (iwlwifi lists its cards by subsystem device alone) has no
      // single id: the module is still the one that binds this device.
      if (!sv.empty() && !sd.empty()) id += "&SUBSYS_" + sd + sv;
      add(std::move(id), module);
    } else if (pattern.rfind("usb:", 0) == 0) {
      if (!SplitFields(pattern.substr(4), {"v", "p", "d"}, f)) return;
      // Aliases limited to some device releases are quirk tables, not the device's driver.
      if (f[0].size() != 4 || f[1].size() != 4 || !IsHex(f[0]) || !IsHex(f[1])) return;
      if (f[2].empty() || f[2][0] != '*') return;
      add("USB\\VID_" + Upper(f[0]) + "&PID_" + Upper(f[1]), module);
    } else if (pattern.rfind("hdaudio:", 0) == 0) {
      if (!SplitFields(pattern.substr(8), {"v", "r", "a"}, f)) return;
      if (f[1] != "*" || f[2].size() < 2 || !IsHex(f[2].substr(0, 2))) return;
      const std::string func = Upper(f[2].substr(0, 2));
      if (f[0].size() == 8 && IsHex(f[0])) {
        const std::string v = Upper(f[0]);
        add("HDAUDIO\\FUNC_" + func + "&VEN_" + v.substr(0, 4) + "&DEV_" + v.substr(4), module);
      } else if (f[0].size() == 5 && f[0][4] == '*' && IsHex(f[0].substr(0, 4)) && func == "01" &&
                 vendorWideCodecs != nullptr) {
        vendorWideCodecs->push_back(
            VendorWideCodecDriver{Upper(f[0].substr(0, 4)), std::string(module)});
      }
    }
  });
}

ImportSources SystemImportSources(std::string codecTable) {
  ImportSources s;
  auto first = [](std::initializer_list<const char*> paths) -> std::string {
    for (const char* p : paths) {
      std::error_code ec;
      if (std::filesystem::is_regular_file(p, ec)) return p;
    }
    return {};
  };
  s.pciIds = first({"/usr/share/misc/pci.ids", "/usr/share/hwdata/pci.ids"});
  s.usbIds =
      first({"/usr/share/hwdata/usb.ids", "/var/lib/usbutils/usb.ids", "/usr/share/misc/usb.ids"});
  s.modulesRoot = "/lib/modules";
  s.codecTable = std::move(codecTable);
  return s;
}

DriverCatalog BuildCatalog(const ImportSources& sources, ImportReport& report) {
  DriverCatalog catalog;
  report = ImportReport{};
  if (!sources.pciIds.empty()) {
    const std::string text = ReadFileText(sources.pciIds);
    const std::size_t before = catalog.names.size();
    if (!text.empty()) ReadPciIds(text, catalog.names);
    report.pciNames = catalog.names.size() - before;
  }
  if (report.pciNames == 0) report.notes.push_back("no PCI names (pci.ids missing or empty)");
  if (!sources.usbIds.empty()) {
    const std::string text = ReadFileText(sources.usbIds);
    const std::size_t before = catalog.names.size();
    if (!text.empty()) ReadUsbIds(text, catalog.names);
    report.usbNames = catalog.names.size() - before;
  }
  if (report.usbNames == 0) report.notes.push_back("no USB names (usb.ids missing or empty)");
  const std::size_t codecStart = catalog.names.size();
  ReadHdaCodecTable(sources.codecTable, catalog.names);
  report.codecNames = catalog.names.size() - codecStart;

  std::error_code ec;
  if (!sources.modulesRoot.empty() && std::filesystem::is_directory(sources.modulesRoot, ec)) {
    std::vector<std::filesystem::path> kernels;
    for (const auto& entry : std::filesystem::directory_iterator(sources.modulesRoot, ec)) {
      if (std::filesystem::is_regular_file(entry.path() / "modules.alias", ec))
        kernels.push_back(entry.path());
    }
    std::sort(kernels.begin(), kernels.end());
    for (const auto& k : kernels) {
      const std::string file = (k / "modules.alias").string();
      const std::string text = ReadFileText(file);
      std::vector<VendorWideCodecDriver> vendorWide;
      const std::size_t start = catalog.bindings.size();
      ReadModulesAlias(text, k.filename().string(), FileDate(file), catalog.bindings, &vendorWide);
      // A vendor-wide codec driver binds every codec of that vendor without a driver of its own.
      std::set<std::string> bound;
      for (std::size_t i = start; i < catalog.bindings.size(); ++i)
        bound.insert(catalog.bindings[i].hardwareId);
      for (const auto& vw : vendorWide) {
        const std::string prefix = "HDAUDIO\\FUNC_01&VEN_" + vw.vendor + "&DEV_";
        for (std::size_t i = codecStart; i < codecStart + report.codecNames; ++i) {
          const std::string& id = catalog.names[i].hardwareId;
          if (id.rfind(prefix, 0) == 0 && !bound.count(id)) {
            catalog.bindings.push_back(
                DriverBinding{id, vw.module, k.filename().string(), FileDate(file)});
          }
        }
      }
      ++report.kernels;
    }
  }
  if (report.kernels == 0)
    report.notes.push_back("no kernel modules.alias under " + sources.modulesRoot);
  report.bindings = catalog.bindings.size();
  return catalog;
}

}  // namespace korvane::server
