#include "platform/core/case_fold.h"

#include <locale.h>
#include <wctype.h>

#include "platform/core/utf.h"

namespace ce {

namespace {

// C.UTF-8 gives the full Unicode simple case mapping independently of the process locale.
locale_t unicodeLocale() {
    static const locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return loc;
}

char32_t lower(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    locale_t loc = unicodeLocale();
    if (loc == static_cast<locale_t>(nullptr)) return c;
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), loc));
}

}  // namespace

std::u32string foldCase(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const utf::Decoded c = utf::decodeUtf8(s, i);
        if (c.valid) {
            out += lower(c.value);
        } else {
            // Each byte of an ill-formed sequence keeps its own value, so names stay distinct.
            for (uint32_t k = 0; k < c.length; ++k)
                out += static_cast<char32_t>(0xDC00 + static_cast<uint8_t>(s[i + k]));
        }
        i += c.length;
    }
    return out;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    auto ascii = [](std::string_view s) {
        for (char c : s)
            if (static_cast<unsigned char>(c) >= 0x80) return false;
        return true;
    };
    if (!ascii(a) || !ascii(b)) return foldCase(a) == foldCase(b);
    if (a.size() != b.size()) return false;  // an ASCII byte folds to one code point
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

int compareNoCase(std::string_view a, std::string_view b) {
    std::u32string fa = foldCase(a), fb = foldCase(b);
    if (int c = fa.compare(fb); c != 0) return c < 0 ? -1 : 1;
    if (int c = a.compare(b); c != 0) return c < 0 ? -1 : 1;
    return 0;
}

}  // namespace ce
