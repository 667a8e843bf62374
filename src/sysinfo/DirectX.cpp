#include "sysinfo/DirectX.h"

#include <array>

#include "platform/Registry.h"
#include "platform/Text.h"
#include "sysinfo/OsName.h"

namespace korvane {

namespace {

struct Row {
  std::string_view file;
  std::uint64_t minimum;      // any major
  std::uint64_t minimumV5;    // when non-zero: rows that differ for major 4 and major 5 files
  DirectXVersion result;
};

constexpr std::uint64_t V(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d) {
  return MakeFileVersion(a, b, c, d);
}

constexpr std::array<Row, 15> kRows{{
    {"ddraw.dll", V(4, 2, 0, 95), 0, {1, 0, ' '}},
    {"ddraw.dll", V(4, 3, 0, 1096), 0, {2, 0, ' '}},
    {"ddraw.dll", V(4, 4, 0, 68), 0, {3, 0, ' '}},
    {"d3drg8x.dll", V(4, 4, 0, 70), 0, {3, 0, 'a'}},
    {"ddraw.dll", V(4, 5, 0, 155), 0, {5, 0, ' '}},
    {"ddraw.dll", V(4, 6, 0, 318), 0, {6, 0, ' '}},
    {"ddraw.dll", V(4, 6, 0, 436), 0, {6, 1, ' '}},
    {"dplayx.dll", V(4, 6, 3, 518), 0, {6, 1, 'a'}},
    {"ddraw.dll", V(4, 7, 0, 700), 0, {7, 0, ' '}},
    {"dinput.dll", V(4, 7, 0, 716), 0, {7, 0, 'a'}},
    {"ddraw.dll", V(4, 8, 0, 400), V(5, 1, 2258, 400), {8, 0, ' '}},
    {"d3d8.dll", V(4, 8, 1, 881), V(5, 1, 2600, 881), {8, 1, ' '}},
    {"d3d8.dll", V(4, 8, 1, 901), V(5, 1, 2600, 901), {8, 1, 'a'}},
    {"mpg2splt.ax", V(6, 3, 1, 885), 0, {8, 1, 'b'}},
    {"dpnet.dll", V(4, 9, 0, 134), V(5, 2, 3677, 134), {8, 2, ' '}},
}};

bool RowHolds(const Row& row, std::uint64_t version) {
  if (row.minimumV5 == 0) return version >= row.minimum;
  const auto major = static_cast<std::uint16_t>(version >> 48);
  if (major == 4) return version >= row.minimum;
  if (major == 5) return version >= row.minimumV5;
  return false;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && platform::EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

DirectXVersion DirectXFromFileVersions(const FileVersionLookup& lookup) {
  DirectXVersion result;
  if (!lookup) return result;
  for (const Row& row : kRows) {
    if (const auto version = lookup(row.file); version && RowHolds(row, *version)) result = row.result;
  }
  if (lookup("d3d9.dll")) result = {9, 0, ' '};
  return result;
}

int GetDirectXVersion(DirectXVersion* out) {
  if (out == nullptr) return 0;
  // There is no diagnostic provider and no system directory of DirectX files on Linux, so the
  // file method decides "none installed".
  const FileVersionLookup noFiles = [](std::string_view) -> std::optional<std::uint64_t> { return std::nullopt; };
  *out = DirectXFromFileVersions(noFiles);
  return 1;
}

int GetDirectXRegistryVersion(std::string* out) {
  if (out == nullptr) return 0;
  platform::RegistryKey key;
  if (key.Open(platform::RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\DirectX", platform::RegAccess::Read) !=
      platform::kRegOk) {
    return 0;
  }
  std::string value;
  if (key.QueryString("Version", value) != platform::kRegOk) return 0;
  *out = std::move(value);
  return 1;
}

int MapDirectXVersion(std::string* out, std::string_view v, bool isWindows7, bool isVistaOrServer2008) {
  if (out == nullptr) return 0;
  if (isWindows7) {
    *out = "11.0";
    return 1;
  }
  const bool eleven = StartsWithNoCase(v, "4.11.00") || StartsWithNoCase(v, "4.11.");
  if (isVistaOrServer2008) {
    *out = eleven ? "11.0" : "10.0";
    return 1;
  }
  struct Exact { std::string_view text; std::string_view display; };
  static constexpr std::array<Exact, 10> kExact{{
      {"4.09.00.0904", "9.0c"}, {"4.09.0000.0904", "9.0c"}, {"4.09.00.0903", "9.0c"},
      {"4.09.0000.0903", "9.0c"}, {"4.09.00.0902", "9.0b"}, {"4.09.0000.0902", "9.0b"},
      {"4.09.00.0901", "9.0a"}, {"4.09.0000.0901", "9.0a"}, {"4.09.00.0900", "9.0"},
      {"4.09.0000.0900", "9.0"}}};
  for (const Exact& e : kExact) {
    if (platform::EqualsIgnoreCase(v, e.text)) {
      *out = std::string(e.display);
      return 1;
    }
  }
  if (StartsWithNoCase(v, "4.10.00") || StartsWithNoCase(v, "4.10.")) {
    *out = "10.0";
    return 1;
  }
  if (eleven) {
    *out = "11.0";
    return 1;
  }
  return 0;
}

int MapDirectXVersion(std::string* out, std::string_view v) {
  return MapDirectXVersion(out, v, IsWindows7() != 0, IsVista() != 0 || IsServer2008() != 0);
}

}  // namespace korvane
