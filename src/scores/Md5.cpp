#include "scores/Md5.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace korvane {
namespace {

constexpr std::uint32_t kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                      5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                      4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                      6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

struct SineTable {
  std::uint32_t k[64];
  SineTable() {
    // floor(|sin(i + 1)| * 2^32): every value is far enough from an integer that double
    // precision gets each bit right; the published digests in the tests confirm it.
    for (int i = 0; i < 64; ++i) {
      k[i] = static_cast<std::uint32_t>(std::floor(std::fabs(std::sin(i + 1.0)) * 4294967296.0));
    }
  }
};

const SineTable& Sines() {
  static const SineTable table;
  return table;
}

inline std::uint32_t RotateLeft(std::uint32_t x, std::uint32_t n) {
  return (x << n) | (x >> (32 - n));
}

}  // namespace

CMd5::CMd5() { Reset(); }

void CMd5::Reset() {
  state_[0] = 0x67452301u;
  state_[1] = 0xefcdab89u;
  state_[2] = 0x98badcfeu;
  state_[3] = 0x10325476u;
  totalBytes_ = 0;
  buffered_ = 0;
}

void CMd5::Transform(const std::uint8_t* block) {
  const std::uint32_t* k = Sines().k;
  std::uint32_t m[16];
  for (int i = 0; i < 16; ++i) {
    m[i] = static_cast<std::uint32_t>(block[i * 4]) |
           (static_cast<std::uint32_t>(block[i * 4 + 1]) << 8) |
           (static_cast<std::uint32_t>(block[i * 4 + 2]) << 16) |
           (static_cast<std::uint32_t>(block[i * 4 + 3]) << 24);
  }
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (int i = 0; i < 64; ++i) {
    std::uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    const std::uint32_t rotated = RotateLeft(a + f + k[i] + m[g], kShift[i]);
    a = d;
    d = c;
    c = b;
    b = b + rotated;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void CMd5::Update(const void* data, std::size_t length) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  totalBytes_ += length;
  while (length > 0) {
    const std::size_t take = std::min(length, sizeof(buffer_) - buffered_);
    std::memcpy(buffer_ + buffered_, bytes, take);
    buffered_ += take;
    bytes += take;
    length -= take;
    if (buffered_ == sizeof(buffer_)) {
      Transform(buffer_);
      buffered_ = 0;
    }
  }
}

std::array<std::uint8_t, 16> CMd5::Final() {
  const std::uint64_t bitLength = totalBytes_ * 8;
  const std::uint8_t one = 0x80;
  Update(&one, 1);
  const std::uint8_t zero = 0;
  while (buffered_ != 56) Update(&zero, 1);
  std::uint8_t lengthBytes[8];
  for (int i = 0; i < 8; ++i) lengthBytes[i] = static_cast<std::uint8_t>(bitLength >> (8 * i));
  Update(lengthBytes, 8);

  std::array<std::uint8_t, 16> digest{};
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) digest[i * 4 + j] = static_cast<std::uint8_t>(state_[i] >> (8 * j));
  }
  Reset();
  return digest;
}

std::array<std::uint8_t, 16> Md5Digest(std::string_view bytes) {
  CMd5 md5;
  md5.Update(bytes.data(), bytes.size());
  return md5.Final();
}

std::string Md5HexLower(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const auto digest = Md5Digest(bytes);
  std::string hex;
  hex.reserve(32);
  for (std::uint8_t b : digest) {
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 0x0F]);
  }
  return hex;
}

}  // namespace korvane
