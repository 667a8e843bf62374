// The text cipher, the payload cipher and the hex/MD5 helpers, checked against a reference
// built from libcrypto and against the layout other programs depend on.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>

#include "OpenSslOracle.h"
#include "scores/TextCipher.h"

using oracle::Bytes;

namespace korvane {
namespace {

// The text cipher rebuilt on libcrypto: key and IV are the first 8 characters of the lower-case
// MD5 hex digest of the 8 salt digits.
std::string ReferenceEncrypt(const std::string& plain, const std::string& salt) {
  const std::string keyText = oracle::Md5Hex(oracle::FromText(salt)).substr(0, 8);
  Bytes data = oracle::FromText(plain);
  data.resize((data.size() + 7) / 8 * 8, 0);
  const Bytes key = oracle::FromText(keyText);
  return oracle::ToHex(oracle::FromText(salt)) +
         oracle::ToHex(oracle::Crypt("DES-CBC", true, key, key, data));
}

std::string ReferenceDecrypt(const std::string& text) {
  std::string salt;
  for (int i = 0; i < 8; ++i) salt.push_back(static_cast<char>(text[2 * i + 1]));
  const Bytes key = oracle::FromText(oracle::Md5Hex(oracle::FromText(salt)).substr(0, 8));
  const Bytes plain = oracle::Crypt("DES-CBC", false, key, key, oracle::FromHex(text.substr(16)));
  const std::string all(plain.begin(), plain.end());
  return all.substr(0, all.find('\0'));
}

std::string RandomText(std::mt19937& rng, std::size_t length) {
  std::string text(length, ' ');
  for (char& c : text) c = static_cast<char>(1 + rng() % 255);  // any byte but the terminator
  return text;
}

class TextCipher : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!oracle::LegacyProviderLoaded())
      GTEST_SKIP() << "libcrypto's legacy provider (DES) is not available";
  }
};

TEST_F(TextCipher, StoredScoreTextHasSaltDigitsAndOneBlockPair) {
  const std::string plain = "CpuScoreEnc:523";
  ASSERT_EQ(plain.size(), 15u);
  const std::string cipher = EncryptText(plain);
  ASSERT_EQ(cipher.size(), 16u + 32u) << cipher;
  EXPECT_TRUE(std::regex_match(cipher, std::regex("(3[0-9]){8}[0-9A-F]{32}"))) << cipher;
  EXPECT_EQ(DecryptText(cipher), plain);
  EXPECT_EQ(ReferenceDecrypt(cipher), plain);
}

TEST_F(TextCipher, KnownSeedGivesTheRuntimeSequenceSalts) {
  // The C runtime's sequence for seed 1 starts 41, 18467, 6334, 26500, 19169, 15724.
  SeedSaltGenerator(1);
  EXPECT_EQ(NextSaltRandom(), 41);
  EXPECT_EQ(NextSaltRandom(), 18467);
  EXPECT_EQ(NextSaltRandom(), 6334);
  EXPECT_EQ(SaltNumber(41, 18467, 6334), 87372734u);
  EXPECT_EQ(SaltNumber(0x7FFF, 0x7FFF, 0x7FFF), 94967295u);  // every bit set: 0xFFFFFFFF mod 10^8
  EXPECT_EQ(SaltNumber(0, 0, 0), 0u);

  SeedSaltGenerator(1);
  const std::string first = EncryptText("MemScoreEnc:611");
  const std::string second = EncryptText("MemScoreEnc:611");
  EXPECT_EQ(first, ReferenceEncrypt("MemScoreEnc:611", "87372734"));
  EXPECT_EQ(second, ReferenceEncrypt("MemScoreEnc:611", "82757740"));
}

TEST_F(TextCipher, SaltGeneratorsArePerThread) {
  SeedSaltGenerator(1);
  int other = -1;
  std::thread([&] {
    SeedSaltGenerator(1);
    other = NextSaltRandom();
    (void)NextSaltRandom();  // draws here must not move the main thread's sequence
  }).join();
  EXPECT_EQ(other, 41);
  EXPECT_EQ(NextSaltRandom(), 41);

  // Unseeded threads seed themselves and still produce valid salts that differ between calls.
  std::string a, b;
  std::thread([&] {
    a = EncryptText("x");
    b = EncryptText("x");
  }).join();
  EXPECT_NE(a, b);
  EXPECT_EQ(DecryptText(a), "x");
}

TEST_F(TextCipher, RoundTripsAndIndependentDecryptionOfRandomTexts) {
  std::mt19937 rng(2024);
  std::set<std::string> ciphertexts;
  std::size_t encrypted = 0;
  for (int round = 0; round < 3000; ++round) {
    const std::string plain =
        RandomText(rng, round <= 300 ? static_cast<std::size_t>(round) : rng() % 301);
    const std::string cipher = EncryptText(plain);
    if (plain.empty()) {
      EXPECT_EQ(cipher, "");
      continue;
    }
    ASSERT_EQ(cipher.size(), 16 + 16 * ((plain.size() + 7) / 8)) << "length " << plain.size();
    ASSERT_EQ(DecryptText(cipher), plain) << "length " << plain.size();
    ASSERT_EQ(ReferenceDecrypt(cipher), plain) << "length " << plain.size();
    ciphertexts.insert(cipher);
    ++encrypted;
  }
  EXPECT_GT(encrypted, 2900u);
  EXPECT_EQ(ciphertexts.size(), encrypted) << "salts repeat";
}

TEST_F(TextCipher, DecryptsTextsEncryptedElsewhere) {
  std::mt19937 rng(5);
  for (int round = 0; round < 500; ++round) {
    char salt[9];
    std::snprintf(salt, sizeof(salt), "%08u", static_cast<unsigned>(rng() % 100000000u));
    const std::string plain = RandomText(rng, 1 + rng() % 100);
    ASSERT_EQ(DecryptText(ReferenceEncrypt(plain, salt)), plain);
  }
}

TEST_F(TextCipher, SameTextTwiceGivesDifferentCiphertextsThatBothDecrypt) {
  const std::string a = EncryptText("AllScoreEnc:622");
  const std::string b = EncryptText("AllScoreEnc:622");
  EXPECT_NE(a, b);
  EXPECT_EQ(DecryptText(a), "AllScoreEnc:622");
  EXPECT_EQ(DecryptText(b), "AllScoreEnc:622");
}

TEST_F(TextCipher, BlockBoundariesAndTerminators) {
  // A text of whole blocks gets no padding block.
  EXPECT_EQ(EncryptText("12345678").size(), 16u + 16u);
  EXPECT_EQ(EncryptText("123456789").size(), 16u + 32u);
  // The text ends at its first zero byte on both sides.
  EXPECT_EQ(DecryptText(EncryptText(std::string("abc\0def", 7))), "abc");
  EXPECT_EQ(EncryptText(std::string("\0abc", 4)), "");
}

TEST_F(TextCipher, ShortLowerCaseAndSpacedInputs) {
  EXPECT_EQ(DecryptText("CpuScoreEnc:523"), "CpuScoreEnc:523");  // 15 characters: unchanged
  EXPECT_EQ(DecryptText(""), "");
  EXPECT_EQ(DecryptText("  \t 0123456789 \n"), "  \t 0123456789 \n");

  const std::string cipher = EncryptText("MemScoreEnc:611");
  std::string lower = cipher;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(DecryptText(lower), "MemScoreEnc:611");
  EXPECT_EQ(DecryptText(" \r\n" + cipher + "\r\n "), "MemScoreEnc:611");
  // Just a salt: nothing to decrypt.
  EXPECT_EQ(DecryptText(cipher.substr(0, 16)), "");
}

TEST_F(TextCipher, DamagedBodiesDecryptToNothing) {
  const std::string cipher = EncryptText("CpuScoreEnc:523");
  EXPECT_EQ(DecryptText(cipher.substr(0, cipher.size() - 1)), "") << "odd number of digits";
  EXPECT_EQ(DecryptText(cipher.substr(0, cipher.size() - 2)), "") << "part of a block";
  std::string notHex = cipher;
  notHex[20] = 'G';
  EXPECT_EQ(DecryptText(notHex), "");
  std::string embeddedSpace = cipher;
  embeddedSpace[30] = ' ';
  EXPECT_EQ(DecryptText(embeddedSpace), "");
  // A damaged salt pair drops a digit: the key changes and the text comes out different.
  std::string badSalt = cipher;
  badSalt[0] = '4';
  EXPECT_NE(DecryptText(badSalt), "CpuScoreEnc:523");
}

TEST_F(TextCipher, UrlQueryIsReplacedAfterTheFirstQuestionMark) {
  EXPECT_EQ(EncryptUrlQueryW("http://127.0.0.1:8086/search.php?"),
            "http://127.0.0.1:8086/search.php?");
  EXPECT_EQ(EncryptUrlQueryW("http://127.0.0.1:8086/search.php"),
            "http://127.0.0.1:8086/search.php");
  EXPECT_EQ(EncryptUrlQueryW(""), "");

  const std::string url = EncryptUrlQueryW("http://h/s.php?ven=10DE&dev=2484?x");
  const std::string prefix = "http://h/s.php?";
  ASSERT_EQ(url.compare(0, prefix.size(), prefix), 0) << url;
  EXPECT_EQ(DecryptTextW(url.substr(prefix.size())), "ven=10DE&dev=2484?x");

  const std::u16string wide = EncryptUrlQueryW(std::u16string(u"http://h/s.php?q=声卡"));
  EXPECT_EQ(DecryptTextW(wide.substr(15)), u"q=声卡");
}

TEST_F(TextCipher, WideFormsCarryNonAsciiText) {
  const std::u16string text = u"显卡 GeForce RTX 3060 Ti";
  EXPECT_EQ(DecryptTextW(EncryptTextW(text)), text);
  EXPECT_EQ(DecryptTextW(EncryptTextW(std::string("内存:611"))), "内存:611");
}

TEST(TextHelpers, HexAndDigestOfTheNarrowBytes) {
  EXPECT_EQ(HexEncodeText("Az09 ~"), "417A3039207E");
  EXPECT_EQ(HexEncodeText(""), "");
  EXPECT_EQ(HexEncodeText(u"Az"), u"417A");
  EXPECT_EQ(Md5HexText("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5HexText(u""), u"d41d8cd98f00b204e9800998ecf8427e");
}

// ---- payload cipher ---------------------------------------------------------------------------

// The service side, on libcrypto: the key is derived independently from the documented constant
// and the seed's first eight characters.
std::string ServiceKey(const std::string& seedStart) {
  return oracle::Md5Hex(oracle::FromText("Tvx2R8nk" + seedStart)).substr(16);
}

TEST(Payload, ServiceDecryptsWithTheSharedConstant) {
  std::mt19937 rng(16);
  for (int round = 0; round < 1000; ++round) {
    std::string seed;
    for (std::size_t i = 0, n = rng() % 20; i < n; ++i)
      seed.push_back(static_cast<char>('0' + rng() % 75));
    std::string text;
    for (std::size_t i = 0, n = 1 + rng() % 300; i < n; ++i)
      text.push_back(static_cast<char>(' ' + rng() % 95));

    const std::string payload = EncryptPayload(text, seed);
    ASSERT_EQ(PayloadKeyForSeed(seed), ServiceKey(seed.substr(0, 8)));
    ASSERT_EQ(payload.size(), 32 * ((text.size() + 15) / 16));
    ASSERT_TRUE(std::regex_match(payload, std::regex("[0-9a-f]+")));
    const Bytes key = oracle::FromText(ServiceKey(seed.substr(0, 8)));
    const Bytes plain = oracle::Crypt("AES-128-ECB", false, key, Bytes(), oracle::FromHex(payload));
    std::string decrypted(plain.begin(), plain.end());
    ASSERT_EQ(decrypted.substr(0, text.size()), text);
    ASSERT_EQ(decrypted.find_first_not_of('\0', text.size()), std::string::npos)
        << "padding is not zeros";
  }
}

TEST(Payload, SeedCountsOnlyItsFirstEightCharacters) {
  EXPECT_EQ(EncryptPayload("score=622", "12345678"),
            EncryptPayload("score=622", "12345678-and-more"));
  EXPECT_NE(EncryptPayload("score=622", "12345678"), EncryptPayload("score=622", "12345679"));
  // Characters, not bytes: eight CJK characters are the seed's first eight.
  EXPECT_EQ(PayloadKeyForSeed("一二三四五六七八九"), ServiceKey("一二三四五六七八"));
  const std::string narrow = EncryptPayload("score=622", "abc");
  EXPECT_EQ(EncryptPayload(std::u16string(u"score=622"), std::u16string(u"abc")),
            std::u16string(narrow.begin(), narrow.end()));
}

TEST(Payload, EmptyTextGivesEmptyPayload) { EXPECT_EQ(EncryptPayload("", "seed"), ""); }

}  // namespace
}  // namespace korvane
