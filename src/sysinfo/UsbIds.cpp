#include "sysinfo/UsbIds.h"

#include <algorithm>
#include <fstream>
#include <utility>
#include <vector>

#include "platform/Text.h"

namespace korvane {

namespace {

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

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

enum class LineKind { Skip, Vendor, Product, End };

// One line of the list as Parse reads it: comments, blank and interface lines are skipped, and
// the first top-level line that is not a vendor ends the vendor list (the class and other
// tables that follow it have ids that would read as vendors).
LineKind ReadLine(std::string_view line, std::uint16_t& id, std::string& name) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.empty() || line[0] == '#') return LineKind::Skip;
  if (line[0] == '\t') {
    if (line.size() > 1 && line[1] == '\t') return LineKind::Skip;
    return SplitIdLine(line.substr(1), id, name) ? LineKind::Product : LineKind::Skip;
  }
  return SplitIdLine(line, id, name) ? LineKind::Vendor : LineKind::End;
}

}  // namespace

UsbIds UsbIds::Parse(std::string_view text) {
  UsbIds ids;
  Vendor* current = nullptr;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    std::uint16_t id = 0;
    std::string name;
    const LineKind kind = ReadLine(line, id, name);
    if (kind == LineKind::End) break;
    if (kind == LineKind::Product && current != nullptr) current->products.emplace(id, name);
    if (kind == LineKind::Vendor) {
      current = &ids.vendors_[id];
      current->name = name;
      current->products.clear();
    }
  }
  return ids;
}

// Where each vendor's line is in the file; of two blocks of one vendor the later one counts,
// as in Parse.
struct UsbIds::FileIndex {
  std::string path;
  std::vector<std::pair<std::uint16_t, std::streamoff>> vendors;  // sorted by id

  const std::streamoff* Find(std::uint16_t vendor) const {
    const auto it = std::lower_bound(vendors.begin(), vendors.end(), vendor,
                                     [](const auto& e, std::uint16_t v) { return e.first < v; });
    return it != vendors.end() && it->first == vendor ? &it->second : nullptr;
  }

  // The vendor's name, and with `product` the first name of that product in its block.
  std::string Lookup(std::uint16_t vendor, const std::uint16_t* product) const {
    const std::streamoff* at = Find(vendor);
    if (at == nullptr) return {};
    std::ifstream in(path, std::ios::binary);
    if (!in.seekg(*at)) return {};
    std::string line, name;
    std::uint16_t id = 0;
    if (!std::getline(in, line) || ReadLine(line, id, name) != LineKind::Vendor) return {};
    if (product == nullptr) return name;
    while (std::getline(in, line)) {
      const LineKind kind = ReadLine(line, id, name);
      if (kind == LineKind::Vendor || kind == LineKind::End) break;
      if (kind == LineKind::Product && id == *product) return name;
    }
    return {};
  }
};

UsbIds UsbIds::FromFile(const std::string& path) {
  UsbIds ids;
  std::ifstream in(path, std::ios::binary);
  if (!in) return ids;
  auto index = std::make_shared<FileIndex>();
  index->path = path;
  std::string line, name;
  std::uint16_t id = 0;
  for (std::streamoff at = 0; std::getline(in, line);
       at += static_cast<std::streamoff>(line.size()) + 1) {
    const LineKind kind = ReadLine(line, id, name);
    if (kind == LineKind::End) break;
    if (kind == LineKind::Vendor) index->vendors.emplace_back(id, at);
  }
  // Stable, then the last of each id: a later block replaces an earlier one.
  std::stable_sort(index->vendors.begin(), index->vendors.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::pair<std::uint16_t, std::streamoff>> last;
  for (const auto& e : index->vendors) {
    if (!last.empty() && last.back().first == e.first)
      last.back() = e;
    else
      last.push_back(e);
  }
  index->vendors = std::move(last);
  ids.file_ = std::move(index);
  return ids;
}

const UsbIds& UsbIds::System() {
  // A database of the distribution, not a file of the machine being described, so it is read
  // from the real root like pci.ids is.
  static const UsbIds ids = [] {
    for (const char* path :
         {"/usr/share/hwdata/usb.ids", "/usr/share/misc/usb.ids", "/usr/share/usb.ids"}) {
      UsbIds found = FromFile(path);
      if (found.VendorCount() > 0) return found;
    }
    return UsbIds();
  }();
  return ids;
}

std::size_t UsbIds::VendorCount() const { return file_ ? file_->vendors.size() : vendors_.size(); }

std::string UsbIds::VendorName(std::uint16_t vendor) const {
  if (file_) return file_->Lookup(vendor, nullptr);
  const auto it = vendors_.find(vendor);
  return it == vendors_.end() ? std::string() : it->second.name;
}

std::string UsbIds::ProductName(std::uint16_t vendor, std::uint16_t product) const {
  if (file_) return file_->Lookup(vendor, &product);
  const auto it = vendors_.find(vendor);
  if (it == vendors_.end()) return {};
  const auto p = it->second.products.find(product);
  return p == it->second.products.end() ? std::string() : p->second;
}

}  // namespace korvane
