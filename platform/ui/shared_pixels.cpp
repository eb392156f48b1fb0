#include "platform/ui/shared_pixels.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ce {

namespace {

constexpr uint32_t kMagic = 0x58505548;  // "HUPX"
constexpr uint32_t kMaxExtent = 16384;

struct Header {
    uint32_t magic;
    uint32_t width;
    uint32_t height;
    uint32_t reserved;
};

size_t bytesFor(int width, int height) {
    return sizeof(Header) + static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
}

// pread of exactly size bytes at offset; false on a short read (the file shrank) or an error.
bool readAt(int fd, void* buffer, size_t size, off_t offset) {
    auto* out = static_cast<uint8_t*>(buffer);
    while (size > 0) {
        ssize_t n = ::pread(fd, out, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        out += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

}  // namespace

std::unique_ptr<SharedPixels> SharedPixels::create(int width, int height) {
    std::unique_ptr<SharedPixels> p(new SharedPixels);
    p->fd_ = ::memfd_create("hu-window", MFD_CLOEXEC);
    if (!p->map(width, height)) return nullptr;
    return p;
}

SharedPixels::~SharedPixels() {
    unmap();
    if (fd_ >= 0) ::close(fd_);
}

bool SharedPixels::map(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (fd_ < 0) {
        privateMemory_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
        view_ = Surface::wrap(privateMemory_.data(), width, height, width);
        return true;
    }
    size_t size = bytesFor(width, height);
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return false;
    void* base = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (base == MAP_FAILED) return false;
    base_ = base;
    size_ = size;
    auto* header = static_cast<Header*>(base_);
    header->magic = kMagic;
    header->width = static_cast<uint32_t>(width);
    header->height = static_cast<uint32_t>(height);
    header->reserved = 0;
    auto* pixels = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(base_) + sizeof(Header));
    view_ = Surface::wrap(pixels, width, height, width);
    return true;
}

void SharedPixels::unmap() {
    if (base_) ::munmap(base_, size_);
    base_ = nullptr;
    size_ = 0;
    view_ = Surface();
}

bool SharedPixels::resize(int width, int height) {
    unmap();
    return map(width, height);
}

OwnedFd SharedPixels::share() const {
    return OwnedFd(fd_ >= 0 ? ::fcntl(fd_, F_DUPFD_CLOEXEC, 0) : -1);
}

Result<Surface> SharedPixels::read(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return fail(ERROR_INVALID_HANDLE);
    Header h{};
    if (!readAt(fd, &h, sizeof h, 0) || h.magic != kMagic || h.width > kMaxExtent || h.height > kMaxExtent)
        return fail(ERROR_INVALID_DATA);
    const int width = static_cast<int>(h.width), height = static_cast<int>(h.height);
    // The owner may be resizing right now: take the image only when the file holds its pixels.
    if (bytesFor(width, height) > static_cast<size_t>(st.st_size)) return fail(ERROR_INVALID_DATA);
    Surface s(width, height);
    if (width > 0 && height > 0 && !readAt(fd, s.row(0), bytesFor(width, height) - sizeof h, sizeof h))
        return fail(ERROR_INVALID_DATA);
    return s;
}

}  // namespace ce
