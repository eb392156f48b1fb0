#pragma once
// Walks over a folder tree: listing one folder, counting its files and summing their sizes.

#include <optional>
#include <string_view>
#include <vector>

#include "platform/core/files.h"

namespace installer {

// The entries of a folder, or nothing when its search cannot start (the folder is missing or
// is not a folder). An existing empty folder gives an empty list. Walks that need no more
// than names, sizes and the folder bit ask for ce::FindDetail::NamesAndSizes.
std::optional<std::vector<ce::FindData>> ListFolder(std::string_view folder,
                                                    ce::FindDetail detail = ce::FindDetail::Full);

// The same for a folder held open.
std::optional<std::vector<ce::FindData>> ListFolder(const ce::Folder& folder, ce::FindDetail detail);

inline bool IsFolder(const ce::FindData& entry) { return (entry.attributes & ce::FILE_ATTRIBUTE_DIRECTORY) != 0; }

// A symbolic link: walks never follow it (it is deleted as itself and never copied).
inline bool IsLink(const ce::FindData& entry) { return (entry.attributes & ce::FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// The file count and byte sum of a tree from one walk, each exactly as CountFiles and
// FolderSize give it. A walk over a source leaves links out (Links::Skipped): the copy skips
// them, so counting them would keep the percentages of the copy and verification below 100.
// A walk over a destination counts them, since the delete removes each one as a file.
struct TreeTotals {
    int32_t files = 0;
    double bytes = 0.0;
};
enum class Links { Counted, Skipped };
TreeTotals TreeTotalsOf(std::string_view folder, Links links = Links::Counted);

// Files in the tree, or -1 when the folder's search cannot start. A subfolder that cannot be
// listed adds its -1 as it is.
int32_t CountFiles(std::string_view folder);

// Sum of the sizes (low 32 bits of each, unsigned) of the files in the tree, or -1.0 when the
// folder's search cannot start. A subfolder that cannot be listed adds its -1.0 as it is.
double FolderSize(std::string_view folder);

}  // namespace installer
