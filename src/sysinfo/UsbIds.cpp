#include "sysinfo/UsbIds.h"

#include <fstream>
#include <sstream>

#include "platform/Text.h"

namespace korvane {

namespace {

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// "046d  Logitech, Inc." -> id and name; false for anything else.
bool SplitIdLine(std::string_view line, std::uint16_t& id, std::string& name) {
  if (line.size() < 6) return false;
  unsigned value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    if (!IsHex(line[i])) return false;
    const char c = line[i];
    value = value * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
  }
  if (line[4] != ' ' && line[4] != '\t') return false;
  id = static_cast<std::uint16_t>(value);
  // The ids file is the machine's; whatever bytes it holds must not reach a device name as is.
  name = platform::CleanMachineText(platform::Trim(line.substr(5)), false);
  return !name.empty();
}

std::string ReadWholeFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace

UsbIds UsbIds::Parse(std::string_view text) {
  UsbIds ids;
  Vendor* current = nullptr;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#') continue;
    std::uint16_t id = 0;
    std::string name;
    if (line[0] == '\t') {
      // Interface lines (two tabs) belong to a product; only products are kept.
      if (line.size() > 1 && line[1] == '\t') continue;
      if (current != nullptr && SplitIdLine(line.substr(1), id, name)) current->products.emplace(id, name);
      continue;
    }
    if (SplitIdLine(line, id, name)) {
      current = &ids.vendors_[id];
      current->name = name;
      current->products.clear();
    } else {
      // "C 00  ...", "AT ...", "HID ...": the class and code tables that follow the vendor
      // list; their ids would read as vendors.
      break;
    }
  }
  return ids;
}

const UsbIds& UsbIds::System() {
  // A database of the distribution, not a file of the machine being described, so it is read
  // from the real root like libpci reads pci.ids.
  static const UsbIds ids = [] {
    for (const char* path : {"/usr/share/hwdata/usb.ids", "/usr/share/misc/usb.ids", "/usr/share/usb.ids"}) {
      const std::string text = ReadWholeFile(path);
      if (!text.empty()) return Parse(text);
    }
    return UsbIds();
  }();
  return ids;
}

std::string UsbIds::VendorName(std::uint16_t vendor) const {
  const auto it = vendors_.find(vendor);
  return it == vendors_.end() ? std::string() : it->second.name;
}

std::string UsbIds::ProductName(std::uint16_t vendor, std::uint16_t product) const {
  const auto it = vendors_.find(vendor);
  if (it == vendors_.end()) return {};
  const auto p = it->second.products.find(product);
  return p == it->second.products.end() ? std::string() : p->second;
}

}  // namespace korvane
