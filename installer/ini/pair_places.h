#pragma once
// Where a pair's folders lie, checked before the pair is used: the delete phase empties the
// destination before anything is copied into it, so a destination that is a volume's root, or
// that holds the pair's own source or the package, would wipe what the installation needs; one
// inside the source or the package would wipe part of the package (and a source copied into
// itself recurses).

#include <string_view>

namespace installer {

// Why the pair cannot be installed safely ("the destination contains its source"), or nullptr
// when it can. Values are the INI file's ANSI bytes; installerFolder is the device path of the
// package folder (the installer's own folder).
const char* UnsafePairBecause(std::string_view source, std::string_view destination, std::string_view installerFolder);

}  // namespace installer
