#pragma once
// The network detector: up to ten adapters with their addresses, masks, gateways, name servers,
// DHCP and WINS settings and hardware addresses, from the IP helper interface, topped up from
// the TCP/IP registry keys (adapters that are installed but not active).
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "detect/DeviceHelper.h"
#include "sysinfo/NetInfo.h"

namespace korvane {

inline constexpr int kMaxNetworkAdapters = 10;

// Language texts of this detector.
inline constexpr int kTextEthernetCard = 5122;
inline constexpr int kTextAuto = 5127;
inline constexpr int kTextTypeOther = 5320;
inline constexpr int kTextTypeUnknown = 5327;
inline constexpr int kTextNetworkEmpty = 5350;
inline constexpr int kTextUnableToGet = 5351;

// Connection states of an adapter slot.
inline constexpr std::int32_t kAdapterActive = 2;
inline constexpr std::int32_t kAdapterRegistryOnly = 1;

// "00-1A-2B-3C-4D-5E\n": two upper-case hex digits per byte joined by "-", then a line feed;
// "" for no bytes.
std::string FormatMacAddress(const std::uint8_t* bytes, std::size_t length);
// True when the text holds no address: empty after trimming, or once every ", ", "0.0.0.0"
// and space is taken out.
bool IsEmptyAddressText(std::string_view text);
// Text of an IP helper interface type: "Ethernet", "PPP", ... or "Unknown(<type>)".
std::string InterfaceTypeText(std::uint32_t type);

// Where the detector reads the machine. The defaults are the machine's own sources.
struct NetworkSources {
  std::function<std::uint32_t(FixedInfo*)> networkParams;
  std::function<std::uint32_t(std::vector<AdapterInfo>*)> adaptersInfo;
  // Wired adapters that are installed but down (reported like registry-only adapters).
  std::function<std::vector<InactiveAdapter>()> inactiveAdapters;
  // Whether the system is of the Windows 2000 generation or later (the registry layout).
  std::function<bool()> windows2000OrLater;
  // The NetBIOS adapter addresses of the older generation: fills the table (entry k = LAN
  // adapter k, unset entries left alone) and returns the number of LAN adapters.
  using NetbiosTable = std::array<std::array<std::uint8_t, 8>, kMaxNetworkAdapters>;
  std::function<int(NetbiosTable&)> netbiosAddresses;

  static NetworkSources Machine();
};

class CNetworkHelper : public CDeviceHelper {
 public:
  struct Adapter {
    std::string description;         // display copy
    std::string workingDescription;  // working copy
    std::string provider;
    std::string nameServers;
    std::int32_t connectionStatus = 0;
    std::int32_t comboIndex = 0;
    std::string adapterName;
    std::string hardwareAddress;
    std::int32_t interfaceIndex = 0;
    std::int32_t interfaceType = 0;
    std::string typeText;
    std::int32_t dhcpEnabled = 0;
    std::string currentAddress;
    std::string addresses;
    std::string masks;
    std::string gateways;
    std::string dhcpServer;
    std::int32_t winsEnabled = 0;
    std::string primaryWins;
    std::string secondaryWins;
  };

  // What the last per-interface registry read found.
  struct RegistryScratch {
    std::int32_t dhcpEnabled = 1;
    std::string address;
    std::string mask;
    std::string gateway;
    std::string nameServer;
    std::string hardwareAddress;
  };

  CNetworkHelper();
  explicit CNetworkHelper(NetworkSources sources);

  // Detects once per lifetime.
  void vUpdate() override;
  std::int32_t vGetMaxItems() override { return kMaxNetworkAdapters; }

  // The single steps (1 success, 0 failure).
  int ReadNetworkParams();
  int EnumerateAdapters();
  int ReadInterfaceRegistry(const char* adapterName, int slot);
  std::string NetworkClassProvider(std::string_view adapterName) const;
  std::string LegacyProvider(int index) const;
  void TopUp();

  // Machine-wide fields.
  std::string hostName;
  std::string domainName;
  std::string currentNameServer;
  std::int32_t nodeType = 0;
  std::int32_t enableRouting = 0;
  std::int32_t enableArpProxy = 0;
  std::int32_t enableDns = 0;

  RegistryScratch scratch;
  NetworkSources::NetbiosTable netbiosTable{};
  std::array<Adapter, kMaxNetworkAdapters> adapters{};

 private:
  bool Listed(std::string_view adapterName) const;
  void TopUpFromClassKey();
  void TopUpInactiveAdapters();
  void TopUpLegacy();

  NetworkSources sources_;
};

}  // namespace korvane

namespace korvane {

// Terminal output hides the user's addresses unless asked: all but the last two bytes of a
// hardware address ("XX-XX-XX-XX-5E-0F\n"), and the first three parts of every public IPv4
// address in a text ("XXX.XXX.XXX.17"; private, loopback and other non-public ranges stay).
// Other texts pass unchanged.
std::string MaskHardwareAddress(std::string_view text);
std::string MaskPublicAddresses(std::string_view text);

}  // namespace korvane
