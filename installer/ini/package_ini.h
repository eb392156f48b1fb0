#pragma once
// The installer's work list: up to five source/destination pairs read from "ZEK_Update.ini".
//
// Section "Source" holds src1 … src5 (folders under the installer's own folder), section
// "Destination" holds dst1 … dst5 (absolute folders on the device). Pair N is used only when
// both of its keys are present and both values are usable: a value that is empty or longer
// than 254 bytes, or a source or destination made of backslashes alone, makes its pair unused
// (a source loses its trailing backslashes), because
// such a destination would aim the delete walk at the root of the device and a truncated one
// could aim it at a parent folder.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace installer {

// Longest source or destination value, in bytes (the device's field holds 254 plus the terminator).
inline constexpr size_t kMaxEntryValue = 254;

struct InstallEntry {
    int32_t used = 0;
    std::string source;       // ANSI bytes as written in the file
    std::string destination;  // ANSI bytes as written in the file
};

inline constexpr int kInstallEntryCount = 5;
using InstallEntries = std::array<InstallEntry, kInstallEntryCount>;

// A source value ends in no backslash: "ZEK\\" names the folder "ZEK", whose checksum list
// is "ZEK.crc" (not "ZEK\\.crc", which does not exist and would check nothing).
std::string WithoutTrailingSeparators(std::string_view value);

// The pairs an installation works on; none (an INI that is empty, garbage, in another encoding
// or without its sections) is a failed installation, never an empty successful one.
int UsedPairCount(const InstallEntries& entries);

// Reads the file at iniPath (a device path). True when it was read: every record is then
// cleared and refilled. False when it could not be opened: the records stay as they were.
bool ReadPackageIni(InstallEntries& entries, std::string_view iniPath);

}  // namespace installer
