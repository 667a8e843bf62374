#include "config/IniFile.h"

#include "platform/Paths.h"
#include "platform/ProfileFile.h"
#include "platform/Text.h"

namespace korvane {

void CIniFile::SetPath(std::string_view path) {
  if (platform::Utf16Length(path) > kMaxPath) {
    path_.clear();
    exists_ = false;
    return;
  }
  path_ = std::string(path);
  exists_ = !path_.empty() && platform::FileExists(path_);
}

int CIniFile::Read(std::string_view section, std::string_view key, std::string& out) const {
  out.clear();
  if (path_.empty()) return 0;
  std::string value;
  // The byte limit only needs to be generous: the character limit is applied below, on whole
  // characters, so a multi-byte value is never cut inside a character.
  platform::GetProfileString(section, key, "", value, 4 * (kMaxValue + 1), path_);
  out = platform::TruncateUtf16Units(value, kMaxValue);
  return out.empty() ? 0 : 1;
}

bool CIniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
  if (path_.empty()) return false;
  bool ok = platform::WriteProfileString(section, key, value, path_);
  exists_ = platform::FileExists(path_);
  return ok;
}

std::string SettingsFilePath() {
  std::string folder = platform::WindowsDirectory();
  if (folder.empty()) folder = platform::ExecutableDirectory();
  return folder + "tovix2.ini";
}

}  // namespace korvane
