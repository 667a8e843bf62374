#pragma once
// The AES engine of the payload cipher (FIPS 197, 16-byte blocks, 16/24/32-byte keys) with its
// ECB, CBC and CFB modes. Errors are thrown as std::runtime_error with fixed texts; callers
// outside this folder never see them (EncryptPayload catches them).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

// The abstract block-cipher interface; every slot is pure except the destructor.
class CBlockCipher {
 public:
  virtual ~CBlockCipher() = default;
  // Key set-up from a passphrase: its bytes, zero-filled or cut to keyLength.
  virtual void MakeKeyFromPassphrase(const std::string& passphrase, int keyLength, int mode) = 0;
  virtual void EncryptData(const std::uint8_t* in, std::uint8_t* out, std::size_t length) = 0;
  virtual void DecryptData(const std::uint8_t* in, std::uint8_t* out, std::size_t length) = 0;
  // Whole-file forms: the encrypted file is padded by the padding mode; decrypting removes the
  // padding only in pad-count mode, where it is unambiguous.
  virtual void EncryptFile(const std::string& inPath, const std::string& outPath) = 0;
  virtual void DecryptFile(const std::string& inPath, const std::string& outPath) = 0;
  virtual void ResetIV() = 0;
};

class CRijndael final : public CBlockCipher {
 public:
  enum Mode : std::int32_t { ECB = 0, CBC = 1, CFB = 2 };
  enum Padding : std::int32_t { ZEROES = 0, BLANKS = 1, PKCS7 = 2 };
  static constexpr std::int32_t kBlockSize = 16;

  CRijndael();
  ~CRijndael() override;

  // key must hold keyLength bytes; keyLength 16, 24 or 32; mode 0..2. The chaining vector
  // starts from the initial vector (16 zero bytes).
  void InitKey(const std::uint8_t* key, int keyLength, int mode);
  void SetPaddingMode(int padding);
  int PaddingMode() const { return m_iPaddingMode; }

  void MakeKeyFromPassphrase(const std::string& passphrase, int keyLength, int mode) override;
  // length: a non-zero multiple of 16. in and out may be the same buffer.
  void EncryptData(const std::uint8_t* in, std::uint8_t* out, std::size_t length) override;
  void DecryptData(const std::uint8_t* in, std::uint8_t* out, std::size_t length) override;
  void EncryptFile(const std::string& inPath, const std::string& outPath) override;
  void DecryptFile(const std::string& inPath, const std::string& outPath) override;
  void ResetIV() override;

  // Pads to a whole number of blocks by the current padding mode. Zero bytes and spaces leave
  // an already whole text alone; pad-count mode always adds 1..16 bytes so it can be removed.
  std::vector<std::uint8_t> Pad(std::vector<std::uint8_t> data) const;

 private:
  void EncryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const;
  void DecryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const;
  void CheckUsable(std::size_t length) const;

  bool m_bKeyInit = false;
  std::int32_t m_blockSize = kBlockSize;
  std::int32_t m_keyLength = 0;
  std::int32_t m_iMode = ECB;
  std::int32_t m_iPaddingMode = ZEROES;
  std::uint8_t m_key[32] = {};
  std::uint8_t m_encRoundKeys[15][16] = {};  // round keys as byte columns, per round
  std::uint8_t m_decRoundKeys[15][16] = {};  // the same keys in the order decryption uses them
  std::int32_t m_iROUNDS = 0;
  std::uint8_t m_initialVector[16] = {};
  std::uint8_t m_chain[16] = {};
};

}  // namespace korvane
