#include "platform/ui/shared_pixels.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

namespace ce {

namespace {

constexpr uint32_t kMagic = 0x58505548;  // "HUPX"

struct Header {
    uint32_t magic;
    uint32_t width;
    uint32_t height;
    uint32_t reserved;
};

size_t bytesFor(int width, int height) {
    return sizeof(Header) + static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
}

}  // namespace

std::unique_ptr<SharedPixels> SharedPixels::create(const std::string& path, int width, int height) {
    std::unique_ptr<SharedPixels> p(new SharedPixels);
    p->path_ = path;
    if (!path.empty()) {
        p->fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (p->fd_ < 0) p->path_.clear();  // fall back to private memory: the window still works
        else flock(p->fd_, LOCK_SH);       // held while this process lives: the image is owned
    }
    if (!p->map(width, height)) return nullptr;
    return p;
}

SharedPixels::~SharedPixels() {
    unmap();
    if (fd_ >= 0) {
        close(fd_);
        unlink(path_.c_str());
    }
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
    if (ftruncate(fd_, static_cast<off_t>(size)) != 0) return false;
    void* base = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
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
    if (base_) munmap(base_, size_);
    base_ = nullptr;
    size_ = 0;
    view_ = Surface();
}

bool SharedPixels::resize(int width, int height) {
    unmap();
    return map(width, height);
}

Result<Surface> SharedPixels::read(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(ERROR_FILE_NOT_FOUND);
    struct stat st;
    if (fstat(fd, &st) != 0 || static_cast<size_t>(st.st_size) < sizeof(Header)) {
        close(fd);
        return fail(ERROR_INVALID_DATA);
    }
    size_t size = static_cast<size_t>(st.st_size);
    void* base = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (base == MAP_FAILED) return fail(ERROR_READ_FAULT);
    Header h;
    std::memcpy(&h, base, sizeof h);
    Result<Surface> out = fail(ERROR_INVALID_DATA);
    // The owner may be resizing right now: take the image only when its size fits the file.
    if (h.magic == kMagic && h.width <= 16384 && h.height <= 16384 &&
        bytesFor(static_cast<int>(h.width), static_cast<int>(h.height)) <= size) {
        Surface s(static_cast<int>(h.width), static_cast<int>(h.height));
        const auto* pixels = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(base) + sizeof(Header));
        for (int y = 0; y < s.height(); ++y)
            std::memcpy(s.row(y), pixels + static_cast<size_t>(y) * h.width, h.width * 4);
        out = std::move(s);
    }
    munmap(base, size);
    return out;
}

int SharedPixels::removeOrphans(const std::string& folder, const std::string& prefix, int minAgeSeconds) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return 0;
    int removed = 0;
    const time_t now = time(nullptr);
    while (dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0) continue;
        const std::string path = folder + "/" + entry->d_name;
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        struct stat st {};
        Header header{};
        bool image = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                     pread(fd, &header, sizeof header, 0) == ssize_t(sizeof header) && header.magic == kMagic;
        bool oldEnough = now - st.st_ctime >= minAgeSeconds;
        if (image && oldEnough && flock(fd, LOCK_EX | LOCK_NB) == 0 && unlink(path.c_str()) == 0) ++removed;
        close(fd);
    }
    closedir(dir);
    return removed;
}

}  // namespace ce
