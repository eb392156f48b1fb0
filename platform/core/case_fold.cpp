#include "platform/core/case_fold.h"

#include <locale.h>
#include <wctype.h>

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
    size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
        char32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
        bool valid = extra >= 0 && i + extra < s.size();
        for (int k = 1; valid && k <= extra; ++k) {
            auto cont = static_cast<unsigned char>(s[i + k]);
            if ((cont & 0xC0) != 0x80) valid = false;
            cp = (cp << 6) | (cont & 0x3F);
        }
        // Overlong forms and surrogates are not valid UTF-8 either.
        static const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (valid && (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) valid = false;
        if (!valid) {
            out += static_cast<char32_t>(0xDC00 + b);
            ++i;
            continue;
        }
        out += lower(cp);
        i += extra + 1;
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
