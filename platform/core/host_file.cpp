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

// The stored bits from the attribute's bytes as getxattr returned them (n bytes, or -1).
uint32_t decodeStored(const unsigned char (&bytes)[4], ssize_t n) {
    if (n != static_cast<ssize_t>(sizeof bytes)) return 0;
    return (bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24) & kStoredAttributes;
}

uint32_t deviceAttributes(uint32_t stored, const struct stat& st) {
    if (S_ISLNK(st.st_mode)) return FILE_ATTRIBUTE_REPARSE_POINT;
    if (S_ISDIR(st.st_mode)) return stored | FILE_ATTRIBUTE_DIRECTORY;
    return stored != 0 ? stored : static_cast<uint32_t>(FILE_ATTRIBUTE_NORMAL);
}

struct EncodedAttributes {
    uint32_t stored;
    unsigned char bytes[4];
};

EncodedAttributes encode(uint32_t attributes) {
    uint32_t stored = attributes & kStoredAttributes;
    return {stored,
            {static_cast<unsigned char>(stored), static_cast<unsigned char>(stored >> 8),
             static_cast<unsigned char>(stored >> 16), static_cast<unsigned char>(stored >> 24)}};
}

Error removeResult(int result) {
    if (result == 0 || errno == ENODATA || xattrUnsupported(errno)) return ERROR_SUCCESS;
    return errorFromErrno(errno);
}

Error setResult(int result) {
    if (result == 0) return ERROR_SUCCESS;
    return xattrUnsupported(errno) ? ERROR_NOT_SUPPORTED : errorFromErrno(errno);
}

// The stored bits of a host entry; a link has none (reading them would follow it).
uint32_t storedOf(const std::filesystem::path& host, const struct stat& st) {
    if (S_ISLNK(st.st_mode)) return 0;
    unsigned char bytes[4] = {};
    return decodeStored(bytes, ::lgetxattr(host.c_str(), kAttributeXattr, bytes, sizeof bytes));
}

}  // namespace

Result<HostEntry> describeEntry(const std::filesystem::path& host) {
    struct stat st {};
    if (::lstat(host.c_str(), &st) != 0) return fail(errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : errorFromErrno(errno));
    HostEntry entry;
    entry.attributes = deviceAttributes(storedOf(host, st), st);
    entry.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    return entry;
}

Result<uint32_t> attributesOf(const std::filesystem::path& host) {
    auto entry = describeEntry(host);
    if (!entry) return fail(entry.error());
    return entry->attributes;
}

Result<uint32_t> attributesOf(const std::filesystem::path& host, const struct stat* known) {
    if (known == nullptr) return attributesOf(host);
    return deviceAttributes(storedOf(host, *known), *known);
}

Result<HostEntry> describeEntry(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return fail(errorFromErrno(errno));
    unsigned char bytes[4] = {};
    HostEntry entry;
    entry.attributes = deviceAttributes(decodeStored(bytes, ::fgetxattr(fd, kAttributeXattr, bytes, sizeof bytes)), st);
    entry.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    return entry;
}

Result<HostEntry> describeEntryAt(int folderFd, const char* name, const std::filesystem::path* host) {
    struct stat st {};
    if (::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return fail(errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : errorFromErrno(errno));
    const uint32_t stored = host ? storedOf(*host, st) : 0;
    HostEntry entry;
    entry.attributes = deviceAttributes(stored, st);
    entry.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    return entry;
}

Error storeAttributes(const std::filesystem::path& host, uint32_t attributes) {
    const EncodedAttributes a = encode(attributes);
    // Never through a link: the host refuses user attributes on the link itself.
    if (a.stored == 0) return removeResult(::lremovexattr(host.c_str(), kAttributeXattr));
    return setResult(::lsetxattr(host.c_str(), kAttributeXattr, a.bytes, sizeof a.bytes, 0));
}

Error storeAttributes(int fd, uint32_t attributes) {
    const EncodedAttributes a = encode(attributes);
    if (a.stored == 0) return removeResult(::fremovexattr(fd, kAttributeXattr));
    return setResult(::fsetxattr(fd, kAttributeXattr, a.bytes, sizeof a.bytes, 0));
}

bool tryLockShared(int fd) { return ::flock(fd, LOCK_SH | LOCK_NB) == 0; }

bool tryLockExclusive(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; }

Error holdAgainstExclusiveOpens(const std::filesystem::path& host, int* guardFd) {
    *guardFd = -1;
    int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) return ERROR_SUCCESS;  // nobody can hold what cannot be opened (a link included)
    if (!tryLockShared(fd)) {
        ::close(fd);
        return ERROR_SHARING_VIOLATION;
    }
    *guardFd = fd;
    return ERROR_SUCCESS;
}

Result<int> openHostFile(const std::filesystem::path& host, uint32_t access, uint32_t share, uint32_t disposition,
                         const struct stat* known) {
    struct stat st {};
    bool exists = true;
    if (known != nullptr) {
        st = *known;
    } else {
        exists = ::lstat(host.c_str(), &st) == 0;
        if (!exists && errno != ENOENT) return fail(errorFromErrno(errno));
    }
    if (exists) {
        if (S_ISDIR(st.st_mode)) return fail(ERROR_ACCESS_DENIED);
        if (disposition == CREATE_NEW) return fail(ERROR_FILE_EXISTS);
        if (!S_ISREG(st.st_mode)) return fail(ERROR_CANT_ACCESS_FILE);  // a link, FIFO, socket or device
        bool writes = (access & GENERIC_WRITE) || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
        if (writes && (storedOf(host, st) & FILE_ATTRIBUTE_READONLY)) return fail(ERROR_ACCESS_DENIED);
    } else if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
        return fail(ERROR_FILE_NOT_FOUND);
    }

    // Truncation waits until the share lock is ours: a file held exclusively elsewhere must
    // come out of a refused open unchanged. The open never follows a link put in the file's
    // place meanwhile, and does not block on a FIFO: whatever it opened must be a regular file.
    bool read = access & GENERIC_READ, write = access & GENERIC_WRITE;
    int flags = (write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK;
    if (disposition == CREATE_NEW) flags |= O_CREAT | O_EXCL;
    else if (disposition != OPEN_EXISTING && disposition != TRUNCATE_EXISTING) flags |= O_CREAT;
    int fd = ::open(host.c_str(), flags, 0666);
    if (fd < 0) {
        if (errno == EEXIST) return fail(ERROR_FILE_EXISTS);
        if (errno == ELOOP || errno == ENXIO) return fail(ERROR_CANT_ACCESS_FILE);
        return fail(errno == EISDIR ? ERROR_ACCESS_DENIED : errorFromErrno(errno));
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        ::close(fd);
        return fail(ERROR_CANT_ACCESS_FILE);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    bool locked = share == 0 ? tryLockExclusive(fd) : tryLockShared(fd);
    if (!locked) {
        ::close(fd);
        return fail(ERROR_SHARING_VIOLATION);
    }
    if (exists && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) && ::ftruncate(fd, 0) != 0) {
        Error e = errorFromErrno(errno);
        ::close(fd);
        return fail(e);
    }
    return fd;
}

}  // namespace ce::detail
