#pragma once
// Reading a version string from the package: the first line of an 8-bit text file in the
// head unit's ANSI code page, at most 259 bytes of it. The line end, when it lies within
// those bytes, stays part of the string: a file holding "1.0\r\n" never equals "1.0".

#include <cstdint>
#include <string>
#include <string_view>

namespace updater {

inline constexpr size_t kVersionBufferChars = 260;  // 259 characters and the terminator

// The version string of a first line as read from the file. Conversion stops at an embedded
// NUL, which ends the string as it ends a C string.
std::u16string VersionFromLine(std::string_view lineBytes, uint32_t codePage);

// The version string of a package file; empty when the file cannot be opened or is empty.
std::u16string ReadVersionFile(std::string_view devicePath);

// An installed version from the registry value of that name under
// HKEY_LOCAL_MACHINE "SOFTWARE\ORV\SYSTEM\VERSION". False when the key cannot be opened or the
// value cannot be read (missing, or more than 260 bytes); the string is then empty.
bool ReadInstalledVersion(std::string_view valueName, std::u16string& version);

}  // namespace updater
