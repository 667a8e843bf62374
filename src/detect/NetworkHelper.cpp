#include "detect/NetworkHelper.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#include "config/LanguageRes.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace korvane {

namespace {

using platform::RegistryKey;
using platform::RegRoot;

constexpr const char* kTcpipInterfaces =
    "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\";
constexpr const char* kNetClass =
    "System\\CurrentControlSet\\Control\\Class\\{4d36e972-e325-11ce-bfc1-08002be10318}";
constexpr const char* kLegacyNetClass = "System\\CurrentControlSet\\Services\\Class\\Net";
constexpr const char* kLegacyNetTrans = "System\\CurrentControlSet\\Services\\Class\\NetTrans\\";
constexpr const char* kLegacyMstcp = "System\\CurrentControlSet\\Services\\VxD\\MSTCP";

// Values are read into a buffer of 1024 bytes of UTF-16 (511 units and the terminator).
constexpr std::size_t kRegistryValueUnits = 511;

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  std::size_t at = 0;
  while ((at = text.find(from, at)) != std::string::npos) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
}

// A multi-string's inner separators become commas and the text ends at the first NUL left;
// values are cut to the read buffer.
std::string Flatten(std::string value) {
  if (value.size() > 2) {
    for (std::size_t i = 0; i + 2 < value.size(); ++i) {
      if (value[i] == '\0') value[i] = ',';
    }
  }
  value = value.substr(0, value.find('\0'));
  return platform::TruncateUtf16Units(value, kRegistryValueUnits);
}

// Address lists separate their entries by spaces; the detector's texts by ", ".
std::string SpacesToCommas(std::string value) {
  ReplaceAll(value, " ", ", ");
  return value;
}

bool ReadText(const RegistryKey& key, const char* name, std::string& out) {
  std::string value;
  if (key.QueryString(name, value) != platform::kRegOk) return false;
  out = Flatten(std::move(value));
  return true;
}

bool ReadAddresses(const RegistryKey& key, const char* name, std::string& out) {
  if (!ReadText(key, name, out)) return false;
  out = SpacesToCommas(std::move(out));
  return true;
}

std::string ReadTextOr(const RegistryKey& key, const char* name, const std::string& fallback) {
  std::string value;
  return ReadText(key, name, value) ? value : fallback;
}

// A flag stored as a DWORD (its low byte counts) or as a decimal text.
std::optional<std::int32_t> ReadFlag(const RegistryKey& key, const char* name) {
  std::uint32_t dword = 0;
  if (key.QueryDword(name, dword) == platform::kRegOk)
    return static_cast<std::int32_t>(dword & 0xFF);
  std::string text;
  if (key.QueryString(name, text) != platform::kRegOk) return std::nullopt;
  const std::string t = platform::Trim(text.substr(0, text.find('\0')));
  std::int32_t value = 0;
  std::from_chars(t.data(), t.data() + t.size(), value);
  return value;
}

// "a, b" from an IP helper list.
std::string JoinAddresses(const std::vector<IpAddrString>& list, bool masks) {
  std::string text;
  for (const IpAddrString& entry : list) {
    if (!text.empty()) text += ", ";
    text += masks ? entry.ipMask : entry.ipAddress;
  }
  return text;
}

template <typename Fn>
void ForEachSubkey(const char* path, Fn&& fn) {
  RegistryKey root;
  if (root.Open(RegRoot::LocalMachine, path, platform::RegAccess::Read) != platform::kRegOk) return;
  std::vector<std::string> names;
  if (root.EnumSubkeys(names) != platform::kRegOk) return;
  for (const std::string& name : names) {
    if (!fn(name)) return;
  }
}

bool IsEthernetClassEntry(const std::string& subkey) {
  RegistryKey ndi;
  if (ndi.Open(RegRoot::LocalMachine, std::string(kNetClass) + "\\" + subkey + "\\Ndi\\Interfaces",
               platform::RegAccess::Read) != platform::kRegOk) {
    return false;
  }
  std::string range;
  return ReadText(ndi, "LowerRange", range) && platform::EqualsIgnoreCase(range, "ethernet");
}

}  // namespace

std::string FormatMacAddress(const std::uint8_t* bytes, std::size_t length) {
  if (bytes == nullptr || length == 0) return {};
  std::string text;
  for (std::size_t i = 0; i < length; ++i) {
    text += platform::Format(i + 1 < length ? "%.2X-" : "%.2X\n", bytes[i]);
  }
  return text;
}

bool IsEmptyAddressText(std::string_view text) {
  std::string t = platform::Trim(text);
  if (t.empty()) return true;
  ReplaceAll(t, ", ", "");
  ReplaceAll(t, "0.0.0.0", "");
  ReplaceAll(t, " ", "");
  return t.empty();
}

std::string InterfaceTypeText(std::uint32_t type) {
  // Case numbers by type - 1; 7 is "any other type".
  static constexpr std::uint8_t kCase[28] = {0, 7, 7, 7, 7, 1, 7, 7, 2, 7, 7, 7, 7, 7,
                                             3, 7, 7, 7, 7, 7, 7, 7, 4, 5, 7, 7, 7, 6};
  const int c = type >= 1 && type <= 28 ? kCase[type - 1] : 7;
  if (c == 7) return platform::Format(LangText(kTextTypeUnknown).c_str(), static_cast<long>(type));
  return LangText(kTextTypeOther + c);
}

NetworkSources NetworkSources::Machine() {
  NetworkSources s;
  s.networkParams = [](FixedInfo* out) { return GetNetworkParams(out); };
  s.adaptersInfo = [](std::vector<AdapterInfo>* out) { return GetAdaptersInfo(out); };
  s.inactiveAdapters = [] { return ListInactiveWiredAdapters(); };
  // This system keeps its TCP/IP settings in the layout of the Windows 2000 generation; the
  // older layout is only ever met in a recorded registry.
  s.windows2000OrLater = [] { return true; };
  // No NetBIOS adapter answers status requests here.
  s.netbiosAddresses = [](NetbiosTable&) { return 0; };
  return s;
}

CNetworkHelper::CNetworkHelper() : CNetworkHelper(NetworkSources::Machine()) {}

CNetworkHelper::CNetworkHelper(NetworkSources sources) : sources_(std::move(sources)) {
  const NetworkSources machine = NetworkSources::Machine();
  if (!sources_.networkParams) sources_.networkParams = machine.networkParams;
  if (!sources_.adaptersInfo) sources_.adaptersInfo = machine.adaptersInfo;
  if (!sources_.inactiveAdapters) sources_.inactiveAdapters = machine.inactiveAdapters;
  if (!sources_.windows2000OrLater) sources_.windows2000OrLater = machine.windows2000OrLater;
  if (!sources_.netbiosAddresses) sources_.netbiosAddresses = machine.netbiosAddresses;
}

void CNetworkHelper::vUpdate() {
  DetectOnce([this] {
    // Both steps run: adapters are worth listing even when the machine-wide part fails.
    const int params = ReadNetworkParams();
    const int adaptersFound = EnumerateAdapters();
    const int result = params != 0 && adaptersFound != 0 ? 1 : 0;
    TopUp();
    return result;
  });
}

int CNetworkHelper::ReadNetworkParams() {
  FixedInfo info;
  if (sources_.networkParams(&info) != kNetOk) return 0;
  hostName = info.hostName;
  domainName = info.domainName;
  nodeType = static_cast<std::int32_t>(info.nodeType);
  enableRouting = static_cast<std::int32_t>(info.enableRouting);
  enableArpProxy = static_cast<std::int32_t>(info.enableProxy);
  enableDns = static_cast<std::int32_t>(info.enableDns);
  currentNameServer = info.currentDnsServer ? info.currentDnsServer->ipAddress : std::string();
  adapters[0].nameServers = JoinAddresses(info.dnsServerList, false);
  return 1;
}

int CNetworkHelper::EnumerateAdapters() {
  std::vector<AdapterInfo> list;
  if (sources_.adaptersInfo(&list) != kNetOk) return 0;
  const bool modern = sources_.windows2000OrLater();
  int i = 0;
  for (const AdapterInfo& info : list) {
    if (i >= kMaxNetworkAdapters) break;
    Adapter& a = adapters[static_cast<std::size_t>(i)];
    a.connectionStatus = kAdapterActive;
    a.comboIndex = static_cast<std::int32_t>(info.comboIndex);
    a.adapterName = info.adapterName;
    // Driver layers add " - <layer name>" to the description; the adapter's own name is
    // what the user knows.
    std::string description = info.description;
    const std::size_t cut = description.find(" - ");
    if (cut != std::string::npos && cut >= 13 && description.size() - cut >= 10)
      description.resize(cut);
    a.description = description;
    a.workingDescription = description;
    bool registryRead = false;
    if (modern) {
      if (!info.adapterName.empty())
        registryRead = ReadInterfaceRegistry(info.adapterName.c_str(), i) != 0;
      a.provider = NetworkClassProvider(info.adapterName);
    } else {
      a.provider = LegacyProvider(i);
    }
    a.hardwareAddress = FormatMacAddress(info.address.data(), info.address.size());
    a.interfaceIndex = static_cast<std::int32_t>(info.index);
    a.interfaceType = static_cast<std::int32_t>(info.type);
    a.typeText = InterfaceTypeText(info.type);
    a.currentAddress = info.currentIpAddress ? info.currentIpAddress->ipAddress : std::string();
    a.addresses = JoinAddresses(info.ipAddressList, false);
    a.masks = JoinAddresses(info.ipAddressList, true);
    if (registryRead) {
      if (IsEmptyAddressText(a.addresses)) a.addresses = scratch.address;
      if (IsEmptyAddressText(a.masks)) a.masks = scratch.mask;
    }
    a.gateways = JoinAddresses(info.gatewayList, false);
    if (registryRead) {
      if (IsEmptyAddressText(a.gateways)) a.gateways = scratch.gateway;
      a.nameServers = scratch.nameServer;
    }
    a.dhcpEnabled = static_cast<std::int32_t>(info.dhcpEnabled);
    if (a.dhcpEnabled != 0) a.dhcpServer = info.dhcpServer.ipAddress;
    a.winsEnabled = info.haveWins ? 1 : 0;
    if (info.haveWins) {
      a.primaryWins = info.primaryWinsServer.ipAddress;
      a.secondaryWins = info.secondaryWinsServer.ipAddress;
    }
    ++i;
  }
  count = i;
  return i >= 1 ? 1 : 0;
}

int CNetworkHelper::ReadInterfaceRegistry(const char* adapterName, int slot) {
  if (adapterName == nullptr || slot < 0 || slot >= kMaxNetworkAdapters) return 0;
  RegistryKey key;
  if (key.Open(RegRoot::LocalMachine, std::string(kTcpipInterfaces) + adapterName,
               platform::RegAccess::Read) != platform::kRegOk) {
    return 0;
  }
  scratch = RegistryScratch();
  scratch.dhcpEnabled = ReadFlag(key, "EnableDHCP").value_or(1);
  if (scratch.dhcpEnabled != 0) {
    ReadAddresses(key, "DhcpIPAddress", scratch.address);
    ReadAddresses(key, "DhcpSubnetMask", scratch.mask);
    if (!ReadAddresses(key, "DhcpDefaultGateway", scratch.gateway))
      ReadAddresses(key, "DhcpServer", scratch.gateway);
    if (!ReadAddresses(key, "DhcpNameServer", scratch.nameServer) ||
        IsEmptyAddressText(scratch.nameServer)) {
      scratch.nameServer = LangText(kTextAuto);
    }
  } else {
    ReadAddresses(key, "IPAddress", scratch.address);
    ReadAddresses(key, "SubnetMask", scratch.mask);
    ReadAddresses(key, "DefaultGateway", scratch.gateway);
    ReadAddresses(key, "NameServer", scratch.nameServer);
  }
  return 1;
}

std::string CNetworkHelper::NetworkClassProvider(std::string_view adapterName) const {
  std::string provider;
  ForEachSubkey(kNetClass, [&](const std::string& subkey) {
    if (!IsEthernetClassEntry(subkey)) return true;
    RegistryKey entry;
    if (entry.Open(RegRoot::LocalMachine, std::string(kNetClass) + "\\" + subkey,
                   platform::RegAccess::Read) != platform::kRegOk) {
      return true;
    }
    std::string id;
    if (!ReadText(entry, "NetCfgInstanceId", id) || !platform::EqualsIgnoreCase(id, adapterName))
      return true;
    ReadText(entry, "ProviderName", provider);
    return false;
  });
  return provider.empty() ? LangText(kTextNetworkEmpty) : provider;
}

std::string CNetworkHelper::LegacyProvider(int index) const {
  std::string provider;
  int k = 0;
  ForEachSubkey(kLegacyNetClass, [&](const std::string& subkey) {
    if (k++ != index) return true;
    RegistryKey entry;
    if (entry.Open(RegRoot::LocalMachine, std::string(kLegacyNetClass) + "\\" + subkey,
                   platform::RegAccess::Read) == platform::kRegOk) {
      ReadText(entry, "ProviderName", provider);
    }
    return false;
  });
  return provider.empty() ? LangText(kTextNetworkEmpty) : provider;
}

bool CNetworkHelper::Listed(std::string_view adapterName) const {
  const int n = count < 0 ? 0 : (count > kMaxNetworkAdapters ? kMaxNetworkAdapters : count);
  for (int i = 0; i < n; ++i) {
    if (platform::EqualsIgnoreCase(adapters[static_cast<std::size_t>(i)].adapterName, adapterName))
      return true;
  }
  return false;
}

void CNetworkHelper::TopUp() {
  if (count >= kMaxNetworkAdapters) return;
  if (count < 0) count = 0;
  if (sources_.windows2000OrLater()) {
    TopUpFromClassKey();
    TopUpInactiveAdapters();
  } else {
    TopUpLegacy();
  }
}

void CNetworkHelper::TopUpFromClassKey() {
  ForEachSubkey(kNetClass, [&](const std::string& subkey) {
    if (count >= kMaxNetworkAdapters) return false;
    if (!IsEthernetClassEntry(subkey)) return true;
    RegistryKey entry;
    if (entry.Open(RegRoot::LocalMachine, std::string(kNetClass) + "\\" + subkey,
                   platform::RegAccess::Read) != platform::kRegOk) {
      return true;
    }
    std::string id;
    ReadText(entry, "NetCfgInstanceID", id);
    if (id.empty() || Listed(id) || ReadInterfaceRegistry(id.c_str(), count) == 0) return true;
    Adapter& a = adapters[static_cast<std::size_t>(count)];
    a = Adapter();
    a.typeText = LangText(kTextEthernetCard);
    a.description = ReadTextOr(entry, "DriverDesc", "");
    a.workingDescription = a.description;
    a.provider = ReadTextOr(entry, "ProviderName", LangText(kTextNetworkEmpty));
    a.connectionStatus = kAdapterRegistryOnly;
    a.adapterName = id;
    a.dhcpEnabled = scratch.dhcpEnabled;
    a.addresses = scratch.address;
    a.masks = scratch.mask;
    a.gateways = scratch.gateway;
    a.nameServers = scratch.nameServer;
    a.hardwareAddress = LangText(kTextUnableToGet);
    ++count;
    return true;
  });
}

// An installed wired adapter that is down has no TCP/IP state to show: it is listed the way an
// adapter known only from its settings is, with what an unconfigured interface key holds.
void CNetworkHelper::TopUpInactiveAdapters() {
  for (const InactiveAdapter& inactive : sources_.inactiveAdapters()) {
    if (count >= kMaxNetworkAdapters) return;
    if (inactive.name.empty() || Listed(inactive.name)) continue;
    scratch = RegistryScratch();
    scratch.nameServer = LangText(kTextAuto);
    Adapter& a = adapters[static_cast<std::size_t>(count)];
    a = Adapter();
    a.typeText = LangText(kTextEthernetCard);
    a.description = inactive.description;
    a.workingDescription = inactive.description;
    a.provider = LangText(kTextNetworkEmpty);
    a.connectionStatus = kAdapterRegistryOnly;
    a.adapterName = inactive.name;
    a.dhcpEnabled = scratch.dhcpEnabled;
    a.nameServers = scratch.nameServer;
    a.hardwareAddress = LangText(kTextUnableToGet);
    ++count;
  }
}

void CNetworkHelper::TopUpLegacy() {
  std::string nameServers;
  {
    RegistryKey mstcp;
    if (mstcp.Open(RegRoot::LocalMachine, kLegacyMstcp, platform::RegAccess::Read) ==
        platform::kRegOk) {
      ReadText(mstcp, "Domain", domainName);
      ReadText(mstcp, "Hostname", hostName);
      if (const auto dns = ReadFlag(mstcp, "EnableDNS")) enableDns = *dns;
      ReadText(mstcp, "NameServer", nameServers);
    }
  }
  int lanAdapters = 0;
  try {
    lanAdapters = sources_.netbiosAddresses(netbiosTable);
  } catch (...) {
    // A NetBIOS command that fails this way counts as failed; the table keeps what it had.
    lanAdapters = 0;
  }
  int k = 0;
  ForEachSubkey(kLegacyNetClass, [&](const std::string& subkey) {
    // The address table has ten entries; adapters beyond it have no address to show.
    if (k >= lanAdapters || k >= kMaxNetworkAdapters || count >= kMaxNetworkAdapters) return false;
    const int entryIndex = k++;
    RegistryKey entry;
    if (entry.Open(RegRoot::LocalMachine, std::string(kLegacyNetClass) + "\\" + subkey,
                   platform::RegAccess::Read) != platform::kRegOk) {
      return true;
    }
    RegistryKey trans;
    if (trans.Open(RegRoot::LocalMachine, std::string(kLegacyNetTrans) + subkey,
                   platform::RegAccess::Read) != platform::kRegOk) {
      return true;
    }
    Adapter& a = adapters[static_cast<std::size_t>(count)];
    a = Adapter();
    a.description = ReadTextOr(entry, "DriverDesc", "");
    a.workingDescription = a.description;
    a.typeText = LangText(kTextEthernetCard);
    ReadText(trans, "IPAddress", a.addresses);
    ReadText(trans, "IPMask", a.masks);
    ReadAddresses(trans, "DefaultGateway", a.gateways);
    a.provider = ReadTextOr(trans, "ProviderName", LangText(kTextNetworkEmpty));
    a.nameServers = nameServers;
    const auto& mac = netbiosTable[static_cast<std::size_t>(entryIndex)];
    a.hardwareAddress = FormatMacAddress(mac.data(), 6);
    ++count;
    return true;
  });
}

}  // namespace korvane

namespace korvane {

std::string MaskHardwareAddress(std::string_view text) {
  // Hex pairs joined by one separator: "AA-BB-..." or "aa:bb:...", with an optional line end.
  std::string_view body = text;
  std::string_view tail;
  if (!body.empty() && body.back() == '\n') {
    tail = body.substr(body.size() - 1);
    body.remove_suffix(1);
  }
  if (body.size() < 5 || (body.size() + 1) % 3 != 0) return std::string(text);
  const char separator = body[2];
  if (separator != '-' && separator != ':') return std::string(text);
  const std::size_t pairs = (body.size() + 1) / 3;
  for (std::size_t p = 0; p < pairs; ++p) {
    const std::size_t at = p * 3;
    if (!std::isxdigit(static_cast<unsigned char>(body[at])) ||
        !std::isxdigit(static_cast<unsigned char>(body[at + 1])))
      return std::string(text);
    if (p + 1 < pairs && body[at + 2] != separator) return std::string(text);
  }
  std::string masked(body);
  for (std::size_t p = 0; p + 2 < pairs; ++p) {
    masked[p * 3] = 'X';
    masked[p * 3 + 1] = 'X';
  }
  return masked + std::string(tail);
}

std::string MaskPublicAddresses(std::string_view text) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (!std::isdigit(static_cast<unsigned char>(c))) {
      out += c;
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < text.size() &&
           (std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '.'))
      ++end;
    const std::string_view token = text.substr(i, end - i);
    const std::size_t last = token.rfind('.');
    if (std::count(token.begin(), token.end(), '.') == 3 && last != std::string_view::npos &&
        !IsPrivateIpv4(token) && IsIpv4Text(token)) {
      out += "XXX.XXX.XXX.";
      out += token.substr(last + 1);
    } else {
      out += token;
    }
    i = end;
  }
  return out;
}

}  // namespace korvane
