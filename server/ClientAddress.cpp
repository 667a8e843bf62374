#include "ClientAddress.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace korvane::server {

namespace {

// No real chain of proxies is this long; a longer one is a client filling the header.
constexpr std::size_t kMaxHops = 64;

bool IsMappedV4(const IpAddress& a) {
  static constexpr std::uint8_t kPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  return std::memcmp(a.bytes.data(), kPrefix, sizeof kPrefix) == 0;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool AllDigits(std::string_view s) {
  return !s.empty() && s.size() <= 5 &&
         std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// One hop as proxies write it: an address, "[v6]", or either with a port after it.
std::optional<IpAddress> ParseHop(std::string_view s) {
  s = Trim(s);
  if (!s.empty() && s.front() == '[') {
    const std::size_t close = s.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view rest = s.substr(close + 1);
    if (!rest.empty() && !(rest.front() == ':' && AllDigits(rest.substr(1)))) return std::nullopt;
    const std::string_view inner = s.substr(1, close - 1);
    // Brackets are for IPv6 only.
    if (inner.find(':') == std::string_view::npos) return std::nullopt;
    return ParseIpAddress(inner);
  }
  const std::size_t colon = s.find(':');
  if (colon != std::string_view::npos && s.find(':', colon + 1) == std::string_view::npos) {
    // Exactly one colon: IPv4 with a port.
    if (!AllDigits(s.substr(colon + 1))) return std::nullopt;
    const std::string_view host = s.substr(0, colon);
    if (host.find('.') == std::string_view::npos) return std::nullopt;
    return ParseIpAddress(host);
  }
  return ParseIpAddress(s);
}

// Splits at commas outside double quotes; false for an unterminated quote.
bool SplitElements(std::string_view s, std::vector<std::string_view>& out) {
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (quoted && c == '\\') {
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      out.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  if (quoted) return false;
  out.push_back(s.substr(start));
  return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The "for" parameter of one Forwarded element ("for=1.2.3.4;proto=http",
// "for=\"[2001:db8::1]:4711\""); nullopt when it is missing or not an address.
std::optional<IpAddress> ForwardedFor(std::string_view element) {
  std::optional<IpAddress> found;
  int forCount = 0;
  std::size_t pos = 0;
  while (pos <= element.size()) {
    // Parameters are split at ';' outside quotes.
    std::size_t end = pos;
    bool quoted = false;
    for (; end < element.size(); ++end) {
      if (quoted && element[end] == '\\') {
        ++end;
        continue;
      }
      if (element[end] == '"') quoted = !quoted;
      if (element[end] == ';' && !quoted) break;
    }
    const std::string_view pair = Trim(element.substr(pos, std::min(end, element.size()) - pos));
    pos = end + 1;
    const std::size_t eq = pair.find('=');
    if (eq == std::string_view::npos) {
      if (pair.empty()) continue;
      return std::nullopt;
    }
    if (!EqualsNoCase(Trim(pair.substr(0, eq)), "for")) continue;
    ++forCount;
    std::string_view value = Trim(pair.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
      // Addresses hold no escapes; one here is not an address.
      if (value.find('\\') != std::string_view::npos) return std::nullopt;
    }
    found = ParseHop(value);
  }
  // Two "for" in one element is not a hop anyone wrote honestly.
  return forCount == 1 ? found : std::nullopt;
}

}  // namespace

std::optional<IpAddress> ParseIpAddress(std::string_view text) {
  if (text.empty() || text.size() > 45) return std::nullopt;
  const std::string s(text);
  IpAddress a;
  in_addr v4{};
  if (inet_pton(AF_INET, s.c_str(), &v4) == 1) {
    a.bytes[10] = 0xff;
    a.bytes[11] = 0xff;
    std::memcpy(a.bytes.data() + 12, &v4, 4);
    return a;
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, s.c_str(), &v6) == 1) {
    std::memcpy(a.bytes.data(), &v6, 16);
    return a;
  }
  return std::nullopt;
}

std::string FormatIpAddress(const IpAddress& address) {
  char buf[INET6_ADDRSTRLEN] = {};
  if (IsMappedV4(address)) {
    inet_ntop(AF_INET, address.bytes.data() + 12, buf, sizeof buf);
  } else {
    inet_ntop(AF_INET6, address.bytes.data(), buf, sizeof buf);
  }
  return buf;
}

bool TrustedProxies::Add(std::string_view list, std::string* error) {
  auto fail = [&](std::string_view item) {
    if (error != nullptr)
      *error = "--trust-proxy wants addresses or CIDR blocks, got \"" + std::string(item) + "\"";
    return false;
  };
  std::vector<Net> added;
  std::size_t pos = 0;
  while (pos <= list.size()) {
    std::size_t comma = list.find(',', pos);
    if (comma == std::string_view::npos) comma = list.size();
    const std::string_view item = Trim(list.substr(pos, comma - pos));
    pos = comma + 1;
    const std::size_t slash = item.find('/');
    const auto address = ParseIpAddress(item.substr(0, slash));
    if (!address) return fail(item);
    Net net;
    net.base = *address;
    const bool v4 = item.substr(0, slash).find(':') == std::string_view::npos;
    if (slash != std::string_view::npos) {
      const std::string_view bits = item.substr(slash + 1);
      if (bits.empty() || bits.size() > 3 ||
          !std::all_of(bits.begin(), bits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return fail(item);
      const int n = std::stoi(std::string(bits));
      if (n > (v4 ? 32 : 128)) return fail(item);
      net.prefix = v4 ? 96 + n : n;
    }
    // Host bits are cleared so "10.1.2.3/8" means 10.0.0.0/8, as routers read it.
    for (int bit = net.prefix; bit < 128; ++bit)
      net.base.bytes[bit / 8] &= static_cast<std::uint8_t>(~(0x80u >> (bit % 8)));
    added.push_back(net);
  }
  nets_.insert(nets_.end(), added.begin(), added.end());
  return true;
}

bool TrustedProxies::Contains(const IpAddress& address) const {
  for (const Net& net : nets_) {
    bool match = true;
    for (int bit = 0; bit < net.prefix && match; bit += 8) {
      const int take = std::min(8, net.prefix - bit);
      const auto mask = static_cast<std::uint8_t>(0xffu << (8 - take));
      match = (address.bytes[bit / 8] & mask) == (net.base.bytes[bit / 8] & mask);
    }
    if (match) return true;
  }
  return false;
}

std::string ResolveClientAddress(const std::string& peer,
                                 const std::vector<std::string>& headerValues, ForwardedHeader kind,
                                 const TrustedProxies& trusted) {
  const auto peerAddress = ParseIpAddress(peer);
  if (!peerAddress) return peer;
  const std::string peerText = FormatIpAddress(*peerAddress);
  if (headerValues.empty() || !trusted.Contains(*peerAddress)) return peerText;

  // Repeated header lines are one list, in the order received.
  std::vector<std::string_view> elements;
  for (const std::string& value : headerValues) {
    if (!SplitElements(value, elements)) return peerText;
    if (elements.size() > kMaxHops) return peerText;
  }
  std::optional<IpAddress> leftmost;
  for (auto it = elements.rbegin(); it != elements.rend(); ++it) {
    const auto hop = kind == ForwardedHeader::Forwarded ? ForwardedFor(*it) : ParseHop(*it);
    if (!hop) return peerText;
    if (!trusted.Contains(*hop)) return FormatIpAddress(*hop);
    leftmost = hop;
  }
  // Every hop is one of ours: the farthest one known is the client.
  return leftmost ? FormatIpAddress(*leftmost) : peerText;
}

}  // namespace korvane::server
