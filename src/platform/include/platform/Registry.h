#pragma once
// A hierarchical key/value store with the registry's contract. HKEY_CURRENT_USER lives in one
// readable text file under the user's config folder; HKEY_LOCAL_MACHINE and
// HKEY_CLASSES_ROOT are read-only views of a system file when present. Every write is atomic
// (temporary file + rename) under an advisory lock, so concurrent writers lose nothing.
//
// Files:
//   HKEY_CURRENT_USER      RegistryFilePath() = <WindowsDirectory()>registry.reg, i.e.
//                          ${XDG_CONFIG_HOME:-~/.config}/quillmark/registry.reg
//                          (lock: registry.reg.lock beside it)
//   HKEY_LOCAL_MACHINE,    SystemRegistryFilePath() = /etc/quillmark/registry.reg under the
//   HKEY_CLASSES_ROOT      machine root (KORVANE_SYSROOT); missing means empty. Never written.
//
// Format (UTF-8 text, one entry per line, '\n' or "\r\n"):
//   KORVANE-REGISTRY 1                       first line, required unless the file is empty
//   ; comment                                ignored, as are blank lines and indentation
//   [HKEY_CURRENT_USER\Software\Quillmark]   a key; bytes that are control characters, '%',
//                                            '[', ']' or not UTF-8 are written %HH
//   "ExeName"="/opt/korvane/korvane"         a string value; inside quotes \\ \" \n \r \t
//                                            and \xHH (any other control or non-UTF-8 byte)
//   "Count"=dword:0000002a                   a DWORD value, 1-8 hex digits
//   @="text"                                 the key's unnamed (default) value
// Anything else is a damaged line: it is skipped (with the values under a damaged key line),
// everything intact is read, and standard error says which lines were lost. A file without
// the header line is damaged as a whole and reads as empty. The next write keeps a copy of the
// damaged file as "<file>.corrupt-<unix time>" and writes every intact value back with the
// change. A FIFO or other non-regular file in the store's place is refused at once
// (kRegAccessDenied), never waited on.
// Names compare case-insensitively for ASCII letters; their spelling is kept as first written.
// Subkeys enumerate in case-insensitive name order, values in the order they were first set.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class RegRoot { CurrentUser, LocalMachine, ClassesRoot };
enum class RegAccess { Read, Write };

// Windows error numbers, so callers can keep their "== 0 is success" checks.
enum RegResult : std::int32_t {
  kRegOk = 0,
  kRegNotFound = 2,            // ERROR_FILE_NOT_FOUND
  kRegAccessDenied = 5,        // ERROR_ACCESS_DENIED (read-only root, unreadable file)
  kRegInvalidHandle = 6,       // ERROR_INVALID_HANDLE (the key is not open)
  kRegInvalidData = 13,        // ERROR_INVALID_DATA (a damaged store that cannot be kept aside)
  kRegWriteFault = 29,         // ERROR_WRITE_FAULT (the file could not be replaced)
  kRegInvalidParameter = 87,   // ERROR_INVALID_PARAMETER (name or data beyond the limits)
  kRegMoreData = 234,          // ERROR_MORE_DATA
  kRegNoMoreItems = 259,       // ERROR_NO_MORE_ITEMS
  kRegUnsupportedType = 1630,  // ERROR_UNSUPPORTED_TYPE (asked a DWORD as text or the reverse)
};

enum class RegType { String, Dword };

struct RegValue {
  std::string name;
  RegType type = RegType::String;
  std::string text;         // for String
  std::uint32_t dword = 0;  // for Dword
};

class RegistryKey {
 public:
  RegistryKey();
  ~RegistryKey();
  RegistryKey(RegistryKey&&) noexcept;
  RegistryKey& operator=(RegistryKey&&) noexcept;

  // Key paths use backslashes as on Windows ("Software\\Quillmark\\Tovix2"); names compare
  // without regard to case.
  [[nodiscard]] RegResult Open(RegRoot root, std::string_view path, RegAccess access);
  [[nodiscard]] RegResult Create(RegRoot root, std::string_view path);
  void Close();
  bool IsOpen() const;

  [[nodiscard]] RegResult QueryString(std::string_view name, std::string& out) const;
  [[nodiscard]] RegResult QueryDword(std::string_view name, std::uint32_t& out) const;
  [[nodiscard]] RegResult SetString(std::string_view name, std::string_view value);
  [[nodiscard]] RegResult SetDword(std::string_view name, std::uint32_t value);
  [[nodiscard]] RegResult DeleteValue(std::string_view name);
  [[nodiscard]] RegResult EnumSubkeys(std::vector<std::string>& names) const;
  [[nodiscard]] RegResult EnumValues(std::vector<RegValue>& values) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The file behind HKEY_CURRENT_USER (tests point it at a temporary folder through
// $XDG_CONFIG_HOME). When a damaged file was set aside, the last error text says where.
std::string RegistryFilePath();
std::string SystemRegistryFilePath();
// The last failure's explanation on this thread (empty when none yet).
std::string RegistryLastError();
// What the last read of the current user's store on this thread had to skip; empty when the
// file was whole.
std::string RegistryDamageNote();

// Limits: a key name component holds at most 255 bytes, a path at most 512 components, a value
// name at most 16383 bytes, a value at most 1 MiB; a store file at most 64 MiB.
inline constexpr std::size_t kRegMaxKeyNameBytes = 255;
inline constexpr std::size_t kRegMaxKeyDepth = 512;
inline constexpr std::size_t kRegMaxValueNameBytes = 16383;
inline constexpr std::size_t kRegMaxValueBytes = 1 << 20;
inline constexpr std::size_t kRegMaxFileBytes = 64u << 20;

}  // namespace platform
