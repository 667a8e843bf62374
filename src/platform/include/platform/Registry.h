#pragma once
// A hierarchical key/value store with the registry's contract. HKEY_CURRENT_USER lives in one
// readable text file under the user's config folder; HKEY_LOCAL_MACHINE and
// HKEY_CLASSES_ROOT are read-only views of a system file when present. Every write is atomic
// (temporary file + rename) under an advisory lock, so concurrent writers lose nothing.
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
  kRegNotFound = 2,        // ERROR_FILE_NOT_FOUND
  kRegAccessDenied = 5,    // ERROR_ACCESS_DENIED
  kRegInvalidData = 13,    // ERROR_INVALID_DATA (a damaged store)
  kRegMoreData = 234,      // ERROR_MORE_DATA
  kRegNoMoreItems = 259,   // ERROR_NO_MORE_ITEMS
};

enum class RegType { String, Dword };

struct RegValue {
  std::string name;
  RegType type = RegType::String;
  std::string text;          // for String
  std::uint32_t dword = 0;   // for Dword
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
std::string RegistryLastError();

}  // namespace platform
