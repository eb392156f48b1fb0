#pragma once
// Text conversions. Inside the code text is UTF-8 (std::string); std::u16string is used where
// the data itself is UTF-16 (registry strings, wire records, the CRC log, code-unit
// comparisons, character limits). Files that the programs read as 8-bit text are in the head
// unit's ANSI code page (949, 1251 or 1252, from the profile) and are converted with iconv.

#include <cstdint>
#include <string>
#include <string_view>

namespace ce {

// Each ill-formed UTF-8 sequence and each lone surrogate becomes one U+FFFD (platform/core/utf.h).
std::u16string toUtf16(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);

// The head unit's ANSI code page (headunit.json "ansiCodePage", 949 by default).
uint32_t ansiCodePage();

// 8-bit text in a code page to UTF-16 / UTF-8 and back. Bytes the code page cannot map become
// U+FFFD; characters it cannot represent become '?'.
std::u16string ansiToUtf16(std::string_view bytes, uint32_t codePage);
std::string ansiToUtf8(std::string_view bytes, uint32_t codePage);
std::string utf8ToAnsi(std::string_view utf8, uint32_t codePage);
inline std::u16string ansiToUtf16(std::string_view bytes) { return ansiToUtf16(bytes, ansiCodePage()); }
inline std::string ansiToUtf8(std::string_view bytes) { return ansiToUtf8(bytes, ansiCodePage()); }
inline std::string utf8ToAnsi(std::string_view utf8) { return utf8ToAnsi(utf8, ansiCodePage()); }

// Case folding of ASCII letters only, as the device's C library does for 8-bit text.
std::string asciiLower(std::string_view s);
std::string asciiUpper(std::string_view s);

}  // namespace ce
