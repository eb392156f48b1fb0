#include "tools/hu/card_files.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace hu {

namespace fs = std::filesystem;

namespace {

constexpr size_t kChunk = 1 << 20;
constexpr size_t kHoleGrain = 64 * 1024;

[[noreturn]] void failWith(const std::string& what, const fs::path& path, int err) {
    throw std::runtime_error(fmt::format("{} {}: {}", what, path.string(), std::strerror(err)));
}

bool allZero(const char* data, size_t size) {
    return std::all_of(data, data + size, [](char c) { return c == 0; });
}

// Exchanges two entries in one step (neither is followed if it is a link).
bool exchange(const fs::path& a, const fs::path& b) {
#ifdef SYS_renameat2
    return ::syscall(SYS_renameat2, AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
#else
    errno = ENOSYS;
    return false;
#endif
}

}  // namespace

void readChunks(const fs::path& file, const ChunkSink& each) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) failWith("cannot read", file, errno);
    std::vector<char> buffer(kChunk);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            failWith("cannot read", file, err);
        }
        try {
            each(buffer.data(), static_cast<size_t>(n));
        } catch (...) {
            ::close(fd);
            throw;
        }
    }
    ::close(fd);
}

uint64_t inputSize(const fs::path& file, const std::string& what) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) failWith("cannot read " + what, file, errno);
    if (!S_ISREG(st.st_mode)) throw std::runtime_error(fmt::format("{} {} is not a file", what, file.string()));
    if (st.st_size == 0) throw std::runtime_error(fmt::format("{} {} is empty: it holds no firmware", what, file.string()));
    return static_cast<uint64_t>(st.st_size);
}

CardFile::CardFile(const fs::path& path) : path_(path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) fail("cannot replace");
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd_ < 0) fail("cannot write");
}

CardFile::~CardFile() {
    if (fd_ >= 0) ::close(fd_);
}

void CardFile::fail(const char* what) const { failWith(what, path_, errno); }

void CardFile::write(const char* data, size_t size) {
    while (size > 0) {
        // Whole runs of zeros aligned to the grain are skipped: finish() gives the file its size.
        const size_t grain = std::min(size, kHoleGrain - static_cast<size_t>(size_ % kHoleGrain));
        if (grain == kHoleGrain && allZero(data, grain)) {
            if (::lseek(fd_, static_cast<off_t>(size_ + grain), SEEK_SET) < 0) fail("cannot write");
        } else {
            size_t done = 0;
            while (done < grain) {
                const ssize_t n = ::write(fd_, data + done, grain - done);
                if (n < 0) {
                    if (errno == EINTR) continue;
                    fail("cannot write");
                }
                done += static_cast<size_t>(n);
            }
        }
        size_ += grain;
        data += grain;
        size -= grain;
    }
}

void CardFile::patch(uint64_t offset, const char* data, size_t size) {
    if (::pwrite(fd_, data, size, static_cast<off_t>(offset)) != static_cast<ssize_t>(size)) fail("cannot write");
}

void CardFile::finish() {
    if (::ftruncate(fd_, static_cast<off_t>(size_)) != 0) fail("cannot write");
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail("cannot write");
}

void makeFolders(const fs::path& base, const fs::path& relative) {
    fs::path at = base;
    for (const auto& part : relative) {
        at /= part;
        std::error_code ec;
        const auto status = fs::symlink_status(at, ec);
        if (fs::is_symlink(status)) fs::remove(at, ec);
        else if (fs::is_directory(status)) continue;
        if (!fs::create_directory(at, ec) || ec) failWith("cannot create", at, ec ? ec.value() : EEXIST);
    }
}

StagedFolder::StagedFolder(const fs::path& target, bool keepExisting) : target_(target) {
    staging_ = target.parent_path() / fmt::format(".{}.new-{}", target.filename().string(), ::getpid());
    std::error_code ec;
    fs::remove_all(staging_, ec);  // left by a run of the same pid that was killed
    fs::create_directories(target.parent_path(), ec);
    if (::mkdir(staging_.c_str(), 0755) != 0) failWith("cannot create", staging_, errno);
    if (keepExisting && fs::is_directory(fs::symlink_status(target, ec))) {
        fs::copy(target, staging_, fs::copy_options::recursive | fs::copy_options::copy_symlinks | fs::copy_options::create_hard_links,
                 ec);
        if (ec) {
            fs::remove_all(staging_, ec);
            throw std::runtime_error(fmt::format("cannot keep the files of {}: {}", target.string(), ec.message()));
        }
    }
}

StagedFolder::~StagedFolder() {
    if (committed_) return;
    std::error_code ec;
    fs::remove_all(staging_, ec);
}

void StagedFolder::commit() {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(target_, ec))) {
        if (::rename(staging_.c_str(), target_.c_str()) != 0) failWith("cannot put the package in place at", target_, errno);
        committed_ = true;
        return;
    }
    // Exchanged in one step, the old folder (or link) ends up at the staging name.
    if (exchange(staging_, target_)) {
        committed_ = true;
        fs::remove_all(staging_, ec);
        return;
    }
    // Without an exchange: the old one moves aside, the new one in, and back on failure.
    const fs::path old = target_.parent_path() / fmt::format(".{}.old-{}", target_.filename().string(), ::getpid());
    fs::remove_all(old, ec);
    if (::rename(target_.c_str(), old.c_str()) != 0) failWith("cannot replace", target_, errno);
    if (::rename(staging_.c_str(), target_.c_str()) != 0) {
        const int err = errno;
        ::rename(old.c_str(), target_.c_str());
        failWith("cannot put the package in place at", target_, err);
    }
    committed_ = true;
    fs::remove_all(old, ec);
}

}  // namespace hu
