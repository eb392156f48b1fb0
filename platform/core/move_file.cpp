// MoveFileEx for files: one rename(2) on the host, after the device's checks.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/core/files.h"
#include "platform/core/host_file.h"

namespace ce {

namespace {

// Closes the guard descriptors of a move whatever path it leaves by.
struct Guards {
    int source = -1;
    int target = -1;
    ~Guards() {
        if (source >= 0) ::close(source);
        if (target >= 0) ::close(target);
    }
};

}  // namespace

Error moveFileEx(std::string_view existing, std::string_view newName, uint32_t flags) {
    auto from = detail::lookUpHostPath(existing);
    if (!from) return from.error();
    auto to = detail::lookUpHostPath(newName);
    if (!to) return to.error();

    struct stat source {};
    if (::lstat(from->host.c_str(), &source) != 0) return errorFromErrno(errno);
    if (S_ISDIR(source.st_mode)) return ERROR_ACCESS_DENIED;

    Guards guards;
    if (Error e = detail::holdAgainstExclusiveOpens(from->host, &guards.source)) return e;
    struct stat target {};
    if (::lstat(to->host.c_str(), &target) == 0) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) return ERROR_ALREADY_EXISTS;
        if (S_ISDIR(target.st_mode)) return ERROR_ACCESS_DENIED;
        if (!S_ISLNK(target.st_mode)) {
            auto attributes = detail::attributesOf(to->host, &target);
            if (attributes && (*attributes & FILE_ATTRIBUTE_READONLY)) return ERROR_ACCESS_DENIED;
            if (Error e = detail::holdAgainstExclusiveOpens(to->host, &guards.target)) return e;
        }
    } else if (errno != ENOENT) {
        return errorFromErrno(errno);
    }
    if (::rename(from->host.c_str(), to->host.c_str()) != 0) return errorFromErrno(errno);
    return ERROR_SUCCESS;
}

}  // namespace ce
