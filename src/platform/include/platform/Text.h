#pragma once
// Text helpers: the checked printf-style formatter, UTF-8 <-> UTF-16, and the small string
// operations the Windows string classes gave the program.
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// snprintf into a std::string; the compiler checks the format against the arguments.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Bounded form for fixed buffers: writes at most capacity-1 bytes plus the terminator,
// never splitting a UTF-8 sequence; returns the bytes written.
std::size_t FormatInto(char* buffer, std::size_t capacity, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// Copies text into a fixed buffer (cut, never split inside a UTF-8 sequence, terminated).
std::size_t CopyInto(char* buffer, std::size_t capacity, std::string_view text);

// Invalid input is replaced by U+FFFD, never rejected.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
std::size_t Utf16Length(std::string_view utf8);  // UTF-16 code units of a UTF-8 text
// Cut a UTF-8 text so that it holds at most maxUnits UTF-16 units (a pair is never split).
std::string TruncateUtf16Units(std::string_view utf8, std::size_t maxUnits);

// Text read from the machine (sysfs, /proc, os-release, device strings) as the program may show
// and store it: valid UTF-8, each ill-formed byte sequence shown as U+FFFD, NUL bytes dropped
// (fixed-width fields pad with them), other control characters (C0, DEL, C1) shown as U+FFFD
// so they can neither hide text nor drive a terminal. Tabs stay; line breaks ('\n', and '\r')
// stay only when keepLineBreaks, otherwise they become U+FFFD like any other control.
std::string CleanMachineText(std::string_view bytes, bool keepLineBreaks);
// True when the text is valid UTF-8 and holds no control characters other than tab and line
// breaks: what CleanMachineText(text, true) leaves unchanged.
bool IsCleanMachineText(std::string_view text);

std::string Trim(std::string_view text);  // spaces, tabs, CR, LF at both ends
std::string ToLowerAscii(std::string_view text);
std::string ToUpperAscii(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);  // ASCII letters

// The "ANSI code page": the locale's character set name (e.g. "UTF-8") and conversions
// between it and UTF-8 (iconv; identity for UTF-8).
std::string AnsiCodePageName();
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);
// The same for a named character set (an iconv name such as "GBK"). Undecodable bytes become
// U+FFFD, characters the target cannot hold become '?'. An unknown character set leaves the
// text as (cleaned) UTF-8.
std::string CodePageToUtf8(std::string_view bytes, std::string_view codePage);
std::string Utf8ToCodePage(std::string_view utf8, std::string_view codePage);

}  // namespace platform
