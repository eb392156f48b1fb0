#pragma once
// Deleting an installed tree before the new copy, with progress.

#include <string_view>

#include "installer/engine/install_run.h"

namespace installer {

// Deletes the files and folders of a tree, read-only ones included (their attribute is cleared
// first). Each deleted file moves the status line ("Delete : name(percent%)") and the progress
// bar (by file count). A file or folder that cannot be deleted is reported on the debug output
// and the walk goes on; a folder that still holds something stays. While the run flag is clear
// the walk stops before its next entry and leaves its folder in place.
void DeleteTree(InstallRun& run, std::string_view folder);

}  // namespace installer
