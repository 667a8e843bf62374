// libFuzzer target: DecryptText and the stored-score parser on arbitrary bytes. Any input must
// give a result without a crash, a read past a buffer or undefined behaviour; a ciphertext made
// from the result must decrypt back to it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "scores/TextCipher.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string plain = korvane::DecryptText(input);
  if (plain.size() > input.size()) std::abort();  // never more bytes than came in
  // Short texts come back as they were; a decryption ends at its first zero byte.
  if (plain != input && plain.find('\0') != std::string::npos) std::abort();

  if (plain.size() < 300) {
    const std::string again = korvane::EncryptText(plain);
    if (korvane::DecryptText(again) != plain.substr(0, plain.find('\0'))) std::abort();
  }
  return 0;
}
