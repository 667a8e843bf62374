#pragma once
// Every read of the running machine's files goes through here, so a test can point the whole
// program at a recorded machine (a directory shaped like "/") with KORVANE_SYSROOT.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The root prefix: $KORVANE_SYSROOT, or "" for the real machine. Read once per process unless
// a test overrides it.
const std::string& SysrootPrefix();
// Tests only: replace the prefix for this process ("" restores the real machine).
void SetSysrootPrefixForTesting(std::string prefix);

// "/sys/class/dmi/id" -> "<prefix>/sys/class/dmi/id".
std::string SysPath(std::string_view absolutePath);

// Whole-file reads of machine files (through the prefix). nullopt when the file is missing,
// unreadable or not a regular file (a FIFO or device is refused at once, never waited on); at
// most maxBytes are read (sysfs attributes are small, DMI tables are not).
// Texts come back clean (platform::CleanMachineText): valid UTF-8 without control characters
// other than tabs and, in ReadSysFile, line breaks. Binary reads come back as they are.
std::optional<std::string> ReadSysFile(std::string_view absolutePath,
                                       std::size_t maxBytes = 1 << 20);
std::optional<std::vector<std::uint8_t>> ReadSysBinary(std::string_view absolutePath,
                                                       std::size_t maxBytes = 1 << 20);
// First line, trailing white space removed.
std::optional<std::string> ReadSysLine(std::string_view absolutePath);
// The first line as one whole number: decimal or 0x hexadecimal, optional sign, surrounding
// blanks allowed. nullopt when it is anything else or outside the range of a long long.
std::optional<long long> ReadSysInteger(std::string_view absolutePath);
std::optional<long long> ParseSysInteger(std::string_view text);
// Entry names of a directory (no "." and ".."), sorted; empty when missing.
std::vector<std::string> ListSysDir(std::string_view absolutePath);
// Target of a symbolic link, as stored (relative links stay relative); nullopt if not a link.
std::optional<std::string> ReadSysLink(std::string_view absolutePath);
bool SysPathExists(std::string_view absolutePath);

}  // namespace platform
