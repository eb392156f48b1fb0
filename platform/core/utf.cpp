#include "platform/core/utf.h"

namespace ce::utf {

namespace {

bool isSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
bool isScalarValue(char32_t c) { return c <= 0x10FFFF && !isSurrogate(c); }

}  // namespace

Decoded decodeUtf8(std::string_view text, size_t pos) {
    const auto byteAt = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byteAt(pos);
    if (lead < 0x80) return {lead, 1, true};

    // How many continuation bytes the lead byte asks for, and the range its first one must
    // lie in: that range is what excludes overlong forms, surrogates and values past U+10FFFF.
    int continuations = 0;
    char32_t value = 0;
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuations = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuations = 2;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuations = 3;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return {kReplacement, 1, false};  // a continuation byte or a byte that never leads
    }

    uint32_t used = 1;
    for (int k = 0; k < continuations; ++k) {
        if (pos + used >= text.size()) return {kReplacement, used, false};
        const uint8_t next = byteAt(pos + used);
        if (next < low || next > high) return {kReplacement, used, false};
        value = (value << 6) | (next & 0x3F);
        ++used;
        low = 0x80;
        high = 0xBF;
    }
    return {value, used, true};
}

Decoded decodeUtf16(std::u16string_view text, size_t pos) {
    const char16_t unit = text[pos];
    if (unit >= 0xD800 && unit <= 0xDBFF && pos + 1 < text.size() && text[pos + 1] >= 0xDC00 &&
        text[pos + 1] <= 0xDFFF) {
        return {0x10000 + ((char32_t{unit} - 0xD800) << 10) + (char32_t{text[pos + 1]} - 0xDC00), 2, true};
    }
    if (isSurrogate(unit)) return {kReplacement, 1, false};
    return {unit, 1, true};
}

void appendUtf8(std::string& out, char32_t c) {
    if (!isScalarValue(c)) c = kReplacement;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void appendUtf16(std::u16string& out, char32_t c) {
    if (!isScalarValue(c)) c = kReplacement;
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

}  // namespace ce::utf
