#pragma once
// Naming of the operating system: the long name, the build text, the short code used by the
// hardware profile, and the process-wide version flags.
#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

// The facts the Windows naming table is decided on (what GetVersionEx, GetNativeSystemInfo,
// GetProductInfo and GetSystemMetrics(SM_SERVERR2) report).
struct WindowsVersionRecord {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  std::uint32_t platformId = 2;          // 0 Win32s, 1 Windows 9x, 2 NT
  std::uint8_t productType = 1;          // 1 workstation, 2 domain controller, 3 server
  std::uint16_t suiteMask = 0;
  std::string servicePack;               // e.g. "Service Pack 3"
  std::uint16_t processorArchitecture = 0;  // 0 x86, 6 Itanium, 9 x64
  std::uint32_t productInfo = 0;         // GetProductInfo(6, 0, 0, 0)
  int serverR2 = 0;                      // GetSystemMetrics(SM_SERVERR2)
};

inline constexpr std::uint32_t kVerPlatformWin32s = 0;
inline constexpr std::uint32_t kVerPlatformWindows = 1;
inline constexpr std::uint32_t kVerPlatformNt = 2;
inline constexpr std::uint16_t kArchX86 = 0;
inline constexpr std::uint16_t kArchIa64 = 6;
inline constexpr std::uint16_t kArchAmd64 = 9;

struct OsNaming {
  int result = 0;
  std::string longName;
  std::string buildText;
  std::string shortCode;  // at most 63 characters
  bool isNt5OrLater = false;
  bool isVista = false;
  bool isWindows7 = false;
  bool isServer2008 = false;
};

// The Windows naming table as a pure function.
OsNaming NameWindowsOs(const WindowsVersionRecord& version);

// PRETTY_NAME (else NAME and VERSION) of an os-release text; "" when neither is there.
std::string OsReleasePrettyName(std::string_view osReleaseText);
// One value of an os-release text with its shell quoting removed; "" when missing.
std::string OsReleaseValue(std::string_view osReleaseText, std::string_view key);

// Names the running system: long name (at most 511 UTF-16 units) and build text (at most 79).
// Returns 0 without touching the outputs when either is missing. Sets the flags below.
int GetOsName(std::string* longName, std::string* buildText);

// Process-wide values; 0 until GetOsName has run, then only ever raised.
int IsNt5OrLater();
int IsVista();
int IsWindows7();
int IsServer2008();
std::string OsShortCode();
// Tests only: the flags back to their start values, or set as a naming would set them.
void ResetOsFlagsForTesting();
void ApplyOsFlagsForTesting(const OsNaming& naming);

}  // namespace korvane
