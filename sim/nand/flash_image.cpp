#include "sim/nand/flash_image.h"

#include <fcntl.h>
#include <sys/file.h>
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

// Writes the 0xFF of erased flash over [from, to).
bool fillErased(int fd, uint64_t from, uint64_t to) {
    static const std::vector<uint8_t> erased(64 * 1024, 0xFF);
    for (uint64_t at = from; at < to; at += erased.size())
        if (!writeAll(fd, erased.data(), size_t(std::min<uint64_t>(erased.size(), to - at)), at)) return false;
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
    bool ok = ::fstat(fd, &st) == 0 && fillErased(fd, uint64_t(st.st_size), offset);
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

FlashWriter::~FlashWriter() {
    for (OpenRegion& r : regions_)
        if (r.fd >= 0) ::close(r.fd);
}

FlashWriter::Result FlashWriter::write(FlashRegion region, uint64_t offset, uint64_t address, size_t size) {
    if (address == 0 || address + size < address) return Result::BadAddress;
    OpenRegion& r = regions_[static_cast<int>(region)];
    if (r.fd < 0) {
        r.fd = ::open(image_.file(region).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (r.fd < 0) return Result::HostFailure;
    }
    // A write past the part of the file this instance knows of may leave a gap: look at the
    // real size under a lock (another process may have written meanwhile) and erase the gap
    // once the data itself went in, so a refused caller buffer leaves the file as it was.
    bool extending = offset > r.knownSize;
    uint64_t sizeBefore = r.knownSize;
    if (extending) {
        while (::flock(r.fd, LOCK_EX) != 0 && errno == EINTR) {
        }
        struct stat st {};
        if (::fstat(r.fd, &st) != 0) {
            ::flock(r.fd, LOCK_UN);
            return Result::HostFailure;
        }
        sizeBefore = uint64_t(st.st_size);
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(address);
    Result result = Result::Written;
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(r.fd, bytes + done, size - done, off_t(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            result = n < 0 && errno == EFAULT ? Result::BadAddress : Result::HostFailure;
            break;
        }
        done += size_t(n);
    }
    if (done > 0 && offset > sizeBefore && !fillErased(r.fd, sizeBefore, offset)) result = Result::HostFailure;
    if (done == 0 && result == Result::BadAddress) {
        // The host may have grown the file for the page it could not fill: give the growth back.
        struct stat st {};
        uint64_t before = std::max(sizeBefore, r.knownSize);
        if (::fstat(r.fd, &st) == 0 && uint64_t(st.st_size) > before && uint64_t(st.st_size) <= offset + size &&
            ::ftruncate(r.fd, off_t(before)) != 0)
            result = Result::HostFailure;
    }
    if (extending) ::flock(r.fd, LOCK_UN);
    if (done > 0) r.knownSize = std::max<uint64_t>(std::max(r.knownSize, sizeBefore), offset + done);
    return result;
}

}  // namespace sim
