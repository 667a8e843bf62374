#include "sysinfo/NetInfo.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netpacket/packet.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "platform/Sysroot.h"
#include "platform/Text.h"
#include "sysinfo/LinuxHardware.h"
#include "sysinfo/PciNames.h"
#include "sysinfo/TextLines.h"
#include "sysinfo/UsbIds.h"

namespace korvane {

namespace {

std::mutex gSourceMutex;
std::function<std::vector<NetInterface>()> gTestSource;

// Not in every C library's list yet.
constexpr std::uint16_t kArphrdIp6Gre = 823;

constexpr const char* kNoAddress = "0.0.0.0";
// The systemd-resolved stub listener that resolv.conf names when resolved manages it.
constexpr const char* kResolvedStub = "127.0.0.53";

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}
bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

std::optional<std::uint32_t> ParseIpv4(std::string_view text) {
  const std::string t(text);
  in_addr a{};
  if (::inet_pton(AF_INET, t.c_str(), &a) != 1) return std::nullopt;
  return ntohl(a.s_addr);
}

std::string Ipv4Text(std::uint32_t hostOrder) {
  return platform::Format("%u.%u.%u.%u", (hostOrder >> 24) & 0xFF, (hostOrder >> 16) & 0xFF,
                          (hostOrder >> 8) & 0xFF, hostOrder & 0xFF);
}

template <typename T>
std::optional<T> ParseNumber(std::string_view text, int base = 10) {
  T value{};
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || ptr != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::optional<std::uint32_t> ReadSysHex(const std::string& path) {
  const auto line = platform::ReadSysLine(path);
  if (!line) return std::nullopt;
  std::string_view v = *line;
  if (StartsWith(v, "0x") || StartsWith(v, "0X")) v.remove_prefix(2);
  return ParseNumber<std::uint32_t>(v, 16);
}

std::vector<std::uint8_t> ParseMacText(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  std::size_t i = 0;
  while (i + 2 <= text.size() && bytes.size() < 32) {
    const auto b = ParseNumber<unsigned>(text.substr(i, 2), 16);
    if (!b) return {};
    bytes.push_back(static_cast<std::uint8_t>(*b));
    i += 2;
    if (i < text.size() && text[i] != ':') return {};
    ++i;
  }
  return bytes;
}

// The recorded interfaces of a machine directory: what sysfs says about each one. Addresses
// live only in the kernel's memory, so a recording has none.
std::vector<NetInterface> SysfsInterfaces() {
  std::vector<NetInterface> list;
  for (const std::string& name : platform::ListSysDir("/sys/class/net")) {
    const std::string dir = "/sys/class/net/" + name;
    NetInterface i;
    i.name = name;
    if (const auto index = platform::ReadSysInteger(dir + "/ifindex"))
      i.index = static_cast<std::uint32_t>(*index);
    if (const auto flags = ReadSysHex(dir + "/flags")) i.flags = *flags;
    if (const auto type = platform::ReadSysInteger(dir + "/type"))
      i.hardwareType = static_cast<std::uint16_t>(*type);
    if (const auto mac = platform::ReadSysLine(dir + "/address"))
      i.hardwareAddress = ParseMacText(*mac);
    if (i.index == 0) continue;
    list.push_back(std::move(i));
  }
  return list;
}

std::vector<NetInterface> LiveInterfaces() {
  ifaddrs* head = nullptr;
  if (::getifaddrs(&head) != 0) return {};
  std::vector<NetInterface> list;
  auto entry = [&](std::string_view name) -> NetInterface& {
    for (NetInterface& i : list) {
      if (i.name == name) return i;
    }
    list.push_back(NetInterface{});
    list.back().name = std::string(name);
    return list.back();
  };
  for (const ifaddrs* a = head; a != nullptr; a = a->ifa_next) {
    if (a->ifa_name == nullptr) continue;
    // Secondary addresses with their own label ("eth0:1") belong to the interface.
    std::string_view name = a->ifa_name;
    name = name.substr(0, name.find(':'));
    NetInterface& i = entry(name);
    if (a->ifa_addr == nullptr) continue;
    if (a->ifa_addr->sa_family == AF_PACKET) {
      i.flags = a->ifa_flags;
      sockaddr_ll ll{};
      std::memcpy(&ll, a->ifa_addr, sizeof ll);
      i.index = static_cast<std::uint32_t>(ll.sll_ifindex);
      i.hardwareType = ll.sll_hatype;
      const std::size_t n = std::min<std::size_t>(ll.sll_halen, sizeof ll.sll_addr);
      i.hardwareAddress.assign(ll.sll_addr, ll.sll_addr + n);
    } else if (a->ifa_addr->sa_family == AF_INET) {
      if (i.flags == 0) i.flags = a->ifa_flags;
      char address[INET_ADDRSTRLEN] = {};
      char mask[INET_ADDRSTRLEN] = {};
      sockaddr_in in{};
      std::memcpy(&in, a->ifa_addr, sizeof in);
      ::inet_ntop(AF_INET, &in.sin_addr, address, sizeof address);
      if (a->ifa_netmask != nullptr) {
        std::memcpy(&in, a->ifa_netmask, sizeof in);
        ::inet_ntop(AF_INET, &in.sin_addr, mask, sizeof mask);
      }
      i.ipv4.push_back({address, mask});
    }
  }
  ::freeifaddrs(head);
  for (NetInterface& i : list) {
    if (i.index == 0) i.index = ::if_nametoindex(i.name.c_str());
  }
  std::stable_sort(list.begin(), list.end(),
                   [](const NetInterface& a, const NetInterface& b) { return a.index < b.index; });
  return list;
}

std::vector<NetInterface> Interfaces() {
  {
    std::lock_guard lock(gSourceMutex);
    if (gTestSource) return gTestSource();
  }
  return ReadMachineInterfaces();
}

bool IsWireless(const std::string& name) {
  const std::string dir = "/sys/class/net/" + name;
  return platform::SysPathExists(dir + "/wireless") || platform::SysPathExists(dir + "/phy80211");
}

bool IsLoopback(const NetInterface& i) {
  return (i.flags & IFF_LOOPBACK) != 0 || i.hardwareType == ARPHRD_LOOPBACK;
}

// "Intel Corporation" + "Ethernet Connection I219-V"; a model that already begins with the
// vendor's first word keeps its own spelling.
std::string ComposeDescription(const std::string& vendor, const std::string& model) {
  if (model.empty()) return vendor;
  if (vendor.empty()) return model;
  const std::string first = platform::ToLowerAscii(vendor.substr(0, vendor.find(' ')));
  if (StartsWith(platform::ToLowerAscii(model), first)) return model;
  return vendor + " " + model;
}

// The device model and vendor behind an interface, from the hardware databases; empty for a
// virtual interface (no device) or a device no database knows.
std::string DeviceDescription(const std::string& name) {
  const std::string device = "/sys/class/net/" + name + "/device";
  if (!platform::SysPathExists(device)) return {};
  // A USB adapter's interface directory sits below the USB device that has the ids.
  if (const auto vendor = ReadSysHex(device + "/../idVendor")) {
    const auto product = ReadSysHex(device + "/../idProduct").value_or(0);
    const UsbIds& ids = UsbIds::System();
    std::string vendorName = ids.VendorName(static_cast<std::uint16_t>(*vendor));
    std::string model =
        ids.ProductName(static_cast<std::uint16_t>(*vendor), static_cast<std::uint16_t>(product));
    if (vendorName.empty())
      vendorName = platform::ReadSysLine(device + "/../manufacturer").value_or("");
    if (model.empty()) model = platform::ReadSysLine(device + "/../product").value_or("");
    return ComposeDescription(vendorName, model);
  }
  // PCI adapters, also behind a bus of their own (virtio): the PCI function in the path.
  const std::string path = platform::ReadSysLink("/sys/class/net/" + name).value_or("");
  std::string pci = PciAddressInPath(path);
  if (pci.empty()) pci = PciAddressInPath(platform::ReadSysLink(device).value_or(""));
  if (pci.empty()) return {};
  const std::string dir = "/sys/bus/pci/devices/" + pci;
  const auto vendor = ReadSysHex(dir + "/vendor");
  const auto id = ReadSysHex(dir + "/device");
  if (!vendor || !id) return {};
  const auto v = static_cast<std::uint16_t>(*vendor);
  return ComposeDescription(PciVendorPlainName(PciVendorName(v)),
                            PciDeviceName(v, static_cast<std::uint16_t>(*id)));
}

std::int64_t FileTime(const std::string& absolutePath) {
  struct stat st {};
  if (::stat(platform::SysPath(absolutePath).c_str(), &st) != 0) return 0;
  return static_cast<std::int64_t>(st.st_mtime);
}

// Every lease the machine's DHCP clients hold for an interface.
std::vector<DhcpLease> LeasesFor(const NetInterface& i) {
  std::vector<DhcpLease> leases;
  const std::string networkd = "/run/systemd/netif/leases/" + std::to_string(i.index);
  if (const auto text = platform::ReadSysFile(networkd, 256 * 1024)) {
    if (auto lease = ParseNetworkdLease(*text, FileTime(networkd))) leases.push_back(*lease);
  }
  const std::string nm = "/var/lib/NetworkManager";
  for (const std::string& file : platform::ListSysDir(nm)) {
    if (!EndsWith(file, "-" + i.name + ".lease")) continue;
    const std::string path = nm + "/" + file;
    const auto text = platform::ReadSysFile(path, 1024 * 1024);
    if (!text) continue;
    if (text->find("lease {") != std::string::npos) {
      for (DhcpLease& lease : ParseDhclientLeases(*text)) leases.push_back(std::move(lease));
    } else if (auto lease = ParseNetworkdLease(*text, FileTime(path))) {
      leases.push_back(*lease);
    }
  }
  for (const char* dir : {"/var/lib/dhcp", "/var/lib/dhclient"}) {
    for (const std::string& file : platform::ListSysDir(dir)) {
      if (!StartsWith(file, "dhclient") || !EndsWith(file, ".leases")) continue;
      const auto text = platform::ReadSysFile(std::string(dir) + "/" + file, 4 * 1024 * 1024);
      if (!text) continue;
      for (DhcpLease& lease : ParseDhclientLeases(*text)) {
        if (lease.interfaceName.empty() || lease.interfaceName == i.name)
          leases.push_back(std::move(lease));
      }
    }
  }
  return leases;
}

// The lease behind one of the interface's current addresses, the newest when several are
// kept; an address no lease hands out was set by hand.
std::optional<DhcpLease> CurrentLease(const NetInterface& i) {
  std::optional<DhcpLease> best;
  for (DhcpLease& lease : LeasesFor(i)) {
    const bool inUse = std::any_of(i.ipv4.begin(), i.ipv4.end(), [&](const IpAddrString& a) {
      return a.ipAddress == lease.address;
    });
    if (!inUse) continue;
    if (!best || lease.expires >= best->expires) best = std::move(lease);
  }
  return best;
}

std::string HostName() {
  if (const auto name = platform::ReadSysLine("/proc/sys/kernel/hostname");
      name && !name->empty()) {
    return name->substr(0, name->find('.'));
  }
  if (!platform::SysrootPrefix().empty()) return {};
  char buffer[256] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) return {};
  const std::string name = buffer;
  return name.substr(0, name.find('.'));
}

// The civil date of a UTC calendar day, in days since 1970-01-01.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// dhclient time: "W YYYY/MM/DD HH:MM:SS" (UTC) or "epoch N".
std::int64_t ParseDhclientTime(const std::vector<std::string_view>& w) {
  if (w.size() >= 3 && w[1] == "epoch") return ParseNumber<std::int64_t>(w[2]).value_or(0);
  if (w.size() < 4) return 0;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  const std::string date(w[2]), time(w[3]);
  if (std::sscanf(date.c_str(), "%d/%d/%d", &y, &mo, &d) != 3) return 0;
  if (std::sscanf(time.c_str(), "%d:%d:%d", &h, &mi, &s) != 3) return 0;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 ||
      s > 60)
    return 0;
  return DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 + h * 3600 +
         mi * 60 + s;
}

std::string_view Unquote(std::string_view v) {
  if (!v.empty() && v.back() == ';') v.remove_suffix(1);
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  return v;
}

}  // namespace

std::vector<NetInterface> ReadMachineInterfaces() {
  // A recorded machine never answers with the live machine's interfaces.
  if (!platform::SysrootPrefix().empty()) return SysfsInterfaces();
  return LiveInterfaces();
}

void SetNetInterfaceSourceForTesting(std::function<std::vector<NetInterface>()> source) {
  std::lock_guard lock(gSourceMutex);
  gTestSource = std::move(source);
}

ResolvConf ParseResolvConf(std::string_view text) {
  ResolvConf conf;
  ForEachLine(text, [&](std::string_view line) {
    const std::vector<std::string_view> w = Words(line);
    if (w.empty() || w[0][0] == '#' || w[0][0] == ';') return;
    if (w[0] == "nameserver" && w.size() >= 2) {
      if (ParseIpv4(w[1])) conf.nameServers.emplace_back(w[1]);
    } else if ((w[0] == "domain" || w[0] == "search") && w.size() >= 2) {
      // The two keywords exclude each other; the last one in the file wins.
      conf.domain = std::string(w[1]);
      if (conf.domain == ".") conf.domain.clear();
    }
  });
  return conf;
}

std::vector<RouteEntry> ParseProcNetRoute(std::string_view text) {
  std::vector<RouteEntry> routes;
  bool header = true;
  ForEachLine(text, [&](std::string_view line) {
    if (header) {
      header = false;
      return;
    }
    const std::vector<std::string_view> w = Words(line);
    if (w.size() < 8) return;
    const auto dst = ParseNumber<std::uint32_t>(w[1], 16);
    const auto gw = ParseNumber<std::uint32_t>(w[2], 16);
    const auto flags = ParseNumber<std::uint32_t>(w[3], 16);
    const auto metric = ParseNumber<std::uint32_t>(w[6]);
    const auto mask = ParseNumber<std::uint32_t>(w[7], 16);
    if (!dst || !gw || !flags || !metric || !mask) return;
    // The kernel prints the addresses in network byte order read as a host number.
    RouteEntry r;
    r.interfaceName = std::string(w[0]);
    r.destination = Ipv4Text(ntohl(*dst));
    r.gateway = Ipv4Text(ntohl(*gw));
    r.mask = Ipv4Text(ntohl(*mask));
    r.flags = *flags;
    r.metric = *metric;
    routes.push_back(std::move(r));
  });
  return routes;
}

std::vector<std::string> DefaultGateways(const std::vector<RouteEntry>& routes,
                                         std::string_view interfaceName) {
  constexpr std::uint32_t kRouteUp = 0x1, kRouteGateway = 0x2;
  std::vector<const RouteEntry*> found;
  for (const RouteEntry& r : routes) {
    if (r.interfaceName != interfaceName || r.destination != kNoAddress || r.mask != kNoAddress)
      continue;
    if ((r.flags & (kRouteUp | kRouteGateway)) != (kRouteUp | kRouteGateway)) continue;
    found.push_back(&r);
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const RouteEntry* a, const RouteEntry* b) { return a->metric < b->metric; });
  std::vector<std::string> gateways;
  for (const RouteEntry* r : found) {
    if (std::find(gateways.begin(), gateways.end(), r->gateway) == gateways.end())
      gateways.push_back(r->gateway);
  }
  return gateways;
}

std::optional<DhcpLease> ParseNetworkdLease(std::string_view text, std::int64_t fileTime) {
  DhcpLease lease;
  std::int64_t lifetime = 0;
  ForEachLine(text, [&](std::string_view line) {
    const std::size_t eq = line.find('=');
    if (line.empty() || line[0] == '#' || eq == std::string_view::npos) return;
    const std::string_view key = line.substr(0, eq);
    const std::string value = platform::Trim(line.substr(eq + 1));
    if (key == "ADDRESS" && ParseIpv4(value))
      lease.address = value;
    else if (key == "SERVER_ADDRESS" && ParseIpv4(value))
      lease.server = value;
    else if (key == "LIFETIME")
      lifetime = ParseNumber<std::int64_t>(value).value_or(0);
  });
  if (lease.address.empty()) return std::nullopt;
  lease.obtained = fileTime;
  lease.expires = fileTime != 0 && lifetime > 0 ? fileTime + lifetime : 0;
  return lease;
}

std::vector<DhcpLease> ParseDhclientLeases(std::string_view text) {
  std::vector<DhcpLease> leases;
  bool open = false;
  DhcpLease lease;
  std::int64_t leaseTime = 0;
  ForEachLine(text, [&](std::string_view raw) {
    // Statements end with ';' and may be followed by a comment.
    std::vector<std::string_view> w = Words(raw.substr(0, raw.find('#')));
    for (std::string_view& word : w) {
      if (word.size() > 1 && word.back() == ';') word.remove_suffix(1);
    }
    if (w.empty()) return;
    if (!open) {
      if (w[0] == "lease" && w.size() >= 2 && w[1] == "{") {
        open = true;
        lease = DhcpLease();
        leaseTime = 0;
      }
      return;
    }
    if (w[0] == "}") {
      open = false;
      if (lease.address.empty()) return;
      if (lease.expires != 0 && leaseTime > 0) lease.obtained = lease.expires - leaseTime;
      leases.push_back(lease);
      return;
    }
    if (w[0] == "interface" && w.size() >= 2) {
      lease.interfaceName = std::string(Unquote(w[1]));
    } else if (w[0] == "fixed-address" && w.size() >= 2) {
      const std::string_view a = Unquote(w[1]);
      if (ParseIpv4(a)) lease.address = std::string(a);
    } else if (w[0] == "option" && w.size() >= 3 && w[1] == "dhcp-server-identifier") {
      const std::string_view a = Unquote(w[2]);
      if (ParseIpv4(a)) lease.server = std::string(a);
    } else if (w[0] == "option" && w.size() >= 3 && w[1] == "dhcp-lease-time") {
      leaseTime = ParseNumber<std::int64_t>(Unquote(w[2])).value_or(0);
    } else if (w[0] == "expire") {
      lease.expires = ParseDhclientTime(w);
    }
  });
  return leases;
}

std::uint32_t IpHelperInterfaceType(std::uint16_t arphrd, bool wireless) {
  switch (arphrd) {
    case ARPHRD_ETHER:
    case ARPHRD_EETHER:
      return wireless ? kIfTypeIeee80211 : kIfTypeEthernet;
    case ARPHRD_IEEE80211:
    case ARPHRD_IEEE80211_PRISM:
    case ARPHRD_IEEE80211_RADIOTAP:
      return kIfTypeIeee80211;
    case ARPHRD_IEEE802_TR:
      return kIfTypeTokenRing;
    case ARPHRD_FDDI:
      return kIfTypeFddi;
    case ARPHRD_PPP:
      return kIfTypePpp;
    case ARPHRD_LOOPBACK:
      return kIfTypeLoopback;
    case ARPHRD_SLIP:
    case ARPHRD_CSLIP:
    case ARPHRD_SLIP6:
    case ARPHRD_CSLIP6:
      return kIfTypeSlip;
    case ARPHRD_TUNNEL:
    case ARPHRD_TUNNEL6:
    case ARPHRD_SIT:
    case ARPHRD_IPGRE:
    case kArphrdIp6Gre:
    case ARPHRD_NONE:  // tun, WireGuard
      return kIfTypeTunnel;
    default:
      return kIfTypeOther;
  }
}

std::string PrefixToMask(int prefixLength) {
  if (prefixLength <= 0) return kNoAddress;
  if (prefixLength >= 32) return "255.255.255.255";
  return Ipv4Text(~((1u << (32 - prefixLength)) - 1u));
}

bool IsPrivateIpv4(std::string_view address) {
  const auto a = ParseIpv4(address);
  if (!a) return false;
  struct Range {
    std::uint32_t base;
    int bits;
  };
  // Ranges that are never a machine's address on the public internet.
  static constexpr Range kRanges[] = {
      {0x00000000, 8},  {0x0A000000, 8},  {0x64400000, 10}, {0x7F000000, 8},  {0xA9FE0000, 16},
      {0xAC100000, 12}, {0xC0000000, 24}, {0xC0000200, 24}, {0xC0A80000, 16}, {0xC6120000, 15},
      {0xC6336400, 24}, {0xCB007100, 24}, {0xE0000000, 4},  {0xF0000000, 4}};
  for (const Range& r : kRanges) {
    const std::uint32_t mask = ~((1u << (32 - r.bits)) - 1u);
    if ((*a & mask) == r.base) return true;
  }
  return false;
}

bool IsIpv4Text(std::string_view text) { return ParseIpv4(text).has_value(); }

std::uint32_t GetNetworkParams(FixedInfo* out) {
  if (out == nullptr) return kNetNoData;
  FixedInfo info;
  info.hostName = HostName();
  ResolvConf conf;
  if (const auto text = platform::ReadSysFile("/etc/resolv.conf", 256 * 1024))
    conf = ParseResolvConf(*text);
  // Behind resolved's stub the real servers are the ones resolved itself asks.
  const bool stub = std::find(conf.nameServers.begin(), conf.nameServers.end(), kResolvedStub) !=
                    conf.nameServers.end();
  if (stub) {
    if (const auto text = platform::ReadSysFile("/run/systemd/resolve/resolv.conf", 256 * 1024)) {
      const ResolvConf upstream = ParseResolvConf(*text);
      if (!upstream.nameServers.empty()) conf.nameServers = upstream.nameServers;
      if (conf.domain.empty()) conf.domain = upstream.domain;
    }
  }
  info.domainName = conf.domain;
  for (const std::string& server : conf.nameServers) info.dnsServerList.push_back({server, ""});
  // What a workstation without WINS or routing reports.
  info.nodeType = kNodeTypeBroadcast;
  info.enableRouting = 0;
  info.enableProxy = 0;
  info.enableDns = 1;
  *out = std::move(info);
  return kNetOk;
}

std::uint32_t GetAdaptersInfo(std::vector<AdapterInfo>* out) {
  if (out == nullptr) return kNetNoData;
  out->clear();
  std::vector<RouteEntry> routes;
  if (const auto text = platform::ReadSysFile("/proc/net/route", 1024 * 1024))
    routes = ParseProcNetRoute(*text);
  for (const NetInterface& i : Interfaces()) {
    if (IsLoopback(i) || (i.flags & IFF_UP) == 0) continue;
    AdapterInfo a;
    a.adapterName = i.name;
    a.description = DeviceDescription(i.name);
    if (a.description.empty()) a.description = i.name;
    const std::size_t n = std::min<std::size_t>(i.hardwareAddress.size(), 8);
    a.address.assign(i.hardwareAddress.begin(),
                     i.hardwareAddress.begin() + static_cast<std::ptrdiff_t>(n));
    a.index = i.index;
    a.comboIndex = i.index;
    a.type = IpHelperInterfaceType(i.hardwareType, IsWireless(i.name));
    a.ipAddressList = i.ipv4;
    if (!i.ipv4.empty()) a.currentIpAddress = i.ipv4.front();
    if (a.ipAddressList.empty()) a.ipAddressList.push_back({kNoAddress, kNoAddress});
    for (const std::string& gw : DefaultGateways(routes, i.name))
      a.gatewayList.push_back({gw, "255.255.255.255"});
    if (a.gatewayList.empty()) a.gatewayList.push_back({kNoAddress, kNoAddress});
    if (const auto lease = CurrentLease(i)) {
      a.dhcpEnabled = 1;
      a.dhcpServer = {lease->server, "255.255.255.255"};
      a.leaseObtained = lease->obtained;
      a.leaseExpires = lease->expires;
    }
    out->push_back(std::move(a));
  }
  return out->empty() ? kNetNoData : kNetOk;
}

std::vector<InactiveAdapter> ListInactiveWiredAdapters() {
  std::vector<InactiveAdapter> list;
  for (const NetInterface& i : Interfaces()) {
    if (IsLoopback(i) || (i.flags & IFF_UP) != 0) continue;
    if (i.hardwareType != ARPHRD_ETHER || IsWireless(i.name)) continue;
    // Only a device is an installed adapter; virtual interfaces come and go.
    if (!platform::SysPathExists("/sys/class/net/" + i.name + "/device")) continue;
    std::string description = DeviceDescription(i.name);
    if (description.empty()) description = i.name;
    list.push_back({i.name, description, i.hardwareAddress});
  }
  return list;
}

}  // namespace korvane
