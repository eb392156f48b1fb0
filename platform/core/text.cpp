#include "platform/core/text.h"

#include <iconv.h>

#include <cerrno>
#include <string>

#include "platform/core/profile.h"
#include "platform/core/utf.h"

namespace ce {

namespace {

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
        const utf::Decoded c = utf::decodeUtf8(utf8, i);
        utf::appendUtf16(out, c.value);
        i += c.length;
    }
    return out;
}

std::string toUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size();) {
        const utf::Decoded c = utf::decodeUtf16(utf16, i);
        utf::appendUtf8(out, c.value);
        i += c.length;
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
        utf::appendUtf8(out, utf::kReplacement);
        return size_t{1};
    });
}

std::u16string ansiToUtf16(std::string_view bytes, uint32_t codePage) { return toUtf16(ansiToUtf8(bytes, codePage)); }

std::string utf8ToAnsi(std::string_view utf8, uint32_t codePage) {
    Converter conv(iconvName(codePage), "UTF-8", "CP1252", "UTF-8");
    if (!conv.ok()) return std::string(utf8);
    return conv.run(utf8, [](std::string_view in, size_t pos, std::string& out) {
        out += '?';
        return size_t{utf::decodeUtf8(in, pos).length};
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
