#include "platform/gfx/utf.h"

#include "platform/core/utf.h"

namespace ce::gfx {

namespace {

template <class Text, class Decode>
std::vector<CodePoint> decodeAll(Text text, Decode decode) {
    std::vector<CodePoint> out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const utf::Decoded c = decode(text, i);
        out.push_back({c.value, static_cast<uint32_t>(i), c.length});
        i += c.length;
    }
    return out;
}

}  // namespace

std::vector<CodePoint> decodeUtf8(std::string_view text) { return decodeAll(text, utf::decodeUtf8); }
std::vector<CodePoint> decodeUtf16(std::u16string_view text) { return decodeAll(text, utf::decodeUtf16); }

}  // namespace ce::gfx
