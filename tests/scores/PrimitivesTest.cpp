// MD5, DES and AES against the standards' published vectors and against libcrypto on many
// random inputs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>

#include "OpenSslOracle.h"
#include "scores/Des.h"
#include "scores/Md5.h"
#include "scores/Rijndael.h"

using oracle::Bytes;
using oracle::FromHex;
using oracle::ToHex;

namespace korvane {
namespace {

Bytes RandomBytes(std::mt19937& rng, std::size_t length) {
  Bytes out(length);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

std::string AsText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// ---- MD5 ------------------------------------------------------------------------------------

TEST(Md5, PublishedDigests) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [text, digest] : cases)
    EXPECT_EQ(Md5HexLower(text), digest) << '"' << text << '"';
}

TEST(Md5, AgreesWithLibcryptoForAnyLengthAndAnySplitIntoUpdates) {
  std::mt19937 rng(1321);
  for (int round = 0; round < 3000; ++round) {
    // Lengths around the 56/64-byte padding boundaries matter most; cover them all.
    const std::size_t length = round < 300 ? static_cast<std::size_t>(round) : rng() % 2000;
    const Bytes data = RandomBytes(rng, length);
    ASSERT_EQ(Md5HexLower(AsText(data)), oracle::Md5Hex(data)) << "length " << length;

    CMd5 streamed;
    std::size_t offset = 0;
    while (offset < data.size()) {
      const std::size_t piece = std::min<std::size_t>(rng() % 70, data.size() - offset);
      streamed.Update(data.data() + offset, piece);
      offset += piece;
    }
    const auto digest = streamed.Final();
    ASSERT_EQ(ToHex(Bytes(digest.begin(), digest.end()), false), oracle::Md5Hex(data))
        << "length " << length;
  }
}

// ---- DES ------------------------------------------------------------------------------------

Bytes DesCbc(bool encrypt, const Bytes& key, const Bytes& iv, const Bytes& data) {
  const CDes des(key.data());
  Bytes out(data.size());
  const int rc = encrypt ? des.EncryptCbc(data.data(), out.data(), out.size(), iv.data())
                         : des.DecryptCbc(data.data(), out.data(), out.size(), iv.data());
  EXPECT_EQ(rc, kDesOk);
  return out;
}

TEST(Des, PublishedVectors) {
  struct Case {
    const char* key;
    const char* plain;
    const char* cipher;
  };
  const Case cases[] = {
      {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
      {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},  // variable plaintext
      {"0101010101010101", "0000000000000001", "166B40B44ABA4BD6"},
      {"8001010101010101", "0000000000000000", "95A8D72813DAA94D"},  // variable key
      {"7CA110454A1A6E57", "01A1D6D039776742", "690F5B0D9A26939B"},  // S-box exercise
      {"0131D9619DC1376E", "5CD54CA83DEF57DA", "7A389D10354BD271"},
  };
  for (const Case& c : cases) {
    const CDes des(FromHex(c.key).data());
    std::uint8_t out[8];
    des.EncryptBlock(FromHex(c.plain).data(), out);
    EXPECT_EQ(ToHex(Bytes(out, out + 8)), c.cipher) << "key " << c.key;
    std::uint8_t back[8];
    des.DecryptBlock(out, back);
    EXPECT_EQ(ToHex(Bytes(back, back + 8)), c.plain) << "key " << c.key;
  }
}

TEST(Des, PublishedCbcExample) {
  const Bytes key = FromHex("0123456789ABCDEF");
  const Bytes iv = FromHex("1234567890ABCDEF");
  const Bytes plain = oracle::FromText("Now is the time for all ");
  const Bytes cipher = DesCbc(true, key, iv, plain);
  EXPECT_EQ(ToHex(cipher), "E5C7CDDE872BF27C43E934008C389C0F683788499A7C05F6");
  EXPECT_EQ(DesCbc(false, key, iv, cipher), plain);
}

TEST(Des, CbcAgreesWithLibcryptoOnRandomInputs) {
  if (!oracle::LegacyProviderLoaded())
    GTEST_SKIP() << "libcrypto's legacy provider (DES) is not available";
  std::mt19937 rng(463);
  for (int round = 0; round < 3000; ++round) {
    const Bytes key = RandomBytes(rng, 8);
    const Bytes iv = RandomBytes(rng, 8);
    const Bytes plain = RandomBytes(rng, 8 * (rng() % 40));
    const Bytes expected = oracle::Crypt("DES-CBC", true, key, iv, plain);
    ASSERT_EQ(DesCbc(true, key, iv, plain), expected) << "round " << round;
    ASSERT_EQ(DesCbc(false, key, iv, expected), plain) << "round " << round;
  }
}

TEST(Des, CbcRefusesPartialBlocksAndWorksInPlace) {
  const Bytes key = FromHex("0123456789ABCDEF");
  const Bytes iv(8, 0);
  const CDes des(key.data());
  std::uint8_t buffer[24] = {};
  for (std::size_t length : {1u, 7u, 9u, 23u}) {
    EXPECT_EQ(des.EncryptCbc(buffer, buffer, length, iv.data()), kDesErrorLength) << length;
    EXPECT_EQ(des.DecryptCbc(buffer, buffer, length, iv.data()), kDesErrorLength) << length;
  }
  for (std::size_t i = 0; i < sizeof(buffer); ++i)
    EXPECT_EQ(buffer[i], 0) << "refused call wrote byte " << i;

  const Bytes plain = oracle::FromText("Now is the time for all ");
  Bytes inPlace = plain;
  ASSERT_EQ(des.EncryptCbc(inPlace.data(), inPlace.data(), inPlace.size(),
                           FromHex("1234567890ABCDEF").data()),
            kDesOk);
  EXPECT_EQ(ToHex(inPlace), "E5C7CDDE872BF27C43E934008C389C0F683788499A7C05F6");
  ASSERT_EQ(des.DecryptCbc(inPlace.data(), inPlace.data(), inPlace.size(),
                           FromHex("1234567890ABCDEF").data()),
            kDesOk);
  EXPECT_EQ(inPlace, plain);
}

// ---- AES ------------------------------------------------------------------------------------

Bytes Aes(bool encrypt, const Bytes& key, int mode, const Bytes& data) {
  CRijndael aes;
  aes.InitKey(key.data(), static_cast<int>(key.size()), mode);
  Bytes out(data.size());
  if (encrypt) {
    aes.EncryptData(data.data(), out.data(), out.size());
  } else {
    aes.DecryptData(data.data(), out.data(), out.size());
  }
  return out;
}

TEST(Rijndael, PublishedVectorsForAllKeyLengths) {
  const Bytes plain = FromHex("00112233445566778899AABBCCDDEEFF");
  const std::pair<const char*, const char*> cases[] = {
      {"000102030405060708090A0B0C0D0E0F", "69C4E0D86A7B0430D8CDB78070B4C55A"},
      {"000102030405060708090A0B0C0D0E0F1011121314151617", "DDA97CA4864CDFE06EAF70A0EC0D7191"},
      {"000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F",
       "8EA2B7CA516745BFEAFC49904B496089"},
  };
  for (const auto& [key, cipher] : cases) {
    EXPECT_EQ(ToHex(Aes(true, FromHex(key), CRijndael::ECB, plain)), cipher) << key;
    EXPECT_EQ(Aes(false, FromHex(key), CRijndael::ECB, FromHex(cipher)), plain) << key;
  }
  // The key expansion example key of the standard.
  EXPECT_EQ(ToHex(Aes(true, FromHex("2B7E151628AED2A6ABF7158809CF4F3C"), CRijndael::ECB,
                      FromHex("3243F6A8885A308D313198A2E0370734"))),
            "3925841D02DC09FBDC118597196A0B32");
}

TEST(Rijndael, EveryModeAndKeyLengthAgreesWithLibcrypto) {
  std::mt19937 rng(197);
  const struct {
    int mode;
    const char* name[3];
  } modes[] = {{CRijndael::ECB, {"AES-128-ECB", "AES-192-ECB", "AES-256-ECB"}},
               {CRijndael::CBC, {"AES-128-CBC", "AES-192-CBC", "AES-256-CBC"}},
               {CRijndael::CFB, {"AES-128-CFB", "AES-192-CFB", "AES-256-CFB"}}};
  for (int round = 0; round < 1500; ++round) {
    const auto& mode = modes[round % 3];
    const int keyIndex = (round / 3) % 3;
    const Bytes key = RandomBytes(rng, 16 + 8 * static_cast<std::size_t>(keyIndex));
    const Bytes plain = RandomBytes(rng, 16 * (1 + rng() % 20));
    const Bytes iv =
        mode.mode == CRijndael::ECB ? Bytes() : Bytes(16, 0);  // our initial vector is zero
    const Bytes expected = oracle::Crypt(mode.name[keyIndex], true, key, iv, plain);
    ASSERT_EQ(Aes(true, key, mode.mode, plain), expected)
        << mode.name[keyIndex] << " round " << round;
    ASSERT_EQ(Aes(false, key, mode.mode, expected), plain)
        << mode.name[keyIndex] << " round " << round;
  }
}

TEST(Rijndael, ChainingContinuesAcrossCallsUntilResetIV) {
  std::mt19937 rng(7);
  const Bytes key = RandomBytes(rng, 16);
  const Bytes plain = RandomBytes(rng, 64);
  const Bytes whole = oracle::Crypt("AES-128-CBC", true, key, Bytes(16, 0), plain);

  CRijndael aes;
  aes.InitKey(key.data(), 16, CRijndael::CBC);
  Bytes pieces(64);
  aes.EncryptData(plain.data(), pieces.data(), 32);
  aes.EncryptData(plain.data() + 32, pieces.data() + 32, 32);
  EXPECT_EQ(pieces, whole);

  aes.ResetIV();
  Bytes again(64);
  aes.EncryptData(plain.data(), again.data(), 64);
  EXPECT_EQ(again, whole);
}

void ExpectError(const std::function<void()>& call, const std::string& text) {
  try {
    call();
    ADD_FAILURE() << "no error, expected \"" << text << '"';
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), text);
  }
}

TEST(Rijndael, RefusesBadKeysModesLengthsAndUseBeforeInit) {
  const Bytes key(32, 1);
  std::uint8_t block[32] = {};
  CRijndael fresh;
  ExpectError([&] { fresh.EncryptData(block, block, 16); },
              "Crypt ERROR: Encryption/Decryption Object not Initialized!");
  ExpectError([&] { fresh.DecryptData(block, block, 16); },
              "Crypt ERROR: Encryption/Decryption Object not Initialized!");
  ExpectError([&] { fresh.InitKey(nullptr, 16, CRijndael::ECB); },
              "Crypt ERROR: No Key DataSpecified!");
  for (int length : {0, 8, 15, 17, 20, 31, 33, 64}) {
    ExpectError([&] { fresh.InitKey(key.data(), length, CRijndael::ECB); }, "Illegal Key Length!");
  }
  ExpectError([&] { fresh.InitKey(key.data(), 16, 3); }, "Crypt ERROR: Illegal Operation Mode!");
  ExpectError([&] { fresh.InitKey(key.data(), 16, -1); }, "Crypt ERROR: Illegal Operation Mode!");

  CRijndael aes;
  aes.InitKey(key.data(), 16, CRijndael::ECB);
  for (std::size_t length : {0u, 1u, 15u, 17u, 31u}) {
    ExpectError([&] { aes.EncryptData(block, block, length); }, "Illegal Block Size!");
    ExpectError([&] { aes.DecryptData(block, block, length); }, "Illegal Block Size!");
  }
  for (std::uint8_t b : block) EXPECT_EQ(b, 0) << "a refused call wrote to the output";
}

TEST(Rijndael, PaddingModes) {
  CRijndael aes;
  const Bytes key(16, 9);
  aes.InitKey(key.data(), 16, CRijndael::ECB);
  const Bytes five = oracle::FromText("hello");
  const Bytes sixteen(16, 'x');

  EXPECT_EQ(aes.Pad(five), Bytes({'h', 'e', 'l', 'l', 'o', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(aes.Pad(sixteen), sixteen);
  aes.SetPaddingMode(CRijndael::BLANKS);
  EXPECT_EQ(aes.Pad(five), oracle::FromText("hello           "));
  EXPECT_EQ(aes.Pad(sixteen), sixteen);

  // Pad-count mode is the usual PKCS#7: libcrypto's padded encryption must match it.
  aes.SetPaddingMode(CRijndael::PKCS7);
  for (const Bytes& plain : {five, sixteen, Bytes()}) {
    Bytes padded = aes.Pad(plain);
    ASSERT_EQ(padded.size() % 16, 0u);
    ASSERT_GT(padded.size(), plain.size());
    aes.EncryptData(padded.data(), padded.data(), padded.size());
    EXPECT_EQ(padded, oracle::Crypt("AES-128-ECB", true, key, Bytes(), plain, true));
  }
}

TEST(Rijndael, FileRoundTripRemovesPadCountPadding) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("korvane-aes-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string plainPath = (dir / "plain").string();
  const std::string cipherPath = (dir / "cipher").string();
  const std::string backPath = (dir / "back").string();
  const std::string content = "a file of thirty-seven bytes, or so!!";
  std::ofstream(plainPath, std::ios::binary) << content;

  CRijndael aes;
  aes.MakeKeyFromPassphrase("passphrase", 32, CRijndael::CBC);
  aes.SetPaddingMode(CRijndael::PKCS7);
  aes.EncryptFile(plainPath, cipherPath);
  EXPECT_EQ(std::filesystem::file_size(cipherPath), 48u);
  aes.ResetIV();
  aes.DecryptFile(cipherPath, backPath);
  std::ifstream back(backPath, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(back), {}), content);

  EXPECT_THROW(aes.EncryptFile((dir / "missing").string(), backPath), std::runtime_error);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace korvane
