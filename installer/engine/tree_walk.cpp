#include "installer/engine/tree_walk.h"

#include "installer/engine/install_paths.h"

namespace installer {

std::optional<std::vector<ce::FindData>> ListFolder(std::string_view folder, ce::FindDetail detail) {
    auto found = ce::findFiles(JoinPath(folder, "*"), detail);
    if (found) return std::move(found).value();
    // The device's search of "folder\*" always starts in an existing folder (it sees "." and
    // ".."); here an existing empty folder reports "nothing matches" instead.
    if (found.error() == ce::ERROR_FILE_NOT_FOUND) return std::vector<ce::FindData>{};
    return std::nullopt;
}

std::optional<std::vector<ce::FindData>> ListFolder(const ce::Folder& folder, ce::FindDetail detail) {
    auto found = folder.list(detail);
    if (!found) return std::nullopt;
    return std::move(found).value();
}

TreeTotals TreeTotalsOf(std::string_view folder, Links links) {
    const auto entries = ListFolder(folder, ce::FindDetail::NamesAndSizes);
    if (!entries) return {-1, -1.0};
    TreeTotals totals;
    for (const auto& entry : *entries) {
        if (IsFolder(entry)) {
            const TreeTotals sub = TreeTotalsOf(JoinPath(folder, entry.name), links);
            totals.files += sub.files;
            totals.bytes += sub.bytes;
        } else if (!IsLink(entry) || links == Links::Counted) {
            totals.files += 1;
            totals.bytes += static_cast<double>(static_cast<uint32_t>(entry.size));
        }
    }
    return totals;
}

int32_t CountFiles(std::string_view folder) { return TreeTotalsOf(folder).files; }

double FolderSize(std::string_view folder) { return TreeTotalsOf(folder).bytes; }

}  // namespace installer
