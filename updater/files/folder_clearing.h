#pragma once
// Emptying a folder of the NAND volume before new files are copied into it.
//
// Only the files directly in the folder are deleted; sub-folders and hidden files stay. A
// file that refuses deletion (locked, read-only) is tried again at once, but one clearing
// has only five retries in all: once they are spent, every further failing file gets one
// attempt and is skipped. Each failed attempt logs a retry line, each skipped file a skip
// line. A file that vanished meanwhile (error 2) is passed over silently.

#include <string_view>

namespace updater {

inline constexpr int kFolderClearingRetries = 5;

// folder ends in a backslash ("\NAND Flash\SFLASH\").
void ClearFolder(std::string_view folder);

}  // namespace updater
