#pragma once
// DES (FIPS 46-3) with cipher block chaining. Blocks are read and written as two big-endian
// 32-bit words, so the bytes agree with every other DES implementation.
#include <array>
#include <cstddef>
#include <cstdint>

namespace korvane {

// Returned by the CBC routines when the length is not a whole number of 8-byte blocks.
inline constexpr int kDesErrorLength = 1030;
inline constexpr int kDesOk = 0;

class CDes {
 public:
  // Parity bits of the key are ignored, as the standard allows.
  explicit CDes(const std::uint8_t key[8]);

  void EncryptBlock(const std::uint8_t in[8], std::uint8_t out[8]) const;
  void DecryptBlock(const std::uint8_t in[8], std::uint8_t out[8]) const;

  // length must be a multiple of 8; in and out may be the same buffer. iv is not changed.
  [[nodiscard]] int EncryptCbc(const std::uint8_t* in, std::uint8_t* out, std::size_t length,
                               const std::uint8_t iv[8]) const;
  [[nodiscard]] int DecryptCbc(const std::uint8_t* in, std::uint8_t* out, std::size_t length,
                               const std::uint8_t iv[8]) const;

 private:
  std::uint64_t Crypt(std::uint64_t block, bool decrypt) const;
  std::array<std::uint64_t, 16> subkeys_{};  // 48-bit round keys
};

}  // namespace korvane
