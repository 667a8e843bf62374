// The network detector on this machine against what iproute2 reports at the same moment: every
// active interface with its addresses, masks, hardware address and default gateways, and the
// name servers of resolv.conf.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "detect/NetworkHelper.h"
#include "sysinfo/NetInfo.h"

namespace {

using namespace korvane;
using Json = nlohmann::json;

std::optional<std::string> RunCommand(const std::string& command) {
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string out;
  std::array<char, 4096> buffer{};
  std::size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
  if (::pclose(pipe) != 0) return std::nullopt;
  return out;
}

struct IpSnapshot {
  Json addr;
  Json route;
  bool operator==(const IpSnapshot& o) const { return addr == o.addr && route == o.route; }
};

std::optional<IpSnapshot> TakeSnapshot() {
  const auto addr = RunCommand("ip -j -4 addr");
  const auto link = RunCommand("ip -j link");
  const auto route = RunCommand("ip -j -4 route");
  if (!addr || !link || !route) return std::nullopt;
  // -4 drops interfaces without IPv4 addresses from "addr"; "link" has them all.
  Json links = Json::parse(*link, nullptr, false);
  Json addrs = Json::parse(*addr, nullptr, false);
  if (links.is_discarded() || addrs.is_discarded()) return std::nullopt;
  for (Json& l : links) {
    l["addr_info"] = Json::array();
    for (const Json& a : addrs) {
      if (a.value("ifindex", -1) == l.value("ifindex", -2))
        l["addr_info"] = a.value("addr_info", Json::array());
    }
  }
  IpSnapshot s{links, Json::parse(*route, nullptr, false)};
  if (s.route.is_discarded()) return std::nullopt;
  return s;
}

bool Has(const Json& flags, const char* flag) {
  for (const Json& f : flags) {
    if (f == flag) return true;
  }
  return false;
}

std::string Join(const std::vector<std::string>& parts, const char* separator) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : separator) + p;
  return out;
}

// The name servers as the resolver library reads them, behind resolved's stub its upstreams.
std::vector<std::string> ResolverServers(const std::string& file) {
  std::ifstream in(file);
  std::vector<std::string> servers;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string key, value;
    if (words >> key >> value && key == "nameserver" && value.find(':') == std::string::npos)
      servers.push_back(value);
  }
  return servers;
}

TEST(ThisMachine, NetworkDetectorMatchesIproute2) {
  std::optional<IpSnapshot> before, after;
  std::unique_ptr<CNetworkHelper> detector;
  for (int attempt = 0; attempt < 3; ++attempt) {
    before = TakeSnapshot();
    if (!before) GTEST_SKIP() << "iproute2 with JSON output is not installed";
    detector = std::make_unique<CNetworkHelper>();
    detector->vUpdate();
    after = TakeSnapshot();
    if (after && *before == *after) break;
  }
  ASSERT_TRUE(after && *before == *after) << "the network configuration kept changing";
  const CNetworkHelper& net = *detector;

  std::vector<const Json*> active;
  for (const Json& l : before->addr) {
    if (Has(l["flags"], "LOOPBACK") || !Has(l["flags"], "UP")) continue;
    active.push_back(&l);
  }
  if (active.empty()) GTEST_SKIP() << "this machine has no active network interface";
  EXPECT_EQ(net.detected, 1);
  ASSERT_EQ(net.count, static_cast<int>(std::min<std::size_t>(active.size(), kMaxNetworkAdapters)));

  for (int i = 0; i < net.count; ++i) {
    const Json& l = *active[static_cast<std::size_t>(i)];
    const auto& a = net.adapters[static_cast<std::size_t>(i)];
    const std::string name = l.value("ifname", "");
    SCOPED_TRACE(name);
    EXPECT_EQ(a.adapterName, name);
    EXPECT_EQ(a.connectionStatus, kAdapterActive);
    EXPECT_EQ(a.interfaceIndex, l.value("ifindex", -1));
    std::vector<std::string> addresses, masks;
    for (const Json& info : l["addr_info"]) {
      if (info.value("family", "") != "inet") continue;
      addresses.push_back(info.value("local", ""));
      masks.push_back(PrefixToMask(info.value("prefixlen", 0)));
    }
    if (addresses.empty()) {
      EXPECT_EQ(a.addresses, "0.0.0.0");
    } else {
      EXPECT_EQ(a.addresses, Join(addresses, ", "));
      EXPECT_EQ(a.masks, Join(masks, ", "));
      EXPECT_EQ(a.currentAddress, addresses.front());
    }
    if (l.contains("address") && l.value("link_type", "") != "none") {
      std::string mac;
      for (char c : l.value("address", ""))
        mac += c == ':' ? '-' : static_cast<char>(std::toupper(c));
      EXPECT_EQ(a.hardwareAddress, mac + "\n");
    }
    std::vector<std::string> gateways;
    for (const Json& r : before->route) {
      if (r.value("dst", "") == "default" && r.value("dev", "") == name && r.contains("gateway"))
        gateways.push_back(r.value("gateway", ""));
    }
    // Several default routes come in metric order in both lists; without one the interface's
    // list holds 0.0.0.0.
    if (gateways.empty()) {
      EXPECT_EQ(a.gateways, "0.0.0.0");
    } else {
      EXPECT_EQ(a.gateways, Join(gateways, ", "));
    }
    if (l.value("link_type", "") == "ether") {
      EXPECT_TRUE(a.interfaceType == 6 || a.interfaceType == 71) << a.interfaceType;
    }
    EXPECT_FALSE(a.description.empty());
  }

  std::vector<std::string> servers = ResolverServers("/etc/resolv.conf");
  if (std::find(servers.begin(), servers.end(), "127.0.0.53") != servers.end()) {
    const auto upstream = ResolverServers("/run/systemd/resolve/resolv.conf");
    if (!upstream.empty()) servers = upstream;
  }
  if (servers.empty()) GTEST_SKIP() << "this machine has no name server";
  EXPECT_EQ(net.adapters[0].nameServers, Join(servers, ", "));
}

}  // namespace

namespace {

// The terminal diagnosis never prints this machine's hardware addresses unless asked.
TEST(ThisMachine, DiagnosisMasksHardwareAddressesUnlessAsked) {
  const std::string program = std::string(KORVANE_BIN_DIR) + "/korvane";
  const auto masked = RunCommand(program + " --diagnose --json");
  const auto shown = RunCommand(program + " --diagnose --json --show-private");
  ASSERT_TRUE(masked && shown);
  const Json maskedDoc = Json::parse(*masked, nullptr, false);
  const Json shownDoc = Json::parse(*shown, nullptr, false);
  ASSERT_FALSE(maskedDoc.is_discarded() || shownDoc.is_discarded());
  const Json& adapters = shownDoc["detectors"]["network"]["adapters"];
  if (adapters.empty()) GTEST_SKIP() << "this machine has no network adapter";
  int macs = 0;
  for (std::size_t i = 0; i < adapters.size(); ++i) {
    const std::string mac = adapters[i].value("hardwareAddress", "");
    if (mac.size() < 18 || mac[2] != '-') continue;
    ++macs;
    // Neither in the detector's form nor in the kernel's.
    std::string kernelForm = mac.substr(0, mac.size() - 1);
    for (char& c : kernelForm) c = c == '-' ? ':' : static_cast<char>(std::tolower(c));
    EXPECT_EQ(masked->find(mac.substr(0, 11)), std::string::npos);
    EXPECT_EQ(masked->find(kernelForm), std::string::npos);
    EXPECT_EQ(maskedDoc["detectors"]["network"]["adapters"][i]["hardwareAddress"],
              "XX-XX-XX-XX-" + mac.substr(12));
  }
  if (macs == 0) GTEST_SKIP() << "no adapter with a hardware address";
}

}  // namespace
