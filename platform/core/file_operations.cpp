// Whole-file operations: delete, create and remove folders, attributes.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/core/files.h"
#include "platform/core/host_file.h"
#include "platform/core/paths.h"
#include "platform/core/profile.h"

namespace ce {

namespace fs = std::filesystem;

namespace {

// The host entry behind a device path, which must exist: 3 when a folder above it is
// missing, 2 when it is not there.
Result<detail::HostLookup> existing(std::string_view path) {
    auto lookup = detail::lookUpHostPath(path);
    if (!lookup || lookup->entry) return lookup;
    struct stat st {};
    if (::lstat(lookup->host.c_str(), &st) != 0)
        return fail(errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : errorFromErrno(errno));
    lookup->entry = st;
    return lookup;
}

bool isMountRoot(const fs::path& host) {
    auto profile = Profile::current();
    if (!profile) return false;
    std::error_code ec;
    for (const Mount& m : (*profile)->mounts())
        if (fs::equivalent(m.host, host, ec)) return true;
    return false;
}

}  // namespace

Error deleteFile(std::string_view path) {
    auto found = existing(path);
    if (!found) return found.error();
    const fs::path& host = found->host;
    auto attributes = detail::attributesOf(host, detail::statOf(*found));
    if (attributes && (*attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) return ERROR_ACCESS_DENIED;

    // The guard keeps an exclusive open from slipping in between the check and the unlink.
    int guard = -1;
    if (Error e = detail::holdAgainstExclusiveOpens(host, &guard)) return e;
    Error result = ::unlink(host.c_str()) == 0 ? ERROR_SUCCESS : errorFromErrno(errno);
    if (guard >= 0) ::close(guard);
    return result;
}

Error removeDirectory(std::string_view path) {
    auto found = existing(path);
    if (!found) return found.error();
    const fs::path& host = found->host;
    auto attributes = detail::attributesOf(host, detail::statOf(*found));
    if (!attributes) return attributes.error();
    if (!(*attributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_DIRECTORY;
    if ((*attributes & FILE_ATTRIBUTE_READONLY) || isMountRoot(host)) return ERROR_ACCESS_DENIED;
    if (::rmdir(host.c_str()) == 0) return ERROR_SUCCESS;
    return errno == ENOTEMPTY || errno == EEXIST ? ERROR_DIR_NOT_EMPTY : errorFromErrno(errno);
}

Error createDirectory(std::string_view path) {
    auto host = hostPath(path);
    if (!host) return host.error();
    if (::mkdir(host->c_str(), 0777) == 0) return ERROR_SUCCESS;
    if (errno == EEXIST) return ERROR_ALREADY_EXISTS;
    return errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : errorFromErrno(errno);
}

Result<uint32_t> getFileAttributes(std::string_view path) {
    auto found = existing(path);
    if (!found) return fail(found.error());
    return detail::attributesOf(found->host, detail::statOf(*found));
}

Error setFileAttributes(std::string_view path, uint32_t attributes) {
    auto found = existing(path);
    if (!found) return found.error();
    return detail::storeAttributes(found->host, attributes);
}

}  // namespace ce
