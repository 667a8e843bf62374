#include "sysinfo/OsName.h"

#include <atomic>
#include <optional>
#include <mutex>

#include "platform/Sysroot.h"
#include "platform/Text.h"

namespace korvane {

namespace {

std::atomic<int> gNt5{0}, gVista{0}, gWin7{0}, gServer2008{0};
std::mutex gShortCodeMutex;
std::string gShortCode;

void SetShortCode(std::string code) {
  std::lock_guard lock(gShortCodeMutex);
  gShortCode = std::move(code);
}

void RaiseFlags(const OsNaming& n) {
  if (n.isNt5OrLater) gNt5 = 1;
  if (n.isVista) gVista = 1;
  if (n.isWindows7) gWin7 = 1;
  if (n.isServer2008) gServer2008 = 1;
}

void Append(std::string& text, std::string_view part) {
  text += part;
  text = platform::TruncateUtf16Units(text, 511);
}

std::string VistaEdition(std::uint32_t productInfo) {
  switch (productInfo) {
    case 1: return "Ultimate Edition";
    case 2: return "Home Basic Edition";
    case 3: return "Home Premium Edition";
    case 4:
    case 10: return "Enterprise Edition";
    case 6: return "Business Edition";
    case 7: return "Standard Edition";
    case 8: return "Datacenter Edition";
    case 9: return "Small Business Server";
    case 11: return "Starter Edition";
    case 12: return "Datacenter Edition (core installation)";
    case 13: return "Standard Edition (core installation)";
    case 14: return "Enterprise Edition (core installation)";
    case 15: return "Enterprise Edition for Itanium-based Systems";
    case 17: return "Web Server Edition";
    case 18: return "Cluster Server Edition";
    case 25: return "Small Business Server Premium Edition";
    default: return "";
  }
}

std::string Server2003Edition(const WindowsVersionRecord& v, int& bits) {
  const std::uint16_t s = v.suiteMask;
  if (v.processorArchitecture == kArchIa64) {
    bits = 64;
    if (s & 0x80) return "Datacenter Edition for Itanium-based Systems";
    if (s & 0x2) return "Enterprise Edition for Itanium-based Systems";
    return "";
  }
  if (v.processorArchitecture == kArchAmd64) {
    bits = 64;
    if (s & 0x80) return "Datacenter x64 Edition";
    if (s & 0x2) return "Enterprise x64 Edition";
    return "Standard x64 Edition";
  }
  if (s & 0x4000) return "Compute Cluster Edition";
  if (s & 0x80) return "Datacenter Edition";
  if (s & 0x2) return "Enterprise Edition";
  if (s & 0x400) return "Web Edition";
  if (s & 0x20) return "Small Business Edition";
  return "Standard Edition";
}

}  // namespace

OsNaming NameWindowsOs(const WindowsVersionRecord& v) {
  OsNaming n;
  int bits = 32;
  std::string pattern;
  const bool workstation = v.productType == 1;

  if (v.platformId == kVerPlatformNt) {
    if (v.major < 5) {
      n.longName = "Unknown OS";
      n.result = 0;
      pattern = "UnknownOs";
    } else {
      n.isNt5OrLater = true;
      if (v.major == 6 && (v.minor == 0 || v.minor == 1)) {
        if (v.minor == 1 && workstation) {
          Append(n.longName, "Windows 7 Ultimate");
          pattern = "winseven_%d";
          n.isWindows7 = true;
        } else if (v.minor == 1) {
          Append(n.longName, "Windows Server 2008 R2");
          pattern = "win2008r2_%d";
          n.isServer2008 = true;
        } else if (workstation) {
          Append(n.longName, "Windows Vista ");
          Append(n.longName, VistaEdition(v.productInfo));
          pattern = "vista_%d";
          n.isVista = true;
        } else {
          Append(n.longName, "Windows Server 2008 ");
          Append(n.longName, VistaEdition(v.productInfo));
          pattern = "win2008_%d";
          n.isServer2008 = true;
        }
      }
      if (v.major == 6 && v.minor <= 1) {
        if (v.processorArchitecture == kArchAmd64) {
          Append(n.longName, ", 64-bit");
          bits = 64;
        } else if (v.processorArchitecture == kArchX86) {
          Append(n.longName, ", 32-bit");
        }
      } else if (v.major == 5 && v.minor == 2) {
        if (v.serverR2 != 0) {
          Append(n.longName, "Windows Server 2003 R2 ");
          pattern = "win2003r2_%d";
        } else if (v.suiteMask == 0x2000) {
          Append(n.longName, "Windows Storage Server 2003");
          pattern = "win2003_%d";
        } else if (workstation && v.processorArchitecture == kArchAmd64) {
          Append(n.longName, "Windows XP Professional x64 Edition");
          bits = 64;
          pattern = "winxp_64";
        } else {
          Append(n.longName, "Windows Server 2003 ");
          pattern = "win2003_%d";
        }
        if (!workstation) Append(n.longName, Server2003Edition(v, bits));
      } else if (v.major == 5 && v.minor == 1) {
        Append(n.longName, "Windows XP ");
        Append(n.longName, (v.suiteMask & 0x200) ? "Home Edition" : "Professional");
        pattern = "winxp_%d";
      } else if (v.major == 5 && v.minor == 0) {
        Append(n.longName, "Windows 2000 ");
        if (workstation) {
          Append(n.longName, "Professional");
        } else if (v.suiteMask & 0x80) {
          Append(n.longName, "Datacenter Server");
        } else if (v.suiteMask & 0x2) {
          Append(n.longName, "Advanced Server");
        } else {
          Append(n.longName, "Server");
        }
        pattern = "win2000";
      }
      if (v.servicePack.empty()) {
        n.buildText = v.build == 0 ? std::string() : platform::Format("Build %d", static_cast<int>(v.build));
      } else {
        n.buildText = v.servicePack + platform::Format(" (Build %d)", static_cast<int>(v.build));
      }
      n.buildText = platform::TruncateUtf16Units(n.buildText, 79);
      n.result = 1;
    }
  } else if (v.platformId == kVerPlatformWindows && v.major == 4) {
    const char second = v.servicePack.size() > 1 ? v.servicePack[1] : '\0';
    if (v.minor == 0) {
      n.longName = "Windows 95 ";
      if (second == 'C' || second == 'B') n.longName += "OSR2 ";
      pattern = "win95";
    } else if (v.minor == 10) {
      n.longName = "Windows 98 ";
      if (second == 'A') n.longName += "SE ";
      pattern = "win98";
    } else if (v.minor == 90) {
      n.longName = "Windows Millennium Edition";
      pattern = "winme";
    }
    n.result = 1;
  } else if (v.platformId == kVerPlatformWin32s) {
    n.longName = "Microsoft Win32s";
    pattern = "win32s";
    n.result = 1;
  } else {
    n.longName = "Unknown OS";
    pattern = "UnknownOs";
    n.result = 0;
  }

  // The pattern holds at most one %d; format it without handing a foreign format to printf.
  std::string code = pattern;
  if (const auto pos = code.find("%d"); pos != std::string::npos) {
    code.replace(pos, 2, std::to_string(bits));
  }
  n.shortCode = code.substr(0, 63);
  return n;
}

std::string OsReleaseValue(std::string_view text, std::string_view key) {
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    const std::string trimmed = platform::Trim(line);
    if (trimmed.size() <= key.size() || trimmed.compare(0, key.size(), key) != 0 || trimmed[key.size()] != '=') {
      continue;
    }
    std::string_view value = std::string_view(trimmed).substr(key.size() + 1);
    std::string out;
    char quote = '\0';
    for (std::size_t i = 0; i < value.size(); ++i) {
      const char c = value[i];
      if (quote == '\0' && (c == '"' || c == '\'')) {
        quote = c;
      } else if (quote != '\0' && c == quote) {
        quote = '\0';
      } else if (c == '\\' && quote != '\'' && i + 1 < value.size()) {
        out.push_back(value[++i]);
      } else {
        out.push_back(c);
      }
    }
    return out;
  }
  return {};
}

std::string OsReleasePrettyName(std::string_view text) {
  std::string pretty = OsReleaseValue(text, "PRETTY_NAME");
  if (!pretty.empty()) return pretty;
  std::string name = OsReleaseValue(text, "NAME");
  const std::string version = OsReleaseValue(text, "VERSION");
  if (!name.empty() && !version.empty()) name += " " + version;
  return name;
}

int GetOsName(std::string* longName, std::string* buildText) {
  if (longName == nullptr || buildText == nullptr) return 0;
  SetShortCode({});

  std::optional<std::string> osRelease = platform::ReadSysFile("/etc/os-release", 64 * 1024);
  if (!osRelease) osRelease = platform::ReadSysFile("/usr/lib/os-release", 64 * 1024);
  std::string name = osRelease ? OsReleasePrettyName(*osRelease) : std::string();
  if (name.empty()) name = "Linux";

  const std::string release = platform::ReadSysLine("/proc/sys/kernel/osrelease").value_or("");
  const std::string arch = platform::ReadSysLine("/proc/sys/kernel/arch").value_or("");
  int bits = static_cast<int>(sizeof(void*) * 8);
  if (!arch.empty()) {
    bits = (arch == "x86_64" || arch == "aarch64" || arch.find("64") != std::string::npos) ? 64 : 32;
  }

  *longName = platform::TruncateUtf16Units(name, 511);
  *buildText = release.empty() ? std::string() : platform::TruncateUtf16Units("Kernel " + release, 79);
  // A current Linux system stands where the NT line's "Windows 2000 and later" branch does; the
  // Windows-only version flags stay clear.
  gNt5 = 1;
  SetShortCode(bits == 64 ? "linux_64" : "linux_32");
  return 1;
}

int IsNt5OrLater() { return gNt5.load(); }
int IsVista() { return gVista.load(); }
int IsWindows7() { return gWin7.load(); }
int IsServer2008() { return gServer2008.load(); }

std::string OsShortCode() {
  std::lock_guard lock(gShortCodeMutex);
  return gShortCode;
}

void ResetOsFlagsForTesting() {
  gNt5 = 0;
  gVista = 0;
  gWin7 = 0;
  gServer2008 = 0;
  SetShortCode({});
}

void ApplyOsFlagsForTesting(const OsNaming& naming) {
  RaiseFlags(naming);
  SetShortCode(naming.shortCode);
}

}  // namespace korvane
