#include "Smbios.h"

#include <algorithm>

#include "QmHdwApi.h"
#include "TextUtil.h"

namespace korvane::hwprobe {
namespace {

struct Structure {
  std::span<const std::uint8_t> formatted;
  std::vector<std::string> strings;

  int Byte(std::size_t off) const { return off < formatted.size() ? formatted[off] : -1; }
  int Word(std::size_t off) const {
    return off + 1 < formatted.size() ? formatted[off] | (formatted[off + 1] << 8) : -1;
  }
  long long Dword(std::size_t off) const {
    if (off + 3 >= formatted.size()) return -1;
    return static_cast<long long>(formatted[off]) | (static_cast<long long>(formatted[off + 1]) << 8) |
           (static_cast<long long>(formatted[off + 2]) << 16) |
           (static_cast<long long>(formatted[off + 3]) << 24);
  }
  std::string String(std::size_t off) const {
    int index = Byte(off);
    if (index <= 0 || static_cast<std::size_t>(index) > strings.size()) return {};
    return CleanText(strings[static_cast<std::size_t>(index - 1)]);
  }
};

// Size of a type-17 device in MB; 0 for an empty slot or an unknown size.
int DeviceSizeMB(const Structure& s) {
  int size = s.Word(0x0C);
  if (size <= 0 || size == 0xFFFF) return 0;
  if (size == 0x7FFF) {
    long long ext = s.Dword(0x1C);
    if (ext <= 0) return 0;
    return static_cast<int>(std::min<long long>(ext & 0x7FFFFFFF, 0x7FFFFFFF));
  }
  if (size & 0x8000) return (size & 0x7FFF) / 1024;  // given in KB
  return size;
}

}  // namespace

SmbiosInfo ParseSmbiosTable(std::span<const std::uint8_t> table) {
  SmbiosInfo info;
  std::size_t pos = 0;
  while (pos + 4 <= table.size()) {
    const int type = table[pos];
    const std::size_t length = table[pos + 1];
    if (length < 4 || pos + length > table.size()) break;
    Structure s;
    s.formatted = table.subspan(pos, length);
    // The string set follows the formatted area and ends with a double zero.
    std::size_t p = pos + length;
    std::string current;
    bool terminated = false;
    while (p < table.size()) {
      const char c = static_cast<char>(table[p]);
      if (c == '\0') {
        if (current.empty()) {
          // An empty first string means "no strings": the terminator is one more zero.
          if (s.strings.empty() && p + 1 < table.size() && table[p + 1] == 0) ++p;
          terminated = true;
          ++p;
          break;
        }
        s.strings.push_back(current);
        current.clear();
      } else {
        current.push_back(c);
      }
      ++p;
    }
    if (!terminated) break;
    info.valid = true;
    switch (type) {
      case 0:
        info.biosVendor = s.String(0x04);
        info.biosVersion = s.String(0x05);
        info.biosDate = s.String(0x08);
        break;
      case 1:
        info.systemVendor = s.String(0x04);
        info.systemProduct = s.String(0x05);
        info.systemVersion = s.String(0x06);
        break;
      case 2:
        if (info.boardVendor.empty() && info.boardProduct.empty()) {
          info.boardVendor = s.String(0x04);
          info.boardProduct = s.String(0x05);
          info.boardVersion = s.String(0x06);
          info.boardSerial = s.String(0x07);
        }
        break;
      case 16:
        // Only system memory (use 3); video or flash arrays are not DIMM slots.
        if (s.Byte(0x05) == 3) {
          int n = s.Word(0x0D);
          if (n > 0) info.arraySlots += n;
          ++info.arrays;
        }
        break;
      case 17: {
        SmbiosMemoryDevice d;
        d.sizeMB = DeviceSizeMB(s);
        d.dataWidth = std::max(0, s.Word(0x0A));
        if (d.dataWidth == 0xFFFF) d.dataWidth = 0;
        d.locator = s.String(0x10);
        d.bankLocator = s.String(0x11);
        d.smbiosType = std::max(0, s.Byte(0x12));
        int speed = s.Word(0x15);
        d.speedMTs = speed > 0 && speed != 0xFFFF ? speed : 0;
        if (speed == 0xFFFF) d.speedMTs = static_cast<int>(std::max<long long>(0, s.Dword(0x54)));
        d.manufacturer = s.String(0x17);
        d.serialNumber = s.String(0x18);
        d.partNumber = s.String(0x1A);
        int attr = s.Byte(0x1B);
        d.ranks = attr > 0 ? (attr & 0x0F) : 0;
        int conf = s.Word(0x20);
        d.configuredMTs = conf > 0 && conf != 0xFFFF ? conf : 0;
        if (conf == 0xFFFF) d.configuredMTs = static_cast<int>(std::max<long long>(0, s.Dword(0x58)));
        info.devices.push_back(std::move(d));
        break;
      }
      default:
        break;
    }
    pos = p;
    if (type == 127) break;
  }
  return info;
}

int MemoryTypeFromSmbios(int t) {
  switch (t) {
    case 0x0F: return qmhdw::kMemSdram;
    case 0x11: return qmhdw::kMemRdram;
    case 0x12: return qmhdw::kMemDdr;
    case 0x13: return qmhdw::kMemDdr2;
    case 0x14: return qmhdw::kMemFbDdr2;
    case 0x18: return qmhdw::kMemDdr3;
    case 0x1A: return qmhdw::kMemDdr4;
    case 0x1B: return qmhdw::kMemDdr;  // LPDDR types are reported as their DDR generation
    case 0x1C: return qmhdw::kMemDdr2;
    case 0x1D: return qmhdw::kMemDdr3;
    case 0x1E: return qmhdw::kMemDdr4;
    case 0x22: return qmhdw::kMemDdr5;
    case 0x23: return qmhdw::kMemDdr5;
    default: return -1;
  }
}

}  // namespace korvane::hwprobe
