// The W forms and the payload cipher: the program's text is converted to the narrow character
// set at this boundary, so the ciphers themselves only ever see bytes.
#include <cstdio>
#include <exception>
#include <vector>

#include "platform/Text.h"
#include "scores/Md5.h"
#include "scores/Rijndael.h"
#include "scores/TextCipher.h"

namespace korvane {
namespace {

// The payload key's constant, kept with every character code raised by one so it does not
// appear in the executable as it is used. It is shared with the ranking service.
constexpr char kScrambledPayloadConstant[] = {'U', 'w', 'y', '3', 'S', '9', 'o', 'l', '\0'};

std::string UnscrambledPayloadConstant() {
  std::string constant;
  for (const char* p = kScrambledPayloadConstant; *p != '\0'; ++p) {
    constant.push_back(static_cast<char>(*p - 1));
  }
  return constant;
}

std::string ToAnsi(std::string_view text) { return platform::Utf8ToAnsi(text); }
std::string FromAnsi(std::string_view ansi) { return platform::AnsiToUtf8(ansi); }
std::string ToUtf8(std::u16string_view text) { return platform::Utf16ToUtf8(text); }
std::u16string ToUtf16(std::string_view text) { return platform::Utf8ToUtf16(text); }

}  // namespace

std::string EncryptTextW(std::string_view text) { return FromAnsi(EncryptText(ToAnsi(text))); }
std::string DecryptTextW(std::string_view text) { return FromAnsi(DecryptText(ToAnsi(text))); }
std::u16string EncryptTextW(std::u16string_view text) {
  return ToUtf16(EncryptTextW(ToUtf8(text)));
}
std::u16string DecryptTextW(std::u16string_view text) {
  return ToUtf16(DecryptTextW(ToUtf8(text)));
}

std::string EncryptUrlQueryW(std::string_view url) {
  const auto mark = url.find('?');
  if (mark == std::string_view::npos || mark + 1 == url.size()) return std::string(url);
  return std::string(url.substr(0, mark + 1)) + EncryptTextW(url.substr(mark + 1));
}

std::u16string EncryptUrlQueryW(std::u16string_view url) {
  return ToUtf16(EncryptUrlQueryW(ToUtf8(url)));
}

std::string HexEncodeText(std::string_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const std::string ansi = ToAnsi(text);
  std::string hex;
  hex.reserve(ansi.size() * 2);
  for (unsigned char byte : ansi) {
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0x0F]);
  }
  return hex;
}

std::u16string HexEncodeText(std::u16string_view text) {
  return ToUtf16(HexEncodeText(ToUtf8(text)));
}

std::string Md5HexText(std::string_view text) { return Md5HexLower(ToAnsi(text)); }
std::u16string Md5HexText(std::u16string_view text) { return ToUtf16(Md5HexText(ToUtf8(text))); }

std::string PayloadKeyForSeed(std::string_view seed) {
  // "First 8 characters" counts UTF-16 units, as the service does.
  const std::string joined = UnscrambledPayloadConstant() + platform::TruncateUtf16Units(seed, 8);
  return Md5HexLower(ToAnsi(joined)).substr(16);
}

std::string EncryptPayload(std::string_view text, std::string_view seed) {
  try {
    const std::string key = PayloadKeyForSeed(seed);
    CRijndael aes;
    aes.InitKey(reinterpret_cast<const std::uint8_t*>(key.data()), 16, CRijndael::ECB);

    const std::string ansi = ToAnsi(text);
    std::vector<std::uint8_t> data(ansi.begin(), ansi.end());
    data.resize((data.size() + 15) / 16 * 16, 0);
    aes.EncryptData(data.data(), data.data(), data.size());

    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(data.size() * 2);
    for (std::uint8_t byte : data) {
      hex.push_back(kDigits[byte >> 4]);
      hex.push_back(kDigits[byte & 0x0F]);
    }
    return hex;
  } catch (const std::exception&) {
    // The engine refuses an empty text ("Illegal Block Size!"); there is nothing to send.
    return {};
  }
}

std::u16string EncryptPayload(std::u16string_view text, std::u16string_view seed) {
  return ToUtf16(EncryptPayload(ToUtf8(text), ToUtf8(seed)));
}

}  // namespace korvane
