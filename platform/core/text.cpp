#include "platform/core/text.h"

#include <iconv.h>

#include <cerrno>
#include <string>

#include "platform/core/profile.h"

namespace ce {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 character at s[i]; returns its length (1 for an invalid byte, which
// decodes to U+FFFD).
size_t decodeUtf8(std::string_view s, size_t i, char32_t& cp) {
    auto b = static_cast<unsigned char>(s[i]);
    int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    cp = kReplacement;
    if (extra == 0) cp = b;
    if (extra <= 0 || i + static_cast<size_t>(extra) >= s.size()) return 1;
    char32_t value = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    for (int k = 1; k <= extra; ++k) {
        auto cont = static_cast<unsigned char>(s[i + k]);
        if ((cont & 0xC0) != 0x80) return 1;
        value = (value << 6) | (cont & 0x3F);
    }
    static const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (value < minimum[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 1;
    cp = value;
    return static_cast<size_t>(extra) + 1;
}

std::string iconvName(uint32_t codePage) { return "CP" + std::to_string(codePage); }

// An iconv descriptor for one conversion; an unknown code page falls back to 1252.
class Converter {
public:
    Converter(const std::string& to, const std::string& from, const std::string& fallbackTo,
              const std::string& fallbackFrom) {
        cd_ = iconv_open(to.c_str(), from.c_str());
        if (cd_ == reinterpret_cast<iconv_t>(-1)) cd_ = iconv_open(fallbackTo.c_str(), fallbackFrom.c_str());
    }
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts `in`; at an input sequence it cannot convert it calls onError(in, pos, out),
    // which appends a replacement and returns how many input bytes to skip.
    template <class OnError>
    std::string run(std::string_view in, OnError onError) {
        std::string out;
        char buffer[1024];
        size_t pos = 0;
        while (pos < in.size()) {
            char* src = const_cast<char*>(in.data() + pos);
            size_t srcLeft = in.size() - pos;
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            int err = errno;
            out.append(buffer, static_cast<size_t>(dst - buffer));
            pos = static_cast<size_t>(src - in.data());
            if (rc != static_cast<size_t>(-1) || err == E2BIG) continue;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset the shift state
            pos += onError(in, pos, out);
        }
        return out;
    }

private:
    iconv_t cd_;
};

}  // namespace

std::u16string toUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp;
        i += decodeUtf8(utf8, i, cp);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string toUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = utf16[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        appendUtf8(out, cp);
    }
    return out;
}

uint32_t ansiCodePage() {
    auto profile = Profile::current();
    return profile ? (*profile)->ansiCodePage() : 949;
}

std::string ansiToUtf8(std::string_view bytes, uint32_t codePage) {
    Converter conv("UTF-8", iconvName(codePage), "UTF-8", "CP1252");
    if (!conv.ok()) return toUtf8(toUtf16(bytes));
    return conv.run(bytes, [](std::string_view, size_t, std::string& out) {
        appendUtf8(out, kReplacement);
        return size_t{1};
    });
}

std::u16string ansiToUtf16(std::string_view bytes, uint32_t codePage) { return toUtf16(ansiToUtf8(bytes, codePage)); }

std::string utf8ToAnsi(std::string_view utf8, uint32_t codePage) {
    Converter conv(iconvName(codePage), "UTF-8", "CP1252", "UTF-8");
    if (!conv.ok()) return std::string(utf8);
    return conv.run(utf8, [](std::string_view in, size_t pos, std::string& out) {
        out += '?';
        char32_t cp;
        return decodeUtf8(in, pos, cp);
    });
}

std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

std::string asciiUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
}

}  // namespace ce
