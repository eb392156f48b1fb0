#include "platform/core/host_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>

#include "platform/core/files.h"

namespace ce::detail {

namespace {

bool xattrUnsupported(int err) { return err == ENOTSUP || err == EOPNOTSUPP; }

}  // namespace

Result<uint32_t> attributesOf(const std::filesystem::path& host) {
    struct stat st {};
    if (::stat(host.c_str(), &st) != 0) return fail(errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : errorFromErrno(errno));

    uint32_t stored = 0;
    unsigned char bytes[4] = {};
    ssize_t n = ::getxattr(host.c_str(), kAttributeXattr, bytes, sizeof bytes);
    if (n == static_cast<ssize_t>(sizeof bytes))
        stored = (bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24) & kStoredAttributes;

    if (S_ISDIR(st.st_mode)) return stored | FILE_ATTRIBUTE_DIRECTORY;
    return stored != 0 ? stored : static_cast<uint32_t>(FILE_ATTRIBUTE_NORMAL);
}

Error storeAttributes(const std::filesystem::path& host, uint32_t attributes) {
    uint32_t stored = attributes & kStoredAttributes;
    if (stored == 0) {
        if (::removexattr(host.c_str(), kAttributeXattr) == 0 || errno == ENODATA || xattrUnsupported(errno))
            return ERROR_SUCCESS;
        return errorFromErrno(errno);
    }
    unsigned char bytes[4] = {static_cast<unsigned char>(stored), static_cast<unsigned char>(stored >> 8),
                              static_cast<unsigned char>(stored >> 16), static_cast<unsigned char>(stored >> 24)};
    if (::setxattr(host.c_str(), kAttributeXattr, bytes, sizeof bytes, 0) == 0) return ERROR_SUCCESS;
    return xattrUnsupported(errno) ? ERROR_NOT_SUPPORTED : errorFromErrno(errno);
}

bool tryLockShared(int fd) { return ::flock(fd, LOCK_SH | LOCK_NB) == 0; }

bool tryLockExclusive(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; }

Error holdAgainstExclusiveOpens(const std::filesystem::path& host, int* guardFd) {
    *guardFd = -1;
    int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return ERROR_SUCCESS;  // nobody can hold what cannot be opened
    if (!tryLockShared(fd)) {
        ::close(fd);
        return ERROR_SHARING_VIOLATION;
    }
    *guardFd = fd;
    return ERROR_SUCCESS;
}

}  // namespace ce::detail
