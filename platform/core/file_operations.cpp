// Whole-file operations: delete, create and remove folders, attributes. Each acts on its entry
// relative to the open folder that holds it (host_file.h).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/core/files.h"
#include "platform/core/folder_names.h"
#include "platform/core/host_file.h"
#include "platform/core/paths.h"
#include "platform/core/profile.h"

namespace ce {

namespace {

// The root of a mount, wherever its host folder is (one volume's folder may lie in another's).
bool isMountRoot(const struct stat& st) {
    auto profile = Profile::current();
    if (!profile) return false;
    for (const Mount& m : (*profile)->mounts()) {
        struct stat mount {};
        if (::stat(m.host.c_str(), &mount) == 0 && mount.st_dev == st.st_dev && mount.st_ino == st.st_ino) return true;
    }
    return false;
}

}  // namespace

Error deleteFile(std::string_view path) {
    auto found = detail::pinExisting(path);
    if (!found) return found.error();
    return detail::deletePinned(*found);
}

Error detail::deletePinned(const PinnedEntry& found) {
    const int folder = found.folder;
    const char* name = found.name.c_str();
    if (S_ISDIR(found.entry->st_mode)) return ERROR_ACCESS_DENIED;

    // The guard keeps an exclusive open from slipping in between the check and the unlink, and
    // tells the read-only attribute of the very file it holds.
    UniqueFd guard;
    bool readOnly = false;
    const Error held = holdAgainstExclusiveOpens(folder, name, &guard, &readOnly);
    if (readOnly) return ERROR_ACCESS_DENIED;
    if (held) return held;
    if (::unlinkat(folder, name, 0) == 0) return ERROR_SUCCESS;
    return errno == EISDIR ? ERROR_ACCESS_DENIED : errorFromErrno(errno);
}

Error removeDirectory(std::string_view path) {
    auto found = detail::pinExisting(path);
    if (!found) return found.error();
    const int folder = found->folder;
    const char* name = found->name.c_str();
    const uint32_t attributes = detail::attributesAt(folder, name, *found->entry);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_DIRECTORY;
    if ((attributes & FILE_ATTRIBUTE_READONLY) || found->volumeRoot || isMountRoot(*found->entry)) return ERROR_ACCESS_DENIED;
    if (::unlinkat(folder, name, AT_REMOVEDIR) == 0) return ERROR_SUCCESS;
    if (errno == ENOTDIR) return ERROR_DIRECTORY;
    return errno == ENOTEMPTY || errno == EEXIST ? ERROR_DIR_NOT_EMPTY : errorFromErrno(errno);
}

Error createDirectory(std::string_view path) {
    auto pinned = detail::pinEntry(path);
    if (!pinned) return pinned.error();
    if (::mkdirat(pinned->folder, pinned->name.c_str(), 0777) == 0) {
        detail::noteCreated(pinned->folder, pinned->name);
        return ERROR_SUCCESS;
    }
    if (errno == EEXIST) return ERROR_ALREADY_EXISTS;
    return errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : errorFromErrno(errno);
}

Result<uint32_t> getFileAttributes(std::string_view path) {
    auto found = detail::pinExisting(path);
    if (!found) return fail(found.error());
    return detail::attributesAt(found->folder, found->name.c_str(), *found->entry);
}

Error setFileAttributes(std::string_view path, uint32_t attributes) {
    auto found = detail::pinExisting(path);
    if (!found) return found.error();
    return detail::storeAttributesAt(found->folder, found->name.c_str(), attributes);
}

}  // namespace ce
