#pragma once
// Host files that the platform and the tools keep for themselves (the window index, the
// registry, logs, locks, what `hu` writes), read and written so that nobody who can write into
// their folder can turn them against the process.
//
// A file is never created, truncated or written through a symbolic link at its last component,
// and a FIFO or device where a file is expected fails at once (ERROR_CANT_ACCESS_FILE) instead of
// blocking or reading forever. Replacing a file writes a new one beside it and renames it over
// the old, so a link in its place is replaced, never followed, and readers see the old or the
// new bytes whole. Folders above the last component are taken as they are: they are the head
// unit's own, chosen by whoever runs the program.

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/core/error.h"

namespace ce::host {

// The whole content of a regular file; ERROR_FILE_NOT_FOUND when it is missing,
// ERROR_CANT_ACCESS_FILE for a link or anything but a regular file, ERROR_FILE_TOO_LARGE
// when it holds more than maxBytes.
Result<std::string> readFile(const std::filesystem::path& file, size_t maxBytes);

// Replaces (or creates) the file with bytes, atomically; mode applies to the new file.
// With flush the bytes reach the disk before the rename (files that must survive a crash).
Error replaceFile(const std::filesystem::path& file, std::string_view bytes, mode_t mode = 0644, bool flush = false);

// Opens a regular file for writing, created with mode when missing. `flags` adds O_TRUNC,
// O_APPEND or O_EXCL to O_WRONLY. Returns the descriptor (close-on-exec), which the caller
// closes; ERROR_CANT_ACCESS_FILE for a link or anything but a regular file.
Result<int> openForWriting(const std::filesystem::path& file, int flags, mode_t mode = 0644);

// Opens a file whose only use is its lock (flock or OFD locks): created when missing, never
// through a link, read and write.
Result<int> openLockFile(const std::filesystem::path& file, mode_t mode = 0644);

// Creates a folder (one level) with mode; an existing folder (not a link to one) is fine.
Error makeFolder(const std::filesystem::path& folder, mode_t mode);

}  // namespace ce::host
