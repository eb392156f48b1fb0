#include "sim/nand/flash_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "sim/board/fault_plan.h"

namespace sim {

namespace fs = std::filesystem;

namespace {

bool writeAll(int fd, const uint8_t* bytes, size_t size, uint64_t offset) {
    while (size > 0) {
        ssize_t n = ::pwrite(fd, bytes, size, off_t(offset));
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return false;
        }
        bytes += n;
        size -= size_t(n);
        offset += uint64_t(n);
    }
    return true;
}

}  // namespace

std::optional<FlashRegion> flashRegionNamed(std::string_view name) {
    if (name == "bootloader") return FlashRegion::Bootloader;
    if (name == "hidden") return FlashRegion::Hidden;
    if (name == "sectors") return FlashRegion::Sectors;
    return std::nullopt;
}

fs::path FlashImage::file(FlashRegion region) const {
    switch (region) {
        case FlashRegion::Bootloader: return root_ / "flash" / "nand_bootloader.bin";
        case FlashRegion::Hidden: return root_ / "flash" / "nand_hidden.bin";
        case FlashRegion::Sectors: break;
    }
    return root_ / "flash" / "nand_sectors.bin";
}

bool FlashImage::write(FlashRegion region, uint64_t offset, const uint8_t* bytes, size_t size) const {
    int fd = ::open(file(region).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    // Erased flash between the old end and the new data.
    static const std::vector<uint8_t> erased(64 * 1024, 0xFF);
    for (uint64_t at = uint64_t(st.st_size); ok && at < offset; at += erased.size())
        ok = writeAll(fd, erased.data(), size_t(std::min<uint64_t>(erased.size(), offset - at)), at);
    ok = ok && writeAll(fd, bytes, size, offset);
    return ::close(fd) == 0 && ok;
}

bool FlashImage::replace(FlashRegion region, const std::vector<uint8_t>& bytes) const {
    return replaceFile(file(region), std::string(bytes.begin(), bytes.end()));
}

std::vector<uint8_t> FlashImage::read(FlashRegion region) const {
    struct stat st {};
    if (::stat(file(region).c_str(), &st) != 0) return {};
    return read(region, 0, size_t(st.st_size));
}

std::vector<uint8_t> FlashImage::read(FlashRegion region, uint64_t offset, size_t size) const {
    std::vector<uint8_t> bytes(size, 0xFF);
    int fd = ::open(file(region).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return bytes;
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd, bytes.data() + done, size - done, off_t(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // past the end: stays 0xFF
        done += size_t(n);
    }
    ::close(fd);
    return bytes;
}

}  // namespace sim
