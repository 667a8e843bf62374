// The client address behind proxies: whom the server believes, and what it does with a header
// it cannot read.
#include <gtest/gtest.h>

#include "ClientAddress.h"

namespace korvane::server {
namespace {

TrustedProxies Trust(const char* list) {
  TrustedProxies t;
  std::string error;
  EXPECT_TRUE(t.Add(list, &error)) << error;
  return t;
}

std::string Canonical(const char* text) {
  const auto a = ParseIpAddress(text);
  return a ? FormatIpAddress(*a) : "<none>";
}

TEST(ClientAddress, OneClientHasOneSpellingWhateverTheHeaderWrote) {
  EXPECT_EQ(Canonical("198.51.100.7"), "198.51.100.7");
  EXPECT_EQ(Canonical("::ffff:198.51.100.7"), "198.51.100.7");
  EXPECT_EQ(Canonical("::FFFF:c633:6407"), "198.51.100.7");
  EXPECT_EQ(Canonical("2001:DB8:0:0:0:0:0:1"), "2001:db8::1");
  for (const char* junk : {"", "localhost", "1.2.3", "1.2.3.4.5", "256.1.1.1", "01.2.3.4",
                           " 1.2.3.4", "fe80::1%eth0", "1.2.3.4/8", "unknown", "::ffff:1.2.3"})
    EXPECT_EQ(Canonical(junk), "<none>") << junk;
}

TEST(ClientAddress, TrustedProxyListsTakeAddressesAndBlocksAndRefuseAnythingElse) {
  const TrustedProxies t = Trust("10.1.2.3/8, fd00::/8,192.0.2.1");
  // Host bits of a block are ignored, as routers read it.
  EXPECT_TRUE(t.Contains(*ParseIpAddress("10.200.0.1")));
  EXPECT_TRUE(t.Contains(*ParseIpAddress("::ffff:10.0.0.9")));
  EXPECT_TRUE(t.Contains(*ParseIpAddress("fdab::1")));
  EXPECT_TRUE(t.Contains(*ParseIpAddress("192.0.2.1")));
  EXPECT_FALSE(t.Contains(*ParseIpAddress("192.0.2.2")));
  EXPECT_FALSE(t.Contains(*ParseIpAddress("11.0.0.1")));
  EXPECT_FALSE(t.Contains(*ParseIpAddress("fe00::1")));

  // The IPv4 "everything" block holds no IPv6 client, and the reverse.
  const TrustedProxies v4 = Trust("0.0.0.0/0");
  EXPECT_TRUE(v4.Contains(*ParseIpAddress("203.0.113.9")));
  EXPECT_FALSE(v4.Contains(*ParseIpAddress("2001:db8::1")));
  EXPECT_TRUE(Trust("::/0").Contains(*ParseIpAddress("2001:db8::1")));

  for (const char* bad : {"", "10.0.0.0/33", "10.0.0.0/", "10.0.0.0/x", "::1/129", "proxy.lan",
                          "10.0.0.1,", "10.0.0.1,,10.0.0.2", "10.0.0.0/-1", "10.0.0.0/0008"}) {
    TrustedProxies t2;
    std::string error;
    EXPECT_FALSE(t2.Add(bad, &error)) << bad;
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(t2.Empty()) << bad;  // nothing half-added
  }
}

std::string Xff(const char* peer, std::vector<std::string> values, const TrustedProxies& t) {
  return ResolveClientAddress(peer, values, ForwardedHeader::XForwardedFor, t);
}

TEST(ClientAddress, OnlyATrustedPeerIsBelievedAndOnlyAsFarAsTrustedHopsReach) {
  const TrustedProxies t = Trust("10.0.0.0/8,2001:db8:1::/48");
  // A client that writes the header itself changes nothing.
  EXPECT_EQ(Xff("203.0.113.9", {"198.51.100.1"}, t), "203.0.113.9");
  EXPECT_EQ(Xff("::ffff:203.0.113.9", {"198.51.100.1"}, t), "203.0.113.9");
  EXPECT_EQ(Xff("203.0.113.9", {}, TrustedProxies()), "203.0.113.9");
  // Behind one proxy the right-most address is the client; what the client put before it is
  // its own invention and is passed over.
  EXPECT_EQ(Xff("10.0.0.2", {"1.1.1.1, 198.51.100.1"}, t), "198.51.100.1");
  EXPECT_EQ(Xff("10.0.0.2", {"junk, 198.51.100.1"}, t), "198.51.100.1");
  // Behind two: the second proxy's hop is skipped.
  EXPECT_EQ(Xff("10.0.0.2", {"1.1.1.1, 198.51.100.1, 10.9.9.9"}, t), "198.51.100.1");
  // Repeated header lines read as one list, in order.
  EXPECT_EQ(Xff("10.0.0.2", {"1.1.1.1", "198.51.100.1,10.9.9.9"}, t), "198.51.100.1");
  // Ports and brackets as proxies write them.
  EXPECT_EQ(Xff("10.0.0.2", {"198.51.100.1:4711"}, t), "198.51.100.1");
  EXPECT_EQ(Xff("10.0.0.2", {"[2001:DB8::7]:443"}, t), "2001:db8::7");
  EXPECT_EQ(Xff("10.0.0.2", {" 2001:db8::7 "}, t), "2001:db8::7");
  EXPECT_EQ(Xff("2001:db8:1::5", {"198.51.100.1"}, t), "198.51.100.1");
  // Every hop one of ours: the farthest is the client.
  EXPECT_EQ(Xff("10.0.0.2", {"10.0.0.7, 10.0.0.8"}, t), "10.0.0.7");
}

TEST(ClientAddress, AHeaderThatCannotBeReadLeavesThePeer) {
  const TrustedProxies t = Trust("10.0.0.0/8");
  for (const char* junk :
       {"", ",", "198.51.100.1,", "198.51.100.1, ", "not-an-address", "198.51.100.1 , x",
        "198.51.100.1, 10.0.0.9, unknown", "[198.51.100.1]", "[2001:db8::1", "2001:db8::1]:80",
        "198.51.100.1:http", "198.51.100.1:123456", "198.51.100.1 198.51.100.2", "\"198.51.100.1\"",
        "198.51.100.1\r\n", "\xff\xfe"})
    EXPECT_EQ(Xff("10.0.0.2", {junk}, t), "10.0.0.2") << junk;
  // A chain longer than any real one is a client filling the header.
  std::string longChain = "198.51.100.1";
  for (int i = 0; i < 100; ++i) longChain += ", 10.0.0.9";
  EXPECT_EQ(Xff("10.0.0.2", {longChain}, t), "10.0.0.2");
  // A peer that is no address at all is kept as it is.
  EXPECT_EQ(Xff("", {"198.51.100.1"}, t), "");
}

TEST(ClientAddress, TheForwardedHeaderIsReadByItsOwnGrammar) {
  const TrustedProxies t = Trust("10.0.0.0/8");
  auto fwd = [&](std::vector<std::string> values) {
    return ResolveClientAddress("10.0.0.2", values, ForwardedHeader::Forwarded, t);
  };
  EXPECT_EQ(fwd({"for=198.51.100.1"}), "198.51.100.1");
  EXPECT_EQ(fwd({"FOR=198.51.100.1;proto=https;by=10.0.0.2"}), "198.51.100.1");
  EXPECT_EQ(fwd({"for=\"[2001:db8:cafe::17]:4711\""}), "2001:db8:cafe::17");
  EXPECT_EQ(fwd({"for=\"198.51.100.1:80\""}), "198.51.100.1");
  EXPECT_EQ(fwd({"for=1.1.1.1, for=198.51.100.1;host=\"a,b\", for=10.0.0.9"}), "198.51.100.1");
  // Obfuscated and unknown hops name nobody; quotes that never end, an element without "for",
  // or two "for" in one element are not believed either.
  for (const char* junk : {"for=unknown", "for=_hidden", "for=\"198.51.100.1", "proto=http",
                           "for=198.51.100.1;for=198.51.100.2", "for=\"198.51\\.100.1\"",
                           "for=[2001:db8::1]x", "198.51.100.1"})
    EXPECT_EQ(fwd({junk}), "10.0.0.2") << junk;
}

}  // namespace
}  // namespace korvane::server
