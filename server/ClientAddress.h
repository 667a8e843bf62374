#pragma once
// Which address a request comes from when korvane-server sits behind load balancers or reverse
// proxies. The key binding and the per-address limit must see the real client, but a header
// any client can write is believed only when the connection comes from a proxy the operator
// named, and only as far back as the chain of named proxies reaches.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::server {

// An IPv4 address is kept in its IPv4-mapped IPv6 form, so both spellings of one client are
// one address.
struct IpAddress {
  std::array<std::uint8_t, 16> bytes{};
  bool operator==(const IpAddress&) const = default;
};

// A numeric IPv4 or IPv6 address ("::ffff:a.b.c.d" is the IPv4 address); nullopt for
// anything else (names, ports, zone ids, empty text).
std::optional<IpAddress> ParseIpAddress(std::string_view text);
// The canonical text: dotted quad for IPv4 (mapped ones too), RFC 5952 for IPv6.
std::string FormatIpAddress(const IpAddress& address);

// Which header the proxies in front write. Only that one is read: a proxy appends to its own
// header and passes the other through untouched, so reading both would let a client choose.
enum class ForwardedHeader { XForwardedFor, Forwarded };

class TrustedProxies {
 public:
  // "ADDR[,ADDR...]", each an address or a CIDR block ("10.0.0.0/8", "fd00::/8"); false with a
  // reason for anything else (an empty list included).
  bool Add(std::string_view list, std::string* error);
  bool Empty() const { return nets_.empty(); }
  bool Contains(const IpAddress& address) const;

 private:
  struct Net {
    IpAddress base;
    int prefix = 128;  // in bits of the 16-byte form
  };
  std::vector<Net> nets_;
};

// The client's address for a request from `peer` (the connection's address as the socket
// layer gives it) whose header of the chosen kind had these values (each occurrence of the
// header, in the order received). The peer stands unless it is a trusted proxy; then the
// header's addresses are walked from the right and the first one that is not itself a trusted
// proxy is the client. A header that cannot be read (junk, names, obfuscated identifiers) up to
// that point leaves the peer standing. The result is canonical text (see FormatIpAddress) when
// the peer itself is an address, else the peer as given.
std::string ResolveClientAddress(const std::string& peer,
                                 const std::vector<std::string>& headerValues, ForwardedHeader kind,
                                 const TrustedProxies& trusted);

}  // namespace korvane::server
