#pragma once
// Private-profile (.ini) files with the Windows semantics: section and key names compare
// without regard to case, missing entries give the default, results are cut to the caller's
// buffer size, writes create the file and section when missing and keep everything else.
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Like GetPrivateProfileString: copies at most bufferSize-1 characters (bytes) of the value
// (or of the default when absent) into out and returns the number copied. bufferSize 0
// returns 0 and leaves out empty.
std::size_t GetProfileString(std::string_view section, std::string_view key,
                             std::string_view defaultValue, std::string& out,
                             std::size_t bufferSize, std::string_view filePath);
// Like GetPrivateProfileInt: the leading decimal number of the value, or the default.
int GetProfileInt(std::string_view section, std::string_view key, int defaultValue,
                  std::string_view filePath);
// Like WritePrivateProfileString: true on success. Atomic and locked like the registry.
bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        std::string_view filePath);

}  // namespace platform
