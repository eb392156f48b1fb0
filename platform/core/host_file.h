#pragma once
// Helpers behind files.h that meet the host: the attributes kept on a host file, the locks
// that carry share modes across handles and processes, and opening a host file with the
// device's rules. Internal to platform/core.

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/core/error.h"

namespace ce::detail {

// A device path resolved to its host path (as hostPath() gives it). When resolution found the
// entry with an lstat of the whole path, `entry` keeps that lstat, so that one operation need
// not look at the same entry again. `volumeRoot` marks the root of a volume (or an admitted
// host file), whose own host path may be a link that is the head unit's to follow.
struct HostLookup {
    std::filesystem::path host;
    std::optional<struct stat> entry;
    bool volumeRoot = false;
};
Result<HostLookup> lookUpHostPath(std::string_view devicePath);

// What a stat of the entry gives, when the lookup's lstat already tells it (the entry is no link).
inline const struct stat* statOf(const HostLookup& lookup) {
    return lookup.entry && !S_ISLNK(lookup.entry->st_mode) ? &*lookup.entry : nullptr;
}

// Name of the extended attribute that holds the device attributes (read-only, hidden,
// system, archive) as a 4-byte little-endian number. A file without it has none of them.
inline constexpr const char* kAttributeXattr = "user.ce.attrib";

// The bits this layer stores; the directory bit always comes from the host.
inline constexpr uint32_t kStoredAttributes = 0x1 | 0x2 | 0x4 | 0x20;

// The device attributes of an existing host entry: stored bits, plus the directory bit, or
// FILE_ATTRIBUTE_NORMAL for a file with none. ERROR_FILE_NOT_FOUND when it does not exist.
Result<uint32_t> attributesOf(const std::filesystem::path& host);

// The same when a stat of the entry is at hand (nullptr: it is made here).
Result<uint32_t> attributesOf(const std::filesystem::path& host, const struct stat* known);

// The attributes and the size (of a regular file; 0 for anything else) of an existing host
// entry, from one stat.
struct HostEntry {
    uint32_t attributes = 0;
    uint64_t size = 0;
};
Result<HostEntry> describeEntry(const std::filesystem::path& host);

// The same for an open host file, without walking its path again.
Result<HostEntry> describeEntry(int fd);

// The same for the entry `name` of an open folder. The stored attributes are read from the
// entry's full host path `host`; without it (nullptr) only the host's own stat is read, which
// gives a folder or FILE_ATTRIBUTE_NORMAL.
Result<HostEntry> describeEntryAt(int folderFd, const char* name, const std::filesystem::path* host);

// Stores the given attributes (only kStoredAttributes are kept). On a host file system without
// user extended attributes, clearing succeeds and storing a bit fails with ERROR_NOT_SUPPORTED.
Error storeAttributes(const std::filesystem::path& host, uint32_t attributes);
Error storeAttributes(int fd, uint32_t attributes);

// Share modes are carried by flock() locks, which belong to the open file description: a
// share-mode-0 handle holds an exclusive lock, any other handle a shared one, so an exclusive
// open conflicts with every other handle in any process and shared opens coexist.
bool tryLockShared(int fd);
bool tryLockExclusive(int fd);

// ERROR_SHARING_VIOLATION while some handle holds the file exclusively, else ERROR_SUCCESS.
// On success *guardFd holds a shared lock that keeps exclusive opens out until it is closed
// (the caller closes it after deleting the file).
Error holdAgainstExclusiveOpens(const std::filesystem::path& host, int* guardFd);

// Opens the host file behind a resolved device path as File::open does (disposition, access,
// share mode, read-only attribute, a folder refused) and returns its descriptor, which the
// caller closes. The disposition must already be valid. `known` is a stat of the file made
// within the same operation, if any; without it the file is looked at here.
Result<int> openHostFile(const std::filesystem::path& host, uint32_t access, uint32_t share, uint32_t disposition,
                         const struct stat* known = nullptr);

}  // namespace ce::detail
