#include "platform/PciIds.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace platform {

namespace {

// libpci reads lines into a buffer of this size and refuses longer ones.
constexpr std::size_t kMaxLine = 1024;
// The index of a 1.3 MB list is built with few reads; one vendor's block (Intel's is the
// largest, about 370 kB) is scanned in steps of this size.
constexpr std::size_t kScanBuffer = 64 * 1024;
// A device's subsystems and a class's subclasses are a few lines.
constexpr std::size_t kShortBuffer = 8 * 1024;

// Sequential lines of the file from an offset, each with its own offset.
class LineReader {
 public:
  LineReader(int fd, std::uint64_t offset, std::size_t capacity)
      : fd_(fd), base_(offset), buffer_(capacity) {}

  // False at the end of the file or on a read error. A line longer than the buffer comes back
  // cut to the buffer's length, which the parser below refuses as too long.
  bool Next(std::string_view& line, std::uint64_t& at) {
    for (;;) {
      char* start = buffer_.data() + pos_;
      const std::size_t have = len_ - pos_;
      if (const void* nl = std::memchr(start, '\n', have)) {
        const std::size_t n = static_cast<std::size_t>(static_cast<const char*>(nl) - start);
        const bool skipped = skipping_;
        skipping_ = false;
        line = std::string_view(start, n);
        at = base_ + pos_;
        pos_ += n + 1;
        if (skipped) continue;  // the tail of an over-long line
        return true;
      }
      if (eof_) {
        if (have == 0 || skipping_) return false;
        line = std::string_view(start, have);
        at = base_ + pos_;
        pos_ = len_;
        return true;
      }
      if (pos_ == 0 && len_ == buffer_.size()) {
        // No end of line in a full buffer: hand out what there is and drop the rest of it.
        line = std::string_view(start, have);
        at = base_;
        base_ += len_;
        len_ = 0;
        skipping_ = true;
        return true;
      }
      if (skipping_) {
        base_ += len_;
        len_ = pos_ = 0;
      } else {
        std::memmove(buffer_.data(), start, have);
        base_ += pos_;
        len_ = have;
        pos_ = 0;
      }
      if (!Fill()) return false;
    }
  }

 private:
  bool Fill() {
    for (;;) {
      const ssize_t n = ::pread(fd_, buffer_.data() + len_, buffer_.size() - len_,
                                static_cast<off_t>(base_ + len_));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) eof_ = true;
      len_ += static_cast<std::size_t>(n);
      return true;
    }
  }

  int fd_;
  std::uint64_t base_;  // file offset of buffer_[0]
  std::vector<char> buffer_;
  std::size_t pos_ = 0, len_ = 0;
  bool eof_ = false;
  bool skipping_ = false;
};

bool IsWhite(std::string_view s, std::size_t i) {
  return i < s.size() && (s[i] == ' ' || s[i] == '\t');
}

int Hex(std::string_view s, std::size_t at, std::size_t digits) {
  if (at + digits > s.size()) return -1;
  int v = 0;
  for (std::size_t i = at; i < at + digits; ++i) {
    const char c = s[i];
    v <<= 4;
    if (c >= '0' && c <= '9')
      v += c - '0';
    else if (c >= 'a' && c <= 'f')
      v += c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      v += c - 'A' + 10;
    else
      return -1;
  }
  return v;
}

// The name after an id: leading blanks skipped; empty when there is none.
std::string_view NameFrom(std::string_view s, std::size_t at) {
  if (at > s.size()) return {};
  while (at < s.size() && (s[at] == ' ' || s[at] == '\t')) ++at;
  return s.substr(at);
}

// A line as libpci sees it: cut at the first carriage return, one trailing blank dropped, and
// split into its nesting depth (leading tabs) and the text after them. False for blank lines,
// comments and lines libpci would refuse outright.
bool Prepare(std::string_view line, int& nest, std::string_view& text) {
  if (line.size() >= kMaxLine - 1) return false;
  if (const auto cr = line.find('\r'); cr != std::string_view::npos) line = line.substr(0, cr);
  // A NUL byte ends libpci's line early and makes it a "line too long".
  if (line.find('\0') != std::string_view::npos) return false;
  if (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  const auto first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos || line[first] == '#') return false;
  const auto tabs = line.find_first_not_of('\t');
  nest = static_cast<int>(tabs);
  text = line.substr(tabs);
  return true;
}

enum class Top { Invalid, Vendor, Class, Generic, Other };

Top ParseTop(std::string_view t, int& id, std::string_view& name) {
  if (t.size() >= 2 && t[0] == 'C' && t[1] == ' ') {
    id = Hex(t, 2, 2);
    if (id < 0 || !IsWhite(t, 4)) return Top::Invalid;
    name = NameFrom(t, 5);
    return name.empty() ? Top::Invalid : Top::Class;
  }
  if (t.size() >= 2 && t[0] == 'S' && t[1] == ' ') {
    id = Hex(t, 2, 4);
    return id < 0 || t.size() != 6 ? Top::Invalid : Top::Generic;
  }
  if (t.size() >= 2 && t[0] >= 'A' && t[0] <= 'Z' && t[1] == ' ') return Top::Other;
  id = Hex(t, 0, 4);
  if (id < 0 || !IsWhite(t, 4)) return Top::Invalid;
  name = NameFrom(t, 5);
  return name.empty() ? Top::Invalid : Top::Vendor;
}

// "1234  name" (devices, generic subsystems) or "12  name" (subclasses).
bool ParseIdName(std::string_view t, std::size_t digits, int& id, std::string_view& name) {
  id = Hex(t, 0, digits);
  if (id < 0 || !IsWhite(t, digits)) return false;
  name = NameFrom(t, digits + 1);
  return !name.empty();
}

// "1043 8694  name" under a device.
bool ParseSubsystemLine(std::string_view t, int& subVendor, int& subDevice,
                        std::string_view& name) {
  subVendor = Hex(t, 0, 4);
  subDevice = Hex(t, 5, 4);
  if (subVendor < 0 || subDevice < 0 || !IsWhite(t, 4) || !IsWhite(t, 9)) return false;
  name = NameFrom(t, 10);
  return !name.empty();
}

const PciIdList::Entry* Find(const std::vector<PciIdList::Entry>& list, std::uint16_t id) {
  const auto it =
      std::lower_bound(list.begin(), list.end(), id,
                       [](const PciIdList::Entry& e, std::uint16_t v) { return e.id < v; });
  return it != list.end() && it->id == id ? &*it : nullptr;
}

// Sorted by id; of two entries with one id the first in the file stands.
void SortUnique(std::vector<PciIdList::Entry>& list) {
  std::stable_sort(
      list.begin(), list.end(),
      [](const PciIdList::Entry& a, const PciIdList::Entry& b) { return a.id < b.id; });
  list.erase(std::unique(
                 list.begin(), list.end(),
                 [](const PciIdList::Entry& a, const PciIdList::Entry& b) { return a.id == b.id; }),
             list.end());
  list.shrink_to_fit();
}

// Walks the lines nested under the entry at `offset`, up to the next line at most `maxNest`
// deep; `visit(nest, text, offset)` returns true to stop.
template <typename Visit>
void WalkChildren(int fd, std::uint32_t offset, int maxNest, std::size_t buffer, Visit visit) {
  LineReader reader(fd, offset, buffer);
  std::string_view line, text;
  std::uint64_t at = 0;
  int nest = 0;
  if (!reader.Next(line, at)) return;  // the entry itself
  while (reader.Next(line, at)) {
    if (!Prepare(line, nest, text)) continue;
    if (nest <= maxNest) return;
    if (visit(nest, text, at)) return;
  }
}

// The one line at `offset`, prepared; false when it cannot be read.
bool LineAt(int fd, std::uint32_t offset, int& nest, std::string_view& text, std::string& storage) {
  char buffer[kMaxLine];
  ssize_t n;
  do {
    n = ::pread(fd, buffer, sizeof buffer, offset);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return false;
  std::string_view line(buffer, static_cast<std::size_t>(n));
  if (const auto nl = line.find('\n'); nl != std::string_view::npos) line = line.substr(0, nl);
  storage.assign(line);
  return Prepare(storage, nest, text);
}

}  // namespace

std::string PciIdList::SystemPath() {
  for (const char* path :
       {"/usr/share/misc/pci.ids", "/usr/share/hwdata/pci.ids", "/usr/share/pci.ids"}) {
    struct stat st {};
    if (::stat(path, &st) == 0 && S_ISREG(st.st_mode)) return path;
  }
  return {};
}

PciIdList::PciIdList(std::string path) : path_(std::move(path)) {}

PciIdList::~PciIdList() {
  if (fd_ >= 0) ::close(fd_);
}

bool PciIdList::Open() {
  if (opened_) return fd_ >= 0;
  opened_ = true;
  if (path_.empty()) return false;
  fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) return false;
  struct stat st {};
  // Only a regular file: a FIFO in its place would hold every lookup up.
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 0xFFFFFFFFll) {
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  LineReader reader(fd_, 0, kScanBuffer);
  std::string_view line, text, name;
  std::uint64_t at = 0;
  int nest = 0, id = 0;
  while (reader.Next(line, at)) {
    if (!Prepare(line, nest, text) || nest != 0) continue;
    const Top kind = ParseTop(text, id, name);
    const Entry e{static_cast<std::uint16_t>(id), static_cast<std::uint32_t>(at)};
    switch (kind) {
      case Top::Vendor:
        vendors_.push_back(e);
        break;
      case Top::Class:
        classes_.push_back(e);
        break;
      case Top::Generic:
        generic_.push_back(e);
        break;
      default:
        break;
    }
  }
  SortUnique(vendors_);
  SortUnique(classes_);
  SortUnique(generic_);
  return true;
}

const std::vector<PciIdList::Entry>& PciIdList::Devices(std::uint16_t vendor) {
  auto [it, added] = devices_.try_emplace(vendor);
  if (!added) return it->second;
  const Entry* v = Find(vendors_, vendor);
  if (v == nullptr) return it->second;
  std::vector<Entry>& list = it->second;
  WalkChildren(fd_, v->offset, 0, kScanBuffer,
               [&](int nest, std::string_view text, std::uint64_t at) {
                 int id = 0;
                 std::string_view name;
                 if (nest == 1 && ParseIdName(text, 4, id, name))
                   list.push_back({static_cast<std::uint16_t>(id), static_cast<std::uint32_t>(at)});
                 return false;
               });
  SortUnique(list);
  return list;
}

std::string PciIdList::Vendor(std::uint16_t vendor) {
  std::lock_guard lock(mutex_);
  if (!Open()) return {};
  const Entry* v = Find(vendors_, vendor);
  std::string storage;
  std::string_view text, name;
  int nest = 0, id = 0;
  if (v == nullptr || !LineAt(fd_, v->offset, nest, text, storage)) return {};
  return ParseTop(text, id, name) == Top::Vendor ? std::string(name) : std::string();
}

std::string PciIdList::DeviceUnlocked(std::uint16_t vendor, std::uint16_t device) {
  const Entry* d = Find(Devices(vendor), device);
  std::string storage;
  std::string_view text, name;
  int nest = 0, id = 0;
  if (d == nullptr || !LineAt(fd_, d->offset, nest, text, storage)) return {};
  return ParseIdName(text, 4, id, name) ? std::string(name) : std::string();
}

std::string PciIdList::Device(std::uint16_t vendor, std::uint16_t device) {
  std::lock_guard lock(mutex_);
  if (!Open()) return {};
  return DeviceUnlocked(vendor, device);
}

std::string PciIdList::SubsystemUnlocked(std::uint16_t vendor, std::uint16_t device,
                                         std::uint16_t subVendor, std::uint16_t subDevice) {
  std::string found;
  // As libpci: the device's own list of subsystems (not for id 0, which it never asks about) ...
  if (vendor > 0 && device > 0) {
    if (const Entry* d = Find(Devices(vendor), device)) {
      WalkChildren(fd_, d->offset, 1, kShortBuffer,
                   [&](int nest, std::string_view text, std::uint64_t) {
                     int sv = 0, sd = 0;
                     std::string_view name;
                     if (nest != 2 || !ParseSubsystemLine(text, sv, sd, name) || sv != subVendor ||
                         sd != subDevice)
                       return false;
                     found = name;
                     return true;
                   });
    }
  }
  // ... then the generic subsystems of the subsystem's vendor ...
  if (found.empty()) {
    if (const Entry* g = Find(generic_, subVendor)) {
      WalkChildren(fd_, g->offset, 0, kShortBuffer,
                   [&](int nest, std::string_view text, std::uint64_t) {
                     int id = 0;
                     std::string_view name;
                     if (nest != 1 || !ParseIdName(text, 4, id, name) || id != subDevice)
                       return false;
                     found = name;
                     return true;
                   });
    }
  }
  // ... then a subsystem that is the device itself.
  if (found.empty() && vendor == subVendor && device == subDevice)
    found = DeviceUnlocked(vendor, device);
  return found;
}

std::string PciIdList::Subsystem(std::uint16_t vendor, std::uint16_t device,
                                 std::uint16_t subVendor, std::uint16_t subDevice) {
  std::lock_guard lock(mutex_);
  if (!Open()) return {};
  return SubsystemUnlocked(vendor, device, subVendor, subDevice);
}

std::string PciIdList::Class(std::uint16_t classAndSubclass) {
  std::lock_guard lock(mutex_);
  if (!Open()) return {};
  const Entry* c = Find(classes_, static_cast<std::uint16_t>(classAndSubclass >> 8));
  if (c == nullptr) return {};
  std::string found;
  WalkChildren(
      fd_, c->offset, 0, kShortBuffer, [&](int nest, std::string_view text, std::uint64_t) {
        int id = 0;
        std::string_view name;
        if (nest != 1 || !ParseIdName(text, 2, id, name) || id != (classAndSubclass & 0xFF))
          return false;
        found = name;
        return true;
      });
  if (!found.empty()) return found;
  // An unlisted subclass: libpci names the class and adds the whole number.
  std::string storage;
  std::string_view text, name;
  int nest = 0, id = 0;
  if (!LineAt(fd_, c->offset, nest, text, storage) || ParseTop(text, id, name) != Top::Class)
    return {};
  char number[8];
  std::snprintf(number, sizeof number, "%04x", classAndSubclass);
  return std::string(name) + " [" + number + "]";
}

}  // namespace platform
