#pragma once
// The INI text format: how one line of the file changes the table, and the loader.
//
// The file is read like the device's C library reads text: line by line into a 1024-byte
// buffer, so a longer line comes back as several lines, each handled on its own. A line is a
// comment (";" or "#" after leading blanks), a section header ("[name" with or without the
// closing bracket) or a key line in one of three forms tried in order:
//     name = "value"      ";" and "#" allowed inside, closing quote optional
//     name = 'value'      the same with single quotes
//     name = value        the value ends at ";" or "#" (a trailing comment)
// Anything else is skipped without a word.

#include <memory>
#include <string>
#include <string_view>

#include "installer/ini/ini_table.h"

namespace installer {

// Size of the line buffer: a line yields at most 1023 bytes.
inline constexpr size_t kIniLineBuffer = 1024;

// Applies the format rules to one line as the reader returned it (line break included).
// section is the current section (folded); a header line replaces it.
void IniReadLine(IniTable& table, std::string& section, std::string_view line);

// Reads the file at a device path into a new table; null when it cannot be opened.
std::unique_ptr<IniTable> IniLoad(std::string_view path);

}  // namespace installer
