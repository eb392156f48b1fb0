#include "installer/crc/crc_list.h"

namespace installer {

uint32_t CrcDigitValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0');
    if (c >= 'a' && c <= 'z') return static_cast<uint32_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'Z') return static_cast<uint32_t>(c - 'A' + 10);
    return 0;
}

std::optional<CrcListLine> ParseCrcListLine(std::string_view line) {
    // The line sits in a zero-filled buffer of kCrcLineBuffer bytes: the colon is searched in
    // the C string (up to the first zero byte), the digits are read from the buffer itself, and
    // any position past the buffer counts as a zero byte.
    const std::string_view buffer = line.substr(0, kCrcLineBuffer - 1);
    const std::string_view text = buffer.substr(0, buffer.find('\0'));
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;

    CrcListLine parsed;
    parsed.relativePath = std::string(text.substr(0, colon));
    for (size_t i = colon + 1; i <= colon + 8; ++i) {
        const char c = i < buffer.size() ? buffer[i] : '\0';
        parsed.expected = (parsed.expected << 4) | CrcDigitValue(c);
    }
    return parsed;
}

}  // namespace installer
