#include "platform/gfx/utf.h"

namespace ce::gfx {

std::vector<CodePoint> decodeUtf8(std::string_view text) {
    std::vector<CodePoint> out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        int len = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if (c < 0x80) { len = 1; cp = c; }
        else if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; min = 0x80; }
        else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; min = 0x800; }
        else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; min = 0x10000; }
        size_t used = 1;
        bool ok = len > 0 && i + len <= n;
        for (int k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) { ok = false; break; }
            cp = (cp << 6) | (s[i + k] & 0x3F);
            used = k + 1;
        }
        if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
        if (ok) {
            out.push_back({cp, static_cast<uint32_t>(i), static_cast<uint32_t>(len)});
            i += len;
        } else {
            // Consume the lead byte and the continuation bytes that followed it.
            out.push_back({U'\uFFFD', static_cast<uint32_t>(i), static_cast<uint32_t>(used)});
            i += used;
        }
    }
    return out;
}

std::vector<CodePoint> decodeUtf16(std::u16string_view text) {
    std::vector<CodePoint> out;
    out.reserve(text.size());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            const char32_t cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            out.push_back({cp, static_cast<uint32_t>(i), 2});
            i += 2;
        } else {
            const bool lone = c >= 0xD800 && c <= 0xDFFF;
            out.push_back({lone ? U'\uFFFD' : static_cast<char32_t>(c), static_cast<uint32_t>(i), 1});
            ++i;
        }
    }
    return out;
}

}  // namespace ce::gfx
