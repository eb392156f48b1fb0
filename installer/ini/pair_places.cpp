#include "installer/ini/pair_places.h"

#include <string>

#include "platform/core/paths.h"
#include "platform/core/text.h"

namespace installer {

const char* UnsafePairBecause(std::string_view source, std::string_view destination, std::string_view installerFolder) {
    const std::string packageFolder(installerFolder);
    const auto package = ce::placeOf(packageFolder);
    const auto from = ce::placeOf(packageFolder + "\\" + ce::ansiToUtf8(source));
    const auto to = ce::placeOf(ce::ansiToUtf8(destination));
    if (!to) return "the destination is not on a volume of the head unit";
    if (to->below.empty()) return "the destination is the root of a volume";
    if (!from) return "the source is not on a volume of the head unit";
    if (ce::placeWithin(*from, *to)) return "the destination holds its source";
    if (package && ce::placeWithin(*package, *to)) return "the destination holds the package folder";
    // Copying a source into itself would never end, and deleting a folder of the package
    // would take files the installation is about to copy or check.
    if (ce::placeWithin(*to, *from)) return "the destination lies inside its source";
    if (package && ce::placeWithin(*to, *package)) return "the destination lies inside the package folder";
    return nullptr;
}

}  // namespace installer
