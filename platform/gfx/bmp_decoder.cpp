// BMP decoding. Every field read from the file is checked before use: the reader below never
// indexes outside the byte span, and the pixel loops only run over rows proven to be present.
#include <algorithm>
#include <bit>
#include <optional>

#include "platform/core/files.h"
#include "platform/core/host_io.h"
#include "platform/gfx/bmp.h"

namespace ce {
namespace {

enum : uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_JPEG = 4, BI_PNG = 5, BI_ALPHABITFIELDS = 6 };

constexpr size_t kFileHeaderSize = 14;
// Run-length data may describe a large picture in few bytes, but not without limit: up to this
// many pixels in any case (4 MiB of surface), and beyond that at most this many pixels per
// byte of runs, so that a file never costs more than 1 KiB of memory per byte it holds. Runs
// of 255 pixels take 2 bytes; only pictures of mostly blank rows wider than 512 pixels, or
// skipped with deltas, come closer to the limit than that.
constexpr int64_t kRleFreePixels = 1 << 20;
constexpr int64_t kRlePixelsPerByte = 256;
constexpr uint32_t kCoreHeaderSize = 12;

// Little-endian reads that fail instead of running past the end.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool has(size_t offset, size_t count) const { return offset <= bytes_.size() && count <= bytes_.size() - offset; }
    std::optional<uint16_t> u16(size_t offset) const {
        if (!has(offset, 2)) return std::nullopt;
        return static_cast<uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8));
    }
    std::optional<uint32_t> u32(size_t offset) const {
        if (!has(offset, 4)) return std::nullopt;
        return static_cast<uint32_t>(bytes_[offset]) | (static_cast<uint32_t>(bytes_[offset + 1]) << 8) |
               (static_cast<uint32_t>(bytes_[offset + 2]) << 16) | (static_cast<uint32_t>(bytes_[offset + 3]) << 24);
    }
    const uint8_t* at(size_t offset) const { return bytes_.data() + offset; }
    size_t size() const { return bytes_.size(); }

private:
    std::span<const uint8_t> bytes_;
};

// One colour channel described by a bit mask: where it sits and how to widen it to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;  // largest value of the channel after shifting

    static std::optional<Channel> of(uint32_t mask) {
        Channel c;
        if (mask == 0) return c;
        c.mask = mask;
        c.shift = std::countr_zero(mask);
        c.max = mask >> c.shift;
        if ((c.max & (c.max + 1)) != 0) return std::nullopt;  // bits not contiguous
        return c;
    }
    uint32_t expand(uint32_t value) const {
        if (max == 0) return 0;
        return (((value & mask) >> shift) * 255 + max / 2) / max;
    }
};

struct Header {
    int64_t width = 0;
    int64_t height = 0;  // positive: bottom-up
    uint32_t bitCount = 0;
    uint32_t compression = BI_RGB;
    uint32_t colorsUsed = 0;
    size_t paletteOffset = 0;
    size_t paletteEntrySize = 4;
    Channel red, green, blue;
};

Result<Header> readHeader(const Reader& in) {
    Header h;
    const auto magic = in.u16(0);
    const auto headerSize = in.u32(kFileHeaderSize);
    if (!magic || *magic != 0x4D42 || !headerSize) return fail(ERROR_INVALID_DATA);
    if (!in.has(kFileHeaderSize, *headerSize)) return fail(ERROR_INVALID_DATA);
    const size_t base = kFileHeaderSize;

    if (*headerSize == kCoreHeaderSize) {
        h.width = *in.u16(base + 4);
        h.height = *in.u16(base + 6);
        h.bitCount = *in.u16(base + 10);
        h.paletteOffset = base + kCoreHeaderSize;
        h.paletteEntrySize = 3;
        if (h.bitCount != 1 && h.bitCount != 4 && h.bitCount != 8 && h.bitCount != 24) return fail(ERROR_INVALID_DATA);
        return h;
    }
    if (*headerSize != 40 && *headerSize != 52 && *headerSize != 56 && *headerSize != 108 && *headerSize != 124)
        return fail(ERROR_INVALID_DATA);

    h.width = static_cast<int32_t>(*in.u32(base + 4));
    h.height = static_cast<int32_t>(*in.u32(base + 8));
    h.bitCount = *in.u16(base + 14);
    h.compression = *in.u32(base + 16);
    h.colorsUsed = *in.u32(base + 32);
    h.paletteOffset = base + *headerSize;

    if (h.compression == BI_JPEG || h.compression == BI_PNG) return fail(ERROR_NOT_SUPPORTED);
    if (h.compression > BI_ALPHABITFIELDS) return fail(ERROR_INVALID_DATA);
    if (h.compression == BI_RLE8 && h.bitCount != 8) return fail(ERROR_INVALID_DATA);
    if (h.compression == BI_RLE4 && h.bitCount != 4) return fail(ERROR_INVALID_DATA);
    switch (h.bitCount) {
        case 1: case 2: case 4: case 8: case 24:
            if (h.compression == BI_BITFIELDS || h.compression == BI_ALPHABITFIELDS) return fail(ERROR_INVALID_DATA);
            break;
        case 16: case 32:
            if (h.compression == BI_RLE8 || h.compression == BI_RLE4) return fail(ERROR_INVALID_DATA);
            break;
        default: return fail(ERROR_INVALID_DATA);
    }

    uint32_t masks[3];
    if (h.compression != BI_BITFIELDS && h.compression != BI_ALPHABITFIELDS) {
        if (h.bitCount == 16) { masks[0] = 0x7C00; masks[1] = 0x03E0; masks[2] = 0x001F; }
        else { masks[0] = 0xFF0000; masks[1] = 0x00FF00; masks[2] = 0x0000FF; }
    } else {
        // The masks sit in the larger headers, or follow the 40-byte header.
        size_t maskOffset = base + 40;
        if (*headerSize == 40) h.paletteOffset += h.compression == BI_ALPHABITFIELDS ? 16 : 12;
        for (int i = 0; i < 3; ++i) {
            const auto m = in.u32(maskOffset + 4 * i);
            if (!m) return fail(ERROR_INVALID_DATA);
            masks[i] = *m;
        }
    }
    const auto r = Channel::of(masks[0]), g = Channel::of(masks[1]), b = Channel::of(masks[2]);
    if (!r || !g || !b) return fail(ERROR_INVALID_DATA);
    if (h.bitCount == 16 && ((masks[0] | masks[1] | masks[2]) >> 16) != 0) return fail(ERROR_INVALID_DATA);
    h.red = *r;
    h.green = *g;
    h.blue = *b;
    return h;
}

// Run-length encoded pixels (RLE8, RLE4), always bottom-up. Pixels the stream skips keep
// palette colour 0. The stream must end with its end-of-bitmap mark: one that runs out of
// bytes first is a truncated file.
Error decodeRle(const Reader& in, size_t offset, const Header& h, const std::vector<uint32_t>& palette, Surface& out) {
    const bool four = h.compression == BI_RLE4;
    const int width = out.width(), height = out.height();
    out.fill(palette[0]);
    int x = 0, y = 0;  // y counts rows from the bottom
    const auto put = [&](uint32_t index) {
        if (x < width && y < height) out.row(height - 1 - y)[x] = palette[index];
        ++x;
    };
    size_t pos = offset;
    const auto byte = [&](uint8_t& b) {
        if (!in.has(pos, 1)) return false;
        b = *in.at(pos++);
        return true;
    };
    for (;;) {
        uint8_t count = 0, value = 0;
        if (!byte(count) || !byte(value)) return ERROR_INVALID_DATA;
        if (count > 0) {
            for (int i = 0; i < count && x < width; ++i) put(four ? ((i % 2 == 0) ? value >> 4 : value & 0x0F) : value);
            continue;
        }
        if (value == 0) { x = 0; ++y; continue; }  // end of line
        if (value == 1) return ERROR_SUCCESS;      // end of bitmap
        if (value == 2) {                           // move right and up
            uint8_t dx = 0, dy = 0;
            if (!byte(dx) || !byte(dy)) return ERROR_INVALID_DATA;
            x += dx;
            y += dy;
            continue;
        }
        // An absolute run of `value` pixels, padded to a 16-bit boundary.
        const size_t bytes = four ? (value + 1u) / 2 : value;
        if (!in.has(pos, bytes + (bytes % 2))) return ERROR_INVALID_DATA;
        for (int i = 0; i < value; ++i) {
            const uint8_t b = *in.at(pos + (four ? i / 2 : i));
            put(four ? ((i % 2 == 0) ? b >> 4 : b & 0x0F) : b);
        }
        pos += bytes + (bytes % 2);
        if (y >= height) return ERROR_SUCCESS;  // nothing more can land in the image
    }
}

}  // namespace

Result<Surface> decodeBmp(std::span<const uint8_t> bytes) {
    const Reader in(bytes);
    auto header = readHeader(in);
    if (!header) return fail(header.error());
    const Header& h = *header;

    const bool bottomUp = h.height > 0;
    const int64_t width = h.width;
    const int64_t height = bottomUp ? h.height : -h.height;
    if (width <= 0 || height <= 0) return fail(ERROR_INVALID_DATA);
    if (width * height > kMaxBmpPixels) return fail(ERROR_NOT_ENOUGH_MEMORY);

    // The palette of an indexed image; indices beyond it give black.
    std::vector<uint32_t> palette;
    if (h.bitCount <= 8) {
        const uint32_t maxColors = 1u << h.bitCount;
        const uint32_t count = (h.colorsUsed == 0 || h.colorsUsed > maxColors) ? maxColors : h.colorsUsed;
        if (!in.has(h.paletteOffset, static_cast<size_t>(count) * h.paletteEntrySize)) return fail(ERROR_INVALID_DATA);
        palette.resize(maxColors, 0);
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* e = in.at(h.paletteOffset + static_cast<size_t>(i) * h.paletteEntrySize);
            palette[i] = (static_cast<uint32_t>(e[2]) << 16) | (static_cast<uint32_t>(e[1]) << 8) | e[0];
        }
    }

    const uint64_t pixelOffset = *in.u32(10);
    if (pixelOffset < kFileHeaderSize || pixelOffset > in.size()) return fail(ERROR_INVALID_DATA);
    if (h.compression == BI_RLE8 || h.compression == BI_RLE4) {
        if (!bottomUp) return fail(ERROR_INVALID_DATA);
        // A few bytes of runs must not demand a picture of many megabytes.
        if (width * height > std::max<int64_t>(kRleFreePixels, kRlePixelsPerByte * static_cast<int64_t>(in.size() - pixelOffset)))
            return fail(ERROR_INVALID_DATA);
        Surface out(static_cast<int>(width), static_cast<int>(height));
        if (const Error e = decodeRle(in, pixelOffset, h, palette, out); e != ERROR_SUCCESS) return fail(e);
        return out;
    }

    const uint64_t rowBits = static_cast<uint64_t>(width) * h.bitCount;
    const uint64_t stride = (rowBits + 31) / 32 * 4;
    const uint64_t usedRowBytes = (rowBits + 7) / 8;
    // The last row need not carry its padding; everything before it must be there.
    const uint64_t needed = stride * static_cast<uint64_t>(height - 1) + usedRowBytes;
    if (needed > in.size() - pixelOffset) return fail(ERROR_INVALID_DATA);

    Surface out(static_cast<int>(width), static_cast<int>(height));
    for (int64_t y = 0; y < height; ++y) {
        const uint8_t* src = in.at(pixelOffset + static_cast<size_t>(stride * static_cast<uint64_t>(y)));
        uint32_t* dst = out.row(static_cast<int>(bottomUp ? height - 1 - y : y));
        switch (h.bitCount) {
            case 1: case 2: case 4: case 8: {
                const int bits = static_cast<int>(h.bitCount);
                const uint32_t indexMask = (1u << bits) - 1;
                for (int64_t x = 0; x < width; ++x) {
                    const uint64_t bit = static_cast<uint64_t>(x) * bits;
                    const int shift = 8 - bits - static_cast<int>(bit % 8);
                    dst[x] = palette[(src[bit / 8] >> shift) & indexMask];
                }
                break;
            }
            case 16:
                for (int64_t x = 0; x < width; ++x) {
                    const uint32_t v = src[2 * x] | (src[2 * x + 1] << 8);
                    dst[x] = (h.red.expand(v) << 16) | (h.green.expand(v) << 8) | h.blue.expand(v);
                }
                break;
            case 24:
                for (int64_t x = 0; x < width; ++x)
                    dst[x] = (static_cast<uint32_t>(src[3 * x + 2]) << 16) | (static_cast<uint32_t>(src[3 * x + 1]) << 8) |
                             src[3 * x];
                break;
            case 32:
                for (int64_t x = 0; x < width; ++x) {
                    const uint32_t v = static_cast<uint32_t>(src[4 * x]) | (static_cast<uint32_t>(src[4 * x + 1]) << 8) |
                                       (static_cast<uint32_t>(src[4 * x + 2]) << 16) |
                                       (static_cast<uint32_t>(src[4 * x + 3]) << 24);
                    dst[x] = (h.red.expand(v) << 16) | (h.green.expand(v) << 8) | h.blue.expand(v);
                }
                break;
        }
    }
    return out;
}

Result<Surface> loadBmpFile(const std::filesystem::path& hostFile) {
    std::error_code ec;
    if (std::filesystem::is_directory(std::filesystem::symlink_status(hostFile, ec))) return fail(ERROR_ACCESS_DENIED);
    // Never through a link, and a FIFO or device fails at once instead of blocking.
    auto bytes = host::readFile(hostFile, static_cast<size_t>(kMaxBmpPixels) * 4 + 65536);
    if (!bytes) return fail(bytes.error() == ERROR_FILE_TOO_LARGE ? ERROR_NOT_ENOUGH_MEMORY : bytes.error());
    return decodeBmp(std::span(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()));
}

Result<HBITMAP> shLoadDIBitmap(std::string_view devicePath) {
    // Opened through the file layer, which pins the path to its folder on the volume: a folder
    // swapped for a link while the path is resolved cannot send the read elsewhere, a link is
    // never followed and a FIFO or device fails at once.
    auto file = File::open(devicePath, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (!file) return fail(file.error());
    auto size = (*file)->size();
    if (!size) return fail(size.error());
    if (*size > static_cast<uint64_t>(kMaxBmpPixels) * 4 + 65536) return fail(ERROR_NOT_ENOUGH_MEMORY);
    std::string bytes(static_cast<size_t>(*size), '\0');
    size_t filled = 0;
    while (filled < bytes.size()) {
        uint32_t got = 0;
        const auto want = static_cast<uint32_t>(std::min<size_t>(bytes.size() - filled, 1u << 20));
        if (Error e = (*file)->read(bytes.data() + filled, want, &got); e != ERROR_SUCCESS) return fail(e);
        if (got == 0) break;  // the file shrank while it was read: decode what there is
        filled += got;
    }
    bytes.resize(filled);
    auto surface = decodeBmp(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    if (!surface) return fail(surface.error());
    return std::make_shared<Surface>(std::move(*surface));
}

}  // namespace ce
