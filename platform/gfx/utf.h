#pragma once
// Decoding of the strings that text drawing takes into characters, each remembering which code
// units of the original string it came from (so fits and positions can be given back in the
// caller's units). Internal to gfx.

#include <cstdint>
#include <string_view>
#include <vector>

namespace ce::gfx {

struct CodePoint {
    char32_t value;
    uint32_t unit;   // index of its first code unit in the source string
    uint32_t units;  // number of code units it occupies
};

// Ill-formed sequences and lone surrogates become U+FFFD as platform/core/utf.h decodes them;
// every unit of the input belongs to exactly one character.
std::vector<CodePoint> decodeUtf8(std::string_view text);
std::vector<CodePoint> decodeUtf16(std::u16string_view text);

}  // namespace ce::gfx
