#include "scores/TextCipher.h"

#include <cstdio>
#include <ctime>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "scores/Des.h"
#include "scores/Md5.h"

namespace korvane {
namespace {

constexpr char kUpperHex[] = "0123456789ABCDEF";

std::string_view UpToFirstZero(std::string_view text) {
  const auto zero = text.find('\0');
  return zero == std::string_view::npos ? text : text.substr(0, zero);
}

void AppendHexUpper(std::string& out, const std::uint8_t* bytes, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    out.push_back(kUpperHex[bytes[i] >> 4]);
    out.push_back(kUpperHex[bytes[i] & 0x0F]);
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::vector<std::uint8_t>> HexDecode(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes(hex.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const int high = HexValue(hex[2 * i]);
    const int low = HexValue(hex[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return bytes;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// The DES key and the initial vector are both the first 8 characters of the salt's digest.
CDes KeyForSalt(std::string_view saltDigits, std::uint8_t iv[8]) {
  const std::string keyText = Md5HexLower(saltDigits);
  for (int i = 0; i < 8; ++i)
    iv[i] = static_cast<std::uint8_t>(keyText[static_cast<std::size_t>(i)]);
  return CDes(iv);
}

struct SaltGenerator {
  bool seeded = false;
  std::uint32_t state = 0;
};

SaltGenerator& ThreadSaltGenerator() {
  thread_local SaltGenerator generator;
  return generator;
}

}  // namespace

void SeedSaltGenerator(std::uint32_t seed) {
  auto& generator = ThreadSaltGenerator();
  generator.state = seed;
  generator.seeded = true;
}

int NextSaltRandom() {
  auto& generator = ThreadSaltGenerator();
  if (!generator.seeded) {
    // Seconds alone would give threads started in the same second the same salts; the
    // nanoseconds and the thread's identity keep them apart.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const auto thread = std::hash<std::thread::id>{}(std::this_thread::get_id());
    SeedSaltGenerator(static_cast<std::uint32_t>(now.tv_sec) ^
                      static_cast<std::uint32_t>(now.tv_nsec) ^ static_cast<std::uint32_t>(thread) ^
                      static_cast<std::uint32_t>(thread >> 32));
  }
  generator.state = generator.state * 214013u + 2531011u;
  return static_cast<int>((generator.state >> 16) & 0x7FFF);
}

std::uint32_t SaltNumber(int r1, int r2, int r3) {
  const auto u1 = static_cast<std::uint32_t>(r1);
  const auto u2 = static_cast<std::uint32_t>(r2);
  const auto u3 = static_cast<std::uint32_t>(r3);
  const std::uint32_t mixed = ((u1 << 12) & 0xFFFFFFu) | (u3 & 0xFFFu) | (u2 << 24);
  return mixed % 100000000u;
}

std::string EncryptTextWithSalt(std::string_view ansiText, std::string_view saltDigits) {
  const std::string_view plain = UpToFirstZero(ansiText);
  if (plain.empty()) return {};

  std::vector<std::uint8_t> buffer(plain.begin(), plain.end());
  buffer.resize((buffer.size() + 7) / 8 * 8, 0);
  std::uint8_t iv[8];
  const CDes des = KeyForSalt(saltDigits, iv);
  if (des.EncryptCbc(buffer.data(), buffer.data(), buffer.size(), iv) != kDesOk) return {};

  std::string result;
  result.reserve(saltDigits.size() * 2 + buffer.size() * 2);
  AppendHexUpper(result, reinterpret_cast<const std::uint8_t*>(saltDigits.data()),
                 saltDigits.size());
  AppendHexUpper(result, buffer.data(), buffer.size());
  return result;
}

std::string EncryptText(std::string_view ansiText) {
  if (UpToFirstZero(ansiText).empty()) return {};
  const int r1 = NextSaltRandom();
  const int r2 = NextSaltRandom();
  const int r3 = NextSaltRandom();
  char salt[16];
  std::snprintf(salt, sizeof(salt), "%08u", SaltNumber(r1, r2, r3));
  return EncryptTextWithSalt(ansiText, std::string_view(salt, 8));
}

std::string DecryptText(std::string_view ansiText) {
  const std::string_view text = TrimSpaces(ansiText);
  if (text.size() < 16) return std::string(ansiText);

  // Salt pairs are "30".."39"; anything else contributes no digit.
  std::string salt;
  for (std::size_t pair = 0; pair < 8; ++pair) {
    const char high = text[2 * pair];
    const char low = text[2 * pair + 1];
    if (high == '3' && low >= '0' && low <= '9') salt.push_back(low);
  }

  auto body = HexDecode(text.substr(16));
  if (!body || body->size() % 8 != 0) return {};
  std::uint8_t iv[8];
  const CDes des = KeyForSalt(salt, iv);
  if (des.DecryptCbc(body->data(), body->data(), body->size(), iv) != kDesOk) return {};
  const std::string_view plain(reinterpret_cast<const char*>(body->data()), body->size());
  return std::string(UpToFirstZero(plain));
}

}  // namespace korvane
