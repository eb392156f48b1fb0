#include "platform/core/host_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#include "platform/core/files.h"
#include "platform/core/folder_names.h"

namespace ce::detail {

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

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

// Opens an entry of a folder to read or write its attributes or to lock it: never through a
// link, never waiting on a FIFO, never becoming a controlling terminal.
int openEntry(int folder, const char* name) {
    return ::openat(folder, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
}

// getxattrat(2), which reads an entry's attribute relative to an open folder without following
// a link (Linux 6.13). The headers of older hosts do not name it; its number is the same on
// every architecture.
#ifndef SYS_getxattrat
#define SYS_getxattrat 464
#endif
struct XattrArgs {
    uint64_t value;
    uint32_t size;
    uint32_t flags;
};

ssize_t getAttributeAt(int folder, const char* name, unsigned char (&bytes)[4]) {
    static std::atomic<bool> missing{false};  // the host has no getxattrat: open the entry instead
    if (!missing) {
        XattrArgs args{reinterpret_cast<uintptr_t>(bytes), sizeof bytes, 0};
        const long n = ::syscall(SYS_getxattrat, folder, name, AT_SYMLINK_NOFOLLOW, kAttributeXattr, &args, sizeof args);
        if (n >= 0 || errno != ENOSYS) return n;
        missing = true;
    }
    UniqueFd fd(openEntry(folder, name));
    if (fd.get() < 0) return -1;
    return ::fgetxattr(fd.get(), kAttributeXattr, bytes, sizeof bytes);
}

// What a failed open of a file means on the device.
Error openError(int err) {
    if (err == EEXIST) return ERROR_FILE_EXISTS;
    if (err == ELOOP || err == ENXIO) return ERROR_CANT_ACCESS_FILE;
    return err == EISDIR ? ERROR_ACCESS_DENIED : errorFromErrno(err);
}

}  // namespace

uint32_t attributesAt(int folder, const char* name, const struct stat& st) {
    // Only folders and regular files carry user attributes; a link's would be its target's.
    uint32_t stored = 0;
    if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) {
        unsigned char bytes[4] = {};
        stored = decodeStored(bytes, getAttributeAt(folder, name, bytes));
    }
    return deviceAttributes(stored, st);
}

Result<HostEntry> describeEntry(const std::filesystem::path& host) {
    struct stat st {};
    if (::lstat(host.c_str(), &st) != 0) return fail(errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : errorFromErrno(errno));
    unsigned char bytes[4] = {};
    const uint32_t stored = S_ISLNK(st.st_mode) ? 0 : decodeStored(bytes, ::lgetxattr(host.c_str(), kAttributeXattr, bytes, sizeof bytes));
    HostEntry entry;
    entry.attributes = deviceAttributes(stored, st);
    entry.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    return entry;
}

uint32_t storedAttributes(int fd) {
    unsigned char bytes[4] = {};
    return decodeStored(bytes, ::fgetxattr(fd, kAttributeXattr, bytes, sizeof bytes));
}

Result<HostEntry> describeEntryAt(int folder, const char* name, bool stored) {
    struct stat st {};
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return fail(errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : errorFromErrno(errno));
    HostEntry entry;
    entry.attributes = stored ? attributesAt(folder, name, st) : deviceAttributes(0, st);
    entry.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    return entry;
}

Error storeAttributesAt(int folder, const char* name, uint32_t attributes) {
    UniqueFd fd(openEntry(folder, name));
    if (fd.get() < 0) return errno == ELOOP ? ERROR_CANT_ACCESS_FILE : errorFromErrno(errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return errorFromErrno(errno);
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return ERROR_CANT_ACCESS_FILE;
    return storeAttributes(fd.get(), attributes);
}

Error storeAttributes(int fd, uint32_t attributes) {
    const EncodedAttributes a = encode(attributes);
    if (a.stored == 0) return removeResult(::fremovexattr(fd, kAttributeXattr));
    return setResult(::fsetxattr(fd, kAttributeXattr, a.bytes, sizeof a.bytes, 0));
}

bool tryLockShared(int fd) { return ::flock(fd, LOCK_SH | LOCK_NB) == 0; }

bool tryLockExclusive(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; }

Error holdAgainstExclusiveOpens(int folder, const char* name, UniqueFd* guard, bool* readOnly) {
    guard->reset();
    if (readOnly) *readOnly = false;
    UniqueFd fd(openEntry(folder, name));
    if (fd.get() < 0) return ERROR_SUCCESS;  // nobody can hold what cannot be opened (a link included)
    // Whatever was opened is held: only a regular file can be held exclusively by File::open,
    // and a folder or special file carries no read-only attribute.
    if (readOnly) {
        unsigned char bytes[4] = {};
        *readOnly = decodeStored(bytes, ::fgetxattr(fd.get(), kAttributeXattr, bytes, sizeof bytes)) & FILE_ATTRIBUTE_READONLY;
    }
    if (!tryLockShared(fd.get())) return ERROR_SHARING_VIOLATION;
    *guard = std::move(fd);
    return ERROR_SUCCESS;
}

Result<int> openPinnedFile(const PinnedEntry& pinned, uint32_t access, uint32_t share, uint32_t disposition,
                           OpenedFile* found) {
    const bool exists = pinned.entry.has_value();
    if (exists) {
        const struct stat& st = *pinned.entry;
        if (S_ISDIR(st.st_mode)) return fail(ERROR_ACCESS_DENIED);
        if (disposition == CREATE_NEW) return fail(ERROR_FILE_EXISTS);
        if (!S_ISREG(st.st_mode)) return fail(ERROR_CANT_ACCESS_FILE);  // a link, FIFO, socket or device
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
    // A file that was missing is created exclusively, so that a fresh file is known to carry
    // no attribute; one that appeared meanwhile is opened as found.
    bool created = false;
    UniqueFd fd;
    if (!exists && (flags & O_CREAT)) {
        fd.reset(::openat(pinned.folder, pinned.name.c_str(), flags | O_EXCL, 0666));
        created = fd.get() >= 0;
        if (created) noteCreated(pinned.folder, pinned.name);
        if (!created && (errno != EEXIST || disposition == CREATE_NEW)) return fail(openError(errno));
    }
    if (!created) fd.reset(::openat(pinned.folder, pinned.name.c_str(), flags, 0666));
    if (fd.get() < 0) return fail(openError(errno));
    struct stat opened {};
    if (::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) return fail(ERROR_CANT_ACCESS_FILE);
    // O_NONBLOCK stays: it changes nothing for a regular file.

    const bool writes = write || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    if (writes && !created) {
        unsigned char bytes[4] = {};
        if (decodeStored(bytes, ::fgetxattr(fd.get(), kAttributeXattr, bytes, sizeof bytes)) & FILE_ATTRIBUTE_READONLY)
            return fail(ERROR_ACCESS_DENIED);
    }

    bool locked = share == 0 ? tryLockExclusive(fd.get()) : tryLockShared(fd.get());
    if (!locked) return fail(ERROR_SHARING_VIOLATION);
    if (!created && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) && ::ftruncate(fd.get(), 0) != 0)
        return fail(errorFromErrno(errno));
    if (found) *found = OpenedFile{opened, created};
    return fd.release();
}

}  // namespace ce::detail
