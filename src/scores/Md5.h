#pragma once
// MD5 message digest (RFC 1321). The text cipher derives its DES key from it and the score
// submission sends digests of its fields, so this must match every other MD5 bit for bit.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

class CMd5 {
 public:
  CMd5();
  void Update(const void* data, std::size_t length);
  // Finishes the digest; the object starts over afterwards.
  std::array<std::uint8_t, 16> Final();

 private:
  void Transform(const std::uint8_t* block);
  void Reset();

  std::uint32_t state_[4];
  std::uint64_t totalBytes_ = 0;
  std::uint8_t buffer_[64];
  std::size_t buffered_ = 0;
};

std::array<std::uint8_t, 16> Md5Digest(std::string_view bytes);
// The 32 lower-case hexadecimal digits of the digest.
std::string Md5HexLower(std::string_view bytes);

}  // namespace korvane
