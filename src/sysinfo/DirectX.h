#pragma once
// The DirectX version: the diagnostic provider, the system files' versions, the registry text
// and its mapping to a display text.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

struct DirectXVersion {
  int major = 0;
  int minor = 0;
  char letter = ' ';
  friend bool operator==(const DirectXVersion&, const DirectXVersion&) = default;
};

// A file version as major.minor.build.revision, 16 bits each, most significant first.
constexpr std::uint64_t MakeFileVersion(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d) {
  return (std::uint64_t{a} << 48) | (std::uint64_t{b} << 32) | (std::uint64_t{c} << 16) | d;
}

// Version of a system file by name ("ddraw.dll"), nullopt when it has none.
using FileVersionLookup = std::function<std::optional<std::uint64_t>(std::string_view fileName)>;

// The file-version table: every row that holds overrides the earlier ones; d3d9.dll ends it.
DirectXVersion DirectXFromFileVersions(const FileVersionLookup& lookup);

// Fills the version; the result is 1 once a version was decided (the file method always decides,
// 0.0 when nothing is installed, which is the case on Linux).
int GetDirectXVersion(DirectXVersion* out);

// "Version" of HKEY_LOCAL_MACHINE "SOFTWARE\Microsoft\DirectX"; 1 when read.
int GetDirectXRegistryVersion(std::string* out);

// Registry text -> display text ("4.09.00.0904" -> "9.0c"); 0 leaves out untouched. Reads the
// process-wide version flags.
int MapDirectXVersion(std::string* out, std::string_view registryVersion);
// The same with the flags given, for callers (and tests) that hold them.
int MapDirectXVersion(std::string* out, std::string_view registryVersion, bool isWindows7,
                      bool isVistaOrServer2008);

}  // namespace korvane
