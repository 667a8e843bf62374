#pragma once
// Small persistent settings in a private-profile (.ini) file, and where that file lives.
#include <cstddef>
#include <string>
#include <string_view>

namespace korvane {

class CIniFile {
 public:
  // Paths and values are limited to 259 characters (UTF-16 units), as the settings readers
  // of the maker's other tools expect.
  static constexpr std::size_t kMaxPath = 259;
  static constexpr std::size_t kMaxValue = 259;

  CIniFile() = default;
  explicit CIniFile(std::string_view path) { SetPath(path); }

  // Re-points the object and refreshes the exists flag. A path longer than kMaxPath is not
  // cut (that would name another file): the object is left without a path.
  void SetPath(std::string_view path);
  const std::string& Path() const { return path_; }
  bool Exists() const { return exists_; }

  // 1 with the value (at most kMaxValue characters) in out; 0 with out empty when the key is
  // missing or empty, the file is absent or unreadable, or there is no path.
  int Read(std::string_view section, std::string_view key, std::string& out) const;
  // Through the system's profile writer; false when there is no path or the write failed.
  bool Write(std::string_view section, std::string_view key, std::string_view value);

 private:
  std::string path_;
  bool exists_ = false;
};

// "tovix2.ini" in the Windows directory, or beside the executable when that is unknown.
std::string SettingsFilePath();

inline constexpr const char* kSettingsSection = "Tovix2";

}  // namespace korvane
