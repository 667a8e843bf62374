#include "scores/Rijndael.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace korvane {
namespace {

constexpr const char* kNoKey = "Crypt ERROR: No Key DataSpecified!";
constexpr const char* kBadKeyLength = "Illegal Key Length!";
constexpr const char* kBadMode = "Crypt ERROR: Illegal Operation Mode!";
constexpr const char* kNotInitialized =
    "Crypt ERROR: Encryption/Decryption Object not Initialized!";
constexpr const char* kBadBlockSize = "Illegal Block Size!";

std::uint8_t XTime(std::uint8_t x) {
  return static_cast<std::uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1B : 0x00));
}

std::uint8_t Multiply(std::uint8_t a, std::uint8_t b) {
  std::uint8_t product = 0;
  while (b) {
    if (b & 1) product ^= a;
    a = XTime(a);
    b >>= 1;
  }
  return product;
}

// The S-box from its definition: multiplicative inverse in GF(2^8), then the affine map.
struct SBoxes {
  std::uint8_t forward[256];
  std::uint8_t inverse[256];
  SBoxes() {
    for (int x = 0; x < 256; ++x) {
      std::uint8_t inv = 0;
      if (x != 0) {
        for (int y = 1; y < 256; ++y) {
          if (Multiply(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y)) == 1) {
            inv = static_cast<std::uint8_t>(y);
            break;
          }
        }
      }
      std::uint8_t s = inv;
      for (int shift = 1; shift <= 4; ++shift) {
        s ^= static_cast<std::uint8_t>((inv << shift) | (inv >> (8 - shift)));
      }
      s ^= 0x63;
      forward[x] = s;
      inverse[s] = static_cast<std::uint8_t>(x);
    }
  }
};

const SBoxes& Boxes() {
  static const SBoxes boxes;
  return boxes;
}

void AddRoundKey(std::uint8_t state[16], const std::uint8_t key[16]) {
  for (int i = 0; i < 16; ++i) state[i] ^= key[i];
}

// State bytes are column-major as in the standard: state[r + 4c].
void ShiftRows(std::uint8_t s[16]) {
  std::uint8_t t[16];
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 4; ++r) t[r + 4 * c] = s[r + 4 * ((c + r) % 4)];
  }
  std::memcpy(s, t, 16);
}

void InvShiftRows(std::uint8_t s[16]) {
  std::uint8_t t[16];
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 4; ++r) t[r + 4 * ((c + r) % 4)] = s[r + 4 * c];
  }
  std::memcpy(s, t, 16);
}

void MixColumns(std::uint8_t s[16]) {
  for (int c = 0; c < 4; ++c) {
    std::uint8_t* col = s + 4 * c;
    const std::uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
    col[0] = static_cast<std::uint8_t>(XTime(a0) ^ (XTime(a1) ^ a1) ^ a2 ^ a3);
    col[1] = static_cast<std::uint8_t>(a0 ^ XTime(a1) ^ (XTime(a2) ^ a2) ^ a3);
    col[2] = static_cast<std::uint8_t>(a0 ^ a1 ^ XTime(a2) ^ (XTime(a3) ^ a3));
    col[3] = static_cast<std::uint8_t>((XTime(a0) ^ a0) ^ a1 ^ a2 ^ XTime(a3));
  }
}

void InvMixColumns(std::uint8_t s[16]) {
  for (int c = 0; c < 4; ++c) {
    std::uint8_t* col = s + 4 * c;
    const std::uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
    col[0] = Multiply(a0, 14) ^ Multiply(a1, 11) ^ Multiply(a2, 13) ^ Multiply(a3, 9);
    col[1] = Multiply(a0, 9) ^ Multiply(a1, 14) ^ Multiply(a2, 11) ^ Multiply(a3, 13);
    col[2] = Multiply(a0, 13) ^ Multiply(a1, 9) ^ Multiply(a2, 14) ^ Multiply(a3, 11);
    col[3] = Multiply(a0, 11) ^ Multiply(a1, 13) ^ Multiply(a2, 9) ^ Multiply(a3, 14);
  }
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("Cannot open file " + path);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("Cannot open file " + path);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("Cannot write file " + path);
}

}  // namespace

CRijndael::CRijndael() = default;

CRijndael::~CRijndael() {
  // Key material does not outlive the object.
  volatile std::uint8_t* key = m_key;
  for (std::size_t i = 0; i < sizeof(m_key); ++i) key[i] = 0;
}

void CRijndael::InitKey(const std::uint8_t* key, int keyLength, int mode) {
  if (key == nullptr) throw std::runtime_error(kNoKey);
  if (keyLength != 16 && keyLength != 24 && keyLength != 32)
    throw std::runtime_error(kBadKeyLength);
  if (mode < ECB || mode > CFB) throw std::runtime_error(kBadMode);

  m_keyLength = keyLength;
  m_iMode = mode;
  std::memset(m_key, 0, sizeof(m_key));
  std::memcpy(m_key, key, static_cast<std::size_t>(keyLength));
  m_iROUNDS = keyLength == 16 ? 10 : keyLength == 24 ? 12 : 14;

  // Key expansion over 4-byte words.
  const int nk = keyLength / 4;
  const int totalWords = 4 * (m_iROUNDS + 1);
  std::uint8_t words[60][4];
  std::memcpy(words, key, static_cast<std::size_t>(keyLength));
  const auto& sbox = Boxes().forward;
  std::uint8_t rcon = 0x01;
  for (int i = nk; i < totalWords; ++i) {
    std::uint8_t temp[4];
    std::memcpy(temp, words[i - 1], 4);
    if (i % nk == 0) {
      const std::uint8_t first = temp[0];
      temp[0] = static_cast<std::uint8_t>(sbox[temp[1]] ^ rcon);
      temp[1] = sbox[temp[2]];
      temp[2] = sbox[temp[3]];
      temp[3] = sbox[first];
      rcon = XTime(rcon);
    } else if (nk > 6 && i % nk == 4) {
      for (auto& b : temp) b = sbox[b];
    }
    for (int j = 0; j < 4; ++j) words[i][j] = words[i - nk][j] ^ temp[j];
  }
  for (int round = 0; round <= m_iROUNDS; ++round) {
    std::memcpy(m_encRoundKeys[round], words[4 * round], 16);
  }
  for (int round = 0; round <= m_iROUNDS; ++round) {
    std::memcpy(m_decRoundKeys[round], m_encRoundKeys[m_iROUNDS - round], 16);
  }
  std::memset(m_initialVector, 0, sizeof(m_initialVector));
  std::memcpy(m_chain, m_initialVector, sizeof(m_chain));
  m_bKeyInit = true;
}

void CRijndael::SetPaddingMode(int padding) {
  if (padding < ZEROES || padding > PKCS7) throw std::runtime_error(kBadMode);
  m_iPaddingMode = padding;
}

void CRijndael::MakeKeyFromPassphrase(const std::string& passphrase, int keyLength, int mode) {
  if (passphrase.empty()) throw std::runtime_error(kNoKey);
  if (keyLength != 16 && keyLength != 24 && keyLength != 32)
    throw std::runtime_error(kBadKeyLength);
  std::uint8_t key[32] = {};
  std::memcpy(key, passphrase.data(),
              std::min(passphrase.size(), static_cast<std::size_t>(keyLength)));
  InitKey(key, keyLength, mode);
}

void CRijndael::ResetIV() {
  if (!m_bKeyInit) throw std::runtime_error(kNotInitialized);
  std::memcpy(m_chain, m_initialVector, sizeof(m_chain));
}

void CRijndael::CheckUsable(std::size_t length) const {
  if (!m_bKeyInit) throw std::runtime_error(kNotInitialized);
  if (length == 0 || length % static_cast<std::size_t>(m_blockSize) != 0) {
    throw std::runtime_error(kBadBlockSize);
  }
}

void CRijndael::EncryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const {
  const auto& sbox = Boxes().forward;
  std::uint8_t state[16];
  std::memcpy(state, in, 16);
  AddRoundKey(state, m_encRoundKeys[0]);
  for (int round = 1; round <= m_iROUNDS; ++round) {
    for (auto& b : state) b = sbox[b];
    ShiftRows(state);
    if (round != m_iROUNDS) MixColumns(state);
    AddRoundKey(state, m_encRoundKeys[round]);
  }
  std::memcpy(out, state, 16);
}

void CRijndael::DecryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const {
  const auto& inverse = Boxes().inverse;
  std::uint8_t state[16];
  std::memcpy(state, in, 16);
  AddRoundKey(state, m_decRoundKeys[0]);
  for (int round = 1; round <= m_iROUNDS; ++round) {
    InvShiftRows(state);
    for (auto& b : state) b = inverse[b];
    AddRoundKey(state, m_decRoundKeys[round]);
    if (round != m_iROUNDS) InvMixColumns(state);
  }
  std::memcpy(out, state, 16);
}

void CRijndael::EncryptData(const std::uint8_t* in, std::uint8_t* out, std::size_t length) {
  CheckUsable(length);
  for (std::size_t offset = 0; offset < length; offset += 16) {
    std::uint8_t block[16];
    std::memcpy(block, in + offset, 16);
    switch (m_iMode) {
      case CBC:
        for (int i = 0; i < 16; ++i) block[i] ^= m_chain[i];
        EncryptBlock(block, out + offset);
        std::memcpy(m_chain, out + offset, 16);
        break;
      case CFB: {
        std::uint8_t stream[16];
        EncryptBlock(m_chain, stream);
        for (int i = 0; i < 16; ++i) out[offset + i] = block[i] ^ stream[i];
        std::memcpy(m_chain, out + offset, 16);
        break;
      }
      default:
        EncryptBlock(block, out + offset);
        break;
    }
  }
}

void CRijndael::DecryptData(const std::uint8_t* in, std::uint8_t* out, std::size_t length) {
  CheckUsable(length);
  for (std::size_t offset = 0; offset < length; offset += 16) {
    std::uint8_t block[16];
    std::memcpy(block, in + offset, 16);  // kept: out may overwrite in
    switch (m_iMode) {
      case CBC:
        DecryptBlock(block, out + offset);
        for (int i = 0; i < 16; ++i) out[offset + i] ^= m_chain[i];
        std::memcpy(m_chain, block, 16);
        break;
      case CFB: {
        std::uint8_t stream[16];
        EncryptBlock(m_chain, stream);
        for (int i = 0; i < 16; ++i) out[offset + i] = block[i] ^ stream[i];
        std::memcpy(m_chain, block, 16);
        break;
      }
      default:
        DecryptBlock(block, out + offset);
        break;
    }
  }
}

std::vector<std::uint8_t> CRijndael::Pad(std::vector<std::uint8_t> data) const {
  const std::size_t block = static_cast<std::size_t>(m_blockSize);
  std::size_t padCount = (block - data.size() % block) % block;
  if (m_iPaddingMode == PKCS7 && padCount == 0) padCount = block;
  const std::uint8_t filler = m_iPaddingMode == BLANKS  ? ' '
                              : m_iPaddingMode == PKCS7 ? static_cast<std::uint8_t>(padCount)
                                                        : 0;
  data.insert(data.end(), padCount, filler);
  return data;
}

void CRijndael::EncryptFile(const std::string& inPath, const std::string& outPath) {
  if (!m_bKeyInit) throw std::runtime_error(kNotInitialized);
  std::vector<std::uint8_t> data = Pad(ReadWholeFile(inPath));
  if (data.empty()) {
    WriteWholeFile(outPath, data);
    return;
  }
  EncryptData(data.data(), data.data(), data.size());
  WriteWholeFile(outPath, data);
}

void CRijndael::DecryptFile(const std::string& inPath, const std::string& outPath) {
  if (!m_bKeyInit) throw std::runtime_error(kNotInitialized);
  std::vector<std::uint8_t> data = ReadWholeFile(inPath);
  if (data.empty()) {
    WriteWholeFile(outPath, data);
    return;
  }
  DecryptData(data.data(), data.data(), data.size());
  if (m_iPaddingMode == PKCS7) {
    const std::uint8_t count = data.back();
    if (count == 0 || count > 16) throw std::runtime_error(kBadBlockSize);
    for (std::size_t i = data.size() - count; i < data.size(); ++i) {
      if (data[i] != count) throw std::runtime_error(kBadBlockSize);
    }
    data.resize(data.size() - count);
  }
  WriteWholeFile(outPath, data);
}

}  // namespace korvane
