// CopyFileEx: one file, in chunks, with a progress routine that can cancel.

#include <sys/stat.h>

#include <vector>

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

}  // namespace

Error copyFileEx(std::string_view source, std::string_view target, const CopyProgressRoutine& progress,
                 const bool* cancel, uint32_t flags) {
    auto in = File::open(source, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (!in) return in.error();
    auto sourceHost = hostPath(source);
    auto sourceAttributes = detail::attributesOf(*sourceHost);
    auto total = (*in)->size();
    if (!sourceAttributes || !total) return ERROR_READ_FAULT;

    uint32_t disposition = (flags & COPY_FILE_FAIL_IF_EXISTS) ? CREATE_NEW : CREATE_ALWAYS;
    auto out = File::open(target, GENERIC_WRITE, 0, disposition);
    if (!out) return out.error();
    auto targetHost = hostPath(target);

    // From here on a failed copy leaves no partial target behind.
    auto abandon = [&](Error e) {
        out->reset();
        std::error_code ec;
        std::filesystem::remove(*targetHost, ec);
        return e;
    };

    Progress report(progress, cancel, *total);
    if (!report.report(0, CALLBACK_STREAM_SWITCH)) return abandon(ERROR_REQUEST_ABORTED);
    std::vector<char> buffer(kCopyChunk);
    uint64_t done = 0;
    for (;;) {
        uint32_t got = 0;
        if (Error e = (*in)->read(buffer.data(), kCopyChunk, &got)) return abandon(e);
        if (got == 0) break;
        if (Error e = (*out)->write(buffer.data(), got, nullptr)) return abandon(e);
        done += got;
        if (!report.report(done, CALLBACK_CHUNK_FINISHED)) return abandon(ERROR_REQUEST_ABORTED);
    }

    struct stat st {};
    if (::fstat((*in)->hostFd(), &st) == 0) {
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens((*out)->hostFd(), times);
    }
    out->reset();
    if (Error e = detail::storeAttributes(*targetHost, *sourceAttributes); e && e != ERROR_NOT_SUPPORTED) return e;
    return ERROR_SUCCESS;
}

}  // namespace ce
