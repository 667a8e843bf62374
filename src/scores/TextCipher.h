#pragma once
// The text cipher (random 8-digit salt, MD5-derived DES key, DES-CBC, upper-case hex) that
// protects the stored scores and the query part of some request addresses; the payload cipher
// (AES-128 ECB, lower-case hex) of the score submission; and the small hex/MD5 text helpers.
//
// The plain "ANSI" forms work on bytes in the system's narrow character set. The W forms take
// and return the program's own text (UTF-8, or UTF-16 through the u16 overloads) and convert
// to and from the narrow set around the call. Nothing here throws.
#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

// A text ends at its first zero byte, as it does for every caller of these functions.
std::string EncryptText(std::string_view ansiText);
// Damaged input (a body that is not whole hex byte pairs of whole 8-byte blocks) gives "".
// Input shorter than 16 characters after trimming is returned unchanged.
std::string DecryptText(std::string_view ansiText);

std::string EncryptTextW(std::string_view text);
std::string DecryptTextW(std::string_view text);
std::u16string EncryptTextW(std::u16string_view text);
std::u16string DecryptTextW(std::u16string_view text);

// Everything after the first "?" is replaced by its EncryptText; no "?" or nothing after it
// leaves the address unchanged.
std::string EncryptUrlQueryW(std::string_view url);
std::u16string EncryptUrlQueryW(std::u16string_view url);

// The narrow bytes of the text, each as two upper-case hex digits.
std::string HexEncodeText(std::string_view text);
std::u16string HexEncodeText(std::u16string_view text);

// Lower-case MD5 hex digest (32 characters) of the text's narrow bytes.
std::string Md5HexText(std::string_view text);
std::u16string Md5HexText(std::u16string_view text);

// AES-128-ECB of the zero-padded narrow bytes under a key derived from the built-in constant
// and the first 8 characters of the seed; lower-case hex. An empty text gives "".
std::string EncryptPayload(std::string_view text, std::string_view seed);
std::u16string EncryptPayload(std::u16string_view text, std::u16string_view seed);

// The 16-character payload key for a seed (exposed so the receiving side can be checked).
std::string PayloadKeyForSeed(std::string_view seed);

// ---- salt generator --------------------------------------------------------------------
// Each thread has its own generator with the C runtime's 15-bit sequence, seeded with the
// time the first time the thread draws from it. Tests seed it to get known salts.
void SeedSaltGenerator(std::uint32_t seed);
int NextSaltRandom();
// ((r1 << 12) & 0xFFFFFF) | (r3 & 0xFFF) | (r2 << 24), modulo 100 000 000.
std::uint32_t SaltNumber(int r1, int r2, int r3);
// Encrypts with a given 8-digit salt text (the normal form draws one).
std::string EncryptTextWithSalt(std::string_view ansiText, std::string_view saltDigits);

}  // namespace korvane
