#pragma once
// One line of a package checksum list ("<name>.crc" beside the source folder <name>).
//
// A checking line is "relative\path:XXXXXXXX": the file's path relative to the pair's
// destination folder, a colon, and the expected CRC-32 as eight hexadecimal digits; whatever
// follows the digits is ignored, and a line without a colon is no checking line. The path is
// taken as it stands (a blank before the colon belongs to the name). Each of the eight
// characters after the colon gives a digit value: '0'-'9' 0-9, letters 10-35 without regard to
// case, anything else 0 (so a short line reads as if padded with zeros).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace installer {

// Size of the line buffer the list is read into: a line yields at most 1023 bytes.
inline constexpr size_t kCrcLineBuffer = 1024;

struct CrcListLine {
    std::string relativePath;  // ANSI bytes before the first colon
    uint32_t expected = 0;
};

// Value of one digit character.
uint32_t CrcDigitValue(char c);

// The checking line in a line as read (line break included), or nothing for a line without
// a colon.
std::optional<CrcListLine> ParseCrcListLine(std::string_view line);

}  // namespace installer
