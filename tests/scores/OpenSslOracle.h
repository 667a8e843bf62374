#pragma once
// libcrypto as an independent reference for the ciphers under test.
#include <cstdint>
#include <string>
#include <vector>

namespace oracle {

using Bytes = std::vector<std::uint8_t>;

std::string Md5Hex(const Bytes& data);
// Whole blocks, no padding. cipher: an OpenSSL name such as "DES-CBC" or "AES-128-ECB".
// Empty on failure (e.g. a missing legacy provider).
Bytes Crypt(const char* cipher, bool encrypt, const Bytes& key, const Bytes& iv, const Bytes& data,
            bool padding = false);
bool LegacyProviderLoaded();

Bytes FromHex(const std::string& hex);
std::string ToHex(const Bytes& data, bool upper = true);
Bytes FromText(const std::string& text);

}  // namespace oracle
