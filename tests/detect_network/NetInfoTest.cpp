// The IP configuration readers over recorded files: resolv.conf and resolved's upstream list,
// the routing table, the DHCP clients' leases, and the adapter list built from an interface
// list a test supplies in place of the kernel's.
#include <gtest/gtest.h>
#include <net/if.h>
#include <net/if_arp.h>

#include "TempMachine.h"
#include "sysinfo/NetInfo.h"

namespace {

using namespace korvane;

struct InterfaceScope {
  explicit InterfaceScope(std::vector<NetInterface> list) {
    SetNetInterfaceSourceForTesting([list] { return list; });
  }
  ~InterfaceScope() { SetNetInterfaceSourceForTesting(nullptr); }
};

NetInterface Iface(const std::string& name, std::uint32_t index, std::uint32_t flags,
                   std::uint16_t type, std::vector<IpAddrString> ipv4 = {}) {
  NetInterface i;
  i.name = name;
  i.index = index;
  i.flags = flags;
  i.hardwareType = type;
  i.hardwareAddress = {0x52, 0x54, 0x00, 0x12, 0x34, static_cast<std::uint8_t>(index)};
  i.ipv4 = std::move(ipv4);
  return i;
}

constexpr std::uint32_t kUp = IFF_UP | IFF_BROADCAST | IFF_RUNNING;

TEST(NetParsers, ResolvConfRoutesAndLeases) {
  const ResolvConf conf = ParseResolvConf(
      "# managed\n; old\nsearch corp.example other.example\nnameserver 10.0.0.2\n"
      "nameserver fd00::53\n  nameserver\t10.0.0.3  # second\nnameserver not-an-ip\ndomain "
      "lan.example\n");
  EXPECT_EQ(conf.nameServers, (std::vector<std::string>{"10.0.0.2", "10.0.0.3"}));
  EXPECT_EQ(conf.domain, "lan.example");  // the last of search/domain wins
  EXPECT_EQ(ParseResolvConf("search a.example b.example\r\n").domain, "a.example");
  EXPECT_TRUE(ParseResolvConf("").nameServers.empty());

  const auto routes = ParseProcNetRoute(
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
      "eth0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
      "eth0\t00000000\t0201A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
      "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
      "wlan0\t00000000\t01000A0A\t0003\t0\t0\t50\t00000000\t0\t0\t0\n"
      "eth0\t00000000\t0301A8C0\t0002\t0\t0\t10\t00000000\t0\t0\t0\n"
      "broken line\n");
  ASSERT_EQ(routes.size(), 5u);
  EXPECT_EQ(routes[2].destination, "192.168.1.0");
  EXPECT_EQ(routes[2].mask, "255.255.255.0");
  // Lowest metric first; routes that are not up do not count.
  EXPECT_EQ(DefaultGateways(routes, "eth0"),
            (std::vector<std::string>{"192.168.1.2", "192.168.1.1"}));
  EXPECT_EQ(DefaultGateways(routes, "wlan0"), (std::vector<std::string>{"10.10.0.1"}));
  EXPECT_TRUE(DefaultGateways(routes, "eth1").empty());

  const auto networkd = ParseNetworkdLease(
      "# This is private data. Do not "
      "parse.\nADDRESS=192.168.1.50\nNETMASK=255.255.255.0\nROUTER=192.168.1.1\n"
      "SERVER_ADDRESS=192.168.1.1\nLIFETIME=86400\n",
      1765000000);
  ASSERT_TRUE(networkd);
  EXPECT_EQ(networkd->address, "192.168.1.50");
  EXPECT_EQ(networkd->server, "192.168.1.1");
  EXPECT_EQ(networkd->obtained, 1765000000);
  EXPECT_EQ(networkd->expires, 1765086400);
  EXPECT_FALSE(ParseNetworkdLease("SERVER_ADDRESS=192.168.1.1\n", 1));

  const auto dhclient = ParseDhclientLeases(
      "default-duid \"\\000\\001\";\n"
      "lease {\n  interface \"eth0\";\n  fixed-address 10.1.2.3;\n  option subnet-mask "
      "255.255.0.0;\n"
      "  option dhcp-lease-time 3600;\n  option dhcp-server-identifier 10.1.0.1;\n"
      "  renew 1 2026/12/07 10:30:00;\n  expire 1 2026/12/07 11:00:00;\n}\n"
      "lease {\n  interface \"eth0\";\n  fixed-address 10.1.2.4;\n  option dhcp-server-identifier "
      "10.1.0.1;\n"
      "  expire epoch 1765105200; # Sun Dec 07 11:00:00 2025\n}\n"
      "lease {\n  interface \"eth1\";\n}\n");
  ASSERT_EQ(dhclient.size(), 2u);
  EXPECT_EQ(dhclient[0].interfaceName, "eth0");
  EXPECT_EQ(dhclient[0].address, "10.1.2.3");
  EXPECT_EQ(dhclient[0].server, "10.1.0.1");
  EXPECT_EQ(dhclient[0].expires, 1796641200);  // 2026-12-07 11:00:00 UTC
  EXPECT_EQ(dhclient[0].obtained, 1796641200 - 3600);
  EXPECT_EQ(dhclient[1].expires, 1765105200);
  EXPECT_EQ(dhclient[1].obtained, 0);

  EXPECT_EQ(PrefixToMask(24), "255.255.255.0");
  EXPECT_EQ(PrefixToMask(0), "0.0.0.0");
  EXPECT_EQ(PrefixToMask(32), "255.255.255.255");
  EXPECT_EQ(PrefixToMask(17), "255.255.128.0");
  EXPECT_EQ(IpHelperInterfaceType(ARPHRD_ETHER, false), 6u);
  EXPECT_EQ(IpHelperInterfaceType(ARPHRD_ETHER, true), 71u);
  EXPECT_EQ(IpHelperInterfaceType(ARPHRD_PPP, false), 23u);
  EXPECT_EQ(IpHelperInterfaceType(ARPHRD_NONE, false), 131u);
  EXPECT_EQ(IpHelperInterfaceType(ARPHRD_SIT, false), 131u);
  EXPECT_EQ(IpHelperInterfaceType(ARPHRD_INFINIBAND, false), 1u);
}

TEST(NetParams, StubResolverIsReplacedByItsUpstreamServers) {
  TempMachine machine;
  machine.Write("/proc/sys/kernel/hostname", "workstation.corp.example\n");
  machine.Write("/etc/resolv.conf",
                "nameserver 127.0.0.53\noptions edns0 trust-ad\nsearch corp.example\n");
  machine.Write("/run/systemd/resolve/resolv.conf",
                "nameserver 10.20.0.2\nnameserver 1.1.1.1\nsearch upstream\n");
  FixedInfo info;
  ASSERT_EQ(GetNetworkParams(&info), kNetOk);
  EXPECT_EQ(info.hostName, "workstation");
  EXPECT_EQ(info.domainName, "corp.example");
  ASSERT_EQ(info.dnsServerList.size(), 2u);
  EXPECT_EQ(info.dnsServerList[0].ipAddress, "10.20.0.2");
  EXPECT_EQ(info.dnsServerList[1].ipAddress, "1.1.1.1");
  EXPECT_EQ(info.nodeType, kNodeTypeBroadcast);
  EXPECT_EQ(info.enableRouting, 0u);
  EXPECT_EQ(info.enableProxy, 0u);

  // Without resolved's own file the stub is all there is.
  TempMachine bare;
  bare.Write("/etc/resolv.conf", "nameserver 127.0.0.53\n");
  ASSERT_EQ(GetNetworkParams(&info), kNetOk);
  ASSERT_EQ(info.dnsServerList.size(), 1u);
  EXPECT_EQ(info.dnsServerList[0].ipAddress, "127.0.0.53");
  EXPECT_EQ(info.domainName, "");
}

TEST(NetAdapters, ActiveInterfacesWithRoutesLeasesAndTypes) {
  TempMachine machine;
  machine.Write(
      "/proc/net/route",
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
      "enp3s0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n");
  // networkd names its lease by interface index; NetworkManager by interface name.
  machine.Write("/run/systemd/netif/leases/2",
                "ADDRESS=192.168.1.50\nSERVER_ADDRESS=192.168.1.1\nLIFETIME=7200\n");
  machine.Write("/var/lib/NetworkManager/internal-0b1c-wlp2s0.lease",
                "ADDRESS=10.9.9.9\nSERVER_ADDRESS=10.9.9.1\nLIFETIME=600\n");
  machine.Write("/var/lib/dhcp/dhclient.leases",
                "lease {\n  interface \"usb0\";\n  fixed-address 172.20.0.5;\n  option "
                "dhcp-server-identifier "
                "172.20.0.1;\n  expire epoch 1765105200;\n}\n");
  machine.Mkdir("/sys/class/net/wlp2s0/wireless");
  machine.Link("/sys/class/net/enp3s0",
               "../../devices/pci0000:00/0000:00:1c.0/0000:03:00.0/net/enp3s0");
  machine.Mkdir("/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0/net/enp3s0");
  machine.Link("/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0/net/enp3s0/device",
               "../../../0000:03:00.0");
  machine.Write("/sys/bus/pci/devices/0000:03:00.0/vendor", "0x8086\n");
  machine.Write("/sys/bus/pci/devices/0000:03:00.0/device", "0x10d3\n");
  InterfaceScope scope({
      Iface("lo", 1, IFF_UP | IFF_LOOPBACK | IFF_RUNNING, ARPHRD_LOOPBACK,
            {{"127.0.0.1", "255.0.0.0"}}),
      Iface("enp3s0", 2, kUp, ARPHRD_ETHER,
            {{"192.168.1.50", "255.255.255.0"}, {"192.168.7.1", "255.255.255.128"}}),
      Iface("wlp2s0", 3, kUp, ARPHRD_ETHER, {{"10.9.9.8", "255.0.0.0"}}),
      Iface("enp4s0", 4, IFF_BROADCAST, ARPHRD_ETHER),
      Iface("wg0", 5, IFF_UP | IFF_RUNNING, ARPHRD_NONE),
      Iface("usb0", 6, kUp, ARPHRD_ETHER, {{"172.20.0.5", "255.255.0.0"}}),
  });
  std::vector<AdapterInfo> list;
  ASSERT_EQ(GetAdaptersInfo(&list), kNetOk);
  ASSERT_EQ(list.size(), 4u);

  const AdapterInfo& wired = list[0];
  EXPECT_EQ(wired.adapterName, "enp3s0");
  EXPECT_NE(wired.description,
            "enp3s0");  // a PCI device: named from the id database when installed
  EXPECT_EQ(wired.index, 2u);
  EXPECT_EQ(wired.type, 6u);
  EXPECT_EQ(wired.address, (std::vector<std::uint8_t>{0x52, 0x54, 0x00, 0x12, 0x34, 0x02}));
  ASSERT_EQ(wired.ipAddressList.size(), 2u);
  EXPECT_EQ(wired.ipAddressList[1], (IpAddrString{"192.168.7.1", "255.255.255.128"}));
  ASSERT_TRUE(wired.currentIpAddress);
  EXPECT_EQ(wired.currentIpAddress->ipAddress, "192.168.1.50");
  ASSERT_EQ(wired.gatewayList.size(), 1u);
  EXPECT_EQ(wired.gatewayList[0].ipAddress, "192.168.1.1");
  EXPECT_EQ(wired.dhcpEnabled, 1u);
  EXPECT_EQ(wired.dhcpServer.ipAddress, "192.168.1.1");
  EXPECT_GT(wired.leaseObtained, 0);
  EXPECT_EQ(wired.leaseExpires, wired.leaseObtained + 7200);
  EXPECT_FALSE(wired.haveWins);

  const AdapterInfo& wireless = list[1];
  EXPECT_EQ(wireless.type, 71u);
  EXPECT_EQ(wireless.description, "wlp2s0");  // no device: virtual, named after itself
  // The lease is for another address than the one in use: set by hand.
  EXPECT_EQ(wireless.dhcpEnabled, 0u);
  EXPECT_EQ(wireless.gatewayList[0].ipAddress, "0.0.0.0");

  const AdapterInfo& tunnel = list[2];
  EXPECT_EQ(tunnel.type, 131u);
  ASSERT_EQ(tunnel.ipAddressList.size(), 1u);
  EXPECT_EQ(tunnel.ipAddressList[0].ipAddress, "0.0.0.0");
  EXPECT_FALSE(tunnel.currentIpAddress);

  EXPECT_EQ(list[3].dhcpEnabled, 1u);
  EXPECT_EQ(list[3].dhcpServer.ipAddress, "172.20.0.1");
  EXPECT_EQ(list[3].leaseExpires, 1765105200);

  // enp4s0 is down but not a device; nothing else is inactive and wired.
  EXPECT_TRUE(ListInactiveWiredAdapters().empty());
}

TEST(NetAdapters, DownWiredDeviceIsInactiveAndNothingUpMeansNoData) {
  TempMachine machine;
  machine.Link("/sys/class/net/eno1", "../../devices/pci0000:00/0000:00:19.0/net/eno1");
  machine.Mkdir("/sys/devices/pci0000:00/0000:00:19.0/net/eno1");
  machine.Link("/sys/devices/pci0000:00/0000:00:19.0/net/eno1/device", "../../../0000:00:19.0");
  machine.Write("/sys/bus/pci/devices/0000:00:19.0/vendor", "0x8086\n");
  machine.Write("/sys/bus/pci/devices/0000:00:19.0/device", "0x153a\n");
  InterfaceScope scope({Iface("lo", 1, IFF_UP | IFF_LOOPBACK, ARPHRD_LOOPBACK),
                        Iface("eno1", 2, 0, ARPHRD_ETHER),
                        Iface("docker0", 3, IFF_BROADCAST, ARPHRD_ETHER)});
  std::vector<AdapterInfo> list{AdapterInfo{}};
  EXPECT_EQ(GetAdaptersInfo(&list), kNetNoData);
  EXPECT_TRUE(list.empty());
  const auto inactive = ListInactiveWiredAdapters();
  ASSERT_EQ(inactive.size(), 1u);
  EXPECT_EQ(inactive[0].name, "eno1");
  EXPECT_FALSE(inactive[0].description.empty());
  EXPECT_EQ(inactive[0].address.size(), 6u);
}

TEST(NetAdapters, RecordedMachineListsItsSysfsInterfaces) {
  TempMachine machine;
  machine.Write("/sys/class/net/eth0/ifindex", "2\n");
  machine.Write("/sys/class/net/eth0/flags", "0x1003\n");
  machine.Write("/sys/class/net/eth0/type", "1\n");
  machine.Write("/sys/class/net/eth0/address", "02:fc:00:00:00:01\n");
  machine.Write("/sys/class/net/lo/ifindex", "1\n");
  machine.Write("/sys/class/net/lo/flags", "0x9\n");
  machine.Write("/sys/class/net/lo/type", "772\n");
  const auto list = ReadMachineInterfaces();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "eth0");
  EXPECT_EQ(list[0].flags & IFF_UP, static_cast<std::uint32_t>(IFF_UP));
  EXPECT_EQ(list[0].hardwareAddress, (std::vector<std::uint8_t>{0x02, 0xfc, 0, 0, 0, 1}));
  EXPECT_TRUE(list[0].ipv4.empty());
  EXPECT_EQ(list[1].hardwareType, ARPHRD_LOOPBACK);
}

TEST(NetPrivacy, NonPublicRanges) {
  for (const char* a : {"10.1.2.3", "172.16.0.1", "192.168.0.1", "127.0.0.1", "169.254.1.1",
                        "100.64.1.1", "192.0.2.2", "0.0.0.0", "224.0.0.1"})
    EXPECT_TRUE(IsPrivateIpv4(a)) << a;
  for (const char* a : {"8.8.8.8", "172.32.0.1", "100.128.0.1", "193.0.2.2", "not"})
    EXPECT_FALSE(IsPrivateIpv4(a)) << a;
}

}  // namespace
