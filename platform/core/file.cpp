// File handles: CreateFile's dispositions, access and share modes on a host file descriptor.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/core/files.h"
#include "platform/core/host_file.h"
#include "platform/core/paths.h"

namespace ce {

namespace {

constexpr uint32_t kReadAhead = 128 * 1024;  // stays in the processor's cache between reads

// One read from the host, repeated only when a signal broke it off.
ssize_t hostRead(int fd, char* out, size_t size) {
    ssize_t n;
    do {
        n = ::read(fd, out, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

}  // namespace

File::File(int fd, uint32_t access, uint32_t flags) : fd_(fd), access_(access) {
    if ((flags & FILE_FLAG_SEQUENTIAL_SCAN) && access == GENERIC_READ) ahead_ = std::make_unique<char[]>(kReadAhead);
}

File::~File() { ::close(fd_); }

Result<std::unique_ptr<File>> File::open(std::string_view path, uint32_t access, uint32_t share, uint32_t disposition,
                                         uint32_t flags) {
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return fail(ERROR_INVALID_PARAMETER);
    if (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE)) return fail(ERROR_INVALID_PARAMETER);
    auto pinned = detail::pinEntry(path);
    if (!pinned) return fail(pinned.error());
    auto fd = detail::openPinnedFile(*pinned, access, share, disposition);
    if (!fd) return fail(fd.error());
    return std::unique_ptr<File>(new File(*fd, access, flags));
}

Error File::read(void* buffer, uint32_t size, uint32_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    if (!(access_ & GENERIC_READ)) return ERROR_ACCESS_DENIED;
    auto* out = static_cast<char*>(buffer);
    if (ahead_) return readAhead(out, size, bytesRead);
    uint32_t done = 0;
    while (done < size) {
        const ssize_t n = hostRead(fd_, out + done, size - done);
        if (n < 0) return errorFromErrno(errno);
        if (n == 0) break;
        done += static_cast<uint32_t>(n);
    }
    if (bytesRead) *bytesRead = done;
    return ERROR_SUCCESS;
}

// The same result as reading straight from the host: `size` bytes, fewer only at the end.
Error File::readAhead(char* out, uint32_t size, uint32_t* bytesRead) {
    uint32_t done = 0;
    while (done < size) {
        if (aheadPos_ == aheadEnd_) {
            const uint32_t wanted = size - done;
            if (wanted >= kReadAhead) {  // a large read goes straight to the caller's buffer
                const ssize_t n = hostRead(fd_, out + done, wanted);
                if (n < 0) return errorFromErrno(errno);
                if (n == 0) break;
                done += static_cast<uint32_t>(n);
                continue;
            }
            const ssize_t n = hostRead(fd_, ahead_.get(), kReadAhead);
            if (n < 0) return errorFromErrno(errno);
            if (n == 0) break;
            aheadPos_ = 0;
            aheadEnd_ = static_cast<uint32_t>(n);
        }
        const uint32_t take = std::min(size - done, aheadEnd_ - aheadPos_);
        std::memcpy(out + done, ahead_.get() + aheadPos_, take);
        aheadPos_ += take;
        done += take;
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
    // The host stands past the bytes read ahead: a move from here counts from where the
    // caller stands, and once the host has moved, what was read ahead is dropped.
    if (whence == SEEK_CUR) distance -= static_cast<int64_t>(aheadEnd_ - aheadPos_);
    off_t pos = ::lseek(fd_, static_cast<off_t>(distance), whence);
    if (pos < 0) return fail(errno == EINVAL ? ERROR_INVALID_PARAMETER : errorFromErrno(errno));
    aheadPos_ = aheadEnd_ = 0;
    return static_cast<uint64_t>(pos);
}

Result<uint64_t> File::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return fail(errorFromErrno(errno));
    return static_cast<uint64_t>(st.st_size);
}

Error File::flush() { return ::fsync(fd_) == 0 || errno == EINVAL || errno == EROFS ? ERROR_SUCCESS : errorFromErrno(errno); }

}  // namespace ce
