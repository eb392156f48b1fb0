// MoveFileEx for files: one renameat(2) between the two pinned folders, after the device's checks.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/core/files.h"
#include "platform/core/host_file.h"

namespace ce {

Error moveFileEx(std::string_view existing, std::string_view newName, uint32_t flags) {
    auto from = detail::pinExisting(existing);
    if (!from) return from.error();
    auto to = detail::pinEntry(newName);
    if (!to) return to.error();
    if (S_ISDIR(from->entry->st_mode)) return ERROR_ACCESS_DENIED;

    detail::UniqueFd sourceGuard, targetGuard;
    if (Error e = detail::holdAgainstExclusiveOpens(from->folder, from->name.c_str(), &sourceGuard)) return e;
    if (to->entry) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) return ERROR_ALREADY_EXISTS;
        if (S_ISDIR(to->entry->st_mode)) return ERROR_ACCESS_DENIED;
        bool readOnly = false;
        const Error held = detail::holdAgainstExclusiveOpens(to->folder, to->name.c_str(), &targetGuard, &readOnly);
        if (readOnly) return ERROR_ACCESS_DENIED;
        if (held) return held;
    }
    const unsigned noReplace = (flags & MOVEFILE_REPLACE_EXISTING) ? 0 : RENAME_NOREPLACE;
    if (::renameat2(from->folder, from->name.c_str(), to->folder, to->name.c_str(), noReplace) == 0)
        return ERROR_SUCCESS;
    if (errno == EEXIST) return ERROR_ALREADY_EXISTS;
    return errno == EISDIR ? ERROR_ACCESS_DENIED : errorFromErrno(errno);
}

}  // namespace ce
