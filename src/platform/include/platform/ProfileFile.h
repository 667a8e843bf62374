#pragma once
// Private-profile (.ini) files with the Windows semantics: section and key names compare
// without regard to case, missing entries give the default, results are cut to the caller's
// buffer size, writes create the file and section when missing and keep everything else.
//
// Reading: names are trimmed and compare case-insensitively (ASCII); the first section of a
// name and the first key in it count; lines starting with ';' are comments; a key without '='
// has no value (the default is used), "key=" has the empty value. Values are trimmed, then
// one pair of matching surrounding quotes (" or ') is removed.
// Writing: the changed line is replaced in place (keeping the key's spelling), a new key goes
// after the section's last entry, a new section at the end; every other byte of the file, its
// line endings and byte order mark stay. Writes are atomic under a lock on "<file>.lock", shared
// with every process using these functions; the folder must exist. Sections, keys or values
// that could not be read back as written (line breaks, NUL, '=' in a key, ']' in a section, a
// key starting with '[' or ';') are refused.
// A file name without '/' is a file in WindowsDirectory().
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
