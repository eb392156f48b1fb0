#pragma once
// The simulated NAND flash on disk: three regions under flash/, each a plain file.
//
//   flash/nand_bootloader.bin  the bootloader area: the bytes of the last bootloader file given
//   flash/nand_hidden.bin      the hidden area: page i (512 bytes) at offset i x 512
//   flash/nand_sectors.bin     the sectors: sector s (512 bytes) at offset s x 512
//
// Flash that was never written reads as 0xFF, as erased NAND does: a write past the end of a
// region's file fills the gap with 0xFF first, and reads past the end give 0xFF. A region's
// file ends with its last written byte, so a dump holds exactly the written span.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace sim {

inline constexpr uint32_t kNandPageSize = 512;  // sectors and hidden-area pages alike

enum class FlashRegion { Bootloader, Hidden, Sectors };

std::optional<FlashRegion> flashRegionNamed(std::string_view name);  // "bootloader", "hidden", "sectors"

class FlashImage {
public:
    explicit FlashImage(std::filesystem::path root) : root_(std::move(root)) {}

    std::filesystem::path file(FlashRegion region) const;

    // Writes bytes at offset, 0xFF-filling any gap before it. False when the host refuses.
    bool write(FlashRegion region, uint64_t offset, const uint8_t* bytes, size_t size) const;
    // Replaces the whole region (the bootloader area) at once.
    bool replace(FlashRegion region, const std::vector<uint8_t>& bytes) const;

    // The written span of a region (empty when never written).
    std::vector<uint8_t> read(FlashRegion region) const;
    // size bytes at offset; 0xFF where nothing was written.
    std::vector<uint8_t> read(FlashRegion region, uint64_t offset, size_t size) const;

private:
    std::filesystem::path root_;
};

// Writes into the regions through files kept open for the life of one driver instance, so
// that a kernel written in thousands of requests costs one host write per request. The bytes
// are taken straight from the caller's memory: a bad address makes the host write fail with
// EFAULT instead of crashing the driver.
class FlashWriter {
public:
    enum class Result { Written, BadAddress, HostFailure };

    explicit FlashWriter(const FlashImage& image) : image_(image) {}
    ~FlashWriter();
    FlashWriter(const FlashWriter&) = delete;
    FlashWriter& operator=(const FlashWriter&) = delete;

    // Writes size bytes from address at offset, 0xFF-filling any gap before it.
    Result write(FlashRegion region, uint64_t offset, uint64_t address, size_t size);

private:
    struct OpenRegion {
        int fd = -1;
        uint64_t knownSize = 0;  // the file is at least this long
    };
    const FlashImage& image_;
    OpenRegion regions_[3];
};

}  // namespace sim
