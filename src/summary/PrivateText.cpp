#include "summary/PrivateText.h"

#include <arpa/inet.h>

#include <cctype>
#include <cstdint>

#include "summary/SummaryModel.h"

namespace korvane::summary {

bool IsPrivateRow(int category, std::string_view key) {
  if (category != kCategoryNetwork) return false;
  return key == "MACAddress" || key == "IPAddress" || key == "GatewayAddr" || key == "DnsServer";
}

std::string MaskHardwareAddress(std::string_view text) {
  // Keep the separators and the last two hex pairs.
  std::string out(text);
  int pairs = 0;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) ++pairs;
  }
  pairs /= 2;
  int seenDigits = 0;
  for (char& c : out) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) continue;
    const int pair = seenDigits / 2;
    ++seenDigits;
    if (pair < pairs - 2) c = 'X';
  }
  return out;
}

namespace {

bool IsPublicV4(std::uint32_t a) {
  const auto b0 = a >> 24, b1 = (a >> 16) & 0xFF;
  if (b0 == 0 || b0 == 10 || b0 == 127 || b0 >= 224) return false;
  if (b0 == 169 && b1 == 254) return false;
  if (b0 == 172 && b1 >= 16 && b1 <= 31) return false;
  if (b0 == 192 && b1 == 168) return false;
  if (b0 == 100 && b1 >= 64 && b1 <= 127) return false;  // carrier-grade NAT
  if (a == 0xFFFFFFFFu) return false;
  // Masks are not addresses of anybody.
  if (b0 == 255) return false;
  return true;
}

}  // namespace

std::string MaskPublicAddresses(std::string_view text) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    // A run of digits and dots is a candidate address.
    if (std::isdigit(static_cast<unsigned char>(text[i])) &&
        (i == 0 || !std::isalnum(static_cast<unsigned char>(text[i - 1])))) {
      std::size_t j = i;
      while (j < text.size() &&
             (std::isdigit(static_cast<unsigned char>(text[j])) || text[j] == '.'))
        ++j;
      const std::string token(text.substr(i, j - i));
      in_addr addr{};
      if (::inet_pton(AF_INET, token.c_str(), &addr) == 1 && IsPublicV4(ntohl(addr.s_addr))) {
        out += "XXX.XXX.XXX." + token.substr(token.rfind('.') + 1);
      } else {
        out += token;
      }
      i = j;
      continue;
    }
    out += text[i++];
  }
  return out;
}

std::string MaskRowValue(int category, std::string_view key, std::string_view value) {
  if (!IsPrivateRow(category, key)) return std::string(value);
  if (key == "MACAddress") return MaskHardwareAddress(value);
  return MaskPublicAddresses(value);
}

}  // namespace korvane::summary
