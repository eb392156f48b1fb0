// CopyFileEx: one file, in chunks copied in place by the kernel where it can, with a progress
// routine that can cancel.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <memory>

#include "platform/core/files.h"
#include "platform/core/host_file.h"
#include "platform/core/paths.h"

namespace ce {

namespace {

constexpr uint32_t kCopyChunk = 64 * 1024;
constexpr uint32_t CALLBACK_CHUNK_FINISHED = 0;
constexpr uint32_t CALLBACK_STREAM_SWITCH = 1;

// The flag may be set by another thread while the copy runs.
bool cancelled(const bool* cancel) { return cancel != nullptr && *static_cast<const volatile bool*>(cancel); }

// Calls the routine unless it asked for quiet; true when the copy is to go on.
class Progress {
public:
    Progress(const CopyProgressRoutine& routine, const bool* cancel, uint64_t total)
        : routine_(routine), cancel_(cancel) {
        info_.totalFileSize = info_.streamSize = total;
    }

    bool report(uint64_t done, uint32_t reason) {
        if (cancelled(cancel_)) return false;
        if (!routine_ || quiet_) return true;
        info_.totalBytesTransferred = info_.streamBytesTransferred = done;
        info_.callbackReason = reason;
        switch (routine_(info_)) {
        case PROGRESS_CONTINUE: break;
        case PROGRESS_QUIET: quiet_ = true; break;
        default: return false;  // PROGRESS_CANCEL, PROGRESS_STOP and unknown answers stop the copy
        }
        return !cancelled(cancel_);
    }

private:
    const CopyProgressRoutine& routine_;
    const bool* cancel_;
    CopyProgressInfo info_;
    bool quiet_ = false;
};

// A host descriptor closed with its owner.
struct HostFd {
    explicit HostFd(int fd) : fd(fd) {}
    ~HostFd() { close(); }
    HostFd(const HostFd&) = delete;
    HostFd& operator=(const HostFd&) = delete;
    void close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    int fd;
};

// Moves the bytes of a copy one chunk at a time. The kernel copies in place
// (copy_file_range) up to the size the source had when it was opened, unless it refuses
// (another file system, a kind of file it cannot copy); the rest goes through a buffer, and
// only read() decides where the source ends, since some pseudo files read longer than the size
// they report.
class ChunkCopier {
public:
    explicit ChunkCopier(uint64_t sourceSize) : sourceSize_(sourceSize) {}

    // Copies the next chunk: kCopyChunk bytes, fewer only at the end of the source.
    Error copy(int in, int out, uint32_t* got) {
        *got = 0;
        while (*got < kCopyChunk && !ended_) {
            const uint32_t wanted = kCopyChunk - *got;
            if (inKernel_ && copied_ < sourceSize_) {
                ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, wanted, 0);
                if (n > 0) {
                    *got += static_cast<uint32_t>(n);
                    copied_ += static_cast<uint64_t>(n);
                    continue;
                }
                if (n < 0 && errno == EINTR) continue;
                inKernel_ = false;
            }
            if (!buffer_) buffer_ = std::make_unique_for_overwrite<char[]>(kCopyChunk);
            ssize_t n = ::read(in, buffer_.get(), wanted);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return errorFromErrno(errno);
            if (n == 0) {
                ended_ = true;
                break;
            }
            if (Error e = writeAll(out, buffer_.get(), static_cast<size_t>(n))) return e;
            *got += static_cast<uint32_t>(n);
            copied_ += static_cast<uint64_t>(n);
        }
        return ERROR_SUCCESS;
    }

private:
    static Error writeAll(int out, const char* data, size_t size) {
        while (size > 0) {
            ssize_t n = ::write(out, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return n < 0 ? errorFromErrno(errno) : ERROR_WRITE_FAULT;
            data += n;
            size -= static_cast<size_t>(n);
        }
        return ERROR_SUCCESS;
    }

    const uint64_t sourceSize_;
    uint64_t copied_ = 0;
    bool inKernel_ = true;
    bool ended_ = false;  // read() found the end
    std::unique_ptr<char[]> buffer_;
};

}  // namespace

Error copyFileEx(std::string_view source, std::string_view target, const CopyProgressRoutine& progress,
                 const bool* cancel, uint32_t flags) {
    auto from = detail::pinEntry(source);
    if (!from) return from.error();
    // The source is opened before the target is looked at: a copy from a missing source fails
    // as such, whatever the target.
    auto to = [&] { return detail::pinEntry(target); };
    return detail::copyPinned(*from, to, progress, cancel, flags);
}

Error detail::copyPinned(const PinnedEntry& from, const std::function<Result<PinnedEntry>()>& pinTarget,
                         const CopyProgressRoutine& progress, const bool* cancel, uint32_t flags) {
    detail::OpenedFile source;
    auto inFd = detail::openPinnedFile(from, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, &source);
    if (!inFd) return inFd.error();
    const HostFd in(*inFd);
    const uint64_t total = static_cast<uint64_t>(source.st.st_size);
    const uint32_t attributes = detail::storedAttributes(in.fd);

    uint32_t disposition = (flags & COPY_FILE_FAIL_IF_EXISTS) ? CREATE_NEW : CREATE_ALWAYS;
    auto to = pinTarget();
    if (!to) return to.error();
    detail::OpenedFile target;
    auto outFd = detail::openPinnedFile(*to, GENERIC_WRITE, 0, disposition, &target);
    if (!outFd) return outFd.error();
    HostFd out(*outFd);

    // From here on a failed copy leaves no partial target behind.
    auto abandon = [&](Error e) {
        out.close();
        ::unlinkat(to->folder, to->name.c_str(), 0);
        return e;
    };

    Progress report(progress, cancel, total);
    if (!report.report(0, CALLBACK_STREAM_SWITCH)) return abandon(ERROR_REQUEST_ABORTED);
    ChunkCopier copier(total);
    uint64_t done = 0;
    for (;;) {
        uint32_t got = 0;
        if (Error e = copier.copy(in.fd, out.fd, &got)) return abandon(e);
        if (got == 0) break;
        done += got;
        if (!report.report(done, CALLBACK_CHUNK_FINISHED)) return abandon(ERROR_REQUEST_ABORTED);
    }

    // The source's times as it was opened, and its permission bits: a copied program stays a
    // program (never the set-id bits). A fresh target that has them already, and no attribute
    // to carry, needs neither call.
    const struct timespec times[2] = {source.st.st_atim, source.st.st_mtim};
    ::futimens(out.fd, times);
    if (!target.created || (target.st.st_mode & 0777) != (source.st.st_mode & 0777)) ::fchmod(out.fd, source.st.st_mode & 0777);
    const Error stored = target.created && attributes == 0 ? ERROR_SUCCESS : detail::storeAttributes(out.fd, attributes);
    out.close();
    if (stored && stored != ERROR_NOT_SUPPORTED) return stored;
    return ERROR_SUCCESS;
}

}  // namespace ce
