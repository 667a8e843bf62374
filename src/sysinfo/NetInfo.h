#pragma once
// The machine's IPv4 configuration in the shape the IP helper interface reports it: the
// machine-wide parameters and one record per active adapter. Read from the kernel's interface
// list, /proc/net/route, resolv.conf and the DHCP clients' lease files. Every file goes through
// the sysroot and the interface list through a replaceable source, so recorded machines and
// tests see the same code path as the running machine.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// IP helper result codes.
inline constexpr std::uint32_t kNetOk = 0;
inline constexpr std::uint32_t kNetBufferOverflow = 111;  // ERROR_BUFFER_OVERFLOW
inline constexpr std::uint32_t kNetNoData = 232;          // ERROR_NO_DATA

// IP helper interface types (IANA ifType numbers).
inline constexpr std::uint32_t kIfTypeOther = 1;
inline constexpr std::uint32_t kIfTypeEthernet = 6;
inline constexpr std::uint32_t kIfTypeTokenRing = 9;
inline constexpr std::uint32_t kIfTypeFddi = 15;
inline constexpr std::uint32_t kIfTypePpp = 23;
inline constexpr std::uint32_t kIfTypeLoopback = 24;
inline constexpr std::uint32_t kIfTypeSlip = 28;
inline constexpr std::uint32_t kIfTypeIeee80211 = 71;
inline constexpr std::uint32_t kIfTypeTunnel = 131;

// Node type of a client that has no WINS server: broadcast.
inline constexpr std::uint32_t kNodeTypeBroadcast = 1;

struct IpAddrString {
  std::string ipAddress;
  std::string ipMask;
  friend bool operator==(const IpAddrString&, const IpAddrString&) = default;
};

struct FixedInfo {
  std::string hostName;
  std::string domainName;
  std::optional<IpAddrString> currentDnsServer;
  std::vector<IpAddrString> dnsServerList;
  std::uint32_t nodeType = 0;
  std::string scopeId;
  std::uint32_t enableRouting = 0;
  std::uint32_t enableProxy = 0;
  std::uint32_t enableDns = 0;
};

// Like the interface's own lists, the address and gateway lists are never empty: an adapter
// without an address or a gateway carries one "0.0.0.0" entry.
struct AdapterInfo {
  std::uint32_t comboIndex = 0;
  std::string adapterName;
  std::string description;
  std::vector<std::uint8_t> address;  // hardware address, at most 8 bytes
  std::uint32_t index = 0;
  std::uint32_t type = 0;
  std::uint32_t dhcpEnabled = 0;
  std::optional<IpAddrString> currentIpAddress;
  std::vector<IpAddrString> ipAddressList;
  std::vector<IpAddrString> gatewayList;
  IpAddrString dhcpServer;
  bool haveWins = false;
  IpAddrString primaryWinsServer;
  IpAddrString secondaryWinsServer;
  std::int64_t leaseObtained = 0;  // Unix time, 0 without a lease
  std::int64_t leaseExpires = 0;
};

// One interface as the kernel lists it.
struct NetInterface {
  std::string name;
  std::uint32_t index = 0;
  std::uint32_t flags = 0;              // IFF_* bits
  std::uint16_t hardwareType = 0xFFFF;  // ARPHRD_* number
  std::vector<std::uint8_t> hardwareAddress;
  std::vector<IpAddrString> ipv4;  // in the kernel's order
};

// The interface list of the running machine (getifaddrs); under a sysroot, the recorded
// interfaces of /sys/class/net without addresses.
std::vector<NetInterface> ReadMachineInterfaces();
// Tests: replace the interface list (nullptr restores the machine's).
void SetNetInterfaceSourceForTesting(std::function<std::vector<NetInterface>()> source);

// Both calls fill *out and return kNetOk, or kNetNoData when there is nothing to report.
std::uint32_t GetNetworkParams(FixedInfo* out);
std::uint32_t GetAdaptersInfo(std::vector<AdapterInfo>* out);

// An installed wired adapter whose interface is down: absent from GetAdaptersInfo, but still
// configured on the machine.
struct InactiveAdapter {
  std::string name;         // interface name
  std::string description;  // device model and vendor
  std::vector<std::uint8_t> address;
};
std::vector<InactiveAdapter> ListInactiveWiredAdapters();

// ---- Parsers and single steps, over texts already read ----

struct ResolvConf {
  std::vector<std::string> nameServers;  // IPv4 only, in file order
  std::string domain;                    // the domain of "domain", or the first of "search"
};
ResolvConf ParseResolvConf(std::string_view text);

struct RouteEntry {
  std::string interfaceName;
  std::string destination, gateway, mask;  // dotted quads
  std::uint32_t flags = 0;
  std::uint32_t metric = 0;
};
std::vector<RouteEntry> ParseProcNetRoute(std::string_view text);
// The default gateways of one interface, lowest metric first.
std::vector<std::string> DefaultGateways(const std::vector<RouteEntry>& routes,
                                         std::string_view interfaceName);

struct DhcpLease {
  std::string interfaceName;  // "" when the file does not say (networkd: named by index)
  std::string address;
  std::string server;
  std::int64_t obtained = 0;
  std::int64_t expires = 0;
};
// systemd-networkd and NetworkManager's internal client: KEY=value lines. The lease time is
// counted from fileTime (when the file was written).
std::optional<DhcpLease> ParseNetworkdLease(std::string_view text, std::int64_t fileTime);
// dhclient: every "lease { ... }" block, in file order (the last one is the newest).
std::vector<DhcpLease> ParseDhclientLeases(std::string_view text);

// IP helper type for an ARPHRD number; wireless marks an Ethernet-framed 802.11 device.
std::uint32_t IpHelperInterfaceType(std::uint16_t arphrd, bool wireless);
// "255.255.255.0" from a prefix length (0..32).
std::string PrefixToMask(int prefixLength);
// Whether an IPv4 text lies in a private, loopback, link-local or shared range.
bool IsPrivateIpv4(std::string_view address);
// Whether a text is a dotted-quad IPv4 address.
bool IsIpv4Text(std::string_view text);

}  // namespace korvane
