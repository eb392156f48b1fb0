// Text from package files and device paths: UTF-8 decoding, code page conversions and
// wildcard matching must take any bytes. Round trips that must hold are checked.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/core/paths.h"
#include "platform/core/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);

    // Valid UTF-8 out of any input, and UTF-16 -> UTF-8 -> UTF-16 is the identity on it.
    std::u16string wide = ce::toUtf16(bytes);
    std::string utf8 = ce::toUtf8(wide);
    if (ce::toUtf16(utf8) != wide) std::abort();

    for (uint32_t codePage : {949u, 1251u, 1252u}) {
        std::string decoded = ce::ansiToUtf8(bytes, codePage);
        (void)ce::utf8ToAnsi(decoded, codePage);
        (void)ce::utf8ToAnsi(bytes, codePage);
    }

    size_t split = size / 2;
    std::string pattern = bytes.substr(0, split), name = bytes.substr(split);
    (void)ce::wildcardMatch(pattern, name);
    if (!ce::wildcardMatch("*", name) || !ce::wildcardMatch(name.find_first_of("*?") == std::string::npos ? name : "*", name))
        std::abort();
    (void)ce::pathEquals(pattern, name);
    return 0;
}
