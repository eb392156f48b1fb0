#pragma once
// The search of the package's OPTION folder for the boot logo (name ending in "LGO") and the
// option file (name ending in "ORV"). The first match in directory order wins.

#include <string>
#include <string_view>

namespace updater {

// True when the name, turned to upper case, ends in the suffix (given in upper case). A name
// shorter than the suffix never matches.
bool NameEndsWithSuffix(std::string_view name, std::string_view upperSuffix);

// Full path "folder\name" of the first file matching "folder\*.suffix" whose name ends in the
// suffix without regard to case; folders are skipped. Empty when nothing matches.
std::string FindOptionFile(std::string_view folder, std::string_view upperSuffix);

}  // namespace updater
