// Folders held open: the operations of files.h on entries named relative to an open folder.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/core/files.h"
#include "platform/core/host_file.h"

namespace ce {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;

// Opens the pinned entry as a folder; a link or a file in its place names no folder.
Result<int> openAsFolder(const detail::PinnedEntry& pinned) {
    const int fd = ::openat(pinned.folder, pinned.name.c_str(), kFolderFlags);
    if (fd >= 0) return fd;
    return fail(errno == EMFILE || errno == ENFILE || errno == ENOMEM ? errorFromErrno(errno) : ERROR_PATH_NOT_FOUND);
}

}  // namespace

Folder::Folder(int fd, std::string host) : fd_(fd), host_(std::move(host)) {}

Folder::Folder(Folder&& other) noexcept : fd_(std::exchange(other.fd_, -1)), host_(std::move(other.host_)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        host_ = std::move(other.host_);
    }
    return *this;
}

Folder::~Folder() {
    if (fd_ >= 0) ::close(fd_);
}

Result<Folder> Folder::open(std::string_view devicePath) {
    auto pinned = detail::pinEntry(devicePath);
    if (!pinned) return fail(ERROR_PATH_NOT_FOUND);
    auto fd = openAsFolder(*pinned);
    if (!fd) return fail(fd.error());
    return Folder(*fd, pinned->host.string());
}

Result<Folder> Folder::openFolder(std::string_view relative) const {
    auto pinned = detail::pinEntryBelow(fd_, host_, relative);
    if (!pinned) return fail(ERROR_PATH_NOT_FOUND);
    auto fd = openAsFolder(*pinned);
    if (!fd) return fail(fd.error());
    return Folder(*fd, pinned->host.string());
}

Result<std::vector<FindData>> Folder::list(FindDetail detail) const {
    const int dir = ::openat(fd_, ".", kFolderFlags);
    if (dir < 0) return fail(errorFromErrno(errno));
    return detail::listFolder(dir, "*", detail);
}

Error Folder::deleteFile(std::string_view relative) const {
    auto found = detail::pinExistingBelow(fd_, host_, relative);
    if (!found) return found.error();
    return detail::deletePinned(*found);
}

Error Folder::setFileAttributes(std::string_view relative, uint32_t attributes) const {
    auto found = detail::pinExistingBelow(fd_, host_, relative);
    if (!found) return found.error();
    return detail::storeAttributesAt(found->folder, found->name.c_str(), attributes);
}

Result<std::unique_ptr<File>> Folder::openFile(std::string_view relative, uint32_t access, uint32_t share,
                                               uint32_t disposition, uint32_t flags) const {
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return fail(ERROR_INVALID_PARAMETER);
    if (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE)) return fail(ERROR_INVALID_PARAMETER);
    auto pinned = detail::pinEntryBelow(fd_, host_, relative);
    if (!pinned) return fail(pinned.error());
    auto fd = detail::openPinnedFile(*pinned, access, share, disposition);
    if (!fd) return fail(fd.error());
    return std::unique_ptr<File>(new File(*fd, access, flags));
}

Error Folder::copyFileTo(std::string_view source, const Folder& targetFolder, std::string_view target,
                         const CopyProgressRoutine& progress, const bool* cancel, uint32_t flags) const {
    auto from = detail::pinEntryBelow(fd_, host_, source);
    if (!from) return from.error();
    auto to = [&] { return detail::pinEntryBelow(targetFolder.fd_, targetFolder.host_, target); };
    return detail::copyPinned(*from, to, progress, cancel, flags);
}

}  // namespace ce
