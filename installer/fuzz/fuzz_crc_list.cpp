// Feeds arbitrary bytes to the checksum-list line parser, one line per call as the list reader
// hands them over (at most 1023 bytes, line break included).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "installer/crc/crc_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = pos;
        while (end < text.size() && end - pos < installer::kCrcLineBuffer - 1 && text[end] != '\n') ++end;
        if (end < text.size() && text[end] == '\n' && end - pos < installer::kCrcLineBuffer - 1) ++end;
        const auto line = installer::ParseCrcListLine(text.substr(pos, end - pos));
        if (line && line->relativePath.find(':') != std::string::npos) __builtin_trap();
        pos = end;
    }
    return 0;
}
