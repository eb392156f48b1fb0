// File handles: CreateFile's dispositions, access and share modes on a host file descriptor.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/core/files.h"
#include "platform/core/host_file.h"
#include "platform/core/paths.h"

namespace ce {

File::File(int fd, uint32_t access) : fd_(fd), access_(access) {}

File::~File() { ::close(fd_); }

Result<std::unique_ptr<File>> File::open(std::string_view path, uint32_t access, uint32_t share, uint32_t disposition) {
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return fail(ERROR_INVALID_PARAMETER);
    if (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE)) return fail(ERROR_INVALID_PARAMETER);
    auto pinned = detail::pinEntry(path);
    if (!pinned) return fail(pinned.error());
    auto fd = detail::openPinnedFile(*pinned, access, share, disposition);
    if (!fd) return fail(fd.error());
    return std::unique_ptr<File>(new File(*fd, access));
}

Error File::read(void* buffer, uint32_t size, uint32_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    if (!(access_ & GENERIC_READ)) return ERROR_ACCESS_DENIED;
    auto* out = static_cast<char*>(buffer);
    uint32_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd_, out + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errorFromErrno(errno);
        if (n == 0) break;
        done += static_cast<uint32_t>(n);
    }
    if (bytesRead) *bytesRead = done;
    return ERROR_SUCCESS;
}

Error File::write(const void* buffer, uint32_t size, uint32_t* bytesWritten) {
    if (bytesWritten) *bytesWritten = 0;
    if (!(access_ & GENERIC_WRITE)) return ERROR_ACCESS_DENIED;
    const auto* in = static_cast<const char*>(buffer);
    uint32_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd_, in + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (bytesWritten) *bytesWritten = done;
            return n < 0 ? errorFromErrno(errno) : ERROR_WRITE_FAULT;
        }
        done += static_cast<uint32_t>(n);
    }
    if (bytesWritten) *bytesWritten = done;
    return ERROR_SUCCESS;
}

Result<uint64_t> File::seek(int64_t distance, uint32_t method) {
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : -1;
    if (whence < 0) return fail(ERROR_INVALID_PARAMETER);
    off_t pos = ::lseek(fd_, static_cast<off_t>(distance), whence);
    if (pos < 0) return fail(errno == EINVAL ? ERROR_INVALID_PARAMETER : errorFromErrno(errno));
    return static_cast<uint64_t>(pos);
}

Result<uint64_t> File::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return fail(errorFromErrno(errno));
    return static_cast<uint64_t>(st.st_size);
}

Error File::flush() { return ::fsync(fd_) == 0 || errno == EINVAL || errno == EROFS ? ERROR_SUCCESS : errorFromErrno(errno); }

}  // namespace ce
