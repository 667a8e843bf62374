#include "platform/Text.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// One step of a strict UTF-8 decoder. Invalid input yields U+FFFD for each maximal
// ill-formed subpart (the Unicode "best practice" that browsers and ICU follow), so the same
// bytes always decode to the same text whatever produced them.
struct Decoded {
  char32_t codePoint;
  std::size_t length;  // bytes consumed, at least 1
};

Decoded DecodeOne(std::string_view text, std::size_t pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) return {lead, 1};

  std::size_t need = 0;
  char32_t cp = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    cp = lead & 0x0F;
    if (lead == 0xE0) lo = 0xA0;  // overlong
    if (lead == 0xED) hi = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    cp = lead & 0x07;
    if (lead == 0xF0) lo = 0x90;  // overlong
    if (lead == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    return {kReplacement, 1};  // stray continuation, C0/C1, F5..FF
  }

  std::size_t used = 1;
  for (std::size_t k = 0; k < need; ++k) {
    const std::size_t i = pos + used;
    if (i >= text.size()) return {kReplacement, used};
    const unsigned char b = byte(i);
    const unsigned char min = k == 0 ? lo : 0x80;
    const unsigned char max = k == 0 ? hi : 0xBF;
    if (b < min || b > max) return {kReplacement, used};
    cp = (cp << 6) | (b & 0x3F);
    ++used;
  }
  return {cp, used};
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Length of the text once an incomplete multi-byte sequence at its end is dropped. Used when
// a longer text was cut at `length` bytes: a lead byte whose sequence would run past the cut
// goes, together with the continuation bytes already copied.
std::size_t CompleteSequencePrefix(const char* text, std::size_t length) {
  std::size_t back = 0;
  while (back < 4 && back < length) {
    const auto b = static_cast<unsigned char>(text[length - 1 - back]);
    if ((b & 0xC0) != 0x80) {
      std::size_t seq = 1;
      if (b >= 0xC2 && b <= 0xDF)
        seq = 2;
      else if (b >= 0xE0 && b <= 0xEF)
        seq = 3;
      else if (b >= 0xF0 && b <= 0xF4)
        seq = 4;
      if (seq > back + 1) return length - 1 - back;
      return length;
    }
    ++back;
  }
  return length;  // only stray continuation bytes: nothing to keep together
}

std::string SanitizeUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Decoded d = DecodeOne(text, i);
    AppendUtf8(out, d.codePoint);  // valid sequences re-encode to the same bytes
    i += d.length;
  }
  return out;
}

}  // namespace

std::string CleanMachineText(std::string_view bytes, bool keepLineBreaks) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const Decoded d = DecodeOne(bytes, i);
    i += d.length;
    const char32_t c = d.codePoint;
    if (c == 0) continue;
    const bool lineBreak = c == '\n' || c == '\r';
    const bool control = (c < 0x20 && c != '\t' && !(keepLineBreaks && lineBreak)) || c == 0x7F ||
                         (c >= 0x80 && c <= 0x9F);
    AppendUtf8(out, control ? kReplacement : c);
  }
  return out;
}

bool IsCleanMachineText(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const Decoded d = DecodeOne(text, i);
    const char32_t c = d.codePoint;
    // A literal U+FFFD decodes to the same code point as invalid bytes; its bytes tell them
    // apart.
    if (c == kReplacement && text.substr(i, d.length) != "\xEF\xBF\xBD") return false;
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F ||
        (c >= 0x80 && c <= 0x9F)) {
      return false;
    }
    i += d.length;
  }
  return true;
}

namespace {

bool IsUtf8Name(const std::string& name) {
  return EqualsIgnoreCase(name, "UTF-8") || EqualsIgnoreCase(name, "UTF8");
}

// Converts with iconv, replacing what cannot be converted. `replacement` goes out for each
// undecodable unit; `skip` tells how many input bytes such a unit spans.
template <typename SkipFn>
std::string ConvertWithIconv(const std::string& from, const std::string& to, std::string_view input,
                             std::string_view replacement, SkipFn skip, bool* ok) {
  *ok = false;
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string out;
  out.reserve(input.size() + 16);
  char* in = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  char buffer[1024];
  while (true) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t rc = inLeft > 0 ? iconv(cd, &in, &inLeft, &outPtr, &outLeft)
                                      : iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (rc != static_cast<std::size_t>(-1)) {
      if (inLeft == 0) {
        // Flush any shift state once; a second call with nothing pending returns at once.
        outPtr = buffer;
        outLeft = sizeof buffer;
        iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        break;
      }
      continue;
    }
    if (errno == E2BIG) continue;
    if (errno == EILSEQ || errno == EINVAL) {
      out.append(replacement);
      const std::size_t n =
          std::min(inLeft, std::max<std::size_t>(1, skip(std::string_view(in, inLeft))));
      in += n;
      inLeft -= n;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);  // reset the state after a bad unit
      if (inLeft == 0) break;
      continue;
    }
    iconv_close(cd);
    return {};
  }
  iconv_close(cd);
  *ok = true;
  return out;
}

// The character set of the user's environment, asked for without touching the process's
// global locale (libraries must not call setlocale behind the program's back).
std::string EnvironmentCodeset() {
  std::string name;
  if (locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0))) {
    if (const char* cs = nl_langinfo_l(CODESET, loc)) name = cs;
    freelocale(loc);
  }
  if (name.empty()) {
    if (const char* cs = nl_langinfo(CODESET)) name = cs;
  }
  // The plain C locale reports 7-bit ASCII. Treating that as the code page would turn every
  // non-English text into '?', so an ASCII environment is read as UTF-8 (its superset).
  if (name.empty() || name == "ANSI_X3.4-1968" || EqualsIgnoreCase(name, "ASCII") ||
      EqualsIgnoreCase(name, "US-ASCII")) {
    name = "UTF-8";
  }
  return name;
}

}  // namespace

std::string Format(const char* format, ...) {
  if (format == nullptr) return {};
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (needed > 0) {
    out.resize(static_cast<std::size_t>(needed));
    std::vsnprintf(out.data(), out.size() + 1, format, args);
  }
  va_end(args);
  return out;
}

std::size_t FormatInto(char* buffer, std::size_t capacity, const char* format, ...) {
  if (buffer == nullptr || capacity == 0) return 0;
  buffer[0] = '\0';
  if (format == nullptr) return 0;
  va_list args;
  va_start(args, format);
  const int needed = std::vsnprintf(buffer, capacity, format, args);
  va_end(args);
  if (needed < 0) {
    buffer[0] = '\0';
    return 0;
  }
  std::size_t written = static_cast<std::size_t>(needed);
  if (written >= capacity) {
    written = CompleteSequencePrefix(buffer, capacity - 1);
    buffer[written] = '\0';
  }
  return written;
}

std::size_t CopyInto(char* buffer, std::size_t capacity, std::string_view text) {
  if (buffer == nullptr || capacity == 0) return 0;
  std::size_t n = text.size();
  if (n >= capacity) {
    n = capacity - 1;
    std::memcpy(buffer, text.data(), n);
    n = CompleteSequencePrefix(buffer, n);
  } else if (n > 0) {
    std::memcpy(buffer, text.data(), n);
  }
  buffer[n] = '\0';
  return n;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Decoded d = DecodeOne(text, i);
    if (d.codePoint >= 0x10000) {
      const char32_t v = d.codePoint - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(d.codePoint));
    }
    i += d.length;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        const char32_t cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) +
                            (static_cast<char32_t>(text[i + 1]) - 0xDC00);
        AppendUtf8(out, cp);
        ++i;
      } else {
        AppendUtf8(out, kReplacement);  // high surrogate without its partner
      }
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      AppendUtf8(out, kReplacement);  // lone low surrogate
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

std::size_t Utf16Length(std::string_view utf8) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const Decoded d = DecodeOne(utf8, i);
    units += d.codePoint >= 0x10000 ? 2 : 1;
    i += d.length;
  }
  return units;
}

std::string TruncateUtf16Units(std::string_view utf8, std::size_t maxUnits) {
  std::size_t units = 0;
  std::size_t i = 0;
  while (i < utf8.size()) {
    const Decoded d = DecodeOne(utf8, i);
    const std::size_t u = d.codePoint >= 0x10000 ? 2 : 1;
    if (units + u > maxUnits) break;
    units += u;
    i += d.length;
  }
  return std::string(utf8.substr(0, i));
}

std::string Trim(std::string_view text) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  std::size_t b = 0, e = text.size();
  while (b < e && isSpace(text[b])) ++b;
  while (e > b && isSpace(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

std::string ToLowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string ToUpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string AnsiCodePageName() {
  // Asked once: the environment's locale does not change while the program runs, and the
  // conversions run for every text that crosses the boundary.
  static const std::string name = EnvironmentCodeset();
  return name;
}

std::string CodePageToUtf8(std::string_view bytes, std::string_view codePage) {
  const std::string cs(codePage);
  if (cs.empty() || IsUtf8Name(cs)) return SanitizeUtf8(bytes);
  bool ok = false;
  std::string out = ConvertWithIconv(
      cs, "UTF-8", bytes, "\xEF\xBF\xBD", [](std::string_view) { return std::size_t{1}; }, &ok);
  if (!ok) return SanitizeUtf8(bytes);  // unknown character set: keep what is readable
  return out;
}

std::string Utf8ToCodePage(std::string_view utf8, std::string_view codePage) {
  const std::string cs(codePage);
  std::string clean = SanitizeUtf8(utf8);
  if (cs.empty() || IsUtf8Name(cs)) return clean;
  bool ok = false;
  std::string out = ConvertWithIconv(
      "UTF-8", cs, clean, "?", [](std::string_view rest) { return DecodeOne(rest, 0).length; },
      &ok);
  if (!ok) return clean;
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) { return CodePageToUtf8(ansi, AnsiCodePageName()); }

std::string Utf8ToAnsi(std::string_view utf8) { return Utf8ToCodePage(utf8, AnsiCodePageName()); }

}  // namespace platform
