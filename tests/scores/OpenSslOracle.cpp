#include "OpenSslOracle.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <memory>

namespace oracle {

namespace {

// DES lives in the legacy provider in OpenSSL 3; the default one stays for MD5 and AES. Both are
// unloaded at exit so the leak checker sees only our own allocations.
struct Providers {
  OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
  OSSL_PROVIDER* base = OSSL_PROVIDER_load(nullptr, "default");
  ~Providers() {
    if (legacy) OSSL_PROVIDER_unload(legacy);
    if (base) OSSL_PROVIDER_unload(base);
  }
};

}  // namespace

bool LegacyProviderLoaded() {
  static const Providers providers;
  return providers.legacy != nullptr && providers.base != nullptr;
}

std::string Md5Hex(const Bytes& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr);
  return ToHex(Bytes(digest, digest + length), false);
}

Bytes Crypt(const char* cipherName, bool encrypt, const Bytes& key, const Bytes& iv,
            const Bytes& data, bool padding) {
  LegacyProviderLoaded();
  std::unique_ptr<EVP_CIPHER, decltype(&EVP_CIPHER_free)> cipher(
      EVP_CIPHER_fetch(nullptr, cipherName, nullptr), &EVP_CIPHER_free);
  if (!cipher) return {};
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                      &EVP_CIPHER_CTX_free);
  if (EVP_CipherInit_ex2(ctx.get(), cipher.get(), key.data(), iv.empty() ? nullptr : iv.data(),
                         encrypt ? 1 : 0, nullptr) != 1) {
    return {};
  }
  EVP_CIPHER_CTX_set_padding(ctx.get(), padding ? 1 : 0);
  Bytes out(data.size() + 32);
  int written = 0;
  int final = 0;
  if (EVP_CipherUpdate(ctx.get(), out.data(), &written, data.data(),
                       static_cast<int>(data.size())) != 1)
    return {};
  if (EVP_CipherFinal_ex(ctx.get(), out.data() + written, &final) != 1) return {};
  out.resize(static_cast<std::size_t>(written + final));
  return out;
}

Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::string ToHex(const Bytes& data, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : data) {
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 15]);
  }
  return out;
}

Bytes FromText(const std::string& text) { return Bytes(text.begin(), text.end()); }

}  // namespace oracle
