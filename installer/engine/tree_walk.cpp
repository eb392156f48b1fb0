#include "installer/engine/tree_walk.h"

#include "installer/engine/install_paths.h"

namespace installer {

std::optional<std::vector<ce::FindData>> ListFolder(std::string_view folder) {
    auto found = ce::findFiles(JoinPath(folder, "*"));
    if (found) return std::move(found).value();
    // The device's search of "folder\*" always starts in an existing folder (it sees "." and
    // ".."); here an existing empty folder reports "nothing matches" instead.
    if (found.error() == ce::ERROR_FILE_NOT_FOUND) return std::vector<ce::FindData>{};
    return std::nullopt;
}

int32_t CountFiles(std::string_view folder) {
    const auto entries = ListFolder(folder);
    if (!entries) return -1;
    int32_t count = 0;
    for (const auto& entry : *entries) count += IsFolder(entry) ? CountFiles(JoinPath(folder, entry.name)) : 1;
    return count;
}

double FolderSize(std::string_view folder) {
    const auto entries = ListFolder(folder);
    if (!entries) return -1.0;
    double size = 0.0;
    for (const auto& entry : *entries) {
        size += IsFolder(entry) ? FolderSize(JoinPath(folder, entry.name))
                                : static_cast<double>(static_cast<uint32_t>(entry.size));
    }
    return size;
}

}  // namespace installer
