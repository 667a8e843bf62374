// The network detector over scripted IP helper answers and a recorded machine registry: the
// description cut, the registry top-up of addresses, the ten-adapter limit, the adapters known
// only from their settings, the type texts and the masking of private data.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "TempMachine.h"
#include "detect/NetworkHelper.h"

namespace {

using namespace korvane;

// The texts below are the English table's.
const bool kEnglish = [] { return ::setenv("LC_ALL", "C", 1) == 0; }();

constexpr const char* kDhcpGuid = "{5D2E1D3C-0000-4000-8000-00000000DCA1}";
constexpr const char* kStaticGuid = "{5D2E1D3C-0000-4000-8000-00000000517C}";
constexpr const char* kDisabledGuid = "{5D2E1D3C-0000-4000-8000-0000000000FF}";
constexpr const char* kWifiGuid = "{5D2E1D3C-0000-4000-8000-000000000071}";

const std::string kTcpip =
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\";
const std::string kClass =
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e972-e325-11ce-bfc1-"
    "08002be10318}\\";

std::string ClassEntry(const std::string& sub, const std::string& desc, const std::string& provider,
                       const std::string& id, const std::string& range) {
  return kClass + sub + "]\n\"DriverDesc\"=\"" + desc + "\"\n\"ProviderName\"=\"" + provider +
         "\"\n\"NetCfgInstanceId\"=\"" + id + "\"\n" + kClass + sub +
         "\\Ndi\\Interfaces]\n\"LowerRange\"=\"" + range + "\"\n";
}

// A DHCP adapter, a static one with two addresses, a disabled wired one and a wireless one.
std::string MachineRegistry() {
  return kTcpip + kDhcpGuid +
         "]\n"
         "\"EnableDHCP\"=dword:00000001\n"
         "\"DhcpIPAddress\"=\"192.168.1.20\"\n"
         "\"DhcpSubnetMask\"=\"255.255.255.0\"\n"
         "\"DhcpDefaultGateway\"=\"192.168.1.1\\x00\\x00\"\n"
         "\"DhcpNameServer\"=\"192.168.1.1 8.8.8.8\"\n" +
         kTcpip + kStaticGuid +
         "]\n"
         "\"EnableDHCP\"=\"0\"\n"
         "\"IPAddress\"=\"10.0.0.5\\x0010.0.0.6\\x00\\x00\"\n"
         "\"SubnetMask\"=\"255.0.0.0\\x00255.255.0.0\\x00\\x00\"\n"
         "\"DefaultGateway\"=\"10.0.0.1\\x00\\x00\"\n"
         "\"NameServer\"=\"10.0.0.1\"\n" +
         kTcpip + kDisabledGuid + "]\n\"EnableDHCP\"=dword:00000101\n" + kTcpip + kWifiGuid +
         "]\n\"EnableDHCP\"=dword:00000001\n" +
         ClassEntry("0000", "Realtek PCIe GBE Family Controller", "Realtek", kDhcpGuid,
                    "ethernet") +
         ClassEntry("0001", "Intel(R) PRO/1000 MT Network Connection", "Intel", kDisabledGuid,
                    "Ethernet") +
         ClassEntry("0002", "Wireless N 1030", "Intel", kWifiGuid, "wlan,ethernet");
}

AdapterInfo Adapter(const std::string& name, const std::string& description, std::uint32_t type,
                    std::vector<IpAddrString> addresses) {
  AdapterInfo a;
  a.adapterName = name;
  a.description = description;
  a.type = type;
  a.index = 7;
  a.comboIndex = 7;
  a.address = {0x00, 0x1A, 0x2B, 0x3C, 0x5E, 0x0F};
  a.ipAddressList = std::move(addresses);
  a.gatewayList = {{"0.0.0.0", "0.0.0.0"}};
  return a;
}

NetworkSources Scripted(std::vector<AdapterInfo> adapters, std::uint32_t adaptersResult = kNetOk) {
  NetworkSources s;
  s.networkParams = [](FixedInfo* out) {
    out->hostName = "desk";
    out->domainName = "home.example";
    out->nodeType = kNodeTypeBroadcast;
    out->enableDns = 1;
    out->dnsServerList = {{"192.168.1.1", ""}, {"9.9.9.9", ""}};
    return kNetOk;
  };
  s.adaptersInfo = [adapters, adaptersResult](std::vector<AdapterInfo>* out) {
    *out = adapters;
    return adaptersResult;
  };
  s.inactiveAdapters = [] { return std::vector<InactiveAdapter>{}; };
  s.windows2000OrLater = [] { return true; };
  return s;
}

TEST(NetworkFormatting, MacTextsEmptyAddressesAndTypeTable) {
  ASSERT_TRUE(kEnglish);
  const std::uint8_t mac[] = {0x00, 0x1a, 0x2b, 0x3c, 0x5e, 0x0f};
  EXPECT_EQ(FormatMacAddress(mac, 6), "00-1A-2B-3C-5E-0F\n");
  EXPECT_EQ(FormatMacAddress(mac, 1), "00\n");
  EXPECT_EQ(FormatMacAddress(mac, 0), "");
  EXPECT_EQ(FormatMacAddress(nullptr, 6), "");

  for (const char* empty : {"", "   ", "0.0.0.0", "0.0.0.0, 0.0.0.0", " 0.0.0.0 0.0.0.0 "})
    EXPECT_TRUE(IsEmptyAddressText(empty)) << '"' << empty << '"';
  for (const char* address : {"10.0.0.0", "0.0.0.0, 10.0.0.5", "fe80::1", "10.0.0.5"})
    EXPECT_FALSE(IsEmptyAddressText(address)) << address;

  EXPECT_EQ(InterfaceTypeText(1), "Others");
  EXPECT_EQ(InterfaceTypeText(6), "Ethernet");
  EXPECT_EQ(InterfaceTypeText(9), "Token Ring");
  EXPECT_EQ(InterfaceTypeText(15), "FDDI");
  EXPECT_EQ(InterfaceTypeText(23), "PPP");
  EXPECT_EQ(InterfaceTypeText(24), "Loopback");
  EXPECT_EQ(InterfaceTypeText(28), "Slip");
  EXPECT_EQ(InterfaceTypeText(71), "Unknown(71)");
  EXPECT_EQ(InterfaceTypeText(131), "Unknown(131)");
  EXPECT_EQ(InterfaceTypeText(0), "Unknown(0)");
  EXPECT_EQ(InterfaceTypeText(2), "Unknown(2)");
  EXPECT_EQ(InterfaceTypeText(29), "Unknown(29)");
}

TEST(NetworkDetection, RegistryFillsWhatTheInterfaceLacksAndTopsUpInstalledAdapters) {
  TempMachine machine;
  machine.Registry(MachineRegistry());
  CNetworkHelper net(Scripted({
      Adapter(kDhcpGuid, "Realtek PCIe GBE Family Controller - Packet Scheduler Miniport", 6,
              {{"0.0.0.0", "0.0.0.0"}}),
      Adapter(kStaticGuid, "Wireless 1030 - Packet Scheduler Miniport", 71,
              {{"0.0.0.0", "0.0.0.0"}}),
  }));
  EXPECT_EQ(net.vGetMaxItems(), 10);
  net.vUpdate();
  ASSERT_EQ(net.detected, 1);
  ASSERT_EQ(net.count, 3);
  EXPECT_EQ(net.hostName, "desk");
  EXPECT_EQ(net.domainName, "home.example");
  EXPECT_EQ(net.nodeType, 1);

  const auto& dhcp = net.adapters[0];
  EXPECT_EQ(dhcp.description, "Realtek PCIe GBE Family Controller");
  EXPECT_EQ(dhcp.workingDescription, dhcp.description);
  EXPECT_EQ(dhcp.connectionStatus, kAdapterActive);
  EXPECT_EQ(dhcp.provider, "Realtek");
  EXPECT_EQ(dhcp.addresses, "192.168.1.20");
  EXPECT_EQ(dhcp.masks, "255.255.255.0");
  EXPECT_EQ(dhcp.gateways, "192.168.1.1");
  // The registry's servers replace the machine-wide list for an adapter it knows.
  EXPECT_EQ(dhcp.nameServers, "192.168.1.1, 8.8.8.8");
  EXPECT_EQ(dhcp.hardwareAddress, "00-1A-2B-3C-5E-0F\n");
  EXPECT_EQ(dhcp.typeText, "Ethernet");

  const auto& fixed = net.adapters[1];
  // " - " at position 13 with a long enough tail: cut.
  EXPECT_EQ(fixed.description, "Wireless 1030");
  EXPECT_EQ(fixed.provider, "Empty");
  EXPECT_EQ(fixed.addresses, "10.0.0.5,10.0.0.6");
  EXPECT_EQ(fixed.masks, "255.0.0.0,255.255.0.0");
  EXPECT_EQ(fixed.gateways, "10.0.0.1");
  EXPECT_EQ(fixed.nameServers, "10.0.0.1");
  EXPECT_EQ(fixed.interfaceType, 71);
  EXPECT_EQ(fixed.typeText, "Unknown(71)");

  // The disabled wired adapter; the listed one and the wireless one are not added.
  const auto& off = net.adapters[2];
  EXPECT_EQ(off.connectionStatus, kAdapterRegistryOnly);
  EXPECT_EQ(off.adapterName, kDisabledGuid);
  EXPECT_EQ(off.description, "Intel(R) PRO/1000 MT Network Connection");
  EXPECT_EQ(off.provider, "Intel");
  EXPECT_EQ(off.typeText, "Ethernet Card");
  EXPECT_EQ(off.hardwareAddress, "-------- (Unable to Get)");
  EXPECT_EQ(off.dhcpEnabled, 1);  // low byte of 0x101
  EXPECT_EQ(off.nameServers, "Auto");
  EXPECT_EQ(net.adapters[3].adapterName, "");
}

TEST(NetworkDetection, DescriptionCutNeedsBothLengths) {
  TempMachine machine;
  NetworkSources s = Scripted(
      {Adapter("a", "Short NIC - Packet Scheduler Miniport", 6, {{"10.1.1.1", "255.0.0.0"}}),
       Adapter("b", "A long adapter name - Minipo", 6, {{"10.1.1.2", "255.0.0.0"}}),
       Adapter("c", "A long adapter name - Minipor", 6, {{"10.1.1.3", "255.0.0.0"}})});
  CNetworkHelper net(std::move(s));
  net.vUpdate();
  ASSERT_EQ(net.count, 3);
  EXPECT_EQ(net.adapters[0].description, "Short NIC - Packet Scheduler Miniport");
  EXPECT_EQ(net.adapters[1].description, "A long adapter name - Minipo");
  EXPECT_EQ(net.adapters[2].description, "A long adapter name");
  // Without a registry entry nothing replaces the interface's own values.
  EXPECT_EQ(net.adapters[0].addresses, "10.1.1.1");
  EXPECT_EQ(net.adapters[0].gateways, "0.0.0.0");
  EXPECT_EQ(net.adapters[0].nameServers, "192.168.1.1, 9.9.9.9");
  EXPECT_EQ(net.adapters[1].nameServers, "");
}

TEST(NetworkDetection, ElevenAdaptersGiveTenAndNoTopUp) {
  TempMachine machine;
  machine.Registry(MachineRegistry());
  std::vector<AdapterInfo> list;
  for (int i = 0; i < 11; ++i)
    list.push_back(Adapter("eth" + std::to_string(i), "NIC " + std::to_string(i), 6,
                           {{"10.0.0.9", "255.0.0.0"}}));
  NetworkSources s = Scripted(list);
  int inactiveAsked = 0;
  s.inactiveAdapters = [&] {
    ++inactiveAsked;
    return std::vector<InactiveAdapter>{{"eth11", "Spare NIC", {}}};
  };
  CNetworkHelper net(std::move(s));
  net.vUpdate();
  EXPECT_EQ(net.detected, 1);
  EXPECT_EQ(net.count, 10);
  EXPECT_EQ(net.adapters[9].adapterName, "eth9");
  for (const auto& a : net.adapters) EXPECT_EQ(a.connectionStatus, kAdapterActive);
  EXPECT_EQ(inactiveAsked, 0);
}

TEST(NetworkDetection, FailedInterfaceListStillTopsUpAndDetectsOnce) {
  TempMachine machine;
  machine.Registry(MachineRegistry());
  NetworkSources s = Scripted({}, kNetNoData);
  int asked = 0;
  auto params = s.networkParams;
  s.networkParams = [&asked, params](FixedInfo* out) {
    ++asked;
    return params(out);
  };
  s.inactiveAdapters = [] {
    return std::vector<InactiveAdapter>{
        {"enp3s0", "Intel Corporation 82574L Gigabit Network Connection", {1, 2, 3}}};
  };
  CNetworkHelper net(std::move(s));
  net.vUpdate();
  EXPECT_EQ(net.detected, 0);
  // The two registry-only adapters the machine has: the class key's, then the one that is down.
  ASSERT_EQ(net.count, 3);
  EXPECT_EQ(net.adapters[0].adapterName, kDhcpGuid);
  EXPECT_EQ(net.adapters[0].addresses, "192.168.1.20");
  EXPECT_EQ(net.adapters[0].gateways, "192.168.1.1");
  EXPECT_EQ(net.adapters[1].adapterName, kDisabledGuid);
  EXPECT_EQ(net.adapters[2].adapterName, "enp3s0");
  EXPECT_EQ(net.adapters[2].connectionStatus, kAdapterRegistryOnly);
  EXPECT_EQ(net.adapters[2].hardwareAddress, "-------- (Unable to Get)");
  EXPECT_EQ(net.adapters[2].typeText, "Ethernet Card");
  EXPECT_EQ(net.adapters[2].provider, "Empty");
  EXPECT_EQ(net.adapters[2].nameServers, "Auto");
  // Not detected: the next update tries again from the start.
  net.vUpdate();
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(net.count, 3);
}

TEST(NetworkDetection, ThrowingSourceLeavesItUndetected) {
  TempMachine machine;
  NetworkSources s = Scripted({Adapter("eth0", "NIC", 6, {{"10.0.0.9", "255.0.0.0"}})});
  s.networkParams = [](FixedInfo*) -> std::uint32_t { throw std::runtime_error("gone"); };
  CNetworkHelper net(std::move(s));
  EXPECT_NO_THROW(net.vUpdate());
  EXPECT_EQ(net.detected, 0);
}

TEST(NetworkDetection, OlderRegistryLayoutWithNetbiosAddresses) {
  TempMachine machine;
  machine.Registry(
      "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\VxD\\MSTCP]\n"
      "\"Domain\"=\"lan\"\n\"Hostname\"=\"old98\"\n\"EnableDNS\"=\"1\"\n\"NameServer\"=\"10.0.0.1 "
      "10.0.0.2\"\n"
      "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Net\\0000]\n"
      "\"DriverDesc\"=\"NE2000 Compatible\"\n\"ProviderName\"=\"Microsoft\"\n"
      "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Net\\0001]\n"
      "\"DriverDesc\"=\"Dial-Up Adapter\"\n"
      "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000]\n"
      "\"IPAddress\"=\"10.0.0.7\"\n\"IPMask\"=\"255.0.0.0\"\n\"DefaultGateway\"=\"10.0.0.1 "
      "10.0.0.254\"\n"
      "\"ProviderName\"=\"Microsoft\\x00\\x00\"\n");
  NetworkSources s = Scripted({}, kNetNoData);
  s.windows2000OrLater = [] { return false; };
  s.netbiosAddresses = [](NetworkSources::NetbiosTable& table) {
    table[0] = {0x52, 0x54, 0x00, 0x12, 0x34, 0x56, 0, 0};
    return 2;
  };
  CNetworkHelper net(std::move(s));
  net.vUpdate();
  EXPECT_EQ(net.hostName, "old98");
  EXPECT_EQ(net.domainName, "lan");
  EXPECT_EQ(net.enableDns, 1);
  // Only the adapter with a TCP/IP binding is listed.
  ASSERT_EQ(net.count, 1);
  const auto& a = net.adapters[0];
  EXPECT_EQ(a.description, "NE2000 Compatible");
  EXPECT_EQ(a.provider, "Microsoft");
  EXPECT_EQ(a.addresses, "10.0.0.7");
  EXPECT_EQ(a.gateways, "10.0.0.1, 10.0.0.254");
  EXPECT_EQ(a.nameServers, "10.0.0.1 10.0.0.2");
  EXPECT_EQ(a.hardwareAddress, "52-54-00-12-34-56\n");
}

TEST(NetworkPrivacy, MasksHardwareAndPublicAddressesOnly) {
  EXPECT_EQ(MaskHardwareAddress("00-1A-2B-3C-5E-0F\n"), "XX-XX-XX-XX-5E-0F\n");
  EXPECT_EQ(MaskHardwareAddress("02:fc:00:00:5e:0f"), "XX:XX:XX:XX:5e:0f");
  EXPECT_EQ(MaskHardwareAddress("-------- (Unable to Get)"), "-------- (Unable to Get)");
  EXPECT_EQ(MaskHardwareAddress(""), "");
  EXPECT_EQ(MaskPublicAddresses("8.8.4.4, 192.168.1.1,10.0.0.1, 203.0.113.9"),
            "XXX.XXX.XXX.4, 192.168.1.1,10.0.0.1, 203.0.113.9");
  EXPECT_EQ(MaskPublicAddresses("93.184.216.34"), "XXX.XXX.XXX.34");
  EXPECT_EQ(MaskPublicAddresses("172.15.0.1 172.16.0.1 172.31.255.1 172.32.0.1"),
            "XXX.XXX.XXX.1 172.16.0.1 172.31.255.1 XXX.XXX.XXX.1");
  EXPECT_EQ(MaskPublicAddresses("100.64.0.1 127.0.0.53 169.254.3.3 0.0.0.0"),
            "100.64.0.1 127.0.0.53 169.254.3.3 0.0.0.0");
  EXPECT_EQ(MaskPublicAddresses("Auto"), "Auto");
  EXPECT_EQ(MaskPublicAddresses("1.2.3"), "1.2.3");
}

}  // namespace

#include "detect/DetectDiagnose.h"

namespace {

// The diagnosis of a recorded machine: its wired adapter with the gateway of its routing
// table, the servers behind resolved's stub, and its down adapter; the hardware address only
// when asked for.
TEST(NetworkDiagnosis, RecordedMachineWithAddressesMaskedUnlessAsked) {
  TempMachine scratch;  // restores the real machine afterwards
  platform::SetSysrootPrefixForTesting(std::string(KORVANE_FIXTURES_DIR) + "/machines/hdmi-first");
  const auto masked = korvane::DiagnoseDetectors(nullptr, false);
  const auto shown = korvane::DiagnoseDetectors(nullptr, true);
  const auto& net = masked["network"];
  EXPECT_EQ(net["detected"], 1);
  EXPECT_EQ(net["hostName"], "hdmi-first");
  EXPECT_EQ(net["domainName"], "fritz.box");
  ASSERT_EQ(net["count"], 2);
  const auto& wired = net["adapters"][0];
  EXPECT_EQ(wired["adapterName"], "enp5s0");
  EXPECT_EQ(wired["gateways"], "192.168.178.1");
  EXPECT_EQ(wired["nameServers"], "192.168.178.1");
  EXPECT_EQ(wired["hardwareAddress"], "XX-XX-XX-XX-5E-0F\n");
  EXPECT_EQ(shown["network"]["adapters"][0]["hardwareAddress"], "00-D8-61-3A-5E-0F\n");
  const auto& down = net["adapters"][1];
  EXPECT_EQ(down["adapterName"], "enp6s0");
  EXPECT_EQ(down["connectionStatus"], 1);
  EXPECT_EQ(masked["others"]["sound"]["devices"][0]["caption"], "Realtek ID 887");
}

}  // namespace
