#include "platform/core/host_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace ce::host {

namespace fs = std::filesystem;

namespace {

// Why an open with O_NOFOLLOW failed: a link at the last component is refused as such.
Error openError(int err) { return err == ELOOP ? ERROR_CANT_ACCESS_FILE : errorFromErrno(err); }

// Keeps fd only when it is a regular file (closing it otherwise).
Result<int> regularOnly(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(ERROR_CANT_ACCESS_FILE);
    }
    return fd;
}

Error writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errorFromErrno(errno) : ERROR_WRITE_FAULT;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return ERROR_SUCCESS;
}

}  // namespace

Result<std::string> readFile(const fs::path& file, size_t maxBytes) {
    // O_NONBLOCK: a FIFO opens at once (and is refused below) instead of waiting for a writer.
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return fail(openError(errno));
    auto regular = regularOnly(fd);
    if (!regular) return fail(regular.error());
    struct stat st {};
    ::fstat(fd, &st);
    if (static_cast<uint64_t>(st.st_size) > maxBytes) {
        ::close(fd);
        return fail(ERROR_FILE_TOO_LARGE);
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            Error e = errorFromErrno(errno);
            ::close(fd);
            return fail(e);
        }
        if (n == 0) break;
        if (bytes.size() + static_cast<size_t>(n) > maxBytes) {  // grew while being read
            ::close(fd);
            return fail(ERROR_FILE_TOO_LARGE);
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return bytes;
}

Error replaceFile(const fs::path& file, std::string_view bytes, mode_t mode, bool flush) {
    static std::atomic<unsigned> counter{0};
    fs::path temp = file;
    temp += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    // Exclusive: a file or link planted under the temporary name is never written through.
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0 && errno == EEXIST && ::unlink(temp.c_str()) == 0)
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) return openError(errno);
    Error error = writeAll(fd, bytes);
    if (error == ERROR_SUCCESS && flush && ::fsync(fd) != 0) error = errorFromErrno(errno);
    ::close(fd);
    if (error == ERROR_SUCCESS && ::rename(temp.c_str(), file.c_str()) != 0) error = errorFromErrno(errno);
    if (error != ERROR_SUCCESS) ::unlink(temp.c_str());
    return error;
}

Result<int> openForWriting(const fs::path& file, int flags, mode_t mode) {
    flags &= O_TRUNC | O_APPEND | O_EXCL;
    // Without O_TRUNC first: a FIFO or device found in the file's place must be refused before
    // anything is done to it.
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                                      (flags & (O_APPEND | O_EXCL)), mode);
    if (fd < 0) return fail(openError(errno));
    auto regular = regularOnly(fd);
    if (!regular) return regular;
    if ((flags & O_TRUNC) && ::ftruncate(fd, 0) != 0) {
        Error e = errorFromErrno(errno);
        ::close(fd);
        return fail(e);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

Result<int> openLockFile(const fs::path& file, mode_t mode) {
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    if (fd < 0) return fail(openError(errno));
    return regularOnly(fd);
}

Error makeFolder(const fs::path& folder, mode_t mode) {
    if (::mkdir(folder.c_str(), mode) == 0) return ERROR_SUCCESS;
    if (errno != EEXIST) return errorFromErrno(errno);
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) return errorFromErrno(errno);
    return S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_CANT_ACCESS_FILE;
}

}  // namespace ce::host
