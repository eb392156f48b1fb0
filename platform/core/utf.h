#pragma once
// The system's one UTF-8 / UTF-16 codec, one character at a time. Every conversion of text
// between the two forms (platform/core/text.h), the decoding for text drawing and the case
// folding of names go through it, so they all agree on what ill-formed input becomes.
//
// Ill-formed input follows the Unicode Standard's recommended practice: each maximal subpart
// of an ill-formed UTF-8 sequence (a lead byte and the continuation bytes that could still
// have completed it) is one replacement character U+FFFD, and so is a lone surrogate in
// UTF-16. A stray byte therefore never swallows the valid text after it, and a sequence cut
// short at the end of the input is one U+FFFD, not one per byte.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ce::utf {

inline constexpr char32_t kReplacement = 0xFFFD;

struct Decoded {
    char32_t value;   // the character, or U+FFFD when the sequence is ill-formed
    uint32_t length;  // code units the character (or the ill-formed subpart) occupies, at least 1
    bool valid;
};

// The character that starts at text[pos]; pos must lie inside the text.
Decoded decodeUtf8(std::string_view text, size_t pos);
Decoded decodeUtf16(std::u16string_view text, size_t pos);

// Appends one character; a value that is not a Unicode scalar value (a surrogate, or above
// U+10FFFF) is appended as U+FFFD.
void appendUtf8(std::string& out, char32_t character);
void appendUtf16(std::u16string& out, char32_t character);

}  // namespace ce::utf
